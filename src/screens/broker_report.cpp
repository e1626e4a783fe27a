// The $30 broker report: a random, sometimes scrambled, forecast of each traded kind of one
// company, drawn in the menu block.
#include "screens/broker_report.h"

#include "data/session_state.h"
#include "market/market.h"
#include "screens/framework.h"
#include "session/terminal.h"

namespace {

constexpr int kReportPrice = 30;
constexpr int kPhraseSlot = 25;
constexpr int kPhrasedTrends = 8;

// Five tables of phrases by issue trend 0..7, each picked by a range of the draw r (0..39).
// The first two read the trend wrongly on purpose; the others tell the truth.
constexpr char BrokerPhraseTable[5][kPhrasedTrends][kPhraseSlot] = {
    {"heavily bought\r\n", "unchanged\r\n", "bought\r\n", "sold\r\n", "heavily sold\r\n",
     "traded heavily\r\n", "traded lightly\r\n", "lightly sold\r\n"},
    {"unchanged\r\n", "moderately bought\r\n", "bought\r\n", "traded heavily\r\n",
     "heavily bought\r\n", "sold\r\n", "unchanged\r\n", "unchanged\r\n"},
    {"sold\r\n", "sold\r\n", "sold\r\n", "unchanged\r\n", "unchanged\r\n", "bought\r\n",
     "bought\r\n", "bought\r\n"},
    {"traded heavily\r\n", "traded moderately\r\n", "traded lightly\r\n", "unchanged\r\n",
     "unchanged\r\n", "traded lightly\r\n", "traded moderately\r\n", "traded heavily\r\n"},
    {"heavily sold\r\n", "moderately sold\r\n", "lightly sold\r\n", "unchanged\r\n",
     "unchanged\r\n", "lightly bought\r\n", "moderately bought\r\n", "heavily bought\r\n"},
};

// Upper bounds of the draw for each table; a draw above the last gives no information.
constexpr int kTableTop[5] = {2, 5, 17, 31, 39};

constexpr const char* kKindLine[kKindCount] = {
    "  Options are expected to be %s",
    "  Common shares are expected to be %s",
    "  Preferred shares are expected to be %s",
    "  Bonds are expected to be %s",
};

// Trends 8 and 9 (the editor allows them) are more bullish than 7, and the daily update moves
// them as 7; the broker reads them as 7 too. Anything below 0 reads as 0.
int phrase_row(int trend) {
    if (trend < 0) return 0;
    if (trend >= kPhrasedTrends) return kPhrasedTrends - 1;
    return trend;
}

}  // namespace

int buy_broker_report() {
    PlayerRecord& player = g_session.player;
    if (player.cash < kReportPrice) {
        show_message("Sorry, insufficient funds for broker report!");
        return 0;
    }
    if (!ask_yes_no("Spend $30 on brokers report ([Y]/N): ", 1)) return 0;

    const int c = select_company(false);
    player.cash -= kReportPrice;
    const CompanyRecord& company = g_session.market.companies[c];

    term_goto(0, 15);
    term_printf("\e[1;37m");
    term_clear_line();
    term_printf("  Brokers Report on %.31s...\r\n", company.name);
    term_clear_line();
    term_printf("\r\n");
    term_printf("\e[0m");
    int row = 17;

    const int r = draw_random() & 127;
    int table = 0;
    while (table < 5 && r > kTableTop[table]) ++table;
    if (table == 5) {
        term_clear_line();
        term_printf("  No information available\r\n");
        ++row;
    } else {
        for (int k = 0; k < kKindCount; ++k) {
            if (company.total[k] == 0) continue;
            term_clear_line();
            term_printf(kKindLine[k], BrokerPhraseTable[table][phrase_row(company.trend[k])]);
            ++row;
        }
    }
    for (; row <= 21; ++row) {
        term_clear_line();
        term_printf("\r\n");
    }

    press_enter();
    clear_company_arrow();
    return 1;
}

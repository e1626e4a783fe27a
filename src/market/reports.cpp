// Price changes since the caller's last visit, and the margin call on short positions.
#include "market/reports.h"

#include <cstring>

#include "data/session_state.h"
#include "screens/framework.h"
#include "session/session.h"
#include "session/terminal.h"

namespace {

constexpr const char* kDashedLine =
    "        ----------------------------------------------------------------\r\n";
constexpr const char* kEnterPrompt = "                          Press [ENTER] to continue...";
constexpr int kEnterPromptLength = 54;

// One column of the price-change table: the four texts differ only in trailing blanks.
struct ChangeColumn {
    const char* crashed;
    const char* split;
    const char* number;  // takes the price difference
    const char* not_traded;
};
constexpr ChangeColumn kChangeColumns[kKindCount] = {
    {"CRASHED      ", "  SPLIT      ", "%4d.00      ", "      -      "},
    {"CRASHED       ", "  SPLIT       ", "%4d.00       ", "      -       "},
    {"CRASHED      ", "  SPLIT      ", "%4d.00      ", "      -      "},
    {"CRASHED\r\n", "  SPLIT\r\n", "%4d.00\r\n", "      -\r\n"},
};

// Products and sums of money wrap as 32-bit integers would.
int32_t mul32(int64_t a, int64_t b) {
    return static_cast<int32_t>(a * b);
}
int32_t add32(int64_t a, int64_t b) {
    return static_cast<int32_t>(a + b);
}

bool color_mode() {
    return g_session.player.graphics_mode == kColorMode;
}

void send_change_cell(const CompanyRecord& company, const Holding& holding, int kind) {
    const ChangeColumn& column = kChangeColumns[kind];
    const bool color = color_mode();
    if (holding.crashed[kind] != 0) {
        if (color) term_printf("\e[0;31m");
        term_printf("%s", column.crashed);
    } else if (holding.split != 0) {
        if (color) term_printf("\e[1;32m");
        term_printf("%s", column.split);
    } else if (company.total[kind] != 0) {
        const int change = company.price[kind][0] - holding.last_price[kind];
        if (color) {
            term_printf("%s", change < 0 ? "\e[0;31m" : change == 0 ? "\e[1;37m" : "\e[1;32m");
        }
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
        term_printf(column.number, change);
#pragma GCC diagnostic pop
    } else {
        if (color) term_printf("\e[0;37m");
        term_printf("%s", column.not_traded);
    }
}

// The Enter prompt that closes both reports; a lost caller ends the session unsaved.
void wait_for_enter() {
    term_printf("%s", kEnterPrompt);
    term_input_line(line_buffer, kLineBufferSize);
    if (check_line_condition(line_buffer) == -1) session_end(1);
    term_erase(static_cast<int>(std::strlen(line_buffer)) + kEnterPromptLength);
}

}  // namespace

int32_t margin_threshold(int16_t short_price) {
    const int32_t factor = short_price >= 80 ? 6 : short_price >= 30 ? 7 : 8;
    return factor * short_price / 5;
}

bool margin_called(const Holding& holding, const CompanyRecord& company) {
    return holding.short_count >= 1 &&
           company.price[kCommon][0] >= margin_threshold(holding.short_price);
}

MarginSettlement settle_margin_call(PlayerRecord& player, const MarketRecord& market, int company) {
    Holding& position = player.holdings[company];
    MarginSettlement result;
    result.short_count = position.short_count;
    player.cash = add32(player.cash, mul32(position.short_price, position.short_count) / 2);
    result.cost = mul32(market.companies[company].price[kCommon][0], position.short_count);
    position.short_count = 0;
    for (int j = 0; j < kCompanyCount && player.cash < result.cost; ++j) {
        Holding& holding = player.holdings[j];
        bool held = false;
        for (int k = 0; k < kKindCount; ++k) held = held || holding.count[k] > 0;
        if (!held) continue;
        result.sold = static_cast<uint16_t>(result.sold | (1u << j));
        for (int k = 0; k < kKindCount; ++k) {
            if (holding.count[k] <= 0) continue;
            player.cash =
                add32(player.cash, mul32(holding.count[k], market.companies[j].price[k][0]));
            holding.count[k] = 0;
        }
    }
    if (player.cash >= result.cost) {
        player.cash = add32(player.cash, -static_cast<int64_t>(result.cost));
    } else {
        player.cash = 0;
        result.wiped_out = true;
    }
    return result;
}

int show_price_changes() {
    MarketRecord& market = g_session.market;
    PlayerRecord& player = g_session.player;
    draw_title_banner();
    term_printf("\e[1;37m");
    term_printf("                    PRICE CHANGES SINCE YOU WERE LAST ON\r\n");
    term_printf("\r\n");
    term_printf("          Company     Options      Common       Preferred      Bonds\r\n");
    term_printf("%s", kDashedLine);
    term_printf("\e[0;37m");
    for (int c = 0; c < kCompanyCount; ++c) {
        const CompanyRecord& company = market.companies[c];
        Holding& holding = player.holdings[c];
        term_printf("\e[0m");
        term_printf("            %.3s      ", company.symbol);
        for (int k = 0; k < kKindCount; ++k) send_change_cell(company, holding, k);
        for (int k = 0; k < kKindCount; ++k) holding.crashed[k] = 0;
        holding.split = 0;
    }
    term_printf("\e[1;37m");
    term_printf("%s", kDashedLine);
    term_printf("\r\n");
    if (color_mode()) term_printf("\e[1;32m");
    wait_for_enter();
    return 0;
}

int run_margin_call() {
    MarketRecord& market = g_session.market;
    PlayerRecord& player = g_session.player;
    bool any_called = false;
    for (int c = 0; c < kCompanyCount; ++c) {
        any_called = any_called || margin_called(player.holdings[c], market.companies[c]);
    }
    if (!any_called) return 0;

    draw_title_banner();
    term_printf("\e[1;37m");
    term_printf("                             NOTICE: MARGIN CALL\r\n");
    term_printf("\r\n");
    term_printf("                        Company     Shares Short      Cost\r\n");
    term_printf("%s", kDashedLine);
    term_printf("\e[0;37m");
    bool wiped_out = false;
    for (int c = 0; c < kCompanyCount; ++c) {
        if (!margin_called(player.holdings[c], market.companies[c])) continue;
        term_printf("                          %.3s          ", market.companies[c].symbol);
        term_printf("%7ld     ", static_cast<long>(player.holdings[c].short_count));
        const MarginSettlement settled = settle_margin_call(player, market, c);
        term_printf("%7ld.00\r\n", static_cast<long>(settled.cost));
        for (int j = 0; j < kCompanyCount; ++j) {
            if ((settled.sold & (1u << j)) == 0) continue;
            term_printf("        Insufficient Funds, selling holdings in %.3s\r\n",
                        market.companies[j].symbol);
        }
        wiped_out = wiped_out || settled.wiped_out;
    }
    term_printf("\e[1;37m");
    term_printf("%s", kDashedLine);
    term_printf("\e[0;37m");
    if (wiped_out) term_printf("        Insufficient Funds, you are wiped out\r\n");
    term_printf("\r\n");
    if (color_mode()) term_printf("\e[1;36;40m");
    wait_for_enter();
    return wiped_out ? 1 : 0;
}

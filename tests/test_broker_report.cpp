// The broker report: its charge, the draw that picks a phrase table, and the lines it writes
// for companies trading one to four kinds, read off the emulated screen.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "data/session_state.h"
#include "market/market.h"
#include "screens/broker_report.h"
#include "screens/framework.h"
#include "session/terminal.h"
#include "vcaller/harness.h"

namespace {

int g_draw = 0;  // what the draw source returns

std::string padded(const std::string& text) {
    return text + std::string(80 - text.size(), ' ');
}

// Company 0 is "Acme Widgets"; the caller has $30, the price of a report. The menu block holds
// leftovers, to be sure every row is rewritten.
class BrokerReport : public ::testing::Test {
  protected:
    void SetUp() override {
        g_session = SessionState{};
        std::strcpy(g_session.market.companies[0].name, "Acme Widgets");
        set_draw_source([] { return g_draw; });
    }
    void TearDown() override { set_draw_source(nullptr); }
    void start(int32_t cash) {
        g_session.player.cash = cash;
        current_company = 0;
        for (int r = 15; r <= 21; ++r) {
            term_goto(0, r);
            term_printf("left over on row %d", r);
        }
    }
    std::string row(int r) {
        door_.sync();
        return door_.screen().row(r);
    }
    DoorHarness door_;
};

TEST_F(BrokerReport, TooLittleCashOrDecliningCostsNothing) {
    start(29);
    EXPECT_EQ(buy_broker_report(), 0);
    EXPECT_EQ(row(23), padded("  Sorry, insufficient funds for broker report!"));
    EXPECT_EQ(g_session.player.cash, 29);
    start(30);
    door_.type("n\r");
    EXPECT_EQ(buy_broker_report(), 0);
    EXPECT_EQ(g_session.player.cash, 30);
    EXPECT_EQ(row(15).substr(0, 17), "left over on row ");
}

// Each traded kind gets a line "<kind> are expected to be <phrase>"; no phrase at all reads
// "No information available".
TEST_F(BrokerReport, LinesOfEachDraw) {
    const char* kinds[4] = {"Options", "Common shares", "Preferred shares", "Bonds"};
    const struct {
        const char* label;
        int traded;        // bit k set: kind k is traded
        int16_t trend[4];  // options, common, preferred, bonds
        int draw;          // what the draw source returns; the report masks it with 127
        const char* phrases[4];
    } cases[] = {
        // clang-format off
        {"all four, r 35", 0xF, {0, 0, 5, 7}, 35,
         {"heavily sold", "heavily sold", "lightly bought", "heavily bought"}},
        {"r 1 reads trend 0 wrongly", 0xF, {3, 0, 6, 4}, 1,
         {"sold", "heavily bought", "traded lightly", "heavily sold"}},
        {"bonds only, r 133 masks to 5", 0x8, {0, 0, 0, 1}, 133,
         {nullptr, nullptr, nullptr, "moderately bought"}},
        {"three kinds, r 18, trends 8 and 9 read as 7", 0xE, {0, 1, 8, 9}, 18,
         {nullptr, "traded moderately", "traded heavily", "traded heavily"}},
        {"r 6 begins the third table", 0x2, {0, 3, 0, 0}, 6, {nullptr, "unchanged"}},
        {"r 39 is the last report", 0x2, {0, 2, 0, 0}, 39, {nullptr, "lightly sold"}},
        {"r 40 finds nothing", 0xF, {0, 0, 0, 0}, 40, {}},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        CompanyRecord& company = g_session.market.companies[0];
        std::vector<std::string> lines;
        for (int k = 0; k < kKindCount; ++k) {
            company.total[k] = (c.traded >> k) & 1 ? 100 : 0;
            company.trend[k] = c.trend[k];
            if (c.phrases[k])
                lines.push_back(std::string("  ") + kinds[k] + " are expected to be " +
                                c.phrases[k]);
        }
        if (lines.empty()) lines.push_back("  No information available");
        lines.resize(5);
        g_draw = c.draw;
        start(30);
        door_.type("\r\r\r");  // default yes, company 0, Enter after the report
        EXPECT_EQ(buy_broker_report(), 1);
        EXPECT_EQ(g_session.player.cash, 0);
        EXPECT_EQ(row(15), padded("  Brokers Report on Acme Widgets..."));
        EXPECT_EQ(row(16), padded(""));
        for (int i = 0; i < 5; ++i) EXPECT_EQ(row(17 + i), padded(lines[i])) << "row " << 17 + i;
        EXPECT_EQ(row(2).substr(4, 3), "   ") << "the company arrow is taken away";
    }
}

}  // namespace

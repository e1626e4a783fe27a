// The broker report: its charge, the draw that picks a phrase table, and the lines it writes
// for companies trading one to four kinds, read off the emulated screen.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>

#include "data/session_state.h"
#include "market/market.h"
#include "screens/broker_report.h"
#include "screens/framework.h"
#include "session/terminal.h"
#include "vcaller/harness.h"

namespace {

int g_draw = 0;
int fixed_draw() {
    return g_draw;
}

std::string padded(const std::string& text) {
    return text + std::string(80 - text.size(), ' ');
}

class BrokerReport : public ::testing::Test {
  protected:
    void SetUp() override {
        g_session = SessionState{};
        CompanyRecord& c = g_session.market.companies[0];
        std::strcpy(c.name, "Acme Widgets");
        g_session.player.cash = 30;
        current_company = 0;
        set_draw_source(fixed_draw);
        // Leftovers in the menu block, to be sure every row is rewritten.
        for (int r = 15; r <= 21; ++r) {
            term_goto(0, r);
            term_printf("left over on row %d", r);
        }
    }
    void TearDown() override { set_draw_source(nullptr); }
    std::string row(int r) {
        door_.sync();
        return door_.screen().row(r);
    }
    DoorHarness door_;
};

TEST_F(BrokerReport, TooLittleCashIsRefusedWithoutCharge) {
    g_session.player.cash = 29;
    EXPECT_EQ(buy_broker_report(), 0);
    EXPECT_EQ(row(23), padded("  Sorry, insufficient funds for broker report!"));
    EXPECT_EQ(g_session.player.cash, 29);
}

TEST_F(BrokerReport, DecliningCostsNothing) {
    door_.type("n\r");
    EXPECT_EQ(buy_broker_report(), 0);
    EXPECT_EQ(g_session.player.cash, 30);
    EXPECT_EQ(row(15).substr(0, 17), "left over on row ");
}

struct ReportCase {
    const char* label;
    int total_mask;    // bit k set: kind k is traded
    int16_t trend[4];  // options, common, preferred, bonds
    int draw;          // what the draw source returns; the report masks it with 127
    const char* lines[4];
};

class ReportLines : public BrokerReport, public ::testing::WithParamInterface<ReportCase> {};

TEST_P(ReportLines, RowsFifteenToTwentyOne) {
    const ReportCase& c = GetParam();
    CompanyRecord& company = g_session.market.companies[0];
    for (int k = 0; k < kKindCount; ++k) {
        company.total[k] = (c.total_mask >> k) & 1 ? 100 : 0;
        company.available[k] = 0;
        company.trend[k] = c.trend[k];
    }
    g_draw = c.draw;
    door_.type("\r\r\r");  // default yes, company 0, Enter after the report
    EXPECT_EQ(buy_broker_report(), 1);
    EXPECT_EQ(g_session.player.cash, 0);
    EXPECT_EQ(row(15), padded("  Brokers Report on Acme Widgets..."));
    EXPECT_EQ(row(16), padded(""));
    int r = 17;
    for (const char* line : c.lines) {
        if (line == nullptr) break;
        EXPECT_EQ(row(r), padded(line)) << "row " << r;
        ++r;
    }
    for (; r <= 21; ++r) EXPECT_EQ(row(r), padded("")) << "row " << r;
    EXPECT_EQ(row(2).substr(4, 3), "   ") << "the company arrow is taken away";
}

INSTANTIATE_TEST_SUITE_P(
    Draws, ReportLines,
    ::testing::Values(
        ReportCase{"all four, r 35",
                   0xF,
                   {0, 0, 5, 7},
                   35,
                   {"  Options are expected to be heavily sold",
                    "  Common shares are expected to be heavily sold",
                    "  Preferred shares are expected to be lightly bought",
                    "  Bonds are expected to be heavily bought"}},
        ReportCase{"all four, r 1 reads trend 0 wrongly",
                   0xF,
                   {3, 0, 6, 4},
                   1,
                   {"  Options are expected to be sold",
                    "  Common shares are expected to be heavily bought",
                    "  Preferred shares are expected to be traded lightly",
                    "  Bonds are expected to be heavily sold"}},
        ReportCase{"bonds only, r 133 masks to 5",
                   0x8,
                   {0, 0, 0, 1},
                   133,
                   {"  Bonds are expected to be moderately bought"}},
        ReportCase{
            "options and preferred, r 17",
            0x5,
            {2, 0, 5, 0},
            17,
            {"  Options are expected to be sold", "  Preferred shares are expected to be bought"}},
        ReportCase{"three kinds, r 18, trends 8 and 9 read as 7",
                   0xE,
                   {0, 1, 8, 9},
                   18,
                   {"  Common shares are expected to be traded moderately",
                    "  Preferred shares are expected to be traded heavily",
                    "  Bonds are expected to be traded heavily"}},
        ReportCase{"r 6 begins the third table",
                   0x2,
                   {0, 3, 0, 0},
                   6,
                   {"  Common shares are expected to be unchanged"}},
        ReportCase{"r 39 is the last report",
                   0x2,
                   {0, 2, 0, 0},
                   39,
                   {"  Common shares are expected to be lightly sold"}},
        ReportCase{"r 40 finds nothing", 0xF, {0, 0, 0, 0}, 40, {"  No information available"}},
        ReportCase{"r 127 finds nothing", 0x2, {0, 0, 0, 0}, 255, {"  No information available"}}),
    [](const auto& info) {
        std::string name = info.param.label;
        for (char& ch : name) {
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        }
        return name;
    });

}  // namespace

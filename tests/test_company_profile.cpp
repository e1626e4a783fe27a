// The company profile on the emulated screen: the facts, the description, the price graph's
// scale, rows and connectors in the three graphics modes, and the editor's start/split/trend
// panel.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "data/session_state.h"
#include "screens/company_profile.h"
#include "screens/framework.h"
#include "session/terminal.h"
#include "vcaller/harness.h"

namespace {

constexpr int kGreen = 2;

std::string padded(const std::string& text, size_t width = 80) {
    return text + std::string(width - text.size(), ' ');
}

// The mode-1 glyphs for a mode-0 graph row: '+' is the given corner.
std::string ibm(const std::string& ascii, const char* corner) {
    std::string out;
    for (char ch : ascii) {
        switch (ch) {
            case '|':
                out += "│";
                break;
            case '*':
                out += "■";
                break;
            case '-':
                out += "─";
                break;
            case '+':
                out += corner;
                break;
            default:
                out += ch;
        }
    }
    return out;
}

std::string ibm_if(int mode, const std::string& ascii, const char* corner) {
    return mode == 0 ? ascii : ibm(ascii, corner);
}

class Profile : public ::testing::Test {
  protected:
    void SetUp() override {
        g_session = SessionState{};
        current_company = 0;
    }
    void set_mode(int mode) { g_session.player.graphics_mode = static_cast<int16_t>(mode); }
    std::string text(int r, int c, int len) {
        door_.sync();
        return door_.screen().text(r, c, len);
    }
    std::string row(int r) { return text(r, 0, 80); }
    const VirtualScreen& screen() {
        door_.sync();
        return door_.screen();
    }
    DoorHarness door_;
};

class GraphModes : public Profile, public ::testing::WithParamInterface<int> {};

TEST_P(GraphModes, TenEqualPricesSitOnRowElevenJoinedByLines) {
    const int mode = GetParam();
    set_mode(mode);
    const int16_t prices[10] = {50, 50, 50, 50, 50, 50, 50, 50, 50, 50};
    draw_price_graph(2, prices);
    EXPECT_EQ(text(2, 54, 22), mode == 0 ? "+------ COMMON -------" : "┌────── COMMON ───────");
    for (int j = 0; j <= 9; ++j) {
        EXPECT_EQ(text(12 - j, 49, 5), "  " + std::to_string(49 + j) + " ") << "label " << j;
    }
    const std::string flat = "| *-*-*-*-*-*-*-*-*-*";
    EXPECT_EQ(text(11, 54, 26), ibm_if(mode, padded(flat, 26), ""));
    for (int r : {3, 10, 12}) {
        EXPECT_EQ(text(r, 54, 26), ibm_if(mode, padded("|", 26), "")) << "row " << r;
    }
    EXPECT_EQ(text(13, 54, 26), padded("  9 8 7 6 5 4 3 2 1 0", 26));
    const VirtualScreen& s = screen();
    EXPECT_EQ(s.fg(11, 56) == kGreen, mode == 2) << "points green in colour";
    EXPECT_TRUE(s.bold(11, 56));
    EXPECT_EQ(s.fg(11, 57) == kGreen, mode == 2) << "lines green in colour";
    EXPECT_FALSE(s.bold(11, 57));
    EXPECT_EQ(s.fg(12, 51) == kGreen, mode == 2) << "labels green in colour";
}

TEST_P(GraphModes, RisingByTwoFromTenToTwentyEight) {
    const int mode = GetParam();
    set_mode(mode);
    // Entry 9 (oldest) is 10, entry 0 (today) 28: step 3, base 7.
    const int16_t prices[10] = {28, 26, 24, 22, 20, 18, 16, 14, 12, 10};
    draw_price_graph(4, prices);
    EXPECT_EQ(text(2, 54, 22), mode == 0 ? "+------- BONDS -------" : "┌─────── BONDS ───────");
    EXPECT_EQ(text(12, 49, 5), "   7 ");
    EXPECT_EQ(text(11, 49, 5), "  10 ");
    EXPECT_EQ(text(3, 49, 5), "  34 ");
    const char* rows[] = {
        "|                    ",  // 3
        "|                    ",  // 4
        "|                 *-*",  // 5: 26 and today's 28
        "|               *-+  ",  // 6: 24
        "|           *-*-+    ",  // 7: 20, 22
        "|         *-+        ",  // 8: 18
        "|     *-*-+          ",  // 9: 14, 16
        "|   *-+              ",  // 10: 12
        "| *-+                ",  // 11: the oldest, 10
        "|                    ",  // 12
    };
    for (int r = 3; r <= 12; ++r) {
        const std::string ascii = rows[r - 3];
        EXPECT_EQ(text(r, 54, 21), ibm_if(mode, ascii, "┘")) << "row " << r;
    }
}

TEST_P(GraphModes, JumpsDrawCornerAndStrokesInThePointColumn) {
    const int mode = GetParam();
    set_mode(mode);
    const std::string point = mode == 0 ? "*" : "■";
    const std::string stroke = mode == 0 ? "|" : "│";
    // lo 0, hi 16: step 3, base -3; 6 stands on row 9, 15 on row 6, 16 on row 5, 0 on row 11.
    const int16_t rising[10] = {16, 15, 15, 15, 15, 6, 6, 6, 6, 0};
    draw_price_graph(2, rising);
    // Entry 5 (column 64, row 9) to entry 4 (column 66, row 6).
    EXPECT_EQ(text(9, 65, 1), mode == 0 ? "-" : "─");
    EXPECT_EQ(text(9, 66, 1), mode == 0 ? "+" : "┘");
    EXPECT_EQ(text(8, 66, 1), stroke);
    EXPECT_EQ(text(7, 66, 1), stroke);
    EXPECT_EQ(text(6, 66, 1), point);
    EXPECT_EQ(text(10, 58, 1), stroke) << "row 11 to row 9 has one stroke";

    const int16_t falling[10] = {0, 6, 6, 6, 6, 15, 15, 15, 15, 16};
    draw_price_graph(2, falling);
    EXPECT_EQ(text(6, 66, 1), mode == 0 ? "+" : "┐");
    EXPECT_EQ(text(7, 66, 1), stroke);
    EXPECT_EQ(text(8, 66, 1), stroke);
    EXPECT_EQ(text(9, 66, 1), point);
    EXPECT_EQ(text(9, 65, 1), " ") << "the rows between old points are cleared";
}

INSTANTIATE_TEST_SUITE_P(Modes, GraphModes, ::testing::Values(0, 1, 2));

TEST_F(Profile, GraphClearsOnlyFromColumnFiftyFour) {
    for (int r = 2; r <= 13; ++r) {
        term_goto(0, r);
        term_printf("%s", std::string(80, 'x').c_str());
    }
    const int16_t prices[10] = {5, 5, 5, 5, 5, 5, 5, 5, 5, 5};
    draw_price_graph(1, prices);
    EXPECT_EQ(text(2, 0, 80), std::string(54, 'x') + padded("+------ OPTIONS ------", 26));
    EXPECT_EQ(text(7, 0, 54), std::string(49, 'x') + "   9 ");
    EXPECT_EQ(text(13, 0, 54), std::string(54, 'x'));
}

TEST_F(Profile, UnknownModeDrawsLabelsOnly) {
    set_mode(3);
    const int16_t prices[10] = {28, 26, 24, 22, 20, 18, 16, 14, 12, 10};
    draw_price_graph(2, prices);
    EXPECT_EQ(text(11, 49, 31), padded("  10", 31));
    EXPECT_EQ(text(5, 49, 31), padded("  28", 31));
    EXPECT_EQ(text(2, 54, 26), padded("", 26));
}

// Company 0: "Acme Widgets", ACM, blue chip, all kinds traded.
void set_up_acme() {
    CompanyRecord& c = g_session.market.companies[0];
    std::strcpy(c.name, "Acme Widgets");
    std::strcpy(c.symbol, "ACM");
    c.type = kBlueChip;
    const int16_t price[4] = {5, 27, 110, 1000};
    for (int k = 0; k < kKindCount; ++k) {
        c.total[k] = 100 * (k + 1);
        c.available[k] = 40 + k;
        for (int d = 0; d < 10; ++d) c.price[k][d] = price[k];
        c.initial_price[k] = price[k];
        c.trend[k] = static_cast<int16_t>(k);
    }
    c.option_conversion_price = 12;
    c.bond_guaranteed_value = 950;
    c.split_price = 100;
    std::strcpy(c.history[0], "Makers of fine widgets since 1902.");
    std::strcpy(c.history[1], "100% sure: %s %d %n");
}

TEST_F(Profile, FactsAndDescription) {
    set_up_acme();
    for (int r = 0; r <= 21; ++r) {
        term_goto(0, r);
        term_printf("left over on row %d", r);
    }
    draw_company_profile(0);
    draw_company_description(0);
    const std::string bar =
        "  " + std::string(29, '=') + " COMPANY PROFILE " + std::string(30, '=');
    const char* expected[22] = {
        nullptr,
        "",
        "    Company name   : Acme Widgets",
        "    Exchange symbol: ACM",
        "    Stock type     : Blue Chip",
        "                      Total   Current    Price",
        "    Options        :     100       40  $   5.00",
        "    Common         :     200       41  $  27.00",
        "    Preferred      :     300       42  $ 110.00",
        "    Bonds          :     400       43  $1000.00",
        "",
        "    Options conversion price:   12.00",
        "    Bond guaranteed price   :  950.00",
        "",
        nullptr,
        "      Acme Widgets",
        "      Makers of fine widgets since 1902.",
        "      100% sure: %s %d %n",
        "",
        "",
        "",
        "",
    };
    for (int r = 0; r <= 21; ++r) {
        EXPECT_EQ(row(r), padded(expected[r] ? expected[r] : bar)) << "row " << r;
    }
    EXPECT_TRUE(screen().bold(2, 4)) << "labels bright";
    EXPECT_FALSE(screen().bold(2, 21)) << "values normal";
}

TEST_F(Profile, BondsOnlyMutualFundShowsOneGraphAndOnePrompt) {
    set_up_acme();
    CompanyRecord& c = g_session.market.companies[0];
    c.type = kMutualFund;
    c.total[kOptions] = c.total[kCommon] = c.total[kPreferred] = 0;
    door_.type("\r\r");  // company 0, then Enter under the one graph
    EXPECT_EQ(show_company_profile(), 0);
    const std::string out = door_.take_output();
    size_t prompts = 0;
    for (size_t at = out.find("Press [ENTER] to continue..."); at != std::string::npos;
         at = out.find("Press [ENTER] to continue...", at + 1)) {
        ++prompts;
    }
    EXPECT_EQ(prompts, 1u);
    EXPECT_EQ(text(4, 0, 35), "    Stock type     : Mutual Fund   ");
    for (int r : {6, 7, 8}) EXPECT_EQ(text(r, 21, 11), "Not traded ") << "row " << r;
    EXPECT_EQ(text(11, 30, 11), "Not traded ");
    EXPECT_EQ(text(12, 30, 8), " 950.00 ");
    EXPECT_EQ(text(2, 54, 22), "+------- BONDS -------");
    EXPECT_EQ(text(11, 54, 21), "| *-*-*-*-*-*-*-*-*-*");
}

TEST_F(Profile, StartSplitTrendPanel) {
    set_up_acme();
    CompanyRecord& c = g_session.market.companies[0];
    c.trend[kCommon] = 8;
    c.total[kPreferred] = 0;
    c.trend[kBonds] = 12;
    for (int r = 5; r <= 9; ++r) {
        term_goto(0, r);
        term_printf("%s", std::string(80, 'x').c_str());
    }
    draw_start_split_trend(0);
    EXPECT_EQ(text(5, 49, 29), "xxStart     Split     Trendxx");
    EXPECT_EQ(text(6, 49, 31), "$   5.00            0 - Bear xx");
    EXPECT_EQ(text(7, 49, 31), "$  27.00  $ 100.00  8 - Bull xx");
    EXPECT_EQ(text(8, 49, 31), std::string(30, ' ') + "x");
    EXPECT_EQ(text(9, 49, 31), "$1000.00            Invalid  xx");
    EXPECT_TRUE(screen().bold(5, 51));
    EXPECT_FALSE(screen().bold(6, 49));
}

}  // namespace

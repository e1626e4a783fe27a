// The company profile on the emulated screen: facts, description, price graphs, start panel.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "data/session_state.h"
#include "screens/company_profile.h"
#include "screens/framework.h"
#include "session/terminal.h"
#include "vcaller/harness.h"

namespace {

const int16_t kRising[10] = {28, 26, 24, 22, 20, 18, 16, 14, 12, 10};  // today first

// A graph row as mode 0 draws it, in the glyphs of mode; '+' stands for the given corner.
std::string glyphs(int mode, const std::string& ascii, const char* corner = "") {
    const std::string ibm[] = {"│", "■", "─", corner};
    std::string out;
    for (char ch : ascii) {
        const size_t at = mode == 0 ? 4 : std::string("|*-+").find(ch);
        out += at < 4 ? ibm[at] : std::string(1, ch);
    }
    return out;
}

// Company 0, "Acme Widgets", blue chip, trading all but preferred stock.
class Profile : public ::testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        g_session = SessionState{};
        current_company = 0;
        std::strcpy(c.name, "Acme Widgets");
        c.type = kBlueChip;
        const int16_t price[4] = {5, 27, 0, 1000}, trend[4] = {0, 8, 0, 12};
        for (int k = 0; k < kKindCount; ++k) {
            c.total[k] = k == kPreferred ? 0 : 100 * (k + 1);
            c.available[k] = 40 + k;
            c.price[k][0] = c.initial_price[k] = price[k];
            c.trend[k] = trend[k];
        }
        c.option_conversion_price = 12;
        c.split_price = 100;
        std::strcpy(c.history[1], "100% sure: %s %d %n");
    }
    std::string text(int r, int c = 0, int len = 80) {  // without trailing blanks
        door_.sync();
        std::string s = door_.screen().text(r, c, len);
        return s.erase(s.find_last_not_of(' ') + 1);
    }
    CompanyRecord& c = g_session.market.companies[0];
    DoorHarness door_;
};

TEST_P(Profile, GraphScaleRowsAndConnectorsInEachMode) {
    const int mode = GetParam();
    g_session.player.graphics_mode = static_cast<int16_t>(mode);
    const int16_t flat[10] = {50, 50, 50, 50, 50, 50, 50, 50, 50, 50};  // step 1 from 49: row 11
    draw_price_graph(2, flat);
    EXPECT_EQ(text(2, 54, 22), mode == 0 ? "+------ COMMON -------" : "┌────── COMMON ───────");
    EXPECT_EQ(text(12, 49, 5) + text(3, 49, 5), "  49  58");
    EXPECT_EQ(text(13, 54, 26), "  9 8 7 6 5 4 3 2 1 0");
    const VirtualScreen& screen = door_.screen();  // synchronised by text()
    EXPECT_EQ(screen.fg(11, 56) == 2 && screen.fg(11, 57) == 2, mode == 2) << "green";
    EXPECT_TRUE(screen.bold(11, 56) && !screen.bold(11, 57)) << "points bright, lines not";

    draw_price_graph(4, kRising);  // step 3, base 7
    // clang-format off
    const char* rows[] = {"|", "|                 *-*", "|               *-+", "|           *-*-+",
                          "|         *-+", "|     *-*-+", "|   *-+", "| *-+", "|"};
    // clang-format on
    for (int r = 4; r <= 12; ++r) EXPECT_EQ(text(r, 54, 21), glyphs(mode, rows[r - 4], "┘")) << r;

    // Step 3, base -3: entry 5 (column 64, row 9) up to entry 4 (66, 6), a corner over strokes.
    const int16_t jump_up[10] = {16, 15, 15, 15, 15, 6, 6, 6, 6, 0};
    const char* up[] = {" *", " |", " |", "-+"};
    draw_price_graph(2, jump_up);
    for (int r = 6; r <= 9; ++r) EXPECT_EQ(text(r, 65, 2), glyphs(mode, up[r - 6], "┘")) << r;
    EXPECT_EQ(text(10, 58, 1), glyphs(mode, "|")) << "row 11 to row 9 has one stroke";
}

INSTANTIATE_TEST_SUITE_P(Modes, Profile, ::testing::Values(0, 1, 2));

// Facts over left-over text, the graph beside them (labels from column 49), the start panel.
TEST_F(Profile, FactsDescriptionGraphBesideThemAndStartPanel) {
    term_goto(0, 0);
    for (int r = 0; r <= 21; ++r) term_puts((std::string(80, 'x') + "\r\n").c_str());
    draw_company_profile(0);
    draw_company_description(0);
    draw_price_graph(1, kRising);
    const std::pair<int, const char*> rows[] = {
        {2, "    Company name   : Acme Widgets"},
        {4, "    Stock type     : Blue Chip"},
        {6, "    Options        :     100       40  $   5.00"},
        {8, "    Preferred      : Not traded"},
        {11, "    Options conversion price:   12.00"},
        {14, "  ============================= COMPANY PROFILE =============================="},
        {17, "      100% sure: %s %d %n"},
        {21, ""}};
    for (const auto& [r, line] : rows) EXPECT_EQ(text(r, 0, r < 14 ? 49 : 80), line) << r;
    EXPECT_EQ(text(11, 49, 5), "  10") << "step 3 from 7";
    g_session.player.graphics_mode = 3;  // unknown: labels only
    draw_price_graph(2, kRising);
    EXPECT_EQ(text(5, 49, 31), "  28");
    EXPECT_EQ(text(2, 54, 26), "");

    term_goto(0, 5);
    for (int r = 5; r <= 9; ++r) term_puts((std::string(80, 'x') + "\r\n").c_str());
    draw_start_split_trend(0);
    EXPECT_EQ(text(5, 49, 29), "xxStart     Split     Trendxx");
    EXPECT_EQ(text(6, 49, 31), "$   5.00            0 - Bear xx");
    EXPECT_EQ(text(7, 49, 31), "$  27.00  $ 100.00  8 - Bull xx");
    EXPECT_EQ(text(8, 49, 31), std::string(30, ' ') + "x");
    EXPECT_EQ(text(9, 49, 31), "$1000.00            Invalid  xx");
}

TEST_F(Profile, BondsOnlyMutualFundShowsOneGraphAndOnePrompt) {
    c.type = kMutualFund;
    c.total[kOptions] = c.total[kCommon] = 0;
    door_.type("\r\r");  // company 0, then Enter under the one graph
    EXPECT_EQ(show_company_profile(), 0);
    const std::string out = door_.take_output(), prompt = "Press [ENTER] to continue...";
    EXPECT_NE(out.find(prompt), std::string::npos);
    EXPECT_EQ(out.find(prompt), out.rfind(prompt));
    EXPECT_EQ(text(2, 54, 22), "+------- BONDS -------");
}

}  // namespace

// The fixed screen in each graphics mode, the selection loop, the message row's conditions.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>

#include "data/session_state.h"
#include "doorkit/opendoors.h"
#include "screens/framework.h"
#include "session/terminal.h"
#include "vcaller/harness.h"

namespace {

void draw_standard_screen() {
    term_clear_screen();
    draw_holdings_table();
    draw_menu_screen(kMainMenuScreen);
    draw_message_heading();
    show_cash();
}
const SelectionLoop kMainLoop{15, 7, false, draw_standard_screen, show_cash};

class ScreenTest : public ::testing::TestWithParam<int> {
  protected:
    // Company i is "AAA", "BBB", ... at $5, $27, $110, $1000; company 1 trades no bonds, 2 no
    // common, 3 no options. The caller holds in AAA 1234 options, 10 common, 3 bonds, 25 short.
    void SetUp() override {
        g_session = SessionState{};
        constexpr int16_t kPrices[kKindCount] = {5, 27, 110, 1000};
        for (int i = 0; i < kCompanyCount; ++i) {
            CompanyRecord& c = g_session.market.companies[i];
            std::memset(c.symbol, 'A' + i, 3);
            std::fill_n(c.total, kKindCount, 1000);
            for (int k = 0; k < kKindCount; ++k) c.price[k][0] = kPrices[k];
        }
        CompanyRecord* companies = g_session.market.companies;
        companies[1].total[kBonds] = companies[2].total[kCommon] = companies[3].total[kOptions] = 0;
        g_session.player.holdings[0] = Holding{{}, 0, {}, {1234, 10, 0, 3}, 25, 20};
        short_view = current_company = 0;
    }
    std::string text(int r, int c = 0, int len = 80) { return screen().text(r, c, len); }
    const VirtualScreen& screen() {
        door_.sync();
        return door_.screen();
    }
    DoorHarness door_;
};

TEST_P(ScreenTest, FixedScreenInEachMode) {
    const int mode = GetParam();
    g_session.player.graphics_mode = static_cast<int16_t>(mode);
    draw_standard_screen();
    const std::string f = mode == 0 ? "=" : mode == 1 ? "═" : " ";
    std::string fill;
    for (int i = 0; i < 28; ++i) fill += f;
    EXPECT_EQ(text(14), "  " + fill + " MAIN COMMAND MENU " + fill + f + "  ");
    const VirtualScreen& v = screen();  // green (2) from column 2 to 77 in colour
    EXPECT_EQ(v.bg(22, 2) == 2 && v.bg(22, 77) == 2 && v.bg(22, 78) != 2, mode == 2);
    const char* holdings[] = {
        "      Company      Options         Common         Preferred        Bonds        ",
        "        AAA        1234/$  5         10/$ 27          0/$110          3/$1000   ",
        "        BBB           0/$  5          0/$ 27          0/$110          ---       ",
        "        CCC           0/$  5          ---             0/$110          0/$1000   ",
        "        DDD           ---             0/$ 27          0/$110          0/$1000   "};
    for (int r = 0; r < 5; ++r) EXPECT_EQ(text(1 + r), holdings[r]) << "row " << 1 + r;

    // The short column is written from column 30; a full redraw keeps it at the table's field.
    draw_short_column();
    EXPECT_EQ(text(1, 19, 29), "Options      Shares Short    ");
    EXPECT_EQ(text(2, 28, 20), "       25/$ 27      ");
    EXPECT_EQ(text(4, 30, 16), "      ---       ");
    draw_holdings_table();
    EXPECT_EQ(text(2, 32, 16), "     25/$ 27    ");
    EXPECT_EQ(screen().fg(2, 38) == 2, mode == 2) << "short counts green in colour";

    mark_company(5, true);
    EXPECT_EQ(text(5, 4, 3), mode == 0 ? "==>" : "══►");
    unmark_company(5);
    EXPECT_EQ(text(5, 0, 11), "        DDD");
}

INSTANTIATE_TEST_SUITE_P(GraphicsModes, ScreenTest, ::testing::Values(0, 1, 2));

using Screen = ScreenTest;

TEST_F(Screen, UnknownModeDrawsNoBarsOrMarkers) {
    g_session.player.graphics_mode = 3;
    draw_standard_screen();
    // The bar carries the line end, so the column heading moves up into row 0.
    EXPECT_EQ(text(0, 0, 13), "      Company");
    EXPECT_EQ(text(14), std::string(80, ' '));
    mark_company(2, true);
    EXPECT_EQ(text(2, 0, 8), std::string(8, ' '));
}

// Start, keys (escape sequences, ignored keys, space), choice.
TEST_F(Screen, SelectionLoopKeys) {
    const std::tuple<int, const char*, int> cases[] = {{0, "\x1b[A\r", 0},  {6, "\x1b[B ", 6},
                                                       {3, "8\x1b[A\r", 1}, {2, "\x1b[F\r", 6},
                                                       {5, "\x1b[1~\r", 0}, {1, "x9\x1b[C\r", 1}};
    for (const auto& [start, keys, choice] : cases) {
        SCOPED_TRACE(testing::PrintToString(keys));
        draw_standard_screen();
        door_.type(keys);
        int cursor = start;
        EXPECT_EQ(run_selection(kMainLoop, cursor), choice);
        EXPECT_EQ(cursor, choice);
        for (int i = 0; i < 7; ++i)
            EXPECT_EQ(text(15 + i, 30, 3), i == choice ? "[+]" : "[ ]") << i;
        EXPECT_FALSE(screen().bold(15 + choice, 31)) << "the chosen item is marked normal";
    }
}

// The selector starts at the company chosen last; after a time warning its message comes back.
TEST_F(Screen, TimeWarningInTheCompanySelector) {
    od_control.user_timelimit = 4;
    current_company = 3;
    door_.type("2\r");
    EXPECT_EQ(select_company(false), 4);
    const std::string out = door_.take_output();
    const size_t warning = out.find("\x1b[24HWarning...Less than 5 minutes remaining...");
    ASSERT_NE(warning, std::string::npos) << out;
    EXPECT_NE(out.find("Select a company...", warning), std::string::npos);
}

// Keys, default, result: the first character answers; anything else, or nothing, the default.
TEST_F(Screen, YesNoAnswers) {
    const std::tuple<const char*, int, int> answers[] = {
        {"\r", 0, 0}, {"maybe\r", 1, 1}, {"yes please\r", 0, 1}, {"no\r", 1, 0}, {" y\r", 0, 0}};
    for (const auto& [keys, default_answer, result] : answers) {
        SCOPED_TRACE(keys);
        door_.type(keys);
        EXPECT_EQ(ask_yes_no("Sure you want to quit (Y/[N]): ", default_answer), result);
    }
}

TEST_F(Screen, ConditionTextsAtColumnOneOfTheMessageRow) {
    const std::tuple<const char*, int, const char*, int> cases[] = {
        // line, key, text, result
        {"~NO_CARRIER", -1, "ERROR - NO CARRIER, TERMINATING GAME!!!", -1},
        {"~NOT_ACTIVE", -2, "ERROR - NO TERMINAL ACTIVITY, TERMINATING GAME!!!", -1},
        {"~TIME_WARNING", -3, "WARNING - LESS THAN 5 MINUTES OF GAME TIME LEFT!!!", 0},
        {"~TIMEOUT", -4, "ERROR - YOU HAVE USED ALL YOUR GAME TIME!!!", -1},
        {"~TIMEOUTS", -5, nullptr, 0}};
    for (const auto& [token, key, shown, result] : cases) {
        for (bool by_key : {false, true}) {
            SCOPED_TRACE(std::string(token) + (by_key ? " as a key" : " as a line"));
            show_prompt("Enter a quantity: 12");
            EXPECT_EQ(by_key ? check_key_condition(key) : check_line_condition(token), result);
            std::string expected = shown ? std::string(" ") + shown : "  Enter a quantity: 12";
            if (by_key && key == -4) expected = " ERROR - YOU HAVE USED ALL YOUR CONNECT TIME!!!";
            EXPECT_EQ(text(23, 0, static_cast<int>(expected.size())), expected);
        }
    }
}

// Time used up in a menu: its message, then the normal end (in a child; its output reaches us).
TEST_F(Screen, TimeOutInAMenuEndsTheSessionNormally) {
    GTEST_FLAG_SET(death_test_style, "fast");
    int cursor = 2;
    od_control.user_timelimit = 0;
    EXPECT_EXIT(run_selection(kMainLoop, cursor), ::testing::ExitedWithCode(0), "");
    std::string out;  // read for 5 s at most
    for (int i = 0; i < 500 && out.find("Returning to BBS....") == std::string::npos; ++i) {
        usleep(10000);
        out += door_.take_output();
    }
    const size_t message = out.find("\x1b[24HTime expired, termination game...");
    ASSERT_NE(message, std::string::npos) << out;
    EXPECT_LT(message, out.find("Returning to BBS...."));
}

}  // namespace

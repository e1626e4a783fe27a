// The fixed screen as a caller's terminal shows it: heading bars, holdings table and markers in
// the three graphics modes; the selection loop's keys and condition codes; the message row.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>

#include "data/session_state.h"
#include "doorkit/opendoors.h"
#include "screens/framework.h"
#include "session/terminal.h"
#include "vcaller/harness.h"

namespace {

constexpr int kGreen = 2;  // palette index as the emulated terminal reports it

std::string repeat(const std::string& glyph, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) out += glyph;
    return out;
}

void redraw_main_screen() {
    draw_holdings_table();
    draw_menu_screen(kMainMenuScreen);
    draw_message_heading();
    show_cash();
}
const SelectionLoop kMainLoop{15, 7, false, redraw_main_screen, show_cash};

class ScreenTest : public ::testing::TestWithParam<int> {
  protected:
    // Company i is "AAA", "BBB", ...: options 5, common 27, preferred 110, bonds 1000, except
    // that company 1 trades no bonds, company 2 no common, company 3 no options. The caller
    // holds in company 0: 1234 options, 10 common, 3 bonds and 25 short.
    void SetUp() override {
        g_session = SessionState{};
        constexpr int16_t kPrices[kKindCount] = {5, 27, 110, 1000};
        for (int i = 0; i < kCompanyCount; ++i) {
            CompanyRecord& c = g_session.market.companies[i];
            std::memset(c.symbol, 'A' + i, 3);
            for (int k = 0; k < kKindCount; ++k) {
                c.total[k] = 1000;
                c.price[k][0] = kPrices[k];
            }
        }
        g_session.market.companies[1].total[kBonds] = 0;
        g_session.market.companies[2].total[kCommon] = 0;
        g_session.market.companies[3].total[kOptions] = 0;
        g_session.player.cash = 2000;
        g_session.player.holdings[0] = Holding{{}, 0, {}, {1234, 10, 0, 3}, 25, 20};
        short_view = 0;
        current_company = 0;
    }
    void draw_standard_screen() {
        term_clear_screen();
        redraw_main_screen();
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
    EXPECT_EQ(text(0), "  " + repeat(f, 33) + " BULLMOOR " + repeat(f, 33) + "  ");
    EXPECT_EQ(text(14), "  " + repeat(f, 28) + " MAIN COMMAND MENU " + repeat(f, 29) + "  ");
    EXPECT_EQ(text(22), "  " + repeat(f, 28) + " MESSAGES & PROMPTS " + repeat(f, 28) + "  ");
    for (int r : {0, 14, 22}) {
        const VirtualScreen& v = screen();
        const bool green = v.bg(r, 2) == kGreen && v.bg(r, 77) == kGreen && v.bg(r, 78) != kGreen;
        EXPECT_EQ(green, mode == 2) << "row " << r;
    }
    EXPECT_EQ(text(1, 0, 72),
              "      Company      Options         Common         Preferred        Bonds");
    const char* holdings[] = {
        "        AAA        1234/$  5         10/$ 27          0/$110          3/$1000   ",
        "        BBB           0/$  5          0/$ 27          0/$110          ---       ",
        "        CCC           0/$  5          ---             0/$110          0/$1000   ",
        "        DDD           ---             0/$ 27          0/$110          0/$1000   "};
    for (int r = 0; r < 4; ++r) EXPECT_EQ(text(2 + r), holdings[r]) << "row " << 2 + r;
    EXPECT_EQ(text(13, 8, 3), "LLL");
    EXPECT_EQ(text(23), "  Current cash: $2000" + std::string(59, ' '));

    // The short column is written from column 30; a full redraw keeps it at the table's field.
    draw_short_column();
    EXPECT_EQ(text(1, 19, 29), "Options      Shares Short    ");
    EXPECT_EQ(text(2, 28, 20), "       25/$ 27      ");
    EXPECT_EQ(text(4, 30, 16), "      ---       ");
    draw_holdings_table();
    EXPECT_EQ(text(2, 32, 16), "     25/$ 27    ");
    EXPECT_EQ(screen().fg(2, 38) == kGreen, mode == 2) << "short counts green in colour";
    draw_common_column();
    EXPECT_EQ(text(2, 30, 16), "     10/$ 27    ");

    draw_title_banner();
    EXPECT_EQ(text(0, 0, 1), mode == 0 ? " " : "╔");
    EXPECT_EQ(text(1, 30, 19), "  B U L L M O O R  ");
    EXPECT_EQ(text(1, 78, 1), mode == 0 ? " " : "║");
    EXPECT_EQ(screen().cursor_row(), 4);
    mark_item(16, true);
    EXPECT_EQ(text(16, 30, 3), mode == 0 ? "[+]" : "[♦]");
    EXPECT_EQ(screen().cursor_col(), 31) << "the cursor rests on the mark";
    unmark_item(16);
    EXPECT_EQ(text(16, 30, 3), "[ ]");
    mark_company(5, true);
    EXPECT_EQ(text(5, 4, 3), mode == 0 ? "==>" : "══►");
    unmark_company(5);
    EXPECT_EQ(text(5, 0, 10), std::string(10, ' '));
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

TEST_F(Screen, SelectionLoopKeys) {
    const struct {
        int start;
        const char* keys;
        int choice;
    } cases[] = {{0, "8\r", 0},      {0, "\x1b[A\r", 0},  {6, "2\r", 6},       {6, "\x1b[B ", 6},
                 {0, "2\x1b[B ", 2}, {3, "8\x1b[A\r", 1}, {2, "1\r", 6},       {2, "\x1b[F\r", 6},
                 {5, "7\r", 0},      {5, "\x1b[1~\r", 0}, {1, "x9\x1b[C\r", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.keys));
        draw_standard_screen();
        door_.type(c.keys);
        int cursor = c.start;
        EXPECT_EQ(run_selection(kMainLoop, cursor), c.choice);
        EXPECT_EQ(cursor, c.choice);
        for (int i = 0; i < 7; ++i) {
            EXPECT_EQ(text(15 + i, 30, 3), i == c.choice ? "[+]" : "[ ]") << "item " << i;
        }
        EXPECT_FALSE(screen().bold(15 + c.choice, 31)) << "the chosen item is marked normal";
    }
}

// The company selector starts at the company chosen last; a time warning shows on row 23 and
// the selector's own message row comes back.
TEST_F(Screen, TimeWarningInTheCompanySelector) {
    draw_standard_screen();
    door_.take_output();
    od_control.user_timelimit = 4;
    current_company = 3;
    door_.type("2\r");
    EXPECT_EQ(select_company(false), 4);
    const std::string out = door_.take_output();
    const size_t warning = out.find("\x1b[24HWarning...Less than 5 minutes remaining...");
    ASSERT_NE(warning, std::string::npos) << out;
    EXPECT_NE(out.find("Select a company...", warning), std::string::npos);
    EXPECT_EQ(text(6, 4, 3), "==>");
    EXPECT_EQ(text(5, 4, 3), "   ");
}

// The first character answers; anything else, or nothing, gives the default.
TEST_F(Screen, YesNoAnswers) {
    const struct {
        const char* keys;
        int default_answer;
        int result;
    } answers[] = {{"\r", 0, 0},   {"\r", 1, 1},      {"yes please\r", 0, 1}, {"n\r", 1, 0},
                   {"no\r", 1, 0}, {"maybe\r", 1, 1}, {"maybe\r", 0, 0},      {" y\r", 0, 0}};
    for (const auto& a : answers) {
        SCOPED_TRACE(a.keys);
        door_.type(a.keys);
        EXPECT_EQ(ask_yes_no("Sure you want to quit (Y/[N]): ", a.default_answer), a.result);
    }
}

TEST_F(Screen, ConditionTextsAtColumnOneOfTheMessageRow) {
    const struct {
        const char* token;
        int key;
        const char* text;  // nullptr: nothing shown
        int result;
    } cases[] = {{"~NO_CARRIER", -1, "ERROR - NO CARRIER, TERMINATING GAME!!!", -1},
                 {"~NOT_ACTIVE", -2, "ERROR - NO TERMINAL ACTIVITY, TERMINATING GAME!!!", -1},
                 {"~TIME_WARNING", -3, "WARNING - LESS THAN 5 MINUTES OF GAME TIME LEFT!!!", 0},
                 {"~TIMEOUT", -4, "ERROR - YOU HAVE USED ALL YOUR GAME TIME!!!", -1},
                 {"~NO_CARRIER ", -5, nullptr, 0},
                 {"~TIMEOUTS", 13, nullptr, 0}};
    for (const auto& c : cases) {
        for (bool by_key : {false, true}) {
            SCOPED_TRACE(std::string(c.token) + (by_key ? " as a key" : " as a line"));
            show_prompt("Enter a quantity: 12");
            EXPECT_EQ(by_key ? check_key_condition(c.key) : check_line_condition(c.token),
                      c.result);
            std::string expected = c.text ? std::string(" ") + c.text : "  Enter a quantity: 12";
            if (by_key && c.key == -4) expected = " ERROR - YOU HAVE USED ALL YOUR CONNECT TIME!!!";
            EXPECT_EQ(text(23, 0, static_cast<int>(expected.size())), expected);
        }
    }
}

// Time-out in a menu ends the session normally (exit code 0) after its message on row 23; the
// harness's session has nothing loaded, so nothing is saved. The session ends in a forked child
// whose output reaches this process's harness.
TEST_F(Screen, TimeOutInAMenuEndsTheSessionNormally) {
    GTEST_FLAG_SET(death_test_style, "fast");
    draw_standard_screen();
    door_.take_output();
    int cursor = 2;
    od_control.user_timelimit = 0;
    EXPECT_EXIT(run_selection(kMainLoop, cursor), ::testing::ExitedWithCode(0), "");
    std::string out;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (out.find("Returning to BBS....") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
        usleep(10000);
        out += door_.take_output();
    }
    const size_t message = out.find("\x1b[24HTime expired, termination game...");
    ASSERT_NE(message, std::string::npos) << out;
    EXPECT_LT(message, out.find("Returning to BBS...."));
}

}  // namespace

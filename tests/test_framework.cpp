// The fixed screen as a caller's terminal shows it: heading bars, banner, holdings table, menus
// and markers in the three graphics modes; the selection loop's keys and condition codes; the
// message-row prompts.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "data/session_state.h"
#include "doorkit/opendoors.h"
#include "screens/framework.h"
#include "session/terminal.h"
#include "vcaller/harness.h"

namespace {

// ANSI palette indexes as the emulated terminal reports them.
constexpr int kGreen = 2;
constexpr int kWhite = 7;

std::string repeat(const std::string& glyph, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) out += glyph;
    return out;
}

std::string fill_glyph(int mode) {
    return mode == 0 ? "=" : mode == 1 ? "═" : " ";
}

// Company i is "AAA", "BBB", ...; every kind traded at options 5, common 27, preferred 110,
// bonds 1000, except: company 1 trades no bonds, company 2 no common, company 3 no options.
// The caller holds in company 0: 1234 options, 10 common, no preferred, 3 bonds, 25 short.
void set_up_session(int mode) {
    g_session = SessionState{};
    for (int i = 0; i < kCompanyCount; ++i) {
        CompanyRecord& c = g_session.market.companies[i];
        std::memset(c.symbol, 'A' + i, 3);
        c.symbol[3] = '\0';
        for (int k = 0; k < kKindCount; ++k) c.total[k] = 1000;
        c.price[kOptions][0] = 5;
        c.price[kCommon][0] = 27;
        c.price[kPreferred][0] = 110;
        c.price[kBonds][0] = 1000;
    }
    g_session.market.companies[1].total[kBonds] = 0;
    g_session.market.companies[2].total[kCommon] = 0;
    g_session.market.companies[3].total[kOptions] = 0;
    PlayerRecord& p = g_session.player;
    p.graphics_mode = static_cast<int16_t>(mode);
    p.cash = 2000;
    p.holdings[0].count[kOptions] = 1234;
    p.holdings[0].count[kCommon] = 10;
    p.holdings[0].count[kBonds] = 3;
    p.holdings[0].short_count = 25;
    p.holdings[0].short_price = 20;
    short_view = 0;
    current_company = 0;
}

int g_redraws = 0;
void redraw_main_screen() {
    ++g_redraws;
    draw_holdings_table();
    draw_menu_screen(kMainMenuScreen);
    draw_message_heading();
    show_cash();
}

void draw_standard_screen() {
    term_clear_screen();
    redraw_main_screen();
}

class ScreenTest : public ::testing::Test {
  protected:
    void SetUp() override {
        set_up_session(0);
        g_redraws = 0;
    }
    std::string row(int r) {
        door_.sync();
        return door_.screen().row(r);
    }
    std::string text(int r, int c, int len) {
        door_.sync();
        return door_.screen().text(r, c, len);
    }
    const VirtualScreen& screen() {
        door_.sync();
        return door_.screen();
    }
    DoorHarness door_;
};

class ModeTest : public ScreenTest, public ::testing::WithParamInterface<int> {
  protected:
    void SetUp() override {
        ScreenTest::SetUp();
        g_session.player.graphics_mode = static_cast<int16_t>(GetParam());
    }
};

TEST_P(ModeTest, HeadingBarsOfTheStandardScreen) {
    const int mode = GetParam();
    draw_standard_screen();
    const std::string f = fill_glyph(mode);
    EXPECT_EQ(row(0), "  " + repeat(f, 33) + " BULLMOOR " + repeat(f, 33) + "  ");
    EXPECT_EQ(row(14), "  " + repeat(f, 28) + " MAIN COMMAND MENU " + repeat(f, 29) + "  ");
    EXPECT_EQ(row(22), "  " + repeat(f, 28) + " MESSAGES & PROMPTS " + repeat(f, 28) + "  ");
    const VirtualScreen& s = screen();
    for (int r : {0, 14, 22}) {
        EXPECT_EQ(s.bg(r, 2) == kGreen, mode == 2) << "row " << r;
        EXPECT_EQ(s.bg(r, 77) == kGreen, mode == 2) << "row " << r;
        EXPECT_NE(s.bg(r, 78), kGreen) << "row " << r;
        EXPECT_TRUE(s.bold(r, 40)) << "row " << r;
    }
    EXPECT_EQ(row(23), "  Current cash: $2000" + std::string(59, ' ')) << s.dump();
}

TEST_P(ModeTest, HoldingsTableFieldsAndPlaceholders) {
    draw_standard_screen();
    EXPECT_EQ(text(1, 0, 72),
              "      Company      Options         Common         Preferred        Bonds");
    EXPECT_EQ(row(2),
              "        AAA        1234/$  5         10/$ 27          0/$110          3/$1000   ");
    EXPECT_EQ(row(3),
              "        BBB           0/$  5          0/$ 27          0/$110          ---       ");
    EXPECT_EQ(row(4),
              "        CCC           0/$  5          ---             0/$110          0/$1000   ");
    EXPECT_EQ(row(5),
              "        DDD           ---             0/$ 27          0/$110          0/$1000   ");
    EXPECT_EQ(text(13, 8, 3), "LLL");
    EXPECT_TRUE(screen().bold(2, 8)) << "symbols are bright";
    EXPECT_FALSE(screen().bold(2, 22)) << "counts are normal";
    EXPECT_TRUE(screen().bold(2, 23)) << "the slash is bright";
}

TEST_P(ModeTest, ShortColumnRewrittenAndKeptByAFullRedraw) {
    const int mode = GetParam();
    draw_standard_screen();
    draw_short_column();
    EXPECT_EQ(short_view, 1);
    EXPECT_EQ(text(1, 0, 72),
              "      Company      Options      Shares Short      Preferred        Bonds");
    // Written from column 30, two columns left of the full table's field.
    EXPECT_EQ(text(2, 28, 20), "       25/$ 27      ");
    EXPECT_EQ(text(4, 30, 16), "      ---       ");

    draw_holdings_table();
    EXPECT_EQ(text(2, 32, 16), "     25/$ 27    ");
    EXPECT_EQ(screen().fg(2, 38) == kGreen, mode == 2) << "short counts green in colour";
    EXPECT_NE(screen().fg(2, 39), kGreen);

    draw_common_column();
    EXPECT_EQ(short_view, 0);
    EXPECT_EQ(text(1, 6, 50), "Company      Options         Common         Prefer");
    EXPECT_EQ(text(2, 30, 16), "     10/$ 27    ");
}

TEST_P(ModeTest, TitleBanner) {
    const int mode = GetParam();
    term_printf("left over");
    draw_title_banner();
    const std::string name = "B U L L M O O R";
    if (mode == 0) {
        EXPECT_EQ(row(0), std::string(80, ' '));
        EXPECT_EQ(row(1), std::string(32, ' ') + name + std::string(33, ' '));
        EXPECT_EQ(screen().cursor_row(), 4);
        return;
    }
    EXPECT_EQ(row(0), "╔" + repeat("═", 77) + "╗ ");
    EXPECT_EQ(row(1), "║" + std::string(31, ' ') + name + std::string(31, ' ') + "║ ");
    EXPECT_EQ(row(2), "╚" + repeat("═", 77) + "╝ ");
    EXPECT_EQ(screen().cursor_row(), 4);
    EXPECT_EQ(screen().fg(1, 32) == kGreen, mode == 2);
    if (mode == 2) {
        EXPECT_EQ(screen().fg(1, 78), kWhite);
    }
}

TEST_P(ModeTest, MarkersAtTheirColumns) {
    const int mode = GetParam();
    const std::string item = mode == 0 ? "[+]" : "[♦]";
    const std::string arrow = mode == 0 ? "==>" : "══►";
    mark_item(16, true);
    EXPECT_EQ(text(16, 30, 3), item);
    EXPECT_TRUE(screen().bold(16, 31));
    EXPECT_EQ(screen().cursor_row(), 16);
    EXPECT_EQ(screen().cursor_col(), 31) << "the cursor rests on the mark";
    mark_item(16, false);
    EXPECT_FALSE(screen().bold(16, 31));
    unmark_item(16);
    EXPECT_EQ(text(16, 30, 3), "[ ]");

    mark_company(5, true);
    EXPECT_EQ(text(5, 4, 3), arrow);
    EXPECT_TRUE(screen().bold(5, 6));
    EXPECT_EQ(screen().cursor_col(), 6);
    unmark_company(5);
    EXPECT_EQ(text(5, 0, 10), std::string(10, ' '));
}

INSTANTIATE_TEST_SUITE_P(GraphicsModes, ModeTest, ::testing::Values(0, 1, 2));

TEST_F(ScreenTest, UnknownModeDrawsNoBarsOrMarkers) {
    g_session.player.graphics_mode = 3;
    draw_standard_screen();
    // The bar carries the line end, so the column heading moves up into row 0.
    EXPECT_EQ(text(0, 0, 13), "      Company");
    for (int r : {14, 22}) EXPECT_EQ(row(r), std::string(80, ' ')) << "row " << r;
    EXPECT_EQ(text(15, 30, 18), "[ ] Brokers Report");
    draw_title_banner();
    mark_item(15, true);
    mark_company(2, true);
    draw_message_heading();
    for (int r = 0; r < 23; ++r) EXPECT_EQ(row(r), std::string(80, ' ')) << "row " << r;
}

TEST_F(ScreenTest, MenuScreensClearTheRowsTheyDoNotUse) {
    for (int r = 15; r <= 21; ++r) {
        term_goto(0, r);
        term_printf("left over text on row %d", r);
    }
    draw_menu_screen(kGraphicsMenuScreen);
    EXPECT_EQ(row(14),
              "  " + repeat("=", 25) + " GRAPHICS SELECTION MENU " + repeat("=", 26) + "  ");
    const char* expected[7] = {
        "", "[ ] No graphics", "[ ] IBM graphics", "[ ] IBM color graphics", "", "", ""};
    for (int r = 15; r <= 21; ++r) {
        std::string line = expected[r - 15][0] ? std::string(30, ' ') + expected[r - 15] : "";
        line.resize(80, ' ');
        EXPECT_EQ(row(r), line) << "row " << r;
    }
    draw_menu_screen(kStockTypeMenuScreen);
    EXPECT_EQ(text(14, 27, 25), "STOCK TYPE SELECTION MENU");
    EXPECT_EQ(text(16, 30, 19), "[ ] Stock Options  ");
    EXPECT_EQ(text(19, 30, 10), "[ ] Bonds ");
    for (int r : {15, 20, 21}) EXPECT_EQ(row(r), std::string(80, ' ')) << "row " << r;
}

// The selection loop over the main menu: start cursor, keys, choice.
struct LoopCase {
    const char* label;
    int start;
    const char* keys;
    int choice;
};

class SelectionKeys : public ScreenTest, public ::testing::WithParamInterface<LoopCase> {};

TEST_P(SelectionKeys, ChoiceAndMarkers) {
    const LoopCase& c = GetParam();
    draw_standard_screen();
    door_.type(c.keys);
    int cursor = c.start;
    const SelectionLoop loop{15, 7, false, redraw_main_screen, show_cash};
    EXPECT_EQ(run_selection(loop, cursor), c.choice);
    EXPECT_EQ(cursor, c.choice);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(text(15 + i, 30, 3), i == c.choice ? "[+]" : "[ ]") << "item " << i;
    }
    EXPECT_FALSE(screen().bold(15 + c.choice, 31)) << "the chosen item is marked normal";
    EXPECT_EQ(g_redraws, 1) << "no redraw without an asterisk";
}

INSTANTIATE_TEST_SUITE_P(Keys, SelectionKeys,
                         ::testing::Values(LoopCase{"Up on the first item", 0, "8\r", 0},
                                           LoopCase{"Up arrow on the first item", 0, "\x1b[A\r", 0},
                                           LoopCase{"Down on the last item", 6, "2\r", 6},
                                           LoopCase{"Down arrow on the last item", 6, "\x1b[B ", 6},
                                           LoopCase{"Down twice, space", 0, "2\x1b[B ", 2},
                                           LoopCase{"Up twice", 3, "8\x1b[A\r", 1},
                                           LoopCase{"End", 2, "1\r", 6},
                                           LoopCase{"End key", 2, "\x1b[F\r", 6},
                                           LoopCase{"Home", 5, "7\r", 0},
                                           LoopCase{"Home key", 5, "\x1b[1~\r", 0},
                                           LoopCase{"Other keys ignored", 1, "x9\x05\x1b[C\r", 1}));

TEST_F(ScreenTest, AsteriskRedrawsEverythingAndKeepsTheCursor) {
    draw_standard_screen();
    term_goto(78, 5);
    term_printf("XY");
    door_.type("22*2\r");
    int cursor = 1;
    const SelectionLoop loop{15, 7, false, redraw_main_screen, show_cash};
    EXPECT_EQ(run_selection(loop, cursor), 4);
    EXPECT_EQ(g_redraws, 2);
    EXPECT_EQ(text(5, 78, 2), "  ") << "the screen was cleared first";
    EXPECT_EQ(text(14, 31, 17), "MAIN COMMAND MENU");
    EXPECT_EQ(text(18, 30, 3), "[ ]");
    EXPECT_EQ(text(19, 30, 3), "[+]");
}

TEST_F(ScreenTest, ExtraKeyChoosesWithTheCursorKept) {
    draw_standard_screen();
    door_.type("2\x05");
    int cursor = 0;
    SelectionLoop loop{15, 7, false, redraw_main_screen, show_cash};
    loop.extra_key = 5;
    EXPECT_EQ(run_selection(loop, cursor), kExtraKeyChosen);
    EXPECT_EQ(cursor, 1);
    EXPECT_EQ(text(16, 30, 3), "[+]");
}

TEST_F(ScreenTest, TimeWarningInAMenuShowsAndRedrawsTheMessageRow) {
    draw_standard_screen();
    door_.take_output();
    od_control.user_timelimit = 4;
    door_.type("\r");
    int cursor = 0;
    const SelectionLoop loop{15, 7, false, redraw_main_screen, show_cash};
    EXPECT_EQ(run_selection(loop, cursor), 0);
    const std::string out = door_.take_output();
    const size_t warning = out.find("\x1b[24HWarning...Less than 5 minutes remaining...");
    ASSERT_NE(warning, std::string::npos) << out;
    EXPECT_NE(out.find("Current cash", warning), std::string::npos);
    EXPECT_EQ(text(23, 0, 21), "  Current cash: $2000");
}

TEST_F(ScreenTest, CompanySelectorMovesFromTheLastCompanyAndKeepsIt) {
    draw_standard_screen();
    current_company = 3;
    door_.type("2\r");
    EXPECT_EQ(select_company(false), 4);
    EXPECT_EQ(current_company, 4);
    EXPECT_EQ(text(6, 4, 3), "==>");
    EXPECT_EQ(text(5, 4, 3), "   ");
    EXPECT_EQ(text(23, 0, 21), "  Select a company...");
    clear_company_arrow();
    EXPECT_EQ(text(6, 4, 3), "   ");

    door_.type("*\r");
    EXPECT_EQ(select_company(true), 4);
    EXPECT_EQ(text(14, 29, 20), " STOCK TRADING MENU ");
    EXPECT_EQ(text(6, 4, 3), "==>");
    EXPECT_EQ(text(23, 0, 21), "  Select a company...");
}

TEST_F(ScreenTest, StockTypeSelector) {
    draw_standard_screen();
    door_.type("1822\r");
    EXPECT_EQ(select_stock_type(), 3);
    EXPECT_EQ(text(19, 30, 3), "[+]");
    EXPECT_EQ(text(23, 0, 24), "  Select a stock type...");
}

TEST_F(ScreenTest, MessageRowTexts) {
    term_goto(0, 23);
    term_printf("old text that the row clears first");
    prompt_help_subject();
    EXPECT_EQ(row(23), "  Select help subject..." + std::string(56, ' '));
    prompt_graphics_mode();
    EXPECT_EQ(text(23, 0, 30), "  Select graphics mode...     ");
    show_prompt("New value (100%% max): ");
    EXPECT_EQ(text(23, 0, 30), "  New value (100% max):       ");
    door_.take_output();
    show_message("Sorry, that company does not trade bonds!");
    EXPECT_EQ(text(23, 0, 45), "  Sorry, that company does not trade bonds!  ");
    EXPECT_NE(door_.take_output().find("bonds!\a"), std::string::npos);
}

struct YesNoCase {
    const char* keys;
    int default_answer;
    int result;
};

class YesNo : public ScreenTest, public ::testing::WithParamInterface<YesNoCase> {};

TEST_P(YesNo, FirstCharacterOrTheDefault) {
    const YesNoCase& c = GetParam();
    door_.type(c.keys);
    EXPECT_EQ(ask_yes_no("Sure you want to quit (Y/[N]): ", c.default_answer), c.result);
    EXPECT_EQ(text(23, 0, 33), "  Sure you want to quit (Y/[N]): ");
}

INSTANTIATE_TEST_SUITE_P(Answers, YesNo,
                         ::testing::Values(YesNoCase{"\r", 0, 0}, YesNoCase{"\r", 1, 1},
                                           YesNoCase{"yes please\r", 0, 1}, YesNoCase{"Y\r", 0, 1},
                                           YesNoCase{"n\r", 1, 0}, YesNoCase{"Nope\r", 1, 0},
                                           YesNoCase{"maybe\r", 1, 1}, YesNoCase{"maybe\r", 0, 0},
                                           YesNoCase{" y\r", 0, 0}));

TEST_F(ScreenTest, PressEnterReturnsOnATimeWarning) {
    od_control.user_timelimit = 4;
    EXPECT_EQ(press_enter(), 0);
    EXPECT_EQ(text(23, 0, 52), " WARNING - LESS THAN 5 MINUTES OF GAME TIME LEFT!!! ");
    EXPECT_STREQ(line_buffer, "~TIME_WARNING");
}

struct ConditionCase {
    const char* token;
    int key;
    const char* line_text;  // nullptr: nothing shown
    const char* key_text;
    int result;
};

class Conditions : public ScreenTest, public ::testing::WithParamInterface<ConditionCase> {};

TEST_P(Conditions, TextAtColumnOneOfTheMessageRow) {
    const ConditionCase& c = GetParam();
    const std::string before = "  Enter a quantity: 12";
    term_goto(0, 23);
    term_printf("%s", before.c_str());
    EXPECT_EQ(check_line_condition(c.token), c.result);
    std::string expected = c.line_text ? std::string(" ") + c.line_text : before;
    EXPECT_EQ(text(23, 0, static_cast<int>(expected.size())), expected);

    term_goto(0, 23);
    term_clear_line();
    term_printf("%s", before.c_str());
    EXPECT_EQ(check_key_condition(c.key), c.result);
    expected = c.key_text ? std::string(" ") + c.key_text : before;
    EXPECT_EQ(text(23, 0, static_cast<int>(expected.size())), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, Conditions,
    ::testing::Values(ConditionCase{"~NO_CARRIER", -1, "ERROR - NO CARRIER, TERMINATING GAME!!!",
                                    "ERROR - NO CARRIER, TERMINATING GAME!!!", -1},
                      ConditionCase{"~NOT_ACTIVE", -2,
                                    "ERROR - NO TERMINAL ACTIVITY, TERMINATING GAME!!!",
                                    "ERROR - NO TERMINAL ACTIVITY, TERMINATING GAME!!!", -1},
                      ConditionCase{"~TIME_WARNING", -3,
                                    "WARNING - LESS THAN 5 MINUTES OF GAME TIME LEFT!!!",
                                    "WARNING - LESS THAN 5 MINUTES OF GAME TIME LEFT!!!", 0},
                      ConditionCase{"~TIMEOUT", -4, "ERROR - YOU HAVE USED ALL YOUR GAME TIME!!!",
                                    "ERROR - YOU HAVE USED ALL YOUR CONNECT TIME!!!", -1},
                      ConditionCase{"~NO_CARRIER ", -5, nullptr, nullptr, 0},
                      ConditionCase{"~TIMEOUTS", 13, nullptr, nullptr, 0}));

}  // namespace

namespace {

// Everything the door sent until marker, read with a deadline: the session ends in a forked
// child whose output reaches the parent's harness.
std::string output_until(DoorHarness& door, const std::string& marker) {
    std::string out;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (out.find(marker) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        out += door.take_output();
        if (out.find(marker) == std::string::npos) usleep(10000);
    }
    return out;
}

enum class Loss { kHangUp, kIdle, kTimeUp };

struct MenuEndCase {
    const char* label;
    Loss loss;
    const char* text;  // nullptr when the caller is gone and sees nothing
};

class MenuEnds : public ScreenTest, public ::testing::WithParamInterface<MenuEndCase> {};

// Each ends the session normally (exit code 0) after the menu's own message on row 23; the
// harness's session has nothing loaded, so the normal end saves nothing here.
TEST_P(MenuEnds, ConditionEndsTheSessionNormally) {
    GTEST_FLAG_SET(death_test_style, "fast");
    const MenuEndCase& c = GetParam();
    draw_standard_screen();
    door_.take_output();
    if (c.loss == Loss::kHangUp) door_.hang_up();
    if (c.loss == Loss::kTimeUp) od_control.user_timelimit = 0;
    const SelectionLoop loop{15, 7, false, redraw_main_screen, show_cash};
    int cursor = 2;
    EXPECT_EXIT(run_selection(loop, cursor), ::testing::ExitedWithCode(0), "");
    if (c.text == nullptr) return;
    const std::string out = output_until(door_, "Returning to BBS....");
    const size_t message = out.find(std::string("\x1b[24H") + c.text);
    ASSERT_NE(message, std::string::npos) << out;
    EXPECT_LT(message, out.find("Returning to BBS...."));
}

INSTANTIATE_TEST_SUITE_P(Conditions, MenuEnds,
                         ::testing::Values(MenuEndCase{"carrier", Loss::kHangUp, nullptr},
                                           MenuEndCase{"inactivity", Loss::kIdle,
                                                       "No keyboard activity, termination game..."},
                                           MenuEndCase{"time", Loss::kTimeUp,
                                                       "Time expired, termination game..."}));

TEST_F(ScreenTest, PromptsEndTheSessionNormallyWhenTheCallerIsLost) {
    GTEST_FLAG_SET(death_test_style, "fast");
    od_control.user_timelimit = 0;
    EXPECT_EXIT(press_enter(), ::testing::ExitedWithCode(0), "");
    const std::string out = output_until(door_, "Returning to BBS....");
    EXPECT_NE(out.find("\x1b[24;2HERROR - YOU HAVE USED ALL YOUR GAME TIME!!!"), std::string::npos)
        << out;
    door_.hang_up();
    EXPECT_EXIT(ask_yes_no("Sure? ", 0), ::testing::ExitedWithCode(0), "");
}

}  // namespace

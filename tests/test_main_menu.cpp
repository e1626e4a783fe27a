// The graphics selection menu and the main help menu, driven in process over the door harness and
// read back from the emulated screen at their rows and columns.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "data/session_state.h"
#include "market/market.h"
#include "screens/main_menu.h"
#include "vcaller/harness.h"

namespace {

class MenuTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_session = SessionState{};
        (void)build_default_market(g_session.market);
        g_session.player.cash = 1234;
    }
    std::string text(int row, int column, int length) {
        return door_.screen().text(row, column, length);
    }
    DoorHarness door_;
};

// The marker of a chosen item as the given mode draws it.
std::string marker(int mode) {
    return mode == 0 ? "[+]" : "[\u2666]";
}

struct GraphicsCase {
    int from;
    const char* keys;
    int to;
};
void PrintTo(const GraphicsCase& c, std::ostream* os) {
    *os << "mode " << c.from << " to " << c.to;
}

class GraphicsMenu : public MenuTest, public ::testing::WithParamInterface<GraphicsCase> {};

TEST_P(GraphicsMenu, CursorStartsAtTheModeInUseAndReportsAChange) {
    const GraphicsCase& c = GetParam();
    g_session.player.graphics_mode = static_cast<int16_t>(c.from);
    door_.type(c.keys);
    const int changed = graphics_menu();
    door_.sync();
    EXPECT_EQ(changed, c.to != c.from ? 1 : 0);
    EXPECT_EQ(g_session.player.graphics_mode, c.to);

    const VirtualScreen& screen = door_.screen();
    EXPECT_EQ(text(14, 28, 23), "GRAPHICS SELECTION MENU") << screen.dump();
    EXPECT_EQ(text(15, 0, 80), std::string(80, ' ')) << screen.dump();
    EXPECT_EQ(text(16, 34, 11), "No graphics") << screen.dump();
    EXPECT_EQ(text(17, 34, 12), "IBM graphics") << screen.dump();
    EXPECT_EQ(text(18, 34, 18), "IBM color graphics") << screen.dump();
    for (int row = 19; row <= 21; ++row) {
        EXPECT_EQ(text(row, 0, 80), std::string(80, ' ')) << "row " << row << "\n" << screen.dump();
    }
    EXPECT_EQ(text(23, 0, 25), "  Select graphics mode...") << screen.dump();
    // The chosen item keeps the normal marker drawn in the mode of the menu; the others are
    // unmarked (the start item's marker was erased when the cursor left it).
    for (int item = 0; item < 3; ++item) {
        const std::string expected = item == c.to ? marker(c.from) : "[ ]";
        EXPECT_EQ(text(16 + item, 30, 3), expected) << "item " << item << "\n" << screen.dump();
    }
    EXPECT_FALSE(screen.bold(16 + c.to, 31)) << screen.dump();
}

INSTANTIATE_TEST_SUITE_P(Moves, GraphicsMenu,
                         ::testing::Values(GraphicsCase{0, "\r", 0}, GraphicsCase{1, " ", 1},
                                           GraphicsCase{2, "\r", 2}, GraphicsCase{0, "2\r", 1},
                                           GraphicsCase{0, "1\r", 2}, GraphicsCase{2, "7\r", 0},
                                           GraphicsCase{2, "\x1b[A\r", 1},
                                           GraphicsCase{1, "88\r", 0},
                                           GraphicsCase{1, "\x1b[B\x1b[B\r", 2}));

TEST_F(MenuTest, GraphicsMenuHeadingInEachMode) {
    struct Bar {
        int mode;
        const char* fill;  // the fill glyph at columns 2..26 and 52..77
    };
    for (const Bar& bar : {Bar{0, "="}, Bar{1, "\u2550"}, Bar{2, " "}}) {
        g_session.player.graphics_mode = static_cast<int16_t>(bar.mode);
        door_.type("\r");
        EXPECT_EQ(graphics_menu(), 0);
        door_.sync();
        std::string left, right;
        for (int i = 0; i < 25; ++i) left += bar.fill;
        for (int i = 0; i < 26; ++i) right += bar.fill;
        const VirtualScreen& screen = door_.screen();
        SCOPED_TRACE("mode " + std::to_string(bar.mode) + "\n" + screen.dump());
        EXPECT_EQ(text(14, 0, 2), "  ");
        EXPECT_EQ(text(14, 2, 25), left);
        EXPECT_EQ(text(14, 27, 25), " GRAPHICS SELECTION MENU ");
        EXPECT_EQ(text(14, 52, 26), right);
        // Mode 2 is a green bar; the others are drawn on black.
        EXPECT_EQ(screen.bg(14, 40), bar.mode == 2 ? 2 : 0);
        EXPECT_EQ(text(16 + bar.mode, 30, 3), marker(bar.mode));
    }
}

TEST_F(MenuTest, GraphicsMenuAsteriskRedrawsTheWholeScreen) {
    g_session.player.graphics_mode = 0;
    door_.type("2*\r");
    EXPECT_EQ(graphics_menu(), 1);
    door_.sync();
    const VirtualScreen& screen = door_.screen();
    SCOPED_TRACE(screen.dump());
    EXPECT_NE(screen.row(0).find("BULLMOOR"), std::string::npos);
    EXPECT_EQ(text(2, 8, 3), "IGM");
    EXPECT_EQ(text(14, 28, 23), "GRAPHICS SELECTION MENU");
    EXPECT_EQ(text(22, 31, 18), "MESSAGES & PROMPTS");
    EXPECT_EQ(text(23, 0, 25), "  Select graphics mode...");
    EXPECT_EQ(text(16, 30, 3), "[ ]");
    EXPECT_EQ(text(17, 30, 3), "[+]");
}

TEST_F(MenuTest, HelpMenuShowsASubjectAndComesBackToItsItem) {
    g_session.player.graphics_mode = 0;
    // Down three times to Trade Stocks, read its one page, then End and Exit Help.
    door_.type("222\r\r1\r");
    main_help_menu();
    const std::string sent = door_.take_output();
    EXPECT_NE(sent.find("     Trade Stocks...\r\n"), std::string::npos);

    const VirtualScreen& screen = door_.screen();
    SCOPED_TRACE(screen.dump());
    EXPECT_EQ(text(14, 32, 14), "MAIN HELP MENU");
    const char* items[] = {
        "General Information", "Brokers Report",  "Company Profile", "Trade Stocks",
        "Page SysOp",          "Change Graphics", "Exit Help"};
    for (int i = 0; i < 7; ++i) {
        const std::string item = items[i];
        EXPECT_EQ(text(15 + i, 34, static_cast<int>(item.size())), item) << "item " << i;
        EXPECT_EQ(text(15 + i, 30, 3), i == 6 ? "[+]" : "[ ]") << "item " << i;
    }
    EXPECT_EQ(text(23, 0, 24), "  Select help subject...");
}

}  // namespace

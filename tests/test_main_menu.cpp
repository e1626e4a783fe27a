// The graphics selection menu and the main help menu, driven in process over the door harness and
// read back from the emulated screen at their rows and columns.
#include <gtest/gtest.h>

#include <string>

#include "data/session_state.h"
#include "market/market.h"
#include "screens/main_menu.h"
#include "vcaller/harness.h"

namespace {

void fresh_session(int mode) {
    g_session = SessionState{};
    (void)build_default_market(g_session.market);
    g_session.player.graphics_mode = static_cast<int16_t>(mode);
}

TEST(GraphicsMenu, CursorStartsAtTheModeInUseAndDrawsInThatMode) {
    struct Case {
        int from;
        const char* keys;
        int to;
    } const cases[] = {{0, "\r", 0},       {1, " ", 1},    {2, "\r", 2},
                       {0, "2\r", 1},      {0, "1\r", 2},  {2, "7\r", 0},
                       {2, "\x1b[A\r", 1}, {1, "88\r", 0}, {1, "\x1b[B\x1b[B\r", 2}};
    const char* fill[] = {"=", "\u2550", " "};  // the heading bar's glyph in each mode
    const char* marker[] = {"[+]", "[\u2666]", "[\u2666]"};
    for (const Case& c : cases) {
        fresh_session(c.from);
        DoorHarness door;
        door.type(c.keys);
        EXPECT_EQ(graphics_menu(), c.to != c.from ? 1 : 0);
        door.sync();
        EXPECT_EQ(g_session.player.graphics_mode, c.to);
        const VirtualScreen& screen = door.screen();
        SCOPED_TRACE(testing::Message() << "from " << c.from << " to " << c.to << "\n"
                                        << screen.dump());
        const std::string f = fill[c.from];  // the bar runs over columns 2 to 77
        EXPECT_EQ(screen.text(14, 0, 3) + screen.text(14, 26, 27) + screen.text(14, 77, 2),
                  "  " + f + f + " GRAPHICS SELECTION MENU " + f + f + " ");
        EXPECT_EQ(screen.bg(14, 40), c.from == 2 ? 2 : 0);  // a green bar in colour
        EXPECT_EQ(screen.text(16, 34, 11) + screen.text(17, 34, 12) + screen.text(18, 34, 18),
                  "No graphicsIBM graphicsIBM color graphics");
        for (int row : {15, 19, 20, 21}) EXPECT_EQ(screen.text(row, 0, 80), std::string(80, ' '));
        EXPECT_EQ(screen.text(23, 0, 25), "  Select graphics mode...");
        // Only the chosen item keeps a marker, drawn in the menu's mode, and not bold.
        for (int item = 0; item < 3; ++item) {
            EXPECT_EQ(screen.text(16 + item, 30, 3), item == c.to ? marker[c.from] : "[ ]");
        }
        EXPECT_FALSE(screen.bold(16 + c.to, 31));
    }
}

TEST(GraphicsMenu, AsteriskRedrawsTheWholeScreen) {
    fresh_session(0);
    DoorHarness door;
    door.type("2*\r");
    EXPECT_EQ(graphics_menu(), 1);
    door.sync();
    const VirtualScreen& screen = door.screen();
    SCOPED_TRACE(screen.dump());
    EXPECT_NE(screen.row(0).find("BULLMOOR"), std::string::npos);
    EXPECT_EQ(screen.text(2, 8, 3), "IGM");
    EXPECT_EQ(screen.text(22, 31, 18), "MESSAGES & PROMPTS");
    EXPECT_EQ(screen.text(16, 30, 3) + screen.text(17, 30, 3), "[ ][+]");
}

TEST(HelpMenu, ShowsASubjectAndComesBackToItsItem) {
    fresh_session(0);
    DoorHarness door;
    door.type("222\r\r1\r");  // down to Trade Stocks, its one page, then End and Exit Help
    main_help_menu();
    EXPECT_NE(door.take_output().find("     Trade Stocks...\r\n"), std::string::npos);
    const VirtualScreen& screen = door.screen();
    SCOPED_TRACE(screen.dump());
    EXPECT_EQ(screen.text(14, 32, 14), "MAIN HELP MENU");
    const std::string items[] = {
        "General Information", "Brokers Report",  "Company Profile", "Trade Stocks",
        "Page SysOp",          "Change Graphics", "Exit Help"};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(screen.text(15 + i, 34, static_cast<int>(items[i].size())), items[i]);
        EXPECT_EQ(screen.text(15 + i, 30, 3), i == 6 ? "[+]" : "[ ]") << "item " << i;
    }
    EXPECT_EQ(screen.text(23, 0, 24), "  Select help subject...");
}

}  // namespace

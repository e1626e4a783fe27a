// The help subjects on the emulated screen: page counts, the rows where each page starts, that
// every page rewrites its rows through row 21 and no further, and the heading's look.
#include <gtest/gtest.h>

#include <string>

#include "data/session_state.h"
#include "screens/help_screens.h"
#include "vcaller/harness.h"

namespace {

const std::string kPrompt = "Press [ENTER] to continue...";
const std::string kHashes(80, '#'), kBlank(80, ' ');

struct Subject {
    bool trading;
    int item;
    const char* heading;
    int pages;
    const char* text = "";  // shown somewhere (a percent sign is written once)
};

class Help : public ::testing::TestWithParam<Subject> {};

TEST_P(Help, PagesRowsAndHeading) {
    const Subject& c = GetParam();
    g_session.player.graphics_mode = static_cast<int16_t>(c.item % 3);  // each mode in turn
    DoorHarness door;
    door.type(std::string(20, '\r'));  // more Enters than any subject has pages
    EXPECT_EQ(c.trading ? show_trading_help_subject(c.item) : show_main_help_subject(c.item), 0);
    const std::string out = door.take_output();
    EXPECT_NE(out.find(c.text), std::string::npos) << c.text;
    int pages = 0;
    for (size_t from = 0, at; (at = out.find(kPrompt, from)) != std::string::npos; ++pages) {
        SCOPED_TRACE(testing::Message() << "page " << pages + 1);
        // The page drawn over rows 15-22 filled with '#': a '#' left shows a row not written.
        VirtualScreen view;
        for (int r = 15; r <= 22; ++r) view.feed("\x1b[" + std::to_string(r + 1) + ";1H" + kHashes);
        view.feed(out.substr(from, at - from));
        from = at + kPrompt.size();
        if (pages == 0) {
            EXPECT_EQ(view.row(15), (std::string(5, ' ') + c.heading + kBlank).substr(0, 80));
            EXPECT_EQ(view.row(16), kBlank);
            EXPECT_TRUE(view.bold(15, 5) && !view.bold(17, 5)) << "a bold heading, normal text";
            EXPECT_EQ(view.fg(15, 5), c.item % 3 == 2 ? 7 : -1) << "white only in colour";
        } else if (c.trading) {
            EXPECT_EQ(view.row(15), kBlank) << "a blank line, no heading";
        } else {
            EXPECT_EQ(view.row(15) + view.row(16), kHashes + kHashes) << "the heading stays";
        }
        for (int r = pages == 0 || c.trading ? 15 : 17; r <= 21; ++r)
            EXPECT_EQ(view.row(r).find('#'), std::string::npos) << "row " << r << view.dump();
        EXPECT_NE(view.row(pages > 0 && c.trading ? 16 : 17), kBlank) << "the text starts";
        EXPECT_EQ(view.row(22), kHashes) << "no page passes row 21";
    }
    EXPECT_EQ(pages, c.pages);
}

// clang-format off
const Subject kSubjects[] = {
    {false, 0, "General Help...", 5, "Bullmoor"}, {false, 1, "Brokers Reports...", 3, "3% chance"},
    {false, 2, "Company Profile...", 9},          {false, 3, "Trade Stocks...", 1},
    {false, 4, "Page SysOp...", 1},               {false, 5, "Change Graphics...", 1},
    {true, 0, "Trading Stocks...", 12},           {true, 1, "Buy Stocks...", 1},
    {true, 2, "Sell Stocks...", 1},               {true, 3, "Buy Back Short Stocks...", 1},
    {true, 4, "Sell Stocks Short...", 3, "50% of the current price"},
    {true, 5, "Option Stocks...", 1}};
// clang-format on
INSTANTIATE_TEST_SUITE_P(Subjects, Help, ::testing::ValuesIn(kSubjects), [](const auto& info) {
    return std::string(info.param.trading ? "Trading" : "Main") + std::to_string(info.param.item);
});

}  // namespace

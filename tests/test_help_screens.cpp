// The help subjects on the emulated screen: page counts, the rows where each page starts, and
// that every page rewrites its rows through row 21 and no further.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "data/session_state.h"
#include "screens/help_screens.h"
#include "vcaller/harness.h"

namespace {

constexpr const char* kPrompt = "Press [ENTER] to continue...";
const std::string kHashes(80, '#'), kBlank(80, ' ');

struct Subject {
    bool trading;
    int item;
    const char* heading;
    int pages;
};

class Help : public ::testing::TestWithParam<Subject> {
  protected:
    void SetUp() override { g_session = SessionState{}; }
    DoorHarness door_;
};

TEST_P(Help, PagesAndTheirRows) {
    const Subject& c = GetParam();
    door_.type(std::string(20, '\r'));  // more Enters than any subject has pages
    EXPECT_EQ(c.trading ? show_trading_help_subject(c.item) : show_main_help_subject(c.item), 0);
    const std::string out = door_.take_output();
    int pages = 0;
    for (size_t from = 0, at; (at = out.find(kPrompt, from)) != std::string::npos; ++pages) {
        SCOPED_TRACE(testing::Message() << "page " << pages + 1);
        // The page drawn over rows 15-22 filled with '#': a '#' left shows a row not written.
        VirtualScreen view;
        for (int r = 15; r <= 22; ++r) view.feed("\x1b[" + std::to_string(r + 1) + ";1H" + kHashes);
        view.feed(out.substr(from, at - from));
        from = at + std::strlen(kPrompt);
        int first_text = 17;
        if (pages == 0) {
            const std::string heading = std::string("     ") + c.heading;
            EXPECT_EQ(view.row(15), heading + std::string(80 - heading.size(), ' '));
            EXPECT_EQ(view.row(16), kBlank);
        } else if (c.trading) {
            EXPECT_EQ(view.row(15), kBlank) << "a blank line, no heading";
            first_text = 16;
        } else {
            EXPECT_EQ(view.row(15) + view.row(16), kHashes + kHashes) << "the heading stays";
        }
        for (int r = pages == 0 || c.trading ? 15 : 17; r <= 21; ++r) {
            EXPECT_EQ(view.row(r).find('#'), std::string::npos) << "row " << r << view.dump();
        }
        EXPECT_NE(view.row(first_text), kBlank);
        EXPECT_EQ(view.row(22), kHashes) << "no page passes row 21";
    }
    EXPECT_EQ(pages, c.pages);
}

const Subject kSubjects[] = {
    {false, 0, "General Help...", 5},     {false, 1, "Brokers Reports...", 3},
    {false, 2, "Company Profile...", 9},  {false, 3, "Trade Stocks...", 1},
    {false, 4, "Page SysOp...", 1},       {false, 5, "Change Graphics...", 1},
    {true, 0, "Trading Stocks...", 12},   {true, 1, "Buy Stocks...", 1},
    {true, 2, "Sell Stocks...", 1},       {true, 3, "Buy Back Short Stocks...", 1},
    {true, 4, "Sell Stocks Short...", 3}, {true, 5, "Option Stocks...", 1}};
INSTANTIATE_TEST_SUITE_P(Subjects, Help, ::testing::ValuesIn(kSubjects), [](const auto& info) {
    return std::string(info.param.trading ? "Trading" : "Main") + std::to_string(info.param.item);
});

using HelpText = Help;

TEST_F(HelpText, PercentShownOnceNamesAndHeadingColour) {
    door_.type(std::string(8, '\r'));
    show_main_help_subject(1);
    door_.sync();
    EXPECT_TRUE(door_.screen().contains("3% chance"));
    EXPECT_FALSE(door_.screen().contains("%%"));
    door_.take_output();
    show_main_help_subject(0);
    const std::string out = door_.take_output();
    for (const char* name : {"Bullmoor", "quonda.doc", "$2000.00"}) {
        EXPECT_NE(out.find(name), std::string::npos) << name;
    }
    for (int mode : {0, 1, 2}) {
        SCOPED_TRACE(mode);
        g_session.player.graphics_mode = static_cast<int16_t>(mode);
        door_.type("\r");
        show_trading_help_subject(5);
        door_.sync();
        EXPECT_TRUE(door_.screen().bold(15, 5));
        EXPECT_EQ(door_.screen().fg(15, 5), mode == 2 ? 7 : -1);
        EXPECT_FALSE(door_.screen().bold(17, 5)) << "the text is normal";
    }
}

}  // namespace

// The help subjects on the emulated screen: headings, page counts, the rows where each page
// starts, and that every page rewrites its rows through row 21 and no further.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/session_state.h"
#include "screens/help_screens.h"
#include "vcaller/harness.h"

namespace {

constexpr const char* kPrompt = "Press [ENTER] to continue...";

struct SubjectCase {
    bool trading;
    int item;
    const char* heading;
    int pages;
};

std::string padded(const std::string& text) {
    return text + std::string(80 - text.size(), ' ');
}

// The output of each page: from the end of the previous Enter prompt to the end of its own.
std::vector<std::string> split_pages(const std::string& out) {
    std::vector<std::string> pages;
    const size_t prompt = std::string(kPrompt).size();
    size_t from = 0;
    for (size_t at = out.find(kPrompt); at != std::string::npos; at = out.find(kPrompt, from)) {
        pages.push_back(out.substr(from, at + prompt - from));
        from = at + prompt;
    }
    return pages;
}

// A page's bytes drawn over rows 15-22 filled with '#': a '#' left shows a row the page did
// not write.
struct PageView {
    VirtualScreen screen;
    explicit PageView(const std::string& bytes) {
        for (int r = 15; r <= 22; ++r) {
            screen.feed("\x1b[" + std::to_string(r + 1) + ";1H" + std::string(80, '#'));
        }
        screen.feed(bytes);
    }
    bool untouched(int r) const { return screen.row(r) == std::string(80, '#'); }
    bool rewritten(int r) const { return screen.row(r).find('#') == std::string::npos; }
    bool blank(int r) const { return screen.row(r) == std::string(80, ' '); }
};

class HelpSubjects : public ::testing::TestWithParam<SubjectCase> {
  protected:
    void SetUp() override { g_session = SessionState{}; }
    std::string run() {
        door_.type(std::string(20, '\r'));  // more Enters than any subject has pages
        const SubjectCase& c = GetParam();
        EXPECT_EQ(c.trading ? show_trading_help_subject(c.item) : show_main_help_subject(c.item),
                  0);
        return door_.take_output();
    }
    DoorHarness door_;
};

TEST_P(HelpSubjects, PagesAndTheirRows) {
    const SubjectCase& c = GetParam();
    const std::vector<std::string> pages = split_pages(run());
    ASSERT_EQ(pages.size(), static_cast<size_t>(c.pages));
    for (int p = 0; p < c.pages; ++p) {
        SCOPED_TRACE(testing::Message() << "page " << p + 1);
        const PageView view(pages[p]);
        int first_text = 17;
        if (p == 0) {
            EXPECT_EQ(view.screen.row(15), padded(c.heading));
            EXPECT_TRUE(view.blank(16));
        } else if (!c.trading) {
            EXPECT_TRUE(view.untouched(15)) << "the heading stays";
            EXPECT_TRUE(view.untouched(16));
        } else {
            EXPECT_TRUE(view.blank(15)) << "a blank line, no heading";
            first_text = 16;
        }
        for (int r = p == 0 || c.trading ? 15 : 17; r <= 21; ++r) {
            EXPECT_TRUE(view.rewritten(r)) << "row " << r << view.screen.dump();
        }
        EXPECT_FALSE(view.blank(first_text)) << view.screen.dump();
        EXPECT_TRUE(view.untouched(22)) << "no page passes row 21";
        for (int r = first_text; r <= 21; ++r) {
            const std::string row = view.screen.row(r);
            if (row == std::string(80, ' ')) continue;
            EXPECT_EQ(row.substr(0, 5), "     ") << "row " << r << ": indented by five";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Subjects, HelpSubjects,
                         ::testing::Values(SubjectCase{false, 0, "     General Help...", 5},
                                           SubjectCase{false, 1, "     Brokers Reports...", 3},
                                           SubjectCase{false, 2, "     Company Profile...", 9},
                                           SubjectCase{false, 3, "     Trade Stocks...", 1},
                                           SubjectCase{false, 4, "     Page SysOp...", 1},
                                           SubjectCase{false, 5, "     Change Graphics...", 1},
                                           SubjectCase{true, 0, "     Trading Stocks...", 12},
                                           SubjectCase{true, 1, "     Buy Stocks...", 1},
                                           SubjectCase{true, 2, "     Sell Stocks...", 1},
                                           SubjectCase{true, 3, "     Buy Back Short Stocks...", 1},
                                           SubjectCase{true, 4, "     Sell Stocks Short...", 3},
                                           SubjectCase{true, 5, "     Option Stocks...", 1}));

class HelpScreen : public ::testing::Test {
  protected:
    void SetUp() override { g_session = SessionState{}; }
    DoorHarness door_;
};

TEST_F(HelpScreen, TradeStocksIsOnePageWithRowTwentyBlank) {
    door_.type("\r");
    show_main_help_subject(3);
    door_.sync();
    const VirtualScreen& s = door_.screen();
    EXPECT_EQ(s.row(15), padded("     Trade Stocks..."));
    EXPECT_EQ(s.row(16), std::string(80, ' '));
    for (int r : {17, 18, 19, 21}) EXPECT_NE(s.row(r), std::string(80, ' ')) << "row " << r;
    EXPECT_EQ(s.row(20), std::string(80, ' '));
    EXPECT_EQ(s.text(23, 0, 30), "  Press [ENTER] to continue...");
}

TEST_F(HelpScreen, PercentShownOnceAndNamesGameAndManual) {
    door_.type(std::string(5, '\r'));
    show_main_help_subject(1);
    door_.sync();
    EXPECT_TRUE(door_.screen().contains("3% chance"));
    EXPECT_FALSE(door_.screen().contains("%%"));

    const std::string out = [&] {
        door_.take_output();
        door_.type(std::string(5, '\r'));
        show_main_help_subject(0);
        return door_.take_output();
    }();
    EXPECT_NE(out.find("Bullmoor"), std::string::npos);
    EXPECT_NE(out.find("quonda.doc"), std::string::npos);
    EXPECT_NE(out.find("$2000.00"), std::string::npos);
}

TEST_F(HelpScreen, HeadingColourByMode) {
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

// The company editor: trend, profile fields, issue groups, description, paging, the menu block.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "data/session_state.h"
#include "doorkit/opendoors.h"
#include "editor/company_editor.h"
#include "editor/editor.h"
#include "vcaller/harness.h"

namespace {

// Company 0, "Acme Widgets", trades everything: 1000 issued, 800 available, initial price 4;
// description lines with other bytes after their NULs. Company 11 is "LLL".
class CompanyEditor : public ::testing::Test {
  protected:
    void SetUp() override {
        g_session = SessionState{};
        g_session.market.general_trend = 4;
        std::strcpy(g_session.market.companies[11].symbol, "LLL");
        std::snprintf(acme.name, sizeof acme.name, "%s", "Acme Widgets");
        std::fill_n(acme.total, kKindCount, 1000);
        std::fill_n(acme.available, kKindCount, 800);
        std::fill_n(acme.initial_price, kKindCount, 4);
        const char* lines[kHistoryLines] = {"Old text", "Trail  ", "", "Fourth", "", ""};
        std::memset(acme.history, 'G', sizeof acme.history);
        for (int i = 0; i < kHistoryLines; ++i) std::strcpy(acme.history[i], lines[i]);
    }
    std::string text(int row, int column, int length) {
        door_.sync();
        return door_.screen().text(row, column, length);
    }
    CompanyRecord& acme = g_session.market.companies[0];
    DoorHarness door_;
};

TEST_F(CompanyEditor, TrendAndIssueGroupAnswersAndATimeWarningAtAFieldPrompt) {
    door_.type("10\r9\r");
    EXPECT_EQ(edit_general_trend(), 0) << "10 is refused";
    EXPECT_EQ(edit_general_trend(), 1);
    EXPECT_EQ(g_session.market.general_trend, 9);
    const std::string out = door_.take_output();
    EXPECT_NE(out.find("Current trend is 4, Enter new general trend (0=bear - 9=bull): "),
              std::string::npos);
    EXPECT_NE(out.find("Error - Trend must be between 0 and 9!"), std::string::npos);

    door_.type("12abc\rabc\r\r\r\r\r");
    EXPECT_EQ(edit_common_issue(0), 1);
    EXPECT_EQ(acme.total[kCommon], 12);
    EXPECT_EQ(acme.available[kCommon], 0);
    // Enter after a warning at the total keeps the field; the rest are asked as usual.
    od_control.user_timelimit = 4;
    door_.type("\r\r\r\r5\r");
    EXPECT_EQ(edit_options_issue(0), 1);
    EXPECT_EQ(acme.total[kOptions], 1000);
    EXPECT_EQ(acme.trend[kOptions], 5);
    const std::string warned = door_.take_output();
    EXPECT_NE(warned.find("WARNING - LESS THAN 5 MINUTES OF GAME TIME LEFT!!!",
                          warned.find("Enter new options total: ")),
              std::string::npos);
}

TEST_F(CompanyEditor, ProfileFieldsInPlaceAndTheDescriptionEdit) {
    // Name, symbol "ab" (refused), symbol "xyz", type 2; then leave.
    door_.type("\racme corp\r2\rab\r\rxyz\r2\r2\r1\r");
    company_profile_editor(0);
    EXPECT_EQ(std::string(acme.name), "acme corp" + std::string(22, ' '));
    EXPECT_STREQ(acme.symbol, "XYZ");
    EXPECT_EQ(text(4, 21, 12), "Blue Chip   ");
    EXPECT_NE(door_.take_output().find("Error - Symbol must be 3 characters!"), std::string::npos);

    char before[kHistoryLines][kHistoryLineSize];
    std::memcpy(before, acme.history, sizeof before);
    // Company History; type, split, delete a line, delete a character; abort; leave.
    door_.type("222\rXYZ\x0e\x19\x07\x11y\r1\r");
    company_profile_editor(0);
    EXPECT_EQ(std::memcmp(before, acme.history, sizeof before), 0);
    // Blank line 0 and type 78 letters (the last one lands on column 76 again); save.
    door_.type("222\r\x0f" + std::string(76, 'a') + "bc" + "\x1aY\r" + "1\r");
    company_profile_editor(0);
    EXPECT_EQ(std::string(acme.history[0]), std::string(76, 'a') + "c");
    EXPECT_EQ(std::string(acme.history[1]), "Trail");
}

TEST_F(CompanyEditor, OptionsGroupRewritesItsRowAndHelpReturnsToTheStocksMenu) {
    // Options: total 500, kept, price too large, kept, kept, trend 7; Help edit (5 pages); Exit.
    door_.type("\r500\r\r40000\r\r\r7\r18\r\r\r\r\r\r2\r");
    company_stocks_editor(0);
    EXPECT_EQ(text(6, 21, 57), "    500      800  $   0.00  $   4.00            7 - Bull ");
    EXPECT_EQ(text(14, 28, 21), " COMPANY STOCKS MENU ");
    EXPECT_NE(door_.take_output().find("Error - Value must be 32767 or less!"), std::string::npos);
}

TEST_F(CompanyEditor, PagingStopsAtTheLastCompanyAndTheMainEditorMenuBlock) {
    door_.type("9" + std::string(12, '3') + "1\r");
    EXPECT_EQ(company_editor(), 0);
    EXPECT_EQ(text(3, 21, 3), "LLL");
    EXPECT_EQ(text(14, 29, 19), " COMPANY EDIT MENU ");
    door_.type("1\r");
    EXPECT_EQ(editor_main_menu(), 0);
    EXPECT_EQ(text(14, 0, 80),
              "  " + std::string(28, '=') + " MAIN EDITOR MENU " + std::string(30, '=') + "  ");
    EXPECT_EQ(text(16, 30, 16), "[ ] Edit Players");
    EXPECT_EQ(text(19, 30, 15), "[+] Exit Editor");
    EXPECT_EQ(text(23, 0, 25), "  Select edit function...");
}

}  // namespace

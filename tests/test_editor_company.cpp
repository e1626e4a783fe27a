// The company editor on the session's market: the general trend, profile fields, issue groups
// with their in-place rows, the description edit (abort and save), paging and the editor
// menu's block.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "data/session_state.h"
#include "doorkit/opendoors.h"
#include "editor/company_editor.h"
#include "editor/editor.h"
#include "vcaller/harness.h"

namespace {

size_t count_of(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// Companies AAA..LLL trading everything; company 0 is "Acme Widgets" with options 1000 issued,
// 800 available, price 5, initial 4, conversion 12, trend 3, and two description lines with
// other bytes after their NULs.
class CompanyEditor : public ::testing::Test {
  protected:
    void SetUp() override {
        g_session = SessionState{};
        g_session.market.general_trend = 4;
        for (int i = 0; i < kCompanyCount; ++i) {
            CompanyRecord& c = g_session.market.companies[i];
            std::memset(c.symbol, 'A' + i, 3);
            for (int k = 0; k < kKindCount; ++k) {
                c.total[k] = 1000;
                c.available[k] = 800;
                c.price[k][0] = 5;
                c.initial_price[k] = 4;
                c.trend[k] = 3;
            }
            c.option_conversion_price = 12;
        }
        CompanyRecord& acme = g_session.market.companies[0];
        std::snprintf(acme.name, sizeof acme.name, "%s", "Acme Widgets");
        for (auto& line : acme.history) std::memset(line, 'G', kHistoryLineSize);
        const char* lines[kHistoryLines] = {"Old text", "Trail  ", "", "Fourth", "", ""};
        for (int i = 0; i < kHistoryLines; ++i)
            std::memcpy(acme.history[i], lines[i], std::strlen(lines[i]) + 1);
    }
    CompanyRecord& acme() { return g_session.market.companies[0]; }
    std::string text(int row, int column, int length) {
        door_.sync();
        return door_.screen().text(row, column, length);
    }
    DoorHarness door_;
};

TEST_F(CompanyEditor, GeneralTrendPromptShowsThePresentValue) {
    door_.type("10\r\r9\r");
    EXPECT_EQ(edit_general_trend(), 0) << "10 is refused";
    EXPECT_EQ(edit_general_trend(), 0) << "an empty answer keeps the trend";
    EXPECT_EQ(g_session.market.general_trend, 4);
    EXPECT_EQ(edit_general_trend(), 1);
    EXPECT_EQ(g_session.market.general_trend, 9);
    const std::string out = door_.take_output();
    EXPECT_EQ(count_of(out, "Current trend is 4, Enter new general trend (0=bear - 9=bull): "), 3u);
    EXPECT_EQ(count_of(out, "Error - Trend must be between 0 and 9!"), 1u);
}

TEST_F(CompanyEditor, ProfileFieldsShownInPlace) {
    // Name, symbol "ab" (refused), symbol "xyz", type 2; then leave.
    door_.type("\racme corp\r2\rab\r\rxyz\r2\r2\r1\r");
    company_profile_editor(0);
    EXPECT_EQ(std::string(acme().name), "acme corp" + std::string(22, ' '));
    EXPECT_STREQ(acme().symbol, "XYZ");
    EXPECT_EQ(acme().type, 2);
    EXPECT_EQ(text(2, 21, 10), "acme corp ");
    EXPECT_EQ(text(3, 21, 3), "XYZ");
    EXPECT_EQ(text(4, 21, 12), "Blue Chip   ");
    EXPECT_NE(door_.take_output().find("Error - Symbol must be 3 characters!"), std::string::npos);
}

TEST_F(CompanyEditor, OptionsGroupRewritesItsRowAndHelpReturnsToTheStocksMenu) {
    // Options: total 500, available kept, price too large, initial and conversion kept,
    // trend 7. Then Help edit (five pages) and Exit.
    door_.type("\r500\r\r40000\r\r\r7\r18\r\r\r\r\r\r2\r");
    company_stocks_editor(0);
    EXPECT_EQ(acme().total[kOptions], 500);
    EXPECT_EQ(acme().price[kOptions][0], 5);
    EXPECT_EQ(acme().trend[kOptions], 7);
    EXPECT_EQ(text(6, 21, 57), "    500      800  $   5.00  $   4.00            7 - Bull ");
    EXPECT_EQ(text(11, 30, 8), "$  12.00");
    EXPECT_EQ(text(14, 28, 21), " COMPANY STOCKS MENU ");
    const std::string out = door_.take_output();
    EXPECT_NE(out.find("Error - Value must be 32767 or less!"), std::string::npos);
    EXPECT_EQ(count_of(out, "Press [ENTER] to continue..."), 5u);
}

TEST_F(CompanyEditor, IssueGroupAnswersAndATimeWarningAtAFieldPrompt) {
    door_.type("\r\r\r\r\r\r");
    EXPECT_EQ(edit_options_issue(0), 0) << "six empty answers store nothing";
    door_.type("12abc\rabc\r\r\r\r\r");
    EXPECT_EQ(edit_common_issue(0), 1);
    EXPECT_EQ(acme().total[kCommon], 12);
    EXPECT_EQ(acme().available[kCommon], 0);
    door_.type("\r\r\r\r\r-2\r");
    EXPECT_EQ(edit_bonds_issue(0), 0);
    EXPECT_EQ(acme().trend[kBonds], 3);

    // Enter after a warning at the total keeps the field; the rest are asked as usual.
    door_.take_output();
    od_control.user_timelimit = 4;
    door_.type("\r\r\r\r5\r");
    EXPECT_EQ(edit_options_issue(0), 1);
    EXPECT_EQ(acme().total[kOptions], 1000);
    EXPECT_EQ(acme().trend[kOptions], 5);
    const std::string out = door_.take_output();
    const size_t asked = out.find("Enter new options total: ");
    ASSERT_NE(asked, std::string::npos);
    EXPECT_NE(out.find("WARNING - LESS THAN 5 MINUTES OF GAME TIME LEFT!!!", asked),
              std::string::npos);
    od_control.user_timelimit = 60;
}

TEST_F(CompanyEditor, AbortedDescriptionEditLeavesEveryByte) {
    char before[kHistoryLines][kHistoryLineSize];
    std::memcpy(before, acme().history, sizeof before);
    // Company History; type, split, delete a line, delete a character; abort; leave.
    door_.type("222\rXYZ\x0e\x19\x07\x11y\r1\r");
    company_profile_editor(0);
    EXPECT_EQ(std::memcmp(before, acme().history, sizeof before), 0);
    EXPECT_EQ(text(14, 27, 22), " COMPANY PROFILE MENU ");
    EXPECT_NE(door_.take_output().find("  Acme Widgets\r\n"), std::string::npos);
}

TEST_F(CompanyEditor, SavedDescriptionKeepsFullLinesAndCutsTrailingBlanks) {
    // Blank line 0 and type 78 letters (the last one lands on column 76 again); save.
    door_.type("222\r\x0f" + std::string(76, 'a') + "bc" + "\x1aY\r" + "1\r");
    company_profile_editor(0);
    EXPECT_EQ(std::string(acme().history[0]), std::string(76, 'a') + "c");
    EXPECT_EQ(std::string(acme().history[1]), "Trail");
    EXPECT_EQ(std::string(acme().history[3]), "Fourth");
    EXPECT_EQ(std::string(acme().history[5]), "");
}

TEST_F(CompanyEditor, PagingStopsAtTheFirstAndLastCompany) {
    door_.type("9" + std::string(12, '3') + "1\r");
    EXPECT_EQ(company_editor(), 0);
    EXPECT_EQ(text(3, 21, 3), "LLL");
    EXPECT_EQ(text(14, 29, 19), " COMPANY EDIT MENU ");
}

TEST_F(CompanyEditor, MainEditorMenuBlock) {
    door_.type("1\r");
    EXPECT_EQ(editor_main_menu(), 0);
    EXPECT_EQ(text(14, 0, 80),
              "  " + std::string(28, '=') + " MAIN EDITOR MENU " + std::string(30, '=') + "  ");
    EXPECT_EQ(text(15, 0, 80) + text(20, 0, 80), std::string(160, ' '));
    EXPECT_EQ(text(16, 30, 16), "[ ] Edit Players");
    EXPECT_EQ(text(19, 30, 15), "[+] Exit Editor");
    EXPECT_EQ(text(23, 0, 25), "  Select edit function...");
}

}  // namespace

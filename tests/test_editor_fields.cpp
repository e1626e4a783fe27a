// The editor's number rules, the description work copy with its save, the help pages' sizes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "editor/company_editor.h"
#include "editor/editor_help.h"
#include "editor/editor_menu.h"

namespace {

// clang-format off
TEST(EditorAnswers, NumbersReadLikeDecimalIntegers) {
    const std::pair<const char*, int64_t> cases[] = {
        {"12abc", 12}, {"abc", 0}, {"  -5", -5}, {"+7", 7}, {"-", 0}, {"0009", 9}, {"1 2", 1},
        {" 32768", 32768}, {"99999999999999999999", 1000000000000000},
        {"-99999999999999999999", -1000000000000000}};
    for (const auto& [text, value] : cases) EXPECT_EQ(parse_number(text), value) << text;
}

TEST(EditorAnswers, NumberLimits) {
    const char *price = "Error - Illegal short shares price!", *money = "Illegal money!";
    const std::tuple<NumberRule, int64_t, const char*> cases[] = {  // nullptr: accepted
        {price_rule(price), -1, price}, {price_rule(price), 0, nullptr},
        {price_rule(price), 32767, nullptr}, {price_rule(price), 32768, kTooLarge16},
        {count_rule(money), -5, money}, {count_rule(money), 2147483647, nullptr},
        {count_rule(money), 2147483648, "Error - Value must be 2147483647 or less!"},
        {kTrendRule, 9, nullptr}, {kTrendRule, 10, kTrendMessage}, {kTrendRule, -1, kTrendMessage},
        {kTrendRule, 65545, kTrendMessage}};  // 9 once cut to 16 bits
    for (const auto& [rule, value, message] : cases) {
        const char* got = check_number(rule, value);
        EXPECT_STREQ(got ? got : "(accepted)", message ? message : "(accepted)") << value;
    }
}
// clang-format on

// Lines are padded to 77 in the work copy and cut to 77 there; saving cuts trailing blanks
// and keeps a long line from a hand-made file whole unless it was edited.
TEST(DescriptionWorkCopy, PaddedThenSavedWithoutTrailingBlanks) {
    CompanyRecord company{};
    const std::string lines[4] = {"Hello", "Trail   ", std::string(79, 'L'), std::string(79, 'M')};
    std::memset(company.history, 'G', 4 * kHistoryLineSize);  // bytes after the NUL
    for (int i = 0; i < 4; ++i) std::strcpy(company.history[i], lines[i].c_str());
    HistoryWorkCopy work;
    build_history_work_copy(company, work);
    const std::string pad(72, ' '), blanks(77, ' ');
    EXPECT_EQ(std::vector<std::string>(std::begin(work), std::end(work)),
              std::vector<std::string>({"Hello" + pad, "Trail" + pad, std::string(77, 'L'),
                                        std::string(77, 'M'), blanks, blanks}));
    std::memset(work[0], 'a', 77);  // typed full
    work[3][0] = 'X';               // a long line that was edited
    save_history_work_copy(work, company);
    EXPECT_EQ(std::vector<std::string>(std::begin(company.history), std::end(company.history)),
              std::vector<std::string>({std::string(77, 'a'), "Trail", std::string(79, 'L'),
                                        "X" + std::string(76, 'M'), "", ""}));
}

// Every line of every page is indented by five and at most 75 characters long.
TEST(EditorHelp, PagesFitTheMenuBlock) {
    for (const HelpScreen* help :
         {&kGeneralEditingHelp, &kPlayerEditorHelp, &kHoldingsEditorHelp, &kCompanyEditorHelp,
          &kCompanyProfileEditorHelp, &kCompanyStocksEditorHelp}) {
        ASSERT_NE(help->pages[0].heading, nullptr) << "the first page starts a subject";
        for (int p = 0; p < help->page_count; ++p) {
            ASSERT_NE(help->pages[p].lines[0], nullptr) << "page " << p;
            for (const char* line : help->pages[p].lines) {
                if (line == nullptr) break;
                const std::string text = line;
                EXPECT_TRUE(text.size() <= 75 && text.find_first_not_of(' ') == 5) << text;
            }
        }
    }
}

}  // namespace

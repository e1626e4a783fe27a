// The editor's answer rules (numbers, names, dates, symbols, 16- and 32-bit limits), the
// description work copy with its save, and the size limits of the help pages.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "editor/company_editor.h"
#include "editor/editor_help.h"
#include "editor/editor_menu.h"

namespace {

TEST(EditorAnswers, NumbersReadLikeDecimalIntegers) {
    const std::pair<const char*, int64_t> cases[] = {
        // clang-format off
        {"12abc", 12}, {"abc", 0}, {"  -5", -5}, {"+7", 7}, {"-", 0}, {"0009", 9},
        {" 32768", 32768}, {"1 2", 1}, {"99999999999999999999", 1000000000000000},
        {"-99999999999999999999", -1000000000000000},
        // clang-format on
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(parse_number(text), value) << text;
}

TEST(EditorAnswers, NumberLimits) {
    const char* price = "Error - Illegal short shares price!";
    const char* money = "Error - Illegal money value!";
    const char* trend = "Error - Trend must be between 0 and 9!";
    const struct {
        NumberRule rule;
        int64_t value;
        const char* message;  // nullptr: accepted
    } cases[] = {
        // clang-format off
        {price_rule(price), -1, price}, {price_rule(price), 0, nullptr},
        {price_rule(price), 32767, nullptr},
        {price_rule(price), 32768, "Error - Value must be 32767 or less!"},
        {count_rule(money), -5, money}, {count_rule(money), 2147483647, nullptr},
        {count_rule(money), 2147483648, "Error - Value must be 2147483647 or less!"},
        {kTrendRule, 0, nullptr}, {kTrendRule, 9, nullptr}, {kTrendRule, 10, trend},
        {kTrendRule, -1, trend}, {kTrendRule, 65545, trend},  // 9 once cut to 16 bits
        // clang-format on
    };
    for (const auto& c : cases) {
        const char* got = check_number(c.rule, c.value);
        EXPECT_STREQ(got ? got : "(accepted)", c.message ? c.message : "(accepted)") << c.value;
    }
}

// Dates are any eleven characters; symbols three, upper-cased.
TEST(EditorAnswers, DatesAndSymbols) {
    char date[12];
    EXPECT_EQ(accept_date("abcdefghijk", date), nullptr);
    EXPECT_STREQ(date, "abcdefghijk");
    EXPECT_STREQ(accept_date("Jan 1 1900", date), "Error - Illegal date!");
    EXPECT_STREQ(accept_date("Jan 01  1900", date), "Error - Illegal date!");
    char symbol[4];
    EXPECT_EQ(accept_symbol("abc", symbol), nullptr);
    EXPECT_STREQ(symbol, "ABC");
    EXPECT_STREQ(accept_symbol("ab", symbol), "Error - Symbol must be 3 characters!");
    EXPECT_STREQ(accept_symbol("abcd", symbol), "Error - Symbol must be 3 characters!");
}

// ---- Description work copy ----

// Lines are padded to 77 in the work copy and cut to 77 there; saving cuts trailing blanks
// and keeps a long line from a hand-made file whole unless it was edited.
TEST(DescriptionWorkCopy, PaddedThenSavedWithoutTrailingBlanks) {
    CompanyRecord company{};
    const std::string lines[4] = {"Hello", "Trail   ", std::string(79, 'L'), std::string(79, 'M')};
    for (int i = 0; i < 4; ++i) {
        std::memset(company.history[i], 'G', kHistoryLineSize);  // bytes after the NUL
        std::memcpy(company.history[i], lines[i].c_str(), lines[i].size() + 1);
    }
    HistoryWorkCopy work;
    build_history_work_copy(company, work);
    EXPECT_EQ(std::string(work[1]), "Trail" + std::string(72, ' '));
    EXPECT_EQ(std::string(work[2]), std::string(77, 'L'));
    EXPECT_EQ(std::string(work[4]), std::string(77, ' '));
    std::memset(work[0], 'a', 77);  // typed full
    work[3][0] = 'X';               // a long line that was edited
    save_history_work_copy(work, company);
    EXPECT_EQ(std::string(company.history[0]), std::string(77, 'a'));
    EXPECT_EQ(std::string(company.history[1]), "Trail");
    EXPECT_EQ(std::string(company.history[2]), std::string(79, 'L')) << "kept whole";
    EXPECT_EQ(std::string(company.history[3]), "X" + std::string(76, 'M'));
    EXPECT_EQ(std::string(company.history[5]), "") << "a blank line becomes empty";
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
                EXPECT_LE(std::strlen(line), 75u) << line;
                EXPECT_EQ(std::string(line).substr(0, 6).find_first_not_of(' '), 5u) << line;
            }
        }
    }
}

}  // namespace

// The editor's answer rules (numbers, names, dates, symbols, 16- and 32-bit limits), the
// description work copy with its save, and the size limits of the help pages.
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>

#include "editor/company_editor.h"
#include "editor/editor_help.h"
#include "editor/editor_menu.h"

namespace {

struct ParseCase {
    const char* text;
    int64_t value;
};

void PrintTo(const ParseCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

class ParseNumber : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseNumber, ReadsLikeADecimalInteger) {
    EXPECT_EQ(parse_number(GetParam().text), GetParam().value) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Answers, ParseNumber,
                         ::testing::Values(ParseCase{"12abc", 12}, ParseCase{"abc", 0},
                                           ParseCase{"  -5", -5}, ParseCase{"+7", 7},
                                           ParseCase{"-", 0}, ParseCase{"0009", 9},
                                           ParseCase{" 32768", 32768}, ParseCase{"1 2", 1},
                                           ParseCase{"99999999999999999999", 1000000000000000},
                                           ParseCase{"-99999999999999999999", -1000000000000000}));

struct RuleCase {
    NumberRule rule;
    int64_t value;
    const char* message;  // nullptr: accepted
};

void PrintTo(const RuleCase& c, std::ostream* os) {
    *os << c.value << " in " << c.rule.low << ".." << c.rule.high;
}

class NumberRules : public ::testing::TestWithParam<RuleCase> {};

TEST_P(NumberRules, AcceptOrName) {
    const RuleCase& c = GetParam();
    const char* got = check_number(c.rule, c.value);
    if (c.message == nullptr) {
        EXPECT_EQ(got, nullptr) << c.value << " refused with " << got;
    } else {
        ASSERT_NE(got, nullptr) << c.value;
        EXPECT_STREQ(got, c.message);
    }
}

constexpr const char* kPrice = "Error - Illegal short shares price!";
constexpr const char* kMoney = "Error - Illegal money value!";

INSTANTIATE_TEST_SUITE_P(
    Limits, NumberRules,
    ::testing::Values(
        RuleCase{price_rule(kPrice), -1, kPrice}, RuleCase{price_rule(kPrice), 0, nullptr},
        RuleCase{price_rule(kPrice), 32767, nullptr},
        RuleCase{price_rule(kPrice), 32768, "Error - Value must be 32767 or less!"},
        RuleCase{count_rule(kMoney), -5, kMoney}, RuleCase{count_rule(kMoney), 2147483647, nullptr},
        RuleCase{count_rule(kMoney), 2147483648, "Error - Value must be 2147483647 or less!"},
        RuleCase{kTrendRule, 0, nullptr}, RuleCase{kTrendRule, 9, nullptr},
        RuleCase{kTrendRule, 10, "Error - Trend must be between 0 and 9!"},
        RuleCase{kTrendRule, -1, "Error - Trend must be between 0 and 9!"},
        // 65545 would be 9 once cut to 16 bits; the whole answer is tested.
        RuleCase{kTrendRule, 65545, "Error - Trend must be between 0 and 9!"}));

std::string padded(const std::string& text, size_t width) {
    return text + std::string(width - text.size(), ' ');
}

// Name rules are checked through the editors themselves; dates and symbols here.
TEST(TextRules, DatesAreAnyElevenCharacters) {
    char out[12];
    EXPECT_EQ(accept_date("abcdefghijk", out), nullptr);
    EXPECT_STREQ(out, "abcdefghijk");
    EXPECT_EQ(accept_date("Jan 01 1900", out), nullptr);
    EXPECT_STREQ(out, "Jan 01 1900");
    EXPECT_STREQ(accept_date("Jan 1 1900", out), "Error - Illegal date!");
    EXPECT_STREQ(accept_date("Jan 01  1900", out), "Error - Illegal date!");
}

TEST(TextRules, SymbolsAreThreeCharactersUpperCased) {
    char out[4];
    EXPECT_EQ(accept_symbol("abc", out), nullptr);
    EXPECT_STREQ(out, "ABC");
    EXPECT_STREQ(accept_symbol("ab", out), "Error - Symbol must be 3 characters!");
    EXPECT_STREQ(accept_symbol("abcd", out), "Error - Symbol must be 3 characters!");
}

// ---- Description work copy ----

class WorkCopy : public ::testing::Test {
  protected:
    void SetUp() override {
        std::memset(&company_, 0, sizeof company_);
        set_line(0, "Hello");
        set_line(1, "Trail   ");
        set_line(2, std::string(79, 'L'));  // only a hand-made file holds this
        set_line(3, std::string(79, 'M'));
    }
    void set_line(int i, const std::string& text) {
        std::memset(company_.history[i], 'G', kHistoryLineSize);  // bytes after the NUL
        std::memcpy(company_.history[i], text.c_str(), text.size() + 1);
    }
    std::string work_line(int i) const { return std::string(work_[i]); }

    CompanyRecord company_;
    HistoryWorkCopy work_;
};

TEST_F(WorkCopy, LinesArePaddedTo77AndLongOnesCut) {
    build_history_work_copy(company_, work_);
    EXPECT_EQ(work_line(0), padded("Hello", 77));
    EXPECT_EQ(work_line(1), padded("Trail", 77));
    EXPECT_EQ(work_line(2), std::string(77, 'L'));
    EXPECT_EQ(work_line(4), std::string(77, ' '));
    for (int i = 0; i < kHistoryLines; ++i) EXPECT_EQ(work_[i][77], '\0');
}

TEST_F(WorkCopy, SaveCutsTrailingBlanksAndKeepsUntouchedLongLines) {
    build_history_work_copy(company_, work_);
    std::memset(work_[0], 'a', 77);  // typed full
    work_[3][0] = 'X';               // a long line that was edited
    save_history_work_copy(work_, company_);
    EXPECT_EQ(std::string(company_.history[0]), std::string(77, 'a'));
    EXPECT_EQ(std::string(company_.history[1]), "Trail");
    EXPECT_EQ(std::string(company_.history[2]), std::string(79, 'L')) << "kept whole";
    EXPECT_EQ(std::string(company_.history[3]), "X" + std::string(76, 'M'));
    EXPECT_EQ(std::string(company_.history[5]), "") << "a blank line becomes empty";
}

// ---- Help pages ----

TEST(EditorHelp, PagesFitTheMenuBlock) {
    const struct {
        const HelpScreen* help;
        int pages;
    } screens[] = {{&kGeneralEditingHelp, 2},       {&kPlayerEditorHelp, 7},
                   {&kHoldingsEditorHelp, 6},       {&kCompanyEditorHelp, 4},
                   {&kCompanyProfileEditorHelp, 4}, {&kCompanyStocksEditorHelp, 5}};
    for (const auto& s : screens) {
        ASSERT_EQ(s.help->page_count, s.pages);
        ASSERT_NE(s.help->pages[0].heading, nullptr) << "the first page starts a subject";
        for (int p = 0; p < s.pages; ++p) {
            const HelpPage& page = s.help->pages[p];
            if (page.heading != nullptr) {
                const std::string heading = page.heading;
                EXPECT_EQ(heading.substr(0, 5), "     ");
                EXPECT_EQ(heading.substr(heading.size() - 3), "...");
            }
            ASSERT_NE(page.lines[0], nullptr) << "page " << p;
            for (const char* line : page.lines) {
                if (line == nullptr) break;
                const std::string text = line;
                EXPECT_LE(text.size(), 75u) << text;
                EXPECT_EQ(text.substr(0, 5), "     ") << text;
                EXPECT_NE(text[5], ' ') << text;
            }
        }
    }
}

}  // namespace

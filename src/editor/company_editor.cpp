// The company editor menus, their field prompts and in-place row rewrites, and the description
// edit through the history line editor.
#include "editor/company_editor.h"

#include <cstdio>
#include <cstring>

#include "data/session_state.h"
#include "editor/editor_help.h"
#include "editor/editor_menu.h"
#include "editor/history_editor.h"
#include "screens/company_profile.h"
#include "screens/framework.h"
#include "session/terminal.h"

namespace {

constexpr int kValueColumn = 21;
constexpr int kSpecialPriceColumn = 30;  // conversion price (row 11), guaranteed value (row 12)
constexpr int kLastColumn = kWorkLineSize - 2;

// Where the description edit happens on screen.
constexpr int kTextColumn = 2;
constexpr int kTextRow = 16;
constexpr int kStatusColumn = 2;
constexpr int kStatusRow = 23;

// A trend outside 0..9 (only a hand-made quonda.dat holds one) has no name; the rows show this.
constexpr const char* kUnknownTrend = "?        ";

constexpr const char* kIssueRow = "\e[0m%7ld  %7ld  $%4d.00  $%4d.00            %s";
constexpr const char* kCommonIssueRow = "\e[0m%7ld  %7ld  $%4d.00  $%4d.00  $%4d.00  %s";

CompanyRecord& company_record(int company) {
    return g_session.market.companies[company];
}

const char* trend_label(int16_t trend) {
    return trend >= 0 && trend <= 9 ? TrendLabel[trend] : kUnknownTrend;
}

long as_long(int32_t value) {
    return static_cast<long>(value);
}

// The fields an issue prompt can store into.
enum class IssueField {
    kTotal,
    kAvailable,
    kPrice,
    kInitial,
    kConversion,
    kSplit,
    kGuaranteed,
    kTrend
};

struct IssuePrompt {
    const char* prompt;
    IssueField field;
    const char* message;
};

constexpr IssuePrompt kOptionsPrompts[] = {
    {"Enter new options total: ", IssueField::kTotal, "Error - Illegal options quantity!"},
    {"Enter new available options count: ", IssueField::kAvailable,
     "Error - Illegal options quantity!"},
    {"Enter new options current price: ", IssueField::kPrice, "Error - Illegal options price!"},
    {"Enter new options initial price: ", IssueField::kInitial, "Error - Illegal options price!"},
    {"Enter new option conversion price: ", IssueField::kConversion,
     "Error - Illegal common shares price!"},
    {"Enter new options trend (0=bear - 9=bull): ", IssueField::kTrend, kTrendMessage},
};
constexpr IssuePrompt kCommonPrompts[] = {
    {"Enter new common shares total: ", IssueField::kTotal,
     "Error - Illegal common stock quantity!"},
    {"Enter new available shares count: ", IssueField::kAvailable,
     "Error - Illegal common stock quantity!"},
    {"Enter new common shares current price: ", IssueField::kPrice,
     "Error - Illegal common shares price!"},
    {"Enter new common shares initial price: ", IssueField::kInitial,
     "Error - Illegal common shares price!"},
    {"Enter new stock split price: ", IssueField::kSplit, "Error - Illegal common shares price!"},
    {"Enter new common trend (0=bear - 9=bull): ", IssueField::kTrend, kTrendMessage},
};
constexpr IssuePrompt kPreferredPrompts[] = {
    {"Enter new preferred shares total: ", IssueField::kTotal,
     "Error - Illegal preferred stock quantity!"},
    {"Enter new available preferred count: ", IssueField::kAvailable,
     "Error - Illegal preferred stock quantity!"},
    {"Enter new preferred current price: ", IssueField::kPrice,
     "Error - Illegal preferred shares price!"},
    {"Enter new preferred initial price: ", IssueField::kInitial,
     "Error - Illegal preferred shares price!"},
    {"Enter new preferred trend (0=bear - 9=bull): ", IssueField::kTrend, kTrendMessage},
};
constexpr IssuePrompt kBondsPrompts[] = {
    {"Enter new bond total: ", IssueField::kTotal, "Error - Illegal bond quantity!"},
    {"Enter new available bond count: ", IssueField::kAvailable, "Error - Illegal bond quantity!"},
    {"Enter new bond current price: ", IssueField::kPrice, "Error - Illegal bond price!"},
    {"Enter new bond initial price: ", IssueField::kInitial, "Error - Illegal bond price!"},
    {"Enter new bond guaranteed value: ", IssueField::kGuaranteed, "Error - Illegal bond price!"},
    {"Enter new bonds trend (0=bear - 9=bull): ", IssueField::kTrend, kTrendMessage},
};

// Asks one prompt of an issue group; counts are 32-bit, prices 16-bit, trends 0..9.
bool ask_issue_field(CompanyRecord& c, int kind, const IssuePrompt& p) {
    switch (p.field) {
        case IssueField::kTotal:
            return prompt_int32(p.prompt, count_rule(p.message), c.total[kind]);
        case IssueField::kAvailable:
            return prompt_int32(p.prompt, count_rule(p.message), c.available[kind]);
        case IssueField::kPrice:
            return prompt_int16(p.prompt, price_rule(p.message), c.price[kind][0]);
        case IssueField::kInitial:
            return prompt_int16(p.prompt, price_rule(p.message), c.initial_price[kind]);
        case IssueField::kConversion:
            return prompt_int16(p.prompt, price_rule(p.message), c.option_conversion_price);
        case IssueField::kSplit:
            return prompt_int16(p.prompt, price_rule(p.message), c.split_price);
        case IssueField::kGuaranteed:
            return prompt_int16(p.prompt, price_rule(p.message), c.bond_guaranteed_value);
        case IssueField::kTrend:
            return prompt_int16(p.prompt, kTrendRule, c.trend[kind]);
    }
    return false;
}

// Every prompt of the group is asked whatever the answers before it.
template <size_t N>
int edit_issue(int company, int kind, const IssuePrompt (&prompts)[N]) {
    CompanyRecord& c = company_record(company);
    int stored = 0;
    for (const IssuePrompt& p : prompts) {
        if (ask_issue_field(c, kind, p)) stored = 1;
    }
    return stored;
}

// Rows 6, 8 and 9 of the profile for options, preferred and bonds after an issue edit.
void rewrite_issue_row(int company, int kind) {
    const CompanyRecord& c = company_record(company);
    term_goto(kValueColumn, 6 + kind);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    term_printf(kIssueRow, as_long(c.total[kind]), as_long(c.available[kind]), c.price[kind][0],
                c.initial_price[kind], trend_label(c.trend[kind]));
#pragma GCC diagnostic pop
}

void rewrite_common_row(int company) {
    const CompanyRecord& c = company_record(company);
    term_goto(kValueColumn, 6 + kCommon);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    term_printf(kCommonIssueRow, as_long(c.total[kCommon]), as_long(c.available[kCommon]),
                c.price[kCommon][0], c.initial_price[kCommon], c.split_price,
                trend_label(c.trend[kCommon]));
#pragma GCC diagnostic pop
}

void rewrite_special_price(int row, int16_t price) {
    term_goto(kSpecialPriceColumn, row);
    term_printf("\e[0m$%4d.00", price);
}

void draw_company_screen(int company) {
    draw_company_profile(company);
    draw_start_split_trend(company);
}

// "Company History": the description lines through the history line editor.
void edit_description(int company) {
    CompanyRecord& c = company_record(company);
    HistoryWorkCopy work;
    build_history_work_copy(c, work);
    draw_history_edit_header(company);
    const int result = history_editor(&work[0][0], kTextColumn, kTextRow, kHistoryLines,
                                      kWorkLineSize, kHistoryLines, kStatusColumn, kStatusRow,
                                      "Abort edit (Y/[N]): ", "Save edit (Y/[N]): ");
    if (result == kHistoryCondition) editor_session_end();
    if (result == kHistorySave) save_history_work_copy(work, c);
}

class CompanyMenu : public EditorMenuHandler {
  public:
    bool carry_out(int item) override {
        switch (item) {
            case 0:
                edit_general_trend();
                break;
            case 1:
                company_profile_editor(company_);
                break;
            case 2:
                company_stocks_editor(company_);
                break;
            case 3:
                company_editor_help();
                break;
            default:
                return true;
        }
        draw_menu_screen(kCompanyEditMenu);
        return false;
    }

    void redraw_screen() override {
        term_clear_screen();
        draw_company_screen(company_);
        draw_menu_screen(kCompanyEditMenu);
        draw_message_heading();
        show_edit_prompt();
    }

    void page(int step) override {
        const int next = company_ + step;
        if (next < 0 || next >= kCompanyCount) return;
        company_ = next;
        draw_company_screen(company_);
    }

  private:
    int company_ = 0;
};

class ProfileMenu : public EditorMenuHandler {
  public:
    explicit ProfileMenu(int company) : company_(company) {}

    bool carry_out(int item) override {
        const CompanyRecord& c = company_record(company_);
        switch (item) {
            case 0:
                if (edit_company_name(company_)) {
                    term_goto(kValueColumn, 2);
                    term_printf("\e[0m%.31s", c.name);
                }
                break;
            case 1:
                if (edit_company_symbol(company_)) {
                    term_goto(kValueColumn, 3);
                    term_printf("\e[0m%.3s", c.symbol);
                }
                break;
            case 2:
                if (edit_company_type(company_)) {
                    static constexpr const char* kTypeNames[] = {"Speculative", "Mutual Fund",
                                                                 "Blue Chip  "};
                    term_goto(kValueColumn, 4);
                    term_printf("\e[0m%s", kTypeNames[c.type]);
                }
                break;
            case 3:
                edit_description(company_);
                draw_menu_screen(kCompanyProfileMenu);
                break;
            case 4:
                company_profile_editor_help();
                draw_menu_screen(kCompanyProfileMenu);
                break;
            default:
                return true;
        }
        return false;
    }

    void redraw_screen() override {
        term_clear_screen();
        draw_company_screen(company_);
        draw_menu_screen(kCompanyProfileMenu);
        draw_message_heading();
        show_edit_prompt();
    }

  private:
    int company_;
};

class StocksMenu : public EditorMenuHandler {
  public:
    explicit StocksMenu(int company) : company_(company) {}

    bool carry_out(int item) override {
        const CompanyRecord& c = company_record(company_);
        switch (item) {
            case 0:
                if (edit_options_issue(company_)) {
                    rewrite_issue_row(company_, kOptions);
                    rewrite_special_price(11, c.option_conversion_price);
                }
                break;
            case 1:
                if (edit_common_issue(company_)) rewrite_common_row(company_);
                break;
            case 2:
                if (edit_preferred_issue(company_)) rewrite_issue_row(company_, kPreferred);
                break;
            case 3:
                if (edit_bonds_issue(company_)) {
                    rewrite_issue_row(company_, kBonds);
                    rewrite_special_price(12, c.bond_guaranteed_value);
                }
                break;
            case 4:
                company_stocks_editor_help();
                draw_menu_screen(kCompanyStocksMenu);
                break;
            default:
                return true;
        }
        return false;
    }

    void redraw_screen() override {
        term_clear_screen();
        draw_company_screen(company_);
        draw_menu_screen(kCompanyStocksMenu);
        draw_message_heading();
        show_edit_prompt();
    }

  private:
    int company_;
};

}  // namespace

int company_editor() {
    CompanyMenu menu;
    draw_company_screen(0);
    draw_menu_screen(kCompanyEditMenu);
    show_edit_prompt();
    run_editor_menu(kCompanyEditMenu, menu);
    return 0;
}

int company_profile_editor(int company) {
    ProfileMenu menu(company);
    draw_menu_screen(kCompanyProfileMenu);
    show_edit_prompt();
    run_editor_menu(kCompanyProfileMenu, menu);
    return 0;
}

int company_stocks_editor(int company) {
    StocksMenu menu(company);
    draw_menu_screen(kCompanyStocksMenu);
    show_edit_prompt();
    run_editor_menu(kCompanyStocksMenu, menu);
    return 0;
}

int edit_general_trend() {
    char prompt[96];
    std::snprintf(prompt, sizeof prompt,
                  "Current trend is %d, Enter new general trend (0=bear - 9=bull): ",
                  g_session.market.general_trend);
    return prompt_int16(prompt, kTrendRule, g_session.market.general_trend);
}

int edit_company_name(int company) {
    return prompt_text("Enter new company name: ", accept_company_name,
                       company_record(company).name, kNameSize);
}

int edit_company_symbol(int company) {
    return prompt_text("Enter new company symbol: ", accept_symbol, company_record(company).symbol,
                       kSymbolSize);
}

int edit_company_type(int company) {
    constexpr NumberRule kTypeRule{kSpeculative, kBlueChip, "Error - Type must be between 0 and 2!",
                                   nullptr};
    return prompt_int16("Enter new company type (0-2): ", kTypeRule, company_record(company).type);
}

int edit_options_issue(int company) {
    return edit_issue(company, kOptions, kOptionsPrompts);
}

int edit_common_issue(int company) {
    return edit_issue(company, kCommon, kCommonPrompts);
}

int edit_preferred_issue(int company) {
    return edit_issue(company, kPreferred, kPreferredPrompts);
}

int edit_bonds_issue(int company) {
    return edit_issue(company, kBonds, kBondsPrompts);
}

void draw_history_edit_header(int company) {
    term_goto(0, 14);
    term_clear_line();
    draw_heading_bar("COMPANY PROFILE EDIT", 25, 29);
    term_printf("\e[1;37;40m");
    term_goto(0, 15);
    term_clear_line();
    term_printf("  %.31s\r\n", company_record(company).name);
    term_printf("\e[0m");
    for (int row = kTextRow; row < kTextRow + kHistoryLines; ++row) {
        term_goto(0, row);
        term_clear_line();
        term_printf("\r\n");
    }
}

void build_history_work_copy(const CompanyRecord& company, HistoryWorkCopy& work) {
    for (int i = 0; i < kHistoryLines; ++i) {
        size_t length = strnlen(company.history[i], kHistoryLineSize);
        if (length > kLastColumn + 1) length = kLastColumn + 1;
        std::memcpy(work[i], company.history[i], length);
        std::memset(work[i] + length, ' ', kLastColumn + 1 - length);
        work[i][kLastColumn + 1] = '\0';
    }
}

void save_history_work_copy(const HistoryWorkCopy& work, CompanyRecord& company) {
    HistoryWorkCopy before;
    build_history_work_copy(company, before);
    for (int i = 0; i < kHistoryLines; ++i) {
        char* line = company.history[i];
        const bool long_line = strnlen(line, kHistoryLineSize) > kLastColumn + 1;
        if (long_line && std::memcmp(work[i], before[i], kWorkLineSize) == 0) continue;
        int length = kLastColumn + 1;
        while (length > 0 && work[i][length - 1] == ' ') --length;
        std::memset(line, 0, kHistoryLineSize);
        std::memcpy(line, work[i], static_cast<size_t>(length));
    }
}

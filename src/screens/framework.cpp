// The fixed 80x24 screen: heading bars, holdings table, menus, markers, message-row prompts,
// the selection loop and the company and stock-type selectors.
#include "screens/framework.h"

#include <cstring>

#include "data/session_state.h"
#include "session/session.h"
#include "session/terminal.h"

char line_buffer[kLineBufferSize];
int32_t short_view = 0;
int current_company = 0;

namespace {

constexpr int kShortColumn = 30;  // where the third column is rewritten on its own
constexpr int kBarWidth = 76;     // visible width of a heading bar after its two blanks

constexpr int kKeyEnter = 13;
constexpr int kKeySpace = 32;
constexpr int kKeyAsterisk = 42;

constexpr const char* kTableTitle = "BULLMOOR";
constexpr const char* kMessageTitle = "MESSAGES & PROMPTS";
constexpr const char* kSpacedName = "B U L L M O O R";

constexpr const char* kCommonHeading =
    "\e[1;37;40m      Company      Options         Common         Preferred        Bonds\r\n";
constexpr const char* kShortHeading =
    "\e[1;37;40m      Company      Options      Shares Short      Preferred        Bonds\r\n";
constexpr const char* kField = "\e[0m%7ld\e[1m/\e[0m$%3d    ";
constexpr const char* kGreenShortField = "\e[0;32m%7ld\e[1;37m/\e[0m$%3d    ";
constexpr const char* kBondField = "\e[0m%7ld\e[1m/\e[0m$%4d\r\n";
constexpr const char* kPlaceholder = "\e[0m      ---       ";
constexpr const char* kBondPlaceholder = "\e[0m      ---\r\n";

int graphics_mode() {
    return g_session.player.graphics_mode;
}

// Sends count copies of one character (a fill of a bar or a box line).
void send_run(char c, int count) {
    char run[81];
    if (count < 0) count = 0;
    if (count > 80) count = 80;
    std::memset(run, c, static_cast<size_t>(count));
    run[count] = '\0';
    term_printf("%s", run);
}

// The third column of one company row: common or short shares, or the placeholder.
void send_third_field(int company) {
    const CompanyRecord& c = g_session.market.companies[company];
    const Holding& h = g_session.player.holdings[company];
    if (c.total[kCommon] == 0) {
        term_printf("%s", kPlaceholder);
    } else if (short_view) {
        const char* format = graphics_mode() == kColorMode ? kGreenShortField : kField;
        // The two formats differ only in colour; both take the same arguments.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
        term_printf(format, static_cast<long>(h.short_count), c.price[kCommon][0]);
#pragma GCC diagnostic pop
    } else {
        term_printf(kField, static_cast<long>(h.count[kCommon]), c.price[kCommon][0]);
    }
}

void send_kind_field(int company, int kind) {
    const CompanyRecord& c = g_session.market.companies[company];
    const Holding& h = g_session.player.holdings[company];
    if (c.total[kind] == 0) {
        term_printf("%s", kind == kBonds ? kBondPlaceholder : kPlaceholder);
    } else if (kind == kBonds) {
        term_printf(kBondField, static_cast<long>(h.count[kBonds]), c.price[kBonds][0]);
    } else {
        term_printf(kField, static_cast<long>(h.count[kind]), c.price[kind][0]);
    }
}

// Rewrites row 1 and the third column of rows 2-13 (common or short shares).
void redraw_third_column() {
    term_goto(0, kTableHeadingRow);
    term_printf("%s", short_view ? kShortHeading : kCommonHeading);
    for (int i = 0; i < kCompanyCount; ++i) {
        term_goto(kShortColumn, kFirstCompanyRow + i);
        send_third_field(i);
    }
}

void goto_message_row() {
    term_goto(0, kMessageRow);
    term_clear_line();
}

// Condition messages of the menu loops; nullptr for keys that are not conditions.
const char* menu_condition_text(int key) {
    switch (key) {
        case kKeyNoCarrier:
            return "Loss of carrier, termination game...";
        case kKeyInactive:
            return "No keyboard activity, termination game...";
        case kKeyTimeWarning:
            return "Warning...Less than 5 minutes remaining...";
        case kKeyTimeUp:
            return "Time expired, termination game...";
        default:
            return nullptr;
    }
}

// Shows a prompt-level condition message at column 1 of the message row for 5 seconds.
void show_condition(const char* text) {
    term_goto(1, kMessageRow);
    term_printf("%s", text);
    term_sleep(5);
}

void draw_marker(const SelectionLoop& loop, int cursor, bool bright) {
    if (loop.company_arrow) {
        mark_company(loop.first_row + cursor, bright);
    } else {
        mark_item(loop.first_row + cursor, bright);
    }
}

void erase_marker(const SelectionLoop& loop, int cursor) {
    if (loop.company_arrow) {
        unmark_company(loop.first_row + cursor);
    } else {
        unmark_item(loop.first_row + cursor);
    }
}

void redraw_for_company(const MenuScreen& menu) {
    draw_holdings_table();
    draw_menu_screen(menu);
    draw_message_heading();
    prompt_company();
}
void redraw_company_over_main_menu() {
    redraw_for_company(kMainMenuScreen);
}
void redraw_company_over_trading_menu() {
    redraw_for_company(kTradingMenuScreen);
}

void redraw_stock_type_menu() {
    draw_holdings_table();
    draw_menu_screen(kStockTypeMenuScreen);
    draw_message_heading();
    prompt_stock_type();
}

constexpr const char* kMainItems[] = {"[ ] Brokers Report\r\n",  "[ ] Company Profile\r\n",
                                      "[ ] Trade Stocks\r\n",    "[ ] Page SysOp\r\n",
                                      "[ ] Change graphics\r\n", "[ ] Help\r\n",
                                      "[ ] Exit BMR\r\n"};
constexpr const char* kGraphicsItems[] = {"[ ] No graphics\r\n", "[ ] IBM graphics\r\n",
                                          "[ ] IBM color graphics\r\n"};
constexpr const char* kMainHelpItems[] = {"[ ] General Information\r\n",
                                          "[ ] Brokers Report\r\n",
                                          "[ ] Company Profile\r\n",
                                          "[ ] Trade Stocks\r\n",
                                          "[ ] Page SysOp\r\n",
                                          "[ ] Change Graphics\r\n",
                                          "[ ] Exit Help\r\n"};
constexpr const char* kTradingItems[] = {
    "[ ] Buy Stocks\r\n",    "[ ] Sell Stocks\r\n",  "[ ] Buy Short\r\n",   "[ ] Sell Short\r\n",
    "[ ] Option Stocks\r\n", "[ ] Help Trading\r\n", "[ ] Quit Trading\r\n"};
constexpr const char* kTradingHelpItems[] = {
    "[ ] General Trading\r\n", "[ ] Buy Stocks\r\n",    "[ ] Sell Stocks\r\n", "[ ] Buy Short\r\n",
    "[ ] Sell Short\r\n",      "[ ] Option Stocks\r\n", "[ ] Exit Help\r\n"};
constexpr const char* kStockTypeItems[] = {"[ ] Stock Options\r\n", "[ ] Common Stock\r\n",
                                           "[ ] Preferred Stock\r\n", "[ ] Bonds\r\n"};

}  // namespace

const MenuScreen kMainMenuScreen{"MAIN COMMAND MENU", 28, 29, 15, 7, kMainItems};
const MenuScreen kGraphicsMenuScreen{"GRAPHICS SELECTION MENU", 25, 26, 16, 3, kGraphicsItems};
const MenuScreen kMainHelpMenuScreen{"MAIN HELP MENU", 29, 31, 15, 7, kMainHelpItems};
const MenuScreen kTradingMenuScreen{"STOCK TRADING MENU", 27, 29, 15, 7, kTradingItems};
const MenuScreen kTradingHelpMenuScreen{"TRADING HELP MENU", 28, 30, 15, 7, kTradingHelpItems};
const MenuScreen kStockTypeMenuScreen{"STOCK TYPE SELECTION MENU", 24, 25, 16, 4, kStockTypeItems};

void draw_heading_bar(const char* title, int left_fill, int right_fill) {
    char fill;
    switch (graphics_mode()) {
        case kAsciiMode:
            fill = '=';
            break;
        case kIbmMode:
            fill = '\xCD';
            break;
        case kColorMode:
            fill = ' ';
            break;
        default:
            return;
    }
    term_printf("  %s", graphics_mode() == kColorMode ? "\e[1;37;42m" : "\e[1;37;40m");
    send_run(fill, left_fill);
    term_printf(" %s ", title);
    send_run(fill, right_fill);
    term_printf("\r\n");
}

void draw_title_banner() {
    term_clear_screen();
    const int name_width = static_cast<int>(std::strlen(kSpacedName));
    const int inner = 77;  // inside the box's two bars
    const int inner_left = (inner - name_width) / 2;
    const int inner_right = inner - name_width - inner_left;
    switch (graphics_mode()) {
        case kAsciiMode:
            term_printf("\r\n");
            send_run(' ', (80 - name_width) / 2);
            term_printf("%s\r\n\r\n\r\n", kSpacedName);
            break;
        case kIbmMode:
            term_printf("\xC9");
            send_run('\xCD', inner);
            term_printf("\xBB\r\n\xBA");
            send_run(' ', inner_left);
            term_printf("%s", kSpacedName);
            send_run(' ', inner_right);
            term_printf("\xBA\r\n\xC8");
            send_run('\xCD', inner);
            term_printf("\xBC\r\n\r\n");
            break;
        case kColorMode:
            term_printf("\e[1;36;40m\e[1;37;40m\xC9");
            send_run('\xCD', inner);
            term_printf("\xBB\r\n\e[1;37;40m\xBA");
            send_run(' ', inner_left);
            term_printf("\e[1;32;40m%s", kSpacedName);
            send_run(' ', inner_right);
            term_printf("\e[1;37;40m\xBA\r\n\e[1;37;40m\xC8");
            send_run('\xCD', inner);
            term_printf("\xBC\r\n\r\n");
            break;
        default:
            break;
    }
}

void draw_holdings_table() {
    term_goto(0, kTableTitleRow);
    term_clear_line();
    const int title_width = static_cast<int>(std::strlen(kTableTitle)) + 2;
    const int left = (kBarWidth - title_width) / 2;
    draw_heading_bar(kTableTitle, left, kBarWidth - title_width - left);
    term_printf("%s", short_view ? kShortHeading : kCommonHeading);
    for (int i = 0; i < kCompanyCount; ++i) {
        term_clear_line();
        term_printf("\e[0m        \e[1m%3.3s     ", g_session.market.companies[i].symbol);
        send_kind_field(i, kOptions);
        send_third_field(i);
        send_kind_field(i, kPreferred);
        send_kind_field(i, kBonds);
    }
}

void draw_short_column() {
    short_view = 1;
    redraw_third_column();
}

void draw_common_column() {
    short_view = 0;
    redraw_third_column();
}

void draw_message_heading() {
    term_goto(0, kMessageHeadingRow);
    term_clear_line();
    draw_heading_bar(kMessageTitle, 28, 28);
    term_printf("\e[0;37;40m");
}

void draw_menu_screen(const MenuScreen& menu) {
    term_goto(0, kMenuHeadingRow);
    term_clear_line();
    draw_heading_bar(menu.title, menu.left_fill, menu.right_fill);
    term_printf("\e[0;37;40m");
    for (int row = kFirstMenuRow; row <= kLastMenuRow; ++row) {
        term_goto(0, row);
        term_clear_line();
        const int item = row - menu.first_row;
        if (item >= 0 && item < menu.item_count) {
            term_goto(kItemMarkerColumn, row);
            term_printf("%s", menu.items[item]);
        }
    }
}

void mark_item(int row, bool bright) {
    const int mode = graphics_mode();
    if (mode < kAsciiMode || mode > kColorMode) return;
    term_goto(kItemMarkerColumn, row);
    term_printf("%s%s", bright ? "\e[1m" : "\e[0m",
                mode == kAsciiMode ? "[+]\e[2D" : "[\x04]\e[2D");
}

void unmark_item(int row) {
    const int mode = graphics_mode();
    if (mode < kAsciiMode || mode > kColorMode) return;
    term_goto(kItemMarkerColumn, row);
    term_printf("\e[0m[ ]\e[2D");
}

void mark_company(int row, bool bright) {
    const int mode = graphics_mode();
    if (mode < kAsciiMode || mode > kColorMode) return;
    term_goto(kCompanyArrowColumn, row);
    term_printf("%s%s", bright ? "\e[1m" : "\e[0m",
                mode == kAsciiMode ? "==>\e[1D" : "\xCD\xCD\x10\e[1D");
}

void unmark_company(int row) {
    const int mode = graphics_mode();
    if (mode < kAsciiMode || mode > kColorMode) return;
    term_goto(kCompanyArrowColumn, row);
    term_printf("\e[0m   ");
}

void show_cash() {
    goto_message_row();
    term_printf("\e[1m  Current cash: \e[0m$%ld", static_cast<long>(g_session.player.cash));
}

void prompt_help_subject() {
    goto_message_row();
    term_printf("\e[0m  Select help subject...");
}

void prompt_graphics_mode() {
    goto_message_row();
    term_printf("\e[0m  Select graphics mode...");
}

void prompt_company() {
    goto_message_row();
    term_printf("\e[0m  Select a company...");
}

void prompt_stock_type() {
    goto_message_row();
    term_printf("\e[0m  Select a stock type...");
}

// The texts of these three are the program's own constants and are sent as formats, so a
// percent sign in them is written doubled.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-security"
#pragma GCC diagnostic ignored "-Wformat-nonliteral"

void show_prompt(const char* text) {
    goto_message_row();
    term_printf("\e[0m  ");
    term_printf(text);
}

void show_message(const char* text) {
    goto_message_row();
    term_printf("\e[0m  ");
    term_printf(text);
    term_printf("\a");
    term_sleep(5);
}

int ask_yes_no(const char* text, int default_answer) {
    goto_message_row();
    term_printf("\e[0m  ");
    term_printf(text);
    term_input_line(line_buffer, kLineBufferSize);
    if (check_line_condition(line_buffer) == -1) session_end(0);
    switch (line_buffer[0]) {
        case 'Y':
        case 'y':
            return 1;
        case 'N':
        case 'n':
            return 0;
        default:
            return default_answer;
    }
}

#pragma GCC diagnostic pop

int press_enter() {
    goto_message_row();
    term_printf("\e[0m  Press [ENTER] to continue...");
    term_input_line(line_buffer, kLineBufferSize);
    if (check_line_condition(line_buffer) == -1) session_end(0);
    return 0;
}

int check_line_condition(const char* buffer) {
    if (std::strcmp(buffer, kTokenNoCarrier) == 0) {
        show_condition("ERROR - NO CARRIER, TERMINATING GAME!!!");
        return -1;
    }
    if (std::strcmp(buffer, kTokenNotActive) == 0) {
        show_condition("ERROR - NO TERMINAL ACTIVITY, TERMINATING GAME!!!");
        return -1;
    }
    if (std::strcmp(buffer, kTokenTimeWarning) == 0) {
        show_condition("WARNING - LESS THAN 5 MINUTES OF GAME TIME LEFT!!!");
        return 0;
    }
    if (std::strcmp(buffer, kTokenTimeout) == 0) {
        show_condition("ERROR - YOU HAVE USED ALL YOUR GAME TIME!!!");
        return -1;
    }
    return 0;
}

int check_key_condition(int key) {
    switch (key) {
        case kKeyNoCarrier:
            show_condition("ERROR - NO CARRIER, TERMINATING GAME!!!");
            return -1;
        case kKeyInactive:
            show_condition("ERROR - NO TERMINAL ACTIVITY, TERMINATING GAME!!!");
            return -1;
        case kKeyTimeWarning:
            show_condition("WARNING - LESS THAN 5 MINUTES OF GAME TIME LEFT!!!");
            return 0;
        case kKeyTimeUp:
            show_condition("ERROR - YOU HAVE USED ALL YOUR CONNECT TIME!!!");
            return -1;
        default:
            return 0;
    }
}

int run_selection(const SelectionLoop& loop, int& cursor) {
    const int last = loop.item_count - 1;
    if (cursor < 0 || cursor > last) cursor = 0;
    for (;;) {
        draw_marker(loop, cursor, true);
        const int key = term_menu_key();
        if (key == kKeyEnter || key == kKeySpace) {
            draw_marker(loop, cursor, false);
            return cursor;
        }
        if (loop.extra_key != 0 && key == loop.extra_key) {
            draw_marker(loop, cursor, false);
            return kExtraKeyChosen;
        }
        switch (key) {
            case kKeyUp:
            case '8':
                if (cursor > 0) {
                    erase_marker(loop, cursor);
                    --cursor;
                }
                break;
            case kKeyDown:
            case '2':
                if (cursor < last) {
                    erase_marker(loop, cursor);
                    ++cursor;
                }
                break;
            case kKeyHome:
            case '7':
                if (cursor != 0) {
                    erase_marker(loop, cursor);
                    cursor = 0;
                }
                break;
            case kKeyEnd:
            case '1':
                if (cursor != last) {
                    erase_marker(loop, cursor);
                    cursor = last;
                }
                break;
            case kKeyAsterisk:
                term_clear_screen();
                if (loop.redraw) loop.redraw();
                break;
            case kKeyNoCarrier:
            case kKeyInactive:
            case kKeyTimeUp:
                term_goto(0, kMessageRow);
                term_printf("%s", menu_condition_text(key));
                term_sleep(3);
                session_end(0);
            case kKeyTimeWarning:
                term_goto(0, kMessageRow);
                term_printf("%s", menu_condition_text(key));
                term_sleep(3);
                if (loop.message_row) loop.message_row();
                break;
            default:
                break;
        }
    }
}

int select_company(bool trading_menu_on_screen) {
    prompt_company();
    const SelectionLoop loop{
        kFirstCompanyRow, kCompanyCount, true,
        trading_menu_on_screen ? redraw_company_over_trading_menu : redraw_company_over_main_menu,
        prompt_company};
    run_selection(loop, current_company);
    return current_company;
}

void clear_company_arrow() {
    unmark_company(kFirstCompanyRow + current_company);
}

int select_stock_type() {
    draw_menu_screen(kStockTypeMenuScreen);
    prompt_stock_type();
    const SelectionLoop loop{kStockTypeMenuScreen.first_row, kStockTypeMenuScreen.item_count, false,
                             redraw_stock_type_menu, prompt_stock_type};
    int cursor = 0;
    return run_selection(loop, cursor);
}

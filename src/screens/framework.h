// The fixed 80x24 screen: holdings table, menu block, message row; the selection loop shared by
// every menu, the company and stock-type selectors, and the message-row prompts.
#pragma once

#include <cstdint>

// Rows and columns of the fixed layout (zero-based).
constexpr int kTableTitleRow = 0;
constexpr int kTableHeadingRow = 1;
constexpr int kFirstCompanyRow = 2;  // companies 0..11 on rows 2..13
constexpr int kMenuHeadingRow = 14;
constexpr int kFirstMenuRow = 15;
constexpr int kLastMenuRow = 21;
constexpr int kMessageHeadingRow = 22;
constexpr int kMessageRow = 23;
constexpr int kItemMarkerColumn = 30;
constexpr int kCompanyArrowColumn = 4;

constexpr int kLineBufferSize = 256;
extern char line_buffer[kLineBufferSize];  // answers typed at the message row
extern int32_t short_view;                 // holdings table shows short shares
extern int current_company;                // company chosen last, 0..11

// Heading bars: two blanks, colour, left fill, blank, title, blank, right fill, CR LF.
void draw_heading_bar(const char* title, int left_fill, int right_fill);
void draw_title_banner();
void draw_holdings_table();
void draw_short_column();
void draw_common_column();
void draw_message_heading();

// A menu: heading with its fills, first item row, and item texts ("[ ] ...\r\n").
struct MenuScreen {
    const char* title;
    int left_fill;
    int right_fill;
    int first_row;  // 15, or 16 for menus of three or four items
    int item_count;
    const char* const* items;
};
void draw_menu_screen(const MenuScreen& menu);

// The player menus of the fixed screen, shared by their owners and the selectors' redraws.
extern const MenuScreen kMainMenuScreen;
extern const MenuScreen kGraphicsMenuScreen;
extern const MenuScreen kMainHelpMenuScreen;
extern const MenuScreen kTradingMenuScreen;
extern const MenuScreen kTradingHelpMenuScreen;
extern const MenuScreen kStockTypeMenuScreen;

void mark_item(int row, bool bright);
void unmark_item(int row);
void mark_company(int row, bool bright);
void unmark_company(int row);

void show_cash();
void prompt_help_subject();
void prompt_graphics_mode();
void prompt_company();
void prompt_stock_type();
void show_prompt(const char* text);
void show_message(const char* text);
int press_enter();
int ask_yes_no(const char* text, int default_answer);
int check_line_condition(const char* buffer);
int check_key_condition(int key);

// The selection loop. On an asterisk the loop clears the screen and calls `redraw`, which
// repaints the menu's screen (holdings table, menu, message heading, message row);
// `message_row` redraws the menu's own message row after a time warning. Returns the chosen
// index (also left in cursor); extra_key, when not 0, is also accepted as a choice (the main
// menu's Ctrl-E): the normal marker is drawn and kExtraKeyChosen returned. Carrier loss,
// inactivity and time-out end the session.
struct SelectionLoop {
    int first_row;
    int item_count;
    bool company_arrow;  // mark_company at column 4 instead of mark_item at column 30
    void (*redraw)();
    void (*message_row)();
    int extra_key = 0;
};
constexpr int kExtraKeyChosen = -100;
int run_selection(const SelectionLoop& loop, int& cursor);

int select_company(bool trading_menu_on_screen);
void clear_company_arrow();
int select_stock_type();

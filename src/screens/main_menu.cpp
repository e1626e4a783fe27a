// The program's entry and the main menu, with the graphics menu, the main help menu, paging the
// sysop, the quit confirmation and the sysop editor's password login.
#include "screens/main_menu.h"

#include <cstring>

#include "data/dates.h"
#include "data/file_access.h"
#include "data/session_state.h"
#include "doorkit/opendoors.h"
#include "editor/editor.h"
#include "screens/broker_report.h"
#include "screens/company_profile.h"
#include "screens/framework.h"
#include "screens/help_screens.h"
#include "screens/trading.h"
#include "session/session.h"
#include "session/terminal.h"

namespace {

// Main menu items.
enum MainItem {
    kBrokersReport = 0,
    kCompanyProfile = 1,
    kTradeStocks = 2,
    kPageSysop = 3,
    kChangeGraphics = 4,
    kHelp = 5,
    kExitGame = 6,
};
constexpr int kExitHelpItem = 6;

constexpr int kCtrlE = 5;
constexpr int kMaxLoginAttempts = 3;
constexpr int kMenuRows = 7;
constexpr int kPageColumn = 6;

int main_cursor = 0;     // the main menu's item, kept for the whole run
int login_attempts = 0;  // failed editor logins since the last successful one

void draw_main_screen() {
    draw_holdings_table();
    draw_menu_screen(kMainMenuScreen);
    draw_message_heading();
    show_cash();
}

void redraw_main_menu() {
    draw_menu_screen(kMainMenuScreen);
    show_cash();
}

void redraw_graphics_screen() {
    draw_holdings_table();
    draw_menu_screen(kGraphicsMenuScreen);
    draw_message_heading();
    prompt_graphics_mode();
}

void redraw_help_screen() {
    draw_holdings_table();
    draw_menu_screen(kMainHelpMenuScreen);
    draw_message_heading();
    prompt_help_subject();
}

// Blanks the menu block, lets the door kit conduct the page, then repaints the whole screen.
void page_sysop() {
    term_goto(0, kFirstMenuRow);
    for (int row = 0; row < kMenuRows; ++row) {
        term_clear_line();
        term_printf("\r\n");
    }
    term_goto(kPageColumn, kFirstMenuRow);
    term_page_sysop();
    term_clear_screen();
    draw_holdings_table();
    draw_message_heading();
    show_cash();
    draw_menu_screen(kMainMenuScreen);
}

// The password prompt after Ctrl-E. Three wrong passwords in one run (counted since the last
// successful login) end the session as a normal end, the game played so far being kept.
void editor_login() {
    term_goto(0, kMessageRow);
    term_clear_line();
    term_printf("\e[0;37;40m  Enter password: ");
    term_input_line(line_buffer, kLineBufferSize);
    if (check_line_condition(line_buffer) == -1) session_end(0);
    if (std::strcmp(line_buffer, g_session.config.editor_password) != 0) {
        log_error(false, "->Unauthorized attempt to enter editor!");
        show_message("Wrong password.  Access Denied!");
        if (++login_attempts >= kMaxLoginAttempts) {
            show_message("Too many attempts, aborting game!");
            session_end(0);
        }
        show_cash();
        return;
    }
    if (od_control.remote != 0) log_error(false, "->Editor entered...");
    editor_main_menu();
    login_attempts = 0;
    term_clear_screen();
    draw_holdings_table();
    draw_menu_screen(kMainMenuScreen);
    draw_message_heading();
    show_cash();
}

void run_main_choice(int choice) {
    switch (choice) {
        case kBrokersReport:
            if (buy_broker_report() != 0) draw_menu_screen(kMainMenuScreen);
            show_cash();
            break;
        case kCompanyProfile:
            show_company_profile();
            draw_holdings_table();
            redraw_main_menu();
            break;
        case kTradeStocks:
            trading_menu();
            redraw_main_menu();
            break;
        case kPageSysop:
            page_sysop();
            break;
        case kChangeGraphics:
            if (graphics_menu() != 0) {
                term_clear_screen();
                draw_holdings_table();
                draw_message_heading();
            }
            redraw_main_menu();
            break;
        case kHelp:
            main_help_menu();
            redraw_main_menu();
            break;
        case kExitGame:
            if (ask_yes_no("Sure you want to quit (Y/[N]): ", 0) != 0) session_end(0);
            show_cash();
            break;
        default:
            break;
    }
}

}  // namespace

int graphics_menu() {
    const int previous = g_session.player.graphics_mode;
    draw_menu_screen(kGraphicsMenuScreen);
    prompt_graphics_mode();
    const SelectionLoop loop{kGraphicsMenuScreen.first_row, kGraphicsMenuScreen.item_count, false,
                             redraw_graphics_screen, prompt_graphics_mode};
    int cursor = previous;  // out of range starts at 0
    const int chosen = run_selection(loop, cursor);
    g_session.player.graphics_mode = static_cast<int16_t>(chosen);
    return chosen != previous ? 1 : 0;
}

void main_help_menu() {
    draw_menu_screen(kMainHelpMenuScreen);
    prompt_help_subject();
    const SelectionLoop loop{kMainHelpMenuScreen.first_row, kMainHelpMenuScreen.item_count, false,
                             redraw_help_screen, prompt_help_subject};
    int cursor = 0;
    for (;;) {
        const int chosen = run_selection(loop, cursor);
        if (chosen == kExitHelpItem) return;
        show_main_help_subject(chosen);
        draw_menu_screen(kMainHelpMenuScreen);
        prompt_help_subject();
    }
}

int run_bullmoor(int argc, char** argv) {
    g_session.session_start_seconds = seconds_since_midnight();
    term_set_force_local(true);
    session_start(argc, argv);

    term_clear_screen();
    draw_main_screen();
    main_cursor = 0;
    for (;;) {
        const SelectionLoop loop{kFirstMenuRow, kMenuRows,
                                 false,         draw_main_screen,
                                 show_cash,     g_session.editor_allowed ? kCtrlE : 0};
        const int chosen = run_selection(loop, main_cursor);
        if (chosen == kExtraKeyChosen) {
            editor_login();
        } else {
            run_main_choice(chosen);
        }
    }
}

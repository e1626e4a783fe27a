// The six editor help screens: their pages and the paging through them.
#include "editor/editor_help.h"

#include "data/session_state.h"
#include "editor/editor_menu.h"
#include "session/terminal.h"

namespace {

constexpr int kHeadingRow = 15;

constexpr HelpPage kGeneralEditingPages[] = {
    {"     General Editing...",
     {"     The main edit menu changes player and company information.",
      "     To put the companies back to their default setup, delete the",
      "     market file quonda.dat while no one is playing."}},
    {nullptr,
     {"     The editor commands are simple. In the player and company edit",
      "     menus PgUp (9 on the keypad) selects the previous player or",
      "     company and PgDn (3) selects the next one."}},
};

constexpr HelpPage kPlayerEditorPages[] = {
    {"     Player Information Editor...",
     {"     This editor shows and changes everything stored about a player.",
      "     PgUp and PgDn select the player to work on. The Stocks holdings",
      "     entry opens a sub-menu for the player's cash and holdings."}},
    {nullptr,
     {"     The next pages describe the fields of the player record.",
      "     Pressing ENTER alone at a prompt leaves a field unchanged."}},
    {"     Player Name...",
     {"     Identifies the BBS user who owns this record; it seldom needs",
      "     changing. Enter 1 to 31 characters. Upper and lower case count",
      "     as the same when names are compared."}},
    {"     Last Date Played...",
     {"     Only tells when the user last played QUONDA. A user who has not",
      "     played for 30 days is deleted from the game, so an old date such",
      "     as Jan 01 1900 deletes the record. Format: MMM DD YYYY."}},
    {"     Last Date Traded...",
     {"     The player's last trading day. Players trade in one session a",
      "     day, so setting this to today's date stops the player trading",
      "     until the next day. Format: MMM DD YYYY."}},
    {"     Graphics Mode...",
     {"     How the player sees the game: 0 plain ASCII only, 1 the extended",
      "     IBM character set, 2 the extended set with colour."}},
    {"     Stock Holdings...",
     {"     Not a field but a command: it opens the holdings sub-menu, which",
      "     has help of its own."}},
};

constexpr HelpPage kHoldingsEditorPages[] = {
    {"     Player Holdings Editor...",
     {"     Examine and change the player's cash and stock holdings.",
      "     PgUp and PgDn select the company whose holdings are shown."}},
    {"     Player Money...", {"     The cash the player has in hand: any value of 0 or more."}},
    {"     Options...",
     {"     Options held in the selected company, 0 or more. They cannot be",
      "     edited when the company does not trade options."}},
    {"     Common Stock...",
     {"     Common shares held, 0 or more. The same entry edits the shares",
      "     sold short and the price at which they were sold. Refused when",
      "     the company does not trade common stock."}},
    {"     Preferred...",
     {"     Preferred shares held, 0 or more. They cannot be edited when the",
      "     company does not trade preferred shares."}},
    {"     Bonds...",
     {"     Bonds held, 0 or more. They cannot be edited when the company",
      "     does not trade bonds."}},
};

constexpr HelpPage kCompanyEditorPages[] = {
    {"     Company Editor...",
     {"     Examine and change the companies' stock information and the",
      "     market trends. PgUp and PgDn select the company."}},
    {"     General Trend...",
     {"     The overall trend of the market for the next day; it works",
      "     together with each stock's own trend. From 0 (bear market) to 9",
      "     (bull market)."}},
    {"     Company Profile...",
     {"     A command, not a field: it opens the company profile editor for",
      "     the company's name, exchange symbol and history."}},
    {"     Company Stock...", {"     A command, not a field: it opens the company stocks menu."}},
};

constexpr HelpPage kCompanyProfileEditorPages[] = {
    {"     Company Profile Editor...",
     {"     Examine and change the profile of the selected company."}},
    {"     Company Name...",
     {"     The selected company's name, normally best left alone. Enter 1",
      "     to 31 characters."}},
    {"     Exchange Symbol...",
     {"     The symbol shown at the left edge of the main screen. It must be",
      "     exactly three characters and is usually changed with the name."}},
    {"     Company Type...", {"     0 speculative stock, 1 mutual fund, 2 blue chip stock."}},
};

constexpr HelpPage kCompanyStocksEditorPages[] = {
    {"     Company Stocks Editor...",
     {"     Examine and change the stocks each company trades. Prices go",
      "     from 0 to 32767, counts from 0 to 2147483647."}},
    {"     Options...",
     {"     The total number of options, the number available for trading",
      "     (not held by players), the current price, the starting price",
      "     used after a crash, and the option conversion price."}},
    {"     Common Stock...",
     {"     The same figures for common shares, with the price at which the",
      "     common stock splits 2 for 1."}},
    {"     Preferred...",
     {"     Total, available, current price and starting price of the", "     preferred shares."}},
    {"     Bonds...",
     {"     Total, available, current price and starting price of the bonds,",
      "     and the guaranteed price a bond pays at maturity."}},
};

template <size_t N>
constexpr HelpScreen screen_of(const HelpPage (&pages)[N]) {
    return {pages, static_cast<int>(N)};
}

void start_row(int row) {
    term_goto(0, row);
    term_clear_line();
}

}  // namespace

const HelpScreen kGeneralEditingHelp = screen_of(kGeneralEditingPages);
const HelpScreen kPlayerEditorHelp = screen_of(kPlayerEditorPages);
const HelpScreen kHoldingsEditorHelp = screen_of(kHoldingsEditorPages);
const HelpScreen kCompanyEditorHelp = screen_of(kCompanyEditorPages);
const HelpScreen kCompanyProfileEditorHelp = screen_of(kCompanyProfileEditorPages);
const HelpScreen kCompanyStocksEditorHelp = screen_of(kCompanyStocksEditorPages);

// Rows below a page's last line are left as the page before left them.
void show_editor_help(const HelpScreen& help) {
    const bool colour = g_session.player.graphics_mode == kColorMode;
    for (int p = 0; p < help.page_count; ++p) {
        const HelpPage& page = help.pages[p];
        start_row(kHeadingRow);
        if (page.heading != nullptr) {
            term_printf("%s%s\r\n\e[0m", colour ? "\e[1;37;40m" : "\e[1m", page.heading);
        } else {
            term_printf("\r\n");
        }
        start_row(kHeadingRow + 1);
        term_printf("\r\n");
        for (int i = 0; i < kHelpLinesPerPage && page.lines[i] != nullptr; ++i) {
            start_row(kHeadingRow + 2 + i);
            term_printf("%s\r\n", page.lines[i]);
        }
        editor_press_enter();
    }
}

void general_editing_help() {
    show_editor_help(kGeneralEditingHelp);
}
void player_editor_help() {
    show_editor_help(kPlayerEditorHelp);
}
void holdings_editor_help() {
    show_editor_help(kHoldingsEditorHelp);
}
void company_editor_help() {
    show_editor_help(kCompanyEditorHelp);
}
void company_profile_editor_help() {
    show_editor_help(kCompanyProfileEditorHelp);
}
void company_stocks_editor_help() {
    show_editor_help(kCompanyStocksEditorHelp);
}

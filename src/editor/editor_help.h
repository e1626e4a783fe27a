// The editor's help screens: one for the main editor menu and one for each editor sub-menu,
// paged in the menu block, each page closed by "Press [ENTER] to continue...".
#pragma once

void general_editing_help();
void player_editor_help();
void holdings_editor_help();
void company_editor_help();
void company_profile_editor_help();
void company_stocks_editor_help();

// A help page on rows 15-21: the bold subject heading (or an empty row when the page goes on
// with the subject before it), an empty row, then up to five text lines. Every line starts with
// five blanks and is at most 75 characters long.
constexpr int kHelpLinesPerPage = 5;
struct HelpPage {
    const char* heading;                   // "     Subject..."; nullptr: not a subject's start
    const char* lines[kHelpLinesPerPage];  // nullptr ends the page early
};
struct HelpScreen {
    const HelpPage* pages;
    int page_count;
};

extern const HelpScreen kGeneralEditingHelp;
extern const HelpScreen kPlayerEditorHelp;
extern const HelpScreen kHoldingsEditorHelp;
extern const HelpScreen kCompanyEditorHelp;
extern const HelpScreen kCompanyProfileEditorHelp;
extern const HelpScreen kCompanyStocksEditorHelp;

// Shows every page of one help screen in order.
void show_editor_help(const HelpScreen& help);

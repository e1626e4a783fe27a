// The sysop editor's shared machinery: its six menu blocks and the one loop that drives them,
// the edit prompt, the field prompt convention with its answer rules, and the way out of the
// session from inside the editor (closing a player file the editor holds first).
#pragma once

#include <cstdint>

#include "data/file_access.h"
#include "screens/framework.h"

// Menu blocks of the editor (heading, fills, item rows and texts).
extern const MenuScreen kMainEditorMenu;
extern const MenuScreen kPlayerEditMenu;
extern const MenuScreen kHoldingsEditMenu;
extern const MenuScreen kCompanyEditMenu;
extern const MenuScreen kCompanyProfileMenu;
extern const MenuScreen kCompanyStocksMenu;

// Row 23: "Select edit function...".
void show_edit_prompt();

// What one editor menu does with the keys the loop hands on.
class EditorMenuHandler {
  public:
    virtual ~EditorMenuHandler() = default;
    // Carries out item (0-based); returns true when the item leaves the menu.
    virtual bool carry_out(int item) = 0;
    // "*": redraws the whole screen, edit prompt included.
    virtual void redraw_screen() = 0;
    // PgUp (-1) or PgDn (+1); menus without paging ignore them.
    virtual void page(int /*step*/) {}
};

// Runs one editor menu until an item leaves it. The item index starts at the first item; the
// edit prompt is shown again after every item that does not leave.
void run_editor_menu(const MenuScreen& menu, EditorMenuHandler& handler);

// The player file the editor holds open (nullptr: none); closed before the session ends.
void editor_hold_file(FileHandle* file);
// Ends the session (normal end) from anywhere in the editor, closing a held file first.
[[noreturn]] void editor_session_end();

// "Press [ENTER] to continue..." on row 23; a condition token ends the session.
void editor_press_enter();

// Field prompt convention: shows prompt on row 23 and reads line_buffer. A condition that ends
// the session ends it here. Returns true when line_buffer holds an answer to validate; false
// for an empty answer or a five-minute warning (the field keeps its value).
bool ask_field(const char* prompt);

// ---- Answer rules (no terminal needed) ----

// Reads a decimal integer: leading blanks, an optional sign, digits; text that does not begin
// with a number reads as 0. Values beyond +-10^15 are held there (they are out of every range).
int64_t parse_number(const char* text);

// A numeric field: accepted from low to high. Below low the field's own message is shown;
// above high, too_large when set (the 16- and 32-bit limits), else the field's message.
struct NumberRule {
    int64_t low;
    int64_t high;
    const char* message;
    const char* too_large;
};

// Fields stored in 16 bits (prices and special prices, the short price): 0..32767. Larger
// answers are refused instead of wrapping around to negative prices.
constexpr int64_t kMax16 = 32767;
// Counts and money are stored in 32 bits.
constexpr int64_t kMax32 = 2147483647;
constexpr const char* kTooLarge16 = "Error - Value must be 32767 or less!";
constexpr const char* kTooLarge32 = "Error - Value must be 2147483647 or less!";
constexpr const char* kTrendMessage = "Error - Trend must be between 0 and 9!";

constexpr NumberRule count_rule(const char* message) {
    return {0, kMax32, message, kTooLarge32};
}
constexpr NumberRule price_rule(const char* message) {
    return {0, kMax16, message, kTooLarge16};
}
// Trends, types and graphics modes are tested on the whole answer before it is cut to 16 bits,
// so 65545 is refused rather than stored as 9.
constexpr NumberRule kTrendRule{0, 9, kTrendMessage, nullptr};

// nullptr when value is accepted, else the message to show.
const char* check_number(const NumberRule& rule, int64_t value);

// Text fields. Each returns nullptr and fills out, or returns the rejection message.
// Player name: 1..31 characters, upper-cased, blank-padded to 31, NUL at 31 (out: 32 bytes).
const char* accept_player_name(const char* answer, char* out);
// Company name: 1..31 characters as typed, blank-padded to 31, NUL at 31 (out: 32 bytes).
const char* accept_company_name(const char* answer, char* out);
// Date: exactly 11 characters, copied as typed (out: 12 bytes).
const char* accept_date(const char* answer, char* out);
// Symbol: exactly 3 characters, upper-cased (out: 4 bytes).
const char* accept_symbol(const char* answer, char* out);

// Asks a numeric field: prompt, answer, rule, message. Returns true and sets value when an
// answer was accepted.
bool prompt_number(const char* prompt, const NumberRule& rule, int64_t& value);
// The same for the typed fields: stores into an int16_t or an int32_t field.
bool prompt_int16(const char* prompt, const NumberRule& rule, int16_t& field);
bool prompt_int32(const char* prompt, const NumberRule& rule, int32_t& field);
// Asks a text field checked by accept (one of the accept_* above) and stores field_size bytes
// of the accepted text into field.
bool prompt_text(const char* prompt, const char* (*accept)(const char*, char*), char* field,
                 int field_size);

// The company arrow of the editor's screens, at any column (the player profile uses 60).
void editor_mark_company(int column, int row);
void editor_unmark_company(int column, int row);

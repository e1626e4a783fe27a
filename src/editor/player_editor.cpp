// The player editor and its holdings sub-menu over quonda.plr.
#include "editor/player_editor.h"

#include <unistd.h>

#include <cstring>
#include <initializer_list>

#include "data/codec.h"
#include "data/file_access.h"
#include "data/session_state.h"
#include "editor/editor_help.h"
#include "editor/editor_menu.h"
#include "screens/framework.h"
#include "session/shared_files.h"
#include "session/terminal.h"

namespace {

constexpr const char* kPlayerFile = "quonda.plr";
constexpr int kArrowColumn = 60;   // the shown company's arrow on the profile screen
constexpr int kSymbolColumn = 65;  // the company symbols beside it
constexpr int kValueColumn = 21;  // holding values on rows 6-12
constexpr int kTextColumn = 22;   // name and dates on rows 2-4

// What lives while the player editor runs. quonda.plr is not held between keys: every read and
// every write opens and locks it for that step alone, so other nodes are never kept waiting.
struct PlayerEditorState {
    PlayerRecord buffer{};    // the record being viewed
    PlayerRecord original{};  // the same record as it was read: the write sends only the edits
    int32_t position = 0;     // byte offset of that record, a multiple of kPlayerBytes
    bool changed = false;     // an edit stored a value that is not written back yet
    int shown_company = 0;    // company whose holding is shown and edited
};

PlayerEditorState state;

const CompanyRecord& company_record(int company) {
    return g_session.market.companies[company];
}

bool offers(int company, int kind) {
    return company_record(company).total[kind] != 0;
}

Holding& shown_holding(int company) {
    return state.buffer.holdings[company];
}

long as_long(int32_t value) {
    return static_cast<long>(value);
}

// A file error that ends the session: logged (with on-screen display) or only shown.
[[noreturn]] void fail_logged(const char* message) {
    log_error(true, "%s", message);
    editor_session_end();
}

[[noreturn]] void fail_shown(const char* message) {
    show_message(message);
    editor_session_end();
}

// Results of reading one record.
constexpr int kReadDone = 0;
constexpr int kReadNoSeek = -1;    // the position could not be reached
constexpr int kReadNoRecord = -2;  // no whole record there (the end of the file)
constexpr int kReadNoFile = -3;    // quonda.plr would not open

// Reads the record at position into the edit buffer, quonda.plr locked for this read alone.
int read_buffer_at(int32_t position) {
    FileHandle file;
    std::strcpy(file.path, kPlayerFile);
    if (open_locked(file, kModeRead, true, false) != kOpenOk) return kReadNoFile;
    int result = kReadNoSeek;
    if (lseek(file.fd, position, SEEK_SET) == static_cast<off_t>(position)) {
        result = read_player(file.fd, state.buffer) == kPlayerBytes ? kReadDone : kReadNoRecord;
    }
    close_locked(file);
    if (result == kReadDone) state.original = state.buffer;
    return result;
}

bool is_session_player(int32_t position) {
    return position == g_session.player_offset;
}

void take_session_player() {
    state.buffer = g_session.player;
    state.original = state.buffer;
}

// Writes the edit buffer back; the session player's record in memory follows (on exit before the
// write, otherwise after it). The session player's record goes whole to where it is stored;
// another player's record receives the edited fields where that player is now, which another
// node's daily pass may have moved. A player no longer in the file is reported and left alone.
void write_back(bool on_exit) {
    state.changed = false;
    if (is_session_player(state.position)) {
        if (on_exit) g_session.player = state.buffer;
        if (write_session_player(state.buffer, state.original.name, g_session.player_offset) != 0) {
            fail_logged("Error - Can't write player record.");
        }
        state.position = g_session.player_offset;
        state.original = state.buffer;
        if (!on_exit) g_session.player = state.buffer;
        return;
    }
    PlayerRecord written = state.buffer;
    const int result = write_edited_player(state.original, written, state.position);
    if (result == -3) {
        log_error(true, "Error - Can't write player record.");
        return;
    }
    if (result != 0) fail_logged("Error - Can't write player record.");
    state.buffer = written;
    state.original = written;
}

void redraw_record() {
    draw_player_profile(state.shown_company);
    editor_mark_company(kArrowColumn, kFirstCompanyRow + state.shown_company);
}

void previous_record() {
    if (state.position == 0) {
        show_message("Beginning of file encountered!");
        show_edit_prompt();
        return;
    }
    if (state.changed) write_back(false);
    const int32_t previous = state.position - kPlayerBytes;
    if (is_session_player(previous)) {
        take_session_player();
    } else {
        const int read = read_buffer_at(previous);
        if (read == kReadNoSeek) fail_logged("Error - Can't seek in player record.");
        if (read != kReadDone) fail_logged("Error - Can't read player record.");
    }
    state.position = previous;
    redraw_record();
}

// The session player's record is reached from memory even when it is not in the file yet (a
// new player is appended only at session end).
void next_record() {
    if (state.changed) write_back(false);
    const int32_t next = state.position + kPlayerBytes;
    if (is_session_player(next)) {
        take_session_player();
        state.position = next;
        redraw_record();
        return;
    }
    const int read = read_buffer_at(next);
    if (read == kReadNoSeek || read == kReadNoFile) fail_shown("Error - Can't seek in player file");
    if (read == kReadDone) {
        state.position = next;
        redraw_record();
        return;
    }
    if (is_session_player(state.position)) {
        take_session_player();
    } else {
        const int again = read_buffer_at(state.position);
        if (again == kReadNoSeek || again == kReadNoFile) {
            fail_shown("Error - Can't seek player record.");
        }
        if (again != kReadDone) fail_shown("Error - Can't read player record.");
    }
    show_message("End of file encountered!");
    show_edit_prompt();
}

// One value line of the profile (rows 6-9) for a kind other than common.
void send_kind_line(const char* label, int company, int kind) {
    term_printf("\e[1m    %s: ", label);
    if (offers(company, kind)) {
        term_printf("\e[0m%7ld  $%4d.00\r\n", as_long(shown_holding(company).count[kind]),
                    company_record(company).price[kind][0]);
    } else {
        term_printf("\e[0mNot traded\r\n");
    }
}

void send_common_line(int company) {
    term_printf("\e[1m    Common         : ");
    if (offers(company, kCommon)) {
        const Holding& h = shown_holding(company);
        term_printf("\e[0m%7ld  $%4d.00  %7ld  $%4d.00\r\n", as_long(h.count[kCommon]),
                    company_record(company).price[kCommon][0], as_long(h.short_count),
                    h.short_price);
    } else {
        term_printf("\e[0mNot traded\r\n");
    }
}

void start_row(int row) {
    term_goto(0, row);
    term_clear_line();
}

class HoldingsMenu : public EditorMenuHandler {
  public:
    explicit HoldingsMenu(int& company) : company_(company) {}

    bool carry_out(int item) override {
        const int c = company_;
        const Holding& h = shown_holding(c);
        switch (item) {
            case 0:
                if (edit_cash()) {
                    term_goto(kValueColumn, 11);
                    term_printf("\e[0m$%ld.00          ", as_long(state.buffer.cash));
                    stored_ = 1;
                }
                break;
            case 1:
                if (edit_options_holding(c)) show_count(6, h.count[kOptions]);
                break;
            case 2:
                if (edit_common_holding(c)) {
                    term_goto(kValueColumn, 7);
                    term_printf("\e[0m%7ld  $%4d.00  %7ld  $%4d.00", as_long(h.count[kCommon]),
                                company_record(c).price[kCommon][0], as_long(h.short_count),
                                h.short_price);
                    stored_ = 1;
                }
                break;
            case 3:
                if (edit_preferred_holding(c)) show_count(8, h.count[kPreferred]);
                break;
            case 4:
                if (edit_bonds_holding(c)) show_count(9, h.count[kBonds]);
                break;
            case 5:
                holdings_editor_help();
                draw_menu_screen(kHoldingsEditMenu);
                break;
            default:
                return true;
        }
        return false;
    }

    void redraw_screen() override {
        term_clear_screen();
        draw_player_profile(company_);
        editor_mark_company(kArrowColumn, kFirstCompanyRow + company_);
        draw_menu_screen(kHoldingsEditMenu);
        draw_message_heading();
        show_edit_prompt();
    }

    void page(int step) override {
        const int next = company_ + step;
        if (next < 0 || next >= kCompanyCount) return;
        editor_unmark_company(kArrowColumn, kFirstCompanyRow + company_);
        company_ = next;
        editor_mark_company(kArrowColumn, kFirstCompanyRow + company_);
        draw_holding_lines(company_);
    }

    int stored() const { return stored_; }

  private:
    void show_count(int row, int32_t count) {
        term_goto(kValueColumn, row);
        term_printf("\e[0m%7ld", as_long(count));
        stored_ = 1;
    }

    int& company_;
    int stored_ = 0;
};

class PlayerMenu : public EditorMenuHandler {
  public:
    bool carry_out(int item) override {
        switch (item) {
            case 0:
                if (edit_player_name()) show_text(2, state.buffer.name, kNameSize - 1);
                break;
            case 1:
                if (edit_last_played()) show_text(3, state.buffer.last_played, kDateSize - 1);
                break;
            case 2:
                if (edit_last_traded()) show_text(4, state.buffer.last_traded, kDateSize - 1);
                break;
            case 3:
                if (edit_graphics_mode()) {
                    state.changed = true;
                    term_goto(kValueColumn, 12);
                    term_printf("\e[0m%d", state.buffer.graphics_mode);
                }
                break;
            case 4:
                if (holdings_editor(state.shown_company)) state.changed = true;
                draw_menu_screen(kPlayerEditMenu);
                break;
            case 5:
                player_editor_help();
                draw_menu_screen(kPlayerEditMenu);
                break;
            default:
                if (state.changed) write_back(true);
                return true;
        }
        return false;
    }

    void redraw_screen() override {
        term_clear_screen();
        redraw_record();
        draw_menu_screen(kPlayerEditMenu);
        draw_message_heading();
        show_edit_prompt();
    }

    void page(int step) override {
        if (step < 0) {
            previous_record();
        } else {
            next_record();
        }
    }

  private:
    static void show_text(int row, const char* text, int width) {
        state.changed = true;
        term_goto(kTextColumn, row);
        term_printf("\e[0m%.*s", width, text);
    }
};

}  // namespace

int player_editor() {
    state = PlayerEditorState{};
    state.position = 0;
    const int read = read_buffer_at(0);
    if (read == kReadNoFile) {
        show_message("Error - Can't access player file");
        return 0;
    }
    if (read != kReadDone) {
        log_error(true, "Error - Can't read player file");
        return 0;
    }
    if (is_session_player(0)) take_session_player();
    state.changed = false;
    state.shown_company = 0;

    redraw_record();
    draw_menu_screen(kPlayerEditMenu);
    draw_message_heading();
    show_edit_prompt();
    PlayerMenu menu;
    run_editor_menu(kPlayerEditMenu, menu);
    return 0;
}

int holdings_editor(int& company) {
    draw_menu_screen(kHoldingsEditMenu);
    show_edit_prompt();
    HoldingsMenu menu(company);
    run_editor_menu(kHoldingsEditMenu, menu);
    return menu.stored();
}

// Text fields are written with a bounded width, so a hand-made file without terminating NULs
// cannot run the output past the field.
void draw_player_profile(int company) {
    const PlayerRecord& p = state.buffer;
    start_row(0);
    draw_heading_bar("PLAYER PROFILE", 29, 31);
    term_printf("\e[37;40m");
    start_row(1);
    term_printf("\r\n");
    start_row(2);
    term_printf("\e[1m    Player name     : \e[0m%.31s\r\n", p.name);
    start_row(3);
    term_printf("\e[1m    Last date played: \e[0m%.11s\r\n", p.last_played);
    start_row(4);
    term_printf("\e[1m    Last date traded: \e[0m%.11s\r\n", p.last_traded);
    start_row(5);
    term_printf("\e[1m                     Current    Price    Short     Price\r\n\e[0m");
    start_row(6);
    send_kind_line("Options        ", company, kOptions);
    start_row(7);
    send_common_line(company);
    start_row(8);
    send_kind_line("Preferred      ", company, kPreferred);
    start_row(9);
    send_kind_line("Bonds          ", company, kBonds);
    start_row(10);
    term_printf("\r\n");
    start_row(11);
    term_printf("\e[1m    Total in cash  : \e[0m$%ld.00\r\n", as_long(p.cash));
    start_row(12);
    term_printf("\e[1m    Graphics mode  : \e[0m%d\r\n", p.graphics_mode);
    start_row(13);
    for (int i = 0; i < kCompanyCount; ++i) {
        term_goto(kSymbolColumn, kFirstCompanyRow + i);
        term_printf("\e[0m%3.3s", company_record(i).symbol);
    }
}

void draw_holding_lines(int company) {
    const Holding& h = shown_holding(company);
    const CompanyRecord& c = company_record(company);
    term_goto(kValueColumn, 6);
    if (offers(company, kOptions)) {
        term_printf("\e[0m%7ld  $%4d.00", as_long(h.count[kOptions]), c.price[kOptions][0]);
    } else {
        term_printf("\e[0mNot traded       ");
    }
    term_goto(kValueColumn, 7);
    if (offers(company, kCommon)) {
        term_printf("\e[0m%7ld  $%4d.00  %7ld  $%4d.00", as_long(h.count[kCommon]),
                    c.price[kCommon][0], as_long(h.short_count), h.short_price);
    } else {
        term_printf("\e[1m\e[0mNot traded                           ");
    }
    for (const int kind : {kPreferred, kBonds}) {
        term_goto(kValueColumn, 6 + kind);
        if (offers(company, kind)) {
            term_printf("\e[0m%7ld  $%4d.00\r\n", as_long(h.count[kind]), c.price[kind][0]);
        } else {
            term_printf("\e[0mNot traded       ");
        }
    }
}

int edit_player_name() {
    return prompt_text("Enter new player name: ", accept_player_name, state.buffer.name, kNameSize);
}

int edit_last_played() {
    return prompt_text("Enter new player game date: ", accept_date, state.buffer.last_played,
                       kDateSize);
}

int edit_last_traded() {
    return prompt_text("Enter new player trade date: ", accept_date, state.buffer.last_traded,
                       kDateSize);
}

int edit_graphics_mode() {
    constexpr NumberRule kGraphicsRule{kAsciiMode, kColorMode, "Error - Illegal graphics mode!",
                                       nullptr};
    return prompt_int16("Enter new player graphics mode (0-2): ", kGraphicsRule,
                        state.buffer.graphics_mode);
}

int edit_cash() {
    return prompt_int32("Enter new player money: ", count_rule("Error - Illegal money value!"),
                        state.buffer.cash);
}

int edit_options_holding(int company) {
    if (!offers(company, kOptions)) {
        show_message("Error - That company does not offer options!");
        return 0;
    }
    return prompt_int32(
        "Enter new options count: ", count_rule("Error - Illegal options quantity!"),
        shown_holding(company).count[kOptions]);
}

// The three prompts are asked whatever the answers before them.
int edit_common_holding(int company) {
    if (!offers(company, kCommon)) {
        show_message("Error - That company does not offer common stock!");
        return 0;
    }
    Holding& h = shown_holding(company);
    int stored = 0;
    stored |= prompt_int32("Enter new common shares count: ",
                           count_rule("Error - Illegal common stock quantity!"), h.count[kCommon]);
    stored |= prompt_int32("Enter new short shares count: ",
                           count_rule("Error - Illegal short stock quantity!"), h.short_count);
    stored |= prompt_int16("Enter new short shares price: ",
                           price_rule("Error - Illegal short shares price!"), h.short_price);
    return stored;
}

int edit_preferred_holding(int company) {
    if (!offers(company, kPreferred)) {
        show_message("Error - That company does not offer preferred stock!");
        return 0;
    }
    return prompt_int32(
        "Enter new preferred count: ", count_rule("Error - Illegal preferred quantity!"),
        shown_holding(company).count[kPreferred]);
}

int edit_bonds_holding(int company) {
    if (!offers(company, kBonds)) {
        show_message("Error - That company does not offer bonds!");
        return 0;
    }
    return prompt_int32("Enter new bond count: ", count_rule("Error - Illegal bond quantity!"),
                        shown_holding(company).count[kBonds]);
}

// The editor's menu blocks and menu loop, the edit prompt, field prompts and answer rules.
#include "editor/editor_menu.h"

#include <cctype>
#include <cstring>

#include "data/session_state.h"
#include "session/session.h"
#include "session/terminal.h"

namespace {

constexpr int kKeyEnter = 13;
constexpr int kKeySpace = 32;
constexpr int kKeyAsterisk = 42;

constexpr const char* kMainEditorItems[] = {"[ ] Edit Players\r\n", "[ ] Edit Companies\r\n",
                                            "[ ] Editor Help\r\n", "[ ] Exit Editor\r\n"};
constexpr const char* kPlayerEditItems[] = {"[ ] Player name\r\n",      "[ ] Last date played\r\n",
                                            "[ ] Last date traded\r\n", "[ ] Graphics mode\r\n",
                                            "[ ] Stocks holdings\r\n",  "[ ] Help edit\r\n",
                                            "[ ] Exit editor\r\n"};
constexpr const char* kHoldingsEditItems[] = {
    "[ ] Player money\r\n", "[ ] Options\r\n",   "[ ] Common stock\r\n", "[ ] Preferred stock\r\n",
    "[ ] Bonds\r\n",        "[ ] Help edit\r\n", "[ ] Exit editor\r\n"};
constexpr const char* kCompanyEditItems[] = {"[ ] General Trend\r\n", "[ ] Company Profile\r\n",
                                             "[ ] Company Stock\r\n", "[ ] Help edit\r\n",
                                             "[ ] Exit editor\r\n"};
constexpr const char* kCompanyProfileItems[] = {"[ ] Company Name\r\n", "[ ] Exchange Symbol\r\n",
                                                "[ ] Company Type\r\n", "[ ] Company History\r\n",
                                                "[ ] Help edit\r\n",    "[ ] Exit editor\r\n"};
constexpr const char* kCompanyStocksItems[] = {"[ ] Options\r\n",         "[ ] Common stock\r\n",
                                               "[ ] Preferred stock\r\n", "[ ] Bonds\r\n",
                                               "[ ] Help edit\r\n",       "[ ] Exit editor\r\n"};

// Big enough that every field's range check sees an out-of-range answer as such.
constexpr int64_t kParseCap = 1000000000000000;

FileHandle* held_file = nullptr;

// Texts of the menu loop for the four conditions.
const char* menu_condition_text(int key) {
    switch (key) {
        case kKeyNoCarrier:
            return "Loss of carrier, termination game...";
        case kKeyInactive:
            return "No keyboard activity, termination game...";
        case kKeyTimeUp:
            return "Time expired, termination game...";
        default:
            return "Warning...Less than 5 minutes remaining...";
    }
}

// Pads text (already copied into out) with blanks to width characters and terminates it.
void pad_with_blanks(char* out, int length, int width) {
    for (int i = length; i < width; ++i) out[i] = ' ';
    out[width] = '\0';
}

}  // namespace

const MenuScreen kMainEditorMenu{"MAIN EDITOR MENU", 28, 30, 16, 4, kMainEditorItems};
const MenuScreen kPlayerEditMenu{"PLAYER EDIT MENU", 28, 30, 15, 7, kPlayerEditItems};
const MenuScreen kHoldingsEditMenu{"PLAYER EDIT MENU", 28, 30, 15, 7, kHoldingsEditItems};
const MenuScreen kCompanyEditMenu{"COMPANY EDIT MENU", 27, 30, 16, 5, kCompanyEditItems};
const MenuScreen kCompanyProfileMenu{"COMPANY PROFILE MENU", 25, 29, 15, 6, kCompanyProfileItems};
const MenuScreen kCompanyStocksMenu{"COMPANY STOCKS MENU", 26, 29, 15, 6, kCompanyStocksItems};

void show_edit_prompt() {
    term_goto(0, kMessageRow);
    term_clear_line();
    term_printf("\e[0m  Select edit function...");
}

void run_editor_menu(const MenuScreen& menu, EditorMenuHandler& handler) {
    const int first = menu.first_row;
    const int last = menu.item_count - 1;
    int index = 0;
    for (;;) {
        mark_item(first + index, true);
        const int key = term_menu_key();
        switch (key) {
            case kKeyUp:
            case '8':
                if (index > 0) {
                    unmark_item(first + index);
                    --index;
                }
                break;
            case kKeyDown:
            case '2':
                if (index < last) {
                    unmark_item(first + index);
                    ++index;
                }
                break;
            case kKeyHome:
            case '7':
                if (index != 0) {
                    unmark_item(first + index);
                    index = 0;
                }
                break;
            case kKeyEnd:
            case '1':
                if (index != last) {
                    unmark_item(first + index);
                    index = last;
                }
                break;
            case kKeyEnter:
            case kKeySpace:
                mark_item(first + index, false);
                if (handler.carry_out(index)) return;
                show_edit_prompt();
                break;
            case kKeyAsterisk:
                handler.redraw_screen();
                break;
            case kKeyPgUp:
            case '9':
                handler.page(-1);
                break;
            case kKeyPgDn:
            case '3':
                handler.page(1);
                break;
            case kKeyNoCarrier:
            case kKeyInactive:
            case kKeyTimeUp:
                term_goto(0, kMessageRow);
                term_printf("%s", menu_condition_text(key));
                term_sleep(3);
                editor_session_end();
            case kKeyTimeWarning:
                term_goto(0, kMessageRow);
                term_printf("%s", menu_condition_text(key));
                term_sleep(3);
                show_edit_prompt();
                break;
            default:
                break;
        }
    }
}

void editor_hold_file(FileHandle* file) {
    held_file = file;
}

void editor_session_end() {
    if (held_file != nullptr) {
        close_locked(*held_file);
        held_file = nullptr;
    }
    session_end(0);
}

void editor_press_enter() {
    term_goto(0, kMessageRow);
    term_clear_line();
    term_printf("\e[0m  Press [ENTER] to continue...");
    term_input_line(line_buffer, kLineBufferSize);
    if (check_line_condition(line_buffer) == -1) editor_session_end();
}

bool ask_field(const char* prompt) {
    show_prompt(prompt);
    term_input_line(line_buffer, kLineBufferSize);
    if (check_line_condition(line_buffer) == -1) editor_session_end();
    if (std::strcmp(line_buffer, kTokenTimeWarning) == 0) return false;
    return line_buffer[0] != '\0';
}

int64_t parse_number(const char* text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (std::isspace(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    int64_t value = 0;
    for (; std::isdigit(*p); ++p) {
        value = value * 10 + (*p - '0');
        if (value > kParseCap) value = kParseCap;
    }
    return negative ? -value : value;
}

const char* check_number(const NumberRule& rule, int64_t value) {
    if (value < rule.low) return rule.message;
    if (value > rule.high) return rule.too_large != nullptr ? rule.too_large : rule.message;
    return nullptr;
}

const char* accept_player_name(const char* answer, char* out) {
    const int length = static_cast<int>(std::strlen(answer));
    if (length > kNameSize - 1) return "Error - Name too long!";
    for (int i = 0; i < length; ++i) {
        out[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(answer[i])));
    }
    pad_with_blanks(out, length, kNameSize - 1);
    return nullptr;
}

const char* accept_company_name(const char* answer, char* out) {
    const int length = static_cast<int>(std::strlen(answer));
    if (length > kNameSize - 1) return "Error - Name too long!";
    std::memcpy(out, answer, static_cast<size_t>(length));
    pad_with_blanks(out, length, kNameSize - 1);
    return nullptr;
}

const char* accept_date(const char* answer, char* out) {
    if (std::strlen(answer) != kDateSize - 1) return "Error - Illegal date!";
    std::memcpy(out, answer, kDateSize);
    return nullptr;
}

const char* accept_symbol(const char* answer, char* out) {
    if (std::strlen(answer) != kSymbolSize - 1) return "Error - Symbol must be 3 characters!";
    for (int i = 0; i < kSymbolSize - 1; ++i) {
        out[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(answer[i])));
    }
    out[kSymbolSize - 1] = '\0';
    return nullptr;
}

bool prompt_number(const char* prompt, const NumberRule& rule, int64_t& value) {
    if (!ask_field(prompt)) return false;
    const int64_t answer = parse_number(line_buffer);
    if (const char* message = check_number(rule, answer)) {
        show_message(message);
        return false;
    }
    value = answer;
    return true;
}

bool prompt_int16(const char* prompt, const NumberRule& rule, int16_t& field) {
    int64_t value = 0;
    if (!prompt_number(prompt, rule, value)) return false;
    field = static_cast<int16_t>(value);
    return true;
}

bool prompt_int32(const char* prompt, const NumberRule& rule, int32_t& field) {
    int64_t value = 0;
    if (!prompt_number(prompt, rule, value)) return false;
    field = static_cast<int32_t>(value);
    return true;
}

bool prompt_text(const char* prompt, const char* (*accept)(const char*, char*), char* field,
                 int field_size) {
    if (!ask_field(prompt)) return false;
    char value[kNameSize] = {};
    if (const char* message = accept(line_buffer, value)) {
        show_message(message);
        return false;
    }
    std::memcpy(field, value, static_cast<size_t>(field_size));
    return true;
}

void editor_mark_company(int column, int row) {
    const int mode = g_session.player.graphics_mode;
    if (mode < kAsciiMode || mode > kColorMode) return;
    term_goto(column, row);
    term_printf("%s", mode == kAsciiMode ? "\e[0m==>\e[1D" : "\e[0m\xCD\xCD\x10\e[1D");
}

void editor_unmark_company(int column, int row) {
    const int mode = g_session.player.graphics_mode;
    if (mode < kAsciiMode || mode > kColorMode) return;
    term_goto(column, row);
    term_printf("\e[0m   ");
}

// The terminal layer over the door kit.
#include "session/terminal.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "doorkit/opendoors.h"

namespace {

// A key taken by term_key_waiting and not yet handed out; 0 when empty, 0xFF for carrier lost.
signed char g_pending_key = 0;

bool carrier_gone() {
    return !od_control.od_force_local && !od_carrier();
}

void put_token(char* buffer, int capacity, const char* token) {
    std::snprintf(buffer, static_cast<size_t>(capacity), "%s", token);
}

}  // namespace

void term_printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (length < 0) {
        va_end(again);
        return;
    }
    auto* text = static_cast<char*>(std::malloc(static_cast<size_t>(length) + 1));
    if (text == nullptr) {
        va_end(again);
        return;
    }
    std::vsnprintf(text, static_cast<size_t>(length) + 1, format, again);
    va_end(again);

    int backspaces = 0;
    for (int i = 0; i < length; ++i) backspaces += text[i] == '\b';
    if (backspaces > 0) {
        int expanded = length + 2 * backspaces;
        auto* bigger = static_cast<char*>(std::realloc(text, static_cast<size_t>(expanded) + 1));
        if (bigger == nullptr) {
            std::free(text);  // sending it unexpanded would leave characters on screen
            return;
        }
        text = bigger;
        text[expanded] = '\0';
        // From the end towards the start; the bytes before the first backspace stay in place.
        int from = length - 1;
        int to = expanded - 1;
        while (backspaces > 0) {
            if (text[from] == '\b') {
                text[to--] = '\b';
                text[to--] = ' ';
                text[to--] = '\b';
                --backspaces;
            } else {
                text[to--] = text[from];
            }
            --from;
        }
        length = expanded;
    }
    if (length >= 1) od_disp_emu(text, 1);
    std::free(text);
}

void term_puts(const char* text) {
    term_printf("%s", text);
}

void term_erase(int count) {
    if (count <= 0) return;
    auto* text = static_cast<char*>(std::malloc(static_cast<size_t>(count) + 1));
    if (text == nullptr) {
        for (int i = 0; i < count; ++i) od_disp_emu("\b \b", 1);
        return;
    }
    std::memset(text, '\b', static_cast<size_t>(count));
    text[count] = '\0';
    term_printf("%s", text);
    std::free(text);
}

void term_clear_screen() {
    od_clr_scr();
}
void term_clear_line() {
    od_clr_line();
}
void term_goto(int column, int row) {
    od_set_cursor(row + 1, column + 1);
}
void term_sleep(int seconds) {
    od_sleep(seconds * 1000);
}

int term_page_sysop() {
    od_page();
    return 1;
}

void term_echo_char(char c) {
    char text[2] = {c, '\0'};
    od_disp_emu(text, 1);
    if (c == '\b') od_disp_emu(" \b", 1);
}

int term_menu_key() {
    if (g_pending_key != 0) {
        int key = g_pending_key;
        g_pending_key = 0;
        return key;
    }
    OdInputEvent event;
    while (!od_get_input(&event, -1, 2)) {
    }
    int key = static_cast<signed char>(event.key_press);
    if (event.event_type == kEventExtendedKey) key = static_cast<int>(event.key_press) << 8;
    return key;
}

int term_get_key() {
    if (carrier_gone()) return kKeyNoCarrier;
    signed char key;
    if (g_pending_key != 0) {
        key = g_pending_key;
        g_pending_key = 0;
    } else {
        key = static_cast<signed char>(od_get_key(1));
    }
    if (carrier_gone()) return kKeyNoCarrier;
    return key;
}

int term_key_waiting() {
    if (g_pending_key != 0) return 1;
    g_pending_key = static_cast<signed char>(od_get_key(0));
    if (carrier_gone()) g_pending_key = static_cast<signed char>(0xFF);
    return g_pending_key != 0 ? 1 : 0;
}

int term_input_line(char* buffer, int capacity) {
    int position = 0;
    for (;;) {
        buffer[position] = '\0';
        int key = static_cast<signed char>(term_get_key());
        switch (key) {
            case '\r':
            case '\n':
                return key;
            case '\b':
            case 127:
                if (position > 0) {
                    buffer[position] = '\0';
                    --position;
                    od_disp_emu("\b \b", 1);
                }
                continue;
            case kKeyNoCarrier:
                put_token(buffer, capacity, kTokenNoCarrier);
                return key;
            case kKeyInactive:
                put_token(buffer, capacity, kTokenNotActive);
                return key;
            case kKeyTimeWarning:
                put_token(buffer, capacity, kTokenTimeWarning);
                return key;
            case kKeyTimeUp:
                put_token(buffer, capacity, kTokenTimeout);
                return key;
            default:
                break;
        }
        if (key <= 31) continue;                 // control characters and other negative codes
        if (position + 1 >= capacity) continue;  // full: further keys are ignored
        buffer[position++] = static_cast<char>(key);
        term_echo_char(static_cast<char>(key));
    }
}

// The kit ends od_input_str on inactivity or the caller's time with that condition byte alone in
// the buffer; it is turned into the matching token here, as term_input_line would leave it.
void term_input_string(char* buffer) {
    if (carrier_gone()) {
        put_token(buffer, 81, kTokenNoCarrier);
        return;
    }
    od_input_str(buffer, 80, 32, 255);
    if (carrier_gone()) {
        put_token(buffer, 81, kTokenNoCarrier);
        return;
    }
    if (buffer[0] != '\0' && buffer[1] == '\0') {
        switch (static_cast<unsigned char>(buffer[0])) {
            case kOdInactive:
                put_token(buffer, 81, kTokenNotActive);
                break;
            case kOdTimeWarning:
                put_token(buffer, 81, kTokenTimeWarning);
                break;
            case kOdTimeUp:
                put_token(buffer, 81, kTokenTimeout);
                break;
            default:
                break;
        }
    }
}

char* str_upper(char* text) {
    for (char* p = text; *p != '\0'; ++p) {
        *p = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
    }
    return text;
}

void term_set_force_local(bool local) {
    od_control.od_force_local = local ? 1 : 0;
}

void term_forget_pending_key() {
    g_pending_key = 0;
}

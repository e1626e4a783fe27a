// The terminal layer: formatted output with destructive backspaces, zero-based cursor placement,
// and key reads that report carrier loss, inactivity and the caller's time as codes.
#pragma once

#include <cstdint>

// Condition codes returned by the key functions.
constexpr int kKeyNoCarrier = -1;
constexpr int kKeyInactive = -2;
constexpr int kKeyTimeWarning = -3;
constexpr int kKeyTimeUp = -4;

// Extended key codes (scan code << 8).
constexpr int kKeyUp = 0x4800, kKeyDown = 0x5000, kKeyLeft = 0x4B00, kKeyRight = 0x4D00,
              kKeyHome = 0x4700, kKeyEnd = 0x4F00, kKeyPgUp = 0x4900, kKeyPgDn = 0x5100,
              kKeyInsert = 0x5200, kKeyDelete = 0x5300;

// Condition tokens left in a line buffer.
constexpr const char* kTokenNoCarrier = "~NO_CARRIER";
constexpr const char* kTokenNotActive = "~NOT_ACTIVE";
constexpr const char* kTokenTimeWarning = "~TIME_WARNING";
constexpr const char* kTokenTimeout = "~TIMEOUT";
constexpr int kTokenRoom = 14;  // bytes a line buffer needs for the longest token

void term_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
void term_erase(int count);
void term_clear_screen();
void term_clear_line();
void term_goto(int column, int row);
void term_sleep(int seconds);
int term_page_sysop();
void term_echo_char(char c);
int term_menu_key();
int term_get_key();
int term_key_waiting();
// Reads a line into buffer (capacity bytes, at least kTokenRoom); returns the ending key code.
int term_input_line(char* buffer, int capacity);
void term_input_string(char* buffer);  // buffer of at least 81 bytes
char* str_upper(char* text);

// Sends text as it is (never as a format); for texts that callers or files control.
void term_puts(const char* text);
// Sets the force-local flag of the door kit.
void term_set_force_local(bool local);
// Empties the pending key (for tests that run several sessions in one process).
void term_forget_pending_key();

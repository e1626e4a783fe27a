// Our door kit: the od_* calls and the od_control record that the game uses, over a local
// console, an inherited telnet socket or standard input and output, with drop-file reading.
#pragma once

#include <cstdint>

constexpr int kOdNameSize = 36;
constexpr int kOdPathSize = 256;

// Key bytes the kit delivers for conditions (the terminal layer maps them to -2, -3, -4).
constexpr unsigned char kOdInactive = 0xFE;
constexpr unsigned char kOdTimeWarning = 0xFD;
constexpr unsigned char kOdTimeUp = 0xFC;

// Event types of od_get_input.
constexpr int kEventCharacter = 0;
constexpr int kEventExtendedKey = 1;

// PC scan codes of the extended keys.
constexpr unsigned char kScanUp = 0x48, kScanDown = 0x50, kScanLeft = 0x4B, kScanRight = 0x4D,
                        kScanHome = 0x47, kScanEnd = 0x4F, kScanPgUp = 0x49, kScanPgDn = 0x51,
                        kScanInsert = 0x52, kScanDelete = 0x53;

struct OdControl {
    char user_name[kOdNameSize] = "";    // caller's name (alias when the drop file has one)
    int32_t user_security = 0;           // security level
    int32_t user_timelimit = 0;          // minutes left; the game may lower it
    int32_t od_force_local = 0;          // 1: never check carrier (local session)
    int32_t remote = 0;                  // non-zero for a remote caller
    int32_t od_node = 0;                 // node number
    char info_path[kOdPathSize] = "";    // drop-file path (a directory ends in "/")
    int32_t od_open_handle = -1;         // caller's socket descriptor, -1 for standard I/O
    int32_t od_use_socket = 0;           // 1 when od_open_handle is a stream socket (telnet)
    int32_t od_com_method = 0;           // 2: the caller's connection was handed to us
    int32_t od_inactivity = 200;         // seconds without a key before kOdInactive
    int32_t od_utf8_local = 0;           // local console shows CP437 as UTF-8
    int32_t od_page_start_min = 8 * 60;  // paging hours, minutes after midnight: from 08:00
    int32_t od_page_end_min = 22 * 60;   // up to 22:00 (end before start spans midnight)
    int32_t od_page_seconds = 5;         // length of the paging line, one bell a second
    char od_page_log[kOdPathSize] = "doorpage.log";  // pages are appended here for the sysop
};

extern OdControl od_control;

struct OdInputEvent {
    int event_type = kEventCharacter;  // kEventCharacter or kEventExtendedKey
    unsigned char key_press = 0;       // the character, or the scan code of an extended key
};

// Brings the kit up: reads the drop file (remote) or the login name (local), opens the
// connection, starts the clocks. On a fatal problem prints one line on stderr and exits 1.
void od_init();
// Sends text (NUL-terminated, CP437 with ANSI sequences) to the caller; buffered.
void od_disp_emu(const char* text, int remote_echo);
// Sends raw bytes (may include NUL); buffered.
void od_disp(const char* bytes, int length);
// Cursor to row and column, one-based.
void od_set_cursor(int row, int column);
void od_clr_scr();
// Clears from the cursor to the end of the line.
void od_clr_line();
// Waits up to timeout_ms (-1 for ever) for an input event; flags 2 asks for extended keys.
// Returns true when an event was delivered.
bool od_get_input(OdInputEvent* event, int timeout_ms, int flags);
// Reads one key; wait 0 returns 0 at once when none is waiting.
char od_get_key(int wait);
// Reads a line of at most max_length characters between min_char and max_char, with echo.
void od_input_str(char* buffer, int max_length, unsigned char min_char, unsigned char max_char);
// True while the caller is connected (always true in a local session).
bool od_carrier();
// Flushes output, then waits.
void od_sleep(int milliseconds);
// Pages the sysop (see doorkit.cpp for what the caller sees and where the page is recorded).
void od_page();
// Sends everything buffered.
void od_flush();
// Restores the console and closes the connection; called at every way out.
void od_exit(int exit_code) __attribute__((noreturn));

// For test builds and in-process tests.
// Pauses (od_sleep, the paging line) only flush when on.
void od_set_skip_pauses(bool skip);
// Inactivity time-out in milliseconds, overriding od_inactivity; 0 goes back to od_inactivity.
void od_set_inactivity_ms(int milliseconds);
// Runs the kit as a remote session over the given descriptors without a drop file: force-local
// off, telnet on the connection when telnet is true. Keeps the od_control user fields.
void od_attach(int input_fd, int output_fd, bool telnet);
// Sends what is buffered and lets go of the descriptors (they stay open); the kit is idle again.
void od_detach();
// Bytes and write calls sent to the caller so far.
uint64_t od_bytes_sent();
uint64_t od_writes();

// The terminal layer and the kit's key input, in process over a socketpair (DoorHarness).
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>

#include "doorkit/opendoors.h"
#include "session/terminal.h"
#include "vcaller/harness.h"

namespace {

// Destructive backspaces, nothing for empty text, puts never a format, zero-based coordinates.
TEST(Terminal, OutputBytes) {
    // clang-format off
    const std::pair<void (*)(), std::string> cases[] = {
        {[] { term_printf("ab\bc"); }, "ab\b \bc"}, {[] { term_printf("x\b\by"); }, "x\b \b\b \by"},
        {[] { term_printf("\b%d", 7); }, "\b \b7"}, {[] { term_printf("$%4d", 25); }, "$  25"},
        {[] { term_printf("%s", ""); }, ""},         {[] { term_puts("100%d"); }, "100%d"},
        {[] { term_erase(0); }, ""},                 {[] { term_erase(3); }, "\b \b\b \b\b \b"},
        {[] { term_goto(0, 0); }, "\x1b[H"},         {[] { term_goto(79, 0); }, "\x1b[1;80H"},
        {[] { term_goto(30, 14); }, "\x1b[15;31H"},  {[] { term_clear_line(); }, "\x1b[K"},
        {[] { term_clear_screen(); }, "\x1b[2J\x1b[H"}, {[] { term_echo_char('\b'); }, "\b \b"},
    };
    // clang-format on
    for (const auto& [write, bytes] : cases) {
        DoorHarness door;
        write();
        EXPECT_EQ(door.take_output(), bytes) << ::testing::PrintToString(bytes);
    }
}

// Output waits in the kit until a key is read or a pause, so a whole screen goes out at once.
TEST(Terminal, AScreenGoesOutInOneWrite) {
    DoorHarness door;
    const uint64_t writes = od_writes();
    for (int r = 0; r < 24; ++r) term_printf("\x1b[%d;1H\x1b[1;3%dmrow %d", r + 1, r % 8, r);
    door.type("k");
    EXPECT_EQ(term_get_key(), 'k');
    EXPECT_EQ(od_writes() - writes, 1u);
    term_puts("w");
    term_sleep(5);
    EXPECT_EQ(od_writes() - writes, 2u);
    door.sync();
    EXPECT_EQ(door.screen().text(23, 0, 7), "row 23w");
}

// {typed, line, ending key, echo}: CR LF is one Enter; backspace and delete at the start, control
// characters and bytes from 128 up are ignored; a full line takes no more.
TEST(Terminal, LineInputEditing) {
    // clang-format off
    const std::tuple<const char*, const char*, int, const char*> cases[] = {
        {"abc\r", "abc", 13, "abc"}, {"ab\n", "ab", 10, "ab"}, {"ab\r\nq", "ab", 13, "ab"},
        {"\b\177ab\r", "ab", 13, "ab"}, {"ab\bc\r", "ac", 13, "ab\b \bc"},
        {"ab\177\177\177z\r", "z", 13, "ab\b \b\b \bz"}, {"a\001\005\t\032b\r", "ab", 13, "ab"},
        {"\201a\351\r", "a", 13, "a"}, {"abcdefghijklmn\r", "abcdefghijklm", 13, "abcdefghijklm"}};
    // clang-format on
    for (const auto& [typed, text, result, echo] : cases) {
        DoorHarness door;
        door.type(typed);
        char buffer[kTokenRoom];
        EXPECT_EQ(term_input_line(buffer, sizeof buffer), result) << typed;
        EXPECT_STREQ(buffer, text);
        EXPECT_EQ(door.take_output(), echo);
    }
}

// Each condition ends a line input with its token, abandoning what was typed, and then a string
// input: the time warning comes once (the caller then idles), time up at every read.
TEST(Terminal, ConditionsLeaveTheirTokens) {
    // {minutes left, hang up, key, token, string input's token}
    const std::tuple<int, bool, int, const char*, const char*> cases[] = {
        {60, true, kKeyNoCarrier, kTokenNoCarrier, kTokenNoCarrier},
        {60, false, kKeyInactive, kTokenNotActive, kTokenNotActive},
        {4, false, kKeyTimeWarning, kTokenTimeWarning, kTokenNotActive},
        {0, false, kKeyTimeUp, kTokenTimeout, kTokenTimeout}};
    for (const auto& [minutes, hang_up, key, token, then] : cases) {
        SCOPED_TRACE(token);
        DoorHarness door;
        door.type("ab");
        EXPECT_EQ(term_get_key(), 'a');  // the condition comes in the middle of the line
        od_control.user_timelimit = minutes;
        if (hang_up) door.hang_up();
        char buffer[81] = "garbage";
        EXPECT_EQ(term_input_line(buffer, kTokenRoom), key);
        EXPECT_STREQ(buffer, token);
        term_input_string(buffer);
        EXPECT_STREQ(buffer, then);
    }
}

// Key sequences of each shape, split at each byte into separate reads of the kit. Up is 0x4800,
// never the keypad digit '8'; bytes from 128 up are negative. A lone Escape is a key after a wait.
TEST(Terminal, MenuKeyCodesSplitAtEveryByte) {
    // clang-format off
    const std::pair<std::string, int> cases[] = {
        {"\033[A", 0x4800}, {"\033A", kKeyUp}, {"\033[1;2B", kKeyDown}, {"\033[3~", kKeyDelete},
        {"8", 56}, {"\r", 13}, {"\351", -23}, {"\033", 27}};
    // clang-format on
    DoorHarness door;
    for (const auto& [typed, code] : cases) {
        for (size_t split = 0; split <= typed.size(); ++split) {
            door.type(typed.substr(0, split));
            EXPECT_TRUE(od_carrier());  // the kit reads the first part here
            door.type(typed.substr(split));
            EXPECT_EQ(term_menu_key(), code) << "code " << code << " split at " << split;
        }
    }
    door.type("\033");
    EXPECT_TRUE(od_carrier());
    door.type("q");
    EXPECT_EQ(term_menu_key(), 27);
    EXPECT_EQ(term_menu_key(), 'q');
}

// Typed 0xFC-0xFF never pose as conditions, with telnet (IAC IAC) or without; a telnet session
// greets first and doubles IAC in its output.
TEST(Terminal, TelnetAndTypedConditionBytes) {
    for (bool telnet : {false, true}) {
        DoorHarness door(telnet);
        door.type(telnet ? "\xFC\xFD\xFE\xFF\xFFz" : "\xFC\xFD\xFE\xFFz");
        EXPECT_EQ(term_get_key(), ' ');
        EXPECT_EQ(term_get_key(), 'z');
        term_printf("\xFF!");
        EXPECT_EQ(door.take_output(), telnet ? "\xFF\xFB\x01\xFF\xFB\x03\xFF\xFF!" : "\xFF!");
    }
}

// A key seen by term_key_waiting is the one read next; a hang-up waits like a key and is also seen
// on writing. Force-local never reports it: waits end by inactivity instead.
TEST(Terminal, PendingKeysCarrierLossAndForceLocal) {
    for (bool local : {false, true}) {
        DoorHarness door;
        term_set_force_local(local);
        EXPECT_EQ(term_key_waiting(), 0);
        door.type("xy");
        EXPECT_EQ(term_key_waiting(), 1);
        EXPECT_EQ(term_menu_key(), 'x');
        EXPECT_EQ(term_get_key(), 'y');
        door.hang_up();
        EXPECT_EQ(term_key_waiting(), local ? 0 : 1);
        term_puts("anyone there?");
        od_flush();
        EXPECT_EQ(od_carrier(), local);
        EXPECT_EQ(term_get_key(), local ? kKeyInactive : kKeyNoCarrier);
    }
    term_set_force_local(false);
}

}  // namespace

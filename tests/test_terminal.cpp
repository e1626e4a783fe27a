// The terminal layer and the kit's key input, in process over a socketpair (DoorHarness).
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>

#include "doorkit/opendoors.h"
#include "session/terminal.h"
#include "vcaller/harness.h"

namespace {

class Terminal : public ::testing::Test {
  protected:
    void TearDown() override { term_set_force_local(false); }
};

// Backspaces become destructive, empty text sends nothing, puts is never a format, coordinates
// are zero-based.
TEST_F(Terminal, OutputBytes) {
    // clang-format off
    const std::pair<void (*)(), std::string> cases[] = {
        {[] { term_printf("ab\bc"); }, "ab\b \bc"}, {[] { term_printf("x\b\by"); }, "x\b \b\b \by"},
        {[] { term_printf("\b%d", 7); }, "\b \b7"}, {[] { term_printf("$%4d", 25); }, "$  25"},
        {[] { term_printf("%s", ""); }, ""},         {[] { term_puts("100%d"); }, "100%d"},
        {[] { term_erase(0); }, ""},                 {[] { term_erase(3); }, "\b \b\b \b\b \b"},
        {[] { term_goto(0, 0); }, "\x1b[H"},         {[] { term_goto(0, 23); }, "\x1b[24H"},
        {[] { term_goto(79, 0); }, "\x1b[1;80H"},    {[] { term_goto(30, 14); }, "\x1b[15;31H"},
        {[] { term_clear_line(); }, "\x1b[K"},
        {[] { term_clear_screen(); }, "\x1b[2J\x1b[H"},
        {[] { term_echo_char('\b'); }, "\b \b"},     {[] { term_echo_char('z'); }, "z"},
    };
    // clang-format on
    for (const auto& c : cases) {
        DoorHarness door;
        c.first();
        EXPECT_EQ(door.take_output(), c.second) << "case " << &c - cases;
    }
}

// Output waits in the kit until a key is read or a pause, so a whole screen goes out at once.
TEST_F(Terminal, AScreenGoesOutInOneWrite) {
    DoorHarness door;
    uint64_t writes = od_writes();
    term_clear_screen();
    for (int r = 0; r < 24; ++r) {
        term_goto(0, r);
        term_printf("\x1b[1;3%dmrow %d", r % 8, r);
    }
    door.type("k");
    EXPECT_EQ(term_get_key(), 'k');
    EXPECT_EQ(od_writes() - writes, 1u);
    term_puts("w");
    term_sleep(5);
    EXPECT_EQ(od_writes() - writes, 2u);
    door.sync();
    EXPECT_EQ(door.screen().text(23, 0, 7), "row 23w");
}

TEST_F(Terminal, LineInputEditing) {
    // {typed, line, ending key, echo}
    // clang-format off
    const std::tuple<const char*, const char*, int, const char*> cases[] = {
        {"abc\r", "abc", 13, "abc"},           {"ab\n", "ab", 10, "ab"},
        {"ab\r\nq", "ab", 13, "ab"},           // CR LF is one Enter
        {"\b\177ab\r", "ab", 13, "ab"},       // backspace and delete at the start ignored
        {"ab\bc\r", "ac", 13, "ab\b \bc"},     {"ab\177\177\177z\r", "z", 13, "ab\b \b\b \bz"},
        {"a\001\005\t\032b\r", "ab", 13, "ab"},  // control characters ignored
        {"\201a\351\r", "a", 13, "a"},         // bytes from 128 up ignored
        {"abcdefghijklmnopqrstuvwxyz\r", "abcdefghijklmno", 13, "abcdefghijklmno"},  // full
    };
    // clang-format on
    for (const auto& [typed, text, result, echo] : cases) {
        DoorHarness door;
        door.type(typed);
        char buffer[16];
        EXPECT_EQ(term_input_line(buffer, sizeof buffer), result) << typed;
        EXPECT_STREQ(buffer, text);
        EXPECT_EQ(door.take_output(), echo);
    }
    DoorHarness door;
    door.type("Hello there\r");
    char line[81];
    term_input_string(line);
    EXPECT_STREQ(line, "Hello there");
    EXPECT_EQ(door.take_output(), "Hello there\r\n");
}

// Each condition ends a line or string input with its token, abandoning what was typed.
TEST_F(Terminal, ConditionsLeaveTheirTokens) {
    const std::tuple<void (*)(DoorHarness&), int, const char*> cases[] = {
        {[](DoorHarness& d) { d.hang_up(); }, kKeyNoCarrier, kTokenNoCarrier},
        {[](DoorHarness&) {}, kKeyInactive, kTokenNotActive},
        {[](DoorHarness&) { od_control.user_timelimit = 4; }, kKeyTimeWarning, kTokenTimeWarning},
        {[](DoorHarness&) { od_control.user_timelimit = 0; }, kKeyTimeUp, kTokenTimeout},
    };
    for (const auto& [cause, key, token] : cases) {
        SCOPED_TRACE(token);
        {
            DoorHarness door;
            door.type("ab");
            EXPECT_EQ(term_get_key(), 'a');  // the condition comes in the middle of the line
            cause(door);
            char buffer[kTokenRoom] = "garbage";
            EXPECT_EQ(term_input_line(buffer, sizeof buffer), key);
            EXPECT_STREQ(buffer, token);
        }
        DoorHarness door;
        cause(door);
        char line[81];
        term_input_string(line);
        EXPECT_STREQ(line, token);
    }
}

TEST_F(Terminal, TimeWarningComesOnceAndTimeUpAtEveryRead) {
    DoorHarness door;
    od_control.user_timelimit = 4;
    door.type("xy");
    EXPECT_EQ(term_get_key(), kKeyTimeWarning);
    EXPECT_EQ(term_get_key(), 'x');
    od_control.user_timelimit = 0;  // the game may lower the time
    EXPECT_EQ(term_get_key(), kKeyTimeUp);
    EXPECT_EQ(term_menu_key(), kKeyTimeUp);
}

// Key sequences of each shape, also split at each byte into separate reads of the kit. Up is
// 0x4800, never the keypad digit '8'; bytes from 128 up are negative.
TEST_F(Terminal, MenuKeyCodesSplitAtEveryByte) {
    // clang-format off
    const std::pair<std::string, int> cases[] = {
        {"\033[A", kKeyUp},  {"\033OA", kKeyUp},    {"\033A", kKeyUp},      {"\033[1;2B", kKeyDown},
        {"\033[F", kKeyEnd}, {"\033[5~", kKeyPgUp}, {"\033[3~", kKeyDelete}, {"8", 56},
        {"\r", 13},            {"\351", -23},         {"\200", -128},
    };
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
    EXPECT_EQ(kKeyUp, 0x4800);
    door.type("\033");  // a lone Escape is a key after a short wait
    EXPECT_EQ(term_menu_key(), 27);
    door.type("\033");
    EXPECT_TRUE(od_carrier());
    door.type("q");
    EXPECT_EQ(term_menu_key(), 27);
    EXPECT_EQ(term_menu_key(), 'q');
}

// Typed 0xFC-0xFF never pose as conditions, with telnet (IAC IAC) or without; a telnet session
// greets first and doubles IAC in its output.
TEST_F(Terminal, TelnetAndTypedConditionBytes) {
    for (bool telnet : {false, true}) {
        DoorHarness door(telnet);
        door.type(telnet ? "\xFC\xFD\xFE\xFF\xFFz" : "\xFC\xFD\xFE\xFFz");
        EXPECT_EQ(term_get_key(), ' ');
        EXPECT_EQ(term_get_key(), 'z');
        term_printf("\xFF!");
        EXPECT_EQ(door.take_output(), telnet ? "\xFF\xFB\x01\xFF\xFB\x03\xFF\xFF!" : "\xFF!");
    }
}

TEST_F(Terminal, PendingKeyIsReturnedFirst) {
    DoorHarness door;
    EXPECT_EQ(term_key_waiting(), 0);
    door.type("x");
    EXPECT_EQ(term_key_waiting(), 1);
    door.type("y");
    EXPECT_EQ(term_key_waiting(), 1);  // still x
    EXPECT_EQ(term_menu_key(), 'x');
    door.type("z");
    EXPECT_EQ(term_key_waiting(), 1);
    EXPECT_EQ(term_get_key(), 'y');
    EXPECT_EQ(term_get_key(), 'z');
    door.hang_up();
    EXPECT_EQ(term_key_waiting(), 1);
    EXPECT_EQ(term_menu_key(), kKeyNoCarrier);
}

TEST_F(Terminal, CarrierLossOnWritingAndForceLocal) {
    {
        DoorHarness door;
        door.hang_up();
        term_puts("anyone there?");
        od_flush();
        EXPECT_FALSE(od_carrier());
        EXPECT_EQ(term_get_key(), kKeyNoCarrier);
    }
    DoorHarness door;  // force-local never reports carrier loss: waits end by inactivity instead
    term_set_force_local(true);
    door.type("k");
    door.hang_up();
    EXPECT_EQ(term_key_waiting(), 1);
    EXPECT_EQ(term_get_key(), 'k');
    EXPECT_EQ(term_key_waiting(), 0);
    EXPECT_TRUE(od_carrier());
    EXPECT_EQ(term_get_key(), kKeyInactive);
    char buffer[kTokenRoom];
    EXPECT_EQ(term_input_line(buffer, sizeof buffer), kKeyInactive);
}

}  // namespace

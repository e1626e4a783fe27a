// The terminal layer and the kit's key input, in process over a socketpair (DoorHarness).
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <string>

#include "doorkit/opendoors.h"
#include "session/terminal.h"
#include "vcaller/caller.h"
#include "vcaller/harness.h"

namespace {

class Terminal : public ::testing::Test {
  protected:
    void TearDown() override { term_set_force_local(false); }
};

struct OutputCase {
    const char* what;
    std::function<void()> call;
    std::string bytes;
};

TEST_F(Terminal, OutputBytes) {
    const OutputCase cases[] = {
        {"backspace expands", [] { term_printf("ab\bc"); }, "ab\b \bc"},
        {"two backspaces", [] { term_printf("x\b\by"); }, "x\b \b\b \by"},
        {"leading backspace", [] { term_printf("\b%d", 7); }, "\b \b7"},
        {"formatting", [] { term_printf("$%4d.00", 25); }, "$  25.00"},
        {"empty text", [] { term_printf("%s", ""); }, ""},
        {"puts is no format", [] { term_puts("100%d"); }, "100%d"},
        {"erase 0", [] { term_erase(0); }, ""},
        {"erase 3", [] { term_erase(3); }, "\b \b\b \b\b \b"},
        {"goto 0,23", [] { term_goto(0, 23); }, "\x1b[24H"},
        {"goto 0,0", [] { term_goto(0, 0); }, "\x1b[H"},
        {"goto 79,0", [] { term_goto(79, 0); }, "\x1b[1;80H"},
        {"goto 30,14", [] { term_goto(30, 14); }, "\x1b[15;31H"},
        {"clear line", [] { term_clear_line(); }, "\x1b[K"},
        {"clear screen", [] { term_clear_screen(); }, "\x1b[2J\x1b[H"},
        {"echo backspace", [] { term_echo_char('\b'); }, "\b \b"},
        {"echo letter", [] { term_echo_char('z'); }, "z"},
        {"sleep sends what is buffered",
         [] {
             term_puts("w");
             term_sleep(5);
         },
         "w"},
    };
    for (const auto& c : cases) {
        DoorHarness door;
        c.call();
        EXPECT_EQ(door.take_output(), c.bytes) << c.what;
    }
}

TEST_F(Terminal, GotoPlacesTheCursorZeroBased) {
    const int places[][2] = {{0, 23}, {79, 0}, {30, 14}, {0, 0}};
    DoorHarness door;
    for (const auto& p : places) {
        term_goto(p[0], p[1]);
        door.sync();
        EXPECT_EQ(door.screen().cursor_col(), p[0]);
        EXPECT_EQ(door.screen().cursor_row(), p[1]);
    }
}

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
    door.sync();
    EXPECT_EQ(door.screen().text(23, 0, 6), "row 23");
    EXPECT_EQ(door.screen().fg(23, 0), 7);
}

struct LineCase {
    const char* what;
    std::string typed;
    std::string text;
    int result;
    std::string echo;
};

TEST_F(Terminal, LineInputEditing) {
    const LineCase cases[] = {
        {"plain", "abc\r", "abc", 13, "abc"},
        {"line feed ends", "ab\n", "ab", 10, "ab"},
        {"CR LF is one Enter", "ab\r\nq", "ab", 13, "ab"},
        {"backspace at start ignored",
         "\b\x7f"
         "ab\r",
         "ab", 13, "ab"},
        {"backspace", "ab\bc\r", "ac", 13, "ab\b \bc"},
        {"delete is backspace", "ab\x7f\x7f\x7fz\r", "z", 13, "ab\b \b\b \bz"},
        {"control characters ignored",
         "a\x01\x05\t\x1a"
         "b\r",
         "ab", 13, "ab"},
        {"bytes from 128 up ignored",
         "\x81"
         "a\xE9\r",
         "a", 13, "a"},
        {"full buffer ignores keys", "abcdefghijklmnopqrstuvwxyz\r", "abcdefghijklmno", 13,
         "abcdefghijklmno"},
    };
    for (const auto& c : cases) {
        DoorHarness door;
        door.type(c.typed);
        char buffer[16];
        EXPECT_EQ(term_input_line(buffer, sizeof buffer), c.result) << c.what;
        EXPECT_STREQ(buffer, c.text.c_str()) << c.what;
        EXPECT_EQ(door.take_output(), c.echo) << c.what;
    }
}

struct ConditionCase {
    const char* what;
    std::function<void(DoorHarness&)> cause;
    int key;
    const char* token;
};

// Each condition during a line input abandons the typed text and leaves its token.
TEST_F(Terminal, ConditionsInLineInputAndKeys) {
    const ConditionCase cases[] = {
        {"carrier lost", [](DoorHarness& d) { d.hang_up(); }, kKeyNoCarrier, kTokenNoCarrier},
        {"inactivity", [](DoorHarness&) {}, kKeyInactive, kTokenNotActive},
        {"under five minutes", [](DoorHarness&) { od_control.user_timelimit = 4; }, kKeyTimeWarning,
         kTokenTimeWarning},
        {"time used up", [](DoorHarness&) { od_control.user_timelimit = 0; }, kKeyTimeUp,
         kTokenTimeout},
    };
    for (const auto& c : cases) {
        DoorHarness door;
        door.type("ab");
        char buffer[kTokenRoom];
        std::strcpy(buffer, "garbage");
        // Read the typed keys first so the condition comes in the middle of the line.
        EXPECT_EQ(term_get_key(), 'a');
        c.cause(door);
        EXPECT_EQ(term_input_line(buffer, sizeof buffer), c.key) << c.what;
        EXPECT_STREQ(buffer, c.token) << c.what;

        DoorHarness keys;
        c.cause(keys);
        EXPECT_EQ(term_menu_key(), c.key) << c.what;
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

TEST_F(Terminal, InputStringReportsConditionsAsTokens) {
    {
        DoorHarness door;
        door.type("Hello there\r");
        char buffer[81];
        term_input_string(buffer);
        EXPECT_STREQ(buffer, "Hello there");
        EXPECT_EQ(door.take_output(), "Hello there\r\n");
    }
    const ConditionCase cases[] = {
        {"carrier lost", [](DoorHarness& d) { d.hang_up(); }, 0, kTokenNoCarrier},
        {"inactivity", [](DoorHarness&) {}, 0, kTokenNotActive},
        {"under five minutes", [](DoorHarness&) { od_control.user_timelimit = 4; }, 0,
         kTokenTimeWarning},
        {"time used up", [](DoorHarness&) { od_control.user_timelimit = 0; }, 0, kTokenTimeout},
    };
    for (const auto& c : cases) {
        DoorHarness door;
        c.cause(door);
        char buffer[81];
        term_input_string(buffer);
        EXPECT_STREQ(buffer, c.token) << c.what;
    }
}

struct KeyCodeCase {
    std::string typed;
    int code;
};

// Every key sequence, also when split at each byte into separate reads of the kit.
TEST_F(Terminal, MenuKeyCodesSplitAtEveryByte) {
    const KeyCodeCase cases[] = {
        {"\x1b[A", kKeyUp},
        {"\x1bOA", kKeyUp},
        {"\x1b"
         "A",
         kKeyUp},
        {"\x1b[B", kKeyDown},
        {"\x1bOB", kKeyDown},
        {"\x1b[D", kKeyLeft},
        {"\x1b[C", kKeyRight},
        {"\x1b[H", kKeyHome},
        {"\x1b[1~", kKeyHome},
        {"\x1b[F", kKeyEnd},
        {"\x1b[4~", kKeyEnd},
        {"\x1b[5~", kKeyPgUp},
        {"\x1b[6~", kKeyPgDn},
        {"\x1b[2~", kKeyInsert},
        {"\x1b[3~", kKeyDelete},
        {"\x1b[1;2B", kKeyDown},
        {"8", 56},
        {"\r", 13},
        {"\xE9", -23},
        {"\x80", -128},
    };
    DoorHarness door;
    for (const auto& c : cases) {
        for (size_t split = 0; split <= c.typed.size(); ++split) {
            door.type(c.typed.substr(0, split));
            EXPECT_TRUE(od_carrier());  // the kit reads the first part here
            door.type(c.typed.substr(split));
            EXPECT_EQ(term_menu_key(), c.code) << "split at " << split;
        }
    }
    EXPECT_EQ(kKeyUp, 18432);
}

TEST_F(Terminal, LoneEscapeIsAKeyAfterAShortWait) {
    DoorHarness door;
    door.type("\x1b");
    EXPECT_EQ(term_menu_key(), 27);
    door.type("\x1b");
    EXPECT_TRUE(od_carrier());
    door.type("q");
    EXPECT_EQ(term_menu_key(), 27);
    EXPECT_EQ(term_menu_key(), 'q');
}

// Typed 0xFC-0xFF never pose as conditions, with telnet (IAC IAC) or without.
TEST_F(Terminal, TypedConditionBytesAreHarmless) {
    for (bool telnet : {false, true}) {
        DoorHarness door(telnet);
        door.type(telnet ? "\xFC\xFD\xFE\xFF\xFFz" : "\xFC\xFD\xFE\xFFz");
        EXPECT_EQ(term_get_key(), ' ');
        EXPECT_EQ(term_get_key(), 'z');
    }
}

TEST_F(Terminal, TelnetSessionNegotiatesAndDoublesIac) {
    DoorHarness door(true);
    term_printf("\xFF!");
    EXPECT_EQ(door.take_output(), "\xFF\xFB\x01\xFF\xFB\x03\xFF\xFF!");
    const char noise[] =
        "\xFF\xFD\x01\xFF\xFA\x1f\x00\x50\x00\x18\xFF\xF0\xFF\xF1"
        "a\r";
    door.type(std::string_view(noise, sizeof noise - 1));
    door.type(std::string("b\r\0c", 4));
    EXPECT_EQ(term_get_key(), 'a');
    EXPECT_EQ(term_get_key(), '\r');
    EXPECT_EQ(term_get_key(), 'b');
    EXPECT_EQ(term_get_key(), '\r');
    EXPECT_EQ(term_get_key(), 'c');
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

TEST_F(Terminal, ForceLocalNeverReportsCarrierLoss) {
    DoorHarness door;
    term_set_force_local(true);
    door.type("k");
    door.hang_up();
    EXPECT_EQ(term_key_waiting(), 1);
    EXPECT_EQ(term_get_key(), 'k');
    EXPECT_EQ(term_key_waiting(), 0);
    EXPECT_TRUE(od_carrier());
    EXPECT_EQ(term_get_key(), kKeyInactive);  // the wait ends by inactivity instead
    char buffer[kTokenRoom];
    EXPECT_EQ(term_input_line(buffer, sizeof buffer), kKeyInactive);
}

TEST_F(Terminal, WriteToAGoneCallerIsCarrierLoss) {
    DoorHarness door;
    door.hang_up();
    term_puts("anyone there?");
    od_flush();
    EXPECT_FALSE(od_carrier());
    EXPECT_EQ(term_get_key(), kKeyNoCarrier);
}

// Paging inside and outside the paging hours; the window is set around the present minute.
TEST_F(Terminal, PageRecordsOrRefuses) {
    std::string dir = make_temp_dir("page");
    std::string log = dir + "/doorpage.log";
    std::snprintf(od_control.od_page_log, sizeof od_control.od_page_log, "%s", log.c_str());
    time_t now = std::time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    int minute = local.tm_hour * 60 + local.tm_min;
    od_control.od_node = 3;
    {
        DoorHarness door;
        od_control.od_page_start_min = (minute + 120) % 1440;
        od_control.od_page_end_min = (minute + 180) % 1440;
        EXPECT_EQ(term_page_sysop(), 1);
        door.sync();
        EXPECT_TRUE(door.screen().contains("Sorry, the sysop can only be paged from"))
            << door.screen().dump();
        EXPECT_FALSE(std::ifstream(log).good());
    }
    {
        DoorHarness door;
        od_control.od_page_start_min = (minute + 1380) % 1440;  // an hour ago
        od_control.od_page_end_min = (minute + 60) % 1440;
        term_page_sysop();
        std::string out = door.take_output();
        EXPECT_EQ(std::count(out.begin(), out.end(), '\a'), od_control.od_page_seconds);
        EXPECT_TRUE(door.screen().contains("No response.")) << door.screen().dump();
        std::ifstream in(log);
        std::string line;
        ASSERT_TRUE(std::getline(in, line));
        EXPECT_NE(line.find("node 3: Test Caller paged the sysop"), std::string::npos) << line;
    }
    od_control.od_page_start_min = 8 * 60;
    od_control.od_page_end_min = 22 * 60;
    std::snprintf(od_control.od_page_log, sizeof od_control.od_page_log, "doorpage.log");
    remove_tree(dir);
}

}  // namespace

// The door kit in a real door process (tests/doors/term_door), started by the virtual caller as a
// BBS would start it: drop files, telnet socket, standard I/O, local console, hang-ups, signals.
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>

#include "vcaller/caller.h"

namespace {

class DoorProcess : public ::testing::Test {
  protected:
    void SetUp() override { dir_ = make_temp_dir("door"); }
    void TearDown() override { remove_tree(dir_); }
    CallerOptions options(Link link = Link::kSocket) {
        CallerOptions o;
        o.door = BULLMOOR_BINARY_DIR "/tests/term_door";
        o.work_dir = dir_;
        o.link = link;
        return o;
    }
    std::string dir_;
};

// Every drop-file format with either line end and either letter case of its name.
TEST_F(DoorProcess, StartsFromEachDropFile) {
    const std::tuple<DropKind, bool, bool> cases[] = {
        {DropKind::kDoor32, true, false},  {DropKind::kDoor32, false, true},
        {DropKind::kDoorSys, true, true},  {DropKind::kDoorSys, false, false},
        {DropKind::kDorinfo, true, false}, {DropKind::kDorinfo, false, true},
    };
    for (const auto& [drop, crlf, lower_case] : cases) {
        auto o = options();
        std::tie(o.drop, o.crlf, o.lower_case_name) = std::tie(drop, crlf, lower_case);
        std::tie(o.node, o.user_name, o.security, o.minutes) =
            std::make_tuple(2, "Ann Lee", 20, 45);
        VirtualCaller caller(o);
        ASSERT_TRUE(caller.start());
        EXPECT_TRUE(caller.shows("TERM DOOR node 2 user Ann Lee sec 20 min 45 remote 1", 0, 0));
        caller.type("q");
        EXPECT_EQ(caller.wait_exit(), 0);
        EXPECT_EQ(caller.telnet_commands(), 2);  // WILL ECHO, WILL SUPPRESS-GO-AHEAD
        remove_tree(caller.drop_dir());          // the next name may differ in letter case only
    }
}

// Client answers and subnegotiations between keys and escape sequences split over reads; the
// set date reaches the page log.
TEST_F(DoorProcess, SurvivesTelnetNoiseAndSplitSequences) {
    auto o = options();
    o.faketime = "2024-02-29 12:00:00";
    VirtualCaller caller(o);
    ASSERT_TRUE(caller.start());
    ASSERT_TRUE(caller.shows("TERM DOOR", 0, 0));
    const char noise[] = "\xFF\xFD\x01\xFF\xFD\x03\xFF\xFB\x18\xFF\xFA\x18\x00xterm\xFF\xF0";
    caller.type_split(std::string_view(noise, sizeof noise - 1), 3);
    caller.type_split("\x1b[5~", 1);
    EXPECT_TRUE(caller.shows("KEY 18688", 2, 0));  // PgUp
    caller.type_split("\x1bOB", 2);
    EXPECT_TRUE(caller.shows("KEY 20480", 2, 0));  // Down
    caller.type("l");
    ASSERT_TRUE(caller.shows("Line: ", 5, 0));
    caller.type_split("ab\xFF\361c\xFF\xFF\r", 1);  // NOP inside, typed 0xFF as a space
    EXPECT_TRUE(caller.shows("LINE [abc ] END 13", 6, 0));
    caller.type(std::string("8\r\0w", 4));  // CR NUL is one Enter: next key is w
    EXPECT_TRUE(caller.shows("WAITING 0", 9, 0));
    caller.type("c");
    EXPECT_TRUE(caller.shows("ÇüéâäàåçêëèïîìÄÅ", 12, 0));
    EXPECT_TRUE(caller.shows("√ⁿ²■", 13, 59));  // 0xFF went out as IAC IAC
    caller.type("p");
    EXPECT_TRUE(caller.shows("PAGED", 22, 0));
    EXPECT_TRUE(caller.shows("No response."));
    caller.type("q");
    EXPECT_EQ(caller.wait_exit(), 0);
    std::ifstream log(dir_ + "/doorpage.log");
    std::string line;
    EXPECT_TRUE(std::getline(log, line));
    EXPECT_EQ(line, "2024-02-29 12:00:00 node 1: Test Caller paged the sysop");
}

// The door sees carrier loss (and ends with 10 - (-1)) whenever the caller hangs up.
TEST_F(DoorProcess, HangUpAtAnyRead) {
    const std::tuple<const char*, std::string, Link> moments[] = {
        {"before any key", "", Link::kSocket},
        {"in a line input", "lab", Link::kSocket},
        {"inside an escape sequence", "\x1b[", Link::kSocket},
        {"inside a telnet command", "\xFF\xFA\x18", Link::kSocket},
        {"in a string input", "sxy", Link::kSocket},
        {"in a line input, pipes", "lab", Link::kStdPipes},
        {"in a line input, pseudo-terminal", "lab", Link::kStdPty},
    };
    for (const auto& [what, typed, link] : moments) {
        SCOPED_TRACE(what);
        VirtualCaller caller(options(link));
        ASSERT_TRUE(caller.start());
        ASSERT_TRUE(caller.shows("TERM DOOR", 0, 0));
        caller.type_split(typed, 1);
        caller.hang_up();
        EXPECT_EQ(caller.wait_exit(), 11);
    }
}

// Arguments that cannot start a session: exit 1 with one line on standard error, nothing sent.
TEST_F(DoorProcess, StartFailuresExitOneWithAReason) {
    const std::string node = dir_ + "/node1", empty = dir_ + "/empty";
    std::filesystem::create_directory(empty);
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"1", "/nonexistent/door32.sys", ""}, "drop file"},
        {{"1", empty, ""}, "door32.sys"},
        {{"1", node, "77"}, "descriptor"},  // not open
        {{"1", node, "4x"}, "descriptor"},
        {{"1", node, "-3"}, "descriptor"},
    };
    for (const auto& [args, reason] : cases) {
        SCOPED_TRACE(args[1] + " " + args[2]);
        auto o = options();
        o.use_args = true;
        o.args = args;
        VirtualCaller caller(o);
        ASSERT_TRUE(caller.start());  // writes node1/DOOR32.SYS
        EXPECT_EQ(caller.wait_exit(), 1);
        std::string err = caller.stderr_text();
        EXPECT_NE(err.find(reason), std::string::npos) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_EQ(caller.bytes_received(), 0u);
    }
}

// Time used up ends at the first key (10 - (-4)), inactivity after its time-out (10 - (-2)).
TEST_F(DoorProcess, ConditionsEndTheDoor) {
    const std::tuple<int, const char*, const char*, int> cases[] = {{0, "200", "x", 14},
                                                                    {60, "1", "", 12}};
    for (const auto& [minutes, inactivity, typed, exit_code] : cases) {
        auto o = options();
        o.minutes = minutes;
        o.env.push_back({"TERM_DOOR_INACTIVITY", inactivity});
        VirtualCaller caller(o);
        ASSERT_TRUE(caller.start());
        caller.type(typed);
        EXPECT_EQ(caller.wait_exit(), exit_code);
    }
}

// The local console is raw while the door runs and restored on every way out, fatal signals
// included; CP437 goes out as UTF-8 only in a UTF-8 locale.
TEST_F(DoorProcess, LocalConsoleIsRestoredOnEveryWayOut) {
    const char* login = getpwuid(getuid())->pw_name;
    const std::tuple<int, int, const char*, std::string> cases[] = {
        {0, 0, "C.UTF-8", "\xE2\x95\x90"},  // quit with q; 0xCD as UTF-8
        {SIGTERM, 128 + SIGTERM, "C", "\xCD"},
        {SIGSEGV, 128 + SIGSEGV, "C", "\xCD"},
    };
    for (const auto& [sig, exit_code, locale, box] : cases) {
        SCOPED_TRACE(sig);
        auto o = options(Link::kLocal);
        o.env.push_back({"LC_ALL", locale});
        VirtualCaller caller(o);
        ASSERT_TRUE(caller.start());
        termios before{}, raw{}, after{};
        ASSERT_EQ(tcgetattr(caller.pty_slave(), &before), 0);
        ASSERT_TRUE(caller.shows(std::string("user ") + login + " sec 255 min 1440 remote 0"));
        caller.type("cw");  // the glyph rows, then a row that shows they have gone out
        ASSERT_TRUE(caller.shows("WAITING 0", 9, 0));
        EXPECT_NE(caller.raw_output().find(box), std::string::npos) << locale;
        tcgetattr(caller.pty_slave(), &raw);
        EXPECT_FALSE(raw.c_lflag & (ICANON | ECHO));
        if (sig != 0)
            kill(caller.pid(), sig);
        else
            caller.type("q");
        EXPECT_EQ(caller.wait_exit(), exit_code);
        ASSERT_EQ(tcgetattr(caller.pty_slave(), &after), 0);
        EXPECT_EQ(std::tie(before.c_iflag, before.c_oflag, before.c_lflag, before.c_cflag),
                  std::tie(after.c_iflag, after.c_oflag, after.c_lflag, after.c_cflag));
    }
}

}  // namespace

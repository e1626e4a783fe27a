// The door kit in a real door process (tests/doors/term_door), started by the virtual caller as a
// BBS would start it: drop files, telnet socket, standard I/O, local console, hang-ups, signals.
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <tuple>

#include "vcaller/caller.h"

namespace {

class DoorProcess : public ::testing::Test {
  protected:
    void TearDown() override { remove_tree(dir_); }
    CallerOptions options(Link link = Link::kSocket, std::vector<std::string> args = {}) {
        CallerOptions o;
        std::tie(o.door, o.work_dir, o.link, o.use_args, o.args) = std::make_tuple(
            BULLMOOR_BINARY_DIR "/tests/term_door", dir_, link, !args.empty(), args);
        return o;
    }
    std::string dir_ = make_temp_dir("door");
};

// Starts from a lower-case DORINFO1.DEF with LF ends (the other formats start the game in the BBS
// recipes); telnet noise and typed 0xFF between keys and inputs; the set date in the page log.
TEST_F(DoorProcess, StartsFromDorinfoAndSurvivesTelnetNoise) {
    auto o = options();
    std::tie(o.drop, o.crlf, o.lower_case_name) = std::make_tuple(DropKind::kDorinfo, false, true);
    o.faketime = "2024-02-29 12:00:00";
    VirtualCaller caller(o);
    ASSERT_TRUE(caller.start());
    ASSERT_TRUE(caller.shows("TERM DOOR node 1 user Test Caller sec 10 min 60 remote 1", 0, 0));
    const std::string noise("\xFF\xFD\x01\xFF\xFB\x18\xFF\xFA\x18\x00xterm\xFF\xF0", 17);
    caller.type_split(noise, 3);  // client answers and a subnegotiation, split over reads
    caller.type("l");             // a line input
    caller.type_split("ab\xFF\361c\xFF\xFF\r", 1);  // NOP inside, typed 0xFF as a space
    EXPECT_TRUE(caller.shows("LINE [abc ] END 13", 6, 0));
    caller.type(std::string("8\r\0w", 4));  // CR NUL is one Enter: next key is w
    EXPECT_TRUE(caller.shows("WAITING 0", 9, 0));
    caller.type("p");
    EXPECT_TRUE(caller.shows("PAGED", 22, 0));
    caller.type("q");
    EXPECT_EQ(caller.wait_exit(), 0);
    EXPECT_EQ(caller.telnet_commands(), 2);  // WILL ECHO, WILL SUPPRESS-GO-AHEAD
    std::string line;
    std::getline(std::ifstream(dir_ + "/doorpage.log"), line);
    EXPECT_EQ(line, "2024-02-29 12:00:00 node 1: Test Caller paged the sysop");
}

// The door ends with 10 minus the condition: carrier loss at any read, time used up, inactivity.
TEST_F(DoorProcess, ConditionsEndTheDoor) {
    const struct {
        const char* what;
        std::string typed;
        Link link = Link::kSocket;
        int exit_code = 11, minutes = 60;  // 11: the caller hangs up after typing
    } cases[] = {
        // clang-format off
        {"before any key", ""}, {"in a line input", "lab"}, {"inside an escape sequence", "\x1b["},
        {"inside a telnet command", "\xFF\xFA\x18"}, {"in a string input", "sxy"},
        {"line input, pipes", "lab", Link::kStdPipes}, {"line input, pty", "lab", Link::kStdPty},
        {"time used up", "x", Link::kSocket, 14, 0}, {"inactive", "", Link::kSocket, 12},
        // clang-format on
    };
    for (const auto& c : cases) {
        auto o = options(c.link);
        o.minutes = c.minutes;
        o.env.push_back({"TERM_DOOR_INACTIVITY", c.exit_code == 12 ? "1" : "200"});
        VirtualCaller caller(o);
        ASSERT_TRUE(caller.start());
        ASSERT_TRUE(caller.shows("TERM DOOR", 0, 0));
        caller.type_split(c.typed, 1);
        if (c.exit_code == 11) caller.hang_up();
        EXPECT_EQ(caller.wait_exit(), c.exit_code) << c.what;
    }
}

// Arguments that cannot start a session: exit 1 with one line on standard error, nothing sent.
TEST_F(DoorProcess, StartFailuresExitOneWithAReason) {
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"1", "/nonexistent/door32.sys", ""}, "drop file"},
        {{"1", dir_, ""}, "door32.sys"},               // no drop file in it
        {{"1", dir_ + "/node1", "77"}, "descriptor"},  // not open
        {{"1", dir_ + "/node1", "4x"}, "descriptor"},
        {{"1", dir_ + "/node1", "-3"}, "descriptor"},
    };
    for (const auto& [args, reason] : cases) {
        VirtualCaller caller(options(Link::kSocket, args));
        ASSERT_TRUE(caller.start());  // writes node1/DOOR32.SYS
        EXPECT_EQ(caller.wait_exit(), 1) << args[1] << " " << args[2];
        const std::string err = caller.stderr_text();
        EXPECT_NE(err.find(reason), std::string::npos) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_EQ(caller.bytes_received(), 0u);
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
        sig != 0 ? (void)kill(caller.pid(), sig) : caller.type("q");
        EXPECT_EQ(caller.wait_exit(), exit_code) << "signal " << sig;
        ASSERT_EQ(tcgetattr(caller.pty_slave(), &after), 0);
        EXPECT_EQ(std::tie(before.c_iflag, before.c_oflag, before.c_lflag, before.c_cflag),
                  std::tie(after.c_iflag, after.c_oflag, after.c_lflag, after.c_cflag));
    }
}

}  // namespace

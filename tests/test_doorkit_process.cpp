// The door kit in a real door process (tests/doors/term_door), started by the virtual caller as a
// BBS would start it: drop files, telnet socket, standard I/O, local console, hang-ups, signals.
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "vcaller/caller.h"

namespace {

constexpr const char* kDoor = BULLMOOR_BINARY_DIR "/tests/term_door";

class DoorProcess : public ::testing::Test {
  protected:
    void SetUp() override { dir_ = make_temp_dir("door"); }
    void TearDown() override { remove_tree(dir_); }
    CallerOptions options(Link link = Link::kSocket) {
        CallerOptions o;
        o.door = kDoor;
        o.work_dir = dir_;
        o.link = link;
        return o;
    }
    std::string dir_;
};

struct DropCase {
    DropKind drop;
    bool crlf;
    bool lower_case;
    const char* header;
};

TEST_F(DoorProcess, StartsFromEachDropFile) {
    const DropCase cases[] = {
        {DropKind::kDoor32, true, false, "TERM DOOR node 2 user Ann Lee sec 20 min 45 remote 1"},
        {DropKind::kDoor32, false, true, "TERM DOOR node 2 user Ann Lee sec 20 min 45 remote 1"},
        {DropKind::kDoorSys, true, true, "TERM DOOR node 2 user Ann Lee sec 20 min 45 remote 1"},
        {DropKind::kDoorSys, false, false, "TERM DOOR node 2 user Ann Lee sec 20 min 45 remote 1"},
        {DropKind::kDorinfo, true, false, "TERM DOOR node 2 user Ann Lee sec 20 min 45 remote 1"},
        {DropKind::kDorinfo, false, true, "TERM DOOR node 2 user Ann Lee sec 20 min 45 remote 1"},
    };
    for (const auto& c : cases) {
        auto o = options();
        o.drop = c.drop;
        o.crlf = c.crlf;
        o.lower_case_name = c.lower_case;
        o.node = 2;
        o.user_name = "Ann Lee";
        o.security = 20;
        o.minutes = 45;
        VirtualCaller caller(o);
        ASSERT_TRUE(caller.start());
        EXPECT_TRUE(caller.shows(c.header, 0, 0));
        caller.type("q");
        EXPECT_EQ(caller.wait_exit(), 0);
        EXPECT_EQ(caller.telnet_commands(), 2);  // WILL ECHO, WILL SUPPRESS-GO-AHEAD
        remove_tree(caller.drop_dir());
    }
}

TEST_F(DoorProcess, SurvivesTelnetNoiseAndSplitSequences) {
    VirtualCaller caller(options());
    ASSERT_TRUE(caller.start());
    ASSERT_TRUE(caller.shows("TERM DOOR", 0, 0));
    // Client answers and subnegotiations between keys, an escape sequence split over reads.
    const char noise[] = "\xFF\xFD\x01\xFF\xFD\x03\xFF\xFB\x18\xFF\xFA\x18\x00xterm\xFF\xF0";
    caller.type_split(std::string_view(noise, sizeof noise - 1), 3);
    caller.type_split("\x1b[5~", 1);
    EXPECT_TRUE(caller.shows("KEY 18688", 2, 0));  // PgUp
    caller.type_split("\x1bOB", 2);
    EXPECT_TRUE(caller.shows("KEY 20480", 2, 0));  // Down
    caller.type("l");
    ASSERT_TRUE(caller.shows("Line: ", 5, 0));
    caller.type_split(
        "ab\xFF\xF1"
        "c\xFF\xFF\r",
        1);  // NOP inside, typed 0xFF as a space
    EXPECT_TRUE(caller.shows("LINE [abc ] END 13", 6, 0));
    caller.type(std::string("8\r\0w", 4));  // CR NUL is one Enter: next key is w
    EXPECT_TRUE(caller.shows("WAITING 0", 9, 0));
    caller.type("c");
    EXPECT_TRUE(caller.shows("ÇüéâäàåçêëèïîìÄÅ", 12, 0));
    EXPECT_TRUE(caller.shows("√ⁿ²■", 13, 59));  // 0xFF went out as IAC IAC
    caller.type("q");
    EXPECT_EQ(caller.wait_exit(), 0);
}

// Hang-ups at several points of a session: the door always sees carrier loss and ends.
TEST_F(DoorProcess, HangUpAtAnyRead) {
    struct Moment {
        const char* what;
        std::string typed;  // typed before hanging up
        Link link;
    };
    const Moment moments[] = {
        {"before any key", "", Link::kSocket},
        {"in a line input", "lab", Link::kSocket},
        {"inside an escape sequence", "\x1b[", Link::kSocket},
        {"inside a telnet command", "\xFF\xFA\x18", Link::kSocket},
        {"in a string input", "sxy", Link::kSocket},
        {"in a line input, pipes", "lab", Link::kStdPipes},
        {"in a line input, pseudo-terminal", "lab", Link::kStdPty},
    };
    for (const auto& m : moments) {
        SCOPED_TRACE(m.what);
        VirtualCaller caller(options(m.link));
        ASSERT_TRUE(caller.start());
        ASSERT_TRUE(caller.shows("TERM DOOR", 0, 0));
        caller.type_split(m.typed, 1);
        caller.hang_up();
        EXPECT_EQ(caller.wait_exit(), 11);  // 10 - (-1)
        remove_tree(caller.drop_dir());
    }
}

TEST_F(DoorProcess, StartFailuresExitOneWithAReason) {
    struct Case {
        const char* what;
        std::vector<std::string> args;  // %D stands for the drop directory
        const char* reason;
    };
    const Case cases[] = {
        {"missing drop file", {"1", "/nonexistent/door32.sys", ""}, "drop file"},
        {"empty drop directory", {"1", "%E", ""}, "door32.sys"},
        {"descriptor not open", {"1", "%D", "77"}, "descriptor"},
        {"descriptor not a number", {"1", "%D", "4x"}, "descriptor"},
        {"negative descriptor", {"1", "%D", "-3"}, "descriptor"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto o = options();
        o.use_args = true;
        std::string empty = dir_ + "/empty";
        std::filesystem::create_directory(empty);
        for (auto arg : c.args) {
            if (arg == "%D") arg = dir_ + "/node1";
            if (arg == "%E") arg = empty;
            o.args.push_back(arg);
        }
        VirtualCaller caller(o);
        ASSERT_TRUE(caller.start());  // writes node1/DOOR32.SYS
        EXPECT_EQ(caller.wait_exit(), 1);
        std::string err = caller.stderr_text();
        EXPECT_NE(err.find(c.reason), std::string::npos) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_EQ(caller.bytes_received(), 0u);
    }
}

TEST_F(DoorProcess, StandardInputAndOutput) {
    for (Link link : {Link::kStdPipes, Link::kStdPty}) {
        VirtualCaller caller(options(link));
        ASSERT_TRUE(caller.start());
        ASSERT_TRUE(caller.shows("TERM DOOR node 1 user Test Caller sec 10 min 60 remote 1", 0, 0));
        caller.type("c");
        EXPECT_TRUE(caller.shows("√ⁿ²■", 13, 59));
        caller.type_split("\x1b[A", 1);
        EXPECT_TRUE(caller.shows("KEY 18432", 2, 0));
        caller.type("q");
        EXPECT_EQ(caller.wait_exit(), 0);
        EXPECT_EQ(caller.telnet_commands(), 0);  // no telnet on standard I/O
        EXPECT_EQ(caller.raw_output().find("\xFF\xFF"), std::string::npos);
    }
}

TEST_F(DoorProcess, ConditionsEndTheDoor) {
    struct Case {
        const char* what;
        int minutes;
        const char* inactivity;
        const char* typed;
        int exit_code;
    };
    const Case cases[] = {
        {"time used up", 0, "200", "x", 14},
        {"inactivity", 60, "1", "", 12},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto o = options();
        o.minutes = c.minutes;
        o.env.push_back({"TERM_DOOR_INACTIVITY", c.inactivity});
        VirtualCaller caller(o);
        ASSERT_TRUE(caller.start());
        caller.type(c.typed);
        EXPECT_EQ(caller.wait_exit(), c.exit_code);
        remove_tree(caller.drop_dir());
    }
    auto o = options();
    o.minutes = 4;
    VirtualCaller caller(o);
    ASSERT_TRUE(caller.start());
    caller.type("x");
    EXPECT_TRUE(caller.shows("WARNING", 3, 0));
    EXPECT_TRUE(caller.shows("KEY 120", 2, 0));
    caller.type("q");
    EXPECT_EQ(caller.wait_exit(), 0);
}

// The date through libfaketime, and paging inside and outside the paging hours.
TEST_F(DoorProcess, SetDateAndPaging) {
    struct Case {
        const char* time;
        const char* date;
        const char* page_text;
        bool logged;
    };
    const Case cases[] = {
        {"2024-02-29 12:00:00", "DATE 2024-02-29", "No response.", true},
        {"1999-12-31 23:30:00", "DATE 1999-12-31",
         "Sorry, the sysop can only be paged from 08:00 to 22:00.", false},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(dir_ + "/doorpage.log");
        auto o = options();
        o.faketime = c.time;
        VirtualCaller caller(o);
        ASSERT_TRUE(caller.start());
        caller.type("d");
        EXPECT_TRUE(caller.shows(c.date, 11, 0));
        caller.type("p");
        EXPECT_TRUE(caller.shows("PAGED", 22, 0));
        EXPECT_TRUE(caller.shows(c.page_text));
        caller.type("q");
        EXPECT_EQ(caller.wait_exit(), 0);
        std::ifstream log(dir_ + "/doorpage.log");
        std::string line;
        EXPECT_EQ(static_cast<bool>(std::getline(log, line)), c.logged);
        if (c.logged) {
            EXPECT_EQ(line, "2024-02-29 12:00:00 node 1: Test Caller paged the sysop");
        }
    }
}

bool same_modes(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_lflag == b.c_lflag &&
           a.c_cflag == b.c_cflag;
}

TEST_F(DoorProcess, LocalConsoleIsRestoredOnEveryWayOut) {
    const char* login = getpwuid(getuid())->pw_name;
    struct Case {
        const char* what;
        int signal;  // 0: quit with q
        int exit_code;
    };
    const Case cases[] = {
        {"normal end", 0, 0},
        {"SIGTERM", SIGTERM, 128 + SIGTERM},
        {"SIGSEGV", SIGSEGV, 128 + SIGSEGV},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        VirtualCaller caller(options(Link::kLocal));
        ASSERT_TRUE(caller.start());
        termios before{};
        ASSERT_EQ(tcgetattr(caller.pty_slave(), &before), 0);
        ASSERT_TRUE(caller.shows(std::string("user ") + login + " sec 255 min 1440 remote 0"));
        termios raw{};
        tcgetattr(caller.pty_slave(), &raw);
        EXPECT_FALSE(raw.c_lflag & ICANON);
        EXPECT_FALSE(raw.c_lflag & ECHO);
        if (c.signal != 0)
            kill(caller.pid(), c.signal);
        else
            caller.type("q");
        EXPECT_EQ(caller.wait_exit(), c.exit_code);
        termios after{};
        ASSERT_EQ(tcgetattr(caller.pty_slave(), &after), 0);
        EXPECT_TRUE(same_modes(before, after));
    }
}

TEST_F(DoorProcess, LocalConsoleShowsCp437AsUtf8InAUtf8Locale) {
    struct Case {
        const char* locale;
        std::string box;  // how 0xCD arrives
    };
    const Case cases[] = {{"C.UTF-8", "\xE2\x95\x90"}, {"C", "\xCD"}};
    for (const auto& c : cases) {
        auto o = options(Link::kLocal);
        o.env.push_back({"LC_ALL", c.locale});
        VirtualCaller caller(o);
        ASSERT_TRUE(caller.start());
        ASSERT_TRUE(caller.shows("remote 0"));
        caller.type("c");
        caller.type("q");
        EXPECT_EQ(caller.wait_exit(), 0);
        EXPECT_NE(caller.raw_output().find(c.box), std::string::npos) << c.locale;
    }
}

// The game itself on the kit: sign-on over telnet at a set date, then the caller hangs up at the
// first question; a hang-up ends the session normally and the market is saved.
TEST_F(DoorProcess, GameSignsOnAndEndsOnHangUp) {
    auto o = options();
    o.door = BULLMOOR_BINARY_DIR "/tests/bullmoor_test";
    o.faketime = "2024-03-04 10:00:00";
    VirtualCaller caller(o);
    ASSERT_TRUE(caller.start());
    EXPECT_TRUE(caller.shows("Version 4.01 - 04/11/05", 3, 0));
    caller.type_split("\r\n", 1);
    EXPECT_TRUE(caller.shows("Please select graphics mode (0-2): ", 10, 8));
    caller.hang_up();
    EXPECT_EQ(caller.wait_exit(), 0);
    EXPECT_TRUE(std::filesystem::exists(dir_ + "/quonda.dat"));
}

}  // namespace

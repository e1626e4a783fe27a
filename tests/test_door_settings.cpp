// The door kit's settings file bullmoor.ini: each key and its bad values, comments and line ends,
// a missing or unreadable file, and the settings at work in a door started as a BBS starts it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "doorkit/console.h"
#include "doorkit/opendoors.h"
#include "doorkit/settings.h"
#include "vcaller/caller.h"

namespace {

constexpr const char* kDoor = BULLMOOR_BINARY_DIR "/tests/term_door";

struct ParseCase {
    const char* text;
    std::optional<int> inactivity;
    std::optional<int> page_start;
    std::optional<int> page_end;
    std::optional<int> max_minutes;
    std::optional<bool> utf8;
    const char* problem;  // the one problem expected, or nullptr for none
};

class ParseSettings : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseSettings, ValuesAndProblems) {
    const ParseCase& c = GetParam();
    std::vector<std::string> problems;
    const DoorSettings settings = parse_door_settings(c.text, problems);
    EXPECT_EQ(settings.inactivity_seconds, c.inactivity);
    EXPECT_EQ(settings.page_start_min, c.page_start);
    EXPECT_EQ(settings.page_end_min, c.page_end);
    EXPECT_EQ(settings.max_minutes, c.max_minutes);
    EXPECT_EQ(settings.cp437_to_utf8, c.utf8);
    if (c.problem == nullptr) {
        EXPECT_TRUE(problems.empty()) << problems.front();
    } else {
        ASSERT_EQ(problems.size(), 1u);
        EXPECT_EQ(problems.front(), c.problem);
    }
}

constexpr auto kNone = std::nullopt;

INSTANTIATE_TEST_SUITE_P(
    Lines, ParseSettings,
    ::testing::Values(
        ParseCase{"inactivity = 300", 300, kNone, kNone, kNone, kNone, nullptr},
        ParseCase{"  INACTIVITY=0  ", 0, kNone, kNone, kNone, kNone, nullptr},
        ParseCase{"inactivity = 86401", kNone, kNone, kNone, kNone, kNone,
                  "line 1: inactivity must be a whole number of seconds from 0 (never) to 86400, "
                  "not \"86401\"; its default is kept"},
        ParseCase{"paging_hours = 09:30-17:00", kNone, 570, 1020, kNone, kNone, nullptr},
        ParseCase{"paging_hours = 22:00 - 6:00", kNone, 1320, 360, kNone, kNone, nullptr},
        ParseCase{"paging_hours = 00:00-24:00", kNone, 0, 1440, kNone, kNone, nullptr},
        ParseCase{"paging_hours = 24:00-10:00", kNone, kNone, kNone, kNone, kNone,
                  "line 1: paging_hours must be two times of day such as 08:00-22:00, not "
                  "\"24:00-10:00\"; its default is kept"},
        ParseCase{"paging_hours = 9-17", kNone, kNone, kNone, kNone, kNone,
                  "line 1: paging_hours must be two times of day such as 08:00-22:00, not "
                  "\"9-17\"; its default is kept"},
        ParseCase{"max_minutes = 45", kNone, kNone, kNone, 45, kNone, nullptr},
        ParseCase{"max_minutes = 0", kNone, kNone, kNone, kNone, kNone,
                  "line 1: max_minutes must be a whole number of minutes from 1 to 1440, not "
                  "\"0\"; its default is kept"},
        ParseCase{"cp437_to_utf8 = Yes", kNone, kNone, kNone, kNone, true, nullptr},
        ParseCase{"cp437_to_utf8 = off", kNone, kNone, kNone, kNone, false, nullptr},
        ParseCase{"cp437_to_utf8 = maybe", kNone, kNone, kNone, kNone, kNone,
                  "line 1: cp437_to_utf8 must be yes or no, not \"maybe\"; its default is kept"},
        ParseCase{"# the door's own settings\r\n\r\n; minutes\r\nmax_minutes = 30\r\n", kNone,
                  kNone, kNone, 30, kNone, nullptr},
        ParseCase{"max_minutes = 30\nmax_minutes = lots\n", kNone, kNone, kNone, 30, kNone,
                  "line 2: max_minutes must be a whole number of minutes from 1 to 1440, not "
                  "\"lots\"; its default is kept"},
        ParseCase{"colour = blue\ninactivity = 60", 60, kNone, kNone, kNone, kNone,
                  "line 1: unknown setting \"colour\", ignored"},
        ParseCase{"inactivity 60", kNone, kNone, kNone, kNone, kNone,
                  "line 1: \"inactivity 60\" is not of the form key = value, ignored"}));

// Under AddressSanitizer a process started with libfaketime preloaded must accept it ahead of the
// sanitizer's runtime; started processes inherit this process's environment.
void allow_preloaded_clock() {
    const char* current = std::getenv("ASAN_OPTIONS");
    std::string options = current != nullptr ? current : "";
    if (options.find("verify_asan_link_order") != std::string::npos) return;
    if (!options.empty()) options += ":";
    options += "verify_asan_link_order=0";
    setenv("ASAN_OPTIONS", options.c_str(), 1);
}

class SettingsFile : public ::testing::Test {
  protected:
    void SetUp() override {
        allow_preloaded_clock();
        dir_ = make_temp_dir("settings");
        ASSERT_FALSE(dir_.empty());
    }
    void TearDown() override { remove_tree(dir_); }
    std::string path(const char* name) const { return dir_ + "/" + name; }
    void write(const char* name, const std::string& text) const {
        std::ofstream(path(name), std::ios::binary) << text;
    }
    std::string contents(const char* name) const {
        std::ifstream in(path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    CallerOptions options() const {
        CallerOptions o;
        o.door = kDoor;
        o.work_dir = dir_;
        o.minutes = 60;
        return o;
    }
    std::string dir_;
};

TEST_F(SettingsFile, MissingGivesNothingAndUnreadableOneProblem) {
    std::vector<std::string> problems;
    const DoorSettings missing = read_door_settings(path("bullmoor.ini").c_str(), problems);
    EXPECT_TRUE(problems.empty());
    EXPECT_FALSE(missing.inactivity_seconds || missing.max_minutes || missing.cp437_to_utf8);

    ASSERT_EQ(mkdir(path("bullmoor.ini").c_str(), 0700), 0);  // a directory cannot be read
    const DoorSettings unreadable = read_door_settings(path("bullmoor.ini").c_str(), problems);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems.front(), "cannot be read, so every setting keeps its default");
    EXPECT_FALSE(unreadable.inactivity_seconds || unreadable.max_minutes);
}

TEST(ApplySettings, OnlyGivenValuesChangeAndMinutesOnlyGoDown) {
    const OdControl saved = od_control;
    od_control.od_inactivity = 200;
    od_control.user_timelimit = 60;
    DoorSettings settings;
    settings.max_minutes = 45;
    apply_door_settings(settings);
    EXPECT_EQ(od_control.user_timelimit, 45);
    EXPECT_EQ(od_control.od_inactivity, 200);
    EXPECT_EQ(od_control.od_page_start_min, 8 * 60);

    od_control.user_timelimit = 30;
    settings.inactivity_seconds = 0;
    settings.page_start_min = 1320;
    settings.page_end_min = 360;
    apply_door_settings(settings);
    EXPECT_EQ(od_control.user_timelimit, 30);
    EXPECT_EQ(od_control.od_inactivity, 0);
    EXPECT_EQ(od_control.od_page_start_min, 1320);
    EXPECT_EQ(od_control.od_page_end_min, 360);
    od_control = saved;
}

// The settings at work in a door on a telnet socket: minutes, paging hours and UTF-8 output; a bad
// line is logged and the good ones still count.
TEST_F(SettingsFile, TakeEffectInTheDoorAndBadLinesAreLogged) {
    write("bullmoor.ini",
          "max_minutes = 30\r\ncolour = blue\r\npaging_hours = 09:00-10:00\r\n"
          "cp437_to_utf8 = yes\r\n");
    CallerOptions o = options();
    o.faketime = "2024-06-15 11:00:00";
    VirtualCaller caller(o);
    ASSERT_TRUE(caller.start());
    EXPECT_TRUE(caller.shows("TERM DOOR node 1 user Test Caller sec 10 min 30 remote 1", 0, 0));
    caller.type("p");
    EXPECT_TRUE(caller.shows("Sorry, the sysop can only be paged from 09:00 to 10:00."));
    EXPECT_TRUE(caller.shows("PAGED", 22, 0));
    const size_t before = caller.bytes_received();
    caller.type("c");
    std::string glyphs;
    for (int byte = 128; byte < 192; ++byte) glyphs += cp437_utf8(static_cast<unsigned char>(byte));
    const std::string& raw = caller.raw_output();
    caller.type("q");
    EXPECT_EQ(caller.wait_exit(), 0);
    EXPECT_NE(raw.find(glyphs, before), std::string::npos) << "CP437 128-191 sent as UTF-8";
    EXPECT_EQ(contents("quonda.err"),
              "   \nWarning [44] - Door settings file (bullmoor.ini) line 2: unknown setting "
              "\"colour\", ignored.\n");
}

TEST_F(SettingsFile, InactivityTimeOutFromTheFile) {
    write("bullmoor.ini", "inactivity = 1\n");
    VirtualCaller caller(options());
    ASSERT_TRUE(caller.start());
    EXPECT_TRUE(caller.shows("min 60 remote 1", 0));
    EXPECT_EQ(caller.wait_exit(5000), 12) << "CONDITION -2 after a second without keys";
}

TEST_F(SettingsFile, UnreadableFileMeansDefaultsAndALogLine) {
    ASSERT_EQ(mkdir(path("bullmoor.ini").c_str(), 0700), 0);
    VirtualCaller caller(options());
    ASSERT_TRUE(caller.start());
    EXPECT_TRUE(caller.shows("min 60 remote 1", 0));
    caller.type("q");
    EXPECT_EQ(caller.wait_exit(), 0);
    EXPECT_NE(contents("quonda.err").find("Door settings file (bullmoor.ini) cannot be read"),
              std::string::npos);
}

}  // namespace

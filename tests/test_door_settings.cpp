// The door kit's settings file bullmoor.ini: its keys, bad values, a missing or unreadable file,
// and the settings at work in a door started as a BBS starts it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "doorkit/opendoors.h"
#include "doorkit/settings.h"
#include "vcaller/caller.h"

namespace {

struct FileCase {
    const char* name;
    const char* file;  // nullptr: no file; "/": a directory in its place, which cannot be read
    DoorSettings settings;
    const char* problems;  // each problem reported, then "\n"
};

void PrintTo(const FileCase& file_case, std::ostream* out) {
    *out << file_case.name;
}

class SettingsFile : public ::testing::TestWithParam<FileCase> {};

TEST_P(SettingsFile, ValuesAndProblems) {
    const std::string dir = make_temp_dir("settings"), path = dir + "/bullmoor.ini";
    const char* file = GetParam().file;
    if (file != nullptr && file[0] == '/') mkdir(path.c_str(), 0700);
    if (file != nullptr && file[0] != '/') std::ofstream(path, std::ios::binary) << file;
    std::vector<std::string> problems;
    const DoorSettings read = read_door_settings(path.c_str(), problems);
    remove_tree(dir);
    auto values = [](const DoorSettings& s) {
        return std::tuple(s.inactivity_seconds, s.page_start_min, s.page_end_min, s.max_minutes,
                          s.cp437_to_utf8);
    };
    EXPECT_EQ(values(read), values(GetParam().settings));
    std::string text;
    for (const std::string& problem : problems) text += problem + "\n";
    EXPECT_EQ(text, GetParam().problems);
}

INSTANTIATE_TEST_SUITE_P(
    Files, SettingsFile,
    ::testing::Values(
        FileCase{"EveryKey",
                 "# the door's own settings\r\n\r\n  INACTIVITY=86400  \r\n; minutes\r\n"
                 "paging_hours = 22:00 - 6:00\r\nmax_minutes = 1\r\ncp437_to_utf8 = Yes\r\n",
                 {86400, 1320, 360, 1, true},
                 ""},
        FileCase{"BadLines",
                 "max_minutes = 30\nmax_minutes = 0\ninactivity = 86401\ninactivity 60\n",
                 {{}, {}, {}, 30, {}},
                 "line 2: max_minutes must be a whole number of minutes from 1 to 1440, not "
                 "\"0\"; its default is kept\n"
                 "line 3: inactivity must be a whole number of seconds from 0 (never) to 86400, "
                 "not \"86401\"; its default is kept\n"
                 "line 4: \"inactivity 60\" is not of the form key = value, ignored\n"},
        FileCase{"Missing", nullptr, {}, ""},
        FileCase{"Unreadable", "/", {}, "cannot be read, so every setting keeps its default\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// Settings not given leave od_control alone, and max_minutes never adds minutes.
TEST(ApplySettings, OnlyGivenValuesChangeAndMinutesOnlyGoDown) {
    const OdControl saved = od_control;
    od_control.od_inactivity = 200;
    od_control.user_timelimit = 30;
    DoorSettings settings;
    settings.max_minutes = 45;
    apply_door_settings(settings);
    EXPECT_EQ(od_control.user_timelimit, 30);
    EXPECT_EQ(od_control.od_inactivity, 200);
    od_control = saved;
}

// In a door on a telnet socket: fewer minutes, paging hours that never open, UTF-8 output; a bad
// line is logged and the good ones still count.
TEST(SettingsInTheDoor, TakeEffectAndBadLinesAreLogged) {
    CallerOptions o;
    o.door = BULLMOOR_BINARY_DIR "/tests/term_door";
    o.work_dir = make_temp_dir("settings");
    std::ofstream(o.work_dir + "/bullmoor.ini", std::ios::binary)
        << "max_minutes = 30\r\ncolour = blue\r\npaging_hours = 03:00-03:00\r\ncp437_to_utf8 = "
           "yes\r\n";
    VirtualCaller caller(o);
    ASSERT_TRUE(caller.start());
    EXPECT_TRUE(caller.shows("TERM DOOR node 1 user Test Caller sec 10 min 30 remote 1", 0, 0));
    caller.type("p");
    EXPECT_TRUE(caller.shows("Sorry, the sysop can only be paged from 03:00 to 03:00."));
    caller.type("cq");
    EXPECT_EQ(caller.wait_exit(), 0);
    EXPECT_NE(caller.raw_output().find("\xE2\x96\x91\xE2\x96\x92\xE2\x96\x93"), std::string::npos)
        << "CP437 0xB0-0xB2 sent as UTF-8";
    std::ifstream log(o.work_dir + "/quonda.err", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(log), {}),
              "   \nWarning [44] - Door settings file (bullmoor.ini) line 2: unknown setting "
              "\"colour\", ignored.\n");
    remove_tree(o.work_dir);
}

}  // namespace

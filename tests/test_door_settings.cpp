// The door kit's bullmoor.ini: keys, bad values, a missing or unreadable file, and at work.
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

// The file (nullptr: none; "/": a directory, unreadable), each problem and "\n", the settings.
TEST(SettingsFile, ValuesAndProblems) {
    const struct {
        const char *file, *problems;
        DoorSettings settings;
    } cases[] = {
        {"# the door's own settings\r\n\r\n  INACTIVITY=86400  \r\n; minutes\r\n"
         "paging_hours = 22:00 - 6:00\r\nmax_minutes = 1\r\ncp437_to_utf8 = Yes\r\n",
         "",
         {86400, 1320, 360, 1, true}},
        {"max_minutes = 30\nmax_minutes = 0\ninactivity = 86401\ninactivity 60\n",
         "line 2: max_minutes must be a whole number of minutes from 1 to 1440, not \"0\"; its "
         "default is kept\nline 3: inactivity must be a whole number of seconds from 0 (never) to "
         "86400, not \"86401\"; its default is kept\n"
         "line 4: \"inactivity 60\" is not of the form key = value, ignored\n",
         {{}, {}, {}, 30, {}}},
        {nullptr, "", {}},
        {"/", "cannot be read, so every setting keeps its default\n", {}},
    };
    const auto values = [](const DoorSettings& s) {
        return std::tuple(s.inactivity_seconds, s.page_start_min, s.page_end_min, s.max_minutes,
                          s.cp437_to_utf8);
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file ? c.file : "(no file)");
        const std::string dir = make_temp_dir("settings"), path = dir + "/bullmoor.ini";
        if (c.file != nullptr && c.file[0] == '/') mkdir(path.c_str(), 0700);
        if (c.file != nullptr && c.file[0] != '/') std::ofstream(path, std::ios::binary) << c.file;
        std::vector<std::string> problems;
        EXPECT_EQ(values(read_door_settings(path.c_str(), problems)), values(c.settings));
        remove_tree(dir);
        std::string text;
        for (const std::string& problem : problems) text += problem + "\n";
        EXPECT_EQ(text, c.problems);
    }
}

// Settings not given leave od_control alone, and max_minutes never adds minutes.
TEST(ApplySettings, OnlyGivenValuesChangeAndMinutesOnlyGoDown) {
    od_control.od_inactivity = 200;
    od_control.user_timelimit = 30;
    apply_door_settings(DoorSettings{{}, {}, {}, 45, {}});
    EXPECT_TRUE(od_control.user_timelimit == 30 && od_control.od_inactivity == 200);
}

// In a door: fewer minutes, paging hours never open, UTF-8; a bad line logged, the rest used.
TEST(SettingsInTheDoor, TakeEffectAndBadLinesAreLogged) {
    CallerOptions o;
    o.door = BULLMOOR_BINARY_DIR "/tests/term_door";
    o.work_dir = make_temp_dir("settings");
    std::ofstream(o.work_dir + "/bullmoor.ini", std::ios::binary)
        << "max_minutes = 30\r\ncolour = blue\r\npaging_hours = 03:00-03:00\r\ncp437_to_utf8 = yes";
    VirtualCaller caller(o);
    ASSERT_TRUE(caller.start());
    EXPECT_TRUE(caller.shows("TERM DOOR node 1 user Test Caller sec 10 min 30 remote 1", 0, 0));
    caller.type("p");
    EXPECT_TRUE(caller.shows("Sorry, the sysop can only be paged from 03:00 to 03:00."));
    caller.type("cq");  // c: the CP437 upper half, 0xB0-0xB2 among it, must come as UTF-8
    EXPECT_EQ(caller.wait_exit(), 0);
    EXPECT_NE(caller.raw_output().find("\xE2\x96\x91\xE2\x96\x92\xE2\x96\x93"), std::string::npos);
    std::ifstream log(o.work_dir + "/quonda.err", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(log), {}),
              "   \nWarning [44] - Door settings file (bullmoor.ini) line 2: unknown setting "
              "\"colour\", ignored.\n");
    remove_tree(o.work_dir);
}

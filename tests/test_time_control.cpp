// quonda.tim: tiers, periods, session length, daily limits and the per-day counters.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "data/dates.h"
#include "data/session_state.h"
#include "doorkit/opendoors.h"
#include "session/time_control.h"

namespace {

std::time_t g_now = 0;
std::time_t fixed_clock() {
    return g_now;
}

// Sets the clock to the given local time on 5 March 2024.
void set_time(int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = 124;
    tm.tm_mon = 2;
    tm.tm_mday = 5;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    g_now = std::mktime(&tm);
}

constexpr const char* kToday = "Mar 05 2024";

// quonda.tim built byte by byte at the offsets of its layout.
struct TimFile {
    std::vector<unsigned char> bytes = std::vector<unsigned char>(232, 0);
    void i16(size_t offset, int value) {
        bytes.at(offset) = static_cast<unsigned char>(value & 0xFF);
        bytes.at(offset + 1) = static_cast<unsigned char>((value >> 8) & 0xFF);
    }
    void i32(size_t offset, long value) {
        for (int i = 0; i < 4; ++i)
            bytes.at(offset + i) = static_cast<unsigned char>(value >> (8 * i));
    }
    void levels(std::array<int, 8> values) {
        for (size_t t = 0; t < 8; ++t) i16(8 + 2 * t, values[t]);
    }
    void tier(size_t t, int daily_minutes, int daily_games, int wait_minutes) {
        i16(24 + 2 * t, daily_minutes);
        i16(40 + 2 * t, daily_games);
        i16(56 + 2 * t, wait_minutes);
    }
    void period(size_t p, long start, std::array<int, 8> minutes) {
        i32(72 + 20 * p, start);
        for (size_t t = 0; t < 8; ++t) i16(72 + 20 * p + 4 + 2 * t, minutes[t]);
    }
    void save(size_t length = 232) const {
        FILE* f = std::fopen("quonda.tim", "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(std::fwrite(bytes.data(), 1, length, f), length);
        std::fclose(f);
    }
};

constexpr std::array<int, 8> kAllSixty = {60, 60, 60, 60, 60, 60, 60, 60};
constexpr std::array<int, 8> kTens = {10, 20, 30, 40, 50, 60, 70, 80};

class TimeControlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(getcwd(saved_, sizeof saved_), nullptr);
        char tmpl[] = "/tmp/bm_time_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        ASSERT_EQ(chdir(dir_.c_str()), 0);
        set_clock_source(fixed_clock);
        set_time(12, 0, 0);
        std::snprintf(g_session.today, sizeof g_session.today, "%s", kToday);
        g_session.session_start_seconds = 12 * 3600;
        od_control.user_security = 10;
        od_control.user_timelimit = 100;
        g_time_control = TimeControlState{};
    }
    void TearDown() override {
        set_clock_source(nullptr);
        ASSERT_EQ(chdir(saved_), 0);
        std::string command = "rm -rf " + dir_;
        ASSERT_EQ(std::system(command.c_str()), 0);
    }
    char saved_[4096];
    std::string dir_;
};

TEST(TimeOfDay, ReadsHoursMinutesSeconds) {
    struct Case {
        const char* text;
        int seconds;
    };
    const Case cases[] = {{"00:00:00", 0},     {"23:59:59", 86399}, {"12:30:05", 45005},
                          {"08:00:00", 28800}, {"7", 25200},        {"", 0}};
    for (const Case& c : cases) EXPECT_EQ(time_of_day(c.text), c.seconds) << c.text;
}

TEST_F(TimeControlTest, RecordFieldsComeFromTheirOffsets) {
    TimFile tim;
    tim.i32(0, 3600);
    tim.i32(4, -2);
    tim.levels(kTens);
    tim.tier(3, 45, 2, 15);
    tim.tier(7, -1, 9, 300);
    tim.period(0, 0, kAllSixty);
    tim.period(7, 86000, {1, 2, 3, 4, 5, 6, 7, -8});
    tim.save();

    const int fd = open("quonda.tim", O_RDONLY);
    ASSERT_GE(fd, 0);
    TimeControl record{};
    EXPECT_EQ(read_time_control(fd, record), 232);
    close(fd);
    EXPECT_EQ(record.window_start, 3600);
    EXPECT_EQ(record.window_end, -2);
    EXPECT_EQ(record.levels[0], 10);
    EXPECT_EQ(record.levels[7], 80);
    EXPECT_EQ(record.daily_minutes[3], 45);
    EXPECT_EQ(record.daily_games[3], 2);
    EXPECT_EQ(record.wait_minutes[3], 15);
    EXPECT_EQ(record.daily_minutes[7], -1);
    EXPECT_EQ(record.wait_minutes[7], 300);
    EXPECT_EQ(record.periods[7].start, 86000);
    EXPECT_EQ(record.periods[7].minutes[0], 1);
    EXPECT_EQ(record.periods[7].minutes[7], -8);
}

TEST_F(TimeControlTest, ShortFilesAreErrors) {
    TimFile tim;
    tim.levels(kTens);
    tim.period(0, 0, kAllSixty);
    struct Case {
        size_t length;
        int read_result;
    };
    for (const Case c : {Case{0, 0}, Case{100, 100}, Case{72, 72}, Case{231, 231}}) {
        tim.save(c.length);
        const int fd = open("quonda.tim", O_RDONLY);
        TimeControl record{};
        EXPECT_EQ(read_time_control(fd, record), c.read_result);
        close(fd);
        EXPECT_EQ(load_time_control("quonda.tim"), -1) << c.length;
        EXPECT_EQ(g_time_control.tier, -1);
    }
    EXPECT_EQ(od_control.user_timelimit, 100);
}

TEST_F(TimeControlTest, MissingFileImposesNothing) {
    g_time_control.tier = 4;
    EXPECT_EQ(load_time_control("quonda.tim"), 0);
    EXPECT_EQ(g_time_control.tier, -1);
    EXPECT_EQ(g_time_control.record.window_end, 86399);
    EXPECT_EQ(check_daily_limits(), 0);
    EXPECT_EQ(od_control.user_timelimit, 100);
}

TEST_F(TimeControlTest, FileThatCannotBeOpenedIsAnError) {
    ASSERT_EQ(mkdir("quonda.tim", 0700), 0);
    EXPECT_EQ(load_time_control("quonda.tim"), -1);
}

struct TierCase {
    std::array<int, 8> levels;
    int security;
    int result;
    int tier;
};

class TierTest : public TimeControlTest, public ::testing::WithParamInterface<TierCase> {};
void PrintTo(const TierCase& c, std::ostream* os) {
    *os << "level " << c.security << (c.levels[2] == 0 ? " with zero thresholds" : "");
}

TEST_P(TierTest, LevelPicksTheTier) {
    const TierCase& c = GetParam();
    TimFile tim;
    tim.levels(c.levels);
    tim.period(0, 0, kAllSixty);
    tim.save();
    od_control.user_security = c.security;
    EXPECT_EQ(load_time_control("quonda.tim"), c.result);
    EXPECT_EQ(g_time_control.tier, c.tier);
}

INSTANTIATE_TEST_SUITE_P(Levels, TierTest,
                         ::testing::Values(TierCase{kTens, 15, 1, 0}, TierCase{kTens, 85, 1, 7},
                                           TierCase{kTens, 5, -2, -1}, TierCase{kTens, 10, 1, 0},
                                           TierCase{kTens, 79, 1, 6}, TierCase{kTens, 80, 1, 7},
                                           TierCase{kTens, 40, 1, 3},
                                           // unused thresholds of 0 count as reached
                                           TierCase{{10, 20, 0, 0, 0, 0, 0, 0}, 25, 1, 7},
                                           TierCase{{10, 20, 0, 0, 0, 0, 0, 0}, 15, 1, 0},
                                           TierCase{{10, 20, 0, 0, 0, 0, 0, 0}, 9, -2, -1}));

TEST_F(TimeControlTest, PeriodOfTheSessionStartSetsTheLength) {
    struct Case {
        std::array<long, 4> starts;  // periods 0..3; the rest start at 0
        int session_start;
        int minutes;  // the tier-0 minutes of the period expected, 10 * (period + 1)
    };
    const Case cases[] = {
        {{0, 28800, 61200, 0}, 28799, 10}, {{0, 28800, 61200, 0}, 28800, 20},
        {{0, 28800, 61200, 0}, 61199, 20}, {{0, 28800, 61200, 0}, 86399, 30},
        {{0, 28800, 0, 72000}, 80000, 20},  // a 0 start ends the list
        {{32400, 0, 0, 0}, 3600, 10},       // one period covers the whole day
    };
    for (const Case& c : cases) {
        TimFile tim;
        tim.levels(kTens);
        for (size_t p = 0; p < 4; ++p) {
            const int minutes = 10 * static_cast<int>(p + 1);
            tim.period(p, c.starts[p], {minutes, 0, 0, 0, 0, 0, 0, 0});
        }
        tim.save();
        g_session.session_start_seconds = c.session_start;
        od_control.user_timelimit = 100;
        EXPECT_EQ(load_time_control("quonda.tim"), 1) << c.session_start;
        EXPECT_EQ(od_control.user_timelimit, c.minutes) << c.session_start;
    }
}

TEST_F(TimeControlTest, SessionLengthOnlyLowersTheTimeLeft) {
    struct Case {
        int minutes;
        int left;
        int result;
        int left_after;
    };
    const Case cases[] = {{30, 60, 1, 30}, {30, 20, 1, 20}, {30, 30, 1, 30}, {0, 60, -3, 60}};
    for (const Case& c : cases) {
        TimFile tim;
        tim.levels(kTens);
        tim.period(0, 0, {c.minutes, 5, 5, 5, 5, 5, 5, 5});
        tim.save();
        od_control.user_timelimit = c.left;
        EXPECT_EQ(load_time_control("quonda.tim"), c.result);
        EXPECT_EQ(od_control.user_timelimit, c.left_after);
        EXPECT_EQ(g_time_control.tier, 0);
    }
}

// Tier 0 (levels 10..): 60 minutes and 3 sessions a day, 30 minutes between sessions.
// Tier 1 (levels 50..): no daily limits.
void load_daily_file(int security) {
    TimFile tim;
    tim.levels({10, 50, 90, 90, 90, 90, 90, 90});
    tim.tier(0, 60, 3, 30);
    tim.period(0, 0, {100, 100, 100, 100, 100, 100, 100, 100});
    tim.save();
    od_control.user_security = security;
    od_control.user_timelimit = 100;
    ASSERT_EQ(load_time_control("quonda.tim"), 1);
}

// Writes the caller's session-end note byte by byte: name[32], then day number, end, seconds and
// sessions of that day as little-endian int32.
void write_note(const char* name, const char* day_text, int end, int seconds, int games) {
    unsigned char bytes[48] = {};
    std::snprintf(reinterpret_cast<char*>(bytes), 32, "%s", name);
    const int values[4] = {day_number(day_text), end, seconds, games};
    for (int v = 0; v < 4; ++v) {
        for (int i = 0; i < 4; ++i) {
            bytes[32 + 4 * v + i] =
                static_cast<unsigned char>(static_cast<unsigned>(values[v]) >> (8 * i));
        }
    }
    FILE* file = std::fopen("quonda.ses", "wb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(std::fwrite(bytes, 1, sizeof bytes, file), sizeof bytes);
    std::fclose(file);
}

struct DailyCase {
    const char* label;
    int security;
    const char* last_played;
    int games;
    int seconds;
    int previous_end;          // seconds after midnight of last_played
    int hour, minute, second;  // now
    int left_before;
    int result;
    int left_after;
};

class DailyTest : public TimeControlTest, public ::testing::WithParamInterface<DailyCase> {};
void PrintTo(const DailyCase& c, std::ostream* os) {
    *os << c.label;
}

TEST_P(DailyTest, Limits) {
    const DailyCase& c = GetParam();
    load_daily_file(c.security);
    PlayerRecord player{};
    std::snprintf(player.last_played, sizeof player.last_played, "%s", c.last_played);
    player.times_played = 999;
    player.seconds_played = 777777;  // all-time totals: the daily checks never read them
    std::snprintf(player.name, sizeof player.name, "%s", "ANN");
    write_note("ann", c.last_played, c.previous_end, c.seconds, c.games);
    take_player_counters(player);
    set_time(c.hour, c.minute, c.second);
    od_control.user_timelimit = c.left_before;

    EXPECT_EQ(check_daily_limits(), c.result);
    EXPECT_EQ(od_control.user_timelimit, c.left_after);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DailyTest,
    ::testing::Values(
        // A new day restarts the counts and the wait; the whole daily allowance is left.
        DailyCase{"NewDay", 10, "Mar 04 2024", 10, 99999, 86000, 0, 5, 0, 100, 0, 60},
        DailyCase{"NewPlayer", 10, "Jan 01 1900", 0, 0, 0, 0, 0, 0, 100, 0, 60},
        // The wait runs from the end of the previous session (10:00).
        DailyCase{"WaitNotOver", 10, kToday, 1, 600, 36000, 10, 29, 59, 100, -1, 100},
        DailyCase{"WaitOver", 10, kToday, 1, 600, 36000, 10, 30, 0, 100, 0, 50},
        DailyCase{"UnknownEndMeansMidnight", 10, kToday, 1, 600, 0, 0, 29, 0, 100, -1, 100},
        DailyCase{"ImplausibleEndIgnored", 10, kToday, 1, 600, 999999, 10, 0, 0, 100, 0, 50},
        DailyCase{"GamesUsedUp", 10, kToday, 3, 600, 0, 12, 0, 0, 100, -2, 100},
        DailyCase{"OneGameLeft", 10, kToday, 2, 600, 0, 12, 0, 0, 100, 0, 50},
        DailyCase{"MinutesUsedUp", 10, kToday, 1, 3600, 0, 12, 0, 0, 100, -3, 100},
        // What remains of the minutes is rounded up: 1 second left still gives a minute.
        DailyCase{"OneSecondLeft", 10, kToday, 1, 3599, 0, 12, 0, 0, 100, 0, 1},
        DailyCase{"LowerTimeLeftKept", 10, kToday, 1, 600, 0, 12, 0, 0, 5, 0, 5},
        DailyCase{"TierWithoutLimits", 60, kToday, 50, 99999, 43000, 12, 0, 0, 100, 0, 100}),
    [](const ::testing::TestParamInfo<DailyCase>& info) { return std::string(info.param.label); });

TEST_F(TimeControlTest, NewDayRestartsTheWorkingCopies) {
    load_daily_file(10);
    PlayerRecord player{};
    std::snprintf(player.last_played, sizeof player.last_played, "%s", "Feb 28 2024");
    player.times_played = 7;
    player.seconds_played = 5000;
    take_player_counters(player);
    EXPECT_EQ(check_daily_limits(), 0);
    EXPECT_STREQ(g_time_control.tc_last_played, kToday);
    EXPECT_EQ(g_time_control.games_today, 0);
    EXPECT_EQ(g_time_control.seconds_today, 0);
}

// Three sessions a day: the fourth of the day is refused even though the player has played on
// many days before; the next day the caller may play again.
TEST_F(TimeControlTest, DailyGameLimitCountsOnlyToday) {
    PlayerRecord player{};
    std::snprintf(player.last_played, sizeof player.last_played, "%s", "Mar 01 2024");
    player.times_played = 40;
    player.seconds_played = 40 * 600;
    const int starts[] = {8 * 3600, 9 * 3600, 10 * 3600, 11 * 3600};
    for (int session = 0; session < 4; ++session) {
        set_time(starts[session] / 3600, 0, 0);
        load_daily_file(10);
        take_player_counters(player);
        const int result = check_daily_limits();
        if (session < 3) {
            ASSERT_EQ(result, 0) << "session " << session;
            std::snprintf(player.last_played, sizeof player.last_played, "%s", kToday);
            player.times_played = static_cast<int16_t>(player.times_played + 1);
            store_session_end(player.name, kToday, starts[session] + 600, 600);
        } else {
            EXPECT_EQ(result, -2);
        }
    }
    std::snprintf(g_session.today, sizeof g_session.today, "%s", "Mar 06 2024");
    load_daily_file(10);
    take_player_counters(player);
    EXPECT_EQ(check_daily_limits(), 0);
}

}  // namespace

namespace {

// The session-end store keeps one entry per name (any letter case), rewritten in place: the same
// day adds up, a new day starts again.
TEST_F(TimeControlTest, SessionEndStoreCountsTheDayPerName) {
    store_session_end("Ann", "Mar 05 2024", 36000, 600);
    store_session_end("BOB", "Mar 05 2024", 40000, 100);
    store_session_end("ann", "Mar 05 2024", 50000, 300);
    SessionEndNote ann = load_session_end("ANN");
    EXPECT_EQ(ann.day, day_number("Mar 05 2024"));
    EXPECT_EQ(ann.end_seconds, 50000);
    EXPECT_EQ(ann.seconds_today, 900);
    EXPECT_EQ(ann.games_today, 2);
    EXPECT_EQ(load_session_end("bob").games_today, 1);
    EXPECT_EQ(load_session_end("carl").day, -1);
    store_session_end("ANN", "Mar 06 2024", 90000, 200);
    ann = load_session_end("ann");
    EXPECT_EQ(ann.day, day_number("Mar 06 2024"));
    EXPECT_EQ(ann.seconds_today, 200);
    EXPECT_EQ(ann.games_today, 1);
    struct stat info {};
    ASSERT_EQ(stat(kSessionEndFile, &info), 0);
    EXPECT_EQ(info.st_size, 2 * kSessionEndBytes);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

}  // namespace

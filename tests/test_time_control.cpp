// quonda.tim: tiers, periods, session length, daily limits and the per-day counters.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>

#include "data/dates.h"
#include "data/session_state.h"
#include "doorkit/opendoors.h"
#include "session/time_control.h"
#include "vcaller/caller.h"

namespace {

constexpr const char* kToday = "Mar 05 2024";
using Tiers = std::array<int, 8>;
constexpr Tiers kTens = {10, 20, 30, 40, 50, 60, 70, 80};

// The clock runs in UTC; kMidnight is the start of kToday.
constexpr std::time_t kMidnight = 1709596800;
std::time_t g_now = 0;

// quonda.tim built byte by byte at the offsets of its layout, which every test below goes
// through: window start and end (int32 at 0 and 4), then int16 per tier: levels at 8, daily
// minutes at 24, daily games at 40, wait minutes at 56; then 8 periods of 20 bytes from 72, each
// a start (int32) and minutes per tier.
struct TimFile {
    std::string bytes = std::string(232, '\0');
    TimFile& put(size_t offset, long value, int size = 2) {
        for (int i = 0; i < size; ++i) bytes.at(offset + i) = static_cast<char>(value >> (8 * i));
        return *this;
    }
    TimFile& levels(Tiers values) {
        for (size_t t = 0; t < 8; ++t) put(8 + 2 * t, values[t]);
        return *this;
    }
    TimFile& period(size_t p, long start, Tiers minutes) {
        put(72 + 20 * p, start, 4);
        for (size_t t = 0; t < 8; ++t) put(72 + 20 * p + 4 + 2 * t, minutes[t]);
        return *this;
    }
    void save(size_t length = 232) const {
        std::ofstream("quonda.tim", std::ios::binary) << bytes.substr(0, length);
    }
};

// Each test works in a fresh directory at noon of kToday, for a caller of level 10 with 100
// minutes left whose session started at noon.
class TimeControlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(0, chdir(dir_.c_str()));
        setenv("TZ", "UTC0", 1);
        tzset();
        set_clock_source([] { return g_now; });
        g_now = kMidnight + 12 * 3600;
        std::snprintf(g_session.today, sizeof g_session.today, "%s", kToday);
        g_session.session_start_seconds = 12 * 3600;
        od_control.user_security = 10;
        od_control.user_timelimit = 100;
        g_time_control = TimeControlState{};
    }
    void TearDown() override {
        set_clock_source(nullptr);
        ASSERT_EQ(0, chdir(BULLMOOR_BINARY_DIR));
        remove_tree(dir_);
    }
    const std::string dir_ = make_temp_dir("time");
};

TEST(TimeOfDay, ReadsHoursMinutesSeconds) {
    const struct {
        const char* text;
        int seconds;
    } cases[] = {{"00:00:00", 0}, {"23:59:59", 86399}, {"12:30:05", 45005}, {"7", 25200}, {"", 0}};
    for (const auto& c : cases) EXPECT_EQ(c.seconds, time_of_day(c.text)) << c.text;
}

// No file imposes nothing; a short file or one that cannot be opened is an error that leaves
// the time left alone.
TEST_F(TimeControlTest, MissingShortAndUnreadableFiles) {
    g_time_control.tier = 4;
    EXPECT_EQ(0, load_time_control("quonda.tim"));
    EXPECT_EQ(-1, g_time_control.tier);
    EXPECT_EQ(86399, g_time_control.record.window_end);
    EXPECT_EQ(0, check_daily_limits());
    TimFile tim;
    tim.levels(kTens).period(0, 0, {60, 60, 60, 60, 60, 60, 60, 60});
    for (size_t length : {0, 72, 100, 231}) {
        tim.save(length);
        EXPECT_EQ(-1, load_time_control("quonda.tim")) << length;
        EXPECT_EQ(-1, g_time_control.tier);
    }
    ASSERT_EQ(0, std::remove("quonda.tim"));
    ASSERT_EQ(0, mkdir("quonda.tim", 0700));
    EXPECT_EQ(-1, load_time_control("quonda.tim"));
    EXPECT_EQ(100, od_control.user_timelimit);
}

// The highest tier whose level the caller reaches; unused thresholds of 0 count as reached.
TEST_F(TimeControlTest, LevelPicksTheTier) {
    const Tiers two = {10, 20, 0, 0, 0, 0, 0, 0};
    const struct {
        Tiers levels;
        int security, result, tier;
    } cases[] = {
        {kTens, 5, -2, -1}, {kTens, 10, 1, 0}, {kTens, 15, 1, 0}, {kTens, 40, 1, 3},
        {kTens, 79, 1, 6},  {kTens, 80, 1, 7}, {kTens, 85, 1, 7}, {two, 9, -2, -1},
        {two, 15, 1, 0},    {two, 25, 1, 7},
    };
    for (const auto& c : cases) {
        TimFile().levels(c.levels).period(0, 0, {60, 60, 60, 60, 60, 60, 60, 60}).save();
        od_control.user_security = c.security;
        EXPECT_EQ(c.result, load_time_control("quonda.tim")) << c.security;
        EXPECT_EQ(c.tier, g_time_control.tier) << c.security;
    }
}

// The period holding the session start gives the session length, which only ever lowers the
// time left; a length of 0 is no play.
TEST_F(TimeControlTest, PeriodOfTheSessionStartSetsTheLength) {
    const struct {
        std::array<long, 3> starts;  // periods 0..2 give tier 0 10, 20 and 30 minutes
        int session_start, left, result, left_after;
    } cases[] = {
        {{0, 28800, 61200}, 28799, 100, 1, 10}, {{0, 28800, 61200}, 28800, 100, 1, 20},
        {{0, 28800, 61200}, 61199, 100, 1, 20}, {{0, 28800, 61200}, 86399, 100, 1, 30},
        {{0, 28800, 0}, 80000, 100, 1, 20},  // a 0 start ends the list
        {{32400, 0, 0}, 3600, 100, 1, 10},   // one period covers the whole day
        {{0, 28800, 61200}, 28800, 15, 1, 15},  {{0, 28800, 61200}, 28800, 20, 1, 20},
        {{0, 0, 0}, 100, 100, -3, 100},  // no play for tier 0 when the only period gives 0
    };
    for (const auto& c : cases) {
        TimFile tim;
        tim.levels(kTens);
        for (size_t p = 0; p < 3; ++p) {
            tim.period(p, c.starts[p],
                       {c.result < 0 ? 0 : 10 * static_cast<int>(p + 1), 5, 5, 5, 5, 5, 5, 5});
        }
        tim.save();
        g_session.session_start_seconds = c.session_start;
        od_control.user_timelimit = c.left;
        EXPECT_EQ(c.result, load_time_control("quonda.tim")) << c.session_start;
        EXPECT_EQ(c.left_after, od_control.user_timelimit) << c.session_start;
    }
}

// Tier 0 (levels 10..): 60 minutes and 3 sessions a day, 30 minutes between sessions.
// Tier 1 (levels 50..): no daily limits.
void load_daily_file(int security) {
    TimFile tim;
    tim.levels({10, 50, 90, 90, 90, 90, 90, 90}).put(24, 60).put(40, 3).put(56, 30);
    tim.period(0, 0, {100, 100, 100, 100, 100, 100, 100, 100}).save();
    od_control.user_security = security;
    od_control.user_timelimit = 100;
    ASSERT_EQ(1, load_time_control("quonda.tim"));
}

// A caller's entry in the session-end store: the name in upper case in 32 bytes, then the day
// number, the end, and the seconds and sessions of that day as little-endian int32.
std::string note(const char* name, const char* day_text, int end, int seconds, int games) {
    TimFile entry;  // only its byte writer
    entry.bytes.assign(48, '\0');
    entry.bytes.replace(0, std::strlen(name), name);
    const int values[4] = {day_number(day_text), end, seconds, games};
    for (int v = 0; v < 4; ++v) entry.put(32 + 4 * v, values[v], 4);
    return entry.bytes;
}

TEST_F(TimeControlTest, DailyLimits) {
    const struct {
        const char *label, *last_played;
        int security, games, seconds, previous_end;  // that day's counts, from the store
        int now;                                     // seconds after midnight
        int left_before, result, left_after;
    } cases[] = {
        // A new day restarts the counts and the wait; the whole daily allowance is left.
        {"new day", "Mar 04 2024", 10, 10, 99999, 86000, 300, 100, 0, 60},
        {"new player", "Jan 01 1900", 10, 0, 0, 0, 0, 100, 0, 60},
        // The wait runs from the end of the previous session (10:00).
        {"wait not over", kToday, 10, 1, 600, 36000, 36000 + 1799, 100, -1, 100},
        {"wait over", kToday, 10, 1, 600, 36000, 36000 + 1800, 100, 0, 50},
        {"unknown end means midnight", kToday, 10, 1, 600, 0, 29 * 60, 100, -1, 100},
        {"implausible end ignored", kToday, 10, 1, 600, 999999, 36000, 100, 0, 50},
        {"games used up", kToday, 10, 3, 600, 0, 43200, 100, -2, 100},
        {"one game left", kToday, 10, 2, 600, 0, 43200, 100, 0, 50},
        {"minutes used up", kToday, 10, 1, 3600, 0, 43200, 100, -3, 100},
        // What remains of the minutes is rounded up: 1 second left still gives a minute.
        {"one second left", kToday, 10, 1, 3599, 0, 43200, 100, 0, 1},
        {"lower time left kept", kToday, 10, 1, 600, 0, 43200, 5, 0, 5},
        {"tier without limits", kToday, 60, 50, 99999, 43000, 43200, 100, 0, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        load_daily_file(c.security);
        PlayerRecord player{};
        std::snprintf(player.name, sizeof player.name, "%s", "ANN");
        std::snprintf(player.last_played, sizeof player.last_played, "%s", c.last_played);
        player.times_played = 999;
        player.seconds_played = 777777;  // all-time totals: the daily checks never read them
        std::ofstream(kSessionEndFile, std::ios::binary)
            << note("ANN", c.last_played, c.previous_end, c.seconds, c.games);
        take_player_counters(player);
        g_now = kMidnight + c.now;
        od_control.user_timelimit = c.left_before;
        EXPECT_EQ(c.result, check_daily_limits());
        EXPECT_EQ(c.left_after, od_control.user_timelimit);
    }
}

// The store keeps one owner-only entry per name (any letter case), rewritten in place: the same
// day adds up, a new day starts again.
TEST_F(TimeControlTest, SessionEndStoreCountsTheDayPerName) {
    const auto store = [] {
        std::ostringstream bytes;
        bytes << std::ifstream(kSessionEndFile, std::ios::binary).rdbuf();
        return bytes.str();
    };
    store_session_end("Ann", "Mar 05 2024", 36000, 600);
    store_session_end("BOB", "Mar 05 2024", 40000, 100);
    store_session_end("ann", "Mar 05 2024", 50000, 300);
    const std::string bob = note("BOB", "Mar 05 2024", 40000, 100, 1);
    EXPECT_EQ(note("ANN", "Mar 05 2024", 50000, 900, 2) + bob, store());
    EXPECT_EQ(50000, load_session_end("aNn").end_seconds);
    EXPECT_EQ(-1, load_session_end("carl").day);
    store_session_end("ANN", "Mar 06 2024", 90000, 200);
    EXPECT_EQ(note("ANN", "Mar 06 2024", 90000, 200, 1) + bob, store());
    struct stat info {};
    ASSERT_EQ(0, stat(kSessionEndFile, &info));
    EXPECT_EQ(0600u, info.st_mode & 0777);
}

}  // namespace

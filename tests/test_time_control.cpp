// quonda.tim: tiers, periods, session length, daily limits and the per-day counters.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "data/dates.h"
#include "data/session_state.h"
#include "doorkit/opendoors.h"
#include "session/time_control.h"
#include "vcaller/caller.h"

namespace {

constexpr const char* kToday = "Mar 05 2024";
constexpr std::time_t kMidnight = 1709596800;  // the start of kToday in UTC
std::time_t g_now = 0;
using Tiers = std::array<int, 8>;
constexpr Tiers kTens = {10, 20, 30, 40, 50, 60, 70, 80};

void put_le(std::string& bytes, size_t at, long value, int size) {
    for (int i = 0; i < size; ++i) bytes.at(at + i) = static_cast<char>(value >> (8 * i));
}

// quonda.tim by hand: window (int32 at 0 and 4); int16 per tier: levels at 8, daily minutes,
// games and wait at 24, 40 and 56 (tier 0 only here); 8 periods of 20 bytes from 72: a start
// (int32) and minutes per tier (all alike here). Only size bytes are written.
void save_tim(Tiers levels, std::array<int, 3> daily,
              const std::vector<std::pair<long, int>>& periods, size_t size = 232) {
    std::string bytes(232, '\0');
    for (size_t t = 0; t < 8; ++t) put_le(bytes, 8 + 2 * t, levels[t], 2);
    for (size_t i = 0; i < 3; ++i) put_le(bytes, 24 + 16 * i, daily[i], 2);
    for (size_t p = 0; p < periods.size(); ++p) {
        put_le(bytes, 72 + 20 * p, periods[p].first, 4);
        for (size_t t = 0; t < 8; ++t) put_le(bytes, 76 + 20 * p + 2 * t, periods[p].second, 2);
    }
    std::ofstream("quonda.tim", std::ios::binary) << bytes.substr(0, size);
}

// A store entry: name (upper case, 32 bytes), day number, end, the day's seconds and sessions.
std::string note(const char* name, const char* day, int end, int seconds, int games) {
    std::string entry(name);
    entry.resize(48, '\0');
    const int values[4] = {day_number(day), end, seconds, games};
    for (int v = 0; v < 4; ++v) put_le(entry, 32 + 4 * v, values[v], 4);
    return entry;
}

// Each test works in a fresh directory on kToday, its clock in UTC at g_now.
class TimeControlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(0, chdir(dir_.c_str()));
        setenv("TZ", "UTC0", 1);
        tzset();
        set_clock_source([] { return g_now; });
        std::snprintf(g_session.today, sizeof g_session.today, "%s", kToday);
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

// No file (size -1) imposes nothing, a short one or a directory (-2) is an error; else the highest
// tier the level reaches (thresholds of 0 count as reached) lowers the time left to its 60 minutes.
TEST_F(TimeControlTest, FileAndLevelPickTheTier) {
    const Tiers two = {10, 20};
    const std::tuple<Tiers, int, int, int, int> cases[] = {
        {kTens, -1, 10, 0, -1},   {kTens, 0, 10, -1, -1},  {kTens, -2, 10, -1, -1},
        {kTens, 231, 10, -1, -1}, {kTens, 232, 5, -2, -1}, {kTens, 232, 10, 1, 0},
        {kTens, 232, 15, 1, 0},   {kTens, 232, 79, 1, 6},  {kTens, 232, 80, 1, 7},
        {kTens, 232, 85, 1, 7},   {two, 232, 9, -2, -1},   {two, 232, 15, 1, 0},
        {two, 232, 25, 1, 7},
    };
    for (const auto& [levels, size, security, result, tier] : cases) {
        std::remove("quonda.tim");
        if (size >= 0) save_tim(levels, {}, {{0, 60}}, size);
        if (size == -2) mkdir("quonda.tim", 0700);
        od_control.user_security = security;
        od_control.user_timelimit = 100;
        EXPECT_EQ(std::tuple(result, tier, result == 1 ? 60 : 100),
                  (std::tuple{load_time_control("quonda.tim"), g_time_control.tier,
                              od_control.user_timelimit}))
            << "size " << size << ", level " << security;
    }
}

// The period holding the session start (the first also before its own start; a later start of 0
// ends the list) gives the session length, which only lowers the time left (before, after).
TEST_F(TimeControlTest, PeriodOfTheSessionStartSetsTheLength) {
    save_tim(kTens, {}, {{7200, 10}, {28800, 20}, {61200, 30}, {0, 40}, {70000, 50}});
    const std::tuple<int, int, int> cases[] = {{3600, 100, 10},  {28799, 100, 10}, {28800, 100, 20},
                                               {61199, 100, 20}, {86399, 100, 30}, {28800, 15, 15}};
    for (const auto& [start, left, left_after] : cases) {
        g_session.session_start_seconds = start;
        od_control.user_timelimit = left;
        EXPECT_EQ(1, load_time_control("quonda.tim")) << start;
        EXPECT_EQ(left_after, od_control.user_timelimit) << start;
    }
}

// Tier 0 (10..): 60 minutes, 3 sessions a day, 30 minutes apart; tier 1 (50..): no limits. Rows:
// label, last played, level, the store's games, seconds and end that day, now, result, time left.
TEST_F(TimeControlTest, DailyLimits) {
    const std::tuple<const char*, const char*, int, int, int, int, int, int, int> cases[] = {
        {"new day: counts and wait restart", "Mar 04 2024", 10, 10, 99999, 86000, 300, 0, 60},
        {"wait not over", kToday, 10, 1, 600, 36000, 36000 + 1799, -1, 100},
        {"wait over", kToday, 10, 1, 600, 36000, 36000 + 1800, 0, 50},
        {"unknown end means midnight", kToday, 10, 1, 600, 0, 29 * 60, -1, 100},
        {"implausible end ignored", kToday, 10, 1, 600, 999999, 36000, 0, 50},
        {"one game left", kToday, 10, 2, 600, 0, 43200, 0, 50},
        {"one second left rounds up", kToday, 10, 1, 3599, 0, 43200, 0, 1},
        {"tier without limits", kToday, 60, 50, 99999, 43000, 43200, 0, 100},
    };
    save_tim({10, 50, 90, 90, 90, 90, 90, 90}, {60, 3, 30}, {{0, 100}});
    for (const auto& [label, last_played, security, games, seconds, previous_end, now, result,
                      left_after] : cases) {
        od_control.user_security = security;
        od_control.user_timelimit = 100;
        ASSERT_EQ(1, load_time_control("quonda.tim"));
        PlayerRecord player{};
        std::snprintf(player.name, sizeof player.name, "%s", "ANN");
        std::snprintf(player.last_played, sizeof player.last_played, "%s", last_played);
        player.times_played = 999, player.seconds_played = 777777;  // all-time: never read
        std::ofstream(kSessionEndFile) << note("ANN", last_played, previous_end, seconds, games);
        take_player_counters(player);
        g_now = kMidnight + now;
        EXPECT_EQ(std::pair(result, left_after),
                  (std::pair{check_daily_limits(), od_control.user_timelimit}))
            << label;
    }
}

// One owner-only entry per name in any case, rewritten in place: a day adds up, a new day restarts.
TEST_F(TimeControlTest, SessionEndStoreCountsTheDayPerName) {
    const auto store = [] {
        std::ifstream in(kSessionEndFile, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    store_session_end("Ann", kToday, 36000, 600);
    store_session_end("BOB", kToday, 40000, 100);
    store_session_end("ann", kToday, 50000, 300);
    const std::string bob = note("BOB", kToday, 40000, 100, 1);
    EXPECT_EQ(note("ANN", kToday, 50000, 900, 2) + bob, store());
    store_session_end("ANN", "Mar 06 2024", 90000, 200);
    EXPECT_EQ(note("ANN", "Mar 06 2024", 90000, 200, 1) + bob, store());
    struct stat info {};
    EXPECT_EQ(0600u, stat(kSessionEndFile, &info) == 0 ? info.st_mode & 0777 : 0);
}

}  // namespace

// The optional time-control file quonda.tim: tiers by security level, periods of the day,
// daily allowances, and the per-day session counters kept in the player record.
#pragma once

#include <cstdint>

#include "data/records.h"

struct TimePeriod {
    int32_t start;       // seconds since midnight; 0 ends the list after the first period
    int16_t minutes[8];  // per tier, longest session in this period; 0 = no play
};

struct TimeControl {
    int32_t window_start;      // read, not used
    int32_t window_end;        // read, not used
    int16_t levels[8];         // security thresholds of the tiers, ascending
    int16_t daily_minutes[8];  // per tier; 0 = no limit
    int16_t daily_games[8];    // per tier; 0 = no limit
    int16_t wait_minutes[8];   // per tier; 0 = no wait
    TimePeriod periods[8];
};
constexpr int kTimeControlBytes = 232;

// Working values kept between the two checks of session start.
struct TimeControlState {
    TimeControl record{};
    int tier = -1;                 // caller's tier; -1 until a file was read successfully
    char tc_last_played[12] = "";  // caller's last_played
    int32_t seconds_today = 0;     // caller's seconds_played (seconds played on that day)
    int32_t games_today = 0;       // caller's times_played (sessions on that day)
    int32_t previous_end = 0;      // seconds after midnight of tc_last_played at which the
                                   // caller's previous session ended; 0 when unknown
};
extern TimeControlState g_time_control;

// "hh:mm:ss" to seconds since midnight.
int time_of_day(const char* text);
// Reads the 232-byte record; returns the bytes read (232 when complete), as the record codec.
int read_time_control(int fd, TimeControl& record);
// Loads the file and finds the caller's tier and period (security level and minutes left from
// od_control, start time from g_session). 1 may play (time left lowered to the period's
// session length), 0 no file, -1 bad or unreadable file, -2 level below every tier, -3 the
// period allows the tier no play.
int load_time_control(const char* path);
// 0 may play (time left lowered to what remains of the daily minutes), -1 the wait since the
// previous session has not passed, -2 sessions used up today, -3 minutes used up today.
int check_daily_limits();

// Session start: hands the caller's counters to the checks (tc_last_played, seconds_today,
// games_today, previous_end from player.reserved).
void take_player_counters(const PlayerRecord& player);
// Session end: counts a finished session in the record. A session on a day other than
// last_played restarts seconds_played and times_played, so they hold the day's totals; then
// last_played = today, times_played + 1, seconds_played + length (end - start, plus 86400 when
// the session crossed midnight), and reserved = the moment the session ended, as seconds after
// midnight of today (above 86399 when it crossed midnight).
void count_session(PlayerRecord& player, const char* today, int32_t start_seconds,
                   int32_t end_seconds);

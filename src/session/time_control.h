// The optional time-control file quonda.tim: tiers by security level, periods of the day,
// daily allowances, and the session-end store (quonda.ses) the daily limits count from.
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

// Session start: hands the caller's day to the checks (tc_last_played) with the day's counts and
// the end of the previous session from the session-end store (all 0 when nothing is noted for
// that day). The record's own seconds_played and times_played are all-time totals and are
// never restarted, so the daily limits count from the store instead.
void take_player_counters(const PlayerRecord& player);

// The session-end store quonda.ses: per player name, the day of the latest session, the moment
// it ended (the wait between sessions is measured from there) and that day's seconds and
// sessions. The player record has no room for these. 48-byte little-endian records: name[32],
// day number, end seconds after midnight of that day (above 86399 past midnight), seconds played
// that day, sessions that day (int32 each). Kept only for callers under time control.
constexpr const char* kSessionEndFile = "quonda.ses";
constexpr int kSessionEndBytes = 48;
struct SessionEndNote {
    int32_t day = -1;           // day_number of the session's day
    int32_t end_seconds = 0;    // when the latest session ended
    int32_t seconds_today = 0;  // seconds played that day
    int32_t games_today = 0;    // sessions that day
};
// Counts a finished session of `length` seconds that ended end_seconds after midnight of today.
void store_session_end(const char* name, const char* today, int32_t end_seconds, int32_t length);
// The note for name (any letter case); day -1 when there is none.
SessionEndNote load_session_end(const char* name);

// The optional time-control file quonda.tim: tiers by security level, periods of the day,
// daily allowances.
#pragma once

#include <cstdint>

struct TimePeriod {
    int32_t start;        // seconds since midnight; 0 ends the list after the first period
    int16_t minutes[8];   // per tier, longest session in this period; 0 = no play
};

struct TimeControl {
    int32_t window_start;     // read, not used
    int32_t window_end;       // read, not used
    int16_t levels[8];        // security thresholds of the tiers, ascending
    int16_t daily_minutes[8]; // per tier; 0 = no limit
    int16_t daily_games[8];   // per tier; 0 = no limit
    int16_t wait_minutes[8];  // per tier; 0 = no wait
    TimePeriod periods[8];
};
constexpr int kTimeControlBytes = 232;

// Working values kept between the two checks of session start.
struct TimeControlState {
    TimeControl record{};
    int tier = -1;
    char tc_last_played[12] = "";
    int32_t seconds_today = 0;
    int32_t games_today = 0;
};
extern TimeControlState g_time_control;

int time_of_day(const char* text);
int read_time_control(int fd, TimeControl& record);
int load_time_control(const char* path);
int check_daily_limits();

// Date helpers in local time: today's date text, seconds since midnight, day numbers.
// The clock behind them is a seam so that tests can fix the day or cross midnight.
#pragma once

#include <ctime>

using ClockSource = std::time_t (*)();

// Replaces the clock (nullptr restores the real one).
void set_clock_source(ClockSource source);
// Current time from the clock source.
std::time_t clock_now();

// Writes today's local date as "%b %d %Y" into at most 12 bytes; returns buf.
char* today_text(char* buf);
// Local time of day as hours * 3600 + minutes * 60 + seconds.
int seconds_since_midnight();
// Whole days from a fixed origin to the date written in a date text; -1 for an unknown month.
int day_number(const char* date_text);

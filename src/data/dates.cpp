// Date helpers over an injectable clock.
#include "data/dates.h"

#include <cstdlib>
#include <cstring>

namespace {

std::time_t real_clock() { return std::time(nullptr); }

ClockSource g_clock = real_clock;

constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Days from 1970-01-01 to the given civil date (proleptic Gregorian calendar).
long days_from_civil(long y, long m, long d) {
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

std::tm local_now() {
    std::time_t now = clock_now();
    std::tm tm{};
    localtime_r(&now, &tm);
    return tm;
}

}  // namespace

void set_clock_source(ClockSource source) { g_clock = source ? source : real_clock; }

std::time_t clock_now() { return g_clock(); }

char* today_text(char* buf) {
    std::tm tm = local_now();
    if (std::strftime(buf, 12, "%b %d %Y", &tm) == 0) buf[0] = '\0';
    return buf;
}

int seconds_since_midnight() {
    std::tm tm = local_now();
    return tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec;
}

int day_number(const char* date_text) {
    int month = -1;
    for (int m = 0; m < 12; ++m) {
        if (std::strncmp(date_text, kMonths[m], 3) == 0) month = m;
    }
    if (month < 0) return -1;
    // Day from characters 4..5 and year from character 7 on; a short text reads as zeros.
    const size_t len = strnlen(date_text, 12);
    char day_text[3] = {0, 0, 0};
    if (len > 4) day_text[0] = date_text[4];
    if (len > 5) day_text[1] = date_text[5];
    const long day = std::strtol(day_text, nullptr, 10);
    char year_text[6] = {0, 0, 0, 0, 0, 0};
    if (len > 7) std::memcpy(year_text, date_text + 7, len - 7 < 5 ? len - 7 : 5);
    const long year = std::strtol(year_text, nullptr, 10);
    // Origin: 1 Jan 1900 is day 0 (only differences matter).
    return static_cast<int>(days_from_civil(year, month + 1, day) - days_from_civil(1900, 1, 1));
}

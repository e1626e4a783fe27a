// Date helpers: day numbers of date texts, and today's date and time of day from a set clock.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "data/dates.h"

namespace {

// Day 0 is Jan 01 1900, not a leap year; the months are the English abbreviations in their
// exact case, and any other gives -1.
TEST(Dates, DayNumbersCrossMonthsYearsAndLeapDays) {
    const struct {
        const char* from;
        const char* to;
        int days;
    } cases[] = {
        {"Jan 01 1900", "Jan 01 2000", 36524}, {"Jan 01 1900", "Feb 29 2024", 45349},
        {"Dec 31 2023", "Jan 01 2024", 1},     {"Feb 28 2024", "Mar 01 2024", 2},
        {"Feb 28 2000", "Mar 01 2000", 2},     {"Feb 28 2100", "Mar 01 2100", 1},
        {"Jan 01 2023", "Jan 01 2024", 365},   {"Jan 01 2024", "Jan 01 2025", 366},
    };
    EXPECT_EQ(0, day_number("Jan 01 1900"));
    for (const auto& c : cases)
        EXPECT_EQ(c.days, day_number(c.to) - day_number(c.from)) << c.from << " -> " << c.to;
    for (const char* text : {"jan 01 2000", "JAN 01 2000", "Foo 01 2000", "Ja", ""})
        EXPECT_EQ(-1, day_number(text)) << text;
}

std::time_t g_now = 0;

// Local time five hours behind UTC with no daylight saving, so local and UTC days differ.
TEST(Dates, TodayAndTimeOfDayFollowTheLocalClock) {
    setenv("TZ", "EST5", 1);
    tzset();
    set_clock_source([] { return g_now; });
    const struct {
        std::time_t now;
        const char* today;
        int seconds;
    } cases[] = {
        {1709210096, "Feb 29 2024", 7 * 3600 + 34 * 60 + 56},   // 12:34:56 UTC
        {1704085199, "Dec 31 2023", 86399},                     // a second before local midnight
        {1704085200, "Jan 01 2024", 0},                         // local midnight: a new day
        {1704067199, "Dec 31 2023", 18 * 3600 + 59 * 60 + 59},  // UTC has turned, local has not
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.now);
        g_now = c.now;
        char buf[16];
        std::memset(buf, '#', sizeof buf);
        EXPECT_STREQ(c.today, today_text(buf));
        EXPECT_EQ('#', buf[12]);  // at most twelve bytes written
        EXPECT_EQ(c.seconds, seconds_since_midnight());
        EXPECT_EQ(c.now, clock_now());
    }
    set_clock_source(nullptr);
}

}  // namespace

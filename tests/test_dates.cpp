// Date helpers: day numbers of date texts, and today's date and time of day from a set clock.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "data/dates.h"
#include "data/records.h"

namespace {

struct DayCase {
    const char* text;
    int expected;
};

class DayNumber : public ::testing::TestWithParam<DayCase> {};

TEST_P(DayNumber, CountsDaysFromJanuaryFirst1900) {
    EXPECT_EQ(GetParam().expected, day_number(GetParam().text)) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(KnownDates, DayNumber,
                         ::testing::Values(DayCase{"Jan 01 1900", 0}, DayCase{"Mar 01 1900", 59},
                                           DayCase{"Jan 01 2000", 36524},
                                           DayCase{"Feb 29 2024", 45349}));

// Months are matched case-sensitively against the English abbreviations.
INSTANTIATE_TEST_SUITE_P(UnknownMonths, DayNumber,
                         ::testing::Values(DayCase{"jan 01 2000", -1}, DayCase{"JAN 01 2000", -1},
                                           DayCase{"Foo 01 2000", -1}, DayCase{"Ja", -1},
                                           DayCase{"", -1}));

struct SpanCase {
    const char* from;
    const char* to;
    int days;
};

class DaySpan : public ::testing::TestWithParam<SpanCase> {};

TEST_P(DaySpan, DifferencesCrossMonthsYearsAndLeapDays) {
    const SpanCase& c = GetParam();
    EXPECT_EQ(c.days, day_number(c.to) - day_number(c.from)) << c.from << " -> " << c.to;
}

INSTANTIATE_TEST_SUITE_P(Spans, DaySpan,
                         ::testing::Values(SpanCase{"Jan 31 2024", "Feb 01 2024", 1},
                                           SpanCase{"Nov 15 2024", "Dec 16 2024", 31},
                                           SpanCase{"Dec 31 2023", "Jan 01 2024", 1},
                                           SpanCase{"Feb 28 2024", "Mar 01 2024", 2},
                                           SpanCase{"Feb 28 2023", "Mar 01 2023", 1},
                                           SpanCase{"Feb 28 2000", "Mar 01 2000", 2},
                                           SpanCase{"Feb 28 2100", "Mar 01 2100", 1},
                                           SpanCase{"Jan 01 2023", "Jan 01 2024", 365},
                                           SpanCase{"Jan 01 2024", "Jan 01 2025", 366},
                                           SpanCase{"Jun 10 2025", "Jul 11 2025", 31}));

std::time_t g_now = 0;
std::time_t set_clock() {
    return g_now;
}

// Local time five hours behind UTC with no daylight saving, so local and UTC days differ.
class Clock : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("TZ", "EST5", 1);
        tzset();
        set_clock_source(set_clock);
    }
    void TearDown() override { set_clock_source(nullptr); }
};

struct ClockCase {
    std::time_t now;
    const char* today;
    int seconds;
};

TEST_F(Clock, TodayAndTimeOfDayFollowTheLocalClock) {
    const ClockCase cases[] = {
        {1709210096, "Feb 29 2024", 7 * 3600 + 34 * 60 + 56},  // 12:34:56 UTC
        {1704085199, "Dec 31 2023", 86399},                    // a second before local midnight
        {1704085200, "Jan 01 2024", 0},                        // local midnight: a new day
        {1704085261, "Jan 01 2024", 61},
        {1704067199, "Dec 31 2023", 18 * 3600 + 59 * 60 + 59},  // UTC has turned, local has not
    };
    for (const ClockCase& c : cases) {
        SCOPED_TRACE(c.now);
        g_now = c.now;
        char buf[16];
        std::memset(buf, '#', sizeof buf);
        EXPECT_EQ(buf, today_text(buf));
        EXPECT_STREQ(c.today, buf);
        EXPECT_EQ('#', buf[12]);  // at most twelve bytes written
        EXPECT_EQ(c.seconds, seconds_since_midnight());
        EXPECT_EQ(c.now, clock_now());
    }
}

TEST_F(Clock, TodayTextReadsBackAsTheSameDay) {
    g_now = 1709210096;
    char first[kDateSize];
    today_text(first);
    g_now += 86400;
    char second[kDateSize];
    today_text(second);
    EXPECT_EQ(45349, day_number(first));
    EXPECT_EQ(1, day_number(second) - day_number(first));
}

}  // namespace

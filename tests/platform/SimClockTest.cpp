#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/Error.h"
#include "support/TestSupport.h"
#include "platform/sim/SimClock.h"

using namespace nocturo::platform;

namespace {

using nocturo::test::At;

std::string Text(const LocalTime& t) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d w%d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second, t.millisecond, t.weekday);
    return buf;
}

}  // namespace

TEST(SimClock, StartsAtTheGivenTimeWithMonotonicZeroAndComputesTheWeekday) {
    LocalTime start = At(2024, 5, 6, 12, 30, 15, 250);
    start.weekday = 4;  // wrong on purpose: the date decides
    SimClock clock(start);
    EXPECT_EQ(clock.monotonicMs(), 0);
    EXPECT_EQ(Text(clock.now()), "2024-05-06 12:30:15.250 w0");  // a Monday
    clock.advance(1750);
    EXPECT_EQ(clock.monotonicMs(), 1750);
    EXPECT_EQ(Text(clock.now()), "2024-05-06 12:30:17.000 w0");
}

TEST(SimClock, CrossesMidnightMonthAndYearEnds) {
    SimClock clock(At(2024, 3, 10, 23, 59, 59, 500));  // Sunday
    clock.advance(1000);
    EXPECT_EQ(Text(clock.now()), "2024-03-11 00:00:00.500 w0");

    clock.setStart(At(2023, 12, 31, 23, 59, 59));
    EXPECT_EQ(Text(clock.now()), "2024-01-01 00:00:00.000 w0");  // start + the second already elapsed

    EXPECT_EQ(Text(SimClock::addMilliseconds(At(2023, 12, 31, 23, 59, 59, 999), 1)), "2024-01-01 00:00:00.000 w0");
    EXPECT_EQ(Text(SimClock::addMilliseconds(At(2024, 2, 28, 23, 0, 0), 3600000)), "2024-02-29 00:00:00.000 w3");
    EXPECT_EQ(Text(SimClock::addMilliseconds(At(2023, 2, 28, 23, 0, 0), 3600000)), "2023-03-01 00:00:00.000 w2");
    EXPECT_EQ(Text(SimClock::addMilliseconds(At(1900, 2, 28, 12, 0, 0), 86400000)), "1900-03-01 12:00:00.000 w3");
    EXPECT_EQ(Text(SimClock::addMilliseconds(At(2000, 2, 28, 12, 0, 0), 86400000)), "2000-02-29 12:00:00.000 w1");
    EXPECT_EQ(Text(SimClock::addMilliseconds(At(2024, 4, 30, 23, 59, 59), 1000)), "2024-05-01 00:00:00.000 w2");
    EXPECT_EQ(Text(SimClock::addMilliseconds(At(2024, 1, 1, 0, 0, 0), -1)), "2023-12-31 23:59:59.999 w6");
    EXPECT_EQ(Text(SimClock::addMilliseconds(At(1970, 1, 1, 0, 0, 0), -1)), "1969-12-31 23:59:59.999 w2");
}

TEST(SimClock, WeekdaysRunMondayToSunday) {
    SimClock clock(At(2024, 1, 1, 12, 0, 0));  // Monday
    for (int d = 0; d < 14; ++d) {
        EXPECT_EQ(clock.now().weekday, d % 7) << d;
        clock.advance(86400000);
    }
}

TEST(SimClock, MonotonicTimeNeverGoesBackButTheWallClockCanBeSet) {
    SimClock clock(At(2024, 6, 1, 8, 0, 0));
    clock.advanceTo(5000);
    clock.advanceTo(4000);
    clock.advance(-100);
    EXPECT_EQ(clock.monotonicMs(), 5000);
    clock.setNow(At(2024, 6, 1, 7, 0, 0));  // the clock was set back an hour
    EXPECT_EQ(Text(clock.now()), "2024-06-01 07:00:00.000 w5");
    EXPECT_EQ(clock.monotonicMs(), 5000);
    clock.advance(500);
    EXPECT_EQ(Text(clock.now()), "2024-06-01 07:00:00.500 w5");
}

TEST(SimClock, RejectsImpossibleTimes) {
    SimClock clock(At(2024, 1, 1, 0, 0, 0));
    EXPECT_THROW(clock.setStart(At(2023, 2, 29, 0, 0, 0)), Error);
    EXPECT_THROW(clock.setStart(At(2024, 13, 1, 0, 0, 0)), Error);
    EXPECT_THROW(clock.setStart(At(2024, 4, 31, 0, 0, 0)), Error);
    EXPECT_THROW(clock.setStart(At(2024, 1, 1, 24, 0, 0)), Error);
    EXPECT_THROW(clock.setStart(At(2024, 1, 1, 0, 60, 0)), Error);
    EXPECT_THROW(clock.setStart(At(2024, 1, 1, 0, 0, 0, 1000)), Error);
    EXPECT_THROW(SimClock(At(2024, 0, 1, 0, 0, 0)), Error);
    EXPECT_NO_THROW(clock.setStart(At(2024, 2, 29, 23, 59, 59, 999)));
}

TEST(SimClock, ParsesTheStartText) {
    auto t = SimClock::parseStart("2024-12-31T23:59:58");
    ASSERT_TRUE(t);
    EXPECT_EQ(Text(*t), "2024-12-31 23:59:58.000 w1");
    t = SimClock::parseStart("2024-02-29T00:00:00.125");
    ASSERT_TRUE(t);
    EXPECT_EQ(Text(*t), "2024-02-29 00:00:00.125 w3");
    for (const char* bad : {"", "2024-12-31", "2024-12-31 23:59:58", "2023-02-29T00:00:00", "2024-12-31T24:00:00",
                            "2024-1-31T23:59:58", "2024-12-31T23:59:58Z", "2024-12-31T23:59:58.5",
                            "2024-12-31T23:59:5x", "+024-12-31T23:59:58"}) {
        EXPECT_FALSE(SimClock::parseStart(bad)) << bad;
    }
}

TEST(SimClock, StartComesFromTheEnvironment) {
    const char* saved = std::getenv("NOCTURO_SIM_START");
    std::string keep = saved ? saved : "";
    setenv("NOCTURO_SIM_START", "2025-01-05T23:59:59", 1);
    {
        SimClock clock;
        EXPECT_EQ(Text(clock.now()), "2025-01-05 23:59:59.000 w6");
        clock.advance(1000);
        EXPECT_EQ(Text(clock.now()), "2025-01-06 00:00:00.000 w0");
    }
    setenv("NOCTURO_SIM_START", "tomorrow", 1);
    EXPECT_THROW(SimClock{}, Error);
    unsetenv("NOCTURO_SIM_START");
    {
        // The real local time: only check that it is a plausible date.
        SimClock clock;
        EXPECT_TRUE(SimClock::isValid(clock.now()));
        EXPECT_GE(clock.now().year, 2020);
    }
    if (saved) setenv("NOCTURO_SIM_START", keep.c_str(), 1);
}

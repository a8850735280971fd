// The wall clock and the monotonic clock on Windows.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <ctime>
#include <thread>

#include "platform/win32/Win32Clock.h"

namespace {

using nocturo::platform::win32::Win32Clock;

TEST(Win32Clock, NowIsTheLocalTimeWithMondayAsDayZero) {
    Win32Clock clock;
    SYSTEMTIME before{};
    GetLocalTime(&before);
    const auto t = clock.now();
    SYSTEMTIME after{};
    GetLocalTime(&after);
    // Unless the day turned between the calls, the fields are the system's.
    if (before.wDay == after.wDay) {
        EXPECT_EQ(t.year, after.wYear);
        EXPECT_EQ(t.month, after.wMonth);
        EXPECT_EQ(t.day, after.wDay);
        EXPECT_EQ(t.weekday, (after.wDayOfWeek + 6) % 7);
        EXPECT_GE(t.hour * 3600 + t.minute * 60 + t.second, before.wHour * 3600 + before.wMinute * 60 + before.wSecond);
        EXPECT_LE(t.hour * 3600 + t.minute * 60 + t.second, after.wHour * 3600 + after.wMinute * 60 + after.wSecond);
    }
    EXPECT_GE(t.weekday, 0);
    EXPECT_LE(t.weekday, 6);
    EXPECT_GE(t.millisecond, 0);
    EXPECT_LE(t.millisecond, 999);
}

TEST(Win32Clock, WeekdayAgreesWithTheCalendar) {
    Win32Clock clock;
    const auto t = clock.now();
    std::tm date{};
    date.tm_year = t.year - 1900;
    date.tm_mon = t.month - 1;
    date.tm_mday = t.day;
    date.tm_hour = 12;
    std::mktime(&date);
    EXPECT_EQ(t.weekday, (date.tm_wday + 6) % 7);
}

TEST(Win32Clock, MonotonicClockCountsForward) {
    Win32Clock clock;
    const auto a = clock.monotonicMs();
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    const auto b = clock.monotonicMs();
    EXPECT_GE(b - a, 90);  // the tick count moves in steps of up to 16 ms
    EXPECT_LT(b - a, 5000);
    EXPECT_GT(a, 0);
}

}  // namespace

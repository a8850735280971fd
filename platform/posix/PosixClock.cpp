#include "platform/posix/PosixClock.h"

#include <time.h>

namespace nocturo::platform {

LocalTime PosixClock::now() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    const time_t seconds = ts.tv_sec;
    tm t{};
    localtime_r(&seconds, &t);
    LocalTime lt;
    lt.year = t.tm_year + 1900;
    lt.month = t.tm_mon + 1;
    lt.day = t.tm_mday;
    lt.hour = t.tm_hour;
    lt.minute = t.tm_min;
    lt.second = t.tm_sec;
    lt.millisecond = static_cast<int>(ts.tv_nsec / 1000000);
    lt.weekday = (t.tm_wday + 6) % 7;  // tm counts from Sunday, the program from Monday
    return lt;
}

std::int64_t PosixClock::monotonicMs() {
    timespec ts{};
    // The boot clock counts the time the computer slept, so a schedule can
    // tell a clock moved forward from a computer that slept through its moment.
    if (clock_gettime(CLOCK_BOOTTIME, &ts) != 0) clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace nocturo::platform

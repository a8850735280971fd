#pragma once
#include <cstdint>

namespace nocturo::platform {

// A local date and time, to the second.
struct LocalTime {
    int year = 2000, month = 1, day = 1;
    int hour = 0, minute = 0, second = 0;
    int millisecond = 0;
    int weekday = 0;  // 0 = Monday ... 6 = Sunday
};

class IClock {
public:
    virtual ~IClock() = default;
    virtual LocalTime now() = 0;                 // wall clock, local time
    // Never jumps, and keeps counting while the computer sleeps: elapsed real
    // time, whatever is done to the wall clock.
    virtual std::int64_t monotonicMs() = 0;
};

}  // namespace nocturo::platform

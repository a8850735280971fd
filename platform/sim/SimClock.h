#pragma once
// The simulated clock: virtual time that moves only when the simulated event
// loop (or a test) moves it. The monotonic reading starts at 0 ms; the wall
// clock is a chosen start time plus the monotonic reading, so a run that
// starts at 23:59:59 crosses midnight after one virtual second.
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/IClock.h"

namespace nocturo::platform {

class SimClock : public IClock {
public:
    // Starts at NOCTURO_SIM_START ("YYYY-MM-DDTHH:MM:SS") when it is set,
    // otherwise at the real local time of construction. A malformed
    // NOCTURO_SIM_START throws platform::Error.
    SimClock();
    // Starts at the given wall time; its weekday is recomputed from the date.
    explicit SimClock(const LocalTime& start);

    LocalTime now() override;
    std::int64_t monotonicMs() override { return elapsedMs_; }

    // Wall time at monotonic 0. Throws platform::Error for an impossible date
    // or time of day.
    void setStart(const LocalTime& start);
    const LocalTime& start() const { return start_; }
    // Moves the wall clock so that now() reads t, as if the user set the
    // system clock; the monotonic reading does not change.
    void setNow(const LocalTime& t);

    // Moves virtual time forward; a time in the past is ignored (the
    // monotonic clock never goes back).
    void advanceTo(std::int64_t monotonicMs);
    void advance(std::int64_t ms) { advanceTo(elapsedMs_ + (ms > 0 ? ms : 0)); }

    // The real local time, from the standard library.
    static LocalTime realLocalTime();
    // "YYYY-MM-DDTHH:MM:SS" with an optional ".mmm"; nullopt when malformed
    // or when the date does not exist.
    static std::optional<LocalTime> parseStart(std::string_view text);
    // NOCTURO_SIM_START when set, else realLocalTime().
    static LocalTime defaultStart();

    // Calendar arithmetic on local times (no time zone, no daylight saving:
    // the simulated wall clock runs evenly). The weekday of the result is
    // computed from its date.
    static LocalTime addMilliseconds(const LocalTime& t, std::int64_t ms);
    // Milliseconds since 1970-01-01 00:00:00.000 of the same clock.
    static std::int64_t toEpochMs(const LocalTime& t);
    static LocalTime fromEpochMs(std::int64_t ms);
    static bool isValid(const LocalTime& t);

private:
    LocalTime start_;
    std::int64_t startEpochMs_ = 0;
    std::int64_t elapsedMs_ = 0;
};

}  // namespace nocturo::platform

#pragma once
// The system clock and its time zone: what the zone says now, setting the
// clock, and the operating system's own network time service.
#include <cstdint>
#include <string>

namespace nocturo::platform {

// The zone as GetTimeZoneInformation reports it. Biases in minutes:
// UTC = local time + Bias (+ StandardBias or DaylightBias).
struct TimeZoneInformation {
    std::int32_t bias = 0;
    std::string standardName;
    std::int32_t standardBias = 0;
    std::string daylightName;
    std::int32_t daylightBias = 0;
};

namespace tz {
inline constexpr std::uint32_t Unknown = 0;
inline constexpr std::uint32_t Standard = 1;
inline constexpr std::uint32_t Daylight = 2;
inline constexpr std::uint32_t Invalid = 0xFFFFFFFFu;
}  // namespace tz

class ITimeSettings {
public:
    virtual ~ITimeSettings() = default;
    // Fills zone; answers tz::Unknown, tz::Standard, tz::Daylight, or
    // tz::Invalid when the zone could not be read (zone then unchanged).
    virtual std::uint32_t getTimeZoneInformation(TimeZoneInformation& zone) = 0;
    // The clock now, in microseconds since 1970-01-01 00:00:00 UTC.
    virtual std::int64_t utcNowUsec() = 0;
    // Sets the system clock to this UTC instant. Throws platform::Error when
    // the system refuses (no right to, or no service).
    virtual void setTimeUtc(std::int64_t usecUtc) = 0;
    // Whether the system keeps the clock by network time itself.
    virtual bool ntpActive() = 0;
    // Switches the system's network time on or off. Throws platform::Error
    // when refused.
    virtual void setNtp(bool enable) = 0;
    // True where the clock runs in UTC and local time follows from the zone
    // rules, so daylight saving needs no adjusting by a program.
    virtual bool zoneRulesKeepLocalTime() const = 0;
};

}  // namespace nocturo::platform

#pragma once
// The clock on Linux: set through systemd-timedated (org.freedesktop.timedate1
// on the D-Bus system bus), whose polkit rules decide who may; the zone from
// the C library. The clock runs in UTC and local time follows the zone data.
// A refusal (polkit denial, no timedated, no bus) raises platform::Error with
// err::SystemCallFailed naming the D-Bus call and error.
#include <cstdint>
#include <string>

#include "platform/ITimeSettings.h"

namespace nocturo::platform {

class TimedateSettings : public ITimeSettings {
public:
    // busAddress: a D-Bus address; when empty NOCTURO_TIMEDATE_BUS if set,
    // otherwise the system bus.
    explicit TimedateSettings(std::string busAddress = {});

    std::uint32_t getTimeZoneInformation(TimeZoneInformation& zone) override;
    std::int64_t utcNowUsec() override;
    void setTimeUtc(std::int64_t usecUtc) override;
    bool ntpActive() override;
    void setNtp(bool enable) override;
    bool zoneRulesKeepLocalTime() const override { return true; }

private:
    std::string busAddress_;
};

}  // namespace nocturo::platform

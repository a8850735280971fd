#pragma once
// Simulated clock setting: SetTime and SetNTP are journalled; the zone and
// the NTP state are what a test scripts. A clock set moves the simulated
// wall clock to the new time.
#include <cstdint>

#include "platform/ITimeSettings.h"
#include "platform/sim/Journal.h"
#include "platform/sim/SimClock.h"

namespace nocturo::platform {

class SimTimeSettings : public ITimeSettings {
public:
    SimTimeSettings(Journal& journal, SimClock* clock) : journal_(journal), clock_(clock) {}

    std::uint32_t getTimeZoneInformation(TimeZoneInformation& zone) override;
    std::int64_t utcNowUsec() override;
    void setTimeUtc(std::int64_t usecUtc) override;
    bool ntpActive() override { return ntp_; }
    void setNtp(bool enable) override;
    bool zoneRulesKeepLocalTime() const override { return zoneRules_; }

    // The zone reported and which of its times is in force (tz::...).
    void setZone(const TimeZoneInformation& zone, std::uint32_t result) {
        zone_ = zone;
        result_ = result;
    }
    void setNtpActive(bool active) { ntp_ = active; }
    void setZoneRulesKeepLocalTime(bool rules) { zoneRules_ = rules; }
    // Every SetTime / SetNTP is journalled, then throws platform::Error.
    void setRefuse(bool refuse) { refuse_ = refuse; }
    // The clock read is the real one (UTC), as on a desktop that shows real
    // time while the simulated loop's clock stands still; a set clock is
    // still journalled and moves the simulated clock only.
    void readRealClock(bool real) { realClock_ = real; }
    // Minutes to add to local time for UTC, as the zone is in force now.
    std::int32_t currentBias() const;

private:
    Journal& journal_;
    SimClock* clock_;
    TimeZoneInformation zone_;
    std::uint32_t result_ = tz::Unknown;
    bool ntp_ = false;
    bool zoneRules_ = false;
    bool refuse_ = false;
    bool realClock_ = false;
};

}  // namespace nocturo::platform

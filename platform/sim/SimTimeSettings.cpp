#include "platform/sim/SimTimeSettings.h"

#include <chrono>
#include <cstdio>
#include <string>

#include "platform/Error.h"

namespace nocturo::platform {

namespace {
std::string isoText(const LocalTime& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return buf;
}
}  // namespace

std::int32_t SimTimeSettings::currentBias() const {
    if (result_ == tz::Daylight) return zone_.bias + zone_.daylightBias;
    if (result_ == tz::Invalid) return 0;
    return zone_.bias + zone_.standardBias;
}

std::uint32_t SimTimeSettings::getTimeZoneInformation(TimeZoneInformation& zone) {
    if (result_ != tz::Invalid) zone = zone_;
    return result_;
}

std::int64_t SimTimeSettings::utcNowUsec() {
    if (realClock_) {
        using namespace std::chrono;
        return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    }
    const LocalTime local = clock_ ? clock_->now() : SimClock::realLocalTime();
    return (SimClock::toEpochMs(local) + std::int64_t{currentBias()} * 60000) * 1000;
}

void SimTimeSettings::setTimeUtc(std::int64_t usecUtc) {
    const LocalTime utc = SimClock::fromEpochMs(usecUtc / 1000);
    journal_.append(JsonObject{{"call", "SetTime"}, {"usec_utc", usecUtc}, {"utc", isoText(utc)},
                               {"relative", false}, {"interactive", true}});
    if (refuse_) throw Error(err::SystemCallFailed, "SetTime refused: Access denied");
    if (clock_) clock_->setNow(SimClock::fromEpochMs(usecUtc / 1000 - std::int64_t{currentBias()} * 60000));
}

void SimTimeSettings::setNtp(bool enable) {
    journal_.append(JsonObject{{"call", "SetNTP"}, {"enable", enable}, {"interactive", true}});
    if (refuse_) throw Error(err::SystemCallFailed, "SetNTP refused: Access denied");
    ntp_ = enable;
}

}  // namespace nocturo::platform

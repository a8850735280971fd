#include "platform/posix/TimedateSettings.h"

#include <time.h>

#include <chrono>
#include <cstdlib>
#include <utility>

#include "platform/Error.h"

#if NOCTURO_HAVE_SDBUS
#include "platform/posix/SdBus.h"
#endif

namespace nocturo::platform {

TimedateSettings::TimedateSettings(std::string busAddress) : busAddress_(std::move(busAddress)) {
    if (busAddress_.empty()) {
        const char* fromEnv = std::getenv("NOCTURO_TIMEDATE_BUS");
        if (fromEnv) busAddress_ = fromEnv;
    }
}

namespace {
// Offset east of UTC in seconds and the daylight flag at instant t.
bool zoneAt(time_t t, long& gmtoff, int& isdst) {
    struct tm local {};
    if (!localtime_r(&t, &local)) return false;
    gmtoff = local.tm_gmtoff;
    isdst = local.tm_isdst;
    return true;
}
}  // namespace

std::uint32_t TimedateSettings::getTimeZoneInformation(TimeZoneInformation& zone) {
    tzset();
    const time_t now = time(nullptr);
    long offNow = 0;
    int dstNow = 0;
    if (!zoneAt(now, offNow, dstNow)) return tz::Invalid;
    // The standard and daylight offsets: looked for across the coming year.
    long standardOff = dstNow > 0 ? 0 : offNow, daylightOff = dstNow > 0 ? offNow : 0;
    bool haveStandard = dstNow <= 0, haveDaylight = dstNow > 0;
    for (int week = 1; week <= 53 && !(haveStandard && haveDaylight); ++week) {
        long off = 0;
        int dst = 0;
        if (!zoneAt(now + static_cast<time_t>(week) * 7 * 86400, off, dst)) break;
        if (dst > 0 && !haveDaylight) daylightOff = off, haveDaylight = true;
        if (dst == 0 && !haveStandard) standardOff = off, haveStandard = true;
    }
    TimeZoneInformation z;
    z.bias = static_cast<std::int32_t>(-standardOff / 60);
    z.standardName = tzname[0] ? tzname[0] : "";
    z.standardBias = 0;
    z.daylightName = tzname[1] ? tzname[1] : "";
    z.daylightBias = haveDaylight ? static_cast<std::int32_t>(-(daylightOff - standardOff) / 60) : 0;
    zone = z;
    if (dstNow < 0) return tz::Unknown;
    if (!haveDaylight) return tz::Unknown;  // a zone without daylight time, as Windows reports it
    return dstNow > 0 ? tz::Daylight : tz::Standard;
}

std::int64_t TimedateSettings::utcNowUsec() {
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

#if NOCTURO_HAVE_SDBUS

namespace {
constexpr const char* kService = "org.freedesktop.timedate1";
constexpr const char* kPath = "/org/freedesktop/timedate1";
constexpr const char* kInterface = "org.freedesktop.timedate1";
using namespace sdbus;

BusPtr openTimedate(const std::string& address, const char* member) {
    return OpenInteractiveBus(address, Label(kInterface, member));
}
}  // namespace

void TimedateSettings::setTimeUtc(std::int64_t usecUtc) {
    BusPtr bus = openTimedate(busAddress_, "SetTime");
    Call(bus.get(), kService, kPath, kInterface, "SetTime", "xbb", static_cast<int64_t>(usecUtc), 0, 1);
}

bool TimedateSettings::ntpActive() {
    BusPtr bus = OpenBus(busAddress_, Label(kInterface, "NTP"));
    BusError error;
    int value = 0;
    int r = sd_bus_get_property_trivial(bus.get(), kService, kPath, kInterface, "NTP", &error.e, 'b', &value);
    if (r < 0) Fail(Label(kInterface, "NTP"), r, &error.e);
    return value != 0;
}

void TimedateSettings::setNtp(bool enable) {
    BusPtr bus = openTimedate(busAddress_, "SetNTP");
    Call(bus.get(), kService, kPath, kInterface, "SetNTP", "bb", enable ? 1 : 0, 1);
}

#else  // built without libsystemd

namespace {
[[noreturn]] void NotBuilt() { throw Error(err::SystemCallFailed, "systemd-timedated support not built"); }
}  // namespace

void TimedateSettings::setTimeUtc(std::int64_t) { NotBuilt(); }
bool TimedateSettings::ntpActive() { NotBuilt(); }
void TimedateSettings::setNtp(bool) { NotBuilt(); }

#endif

}  // namespace nocturo::platform

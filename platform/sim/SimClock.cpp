#include "platform/sim/SimClock.h"

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <string>

#include "platform/Error.h"

namespace nocturo::platform {

namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;

// Days since 1970-01-01 of a proleptic Gregorian date.
constexpr std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

struct Civil {
    std::int64_t year;
    int month, day;
};

constexpr Civil CivilFromDays(std::int64_t z) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    return {yoe + era * 400 + (m <= 2), m, d};
}

static_assert(DaysFromCivil(1970, 1, 1) == 0);
static_assert(DaysFromCivil(2000, 3, 1) == 11017);
static_assert(CivilFromDays(11016).month == 2 && CivilFromDays(11016).day == 29);

constexpr int DaysInMonth(std::int64_t y, int m) {
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) return 29;
    return kDays[m - 1];
}

// Floor division and modulo for negative times.
constexpr std::int64_t FloorDiv(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

std::string Describe(const LocalTime& t) {
    return std::to_string(t.year) + "-" + std::to_string(t.month) + "-" + std::to_string(t.day) + " " +
           std::to_string(t.hour) + ":" + std::to_string(t.minute) + ":" + std::to_string(t.second) + "." +
           std::to_string(t.millisecond);
}

}  // namespace

bool SimClock::isValid(const LocalTime& t) {
    return t.year >= 1 && t.year <= 9999 && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
           t.day <= DaysInMonth(t.year, t.month) && t.hour >= 0 && t.hour <= 23 && t.minute >= 0 && t.minute <= 59 &&
           t.second >= 0 && t.second <= 59 && t.millisecond >= 0 && t.millisecond <= 999;
}

std::int64_t SimClock::toEpochMs(const LocalTime& t) {
    return DaysFromCivil(t.year, t.month, t.day) * kMsPerDay +
           ((static_cast<std::int64_t>(t.hour) * 60 + t.minute) * 60 + t.second) * 1000 + t.millisecond;
}

LocalTime SimClock::fromEpochMs(std::int64_t ms) {
    const std::int64_t days = FloorDiv(ms, kMsPerDay);
    std::int64_t rest = ms - days * kMsPerDay;
    const Civil c = CivilFromDays(days);
    LocalTime t;
    t.year = static_cast<int>(c.year);
    t.month = c.month;
    t.day = c.day;
    t.millisecond = static_cast<int>(rest % 1000);
    rest /= 1000;
    t.second = static_cast<int>(rest % 60);
    rest /= 60;
    t.minute = static_cast<int>(rest % 60);
    t.hour = static_cast<int>(rest / 60);
    // 1970-01-01 was a Thursday (3 when Monday is 0).
    t.weekday = static_cast<int>(((days + 3) % 7 + 7) % 7);
    return t;
}

LocalTime SimClock::addMilliseconds(const LocalTime& t, std::int64_t ms) { return fromEpochMs(toEpochMs(t) + ms); }

LocalTime SimClock::realLocalTime() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t secs = std::chrono::system_clock::to_time_t(now);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm tm{};
    if (const std::tm* local = std::localtime(&secs)) tm = *local;
    LocalTime t;
    t.year = tm.tm_year + 1900;
    t.month = tm.tm_mon + 1;
    t.day = tm.tm_mday;
    t.hour = tm.tm_hour;
    t.minute = tm.tm_min;
    t.second = tm.tm_sec > 59 ? 59 : tm.tm_sec;  // a leap second reads as :59
    t.millisecond = static_cast<int>(ms < 0 ? 0 : ms);
    return fromEpochMs(toEpochMs(t));              // fills in the weekday
}

std::optional<LocalTime> SimClock::parseStart(std::string_view text) {
    // YYYY-MM-DDTHH:MM:SS[.mmm]
    auto digits = [&](std::size_t at, std::size_t count) -> std::optional<int> {
        if (at + count > text.size()) return std::nullopt;
        int v = 0;
        for (std::size_t i = at; i < at + count; ++i) {
            if (text[i] < '0' || text[i] > '9') return std::nullopt;
            v = v * 10 + (text[i] - '0');
        }
        return v;
    };
    auto is = [&](std::size_t at, char c) { return at < text.size() && text[at] == c; };
    if (text.size() != 19 && text.size() != 23) return std::nullopt;
    if (!is(4, '-') || !is(7, '-') || !is(10, 'T') || !is(13, ':') || !is(16, ':')) return std::nullopt;
    auto y = digits(0, 4), mo = digits(5, 2), d = digits(8, 2), h = digits(11, 2), mi = digits(14, 2),
         s = digits(17, 2);
    if (!y || !mo || !d || !h || !mi || !s) return std::nullopt;
    LocalTime t;
    t.year = *y;
    t.month = *mo;
    t.day = *d;
    t.hour = *h;
    t.minute = *mi;
    t.second = *s;
    if (text.size() == 23) {
        auto ms = digits(20, 3);
        if (!is(19, '.') || !ms) return std::nullopt;
        t.millisecond = *ms;
    }
    if (!isValid(t)) return std::nullopt;
    return fromEpochMs(toEpochMs(t));
}

LocalTime SimClock::defaultStart() {
    const char* env = std::getenv("NOCTURO_SIM_START");
    if (!env || !*env) return realLocalTime();
    auto t = parseStart(env);
    if (!t)
        throw Error(err::InvalidProcedureCall,
                    std::string("NOCTURO_SIM_START is not a time of the form YYYY-MM-DDTHH:MM:SS: ") + env);
    return *t;
}

SimClock::SimClock() { setStart(defaultStart()); }

SimClock::SimClock(const LocalTime& start) { setStart(start); }

void SimClock::setStart(const LocalTime& start) {
    if (!isValid(start)) throw Error(err::InvalidProcedureCall, "not a valid local time: " + Describe(start));
    startEpochMs_ = toEpochMs(start);
    start_ = fromEpochMs(startEpochMs_);
}

void SimClock::setNow(const LocalTime& t) {
    if (!isValid(t)) throw Error(err::InvalidProcedureCall, "not a valid local time: " + Describe(t));
    startEpochMs_ = toEpochMs(t) - elapsedMs_;
    start_ = fromEpochMs(startEpochMs_);
}

LocalTime SimClock::now() { return fromEpochMs(startEpochMs_ + elapsedMs_); }

void SimClock::advanceTo(std::int64_t monotonicMs) {
    if (monotonicMs > elapsedMs_) elapsedMs_ = monotonicMs;
}

}  // namespace nocturo::platform

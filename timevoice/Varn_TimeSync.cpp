#include "timevoice/Varn_TimeSync.h"

#include "base/Strings.h"
#include "base/Variant.h"
#include "base/Varn_ErrorLog.h"
#include "timevoice/Varn_PlaySound.h"

namespace nocturo {

namespace {
bool g_armed = false;

bool splitClock(const std::string& caption, std::string& hours, std::string& minutes) {
    size_t p1 = caption.find(':');
    if (p1 == std::string::npos) return false;
    size_t p2 = caption.find(':', p1 + 1);
    if (p2 == std::string::npos) return false;
    hours = caption.substr(0, p1);
    minutes = caption.substr(p1 + 1, p2 - p1 - 1);
    return true;
}
}  // namespace

void ResetVoiceClock() { g_armed = false; }

std::string VoiceTimeText(const std::string& clockCaption) {
    std::string hours, minutes;
    if (!splitClock(clockCaption, hours, minutes)) return "";
    if (minutes.size() == 1) minutes = "0" + minutes;
    if (hours.size() == 1) hours = "0" + hours;
    std::string text = hours + ":" + minutes;
    std::string lower = LCase(clockCaption);
    if (lower.find("am") != std::string::npos) text += " am";
    if (lower.find("pm") != std::string::npos) text += " pm";
    return text;
}

void VoiceTime(const std::string& clockCaption, const std::string& period, bool immediate) {
    try {
        std::string hours, minutes;
        if (!splitClock(clockCaption, hours, minutes)) return;
        if (!immediate) {
            const int every = static_cast<int>(Val(period));
            const int minute = static_cast<int>(Val(minutes));
            if (every <= 0 || minute % every != 0) {
                g_armed = true;
                return;
            }
            if (!g_armed) return;
            g_armed = false;
        }
        Announce("The time is now " + VoiceTimeText(clockCaption));
    } catch (...) {
        ReportCurrentException("VoiceTime of Modul Varn_TimeSync", 3);
    }
}

}  // namespace nocturo

// ---- setting the clock -------------------------------------------------------

#include "base/Links.h"
#include "base/Runtime.h"
#include "platform/Error.h"
#include "timevoice/Varn_Internet.h"

namespace nocturo {

namespace {
constexpr const char* kAtomicProc = "DoAtomicTime of Modul Varn_TimeSync";
constexpr const char* kMarker = "white\"><b>";
constexpr std::size_t kFirstSearched = 1000;  // 1-based position the search starts at
constexpr int kAttempts = 10;
constexpr std::int64_t kDayUsec = 86400LL * 1000000;

std::optional<int> twoDigits(const std::string& text, std::size_t at) {
    const char a = text[at], b = text[at + 1];
    if (a < '0' || a > '9' || b < '0' || b > '9') return std::nullopt;
    return (a - '0') * 10 + (b - '0');
}
}  // namespace

platform::TimeZoneInformation& TimeZoneInfo() {
    static platform::TimeZoneInformation zone;
    return zone;
}
bool DaylightActive = false;

std::optional<int> ParseAtomicTime(const std::string& page, std::string& problem) {
    const std::size_t marker = page.size() < kFirstSearched ? std::string::npos : page.find(kMarker, kFirstSearched - 1);
    if (marker == std::string::npos) {
        problem = "time not found on the time page";
        return std::nullopt;
    }
    const std::string text = page.substr(marker + std::char_traits<char>::length(kMarker), 8);
    auto bad = [&] {
        problem = "not a time of day on the time page: \"" + text + "\"";
        return std::nullopt;
    };
    if (text.size() != 8 || text[2] != ':' || text[5] != ':') return bad();
    const auto h = twoDigits(text, 0), m = twoDigits(text, 3), s = twoDigits(text, 6);
    if (!h || !m || !s || *h > 23 || *m > 59 || *s > 59) return bad();
    return *h * 3600 + *m * 60 + *s;
}

std::int64_t AtomicTimeInstant(std::int64_t nowUtcUsec, int secondsOfDay) {
    std::int64_t day = nowUtcUsec / kDayUsec;
    if (nowUtcUsec % kDayUsec < 0) --day;
    std::int64_t t = day * kDayUsec + (std::int64_t{secondsOfDay} + 1) * 1000000;
    if (t - nowUtcUsec > kDayUsec / 2) t -= kDayUsec;
    else if (nowUtcUsec - t > kDayUsec / 2) t += kDayUsec;
    return t;
}

std::int32_t AtomicTimeBias(const platform::TimeZoneInformation& zone, bool adjustDaylight, bool daylightActive) {
    return adjustDaylight && daylightActive ? zone.bias + zone.daylightBias : zone.bias + zone.standardBias;
}

Task DoAtomicTime(AtomicTimeOutcome& outcome, bool adjustDaylight) {
    outcome = AtomicTimeOutcome{};
    std::string buffer;
    std::optional<int> secondsOfDay;
    for (int attempt = 1; attempt <= kAttempts && !secondsOfDay; ++attempt) {
        try {
            platform::HttpResponse page = co_await FetchPage(links::TimePage);
            buffer = std::move(page.body);
        } catch (...) {
            ReportCurrentException(kAtomicProc, 3);  // the buffer keeps what it had
        }
        std::string problem;
        secondsOfDay = ParseAtomicTime(buffer, problem);
        if (!secondsOfDay && buffer.size() >= kFirstSearched && buffer.find(kMarker, kFirstSearched - 1) != std::string::npos)
            WriteErrorLog(kProductSource, kAtomicProc, 4, platform::err::TypeMismatch, problem);
    }
    if (!secondsOfDay) co_return;

    try {
        // The zone decides only what local time that is; the clock itself is
        // set to the instant.
        (void)AtomicTimeBias(TimeZoneInfo(), adjustDaylight, DaylightActive);
        platform::ITimeSettings& time = timeSettings();
        time.setTimeUtc(AtomicTimeInstant(time.utcNowUsec(), *secondsOfDay));
    } catch (...) {
        outcome.refusal = CurrentErrorInfo().second;
        ReportCurrentException(kAtomicProc, 5);
    }
    outcome.clockSet = true;
}

}  // namespace nocturo

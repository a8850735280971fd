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

#include "base/Runtime.h"
#include "base/Sntp.h"
#include "base/Varn_Registry.h"
#include "platform/Error.h"
#include "timevoice/Varn_Internet.h"

namespace nocturo {

namespace {
constexpr const char* kAtomicProc = "DoAtomicTime of Modul Varn_TimeSync";
constexpr const char* kMarker = "white\"><b>";
constexpr std::size_t kFirstSearched = 1000;  // 1-based position the search starts at
constexpr int kAttempts = 10;
constexpr std::int64_t kDayUsec = 86400LL * 1000000;
constexpr const char* kTimePagePath = "/timezone.cgi?UTC";
constexpr int kSntpPollMs = 5;  // the answer's arrival is timed by the worker, not by this

std::string Capitalised(std::string text) {
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return text;
}

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

std::string TimeServerSetting() {
    std::string server;
    try {
        server = Trim(CStr(ReadSetting(UserApp(), kSettings, "TimeServer", std::string(sntp::DefaultServer))));
    } catch (...) {
        ReportCurrentException(kAtomicProc, 1);
    }
    return server.empty() ? std::string(sntp::DefaultServer) : server;
}

bool IsTimePageAddress(const std::string& server) {
    const std::string lower = LCase(server);
    return lower.rfind("http://", 0) == 0 || lower.rfind("https://", 0) == 0;
}

std::string TimePageUrl(const std::string& address) {
    const std::size_t scheme = address.find("://");
    const std::size_t path = address.find('/', scheme + 3);
    if (path == std::string::npos) return address + kTimePagePath;
    if (path == address.size() - 1) return address.substr(0, path) + kTimePagePath;
    return address;
}

std::string ClockOffsetText(std::int64_t offsetUsec) {
    const std::string amount = sntp::SecondsText(offsetUsec);
    if (amount == "0.000 s") return "the clock is right to the millisecond";
    return "the clock is " + amount + (offsetUsec > 0 ? " slow" : " fast");
}

std::string ClockMoveText(std::int64_t movedUsec) {
    const std::string amount = sntp::SecondsText(movedUsec);
    if (amount == "0.000 s") return "the clock was right to the millisecond";
    return "the clock was moved " + amount + (movedUsec > 0 ? " forward" : " back");
}

PacketExchange::PacketExchange(std::string host, std::uint16_t port, std::vector<std::uint8_t> question,
                               int timeoutMs, int pollMs)
    : PolledWait(pollMs), host_(std::move(host)), port_(port), question_(std::move(question)), timeoutMs_(timeoutMs) {}

bool PacketExchange::look() {
    try {
        if (!exchange_) exchange_ = netTime().begin(host_, port_, question_, timeoutMs_);
        answer_ = exchange_->poll();
        if (!answer_) return false;
    } catch (...) {
        failure_ = std::current_exception();
    }
    exchange_.reset();
    return true;
}

platform::UdpAnswer PacketExchange::await_resume() {
    if (failure_) std::rethrow_exception(failure_);
    return std::move(*answer_);
}

namespace {

// The offset to the time page's clock: up to 10 fetches until one shows the
// time. A page the server answers with anything but 200 is not read.
Task measureByPage(const std::string& address, std::optional<std::int64_t>& offset, std::string& problem) {
    const std::string url = TimePageUrl(address);
    std::string buffer;
    for (int attempt = 1; attempt <= kAttempts && !offset; ++attempt) {
        std::optional<platform::HttpResponse> page;
        try {
            page = co_await FetchPage(url);
        } catch (...) {
            problem = "no answer from " + url + ": " + CurrentErrorInfo().second;
            ReportCurrentException(kAtomicProc, 3);  // the buffer keeps what it had
        }
        if (page && page->status != 200) {
            problem = "HTTP status " + std::to_string(page->status) + " from " + url;
            WriteErrorLog(kProductSource, kAtomicProc, 3, platform::err::SystemCallFailed, problem);
            co_return;  // asking again gets the same
        }
        if (page) buffer = std::move(page->body);
        std::string notFound;
        const std::optional<int> secondsOfDay = ParseAtomicTime(buffer, notFound);
        if (secondsOfDay) {
            const std::int64_t now = timeSettings().utcNowUsec();
            offset = AtomicTimeInstant(now, *secondsOfDay) - now;
        } else if (page) {
            problem = notFound + " (" + url + ")";
            if (buffer.size() >= kFirstSearched && buffer.find(kMarker, kFirstSearched - 1) != std::string::npos)
                WriteErrorLog(kProductSource, kAtomicProc, 4, platform::err::TypeMismatch, notFound);
        }
    }
}

// The offset to a time server by one SNTP exchange.
Task measureBySntp(const std::string& server, int timeoutMs, std::optional<std::int64_t>& offset,
                   std::string& problem) {
    const std::optional<sntp::ServerAddress> address = sntp::ParseServer(server);
    if (!address) {
        problem = "\"" + server + "\" is no time server's name";
        WriteErrorLog(kProductSource, kAtomicProc, 2, platform::err::InvalidProcedureCall, problem);
        co_return;
    }
    std::optional<platform::UdpAnswer> answer;
    std::int64_t t0 = 0;
    std::uint64_t transmit = 0;
    try {
        t0 = timeSettings().utcNowUsec();
        // The low bits of the fraction (below the clock's resolution) make
        // the question hard to guess for anyone but the server.
        static std::uint32_t salt = static_cast<std::uint32_t>(t0) * 2654435761u;
        salt = salt * 1664525u + 1013904223u;
        transmit = sntp::ToNtp(t0) ^ (salt & 0x3FFu);
        const sntp::Packet question = sntp::BuildRequest(transmit);
        answer = co_await PacketExchange(address->host, address->port,
                                         std::vector<std::uint8_t>(question.begin(), question.end()), timeoutMs,
                                         kSntpPollMs);
    } catch (...) {
        problem = "no answer from " + server + ": " + CurrentErrorInfo().second;
        ReportCurrentException(kAtomicProc, 3);
        co_return;
    }
    if (!answer->answered) {
        problem = "no answer from " + server + " within " + sntp::SecondsText(std::int64_t{timeoutMs} * 1000);
        WriteErrorLog(kProductSource, kAtomicProc, 3, platform::err::SystemCallFailed, problem);
        co_return;
    }
    const std::optional<sntp::Measurement> m =
        sntp::CheckAnswer(answer->data, transmit, t0 + answer->sentAfterUsec, t0 + answer->receivedAfterUsec,
                          server, problem);
    if (!m) {
        WriteErrorLog(kProductSource, kAtomicProc, 4, platform::err::TypeMismatch, problem);
        co_return;
    }
    offset = m->offsetUsec;
}

}  // namespace

Task DoAtomicTime(AtomicTimeOutcome& outcome, bool adjustDaylight, AtomicTimeRequest request) {
    outcome = AtomicTimeOutcome{};
    outcome.server = TimeServerSetting();
    std::optional<std::int64_t> offset;
    {
        Task measure = IsTimePageAddress(outcome.server)
                           ? measureByPage(outcome.server, offset, outcome.problem)
                           : measureBySntp(outcome.server, request.timeoutMs, offset, outcome.problem);
        co_await measure;
    }
    if (!offset) {
        if (outcome.problem.empty()) outcome.problem = "no time from " + outcome.server;
        co_return;
    }
    outcome.problem.clear();
    outcome.measured = true;
    outcome.offsetUsec = *offset;
    if (!request.setClock) co_return;

    if (*offset > kDayUsec || *offset < -kDayUsec) {
        const std::string jump = "the time of " + outcome.server + " is " + sntp::SecondsText(*offset) + " " +
                                 (*offset > 0 ? "ahead of" : "behind") + " this computer's clock";
        bool confirmed = false;
        if (request.mayAsk) {
            Step(kAtomicProc, 6, [&] {
                confirmed = dialogs().messageBox("Set the clock anyway? " + Capitalised(jump) + ", more than a day.",
                                                 platform::mb::YesNo | platform::mb::Question |
                                                     platform::mb::DefaultButton2 | platform::mb::SystemModal,
                                                 rt().appName) == platform::mb::IdYes;
            });
            if (co_await Cancelled{}) co_return;
        }
        if (!confirmed) {
            outcome.problem = jump + ", more than a day: the clock was left alone";
            if (!request.mayAsk)
                WriteErrorLog(kProductSource, kAtomicProc, 6, platform::err::InvalidProcedureCall, outcome.problem);
            co_return;
        }
    }

    try {
        // The zone decides only what local time that is; the clock itself is
        // set to the instant.
        (void)AtomicTimeBias(TimeZoneInfo(), adjustDaylight, DaylightActive);
        platform::ITimeSettings& time = timeSettings();
        time.setTimeUtc(time.utcNowUsec() + *offset);
    } catch (...) {
        outcome.refusal = CurrentErrorInfo().second;
        ReportCurrentException(kAtomicProc, 5);
    }
    outcome.clockSet = true;
}

}  // namespace nocturo

#pragma once
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Task.h"
#include "platform/ISntp.h"
#include "platform/ITimeSettings.h"

namespace nocturo {

// The spoken clock. clockCaption is the main window's clock label, period
// the selected minutes ("60", "30", ...). Not immediate: speaks once when
// the minute reaches a multiple of the period.
void VoiceTime(const std::string& clockCaption, const std::string& period, bool immediate);
// The text VoiceTime speaks for a clock caption ("" when it has no two colons).
std::string VoiceTimeText(const std::string& clockCaption);
void ResetVoiceClock();

// ---- setting the clock from a time server ----------------------------------

// The zone as the last synchronisation read it, and whether daylight time
// was in force then. Kept for the whole run.
platform::TimeZoneInformation& TimeZoneInfo();
extern bool DaylightActive;

// The UTC time of day on the time page, in seconds since midnight: the
// HH:MM:SS right behind the marker, the marker looked for from character
// 1000 on. Nothing when it is not there or not a time of day (problem says
// why).
std::optional<int> ParseAtomicTime(const std::string& page, std::string& problem);
// The instant to set: the UTC date of nowUtcUsec at secondsOfDay, plus the
// one second the page lags; of that day and its neighbours, the one nearest
// to now, so a page read around midnight lands on the right date.
std::int64_t AtomicTimeInstant(std::int64_t nowUtcUsec, int secondsOfDay);
// Minutes from local time to UTC as the clock is to be kept: with daylight
// adjusting on and daylight time in force, Bias + DaylightBias, otherwise
// Bias + StandardBias.
std::int32_t AtomicTimeBias(const platform::TimeZoneInformation& zone, bool adjustDaylight, bool daylightActive);

// ---- the time server --------------------------------------------------------

// The "TimeServer" setting of the user's tree, sntp::DefaultServer when it is
// not set or empty: an SNTP server ("host" or "host:port"), or the http://
// or https:// address of a time page.
std::string TimeServerSetting();
bool IsTimePageAddress(const std::string& server);
// The page read from a time page address: the address itself when it names
// a path, else its host's "/timezone.cgi?UTC".
std::string TimePageUrl(const std::string& address);
// "the clock is 0.012 s fast" (offsetUsec < 0: the server is behind this
// clock) or "... slow", for the offset to add to this clock.
std::string ClockOffsetText(std::int64_t offsetUsec);
// "the clock was moved 0.012 s forward" (or "back").
std::string ClockMoveText(std::int64_t movedUsec);

// An SNTP question and its answer, for a task: co_await gives the answer (or
// its absence after the time-out); a question that could not be sent is
// thrown (platform::Error) at the co_await.
class PacketExchange : public PolledWait {
public:
    PacketExchange(std::string host, std::uint16_t port, std::vector<std::uint8_t> question, int timeoutMs,
                   int pollMs = 20);
    platform::UdpAnswer await_resume();

private:
    bool look() override;
    std::string host_;
    std::uint16_t port_;
    std::vector<std::uint8_t> question_;
    int timeoutMs_;
    std::unique_ptr<platform::IUdpExchange> exchange_;
    std::optional<platform::UdpAnswer> answer_;
    std::exception_ptr failure_;
};

struct AtomicTimeRequest {
    bool setClock = true;  // false: only measure the offset (the system's network time keeps the clock)
    bool mayAsk = false;   // a jump of more than a day may be put to the user; else it is refused
    int timeoutMs = 5000;  // how long an SNTP server has to answer
};

struct AtomicTimeOutcome {
    std::string server;           // the time server asked ("TimeServer")
    bool measured = false;        // its time was read and found sound
    std::int64_t offsetUsec = 0;  // its time minus this clock's, when measured
    std::string problem;          // why no time was taken (not measured, or a jump refused)
    bool clockSet = false;        // a time was handed to the system
    std::string refusal;          // the system would not set it (the reason)
};
// Asks the time server ("TimeServer": SNTP, or up to 10 fetches of a time
// page), checks its answer and, as request says, sets the clock. A task:
// the loop goes on while the server is asked.
Task DoAtomicTime(AtomicTimeOutcome& outcome, bool adjustDaylight, AtomicTimeRequest request = {});

}  // namespace nocturo

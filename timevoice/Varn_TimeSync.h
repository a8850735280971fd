#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "base/Task.h"
#include "platform/ITimeSettings.h"

namespace nocturo {

// The spoken clock. clockCaption is the main window's clock label, period
// the selected minutes ("60", "30", ...). Not immediate: speaks once when
// the minute reaches a multiple of the period.
void VoiceTime(const std::string& clockCaption, const std::string& period, bool immediate);
// The text VoiceTime speaks for a clock caption ("" when it has no two colons).
std::string VoiceTimeText(const std::string& clockCaption);
void ResetVoiceClock();

// ---- setting the clock from the time service's page ------------------------

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

struct AtomicTimeOutcome {
    bool clockSet = false;  // a time was read and handed to the system
    std::string refusal;    // the system would not set it (the reason)
};
// Fetches the time page (up to 10 times), reads the time and sets the
// clock. A task: the loop goes on during the fetches.
Task DoAtomicTime(AtomicTimeOutcome& outcome, bool adjustDaylight);

}  // namespace nocturo

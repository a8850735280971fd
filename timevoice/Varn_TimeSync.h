#pragma once
#include <string>

namespace nocturo {

// The spoken clock. clockCaption is the main window's clock label, period
// the selected minutes ("60", "30", ...). Not immediate: speaks once when
// the minute reaches a multiple of the period.
void VoiceTime(const std::string& clockCaption, const std::string& period, bool immediate);
// The text VoiceTime speaks for a clock caption ("" when it has no two colons).
std::string VoiceTimeText(const std::string& clockCaption);
void ResetVoiceClock();

}  // namespace nocturo

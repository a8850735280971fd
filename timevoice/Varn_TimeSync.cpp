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

#include "timevoice/Varn_PlaySound.h"

#include "base/Runtime.h"
#include "base/Varn_ErrorLog.h"
#include "base/Varn_GetSystemInfos.h"
#include "base/Varn_Registry.h"
#include "platform/ISound.h"

namespace nocturo {

bool HasSound() {
    bool available = false;
    try {
        available = sound().available();
    } catch (...) {
        ReportCurrentException("HasSound of Modul Varn_PlaySound", 1);
        available = false;
    }
    rt().soundAvailable = available;
    return available;
}

std::string ResolveSoundName(const std::string& name, bool isEvent) {
    std::string resolved = name;
    if (files().pathStyle() != platform::PathStyle::Windows) {
        // Without a Windows sound scheme the backend plays events by name
        // and files by path.
        return resolved;
    }
    if (isEvent && resolved.find('.') == std::string::npos)
        resolved = ReadKey("HKEY_CURRENT_USER\\AppEvents\\Schemes\\Apps\\.Default\\" + resolved + "\\.Current\\");
    if (resolved.find("%SystemRoot%") != std::string::npos)
        resolved = GetWinDir() + resolved.substr(resolved.size() >= 12 ? 12 : resolved.size());
    else if (resolved.find(':') == std::string::npos)
        resolved = GetWinDir() + "\\media\\" + resolved;
    return resolved;
}

void PlaySoundOnce(const std::string& name, bool isEvent) {
    try {
        std::string resolved = ResolveSoundName(name, isEvent);
        if (HasSound()) sound().playSound(resolved, platform::snd::Async);
    } catch (...) {
        ReportCurrentException("PlaySoundOnce of Modul Varn_PlaySound", 3);
    }
}

void Announce(const std::string& text) {
    if (!rt().soundAvailable || !rt().pf.speech) return;
    try {
        speech().speak(text, platform::spk::IsNotXml);
    } catch (...) {
        ReportCurrentException("Announce of Modul Varn_PlaySound", 1);
    }
}

}  // namespace nocturo

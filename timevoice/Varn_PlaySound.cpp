#include "timevoice/Varn_PlaySound.h"

#include "base/Runtime.h"
#include "base/Varn_ErrorLog.h"
#include "base/Links.h"
#include "base/Varn_GetSystemInfos.h"
#include "base/Varn_Language.h"
#include "base/Varn_Registry.h"
#include "platform/IDialogs.h"
#include "platform/IFileSystem.h"
#include "platform/IProcesses.h"
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

std::string SpeechMissingNotice(bool windows) {
    if (windows) {
        const links::Addresses& web = links::Current();
        if (web.speechInstaller.empty() || web.speechVoice.empty())
            return LangText(52) + "\n" + LangText(53) + "\n" +
                   "Add a voice in Windows' settings (Time & language, Speech)." + "\n" + LangText(54) + "\n\n" +
                   LangText(57);
        return LangText(52) + "\n" + LangText(53) + "\n" + "Download url: " + web.speechInstaller + "\n" +
               "Download url: " + web.speechVoice + "\n" + LangText(54) + "\n\n" + LangText(55) + "\n" +
               LangText(56) + "\n\n" + LangText(57);
    }
    // Nothing to download: the distribution has the engine as packages.
    return LangText(52) + "\n" + LangText(53) + "\n" +
           "Install the packages espeak-ng and espeak-ng-data (for example: sudo apt install espeak-ng "
           "espeak-ng-data)." +
           "\n" + LangText(54) + "\n\n" + LangText(57);
}

void Ini_TTS() {
    const char* p = " Ini_TTS of Modul Varn_PlaySound";
    bool created = false;
    try {
        created = rt().pf.speech && speech().available();
    } catch (...) {
        ReportCurrentException(p, 1);
        created = false;
    }
    if (created) {
        // Written when it changes only: the machine tree takes administrator rights.
        Step(p, 2, [] {
            if (!CBool(ReadSetting(MachineApp(), kSettings, "TTS", false)))
                WriteSetting(MachineApp(), kSettings, "TTS", true);
        });
        return;
    }
    rt().soundAvailable = false;
    Step(p, 3, [&] {
        if (!CBool(ReadSetting(MachineApp(), kSettings, "TTS", true))) return;
        const bool windows = files().pathStyle() == platform::PathStyle::Windows;
        const links::Addresses& web = links::Current();
        const bool downloads = windows && !web.speechInstaller.empty() && !web.speechVoice.empty();
        const int style = downloads ? platform::mb::OkCancel | platform::mb::SystemModal
                                    : platform::mb::Information | platform::mb::SystemModal;
        const int answer = dialogs().messageBox(SpeechMissingNotice(windows), style, LangText(23));
        WriteSetting(MachineApp(), kSettings, "TTS", false);
        if (downloads && answer == platform::mb::IdOk) {
            processes().openDocument(web.speechInstaller);
            processes().openDocument(web.speechVoice);
        }
    });
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

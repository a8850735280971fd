#include "shell/Varn_LockPC.h"

#include "base/InstallLayout.h"
#include "base/Runtime.h"
#include "base/Varn_ErrorLog.h"
#include "base/Varn_GetSystemInfos.h"
#include "base/Varn_Registry.h"
#include "platform/IProcesses.h"
#include "platform/IScreenSaver.h"
#include "platform/ISystemInfo.h"
#include "shell/FrmMainParts.h"

namespace nocturo {

namespace {

constexpr const char* kScreenSaverValue = "HKEY_CURRENT_USER\\Control panel\\Desktop\\SCRNSAVE.EXE";

// The helper programs' folder: the program folder, or libexec/nocturo of a
// system install.
std::string inProgramFolder(const std::string& name) {
    return Layout().helperFolder + (frmmain::isWindowsStyle() ? "\\" : "/") + name;
}

// The Linux program of a screen saver file name: the companion programs
// are built without the Windows extension, in lower case.
std::string posixProgramOf(const std::string& name) {
    if (name == kLockScreenSaverName) return LockScreenSaverPath();
    return inProgramFolder(name);
}

}  // namespace

std::string LockProgramPath() {
    return inProgramFolder(frmmain::isWindowsStyle() ? "LockPc.exe" : "lockpc");
}

// On Windows the lock screen saver is installed beside the program as
// LockPcScr.scr, and the system's setting names it by its full path.
std::string LockScreenSaverPath() {
    return inProgramFolder(frmmain::isWindowsStyle() ? kLockScreenSaverName : "lockpcscr");
}

void EnableSCR(bool enable, bool secured) {
    Step("EnableSCR of Modul Varn_LockPC", 1, [&] {
        platform::IScreenSaver& saver = screenSaver();
        // Where the program starts its screen saver itself, the desktop's own
        // blanking and lock are held back only while the secured PC puts the
        // lock program in their place: otherwise an idle computer would no
        // longer lock at all.
        saver.setActive(enable && (saver.runsScreenSaverProgram() || secured));
        rt().screenSaverSetting.active = enable;
    });
}

void SetSceensaverTimeOut(std::int32_t seconds) {
    Step("SetSceensaverTimeOut of Modul Varn_LockPC", 1, [&] {
        screenSaver().setTimeout(seconds);
        rt().screenSaverSetting.timeoutSeconds = seconds;
    });
}

void SetSceensaver(const std::string& name) {
    Step("SetSceensaver of Modul Varn_LockPC", 1, [&] {
        // No name: the system folder alone, which names no screen saver.
        if (frmmain::isWindowsStyle())
            CreateKey(kScreenSaverValue, name.empty() ? GetSysDir() + "\\" : inProgramFolder(name));
        rt().screenSaverSetting.program = name.empty() ? std::string() : posixProgramOf(name);
        rt().screenSaverSetting.startedThisIdle = false;
    });
}

void StartLockProgram() { processes().start(LockProgramPath(), {}, platform::ws::NormalNoFocus); }

void StartLockScreenSaver() { processes().start(LockScreenSaverPath(), {}, platform::ws::MaximizedFocus); }

void RunScreenSaverWhenIdle() {
    auto& s = rt().screenSaverSetting;
    if (!rt().pf.screenSaver || screenSaver().runsScreenSaverProgram()) return;
    if (!s.active || s.program.empty() || s.timeoutSeconds <= 0) return;
    const std::optional<std::int64_t> idle = screenSaver().idleSeconds();
    if (!idle) return;
    if (*idle < s.timeoutSeconds) {
        s.startedThisIdle = false;  // the user is back: the next idle spell starts it again
        return;
    }
    if (s.startedThisIdle || processes().findWindow(kLockScreenSaverTitle)) return;
    s.startedThisIdle = true;  // also when the start fails: once per spell, not every tick
    processes().start(s.program, {}, platform::ws::MaximizedFocus);
}

}  // namespace nocturo

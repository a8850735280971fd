#pragma once
// Program-wide state shared by every module: the platform services, the
// identity of the settings trees and the values start-up computes once.
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/Platform.h"

namespace nocturo {

struct InstallLayout;

struct Runtime {
    platform::Platform pf;
    std::string appName = "Nocturo";  // registry key below the maker's key; message-box title
    std::string userId = "ADMIN";     // names the settings tree of the current user
    std::string machineNumber = "000000000";
    std::string organisation = "NONE";
    int winVersionCode = 0;           // GetWinVersionNum
    bool soundAvailable = false;      // HasSound
    // Called after every error entry (the main window lights its indicator).
    std::function<void()> errorIndicator;
    // Called with every line written to a log file (file path, line); the
    // headless front end prints the action log this way.
    std::function<void(const std::string&, const std::string&)> logObserver;
    // Whether the program has a window shown that a timed box can belong to;
    // unset counts as yes.
    std::function<bool()> activeFormShown;

    // Flags shared between long waits and the handlers that run inside them.
    bool emergency = false;        // set by the emergency stop
    bool tickBusy = false;         // a tick of the main timer is running
    bool cleanUnattended = false;  // the cleaner runs as part of an action
    // The program's end has saved the settings: no setting is written after
    // that save (a write is dropped).
    bool settingsClosed = false;
    // The settings store cannot be used as it is: it was set aside as
    // unreadable (the reason), or its last write failed.
    std::string settingsProblem;
    bool settingsWriteFailing = false;
    // The program runs without windows (on a terminal, or as a service).
    bool headless = false;
    // The program runs as the system service (its state folder is the
    // system's log folder).
    bool runsAsService = false;
    // Where this copy's files are (InstallLayout.h); chosen at its first use.
    std::shared_ptr<const InstallLayout> installLayout;
    bool splashWait = false;       // start-up waits for the splash
    int tickCounter = 0;           // ticks since the crash marker was refreshed

    // The lock screen saver's window was there at the last look of the
    // lock watcher; its end brings up the lock program.
    bool LockScreenSaverSeen = false;
    // The screen saver as the program set it. Where the system does not
    // start the configured program itself, the main timer starts it once
    // the user has been idle for timeoutSeconds (once per idle spell).
    struct ScreenSaverSetting {
        bool active = false;
        std::int32_t timeoutSeconds = 0;
        std::string program;  // full path; empty: none
        bool startedThisIdle = false;
    } screenSaverSetting;
};

// The runtime in use. Tests install their own with RuntimeScope.
Runtime& rt();
bool hasRuntime();

class RuntimeScope {
public:
    explicit RuntimeScope(Runtime& r);
    ~RuntimeScope();
    RuntimeScope(const RuntimeScope&) = delete;
    RuntimeScope& operator=(const RuntimeScope&) = delete;

private:
    Runtime* previous_;
};

// Short access to the services. A service the runtime does not have is a
// failure of the calling statement, never a crash.
template <class T>
T& service(T* p) {
    if (!p) throw std::logic_error("platform service not available");
    return *p;
}
inline platform::IFileSystem& files() { return service(rt().pf.files); }
inline platform::IRegistry& registry() { return service(rt().pf.registry); }
inline platform::IEventLoop& loop() { return service(rt().pf.loop); }
inline platform::IClock& clock() { return service(rt().pf.clock); }
inline platform::ISystemInfo& sysinfo() { return service(rt().pf.system); }
inline platform::IDialogs& dialogs() { return service(rt().pf.dialogs); }
inline platform::IProcesses& processes() { return service(rt().pf.processes); }
inline platform::ISessionPower& power() { return service(rt().pf.power); }
inline platform::IHttp& http() { return service(rt().pf.http); }
inline platform::ISntp& netTime() { return service(rt().pf.sntp); }
inline platform::ISound& sound() { return service(rt().pf.sound); }
inline platform::ISpeech& speech() { return service(rt().pf.speech); }
inline platform::IWindows& windows() { return service(rt().pf.windows); }
inline platform::ITray& tray() { return service(rt().pf.tray); }
inline platform::ITimeSettings& timeSettings() { return service(rt().pf.time); }
inline platform::IScreenSaver& screenSaver() { return service(rt().pf.screenSaver); }

// Lets pending events run once (a no-op before a loop is installed).
void DoEvents();
// The pump of a loop that only waits: lets pending events run, and when none
// is ready sleeps a moment instead of spinning.
void WaitEvents();

}  // namespace nocturo

namespace nocturo {
// Line end of the program's text files: CR LF on Windows, LF elsewhere.
inline const char* LineEnd() {
    return files().pathStyle() == platform::PathStyle::Windows ? "\r\n" : "\n";
}
}  // namespace nocturo

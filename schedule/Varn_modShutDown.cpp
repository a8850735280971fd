#include "schedule/Varn_modShutDown.h"

#include "base/Runtime.h"
#include "base/Varn_ErrorLog.h"
#include "platform/ISessionPower.h"

namespace nocturo {

namespace ewx = platform::ewx;

std::uint32_t ExitWindowsFlags(std::int32_t action, std::int32_t mode, int winVersionCode) {
    std::uint32_t flags = ewx::Logoff;
    switch (action) {
    case 1: flags = ewx::Shutdown; break;
    case 2: flags = ewx::Shutdown | ewx::Reboot; break;
    case 4: flags = ewx::Logoff; break;
    case 8: flags = ewx::Shutdown | ewx::PowerOff; break;
    default: break;
    }
    if (mode == 1) flags |= ewx::Force;
    // Systems older than Windows 2000 know no "force if hung": force instead.
    if (mode == 2 && winVersionCode < 22) {
        mode = 1;
        flags |= ewx::Force;
    }
    if (mode == 2) flags |= ewx::ForceIfHung;
    return flags;
}

bool ExitWindowsSession(std::int32_t action, std::int32_t mode) {
    const char* proc = "ExitWindowsSession of Modul Varn_modShutDown";
    std::uint32_t flags = 0;
    Step(proc, 1, [&] { flags = ExitWindowsFlags(action, mode, rt().winVersionCode); });
    Step(proc, 3, [&] {
        if (rt().winVersionCode >= 20) {
            SetShutdownPrivilege();
        } else if (action == 4 && mode == 1) {
            // The old systems only log off by force once the shell is gone.
            TerminateExplorer();
        }
    });
    // A refused call leaves the program running; the caller decides what
    // follows.
    return Step(proc, 4, [&] { power().exitWindowsEx(flags, 0xFFFFFFFFu); });
}

void SetShutdownPrivilege() {
    Step("SetShutdownPrivilege of Modul Varn_modShutDown", 1, [] { power().enableShutdownPrivilege(); });
}

void TerminateExplorer() {
    Step("TerminateExplorer of Modul Varn_modShutDown", 1, [] { power().terminateShell(); });
}

}  // namespace nocturo

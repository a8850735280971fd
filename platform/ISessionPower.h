#pragma once
#include <cstdint>

namespace nocturo::platform {

// ExitWindowsEx flags.
namespace ewx {
inline constexpr std::uint32_t Logoff = 0x0, Shutdown = 0x1, Reboot = 0x2, Force = 0x4, PowerOff = 0x8,
                               ForceIfHung = 0x10;
}

class ISessionPower {
public:
    virtual ~ISessionPower() = default;
    // Enables the shutdown privilege of this process (AdjustTokenPrivileges).
    virtual void enableShutdownPrivilege() = 0;
    // Ends the session: log off, shut down, restart or power off.
    virtual void exitWindowsEx(std::uint32_t flags, std::uint32_t reserved) = 0;
    virtual void setSuspendState(bool hibernate, bool forceCritical, bool disableWakeEvent) = 0;
    // Terminates the desktop shell process (the old systems' forced log-off).
    virtual void terminateShell() = 0;
    virtual void lockWorkstation() = 0;
    // While blocked, the desktop's own shut down, restart and suspend are
    // refused, and the power and sleep keys do nothing; false lifts the
    // block, as does the end of this process. Where the system offers
    // start-menu policies instead, the program writes those and never calls
    // this. Throws platform::Error when refused.
    virtual void blockSessionEnd(bool blocked) = 0;
};

}  // namespace nocturo::platform

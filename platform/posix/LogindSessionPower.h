#pragma once
// Session and power actions on Linux through systemd-logind
// (org.freedesktop.login1 on the D-Bus system bus); the lock goes to the
// desktop's screen saver on the session bus first.
//
// Every call opens its own bus connection and closes it before returning;
// nothing is held between events but the inhibitor of blockSessionEnd.
// Whether the user may shut down, suspend or end the session is decided by
// logind and polkit per call: a refusal (polkit denial, an inhibitor, no
// logind, no bus) raises platform::Error with err::SystemCallFailed and a
// description naming the D-Bus call and error.
#include <cstdint>
#include <string>

#include "platform/ISessionPower.h"

namespace nocturo::platform {

class LogindSessionPower : public ISessionPower {
public:
    // busAddress: a D-Bus address such as "unix:path=/run/dbus/system_bus_socket".
    // When empty, the environment variable NOCTURO_LOGIND_BUS is used if set,
    // otherwise the system bus. screenSaverBus: the session bus for the lock,
    // as DesktopScreenSaver takes it (NOCTURO_SCREENSAVER_BUS when empty).
    explicit LogindSessionPower(std::string busAddress = {}, std::string screenSaverBus = {});
    // Lifts the block of blockSessionEnd, if one is held.
    ~LogindSessionPower() override;
    LogindSessionPower(const LogindSessionPower&) = delete;
    LogindSessionPower& operator=(const LogindSessionPower&) = delete;

    // False when the program was built without libsystemd; every call that
    // needs logind then fails with "systemd-logind support not built".
    static bool supported() noexcept;

    // Nothing to do: polkit authorises each logind call on its own.
    void enableShutdownPrivilege() override;
    // Reboot bit: Reboot; shutdown or power-off bit: PowerOff; neither: end
    // the caller's own session (TerminateSession). EWX_FORCE makes the call
    // non-interactive, otherwise polkit may ask the user.
    void exitWindowsEx(std::uint32_t flags, std::uint32_t reserved) override;
    // Hibernate or Suspend; interactive unless forceCritical.
    void setSuspendState(bool hibernate, bool forceCritical, bool disableWakeEvent) override;
    // There is no shell process to end on Linux; does nothing.
    void terminateShell() override;
    // org.freedesktop.ScreenSaver.Lock on the session bus; where the desktop
    // has no such service (or there is no session bus), logind's
    // LockSession of the caller's own session.
    void lockWorkstation() override;
    // True takes a logind "block" inhibitor for shutdown, sleep and the
    // power and suspend keys and keeps its file descriptor; logind lifts it
    // when the descriptor closes: at false, or when this object or the
    // process ends. True while held and false while not do nothing.
    void blockSessionEnd(bool blocked) override;

private:
    std::string busAddress_;
    std::string screenSaverBus_;
    int inhibitor_ = -1;  // the descriptor of the held inhibitor
};

}  // namespace nocturo::platform

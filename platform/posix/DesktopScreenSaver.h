#pragma once
// The desktop's screen saver on Linux. The program runs its own screen saver
// once the user has been idle for the time-out; while it is switched on, the
// desktop's own blanking is held off through org.freedesktop.ScreenSaver on
// the session bus (Inhibit, released by UnInhibit or when our connection to
// the bus closes, so the connection is kept while inhibited). The idle time
// comes from the X server (MIT-SCREEN-SAVER) where there is one, else from
// the same D-Bus service.
//
// A desktop without that service (or a session without a bus) is no
// failure: switching on then succeeds with nothing inhibited, and the
// desktop's blanking may come before the program's screen saver.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/IScreenSaver.h"
#include "platform/posix/X11Desktop.h"

namespace nocturo::platform {

class DesktopScreenSaver : public IScreenSaver {
public:
    // busAddress: a D-Bus address for the session bus. When empty, the
    // environment variable NOCTURO_SCREENSAVER_BUS is used if set,
    // otherwise the session bus.
    explicit DesktopScreenSaver(std::string busAddress = {});
    // Releases the inhibition, if one is held.
    ~DesktopScreenSaver() override;
    DesktopScreenSaver(const DesktopScreenSaver&) = delete;
    DesktopScreenSaver& operator=(const DesktopScreenSaver&) = delete;

    // On: Inhibit, keeping the cookie (nothing while one is kept); off:
    // UnInhibit with it. Throws platform::Error when the service refuses.
    void setActive(bool active) override;
    // Only kept: the program compares idleSeconds with it.
    void setTimeout(std::int32_t seconds) override { timeout_ = seconds; }
    // X11's idle time when a display is there, else GetSessionIdleTime,
    // else nullopt.
    std::optional<std::int64_t> idleSeconds() override;
    bool runsScreenSaverProgram() const override { return false; }

    std::int32_t timeout() const { return timeout_; }
    // Whether the desktop's blanking is held off now.
    bool inhibited() const { return cookie_.has_value(); }

    // Locks the screen through org.freedesktop.ScreenSaver.Lock on the
    // session bus (busAddress as for the constructor). False when there is
    // no such service or no session bus; throws platform::Error when the
    // service refuses.
    static bool lockScreen(const std::string& busAddress = {});

private:
    struct Connection;
    Connection* connection();  // null when the session bus cannot be reached
    std::optional<std::int64_t> sessionIdleSeconds();  // GetSessionIdleTime

    std::string busAddress_;
    std::unique_ptr<Connection> connection_;
    std::int32_t timeout_ = 0;
    std::optional<std::uint32_t> cookie_;
    std::string cookiePath_;  // the object path that gave the cookie
    X11Desktop x11_;
};

}  // namespace nocturo::platform

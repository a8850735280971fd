#pragma once
// The desktop's screen saver: whether it starts, after how long, and how long
// the user has been away from the keyboard and mouse.
#include <cstdint>
#include <optional>

namespace nocturo::platform {

class IScreenSaver {
public:
    virtual ~IScreenSaver() = default;
    // Whether the screen saver starts once the time-out has passed with no
    // input (SPI_SETSCREENSAVEACTIVE). Where the program runs its own screen
    // saver (runsScreenSaverProgram false), on also keeps the desktop's own
    // blanking from coming first, and off lets it again. Throws
    // platform::Error when refused.
    virtual void setActive(bool active) = 0;
    // Seconds of no input before the screen saver starts
    // (SPI_SETSCREENSAVETIMEOUT). Throws platform::Error when refused.
    virtual void setTimeout(std::int32_t seconds) = 0;
    // Seconds since the last keyboard or mouse input of this session;
    // nullopt where the desktop cannot tell.
    virtual std::optional<std::int64_t> idleSeconds() = 0;
    // True where the system itself starts the configured screen saver
    // program after the time-out; false where the program must start it when
    // idleSeconds reaches the time-out.
    virtual bool runsScreenSaverProgram() const = 0;
};

}  // namespace nocturo::platform

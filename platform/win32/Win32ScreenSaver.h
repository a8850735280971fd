#pragma once
// The screen saver on Windows: the system starts the chosen screen saver
// program itself after the time-out, so the program only switches it and
// sets the time-out. Those change the user's settings, so they go through
// ScreenSaverCalls, which the tests fill with recorders.
#include <windows.h>

#include <functional>

#include "platform/IScreenSaver.h"

namespace nocturo::platform::win32 {

struct ScreenSaverCalls {
    // SystemParametersInfoW; false with GetLastError's code on failure.
    std::function<BOOL(UINT action, UINT param, void* value, UINT flags)> systemParametersInfo;
    std::function<BOOL(LASTINPUTINFO* info)> getLastInputInfo;
    std::function<DWORD()> getTickCount;
};

// The table of the real Win32 calls.
ScreenSaverCalls SystemScreenSaverCalls();

class Win32ScreenSaver : public IScreenSaver {
public:
    explicit Win32ScreenSaver(ScreenSaverCalls calls = SystemScreenSaverCalls());

    // SPI_SETSCREENSAVEACTIVE with SPIF_SENDCHANGE: for this session, the
    // user's saved profile stays as it was.
    void setActive(bool active) override;
    // SPI_SETSCREENSAVETIMEOUT the same way; a negative time-out is refused.
    void setTimeout(std::int32_t seconds) override;
    // From GetLastInputInfo and GetTickCount (across the tick count's
    // wrap after 49.7 days); nullopt when the input time cannot be read.
    std::optional<std::int64_t> idleSeconds() override;
    bool runsScreenSaverProgram() const override { return true; }

private:
    ScreenSaverCalls calls_;
};

}  // namespace nocturo::platform::win32

#include "platform/win32/Win32ScreenSaver.h"

#include <string>
#include <utility>

#include "platform/Error.h"
#include "platform/win32/WinText.h"

namespace nocturo::platform::win32 {

ScreenSaverCalls SystemScreenSaverCalls() {
    ScreenSaverCalls c;
    c.systemParametersInfo = [](UINT action, UINT param, void* value, UINT flags) {
        return SystemParametersInfoW(action, param, value, flags);
    };
    c.getLastInputInfo = [](LASTINPUTINFO* info) { return GetLastInputInfo(info); };
    c.getTickCount = [] { return GetTickCount(); };
    return c;
}

Win32ScreenSaver::Win32ScreenSaver(ScreenSaverCalls calls) : calls_(std::move(calls)) {}

void Win32ScreenSaver::setActive(bool active) {
    if (!calls_.systemParametersInfo(SPI_SETSCREENSAVEACTIVE, active ? TRUE : FALSE, nullptr, SPIF_SENDCHANGE))
        throw LastError(std::string("SystemParametersInfo SPI_SETSCREENSAVEACTIVE ") + (active ? "on" : "off") +
                        " failed");
}

void Win32ScreenSaver::setTimeout(std::int32_t seconds) {
    if (seconds < 0)
        throw Error(err::InvalidProcedureCall,
                    "Invalid procedure call or argument: screen saver time-out " + std::to_string(seconds));
    if (!calls_.systemParametersInfo(SPI_SETSCREENSAVETIMEOUT, static_cast<UINT>(seconds), nullptr, SPIF_SENDCHANGE))
        throw LastError("SystemParametersInfo SPI_SETSCREENSAVETIMEOUT " + std::to_string(seconds) + " failed");
}

std::optional<std::int64_t> Win32ScreenSaver::idleSeconds() {
    LASTINPUTINFO info{};
    info.cbSize = sizeof info;
    if (!calls_.getLastInputInfo(&info)) return std::nullopt;
    // Unsigned 32-bit difference: right across the wrap as long as the last
    // input is less than 49.7 days ago.
    const DWORD elapsed = calls_.getTickCount() - info.dwTime;
    return static_cast<std::int64_t>(elapsed / 1000);
}

}  // namespace nocturo::platform::win32

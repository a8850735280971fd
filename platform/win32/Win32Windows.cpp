#include "platform/win32/Win32Windows.h"

#include <atomic>
#include <utility>

namespace nocturo::platform::win32 {

namespace {
std::atomic<bool> busyPointer{false};
}  // namespace

WindowsCalls SystemWindowsCalls() {
    WindowsCalls c;
    c.getSystemMetrics = [](int index) { return GetSystemMetrics(index); };
    c.screenDpi = []() -> int {
        HDC screen = GetDC(nullptr);
        if (!screen) return 0;
        const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
        ReleaseDC(nullptr, screen);
        return dpi;
    };
    c.getAsyncKeyState = [](int key) { return GetAsyncKeyState(key); };
    c.showCursor = [](bool busy) { SetCursor(LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW)); };
    return c;
}

int PixelsToTwips(int pixels, int dpi) {
    if (dpi <= 0) dpi = 96;
    // Rounded to the nearest twip; 64 bits so a large screen at a low DPI
    // cannot overflow on the way.
    const long long t = (static_cast<long long>(pixels) * 1440 + dpi / 2) / dpi;
    return static_cast<int>(t);
}

Win32Windows::Win32Windows(WindowsCalls calls) : calls_(std::move(calls)) {}

int Win32Windows::twips(int pixels) { return PixelsToTwips(pixels < 0 ? 0 : pixels, calls_.screenDpi()); }

int Win32Windows::screenWidthTwips() { return twips(calls_.getSystemMetrics(SM_CXSCREEN)); }

int Win32Windows::screenHeightTwips() { return twips(calls_.getSystemMetrics(SM_CYSCREEN)); }

bool Win32Windows::keyDown(int virtualKey) {
    // Virtual keys are 1..254; anything else is no key at all.
    if (virtualKey < 1 || virtualKey > 254) return false;
    return (static_cast<unsigned short>(calls_.getAsyncKeyState(virtualKey)) & 0x8000) != 0;
}

void Win32Windows::setBusyPointer(bool on) {
    busyPointer = on;
    calls_.showCursor(on);
}

bool BusyPointer() { return busyPointer; }

HCURSOR PointerCursor() { return LoadCursorW(nullptr, busyPointer ? IDC_WAIT : IDC_ARROW); }

}  // namespace nocturo::platform::win32

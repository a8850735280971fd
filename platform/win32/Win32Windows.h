#pragma once
// The screen and the keyboard on Windows. The calls go through WindowsCalls
// so that the tests can give any screen and any key state.
#include <windows.h>

#include <functional>

#include "platform/IWindows.h"

namespace nocturo::platform::win32 {

struct WindowsCalls {
    std::function<int(int index)> getSystemMetrics;
    // The screen's LOGPIXELSX (GetDeviceCaps on the screen's DC); 0 when
    // there is no screen DC.
    std::function<int()> screenDpi;
    std::function<SHORT(int virtualKey)> getAsyncKeyState;
    // Shows the cursor now (SetCursor with the loaded IDC_WAIT / IDC_ARROW).
    std::function<void(bool busy)> showCursor;
};

// The table of the real Win32 calls.
WindowsCalls SystemWindowsCalls();

class Win32Windows : public IWindows {
public:
    explicit Win32Windows(WindowsCalls calls = SystemWindowsCalls());

    // SM_CXSCREEN / SM_CYSCREEN pixels at the screen's DPI (96 when it
    // cannot be read), in twips.
    int screenWidthTwips() override;
    int screenHeightTwips() override;
    // The high bit of GetAsyncKeyState: held now (not "pressed since").
    bool keyDown(int virtualKey) override;
    // Sets the process-wide busy flag, which the program's windows read when
    // they answer WM_SETCURSOR (BusyPointer), and shows the cursor at once.
    void setBusyPointer(bool on) override;

private:
    int twips(int pixels);
    WindowsCalls calls_;
};

// Whether the busy pointer is on, for the windows' WM_SETCURSOR.
bool BusyPointer();
// The cursor the program's windows show now: IDC_WAIT while busy, else IDC_ARROW.
HCURSOR PointerCursor();

// Pixels at dpi (96 when dpi is not positive) in twips, 1440 to the inch.
int PixelsToTwips(int pixels, int dpi);

}  // namespace nocturo::platform::win32

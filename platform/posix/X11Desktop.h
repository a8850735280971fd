#pragma once
// What the program asks of an X11 desktop besides the keyboard: its
// top-level windows by title, shown and hidden, and how long the user has
// been idle. libX11 (and libXss for the idle time) are loaded when first
// needed, so the program neither links against them nor needs them on a
// machine without X. Each call opens the display named by DISPLAY and
// closes it again before returning; without DISPLAY nothing is loaded.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace nocturo::platform {

class X11Desktop {
public:
    X11Desktop();
    ~X11Desktop();
    X11Desktop(const X11Desktop&) = delete;
    X11Desktop& operator=(const X11Desktop&) = delete;

    // Whether a top-level window has exactly this title (_NET_WM_NAME, else
    // WM_NAME). The window manager's client list (_NET_CLIENT_LIST) is
    // searched first, then the children of the root window, which is all
    // there is without a window manager and where a window manager puts a
    // window back once it is hidden. False without a display.
    bool findWindow(const std::string& title);
    // Unmaps the first window with this title (show false), or maps and
    // raises it (show true). False when there is no such window or no
    // display.
    bool showWindow(const std::string& title, bool show);
    // Milliseconds since the last keyboard or mouse input, from the X
    // server's MIT-SCREEN-SAVER extension; nullopt without a display,
    // without libXss or when the server lacks the extension.
    std::optional<std::int64_t> idleMilliseconds();

private:
    struct Xlib;
    Xlib* xlib();  // null when libX11 cannot be loaded
    std::unique_ptr<Xlib> xlib_;
    bool tried_ = false;
};

}  // namespace nocturo::platform

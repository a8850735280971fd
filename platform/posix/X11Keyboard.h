#pragma once
// The keyboard's state on an X11 desktop, read from the X server whichever
// window has the focus. libX11 is loaded when first needed, so the program
// neither links against it nor needs it on a machine without X.
#include <memory>

namespace nocturo::platform {

class X11Keyboard {
public:
    X11Keyboard();
    ~X11Keyboard();
    X11Keyboard(const X11Keyboard&) = delete;
    X11Keyboard& operator=(const X11Keyboard&) = delete;

    // Whether the key (a virtual-key code, vk::) is down. False without a
    // display, without libX11, or for a key with no X11 counterpart. When
    // the X server goes away the answer is false and the process goes on;
    // the next call looks for a display again.
    bool keyDown(int virtualKey);
    // Whether a display is open; tried once, and again after one was lost.
    bool connected();

private:
    struct Connection;
    std::unique_ptr<Connection> connection_;
    bool tried_ = false;
};

}  // namespace nocturo::platform

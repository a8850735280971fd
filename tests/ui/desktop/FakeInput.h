#pragma once
// Keys and mouse buttons pressed on the X server itself (the XTEST
// extension), so the program sees them as a user's. libX11 and libXtst are
// loaded at run time; ready() is false where either is missing.
#include <memory>
#include <string>

#include "platform/posix/SharedLibrary.h"

namespace nocturo::test {

class FakeInput {
public:
    FakeInput();
    ~FakeInput();
    FakeInput(const FakeInput&) = delete;
    FakeInput& operator=(const FakeInput&) = delete;

    bool ready() const { return display_ != nullptr; }
    std::string whyNotReady() const { return why_; }

    // X11 key symbols: 0xffe3 Control_L, 0x71 q.
    void key(unsigned long keysym, bool down);
    void moveTo(int x, int y);
    // 1 left, 2 middle, 3 right.
    void button(int number, bool down);
    // Where a point of a window (an X window id) is on the screen, asked of
    // the X server: a window docked in another program's knows no better.
    bool toScreen(unsigned long window, int x, int y, int& screenX, int& screenY);

    // Whether another client holds the keyboard or the pointer: this
    // connection's own grab of it is refused (and let go at once otherwise).
    bool keyboardHeldElsewhere();
    bool pointerHeldElsewhere();
    // Takes the keyboard for this connection until let go (false), as a
    // program with a menu open would.
    bool holdKeyboard(bool hold);
    // Unmaps or maps (and raises) a window from this connection, as another
    // program that hides and shows windows by X would.
    void unmap(unsigned long window);
    void map(unsigned long window);

private:
    void sync();

    platform::SharedLibrary x11_{"libX11.so.6"};
    platform::SharedLibrary xtst_{"libXtst.so.6"};
    void* display_ = nullptr;
    std::string why_;
};

}  // namespace nocturo::test

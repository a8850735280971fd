// The X11 keyboard without an X server to ask: every key reads as up and
// nothing fails. (Under a virtual display the desktop tests press real keys.)
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/IWindows.h"
#include "platform/posix/X11Keyboard.h"

using namespace nocturo::platform;

TEST(X11Keyboard, WithoutADisplayEveryKeyIsUp) {
    const char* old = std::getenv("DISPLAY");
    const std::string saved = old ? old : "";
    setenv("DISPLAY", ":9871", 1);  // no server answers there
    X11Keyboard keyboard;
    EXPECT_FALSE(keyboard.keyDown(vk::Control));
    EXPECT_FALSE(keyboard.keyDown('Q'));
    EXPECT_FALSE(keyboard.connected());
    if (old) setenv("DISPLAY", saved.c_str(), 1);
    else unsetenv("DISPLAY");
}

TEST(X11Keyboard, KeysWithoutAnX11CounterpartAreNeverDown) {
    X11Keyboard keyboard;
    EXPECT_FALSE(keyboard.keyDown(0));
    EXPECT_FALSE(keyboard.keyDown(0x7B));  // F12 is not mapped
}

// The X11 keyboard without an X server to ask: every key reads as up and
// nothing fails. (Under a virtual display the desktop tests press real keys.)
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/IWindows.h"
#include "platform/posix/X11Keyboard.h"
#include "support/PrivateXServer.h"

using namespace nocturo::platform;
using nocturo::test::PrivateXServer;

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

TEST(X11Keyboard, ADesktopThatGoesAwayLeavesTheProgramRunning) {
    if (system("command -v Xvfb >/dev/null 2>&1") != 0) GTEST_SKIP() << "Xvfb is not installed";
    PrivateXServer server;
    if (!server.ready()) GTEST_SKIP() << "no private X server could start";
    const char* old = std::getenv("DISPLAY");
    const std::string saved = old ? old : "";
    setenv("DISPLAY", server.display().c_str(), 1);

    X11Keyboard keyboard;
    EXPECT_FALSE(keyboard.keyDown(vk::Control));
    EXPECT_TRUE(keyboard.connected());

    server.stop();
    // Xlib would end the process here; the keyboard only reads as up.
    EXPECT_FALSE(keyboard.keyDown(vk::Control));
    EXPECT_FALSE(keyboard.keyDown('Q'));
    EXPECT_FALSE(keyboard.connected());

    if (old) setenv("DISPLAY", saved.c_str(), 1);
    else unsetenv("DISPLAY");
}

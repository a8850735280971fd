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

namespace {
// A private X server for one test, on a display number nobody uses.
class PrivateXServer {
public:
    PrivateXServer() {
        for (int n = 170; n < 200 && pid_ < 0; ++n) {
            const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
            const std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
            if (access(socket.c_str(), F_OK) == 0 || access(lock.c_str(), F_OK) == 0) continue;
            display_ = ":" + std::to_string(n);
            pid_ = fork();
            if (pid_ == 0) {
                const int devnull = open("/dev/null", O_WRONLY);
                dup2(devnull, 1);
                dup2(devnull, 2);
                execlp("Xvfb", "Xvfb", display_.c_str(), "-nolisten", "tcp", "-screen", "0", "640x480x24",
                       static_cast<char*>(nullptr));
                _exit(127);
            }
            for (int i = 0; i < 100 && access(socket.c_str(), F_OK) != 0; ++i) usleep(50000);
            ready_ = access(socket.c_str(), F_OK) == 0;
        }
    }
    ~PrivateXServer() { stop(); }
    bool ready() const { return ready_; }
    const std::string& display() const { return display_; }
    void stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = 0;
    }

private:
    pid_t pid_ = -1;
    bool ready_ = false;
    std::string display_;
};
}  // namespace

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

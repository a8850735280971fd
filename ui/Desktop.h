#pragma once
// The program on the desktop: Qt's loop, dialogs, screen and tray behind the
// platform seam, a window for every form that loads, and the main window's
// modal dialogs.
#include <memory>
#include <string>

#include "platform/PlatformHost.h"
#include "platform/IWindows.h"
#include "platform/posix/PosixClock.h"
#include "platform/posix/X11Keyboard.h"
#include "ui/QtDialogs.h"
#include "ui/QtEventLoop.h"
#include "ui/QtTray.h"

namespace nocturo {
class ControlLink;
class Form;
class FrmMain;
struct Runtime;
}

namespace nocturo::ui {

// Whether a desktop session is there to show windows on (X11 or Wayland, or
// a Qt platform named in QT_QPA_PLATFORM).
bool DisplayAvailable();

// The screen Qt shows the windows on.
class QtWindows : public platform::IWindows {
public:
    int screenWidthTwips() override;
    int screenHeightTwips() override;
    // Read from the X server on an X11 desktop; false elsewhere (Wayland
    // keeps the keyboard to the focused window).
    bool keyDown(int virtualKey) override;
    void setBusyPointer(bool on) override;

private:
    bool busy_ = false;
    platform::X11Keyboard keyboard_;
};

// Qt's loop, dialogs and screen for one run on the desktop (made after the
// QApplication).
class DesktopServices {
public:
    // runtime gets the host's services with these in place of the host's
    // loop, dialogs and screen. The simulated machine changes nothing, but on
    // the desktop its windows keep real time.
    void install(Runtime& runtime, const platform::PlatformHost& host);

    QtEventLoop loop;
    QtDialogs dialogs;
    QtWindows screen;

private:
    platform::PosixClock realClock_;
};

// Gives every form that loads its window from now on (null: none).
void InstallDesktopViews(bool on);
// The window of a loaded form, made modal; returns when the form unloads.
void RunModal(Form& form);

// One run of the program on the desktop, set up and ready to start: Qt's
// services in place of the host's, the tray, the main window with its
// modal dialogs, and a window for every form that loads. While it lives,
// SIGINT and SIGTERM end the program the orderly way (UnloadProgram). Needs
// a QApplication that outlives it; one at a time.
class DesktopProgram {
public:
    explicit DesktopProgram(platform::PlatformHost& host, QtTray::Host trayHost = QtTray::Host::Detect);
    ~DesktopProgram();
    DesktopProgram(const DesktopProgram&) = delete;
    DesktopProgram& operator=(const DesktopProgram&) = delete;

    // The start-up (NocturoMain::Main). False when the program ended during
    // it; exitCode() says why.
    // control: the program's control channel (null: none, as in the tests).
    bool start(const std::string& commandLine, ControlLink* control = nullptr);
    // Runs the loop until the program ends; its exit code.
    int run();
    int exitCode() const { return exitCode_; }

    FrmMain& form();
    QtTray& tray();
    Runtime& runtime();

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
    int exitCode_ = 0;
};

// Runs the program with its desktop windows. The host's loop, dialogs and
// screen are replaced by Qt's for the run.
int RunDesktop(platform::PlatformHost& host, const std::string& commandLine, int& argc, char** argv);

}  // namespace nocturo::ui

#pragma once
// The program on the Windows desktop: the Win32 message loop, screen,
// dialogs and tray behind the platform seam, a native window for every form that loads, and
// the main window's modal dialogs.
#include <memory>
#include <string>

#include "platform/PlatformHost.h"
#include "platform/win32/Win32Clock.h"
#include "platform/win32/Win32EventLoop.h"
#include "platform/win32/Win32Windows.h"
#include "ui/win32/Win32Dialogs.h"

namespace nocturo {
class ControlLink;
class Form;
class FrmMain;
struct Runtime;
}

namespace nocturo::ui {
class Win32Tray;
}

namespace nocturo::ui::win32 {

// The Win32 loop, dialogs and screen for one run on the desktop (the main
// program's and the lock programs').
class Win32DesktopServices {
public:
    // runtime gets the host's services with these in place of the host's
    // loop, dialogs and screen. The simulated machine changes nothing, but on
    // the desktop its windows keep real time.
    void install(Runtime& runtime, const platform::PlatformHost& host);

    platform::win32::Win32EventLoop loop;
    platform::win32::Win32Windows screen;
    Win32Dialogs dialogs;

private:
    platform::win32::Win32Clock realClock_;
};

// Gives every form that loads its native window from now on (false: none).
// A window goes once its form unloads, after the handler that unloaded it
// has returned (on the installed loop).
void InstallWin32Views(bool on);
// The window of a loaded form, made modal: the program's other windows take
// no input until the form unloads, and the installed loop runs meanwhile.
void RunWin32Modal(Form& form);

// One run of the program with its native windows, set up and ready to
// start: the Win32 services in place of the host's, the tray, the main
// window with its modal dialogs, and a window for every form that loads.
// One at a time, on the thread that pumps its windows' messages.
class Win32DesktopProgram {
public:
    explicit Win32DesktopProgram(platform::PlatformHost& host);
    ~Win32DesktopProgram();
    Win32DesktopProgram(const Win32DesktopProgram&) = delete;
    Win32DesktopProgram& operator=(const Win32DesktopProgram&) = delete;

    // The start-up (NocturoMain::Main). False when the program ended during
    // it; exitCode() says why.
    // control: the channel the program offers once loaded, and through which
    // a second start hands its command line to the copy that runs.
    bool start(const std::string& commandLine, ControlLink* control = nullptr);
    // Runs the loop until the program ends; its exit code.
    int run();
    int exitCode() const { return exitCode_; }

    FrmMain& form();
    Win32Tray& tray();
    Runtime& runtime();
    platform::win32::Win32EventLoop& loop();

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
    int exitCode_ = 0;
};

// Runs the program with its native windows. The host's loop, screen,
// dialogs and tray are replaced by the Win32 ones for the run.
int RunWin32Desktop(platform::PlatformHost& host, const std::string& commandLine);

}  // namespace nocturo::ui::win32

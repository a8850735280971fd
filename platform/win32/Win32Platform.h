#pragma once
// The real Windows backend, put together as one PlatformHost, and what the
// programs need from Windows before they have one: their folder, their
// arguments in UTF-8 and, for the windowed program, the console it was
// started from.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/PlatformHost.h"

namespace nocturo::platform {

struct Win32Options {
    std::string programFolder;  // folder of the executable; GetModuleFileNameW's when empty
};

// The services on the Win32 API. The loop is a Win32EventLoop; the dialogs
// ask on the console and there is no notification icon (the desktop puts
// its own dialogs and tray in place).
std::unique_ptr<PlatformHost> MakeWin32Platform(const Win32Options& options);

// The folder that holds the running executable (GetModuleFileNameW), in UTF-8.
std::string ExecutableFolder();

namespace win32 {

// The program's arguments (without the program's own name) in UTF-8, from
// GetCommandLineW and CommandLineToArgvW: the narrow argv of the C runtime
// is in the ANSI code page and loses what it cannot show.
std::vector<std::string> Utf8Arguments();

// For a program of the windows subsystem that runs on the console after
// all (--headless): standard input and output that lead nowhere are
// reopened on the console of the parent process, when it has one; handles
// already given (a pipe, a file) stay. The console's output code page
// becomes UTF-8. False when there is neither.
bool AttachParentConsole();

}  // namespace win32

}  // namespace nocturo::platform

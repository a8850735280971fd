// lockpc: the lock window of the secured PC. Full screen on the desktop until
// the options password is typed; on the terminal with --headless or when no
// display is there.
#include <iostream>

#ifndef _WIN32
#include <signal.h>
#endif

#ifdef NOCTURO_HAS_DESKTOP
#include "ui/Desktop.h"
#include "ui/LockPcView.h"
#endif
#ifdef NOCTURO_HAS_WIN32_DESKTOP
#include <windows.h>

#include "ui/win32/Win32FormView.h"
#include "ui/win32/Win32LockPcView.h"
#endif

#include "programs/support/LockPrograms.h"
#include "programs/support/Programs.h"

namespace {

int Run(int argc, char** argv) {
    using namespace nocturo::programs;
    // SIGUSR1 and SIGUSR2 (hide and show the window) would end the program
    // by default: they wait until the window's signal watch takes them, and
    // without a window they are never delivered.
#ifndef _WIN32
    sigset_t held;
    sigemptyset(&held);
    sigaddset(&held, SIGUSR1);
    sigaddset(&held, SIGUSR2);
    pthread_sigmask(SIG_BLOCK, &held, nullptr);
#endif
    ProgramArguments args = ParseProgramArguments(ProgramArgumentList(argc, argv));
    if (auto answered = AnswerOwnOptions(args, "lockpc", LockPcUsage(), NoArguments)) return *answered;
    auto host = MakePlatformFromEnvironment();
#ifdef NOCTURO_HAS_DESKTOP
    if (!args.headless && nocturo::ui::DisplayAvailable()) return nocturo::ui::RunLockPcDesktop(*host, argc, argv);
#endif
#ifdef NOCTURO_HAS_WIN32_DESKTOP
    if (!args.headless && nocturo::ui::win32::DesktopAvailable()) return nocturo::ui::win32::RunWin32LockPc(*host);
#endif
    return RunLockPcHeadless(*host);
}

}  // namespace

#ifdef NOCTURO_HAS_WIN32_DESKTOP
// A program of the windows subsystem, as nocturo.exe: started by the main
// program it opens no console window; started from a console it writes to
// that console (ProgramArgumentList), and the arguments come from the wide
// command line.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return Run(0, nullptr); }
#else
int main(int argc, char** argv) { return Run(argc, argv); }
#endif

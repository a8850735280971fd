// lockpcscr: the screen saver in front of the locked PC. Without a display
// (or with --headless) it shows nothing and waits for a line on its input.
#include <csignal>
#include <iostream>

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
    // Hiding and showing by signal is for the lock window; by default the
    // two signals would end the screen saver.
#ifdef SIGUSR1
    std::signal(SIGUSR1, SIG_IGN);
    std::signal(SIGUSR2, SIG_IGN);
#endif
    ProgramArguments args = ParseProgramArguments(ProgramArgumentList(argc, argv));
#ifdef _WIN32
    // Installed as the system's screen saver (LockPcScr.scr), Windows starts
    // it with /s to run, /p HWND for the small preview, /c to configure it.
    // It runs on /s; it has no preview and nothing to configure.
    // An unknown option is refused first.
    if (args.unknownOption.empty()) {
        switch (ScreenSaverRequest(args.commandLine)) {
        case ScreenSaverCall::Run: args.commandLine.clear(); break;
        case ScreenSaverCall::Nothing: return 0;
        case ScreenSaverCall::Unknown: break;
        }
    }
#endif
    if (auto answered = AnswerOwnOptions(args, "lockpcscr", LockPcScrUsage(), NoArguments)) return *answered;
    auto host = MakePlatformFromEnvironment();
#ifdef NOCTURO_HAS_DESKTOP
    if (!args.headless && nocturo::ui::DisplayAvailable()) return nocturo::ui::RunLockPcScrDesktop(*host, argc, argv);
#endif
#ifdef NOCTURO_HAS_WIN32_DESKTOP
    if (!args.headless && nocturo::ui::win32::DesktopAvailable()) return nocturo::ui::win32::RunWin32LockPcScr(*host);
#endif
    return RunLockPcScrHeadless(*host);
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

// nocturo: the program. Opens its desktop windows when a display is there
// (the Qt windows where the program was built with Qt, the native windows on
// Windows), and runs headless otherwise or when asked to with --headless. On Windows it is a program of the windows
// subsystem: started from a console, it writes to that console.
#include <iostream>

#ifdef _WIN32
#include <windows.h>
#endif

#ifdef NOCTURO_HAS_DESKTOP
#include "ui/Desktop.h"
#endif
#ifdef NOCTURO_HAS_WIN32_DESKTOP
#include "ui/win32/Win32Desktop.h"
#include "ui/win32/Win32FormView.h"
#endif

#include "programs/support/Programs.h"

namespace {

int Run(int argc, char** argv) {
    using namespace nocturo::programs;
    ProgramArguments args = ParseProgramArguments(ProgramArgumentList(argc, argv));
    if (auto answered = AnswerOwnOptions(args, "nocturo", NocturoUsage(), NocturoArguments)) return *answered;
    if (args.service) return RunHeadlessService(args.commandLine);
    auto host = MakePlatformFromEnvironment();
#ifdef NOCTURO_HAS_DESKTOP
    if (!args.headless && nocturo::ui::DisplayAvailable()) return nocturo::ui::RunDesktop(*host, args.commandLine, argc, argv);
#endif
#ifdef NOCTURO_HAS_WIN32_DESKTOP
    if (!args.headless && nocturo::ui::win32::DesktopAvailable())
        return nocturo::ui::win32::RunWin32Desktop(*host, args.commandLine);
#endif
    return RunHeadless(*host, args.commandLine);
}

}  // namespace

#ifdef _WIN32
// The entry of a program of the windows subsystem; the arguments come from
// the wide command line (ProgramArgumentList).
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return Run(0, nullptr); }
#else
int main(int argc, char** argv) { return Run(argc, argv); }
#endif

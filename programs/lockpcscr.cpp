// lockpcscr: the screen saver in front of the locked PC. Without a display
// (or with --headless) it shows nothing and waits for a line on its input.
#include <csignal>
#include <iostream>

#ifdef NOCTURO_HAS_DESKTOP
#include "ui/Desktop.h"
#include "ui/LockPcView.h"
#endif

#include "base/Version.h"
#include "programs/support/LockPrograms.h"
#include "programs/support/Programs.h"

int main(int argc, char** argv) {
    using namespace nocturo::programs;
    // Hiding and showing by signal is for the lock window; by default the
    // two signals would end the screen saver.
#ifdef SIGUSR1
    std::signal(SIGUSR1, SIG_IGN);
    std::signal(SIGUSR2, SIG_IGN);
#endif
    ProgramArguments args = ParseProgramArguments(ProgramArgumentList(argc, argv));
    if (!args.unknownOption.empty()) {
        std::cerr << "lockpcscr: unknown option " << args.unknownOption << " (try --help)\n";
        return 2;
    }
    if (!args.commandLine.empty()) {
        std::cerr << "lockpcscr: unexpected argument " << args.commandLine << " (try --help)\n";
        return 2;
    }
    if (args.help) {
        std::cout << LockPcScrUsage();
        return 0;
    }
    if (args.version) {
        std::cout << "lockpcscr " << nocturo::version::Text << "\n";
        return 0;
    }
    auto host = MakePlatformFromEnvironment();
#ifdef NOCTURO_HAS_DESKTOP
    if (!args.headless && nocturo::ui::DisplayAvailable()) return nocturo::ui::RunLockPcScrDesktop(*host, argc, argv);
#endif
    return RunLockPcScrHeadless(*host);
}

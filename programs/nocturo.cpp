// nocturo: the program. Opens its desktop windows when a display is there
// (and the program was built with Qt), and runs headless otherwise or when
// asked to with --headless.
#include <iostream>

#ifdef NOCTURO_HAS_DESKTOP
#include "ui/Desktop.h"
#endif

#include "base/Version.h"
#include "programs/support/Programs.h"

int main(int argc, char** argv) {
    using namespace nocturo::programs;
    ProgramArguments args = ParseProgramArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (!args.unknownOption.empty()) {
        std::cerr << "nocturo: unknown option " << args.unknownOption << " (try --help)\n";
        return 2;
    }
    if (args.help) {
        std::cout << NocturoUsage();
        return 0;
    }
    if (args.version) {
        std::cout << "nocturo " << nocturo::version::Text << "\n";
        return 0;
    }
    auto host = MakePlatformFromEnvironment();
#ifdef NOCTURO_HAS_DESKTOP
    if (!args.headless && nocturo::ui::DisplayAvailable()) return nocturo::ui::RunDesktop(*host, args.commandLine, argc, argv);
#endif
    return RunHeadless(*host, args.commandLine);
}

// nocturo: the program. Until the desktop views exist it always runs the
// main window's model headless.
#include <iostream>

#include "app/Version.h"
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
    return RunHeadless(*host, args.commandLine);
}

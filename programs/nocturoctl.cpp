// nocturoctl: the administrator's command line.
#include <iostream>

#include "base/Runtime.h"
#include "programs/support/Ctl.h"
#include "programs/support/Programs.h"

int main(int argc, char** argv) {
    using namespace nocturo;
    std::vector<std::string> args = programs::ProgramArgumentList(argc, argv);
    if (!args.empty() && (args[0] == "--help" || args[0] == "--version" || args[0] == "-h"))
        return programs::RunCtl(args, std::cout, std::cerr);
    try {
        auto host = programs::MakePlatformFromEnvironment();
        Runtime runtime;
        runtime.pf = host->pf;
        RuntimeScope scope(runtime);
        return programs::RunCtl(args, std::cout, std::cerr);
    } catch (const std::exception& e) {
        std::cerr << "nocturoctl: " << e.what() << "\n";
        return 1;
    }
}

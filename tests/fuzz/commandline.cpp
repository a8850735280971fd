// The command line's "/action:" and "/option:" values: any text gives an
// answer, and an action is one ShutDown_Action knows.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/Nocturo_Main.h"
#include "base/Strings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string commandLine(reinterpret_cast<const char*>(data), size);
    if (const auto action = nocturo::CommandLineAction(commandLine)) {
        const std::string& a = *action;
        bool known = false;
        for (const auto& n : nocturo::CommandLineActionNames()) known = known || a == n.action;
        if (!known) {
            std::fprintf(stderr, "unknown action \"%s\"\n", a.c_str());
            std::abort();
        }
    }
    const std::string option = nocturo::CommandLineOption(commandLine);
    if (option.size() > commandLine.size()) std::abort();
    // A command line whose switches are accepted names an action, or none.
    const bool hasAction = nocturo::LCase(commandLine).find("/action:") != std::string::npos;
    if (nocturo::CommandLineSwitchProblem(commandLine).empty() && hasAction && !nocturo::CommandLineAction(commandLine))
        std::abort();
    return 0;
}

#pragma once
#include <functional>
#include <memory>
#include <string>

#include "platform/PlatformHost.h"

namespace nocturo::platform {

struct SimOptions {
    std::string programFolder;  // folder of the executable; found from /proc/self/exe when empty
    std::string registryPath;   // settings store; NOCTURO_REGISTRY or the XDG default when empty
    std::function<void(const std::string&)> onStoreProblem;
};

// The simulated backend: nothing on the machine changes. Every call that
// would change it, or that the user would see or hear, is journalled
// (NOCTURO_SIM_JOURNAL, default temp/sim-journal.jsonl beside the program
// folder); boxes are answered from NOCTURO_SIM_ANSWERS; the clock is virtual
// and follows real time (NOCTURO_SIM_PACING: a factor, 0 = as fast as possible).
std::unique_ptr<PlatformHost> MakeSimPlatform(const SimOptions& options);

}  // namespace nocturo::platform

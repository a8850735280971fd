#pragma once
#include <memory>
#include <string>

#include "platform/PlatformHost.h"

namespace nocturo::platform {

struct SimOptions {
    std::string programFolder;
    std::string registryPath;
};

// The simulated backend: nothing on the machine changes.
std::unique_ptr<PlatformHost> MakeSimPlatform(const SimOptions& options);

}  // namespace nocturo::platform

#pragma once
#include <memory>
#include <string>

#include "platform/PlatformHost.h"

namespace nocturo::platform {

struct PosixOptions {
    std::string programFolder;  // folder of the executable; found from /proc/self/exe when empty
    std::string registryPath;   // settings store; NOCTURO_REGISTRY or the XDG default when empty
};

// The real Linux backend.
std::unique_ptr<PlatformHost> MakePosixPlatform(const PosixOptions& options);

}  // namespace nocturo::platform

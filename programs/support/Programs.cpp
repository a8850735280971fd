#include "programs/support/Programs.h"

#include <cstdlib>

#include "platform/posix/PosixPlatform.h"
#include "platform/sim/SimPlatform.h"

namespace nocturo::programs {

std::unique_ptr<platform::PlatformHost> MakePlatformFromEnvironment(const std::string&) {
    const char* kind = std::getenv("NOCTURO_PLATFORM");
    if (kind && std::string(kind) == "sim") return platform::MakeSimPlatform({});
    return platform::MakePosixPlatform({});
}

}  // namespace nocturo::programs

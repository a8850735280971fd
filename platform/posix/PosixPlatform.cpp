#include "platform/posix/PosixPlatform.h"

namespace nocturo::platform {

std::unique_ptr<PlatformHost> MakePosixPlatform(const PosixOptions&) {
    auto host = std::make_unique<PlatformHost>();
    host->name = "posix";
    return host;
}

}  // namespace nocturo::platform

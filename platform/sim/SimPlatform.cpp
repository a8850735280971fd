#include "platform/sim/SimPlatform.h"

namespace nocturo::platform {

std::unique_ptr<PlatformHost> MakeSimPlatform(const SimOptions&) {
    auto host = std::make_unique<PlatformHost>();
    host->name = "sim";
    return host;
}

}  // namespace nocturo::platform

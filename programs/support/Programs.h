#pragma once
#include <memory>
#include <string>

#include "platform/PlatformHost.h"

namespace nocturo::programs {

// The backend chosen by NOCTURO_PLATFORM ("sim" or the real one).
std::unique_ptr<platform::PlatformHost> MakePlatformFromEnvironment(const std::string& argv0);

}  // namespace nocturo::programs

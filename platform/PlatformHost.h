#pragma once
#include <memory>
#include <string>

#include "platform/Platform.h"

namespace nocturo::platform {

// Owns the services of one backend and hands them out as a Platform.
class PlatformHost {
public:
    virtual ~PlatformHost() = default;
    Platform pf;
    std::string name;  // "posix", "sim"
};

}  // namespace nocturo::platform

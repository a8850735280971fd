#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace nocturo::platform {

// Owns the services of one backend and hands them out as a Platform.
class PlatformHost {
public:
    virtual ~PlatformHost() = default;
    Platform pf;
    std::string name;  // "posix", "sim"
    // Further objects the services rely on, kept alive with the host.
    std::vector<std::shared_ptr<void>> owned;
};

}  // namespace nocturo::platform

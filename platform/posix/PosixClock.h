#pragma once
#include "platform/IClock.h"

namespace nocturo::platform {

// The system clock in the local time zone, and the monotonic clock.
class PosixClock : public IClock {
public:
    LocalTime now() override;
    std::int64_t monotonicMs() override;
};

}  // namespace nocturo::platform

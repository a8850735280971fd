#pragma once
#include "platform/IClock.h"

namespace nocturo::platform::win32 {

// GetLocalTime, and GetTickCount64 for the monotonic clock: it never jumps
// with the wall clock and counts the time the computer slept.
class Win32Clock : public IClock {
public:
    LocalTime now() override;
    std::int64_t monotonicMs() override;
};

}  // namespace nocturo::platform::win32

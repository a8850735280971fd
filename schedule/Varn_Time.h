#pragma once
#include <cstdint>

#include "base/Task.h"

namespace nocturo {

// The wait of a task: co_await Wait(seconds) resumes the task once that many
// seconds have passed on the loop's monotonic clock, so midnight or a clock
// change does not shorten or stretch it. Meanwhile the loop goes on: the
// window, its timer and its buttons stay responsive.
inline Delay Wait(std::int32_t seconds) { return Delay(static_cast<std::int64_t>(seconds) * 1000); }

}  // namespace nocturo

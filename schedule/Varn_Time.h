#pragma once
#include <cstdint>

namespace nocturo {

// Waits the given number of seconds while the message loop keeps running:
// the window, its timer and its buttons stay responsive. Elapsed time is
// measured on the monotonic clock, so midnight or a clock change does not
// shorten or stretch the wait.
void Wait(std::int32_t seconds);

}  // namespace nocturo

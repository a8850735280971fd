#pragma once
// Durations as people type them: "90s", "45m", "1h30m", "2h", "1h2m3s", or
// a bare number of seconds.
#include <string>
#include <string_view>

namespace nocturo {

// Reads a duration of at least one second. Each unit (h, m, s, in that
// order, each at most once, lower or upper case) follows a whole number; a
// bare number is seconds. Refuses an empty text, zero, junk (blanks, signs,
// fractions, unknown units, a unit twice or out of order) and a total that
// does not fit in seconds; seconds is left alone then.
bool ParseDuration(std::string_view text, long long& seconds);

// A duration for a log line: "45 s", "10 min", "2 h", "1 h 30 min", "1 h 0 min 5 s".
std::string DurationText(long long seconds);

}  // namespace nocturo

#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace nocturo {

// Waits, yielding to the message loop, until the process ends; returns its
// exit code, or 0 when the process cannot be opened.
std::uint32_t fWait(std::uint32_t processId);

// Splits a parameter text into arguments the way a shell would (blanks
// separate, single and double quotes group, a backslash escapes the next
// character outside single quotes), without running anything through one.
std::vector<std::string> SplitCommandLine(const std::string& text);

}  // namespace nocturo

#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace nocturo {

// Moves one file to the recycle bin, silently: failures are ignored.
void Delete2RecycleBin(const std::string& file);

// The program's default list delimiters: ";", NUL, TAB, LF, CR.
std::string DefaultListDelimiters();

// Splits text at any of the delimiter characters (empty delimiters: the
// defaults, also stored back into the caller's variable). Returns the index
// of the last item, -1 when there is none. Items are not trimmed.
std::int32_t SplitList(std::string text, std::string& delimiters, std::vector<std::string>& list);

}  // namespace nocturo

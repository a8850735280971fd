#pragma once
#include <string>

#include "base/Variant.h"

namespace nocturo {

// The folder browser. start and root: a number is a special folder (0 = the
// desktop), a non-empty text a path; missing = empty. Returns the chosen
// folder's path, or empty text when cancelled.
std::string BrowseForFolder(const std::string& title, const Variant& start = Variant{}, const Variant& root = Variant{},
                            bool includeFiles = false);

}  // namespace nocturo

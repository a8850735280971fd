#pragma once
#include <string_view>

namespace nocturo::platform {

// Matches a file name against one wildcard specification the way Windows
// directory enumeration does: case-insensitive, "*" any run of characters,
// "?" exactly one character, a trailing ".*" also matches a name without a
// dot ("*.*" matches every name) and a trailing "." matches a name without an
// extension.
bool WildcardMatch(std::string_view spec, std::string_view name);

bool HasWildcard(std::string_view text);

}  // namespace nocturo::platform

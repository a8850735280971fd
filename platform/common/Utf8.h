#pragma once
#include <string>

namespace nocturo::platform {

// Appends one code point as UTF-8.
void AppendUtf8(std::string& out, char32_t cp);

}  // namespace nocturo::platform

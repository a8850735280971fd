#pragma once
// The program's text is UTF-8; the Win32 API's wide calls take UTF-16.
// Both conversions live here and nowhere else.
#include <string>
#include <string_view>

#include "platform/Error.h"

namespace nocturo::platform::win32 {

// Invalid UTF-8 becomes U+FFFD rather than an error: a setting with a stray
// byte still reaches the registry.
std::wstring Widen(std::string_view utf8);
// An unpaired surrogate becomes U+FFFD.
std::string Narrow(std::wstring_view utf16);

// A platform::Error for a failed Win32 call: what failed and the system's
// text for the error code (GetLastError when code is left out). The number
// follows the error log's numbering where one fits, else SystemCallFailed.
Error LastError(const std::string& what);
Error ErrorFromCode(unsigned long code, const std::string& what);
// FormatMessageW's text for the code, without the trailing line break.
std::string SystemMessage(unsigned long code);

}  // namespace nocturo::platform::win32

#pragma once
// Text helpers shared by the modules.
#include <string>
#include <string_view>

namespace nocturo {

std::string Trim(std::string_view s);          // blanks (space) and tabs at both ends
std::string LTrim(std::string_view s);
std::string RTrim(std::string_view s);
std::string UCase(std::string_view s);         // ASCII letters
std::string LCase(std::string_view s);
bool EqualsNoCase(std::string_view a, std::string_view b);
// Pads s with blanks on the right to width; longer text is returned unchanged.
std::string PadRight(std::string_view s, size_t width);
// The last n characters (the whole text when shorter).
std::string Right(std::string_view s, size_t n);
// Number of characters of a UTF-8 text (code points).
size_t CharCount(std::string_view s);
std::string Replace(std::string s, std::string_view from, std::string_view to);

// The text with its control characters written out (\n, \r, \t, \xNN), so
// that a file name can never start a line of its own in a log or a listing.
std::string EscapeControlChars(const std::string& text);

}  // namespace nocturo

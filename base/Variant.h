#pragma once
// Dynamically typed values, as settings are read back from the registry
// (text or a 32-bit number), with the conversions the callers apply.
#include <cstdint>
#include <string>
#include <variant>

namespace nocturo {

using Variant = std::variant<std::monostate, bool, std::int32_t, double, std::string>;

inline bool IsEmpty(const Variant& v) { return std::holds_alternative<std::monostate>(v); }
inline bool IsString(const Variant& v) { return std::holds_alternative<std::string>(v); }

// Conversions. They throw platform::Error with the classic numbers: 13 "Type
// mismatch" for text that is not a number, 6 "Overflow" for a number that
// does not fit. Numbers from doubles round half to even.
std::string CStr(const Variant& v);
std::int16_t CInt(const Variant& v);
std::int32_t CLng(const Variant& v);
double CDbl(const Variant& v);
bool CBool(const Variant& v);  // numbers: non-zero; text: "True"/"False" or a number

// Val(): the leading number of a text, 0 when there is none; never fails.
double Val(const std::string& text);
// IsNumeric(): the whole trimmed text is a number.
bool IsNumeric(const std::string& text);

}  // namespace nocturo

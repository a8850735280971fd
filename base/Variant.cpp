#include "base/Variant.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "base/Strings.h"
#include "platform/Error.h"

namespace nocturo {

namespace {

using platform::Error;
namespace err = platform::err;

[[noreturn]] void typeMismatch() { throw Error(err::TypeMismatch, "Type mismatch"); }
[[noreturn]] void overflow() { throw Error(err::Overflow, "Overflow"); }

// Parses a whole text as a number (blanks around it allowed); false if it is not one.
bool parseNumber(const std::string& text, double& out) {
    std::string t = Trim(text);
    if (t.empty()) return false;
    if (EqualsNoCase(t, "true")) { out = -1; return true; }
    if (EqualsNoCase(t, "false")) { out = 0; return true; }
    if (t.size() > 2 && t[0] == '&' && (t[1] == 'H' || t[1] == 'h')) {
        char* end = nullptr;
        unsigned long long v = std::strtoull(t.c_str() + 2, &end, 16);
        if (*end != '\0') return false;
        out = static_cast<double>(v);
        return true;
    }
    for (char c : t)
        if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E'))
            return false;
    char* end = nullptr;
    out = std::strtod(t.c_str(), &end);
    return end && *end == '\0';
}

double toDouble(const Variant& v) {
    return std::visit(
        [](const auto& x) -> double {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, std::monostate>) return 0.0;
            else if constexpr (std::is_same_v<T, bool>) return x ? -1.0 : 0.0;
            else if constexpr (std::is_same_v<T, std::string>) {
                double d = 0;
                if (!parseNumber(x, d)) typeMismatch();
                return d;
            } else return static_cast<double>(x);
        },
        v);
}

double roundHalfEven(double d) { return std::nearbyint(d); }  // default rounding mode is to-nearest-even

}  // namespace

std::string CStr(const Variant& v) {
    return std::visit(
        [](const auto& x) -> std::string {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, std::monostate>) return "";
            else if constexpr (std::is_same_v<T, bool>) return x ? "True" : "False";
            else if constexpr (std::is_same_v<T, std::string>) return x;
            else if constexpr (std::is_same_v<T, double>) {
                if (std::floor(x) == x && std::fabs(x) < 1e15) return std::to_string(static_cast<long long>(x));
                std::string s = std::to_string(x);
                while (!s.empty() && s.back() == '0') s.pop_back();
                if (!s.empty() && s.back() == '.') s.pop_back();
                return s;
            } else return std::to_string(x);
        },
        v);
}

std::int32_t CLng(const Variant& v) {
    double d = roundHalfEven(toDouble(v));
    if (d < std::numeric_limits<std::int32_t>::min() || d > std::numeric_limits<std::int32_t>::max()) overflow();
    return static_cast<std::int32_t>(d);
}

std::int16_t CInt(const Variant& v) {
    double d = roundHalfEven(toDouble(v));
    if (d < std::numeric_limits<std::int16_t>::min() || d > std::numeric_limits<std::int16_t>::max()) overflow();
    return static_cast<std::int16_t>(d);
}

double CDbl(const Variant& v) { return toDouble(v); }

bool CBool(const Variant& v) { return toDouble(v) != 0.0; }

double Val(const std::string& text) {
    // Leading blanks are skipped; the number ends at the first character that
    // cannot continue it.
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    size_t start = i;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    bool digits = false;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) { ++i; digits = true; }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) { ++i; digits = true; }
    }
    if (!digits) return 0.0;
    return std::strtod(text.substr(start, i - start).c_str(), nullptr);
}

bool IsNumeric(const std::string& text) {
    double d = 0;
    std::string t = Trim(text);
    if (EqualsNoCase(t, "true") || EqualsNoCase(t, "false")) return false;
    return parseNumber(t, d);
}

}  // namespace nocturo

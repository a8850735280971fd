#include "base/Strings.h"

#include <algorithm>

namespace nocturo {

namespace {
bool isBlank(char c) { return c == ' ' || c == '\t'; }
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
}  // namespace

std::string LTrim(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && isBlank(s[i])) ++i;
    return std::string(s.substr(i));
}

std::string RTrim(std::string_view s) {
    size_t n = s.size();
    while (n > 0 && isBlank(s[n - 1])) --n;
    return std::string(s.substr(0, n));
}

std::string Trim(std::string_view s) { return RTrim(LTrim(s)); }

std::string UCase(std::string_view s) {
    std::string r(s);
    std::transform(r.begin(), r.end(), r.begin(), upper);
    return r;
}

std::string LCase(std::string_view s) {
    std::string r(s);
    std::transform(r.begin(), r.end(), r.begin(), lower);
    return r;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

size_t CharCount(std::string_view s) {
    size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

std::string PadRight(std::string_view s, size_t width) {
    std::string r(s);
    size_t n = CharCount(s);
    if (n < width) r.append(width - n, ' ');
    return r;
}

std::string Right(std::string_view s, size_t n) {
    if (s.size() <= n) return std::string(s);
    return std::string(s.substr(s.size() - n));
}

std::string Replace(std::string s, std::string_view from, std::string_view to) {
    if (from.empty()) return s;
    size_t pos = 0;
    while ((pos = s.find(from, pos)) != std::string::npos) {
        s.replace(pos, from.size(), to);
        pos += to.size();
    }
    return s;
}

std::string EscapeControlChars(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c != 0x7F) {
            out += ch;
            continue;
        }
        switch (c) {
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default: {
            static const char hex[] = "0123456789ABCDEF";
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        }
        }
    }
    return out;
}

}  // namespace nocturo

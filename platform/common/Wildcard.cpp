#include "platform/common/Wildcard.h"

#include <vector>

namespace nocturo::platform {

namespace {

char fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Bytes of the UTF-8 character that starts at s[i] (1 for a byte that starts
// none, so a name that is not UTF-8 still matches byte by byte).
size_t charLength(std::string_view s, size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
    if (i + n > s.size()) return 1;
    for (size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 1;
    return n;
}

// Classic "*"/"?" matching with backtracking on the last star: linear in
// practice, no recursion. "?" and the star's steps take whole characters.
bool globMatch(std::string_view p, std::string_view s) {
    size_t pi = 0, si = 0, starP = std::string_view::npos, starS = 0;
    while (si < s.size()) {
        if (pi < p.size() && p[pi] == '?') {
            ++pi;
            si += charLength(s, si);
        } else if (pi < p.size() && p[pi] != '*' && fold(p[pi]) == fold(s[si])) {
            ++pi;
            ++si;
        } else if (pi < p.size() && p[pi] == '*') {
            starP = pi++;
            starS = si;
        } else if (starP != std::string_view::npos) {
            pi = starP + 1;
            starS += charLength(s, starS);
            si = starS;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*') ++pi;
    return pi == p.size();
}

}  // namespace

bool HasWildcard(std::string_view text) { return text.find_first_of("*?") != std::string_view::npos; }

bool WildcardMatch(std::string_view spec, std::string_view name) {
    if (spec.empty()) return false;
    if (globMatch(spec, name)) return true;
    // "abc.*" also matches "abc", and "*.*" every name without a dot.
    if (spec.size() >= 2 && spec.substr(spec.size() - 2) == ".*" && name.find('.') == std::string_view::npos)
        return globMatch(spec.substr(0, spec.size() - 2), name);
    // "*." matches names without an extension.
    if (spec.back() == '.' && name.find('.') == std::string_view::npos)
        return globMatch(spec.substr(0, spec.size() - 1), name);
    return false;
}

}  // namespace nocturo::platform

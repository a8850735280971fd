#include "base/Duration.h"

#include <limits>

namespace nocturo {

bool ParseDuration(std::string_view text, long long& seconds) {
    constexpr long long kMax = std::numeric_limits<long long>::max();
    if (text.empty()) return false;
    long long total = 0;
    int lastUnit = -1;  // 0 h, 1 m, 2 s: each after the one before
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] < '0' || text[i] > '9') return false;
        long long number = 0;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
            const int digit = text[i] - '0';
            if (number > (kMax - digit) / 10) return false;
            number = number * 10 + digit;
        }
        int unit = 2;
        long long factor = 1;
        if (i < text.size()) {
            switch (text[i]) {
            case 'h': case 'H': unit = 0; factor = 3600; break;
            case 'm': case 'M': unit = 1; factor = 60; break;
            case 's': case 'S': unit = 2; factor = 1; break;
            default: return false;
            }
            ++i;
        } else if (lastUnit >= 0) {
            // "1h30" leaves its last number's unit open: refused, not guessed.
            return false;
        }
        if (unit <= lastUnit) return false;
        lastUnit = unit;
        if (number > kMax / factor) return false;
        const long long part = number * factor;
        if (total > kMax - part) return false;
        total += part;
    }
    if (total <= 0) return false;
    seconds = total;
    return true;
}

std::string DurationText(long long seconds) {
    if (seconds < 60) return std::to_string(seconds) + " s";
    const long long h = seconds / 3600, m = seconds % 3600 / 60, s = seconds % 60;
    std::string text;
    if (h > 0) text = std::to_string(h) + " h";
    if (m > 0 || (h > 0 && s > 0)) text += (text.empty() ? "" : " ") + std::to_string(m) + " min";
    if (s > 0) text += " " + std::to_string(s) + " s";
    return text;
}

}  // namespace nocturo

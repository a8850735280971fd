#pragma once
// Two hexadecimal digits per byte, as the cipher's texts and the stored
// password are written: upper case out, either case accepted in.
#include <cstdint>
#include <string>

namespace nocturo::hextext {

inline constexpr char kDigits[] = "0123456789ABCDEF";

inline void AppendByte(std::string& out, std::uint8_t value) {
    out += kDigits[value >> 4];
    out += kDigits[value & 0x0F];
}

// Value of one digit, or -1 when c is not a hexadecimal digit.
inline int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Value of the pair at hex[pos], hex[pos + 1]; -1 when either is not a digit
// or the pair is cut off by the end of the text.
inline int PairValue(const std::string& hex, std::size_t pos) {
    if (pos + 1 >= hex.size()) return -1;
    int hi = DigitValue(hex[pos]);
    int lo = DigitValue(hex[pos + 1]);
    if (hi < 0 || lo < 0) return -1;
    return hi * 16 + lo;
}

}  // namespace nocturo::hextext

#include "cipher/Varn_encryption3.h"

#include <cstdint>
#include <limits>
#include <string_view>
#include <vector>

#include "base/Variant.h"
#include "base/Varn_ErrorLog.h"
#include "cipher/HexText.h"
#include "cipher/clsBlowfish.h"
#include "platform/Error.h"

namespace nocturo {

namespace {

constexpr const char* kEncrypt3 = "Encrypt3 of Modul Varn_encryption3";
constexpr const char* kDecrypt3 = "Decrypt3 of Modul Varn_encryption3";
constexpr const char* kEncryptBF = "EncryptBF of Modul Varn_encryption3";
constexpr const char* kDecryptBF = "DecryptBF of Modul Varn_encryption3";
constexpr const char* kToHex = "ToHex of Modul Varn_encryption3";
constexpr const char* kFromHex = "FromHex of Modul Varn_encryption3";

constexpr char32_t kReplacement = 0xFFFD;

bool AllBlanks(const std::string& text) { return text.find_first_not_of(' ') == std::string::npos; }

// Bytes written in hex, two digits each. `position` is kept at the 1-based
// place of the pair being read, so a failure can tell where it stopped; after
// the whole text it stands one past the end.
std::vector<std::uint8_t> BytesFromHex(const std::string& hex, std::size_t& position) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        position = i + 1;
        const int value = hextext::PairValue(hex, i);
        if (value < 0) throw platform::Error(platform::err::TypeMismatch, "Type mismatch");
        bytes.push_back(std::uint8_t(value));
    }
    position = hex.size() + 1;
    return bytes;
}

std::string HexFromBytes(const std::vector<std::uint8_t>& bytes) {
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (const std::uint8_t b : bytes) hextext::AppendByte(hex, b);
    return hex;
}

Variant PositionArg(std::size_t position) {
    constexpr std::size_t most = std::numeric_limits<std::int32_t>::max();
    return std::int32_t(position < most ? position : most);
}

// Next code point of a UTF-8 text. A malformed sequence gives U+FFFD and is
// skipped as far as it looked valid, so the next character is never lost.
char32_t NextCodePoint(std::string_view text, std::size_t& i) {
    const std::uint8_t lead = std::uint8_t(text[i++]);
    if (lead < 0x80) return lead;

    int more;
    char32_t cp;
    std::uint8_t low = 0x80, high = 0xBF;  // allowed range of the first continuation byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        more = 1;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        more = 2;
        cp = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        more = 3;
        cp = lead & 0x07;
        if (lead == 0xF0) low = 0x90;   // no overlong forms
        if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
        return kReplacement;
    }
    for (; more > 0; --more) {
        if (i >= text.size()) return kReplacement;
        const std::uint8_t c = std::uint8_t(text[i]);
        if (c < low || c > high) return kReplacement;
        cp = cp << 6 | (c & 0x3F);
        low = 0x80;
        high = 0xBF;
        ++i;
    }
    return cp;
}

void AppendUtf16LE(std::vector<std::uint8_t>& out, char32_t cp) {
    auto unit = [&out](std::uint32_t u) {
        out.push_back(std::uint8_t(u & 0xFF));
        out.push_back(std::uint8_t(u >> 8));
    };
    if (cp < 0x10000) {
        unit(cp);
    } else {
        cp -= 0x10000;
        unit(0xD800 + (cp >> 10));
        unit(0xDC00 + (cp & 0x3FF));
    }
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

std::string Utf8FromUtf16LE(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    text.reserve(bytes.size());
    const std::size_t units = bytes.size() / 2;
    auto unitAt = [&bytes](std::size_t k) -> char32_t { return char32_t(bytes[2 * k]) | char32_t(bytes[2 * k + 1]) << 8; };
    for (std::size_t k = 0; k < units; ++k) {
        const char32_t u = unitAt(k);
        if (u >= 0xD800 && u <= 0xDBFF && k + 1 < units) {
            const char32_t next = unitAt(k + 1);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                AppendUtf8(text, 0x10000 + ((u - 0xD800) << 10) + (next - 0xDC00));
                ++k;
                continue;
            }
        }
        AppendUtf8(text, (u >= 0xD800 && u <= 0xDFFF) ? kReplacement : u);
    }
    if (bytes.size() % 2) AppendUtf8(text, kReplacement);
    return text;
}

// The shared body of EncryptBF and DecryptBF.
std::string CipherHex(const char* procedure, bool encrypt, const std::string& hexText, const std::string& hexKey) {
    std::size_t position = 0;
    long line = 1;
    try {
        if (AllBlanks(hexText)) return {};
        line = 2;
        std::vector<std::uint8_t> bytes = BytesFromHex(hexText, position);
        line = 3;
        clsBlowfish cipher;
        if (encrypt)
            cipher.EncryptByte(bytes, hexKey);
        else
            cipher.DecryptByte(bytes, hexKey);
        line = 4;
        return HexFromBytes(bytes);
    } catch (...) {
        ReportCurrentException(procedure, line);
        WriteErrorArgs({hexText, PositionArg(position)});
        return {};
    }
}

}  // namespace

std::string Encrypt3(const std::string& text, const std::string& key) {
    long line = 1;
    try {
        if (AllBlanks(text)) return {};
        line = 2;
        const std::string hexKey = ToHex(key);
        const std::string hexText = ToHex(text);
        line = 3;
        return EncryptBF(hexText, hexKey);
    } catch (...) {
        ReportCurrentException(kEncrypt3, line);
        return {};
    }
}

std::string Decrypt3(const std::string& stored, const std::string& key) {
    long line = 1;
    try {
        if (AllBlanks(stored)) return {};
        line = 2;
        const std::string hexKey = ToHex(key);
        line = 3;
        return FromHex(DecryptBF(stored, hexKey));
    } catch (...) {
        ReportCurrentException(kDecrypt3, line);
        return {};
    }
}

std::string EncryptBF(const std::string& hexText, const std::string& hexKey) {
    return CipherHex(kEncryptBF, true, hexText, hexKey);
}

std::string DecryptBF(const std::string& stored, const std::string& hexKey) {
    return CipherHex(kDecryptBF, false, stored, hexKey);
}

std::string ToHex(const std::string& text) {
    try {
        std::vector<std::uint8_t> bytes;
        bytes.reserve(text.size() * 2);
        for (std::size_t i = 0; i < text.size();) AppendUtf16LE(bytes, NextCodePoint(text, i));
        return HexFromBytes(bytes);
    } catch (...) {
        ReportCurrentException(kToHex, 1);
        return {};
    }
}

std::string FromHex(const std::string& hex) {
    long line = 1;
    try {
        std::size_t position = 0;
        const std::vector<std::uint8_t> bytes = BytesFromHex(hex, position);
        line = 2;
        return Utf8FromUtf16LE(bytes);
    } catch (...) {
        ReportCurrentException(kFromHex, line);
        return {};
    }
}

}  // namespace nocturo

#include "platform/win32/WinText.h"

#include <windows.h>

#include "platform/common/Utf8.h"

namespace nocturo::platform::win32 {

namespace {

constexpr char32_t Replacement = 0xFFFD;

// The code point starting at s[i], or Replacement for a malformed sequence
// (over-long forms, surrogates and values past U+10FFFF included); i moves
// past what was read.
char32_t decodeUtf8(std::string_view s, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(s[i++]);
    if (lead < 0x80) return lead;
    int more = 0;
    char32_t cp = 0;
    char32_t least = 0;
    if ((lead & 0xE0) == 0xC0) {
        more = 1, cp = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        more = 2, cp = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        more = 3, cp = lead & 0x07, least = 0x10000;
    } else {
        return Replacement;
    }
    for (int k = 0; k < more; ++k) {
        if (i >= s.size() || (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return Replacement;
        cp = (cp << 6) | (static_cast<unsigned char>(s[i++]) & 0x3F);
    }
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return Replacement;
    return cp;
}

long numberFor(unsigned long code) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND: return err::FileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH: return err::PathNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_PRIVILEGE_NOT_HELD:
    case ERROR_WRITE_PROTECT: return err::PermissionDenied;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return err::FileAlreadyOpen;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return err::DiskFull;
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT: return err::DeviceIo;
    default: return err::SystemCallFailed;
    }
}

}  // namespace

std::wstring Widen(std::string_view utf8) {
    std::wstring out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t cp = decodeUtf8(utf8, i);
        if (cp >= 0x10000) {
            out += static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += static_cast<wchar_t>(cp);
        }
    }
    return out;
}

std::string Narrow(std::wstring_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        const char32_t unit = static_cast<char16_t>(utf16[i]);
        char32_t cp = unit;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < utf16.size() &&
            static_cast<char16_t>(utf16[i + 1]) >= 0xDC00 && static_cast<char16_t>(utf16[i + 1]) <= 0xDFFF) {
            cp = 0x10000 + ((unit - 0xD800) << 10) + (static_cast<char16_t>(utf16[++i]) - 0xDC00);
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            cp = Replacement;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

std::string SystemMessage(unsigned long code) {
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text;
    if (n > 0 && buffer) text = Narrow(std::wstring_view(buffer, n));
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    if (text.empty()) text = "error " + std::to_string(code);
    return text;
}

Error ErrorFromCode(unsigned long code, const std::string& what) {
    return Error(numberFor(code), what + " (" + SystemMessage(code) + ")");
}

Error LastError(const std::string& what) { return ErrorFromCode(GetLastError(), what); }

}  // namespace nocturo::platform::win32

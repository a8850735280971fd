#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace nocturo::platform {

// The operating system's version record (GetVersionEx's fields).
struct OsVersion {
    std::uint32_t platformId = 0;  // 0 Win32s, 1 Windows 95 family, 2 NT family, 3 CE
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t build = 0;
    std::string csd;               // service pack text
    std::string osName;            // set by non-Windows backends: the real OS name and release
};

class ISystemInfo {
public:
    virtual ~ISystemInfo() = default;
    // Logged-on user's name as the platform gives it; nullopt when the call fails.
    virtual std::optional<std::string> userName() = 0;
    // Serial number of the system volume (drive C: on Windows); nullopt when unknown.
    virtual std::optional<std::uint32_t> volumeSerial() = 0;
    virtual OsVersion osVersion() = 0;
    virtual std::string systemFolder() = 0;
    virtual std::string windowsFolder() = 0;
    // The folder that holds the program file, without a trailing separator.
    virtual std::string programFolder() = 0;
    // Locale: system default language id and its name; user locale's English
    // country name, native language name and native country name.
    virtual std::uint32_t systemLanguageId() = 0;
    virtual std::string languageName(std::uint32_t languageId) = 0;
    virtual std::string localeInfo(std::uint32_t kind) = 0;  // 0x1002 country (English), 4 native language, 8 native country
};

}  // namespace nocturo::platform

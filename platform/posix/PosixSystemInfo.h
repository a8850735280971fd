#pragma once
#include <cstdint>
#include <string>

#include "platform/ISystemInfo.h"

namespace nocturo::platform {

// One row of the locale table.
struct LocaleEntry {
    const char* tag;              // "de_DE"
    std::uint32_t languageId;     // 0x0407
    const char* languageName;     // "German (Germany)"
    const char* englishLanguage;  // "German"
    const char* englishCountry;   // "Germany"
    const char* nativeLanguage;   // "Deutsch"
    const char* nativeCountry;    // "Deutschland"
};

// The table row for a locale name such as "de_DE.UTF-8" or "fr"; en_US for
// "C", "POSIX" and locales the table does not know.
const LocaleEntry& LookupLocale(const std::string& localeName);

// System information on Linux. The version record names a current Windows
// (NT family, 10.0 build 22631) so that every capability test passes, and
// carries the real system's name in osName. Locale answers come from
// LC_ALL, LC_MESSAGES or LANG, the first one set, read at each call.
class PosixSystemInfo : public ISystemInfo {
public:
    // programFolder: the folder of the program file; found from
    // /proc/self/exe when empty.
    explicit PosixSystemInfo(std::string programFolder = {});

    std::optional<std::string> userName() override;
    // From /etc/machine-id (its first 8 hex digits), else the file system id of "/".
    std::optional<std::uint32_t> volumeSerial() override;
    OsVersion osVersion() override;
    std::string systemFolder() override { return "/usr/bin"; }
    std::string windowsFolder() override { return "/"; }
    std::string programFolder() override { return programFolder_; }
    std::uint32_t systemLanguageId() override;
    std::string languageName(std::uint32_t languageId) override;
    // 0x1002 English country name, 4 native language name, 8 native country
    // name; also 2 (language name) and 0x1001 (English language name).
    std::string localeInfo(std::uint32_t kind) override;

private:
    std::string programFolder_;
};

}  // namespace nocturo::platform

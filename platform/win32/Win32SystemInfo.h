#pragma once
#include <string>

#include "platform/ISystemInfo.h"

namespace nocturo::platform::win32 {

// System information from the Win32 API. The version is the system's own
// (RtlGetVersion), not the one GetVersionExW shows a program without a
// manifest. Folders come without a trailing backslash.
class Win32SystemInfo : public ISystemInfo {
public:
    // programFolder: the folder of the program file; GetModuleFileNameW's when empty.
    explicit Win32SystemInfo(std::string programFolder = {});

    std::optional<std::string> userName() override;
    // The serial number of the system drive's volume (GetVolumeInformationW).
    std::optional<std::uint32_t> volumeSerial() override;
    OsVersion osVersion() override;
    std::string systemFolder() override;
    std::string windowsFolder() override;
    std::string programFolder() override { return programFolder_; }
    std::uint32_t systemLanguageId() override;
    std::string languageName(std::uint32_t languageId) override;
    std::string localeInfo(std::uint32_t kind) override;

    // The computer's NetBIOS name; nullopt when the call fails.
    std::optional<std::string> computerName();

private:
    std::string programFolder_;
};

// The folder of the running program file, without a trailing backslash.
std::string ModuleFolder();

}  // namespace nocturo::platform::win32

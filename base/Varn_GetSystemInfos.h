#pragma once
// User ID, machine number, registered organisation, system folders, the
// Windows version and the locale texts of the error-log header.
#include <cstdint>
#include <string>

#include "platform/ISystemInfo.h"

namespace nocturo {

void GetPCInfos();
std::string GetUser();
std::string GetCompany();
std::string ClipNull(const std::string& text);
std::string GetSysDir();
std::string GetWinDir();
std::string GetWinVersion();
int GetWinVersionNum();
// The version record read by the last GetWinVersion.
const platform::OsVersion& VersionRecord();

// Name and code of a version record (the table of known systems).
struct WinVersionInfo {
    std::string name;
    int code = 0;
};
WinVersionInfo ClassifyWinVersion(const platform::OsVersion& v);

// Nine decimal digits, zero-padded, from a volume serial number.
std::string MachineNumberFromSerial(std::uint32_t serial);

std::uint32_t SysLanguageID();
std::string SysLanguageName();
std::string Country();
std::string LanguageName();
std::string NativeCountryName();
std::string GetLocaleString(std::uint32_t kind);

}  // namespace nocturo

#include "base/Varn_GetSystemInfos.h"

#include <cstdio>

#include "base/Runtime.h"
#include "base/Strings.h"
#include "base/Varn_ErrorLog.h"
#include "base/Varn_Registry.h"

namespace nocturo {

namespace {
platform::OsVersion g_version;
constexpr const char* kModule = " of Modul Varn_GetSystemInfos";
std::string proc(const char* name) { return std::string(name) + kModule; }

std::string stripTrailingSeparators(std::string s) {
    while (s.size() > 1 && (s.back() == '\\' || s.back() == '/')) s.pop_back();
    return s;
}
}  // namespace

std::string ClipNull(const std::string& text) {
    std::string r;
    r.reserve(text.size());
    for (char c : text)
        if (c != '\0') r += c;
    return r;
}

std::string GetUser() {
    try {
        auto name = sysinfo().userName();
        if (!name) return "";
        // The name is read into a buffer of 25 characters: a longer one does not fit.
        if (name->size() >= 25) return "";
        return *name;
    } catch (...) {
        ReportCurrentException(proc("GetUser"), 1);
        return "";
    }
}

std::string MachineNumberFromSerial(std::uint32_t serial) {
    char b[16];
    std::snprintf(b, sizeof b, "%09u", static_cast<unsigned>(serial % 1000000000u));
    return b;
}

WinVersionInfo ClassifyWinVersion(const platform::OsVersion& v) {
    const auto major = v.major, minor = v.minor, build = v.build;
    switch (v.platformId) {
    case 0:
        return {"Windows 32s", 9};
    case 1:
        if (minor < 10) {
            if (build == 950) return {"Windows 95", 0};
            if (build >= 951 && build <= 1080) return {"Windows 95 SP1", 10};
            return {"Windows 95 OSR2", 11};
        }
        if (minor == 10) {
            if (build == 1998) return {"Windows 98", 12};
            if (build >= 1999 && build <= 2182) return {"Windows 98 SP1", 13};
            if (build >= 2183) return {"Windows 98 SE", 14};
            return {"", 0};
        }
        return {"Windows ME", 15};
    case 2:
        if (major == 3) return {"Windows NT 3.51", 20};
        if (major == 4) return {"Windows NT 4.0", 21};
        if (major == 5) {
            if (minor == 0) return {"Windows 2000", 22};
            if (minor == 1) return {"Windows XP", 23};
            if (minor == 2) return {"Windows 2003", 24};
            return {"unknown", 0};
        }
        // Systems after Windows 2003 keep ascending codes, so every capability
        // check ("NT family", "Windows 2000 or later") holds for them.
        if (major == 6) {
            if (minor == 0) return {"Windows Vista", 25};
            if (minor == 1) return {"Windows 7", 26};
            if (minor == 2) return {"Windows 8", 27};
            if (minor == 3) return {"Windows 8.1", 28};
            return {"Windows 10", 29};
        }
        if (major >= 10) {
            if (major == 10 && build < 22000) return {"Windows 10", 29};
            return {"Windows 11", 30};
        }
        return {"", 0};
    case 3:
        if (major == 1) return {"Windows CE 1.0", 1};
        if (major == 2) return minor == 0 ? WinVersionInfo{"Windows CE 2.0", 2} : WinVersionInfo{"Windows CE 2.1", 3};
        return {"Windows CE 3.0", 4};
    default:
        return {"Unable To Get Windows Version", 0};
    }
}

std::string GetWinVersion() {
    try {
        g_version = sysinfo().osVersion();
        auto info = ClassifyWinVersion(g_version);
        // A system that is not Windows names itself.
        if (!g_version.osName.empty()) return g_version.osName;
        return info.name;
    } catch (...) {
        ReportCurrentException(proc("GetWinVersion"), 1);
        return "Unable To Get Windows Version";
    }
}

int GetWinVersionNum() {
    GetWinVersion();
    return ClassifyWinVersion(g_version).code;
}

const platform::OsVersion& VersionRecord() { return g_version; }

std::string GetCompany() {
    try {
        GetWinVersion();
        const char* path = g_version.platformId == 2
                               ? "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\RegisteredOrganization"
                               : "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\RegisteredOrganization";
        return ReadKey(path);
    } catch (...) {
        ReportCurrentException(proc("GetCompany"), 1);
        return "";
    }
}

void GetPCInfos() {
    Step(proc("GetPCInfos").c_str(), 1, [] {
        std::string user = UCase(Trim(ClipNull(GetUser())));
        rt().userId = user.empty() ? "ADMIN" : user;
    });
    Step(proc("GetPCInfos").c_str(), 2, [] {
        auto serial = sysinfo().volumeSerial();
        rt().machineNumber = MachineNumberFromSerial(serial.value_or(0));
    });
    Step(proc("GetPCInfos").c_str(), 3, [] {
        std::string company = UCase(Trim(ClipNull(GetCompany())));
        if (company.empty() || company.find("HKEY_LOCAL_MACHINE") != std::string::npos) company = "NONE";
        rt().organisation = company;
    });
}

std::string GetSysDir() {
    std::string r;
    Step(proc("GetSysDir").c_str(), 1, [&] { r = stripTrailingSeparators(sysinfo().systemFolder()); });
    return r;
}

std::string GetWinDir() {
    std::string r;
    Step(proc("GetWinDir").c_str(), 1, [&] { r = stripTrailingSeparators(sysinfo().windowsFolder()); });
    return r;
}

std::uint32_t SysLanguageID() {
    std::uint32_t id = 0;
    Step(proc("SysLanguageID").c_str(), 1, [&] { id = sysinfo().systemLanguageId(); });
    return id;
}

std::string SysLanguageName() {
    std::string r;
    Step(proc("SysLanguageName").c_str(), 1, [&] { r = sysinfo().languageName(SysLanguageID()); });
    return r;
}

std::string GetLocaleString(std::uint32_t kind) {
    std::string r;
    Step(proc("GetLocaleString").c_str(), 1, [&] { r = sysinfo().localeInfo(kind); });
    return r;
}

std::string Country() { return GetLocaleString(0x1002); }
std::string LanguageName() { return GetLocaleString(4); }
std::string NativeCountryName() { return GetLocaleString(8); }

}  // namespace nocturo

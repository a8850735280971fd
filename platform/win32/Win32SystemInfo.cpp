#include "platform/win32/Win32SystemInfo.h"

#include <windows.h>

#include <vector>

#include "platform/win32/WinText.h"

namespace nocturo::platform::win32 {

namespace {

std::string withoutTrailingBackslash(std::string folder) {
    // "C:\" stays as it is: without its backslash it names the current folder of drive C.
    while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
    return folder;
}

// A folder from one of the Get...DirectoryW calls, which return the length
// needed when the buffer is too small.
template <typename Call>
std::string folderFrom(Call call) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const UINT n = call(buffer.data(), static_cast<UINT>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) {
            buffer.resize(n);
            return withoutTrailingBackslash(Narrow(buffer));
        }
        buffer.assign(n + 1, L'\0');
    }
}

// RTL_OSVERSIONINFOW, declared here: the SDK has it only in the driver kit's headers.
struct OsVersionInfo {
    ULONG size;
    ULONG major;
    ULONG minor;
    ULONG build;
    ULONG platformId;
    WCHAR csd[128];
};
using RtlGetVersionFn = LONG(WINAPI*)(OsVersionInfo*);

}  // namespace

std::string ModuleFolder() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return ".";
        if (n < buffer.size()) {
            buffer.resize(n);
            break;
        }
        buffer.assign(buffer.size() * 2, L'\0');  // truncated: try a larger buffer
    }
    const auto slash = buffer.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return ".";
    return withoutTrailingBackslash(Narrow(buffer.substr(0, slash == 2 ? 3 : slash)));
}

Win32SystemInfo::Win32SystemInfo(std::string programFolder)
    : programFolder_(programFolder.empty() ? ModuleFolder() : withoutTrailingBackslash(std::move(programFolder))) {}

std::optional<std::string> Win32SystemInfo::userName() {
    std::wstring buffer(257, L'\0');  // UNLEN + 1
    DWORD size = static_cast<DWORD>(buffer.size());
    if (!GetUserNameW(buffer.data(), &size)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::nullopt;
        buffer.assign(size, L'\0');
        if (!GetUserNameW(buffer.data(), &size)) return std::nullopt;
    }
    buffer.resize(size > 0 ? size - 1 : 0);  // the size counts the NUL
    if (buffer.empty()) return std::nullopt;
    return Narrow(buffer);
}

std::optional<std::string> Win32SystemInfo::computerName() {
    wchar_t buffer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(buffer, &size) || size == 0) return std::nullopt;
    return Narrow(std::wstring_view(buffer, size));
}

std::optional<std::uint32_t> Win32SystemInfo::volumeSerial() {
    std::wstring root = Widen(windowsFolder());
    if (root.size() < 2 || root[1] != L':') root = L"C:";
    root = root.substr(0, 2) + L"\\";
    DWORD serial = 0;
    if (!GetVolumeInformationW(root.c_str(), nullptr, 0, &serial, nullptr, nullptr, nullptr, 0)) return std::nullopt;
    return static_cast<std::uint32_t>(serial);
}

OsVersion Win32SystemInfo::osVersion() {
    OsVersion v;
    OsVersionInfo info{};
    info.size = sizeof info;
    auto rtlGetVersion = reinterpret_cast<RtlGetVersionFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    if (rtlGetVersion && rtlGetVersion(&info) == 0) {
        v.platformId = info.platformId;
        v.major = info.major;
        v.minor = info.minor;
        v.build = info.build;
        v.csd = Narrow(info.csd);
        return v;
    }
    // Without RtlGetVersion: what GetVersionExW says, which may be less than the truth.
    OSVERSIONINFOW old{};
    old.dwOSVersionInfoSize = sizeof old;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (GetVersionExW(&old)) {
#pragma GCC diagnostic pop
        v.platformId = old.dwPlatformId;
        v.major = old.dwMajorVersion;
        v.minor = old.dwMinorVersion;
        v.build = old.dwBuildNumber;
        v.csd = Narrow(old.szCSDVersion);
    }
    return v;
}

std::string Win32SystemInfo::systemFolder() {
    return folderFrom([](wchar_t* b, UINT n) { return GetSystemDirectoryW(b, n); });
}

std::string Win32SystemInfo::windowsFolder() {
    return folderFrom([](wchar_t* b, UINT n) { return GetWindowsDirectoryW(b, n); });
}

std::uint32_t Win32SystemInfo::systemLanguageId() { return GetSystemDefaultLangID(); }

std::string Win32SystemInfo::languageName(std::uint32_t languageId) {
    wchar_t buffer[256] = {};
    const DWORD n = VerLanguageNameW(languageId, buffer, 256);
    return n == 0 ? std::string() : Narrow(std::wstring_view(buffer, n));
}

std::string Win32SystemInfo::localeInfo(std::uint32_t kind) {
    const int n = GetLocaleInfoW(LOCALE_USER_DEFAULT, kind, nullptr, 0);
    if (n <= 0) return {};
    std::wstring buffer(static_cast<std::size_t>(n), L'\0');
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, kind, buffer.data(), n) <= 0) return {};
    buffer.resize(static_cast<std::size_t>(n - 1));
    return Narrow(buffer);
}

}  // namespace nocturo::platform::win32

// System information on Windows. Under wine the answers are wine's (a user,
// a Windows folder on drive C:, a version of its own choosing): the tests
// check their form and that they agree with the system's own calls.
#include <gtest/gtest.h>

#include <windows.h>

#include <cctype>
#include <filesystem>

#include "platform/win32/WinText.h"
#include "platform/win32/Win32SystemInfo.h"

namespace {

using nocturo::platform::win32::ModuleFolder;
using nocturo::platform::win32::Narrow;
using nocturo::platform::win32::Win32SystemInfo;

bool isFolder(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_directory(std::filesystem::u8path(path), ec);
}

TEST(Win32SystemInfo, UserAndComputerNameAreThere) {
    Win32SystemInfo info;
    const auto user = info.userName();
    ASSERT_TRUE(user);
    EXPECT_FALSE(user->empty());
    EXPECT_EQ(user->find('\0'), std::string::npos);
    const auto computer = info.computerName();
    ASSERT_TRUE(computer);
    EXPECT_FALSE(computer->empty());
    EXPECT_LE(computer->size(), static_cast<std::size_t>(MAX_COMPUTERNAME_LENGTH) * 3);
}

TEST(Win32SystemInfo, FoldersExistAndHaveNoTrailingBackslash) {
    Win32SystemInfo info;
    for (const std::string& folder : {info.windowsFolder(), info.systemFolder(), info.programFolder()}) {
        ASSERT_GT(folder.size(), 3u) << folder;
        EXPECT_EQ(folder[1], ':') << folder;
        EXPECT_NE(folder.back(), '\\') << folder;
        EXPECT_TRUE(isFolder(folder)) << folder;
    }
    // The system folder lies inside the Windows folder (system32).
    EXPECT_EQ(info.systemFolder().rfind(info.windowsFolder() + "\\", 0), 0u) << info.systemFolder();
}

TEST(Win32SystemInfo, ProgramFolderHoldsTheRunningProgram) {
    Win32SystemInfo info;
    wchar_t path[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
    const std::string program = Narrow(path);
    EXPECT_EQ(program.rfind(info.programFolder() + "\\", 0), 0u) << program;
    EXPECT_EQ(program.find('\\', info.programFolder().size() + 1), std::string::npos) << program;
    EXPECT_EQ(ModuleFolder(), info.programFolder());
    EXPECT_EQ(Win32SystemInfo("D:\\Tools\\Nocturo\\").programFolder(), "D:\\Tools\\Nocturo");
}

TEST(Win32SystemInfo, VersionIsTheNtFamilysRecord) {
    Win32SystemInfo info;
    const auto v = info.osVersion();
    EXPECT_EQ(v.platformId, 2u);  // VER_PLATFORM_WIN32_NT
    EXPECT_GE(v.major, 5u);
    EXPECT_GT(v.build, 0u);
    EXPECT_TRUE(v.osName.empty());
    // Never less than what GetVersionExW admits to.
    OSVERSIONINFOW old{};
    old.dwOSVersionInfoSize = sizeof old;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    ASSERT_TRUE(GetVersionExW(&old));
#pragma GCC diagnostic pop
    EXPECT_GE(v.major * 100 + v.minor, old.dwMajorVersion * 100 + old.dwMinorVersion);
}

TEST(Win32SystemInfo, VolumeSerialOfTheSystemDrive) {
    Win32SystemInfo info;
    const auto serial = info.volumeSerial();
    ASSERT_TRUE(serial);
    const std::wstring root = std::wstring(1, static_cast<wchar_t>(info.windowsFolder()[0])) + L":\\";
    DWORD expected = 0;
    ASSERT_TRUE(GetVolumeInformationW(root.c_str(), nullptr, 0, &expected, nullptr, nullptr, nullptr, 0));
    EXPECT_EQ(*serial, expected);
}

TEST(Win32SystemInfo, LanguageAndLocaleNames) {
    Win32SystemInfo info;
    const auto id = info.systemLanguageId();
    EXPECT_NE(id, 0u);
    EXPECT_EQ(id, GetSystemDefaultLangID());
    EXPECT_FALSE(info.languageName(id).empty());
    const std::string english = info.languageName(0x0409);
    EXPECT_NE(english.find("English"), std::string::npos) << english;
    const std::string country = info.localeInfo(0x1002);  // LOCALE_SENGCOUNTRY
    EXPECT_FALSE(country.empty());
    EXPECT_EQ(country.find('\0'), std::string::npos);
    EXPECT_FALSE(info.localeInfo(4).empty());  // LOCALE_SNATIVELANGNAME
    EXPECT_FALSE(info.localeInfo(8).empty());  // LOCALE_SNATIVECTRYNAME
    EXPECT_EQ(info.localeInfo(0xFFFFFF), "");
}

}  // namespace

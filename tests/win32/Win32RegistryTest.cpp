// The settings in the real registry (wine's, when the tests run under it).
// Every test works below a key of its own in HKEY_CURRENT_USER and removes it.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "platform/win32/WinText.h"
#include "platform/win32/Win32Registry.h"

namespace {

using namespace nocturo::platform;
using nocturo::platform::win32::Narrow;
using nocturo::platform::win32::Widen;
using nocturo::platform::win32::Win32Registry;

class Win32RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device seed;
        sub = "Software\\Varn\\NocturoTest-" + std::to_string(seed()) + "-" + std::to_string(seed());
        key = "HKEY_CURRENT_USER\\" + sub;
    }
    void TearDown() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, Widen(sub).c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, Widen(sub).c_str());
    }

    // The value as the registry itself holds it, read past the class under test.
    bool rawValue(const std::string& keyBelowUser, const std::string& name, DWORD& type, std::wstring& text,
                  DWORD& number) {
        HKEY h = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, Widen(keyBelowUser).c_str(), 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS)
            return false;
        BYTE data[4096] = {};
        DWORD size = sizeof data;
        const LSTATUS status = RegQueryValueExW(h, Widen(name).c_str(), nullptr, &type, data, &size);
        RegCloseKey(h);
        if (status != ERROR_SUCCESS) return false;
        if (type == REG_DWORD) std::memcpy(&number, data, sizeof number);
        if (type == REG_SZ) text.assign(reinterpret_cast<const wchar_t*>(data), size / sizeof(wchar_t));
        return true;
    }

    // The values sorted by name: the registry does not promise an order (wine
    // gives them by name, Windows mostly in the order of writing).
    std::vector<std::pair<std::string, RegValue>> sortedValues(const std::string& keyPath) {
        auto values = registry.values(keyPath);
        std::sort(values.begin(), values.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        return values;
    }

    bool keyExists(const std::string& keyBelowUser) {
        HKEY h = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, Widen(keyBelowUser).c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
            return false;
        RegCloseKey(h);
        return true;
    }

    std::string sub, key;
    Win32Registry registry;
};

TEST_F(Win32RegistryTest, StringsAreRegSzAndNumbersRegDwordInTheRealRegistry) {
    registry.writeString(key + "\\ADMIN\\Settings\\txtProgram", "C:\\Programme\\Größe 😀.exe");
    registry.writeDword(key + "\\ADMIN\\Settings\\chkSound", 0xFFFFFFFEu);

    DWORD type = 0, number = 0;
    std::wstring text;
    ASSERT_TRUE(rawValue(sub + "\\ADMIN\\Settings", "txtProgram", type, text, number));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(text, Widen("C:\\Programme\\Größe 😀.exe") + L'\0');  // stored with its terminating NUL
    ASSERT_TRUE(rawValue(sub + "\\ADMIN\\Settings", "chkSound", type, text, number));
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(number, 0xFFFFFFFEu);

    EXPECT_EQ(registry.read(key + "\\ADMIN\\Settings\\txtProgram"), RegValue{std::string("C:\\Programme\\Größe 😀.exe")});
    EXPECT_EQ(registry.read(key + "\\ADMIN\\Settings\\chkSound"), RegValue{std::uint32_t{0xFFFFFFFEu}});
    EXPECT_TRUE(registry.exists(key + "\\ADMIN\\Settings\\chkSound"));
}

TEST_F(Win32RegistryTest, RewritingChangesTypeAndValue) {
    registry.writeString(key + "\\v", "1");
    registry.writeDword(key + "\\v", 1);
    EXPECT_EQ(registry.read(key + "\\v"), RegValue{std::uint32_t{1}});
    registry.writeString(key + "\\v", "");
    EXPECT_EQ(registry.read(key + "\\v"), RegValue{std::string()});
}

TEST_F(Win32RegistryTest, NamesCompareWithoutCaseAndRootsHaveShortNames) {
    registry.writeString(key + "\\Settings\\Name", "x");
    const std::string shortKey = "hkcu\\" + sub;
    EXPECT_EQ(registry.read(shortKey + "\\SETTINGS\\name"), RegValue{std::string("x")});
    registry.writeDword("HKCU\\" + sub + "\\settings\\NAME", 5);
    EXPECT_EQ(registry.read(key + "\\Settings\\Name"), RegValue{std::uint32_t{5}});
}

TEST_F(Win32RegistryTest, MissingValuesAndKeysReadAsNothing) {
    EXPECT_EQ(registry.read(key + "\\nothing\\here"), std::nullopt);
    EXPECT_FALSE(registry.exists(key + "\\nothing\\here"));
    registry.createKey(key + "\\empty");
    EXPECT_TRUE(keyExists(sub + "\\empty"));
    EXPECT_EQ(registry.read(key + "\\empty\\value"), std::nullopt);
    EXPECT_TRUE(registry.values(key + "\\empty").empty());
    EXPECT_TRUE(registry.values(key + "\\missing").empty());
}

TEST_F(Win32RegistryTest, TextEndsAtItsFirstNul) {
    registry.writeString(key + "\\v", std::string("before\0after", 12));
    EXPECT_EQ(registry.read(key + "\\v"), RegValue{std::string("before")});
}

TEST_F(Win32RegistryTest, DefaultValueHasTheEmptyName) {
    registry.writeString(key + "\\k\\", "default");
    DWORD type = 0, number = 0;
    std::wstring text;
    ASSERT_TRUE(rawValue(sub + "\\k", "", type, text, number));
    EXPECT_EQ(registry.read(key + "\\k\\"), RegValue{std::string("default")});
}

TEST_F(Win32RegistryTest, OtherTypesAreATypeMismatchAndLeftOutOfValues) {
    registry.writeString(key + "\\a", "1");
    HKEY h = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, Widen(sub).c_str(), 0, KEY_SET_VALUE, &h), ERROR_SUCCESS);
    const BYTE bytes[] = {1, 2, 3};
    RegSetValueExW(h, L"binary", 0, REG_BINARY, bytes, sizeof bytes);
    const wchar_t expand[] = L"%SystemRoot%\\x";
    RegSetValueExW(h, L"expand", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(expand), sizeof expand);
    RegCloseKey(h);
    registry.writeDword(key + "\\b", 2);

    try {
        registry.read(key + "\\binary");
        FAIL() << "no type mismatch";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::TypeMismatch);
    }
    EXPECT_TRUE(registry.exists(key + "\\binary"));
    EXPECT_EQ(registry.read(key + "\\expand"), RegValue{std::string("%SystemRoot%\\x")});  // not expanded
    const auto values = sortedValues(key);
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(values[0], (std::pair<std::string, RegValue>{"a", std::string("1")}));
    EXPECT_EQ(values[1], (std::pair<std::string, RegValue>{"b", std::uint32_t{2}}));
    EXPECT_EQ(values[2], (std::pair<std::string, RegValue>{"expand", std::string("%SystemRoot%\\x")}));
}

TEST_F(Win32RegistryTest, ValuesComeWithTheirNamesAsWritten) {
    registry.writeString(key + "\\Settings\\txtName", "Zoë");
    registry.writeDword(key + "\\Settings\\ChkSound", 1);
    registry.writeString(key + "\\Settings\\Sub\\deeper", "not listed");
    const auto values = sortedValues(key + "\\Settings\\");
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0].first, "ChkSound");
    EXPECT_EQ(values[0].second, RegValue{std::uint32_t{1}});
    EXPECT_EQ(values[1].first, "txtName");
    EXPECT_EQ(values[1].second, RegValue{std::string("Zoë")});
}

TEST_F(Win32RegistryTest, DeletingValuesAndWholeKeys) {
    registry.writeString(key + "\\Settings\\a", "1");
    registry.writeString(key + "\\Settings\\Deep\\Deeper\\b", "2");
    registry.deleteValue(key + "\\Settings\\a");
    EXPECT_FALSE(registry.exists(key + "\\Settings\\a"));
    registry.deleteValue(key + "\\Settings\\a");          // already gone
    registry.deleteValue(key + "\\NoSuchKey\\a");         // no key either
    registry.deleteKey(key + "\\Settings");
    EXPECT_FALSE(keyExists(sub + "\\Settings"));
    EXPECT_TRUE(keyExists(sub));
    registry.deleteKey(key + "\\Settings");               // already gone
}

TEST_F(Win32RegistryTest, BadPathsAreRefusedOnWritingAndNameNothingOnReading) {
    for (const std::string bad : {"HKEY_NOWHERE\\Software\\x", "Software\\Varn\\x", "HKCU\\Software\\\\x",
                                  "HKEY_CURRENT_USER\\x"}) {
        try {
            registry.writeString(bad, "v");
            ADD_FAILURE() << "written: " << bad;
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), err::RegistryInvalidRoot) << bad;
        }
        EXPECT_EQ(registry.read(bad), std::nullopt) << bad;
        EXPECT_FALSE(registry.exists(bad)) << bad;
    }
    EXPECT_THROW(registry.deleteKey("HKEY_CURRENT_USER"), Error);
    EXPECT_THROW(registry.deleteKey("HKEY_NOWHERE\\x"), Error);
    EXPECT_THROW(registry.createKey("HKEY_NOWHERE\\x"), Error);
    EXPECT_THROW(registry.createKey(key + "\\" + std::string(256, 'k')), Error);
    EXPECT_FALSE(keyExists(sub));
}

TEST_F(Win32RegistryTest, TheMachineHiveIsWhereTheProgramKeepsItsSettings) {
    // The program's own key: under wine the prefix's user may write it, as
    // an administrator may on Windows. Elsewhere the refusal is an Error.
    const std::string machineKey = "HKEY_LOCAL_MACHINE\\Software\\Varn\\NocturoTest-" + sub.substr(sub.rfind('-') + 1);
    try {
        registry.writeDword(machineKey + "\\check", 7);
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::PermissionDenied) << e.what();
        return;
    }
    EXPECT_EQ(registry.read(machineKey + "\\check"), RegValue{std::uint32_t{7}});
    HKEY h = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, Widen(machineKey.substr(19)).c_str(), 0, KEY_QUERY_VALUE, &h),
              ERROR_SUCCESS);
    RegCloseKey(h);
    registry.deleteKey(machineKey);
    EXPECT_EQ(registry.read(machineKey + "\\check"), std::nullopt);
}

TEST_F(Win32RegistryTest, BatchesWriteAtOnceAndTheStoreIsTheMachinesOne) {
    registry.beginBatch();
    registry.writeDword(key + "\\v", 3);
    EXPECT_EQ(registry.read(key + "\\v"), RegValue{std::uint32_t{3}});
    registry.endBatch();
    EXPECT_EQ(registry.storeId(), Win32Registry().storeId());
    EXPECT_FALSE(registry.storeId().empty());
}

}  // namespace

// The settings in Windows' registry for a user without administrator
// rights: the user's tree below HKEY_CURRENT_USER, the machine tree below
// HKEY_LOCAL_MACHINE, and an earlier version's user tree moved over once.
// wine does not enforce registry rights, so the registry here is the real
// one with every change below HKEY_LOCAL_MACHINE refused and recorded, as
// Windows refuses it to such a user.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "base/Runtime.h"
#include "base/Variant.h"
#include "base/Varn_Registry.h"
#include "platform/Error.h"
#include "platform/common/RegStore.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/WinText.h"

namespace {

using namespace nocturo;
using nocturo::platform::RegValue;
using nocturo::platform::win32::Widen;
using nocturo::platform::win32::Win32Registry;

class RefusingMachineWrites : public Win32Registry {
public:
    void writeString(const std::string& path, const std::string& text) override {
        check(path);
        Win32Registry::writeString(path, text);
    }
    void writeDword(const std::string& path, std::uint32_t value) override {
        check(path);
        Win32Registry::writeDword(path, value);
    }
    void deleteValue(const std::string& path) override {
        check(path);
        Win32Registry::deleteValue(path);
    }
    void deleteKey(const std::string& keyPath) override {
        check(keyPath);
        Win32Registry::deleteKey(keyPath);
    }
    void createKey(const std::string& keyPath) override {
        check(keyPath);
        Win32Registry::createKey(keyPath);
    }
    std::vector<std::string> refused;

private:
    void check(const std::string& path) {
        const std::string root = path.substr(0, path.find('\\'));
        if (!platform::RegNameEquals(root, "HKEY_LOCAL_MACHINE") && !platform::RegNameEquals(root, "HKLM")) return;
        refused.push_back(path);
        throw platform::win32::ErrorFromCode(ERROR_ACCESS_DENIED, "cannot create registry key \"" + path + "\"");
    }
};

class Win32SettingsRoot : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device seed;
        runtime.appName = "NocturoTest-" + std::to_string(seed()) + "-" + std::to_string(GetCurrentProcessId());
        runtime.userId = "TESTER";
        runtime.machineNumber = "123456789";
        runtime.pf.registry = &registry;
    }
    void TearDown() override {
        const std::wstring program = Widen("Software\\Varn\\" + runtime.appName);
        for (auto [root, key] : {std::pair{HKEY_LOCAL_MACHINE, program}, std::pair{HKEY_CURRENT_USER, program},
                                 std::pair{HKEY_CURRENT_USER,
                                           L"Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE\\Varn\\" +
                                               Widen(runtime.appName)}}) {
            RegDeleteTreeW(root, key.c_str());
            RegDeleteKeyW(root, key.c_str());
        }
    }
    std::string program() const { return "Software\\Varn\\" + runtime.appName; }

    Runtime runtime;
    RuntimeScope scope{runtime};
    RefusingMachineWrites registry;
    Win32Registry unrefused;  // the machine tree as an earlier version wrote it
};

TEST_F(Win32SettingsRoot, UserSettingsGoBelowTheCurrentUserAndMachineSettingsAreRefused) {
    EXPECT_EQ(WriteSetting(UserApp(), kSettings, "txtHour", std::string("07")), SettingWrite::Stored);
    EXPECT_EQ(unrefused.read("HKEY_CURRENT_USER\\" + program() + "\\TESTER\\Settings\\txtHour"),
              RegValue{std::string("07")});
    EXPECT_EQ(CStr(ReadSetting(UserApp(), kSettings, "txtHour", std::string())), "07");

    EXPECT_EQ(WriteSetting(MachineApp(), kSettings, "poption", std::string("AB12")), SettingWrite::Refused);
    ASSERT_EQ(registry.refused.size(), 1u);
    EXPECT_EQ(registry.refused[0], "HKEY_LOCAL_MACHINE\\" + program() + "\\123456789\\Settings\\poption");
    EXPECT_FALSE(unrefused.read(registry.refused[0]).has_value());
}

TEST_F(Win32SettingsRoot, AnEarlierVersionsTreeMovesOverOnceWithTheVirtualStoresValuesWinning) {
    const std::string old = "HKEY_LOCAL_MACHINE\\" + program() + "\\TESTER\\";
    const std::string virtualStore =
        "HKEY_CURRENT_USER\\Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE\\Varn\\" + runtime.appName + "\\TESTER\\";
    unrefused.writeDword(old + "Settings\\chkSound", 1);
    unrefused.writeString(old + "Settings\\txtHour", "07");
    unrefused.writeString(old + "C:\\temp\\Settings\\ExtList", ";*.tmp;");
    unrefused.writeString(virtualStore + "Settings\\txtHour", "09");

    EXPECT_EQ(MoveOldUserTree(), 4);
    const std::string now = "HKEY_CURRENT_USER\\" + program() + "\\TESTER\\";
    EXPECT_EQ(unrefused.read(now + "Settings\\chkSound"), RegValue{std::uint32_t{1}});
    EXPECT_EQ(unrefused.read(now + "Settings\\txtHour"), RegValue{std::string("09")});
    EXPECT_EQ(unrefused.read(now + "C:\\temp\\Settings\\ExtList"), RegValue{std::string(";*.tmp;")});
    EXPECT_TRUE(registry.refused.empty());
    // The old tree stays as it was.
    EXPECT_EQ(unrefused.read(old + "Settings\\txtHour"), RegValue{std::string("07")});

    EXPECT_EQ(WriteSetting(UserApp(), kSettings, "txtHour", std::string("12")), SettingWrite::Stored);
    EXPECT_EQ(MoveOldUserTree(), 0);
    EXPECT_EQ(CStr(ReadSetting(UserApp(), kSettings, "txtHour", std::string())), "12");
}

TEST_F(Win32SettingsRoot, SubKeysAreListedByName) {
    unrefused.writeDword("HKEY_CURRENT_USER\\" + program() + "\\A\\v", 1);
    unrefused.writeDword("HKEY_CURRENT_USER\\" + program() + "\\B\\C\\v", 1);
    auto names = unrefused.subKeys("HKEY_CURRENT_USER\\" + program());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"A", "B"}));
    EXPECT_TRUE(unrefused.subKeys("HKEY_CURRENT_USER\\" + program() + "\\missing").empty());
    EXPECT_EQ(unrefused.userSettingsRoot(), "HKEY_CURRENT_USER");
}

}  // namespace

#include <gtest/gtest.h>

#include "base/Runtime.h"
#include "base/Variant.h"
#include "base/Varn_Registry.h"
#include "support/TestWorld.h"

using namespace nocturo;
using nocturo::test::TestWorld;

namespace {
std::uint32_t dword(TestWorld& w, const std::string& path) {
    auto v = w.reg.read(path);
    EXPECT_TRUE(v.has_value()) << path;
    return v ? std::get<std::uint32_t>(*v) : 0;
}
}  // namespace

TEST(Registry, MissingSettingReturnsTheDefaultWithItsOwnTypeAndLogsNothing) {
    TestWorld w;
    Variant text = ReadSetting(UserApp(), kSettings, "txtHour", std::string("00"));
    Variant number = ReadSetting(UserApp(), kSettings, "MainLeft", 1000);
    ASSERT_TRUE(std::holds_alternative<std::string>(text));
    EXPECT_EQ(std::get<std::string>(text), "00");
    ASSERT_TRUE(std::holds_alternative<std::int32_t>(number));
    EXPECT_EQ(std::get<std::int32_t>(number), 1000);
    EXPECT_EQ(w.errorLog(), "");
}

TEST(Registry, NumbersAreStoredAsDwordsAndTextAsText) {
    TestWorld w;
    WriteSetting(UserApp(), kSettings, "chkSound", 1);
    WriteSetting(UserApp(), kSettings, "optActions0", true);
    WriteSetting(UserApp(), kSettings, "MainLeft", 1000.0);
    WriteSetting(UserApp(), kSettings, "txtHour", std::string("00"));
    EXPECT_EQ(dword(w, "HKEY_LOCAL_MACHINE\\Software\\Varn\\Nocturo\\ADMIN\\Settings\\chkSound"), 1u);
    EXPECT_EQ(dword(w, "HKEY_LOCAL_MACHINE\\Software\\Varn\\Nocturo\\ADMIN\\Settings\\optActions0"), 0xFFFFFFFFu);
    EXPECT_EQ(dword(w, "HKEY_LOCAL_MACHINE\\Software\\Varn\\Nocturo\\ADMIN\\Settings\\MainLeft"), 1000u);
    auto hour = w.reg.read("HKEY_LOCAL_MACHINE\\Software\\Varn\\Nocturo\\ADMIN\\Settings\\txtHour");
    ASSERT_TRUE(hour && std::holds_alternative<std::string>(*hour));
    EXPECT_EQ(std::get<std::string>(*hour), "00");
    // Read back: a DWORD comes back as a signed 32-bit number, so true reads -1.
    EXPECT_EQ(std::get<std::int32_t>(ReadSetting(UserApp(), kSettings, "optActions0", 0)), -1);
    EXPECT_EQ(ReadKey(SettingPath(UserApp(), kSettings, "optActions0")), "-1");
}

TEST(Registry, ExistenceCheckTrimsTheCallersPathAndNeverYields) {
    TestWorld w;
    CreateKey("HKEY_CURRENT_USER\\Software\\x\\name", "v");
    std::string path = "  HKEY_CURRENT_USER\\Software\\x\\name  ";
    int before = w.evloop.yields;
    EXPECT_TRUE(RegKeyExists(path));
    EXPECT_EQ(path, "HKEY_CURRENT_USER\\Software\\x\\name");
    EXPECT_EQ(w.evloop.yields, before);
}

TEST(Registry, DeletingAMissingValueDoesNothingAndLogsNothing) {
    TestWorld w;
    DeleteKey("HKEY_LOCAL_MACHINE\\Software\\Varn\\Nocturo\\ADMIN\\Settings\\nothing");
    EXPECT_EQ(w.errorLog(), "");
    CreateKey("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\Nocturo", "x");
    DeleteKey("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\Nocturo");
    EXPECT_FALSE(RegKeyExists("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\Nocturo"));
}

TEST(Registry, AFailedWriteIsLoggedTwiceWithItsArgumentsAndChangesNothing) {
    TestWorld w;
    w.reg.failWrites = true;
    CreateKey("HKEY_LOCAL_MACHINE\\Software\\Varn\\Nocturo\\ADMIN\\Settings\\txtHour", "12");
    std::string log = w.errorLog();
    EXPECT_NE(log.find("CreateKey of Modul Varn_Registry"), std::string::npos);
    EXPECT_NE(log.find("HKEY_LOCAL_MACHINE\\Software\\Varn\\Nocturo\\ADMIN\\Settings\\txtHour\t12"), std::string::npos);
    EXPECT_TRUE(w.reg.store().empty());
    EXPECT_EQ(w.errorIndicatorCount, 1);
}

TEST(Registry, ANumberThatDoesNotFitIsATypeFailureOfTheWriter) {
    TestWorld w;
    CreateNumericKey("HKEY_CURRENT_USER\\x\\n", std::string("abc"));
    EXPECT_NE(w.errorLog().find("CreateNumericKey of Modul Varn_Registry"), std::string::npos);
    EXPECT_NE(w.errorLog().find("  13  Type mismatch"), std::string::npos);
}

TEST(Registry, TheServiceReadsTheMachineTreeNotTheUsers) {
    TestWorld w;
    w.runtime.userId = "ALICE";
    WriteSetting(UserApp(), kSettings, "txtHour", std::string("21"));
    w.runtime.userId = w.runtime.machineNumber;  // service mode
    EXPECT_EQ(CStr(ReadSetting(UserApp(), kSettings, "txtHour", std::string("00"))), "00");
}

// Where the store gives users a root of their own (Windows' registry), a
// user's trees live there and the machine tree, and a service's, below
// HKEY_LOCAL_MACHINE.
TEST(Registry, UserTreesLiveBelowTheStoresUserRootAndTheMachineTreeBelowTheMachine) {
    TestWorld w;
    EXPECT_EQ(SettingPath(UserApp(), kSettings, "chkSound"),
              "HKEY_LOCAL_MACHINE\\Software\\Varn\\Nocturo\\ADMIN\\Settings\\chkSound");
    w.reg.setUserSettingsRoot("HKEY_CURRENT_USER");
    EXPECT_EQ(SettingPath(UserApp(), kSettings, "chkSound"),
              "HKEY_CURRENT_USER\\Software\\Varn\\Nocturo\\ADMIN\\Settings\\chkSound");
    EXPECT_EQ(SettingPath(UserApp() + "\\C:\\temp", kSettings, "ExtList"),
              "HKEY_CURRENT_USER\\Software\\Varn\\Nocturo\\ADMIN\\C:\\temp\\Settings\\ExtList");
    const std::string machine = "HKEY_LOCAL_MACHINE\\Software\\Varn\\Nocturo\\" + rt().machineNumber + "\\Settings";
    EXPECT_EQ(SettingsKey(MachineApp(), kSettings), machine);
    EXPECT_EQ(SettingsKey(MachineApp() + "\\CleanFilter", kSettings),
              "HKEY_LOCAL_MACHINE\\Software\\Varn\\Nocturo\\" + rt().machineNumber + "\\CleanFilter\\Settings");
    rt().userId = rt().machineNumber;  // a service
    EXPECT_EQ(SettingsKey(UserApp(), kSettings), machine);
}

TEST(Registry, ARefusedWriteSaysSoAndAStoredOneSaysStored) {
    TestWorld w;
    w.reg.actAsOrdinaryWindowsUser();
    EXPECT_EQ(WriteSetting(UserApp(), kSettings, "txtHour", std::string("07")), SettingWrite::Stored);
    EXPECT_EQ(WriteSetting(MachineApp(), kSettings, "poption", std::string("AB")), SettingWrite::Refused);
    EXPECT_EQ(WriteSetting(MachineApp(), kSettings, "chkNtService", 1), SettingWrite::Refused);
    EXPECT_EQ(w.reg.refusedPaths.size(), 2u);
    EXPECT_NE(w.errorLog().find("CreateKey of Modul Varn_Registry"), std::string::npos);
    w.reg.failWrites = true;
    w.reg.refuseMachineWrites = false;
    EXPECT_EQ(WriteSetting(UserApp(), kSettings, "x", std::string("AB")), SettingWrite::Refused);
}

TEST(Registry, AnOldUserTreeBelowTheMachineAndInTheVirtualStoreMovesOnceToTheUsersRoot) {
    TestWorld w;
    auto& s = w.reg.store();
    const std::string old = "HKEY_LOCAL_MACHINE\\Software\\Varn\\Nocturo\\ADMIN\\";
    const std::string virtualStore =
        "HKEY_CURRENT_USER\\Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE\\Varn\\Nocturo\\ADMIN\\";
    s.writeDword(old + "Settings\\chkSound", 1);
    s.writeString(old + "Settings\\txtHour", "07");
    s.writeString(old + "C:\\temp\\Settings\\ExtList", ";*.tmp;");
    s.writeString("HKEY_LOCAL_MACHINE\\Software\\Varn\\Nocturo\\OTHER\\Settings\\txtHour", "11");
    s.writeString(virtualStore + "Settings\\txtHour", "09");  // what the user last saw
    s.writeString(virtualStore + "Settings\\txtMinute", "30");

    // A store without a root of the users' own keeps them where they are.
    EXPECT_EQ(MoveOldUserTree(), 0);

    w.reg.actAsOrdinaryWindowsUser();
    EXPECT_EQ(MoveOldUserTree(), 5);
    const std::string now = "HKEY_CURRENT_USER\\Software\\Varn\\Nocturo\\ADMIN\\";
    EXPECT_EQ(s.read(now + "Settings\\chkSound"), platform::RegValue{std::uint32_t{1}});
    EXPECT_EQ(s.read(now + "Settings\\txtHour"), platform::RegValue{std::string("09")});
    EXPECT_EQ(s.read(now + "Settings\\txtMinute"), platform::RegValue{std::string("30")});
    EXPECT_EQ(s.read(now + "C:\\temp\\Settings\\ExtList"), platform::RegValue{std::string(";*.tmp;")});
    EXPECT_FALSE(s.keyExists("HKEY_CURRENT_USER\\Software\\Varn\\Nocturo\\OTHER"));
    EXPECT_TRUE(w.reg.refusedPaths.empty());
    EXPECT_EQ(CStr(ReadSetting(UserApp(), kSettings, "txtHour", std::string())), "09");

    // Once there, the user's tree is the one: no second move over it.
    WriteSetting(UserApp(), kSettings, "txtHour", std::string("12"));
    EXPECT_EQ(MoveOldUserTree(), 0);
    EXPECT_EQ(CStr(ReadSetting(UserApp(), kSettings, "txtHour", std::string())), "12");
    EXPECT_EQ(w.errorLog(), "");
}

TEST(Registry, AServiceAndAUserWithoutAnOldTreeMoveNothing) {
    TestWorld w;
    w.reg.actAsOrdinaryWindowsUser();
    EXPECT_EQ(MoveOldUserTree(), 0);
    EXPECT_FALSE(w.reg.store().keyExists("HKEY_CURRENT_USER\\Software\\Varn\\Nocturo\\ADMIN"));
    w.reg.store().writeString("HKEY_LOCAL_MACHINE\\Software\\Varn\\Nocturo\\" + rt().machineNumber +
                                  "\\Settings\\txtHour",
                              "05");
    rt().userId = rt().machineNumber;
    EXPECT_EQ(MoveOldUserTree(), 0);
    EXPECT_FALSE(w.reg.store().keyExists("HKEY_CURRENT_USER\\Software\\Varn"));
}

#include <gtest/gtest.h>

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

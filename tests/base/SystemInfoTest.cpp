#include <gtest/gtest.h>

#include "base/Varn_GetSystemInfos.h"
#include "base/Varn_Registry.h"
#include "support/TestWorld.h"

using namespace nocturo;
using nocturo::platform::OsVersion;
using nocturo::test::TestWorld;

namespace {
WinVersionInfo classify(std::uint32_t platform, std::uint32_t major, std::uint32_t minor, std::uint32_t build) {
    return ClassifyWinVersion(OsVersion{platform, major, minor, build, "", ""});
}
}  // namespace

TEST(SystemInfo, VersionTableKeepsTheOldRowsAndOrdersNewSystemsAbove) {
    EXPECT_EQ(classify(1, 4, 10, 2222).name, "Windows 98 SE");
    EXPECT_EQ(classify(1, 4, 10, 2222).code, 14);
    EXPECT_EQ(classify(1, 4, 0, 950).code, 0);
    EXPECT_EQ(classify(1, 4, 0, 1000).code, 10);
    EXPECT_EQ(classify(1, 4, 10, 1000).name, "");
    EXPECT_EQ(classify(1, 4, 90, 3000).name, "Windows ME");
    EXPECT_EQ(classify(2, 4, 0, 1381).code, 21);
    EXPECT_EQ(classify(2, 5, 1, 2600).name, "Windows XP");
    EXPECT_EQ(classify(2, 5, 3, 0).name, "unknown");
    EXPECT_EQ(classify(0, 3, 1, 0).code, 9);
    EXPECT_EQ(classify(3, 2, 1, 0).name, "Windows CE 2.1");
    EXPECT_EQ(classify(9, 0, 0, 0).name, "Unable To Get Windows Version");
    // After Windows 2003 the codes go on rising, so the NT-family checks hold.
    EXPECT_EQ(classify(2, 6, 0, 6000).name, "Windows Vista");
    EXPECT_EQ(classify(2, 6, 1, 7601).code, 26);
    EXPECT_EQ(classify(2, 6, 3, 9600).name, "Windows 8.1");
    EXPECT_EQ(classify(2, 10, 0, 19045).name, "Windows 10");
    EXPECT_EQ(classify(2, 10, 0, 22000).name, "Windows 11");
    EXPECT_EQ(classify(2, 10, 0, 22631).code, 30);
}

TEST(SystemInfo, ANonWindowsSystemNamesItselfButCountsAsCurrentWindows) {
    TestWorld w;
    w.sys.version = OsVersion{2, 10, 0, 22631, "", "Debian GNU/Linux 12 (bookworm) (Linux 6.1.0)"};
    EXPECT_EQ(GetWinVersion(), "Debian GNU/Linux 12 (bookworm) (Linux 6.1.0)");
    EXPECT_GE(GetWinVersionNum(), 30);
}

TEST(SystemInfo, UserIdIsTrimmedUpperCasedAndAdminWhenEmpty) {
    TestWorld w;
    w.sys.user = std::string("alice ");
    GetPCInfos();
    EXPECT_EQ(w.runtime.userId, "ALICE");
    w.sys.user = std::string("");
    GetPCInfos();
    EXPECT_EQ(w.runtime.userId, "ADMIN");
    w.sys.user = std::nullopt;
    GetPCInfos();
    EXPECT_EQ(w.runtime.userId, "ADMIN");
    w.sys.user = std::string(25, 'x');  // does not fit the 25-character buffer
    GetPCInfos();
    EXPECT_EQ(w.runtime.userId, "ADMIN");
    w.sys.user = std::string("b\0b", 3);
    GetPCInfos();
    EXPECT_EQ(w.runtime.userId, "BB");
}

TEST(SystemInfo, MachineNumberIsNineDigitsAndStable) {
    EXPECT_EQ(MachineNumberFromSerial(0), "000000000");
    EXPECT_EQ(MachineNumberFromSerial(12345), "000012345");
    EXPECT_EQ(MachineNumberFromSerial(0xFFFFFFFFu), "294967295");
    TestWorld w;
    GetPCInfos();
    EXPECT_EQ(w.runtime.machineNumber, MachineNumberFromSerial(0x2A1B3C4Du));
}

TEST(SystemInfo, OrganisationComesFromThePlatformsKeyOrIsNone) {
    TestWorld w;
    GetPCInfos();
    EXPECT_EQ(w.runtime.organisation, "NONE");
    CreateKey("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\RegisteredOrganization", " acme ");
    GetPCInfos();
    EXPECT_EQ(w.runtime.organisation, "ACME");
    CreateKey("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\RegisteredOrganization",
              "HKEY_LOCAL_MACHINE\\...");
    GetPCInfos();
    EXPECT_EQ(w.runtime.organisation, "NONE");
}

TEST(SystemInfo, FoldersComeWithoutATrailingSeparator) {
    TestWorld w;
    w.sys.winDir = "C:\\Windows\\";
    EXPECT_EQ(GetWinDir(), "C:\\Windows");
    EXPECT_EQ(GetSysDir(), "C:\\Windows\\System32");
}

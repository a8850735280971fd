#include <gtest/gtest.h>

#include "platform/sim/SimSystemInfo.h"

using namespace nocturo::platform;

TEST(SimSystemInfo, DefaultsDescribeAKnownTestMachine) {
    SimSystemInfo info("/opt/nocturo/bin/");
    EXPECT_EQ(info.userName(), std::optional<std::string>("tester"));
    EXPECT_EQ(info.volumeSerial(), std::optional<std::uint32_t>(0x2A1B3C4Du));
    OsVersion v = info.osVersion();
    EXPECT_EQ(v.platformId, 2u);
    EXPECT_EQ(v.major, 10u);
    EXPECT_EQ(v.minor, 0u);
    EXPECT_EQ(v.build, 22631u);
    EXPECT_EQ(v.osName, "");
    EXPECT_EQ(info.systemFolder(), "/usr/bin");
    EXPECT_EQ(info.windowsFolder(), "/");
    EXPECT_EQ(info.programFolder(), "/opt/nocturo/bin");
    EXPECT_EQ(info.systemLanguageId(), 0x0409u);
    EXPECT_EQ(info.languageName(0x0409), "English (United States)");
    EXPECT_EQ(info.languageName(0x0407), "");
    EXPECT_EQ(info.localeInfo(0x1002), "United States");
    EXPECT_EQ(info.localeInfo(4), "English");
    EXPECT_EQ(info.localeInfo(8), "United States");
    EXPECT_EQ(info.localeInfo(0x1001), "");
}

TEST(SimSystemInfo, EveryValueCanBeSetIncludingFailures) {
    SimSystemInfo info("/p");
    info.setUserName(std::nullopt);
    info.setVolumeSerial(std::nullopt);
    EXPECT_EQ(info.userName(), std::nullopt);
    EXPECT_EQ(info.volumeSerial(), std::nullopt);
    info.setUserName("  jane doe ");
    EXPECT_EQ(info.userName(), std::optional<std::string>("  jane doe "));
    info.setOsVersion(OsVersion{1, 4, 10, 2222, " A ", ""});
    EXPECT_EQ(info.osVersion().platformId, 1u);
    EXPECT_EQ(info.osVersion().csd, " A ");
    info.setSystemLanguageId(0x0407);
    info.setLanguageName(0x0407, "German (Germany)");
    info.setLocaleInfo(0x1002, "Germany");
    info.setLocaleInfo(4, "Deutsch");
    info.setSystemFolder("/sbin");
    info.setWindowsFolder("/etc");
    info.setProgramFolder("/");
    EXPECT_EQ(info.languageName(info.systemLanguageId()), "German (Germany)");
    EXPECT_EQ(info.localeInfo(0x1002), "Germany");
    EXPECT_EQ(info.localeInfo(4), "Deutsch");
    EXPECT_EQ(info.systemFolder(), "/sbin");
    EXPECT_EQ(info.windowsFolder(), "/etc");
    EXPECT_EQ(info.programFolder(), "/");
}

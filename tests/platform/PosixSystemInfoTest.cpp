#include <gtest/gtest.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "support/EnvOverride.h"
#include "platform/posix/PosixClock.h"
#include "platform/posix/PosixSystemInfo.h"

using nocturo::platform::LookupLocale;
using nocturo::platform::PosixClock;
using nocturo::platform::PosixSystemInfo;
using nocturo::test::EnvOverride;

TEST(PosixSystemInfo, VersionLooksLikeCurrentWindowsAndNamesTheRealSystem) {
    PosixSystemInfo info("/opt/nocturo/bin/");
    const auto v = info.osVersion();
    EXPECT_EQ(v.platformId, 2u);
    EXPECT_EQ(v.major, 10u);
    EXPECT_EQ(v.minor, 0u);
    EXPECT_EQ(v.build, 22631u);
    EXPECT_FALSE(v.osName.empty());
    EXPECT_NE(v.osName.find("Linux"), std::string::npos) << v.osName;
    EXPECT_EQ(info.programFolder(), "/opt/nocturo/bin");
    EXPECT_EQ(info.systemFolder(), "/usr/bin");
    EXPECT_EQ(info.windowsFolder(), "/");
}

TEST(PosixSystemInfo, ProgramFolderDefaultsToTheExecutablesFolder) {
    PosixSystemInfo info;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe");
    EXPECT_EQ(info.programFolder(), exe.parent_path().string());
}

TEST(PosixSystemInfo, UserAndVolumeSerialAreStable) {
    PosixSystemInfo info;
    const auto user = info.userName();
    ASSERT_TRUE(user.has_value());
    EXPECT_FALSE(user->empty());
    const auto serial = info.volumeSerial();
    ASSERT_TRUE(serial.has_value());
    EXPECT_EQ(PosixSystemInfo().volumeSerial(), serial);
}

TEST(PosixSystemInfo, LocaleComesFromTheEnvironment) {
    PosixSystemInfo info;
    EnvOverride all("LC_ALL", std::nullopt);
    EnvOverride messages("LC_MESSAGES", std::nullopt);
    {
        EnvOverride lang("LANG", "de_DE.UTF-8");
        EXPECT_EQ(info.systemLanguageId(), 0x0407u);
        EXPECT_EQ(info.languageName(info.systemLanguageId()), "German (Germany)");
        EXPECT_EQ(info.localeInfo(0x1002), "Germany");
        EXPECT_EQ(info.localeInfo(4), "Deutsch");
        EXPECT_EQ(info.localeInfo(8), "Deutschland");
        EXPECT_EQ(info.localeInfo(0x999), "");
    }
    {
        EnvOverride lang("LANG", "de_DE.UTF-8");
        EnvOverride msg("LC_MESSAGES", "fr_FR.UTF-8");
        EXPECT_EQ(info.systemLanguageId(), 0x040Cu);
        EnvOverride over("LC_ALL", "de_AT@euro");
        EXPECT_EQ(info.systemLanguageId(), 0x0C07u);
        EXPECT_EQ(info.localeInfo(8), "\xC3\x96sterreich");
    }
    for (const char* c : {"C", "POSIX", "C.UTF-8", "xx_YY", ""}) {
        EnvOverride lang("LANG", std::string(c));
        EXPECT_EQ(info.systemLanguageId(), 0x0409u) << c;
        EXPECT_EQ(info.localeInfo(0x1002), "United States") << c;
        EXPECT_EQ(info.languageName(0x0409), "English (United States)");
    }
    EXPECT_EQ(info.languageName(0x7777), "");
}

TEST(PosixSystemInfo, LocaleTableCoversCommonLocales) {
    struct Case {
        const char* name;
        unsigned id;
        const char* country;
    } cases[] = {
        {"en_US.UTF-8", 0x0409, "United States"}, {"en_GB", 0x0809, "United Kingdom"}, {"de_CH.utf8", 0x0807, "Switzerland"},
        {"fr_FR", 0x040C, "France"},               {"es_ES", 0x0C0A, "Spain"},          {"it_IT", 0x0410, "Italy"},
        {"nl_NL", 0x0413, "Netherlands"},          {"pt_BR", 0x0416, "Brazil"},         {"pl_PL", 0x0415, "Poland"},
        {"ru_RU.KOI8-R", 0x0419, "Russia"},        {"de", 0x0407, "Germany"},           {"de_LU", 0x0407, "Germany"},
        {"EN_us", 0x0409, "United States"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LookupLocale(c.name).languageId, c.id) << c.name;
        EXPECT_STREQ(LookupLocale(c.name).englishCountry, c.country) << c.name;
    }
}

TEST(PosixClock, LocalTimeAndMonotonicClock) {
    PosixClock clock;
    const auto a = clock.now();
    const time_t t = time(nullptr);
    tm local{};
    localtime_r(&t, &local);
    EXPECT_EQ(a.year, local.tm_year + 1900);
    EXPECT_GE(a.month, 1);
    EXPECT_LE(a.month, 12);
    EXPECT_GE(a.millisecond, 0);
    EXPECT_LE(a.millisecond, 999);
    EXPECT_EQ(a.weekday, (local.tm_wday + 6) % 7);  // Monday 0 ... Sunday 6
    const auto m0 = clock.monotonicMs();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const auto m1 = clock.monotonicMs();
    EXPECT_GE(m1 - m0, 20);
    EXPECT_LT(m1 - m0, 5000);
}

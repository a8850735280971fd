// Start-up: the command line, the instance check, the crash and log-in lines.
#include <gtest/gtest.h>

#include "app/Nocturo_Main.h"
#include "base/Varn_Registry.h"
#include "shell/FrmMain.h"
#include "support/SimWorld.h"

using namespace nocturo;
using nocturo::test::SimWorld;

TEST(CommandLine, TheActionIsReadCaseInsensitiveUpToTheNextSwitch) {
    EXPECT_EQ(CommandLineAction("/ACTION:Reboot"), "Reboot");
    EXPECT_EQ(CommandLineAction("  /action:reboot /option:noquestion"), "Reboot");
    EXPECT_EQ(CommandLineAction("/action: shutdown "), "Nocturo");
    EXPECT_EQ(CommandLineAction("/action:poweroff"), "PowerOff");
    EXPECT_EQ(CommandLineAction("/action:logoff"), "LogOff");
    EXPECT_EQ(CommandLineAction("/action:default"), "");
    EXPECT_EQ(CommandLineAction("/action:"), "");
    EXPECT_EQ(CommandLineAction("/action:explode"), "");
    EXPECT_EQ(CommandLineAction("/option:noquestion"), std::nullopt);
    EXPECT_EQ(CommandLineAction(""), std::nullopt);
    EXPECT_EQ(CommandLineOption("/action:reboot /option:PowerOff"), "poweroff");
}

namespace {
struct Started {
    SimWorld w;
    FrmMain f;
    NocturoMain m{f};
    bool run(const std::string& commandLine) { return m.Main(commandLine); }
};
}  // namespace

TEST(Main, AStartWritesTheVersionCountsTheStartAndLogsStartedThenNewLogin) {
    Started s;
    ASSERT_TRUE(s.run(""));
    EXPECT_EQ(s.w.actionLogLines(), (std::vector<std::string>{"Nocturo started", "New Login"}));
    EXPECT_TRUE(s.w.reg.exists(SettingPath(MachineApp(), kSettings, "ProgramVersion")));
    EXPECT_EQ(CLng(ReadSetting(UserApp(), kSettings, "UseCounter", 0)), 1);
    EXPECT_EQ(s.w.runtime.userId, "TESTER");
    EXPECT_GE(s.w.clock.monotonicMs(), 3000);  // the splash
    EXPECT_FALSE(s.w.errorLog().empty());      // the header is written at start
    EXPECT_EQ(s.w.count("ExitWindowsEx"), 0);
}

TEST(Main, AStoredCrashTimeComesFirstWithItsOwnStamp) {
    Started s;
    s.w.runtime.userId = "TESTER";
    WriteSetting(UserApp(), kSettings, "Crashtime", std::string("07.12.2026 23:10:00"));
    ASSERT_TRUE(s.run(""));
    auto log = s.w.actionLog();
    auto crash = log.find("07.12.2026 23:10:00  Computer Crash                  UserID :  TESTER");
    auto login = log.find("  New Login                       UserID :  TESTER");
    ASSERT_NE(crash, std::string::npos) << log;
    ASSERT_NE(login, std::string::npos);
    EXPECT_LT(crash, login);
}

TEST(Main, TheRebootSwitchRestartsForcedByDefault) {
    Started s;
    ASSERT_TRUE(s.run("/action:reboot"));
    EXPECT_EQ(s.w.sessionEnds, (std::vector<std::uint32_t>{7}));
    auto calls = s.w.calls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "AdjustTokenPrivileges"), calls.end());
    auto lines = s.w.actionLogLines();
    EXPECT_EQ(lines, (std::vector<std::string>{"Nocturo started", "New Login", "Restart"}));
}

TEST(Main, AMissingLanguageFileEndsTheProgramWithItsMessage) {
    Started s;
    s.w.runtime.userId = "TESTER";
    WriteSetting(UserApp(), kSettings, "Language", std::string("klingon"));
    EXPECT_FALSE(s.run("/action:reboot"));
    EXPECT_EQ(s.m.exitCode, 1);
    EXPECT_NE(s.w.last("MessageBox")->at("prompt").asString().find("klingon.lng is missing"), std::string::npos);
    EXPECT_TRUE(s.w.sessionEnds.empty());
    EXPECT_EQ(s.w.actionLog(), "");
}

TEST(Main, ASecondInstanceIsRefusedWithTheLanguageTexts) {
    Started s;
    s.w.processes.setInstanceLock([](const std::string&) { return false; });
    EXPECT_FALSE(s.run(""));
    auto* box = s.w.last("MessageBox");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->at("prompt").asString(), "Already running.\nOnly one copy.");
    EXPECT_EQ(box->at("title").asString(), "Nocturo Info");
}

TEST(Main, ServiceModeUsesTheMachineTreeForEverything) {
    Started s;
    WriteSetting(AppKeyFor("000000000"), kSettings, "unused", 0);
    s.w.sys.serial = 123456789u;
    WriteSetting(AppKeyFor("123456789"), kSettings, "chkNtService", 1);
    WriteSetting(AppKeyFor("TESTER"), kSettings, "txtHour", std::string("05"));
    ASSERT_TRUE(s.run(""));
    EXPECT_EQ(s.w.runtime.userId, "123456789");
    EXPECT_EQ(s.f.txtHour.text(), "00");
}

// Start-up: the command line, the instance check, the crash and log-in lines.
#include <gtest/gtest.h>

#include "app/Nocturo_Main.h"
#include "base/Varn_ErrorLog.h"
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

// ---- settings that cannot be used, and hostile values ----------------------------------

TEST(Main, SettingsThatCannotBeUsedArmNothingAndSaySoOnce) {
    struct Case {
        const char* name;
        std::function<void(SimWorld&)> spoil;
    };
    const Case cases[] = {
        {"cannot be written", [](SimWorld& w) { w.reg.failWrites = true; }},
        {"were set aside as unreadable",
         [](SimWorld& w) { w.runtime.settingsProblem = "registry.reg could not be read; kept as registry.reg.corrupt"; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Started s;
        c.spoil(s.w);
        ASSERT_TRUE(s.run(""));
        // The defaults would shut the computer down at midnight, forced.
        s.w.loop.runFor(4LL * 3600 * 1000);
        EXPECT_EQ(s.w.count("ExitWindowsEx"), 0);
        const auto lines = s.w.actionLogLines();
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "Settings unusable, not armed"), 1);
        EXPECT_EQ(s.f.lblNocturoInfo.caption(), "not armed: the settings cannot be used");
        // The error log says it once, not at every refresh of the crash marker.
        const std::string log = s.w.errorLog();
        size_t entries = 0;
        for (size_t at = log.find(" of Modul Varn_Registry"); at != std::string::npos;
             at = log.find(" of Modul Varn_Registry", at + 1))
            ++entries;
        EXPECT_LE(entries, 1u);
        // Choosing a schedule arms it.
        s.f.txtCounter.setText("0");
        s.f.fireEvent("optShutdownTime(2).Click");
        s.f.cmbTimeUnit.setListIndex(2);
        s.f.txtStartActionIn.setText("3");
        s.f.cmdResetCounter_Click();
        s.w.loop.runFor(10000);
        EXPECT_EQ(s.w.count("ExitWindowsEx"), 1);
    }
}

TEST(Main, TheFirstFailureBeforeTheLogIsPreparedWritesItsHeader) {
    SimWorld w;
    EXPECT_EQ(w.errorLog(), "");
    WriteErrorLog(kProductSource, "Main of Modul Nocturo_Main", 4, 5, "early");
    const std::string log = w.errorLog();
    EXPECT_EQ(log.rfind("########  Varn error log file - created ", 0), 0u) << log;
    EXPECT_NE(log.find("########  End of Header  ##########"), std::string::npos);
    EXPECT_LT(log.find("End of Header"), log.find("Main of Modul Nocturo_Main"));
    WriteErrorLog(kProductSource, "Main of Modul Nocturo_Main", 5, 5, "later");
    EXPECT_EQ(w.errorLog().find("Varn error log file", 11), std::string::npos);  // one header
}

TEST(Main, HostileStoredValuesAreFailuresNotSurprises) {
    Started s;
    s.w.runtime.userId = "TESTER";
    WriteSetting(UserApp(), kSettings, "MainLeft", std::string("1e300"));
    WriteSetting(UserApp(), kSettings, "MainTop", std::string("-nan"));
    WriteSetting(UserApp(), kSettings, "Crashtime",
                 std::string("01.01.2026 00:00:00  Shutdown                        UserID :  ADMIN\n01.01.2026 00:00:00"));
    ASSERT_TRUE(s.run(""));
    EXPECT_EQ(s.f.left(), 1000);
    EXPECT_EQ(s.f.top(), 1000);
    EXPECT_NE(s.w.errorLog().find("Load_Registry of Formular fMainForm"), std::string::npos);
    // The crash is reported, with this start's moment; no line is forged.
    EXPECT_EQ(s.w.actionLogLines(), (std::vector<std::string>{"Nocturo started", "Computer Crash", "New Login"}));
    EXPECT_EQ(s.w.actionLog().find("01.01.2026"), std::string::npos);
    // Saved back as numbers a window can have.
    s.f.setLeft(1200);
    s.f.Save_Registry();
    EXPECT_EQ(CLng(ReadSetting(UserApp(), kSettings, "MainLeft", 0)), 1200);
}

// Start-up: the command line, the instance check, the crash and log-in lines.
#include <gtest/gtest.h>

#include <set>

#include "app/Nocturo_Main.h"
#include "base/Varn_ErrorLog.h"
#include "base/Varn_Registry.h"
#include "base/Version.h"
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
    EXPECT_EQ(CommandLineAction("/option:noquestion"), std::nullopt);
    EXPECT_EQ(CommandLineAction(""), std::nullopt);
    EXPECT_EQ(CommandLineOption("/action:reboot /option:PowerOff"), "poweroff");
}

TEST(CommandLine, EveryActionOfTheWindowHasANameAndAnyOtherNameActsOnNothing) {
    EXPECT_EQ(CommandLineAction("/action:Suspend"), "Suspend");
    EXPECT_EQ(CommandLineAction("/action:hibernate"), "Hibernate");
    EXPECT_EQ(CommandLineAction("/action:LOCK"), "LockPC");
    EXPECT_EQ(CommandLineAction("/action:alarm"), "Alarm");
    EXPECT_EQ(CommandLineAction("/action:program /option:noquestion"), "StartProgram");
    for (const char* unknown : {"/action:rebott", "/action:explode", "/action:reboot now", "/action:lockpc"}) {
        SCOPED_TRACE(unknown);
        EXPECT_EQ(CommandLineAction(unknown), std::nullopt);
        EXPECT_NE(CommandLineSwitchProblem(unknown).find("unknown action"), std::string::npos);
    }
    EXPECT_EQ(CommandLineSwitchProblem("/ACTION:Reboot /option:NoQuestion"), "");
    EXPECT_EQ(CommandLineSwitchProblem("/action: /option:poweroff"), "");
    EXPECT_EQ(CommandLineSwitchProblem(""), "");
    EXPECT_EQ(CommandLineSwitchProblem("/action:reboot /option:fast"),
              "unknown /option: value 'fast'; known: poweroff, noquestion");
    EXPECT_EQ(CommandLineSwitchProblem("/action:reboot /ACTION:suspend"), "/action: is given twice");
    EXPECT_EQ(CommandLineSwitchProblem("/option:noquestion /option:poweroff"), "/option: is given twice");
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

// A Windows user without administrator rights, after an older version kept
// the user's settings below HKEY_LOCAL_MACHINE: they come along to
// HKEY_CURRENT_USER, and the start changes nothing in the machine tree.
TEST(Main, AnOrdinaryUsersFirstStartBringsTheOldSettingsAlong) {
    Started s;
    s.w.reg.store().writeString("HKEY_LOCAL_MACHINE\\Software\\Varn\\Nocturo\\TESTER\\Settings\\txtHour", "05");
    s.w.sys.serial = 123456789u;  // the machine number
    s.w.reg.store().writeString(SettingPath(AppKeyFor("123456789"), kSettings, "ProgramVersion"), version::Text);
    s.w.reg.store().writeDword(SettingPath(AppKeyFor("123456789"), kSettings, "TTS"), 0xFFFFFFFFu);
    s.w.reg.actAsOrdinaryWindowsUser();
    ASSERT_TRUE(s.run(""));
    EXPECT_EQ(s.f.txtHour.text(), "05");
    EXPECT_EQ(s.w.reg.read("HKEY_CURRENT_USER\\Software\\Varn\\Nocturo\\TESTER\\Settings\\txtHour"),
              platform::RegValue{std::string("05")});
    EXPECT_TRUE(s.w.reg.refusedPaths.empty()) << s.w.reg.refusedPaths.front();
    EXPECT_EQ(s.w.errorLog().find("Varn_Registry"), std::string::npos) << s.w.errorLog();
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

// ---- the actions the command line names ------------------------------------------------

namespace {
// What changed the machine or was heard, in order, as the journal has it.
std::vector<std::string> actingCalls(const SimWorld& w) {
    static const std::set<std::string> acting = {"ExitWindowsEx", "SetSuspendState", "LockWorkStation",
                                                 "StartProgram", "PlaySound"};
    std::vector<std::string> out;
    for (const auto& e : w.journal.entries())
        if (acting.count(e.at("call").asString())) out.push_back(platform::Json(e).dump());
    return out;
}

// A program to start, ticked to run before the action.
void withStartProgram(SimWorld& w) {
    w.runtime.userId = "TESTER";
    w.fs.addFile("C:\\tools\\backup.exe");
    w.processes.script("C:\\tools\\backup.exe", 0, 2000);
    WriteSetting(UserApp(), kSettings, "chkStartProgram", 1);
    WriteSetting(UserApp(), kSettings, "txtStartProgram", std::string("C:\\tools\\backup.exe"));
}
}  // namespace

TEST(Main, EveryActionTheCommandLineNamesDoesWhatTheWindowOrTheTrayDoes) {
    struct Case {
        const char* commandLine;
        int option;                              // the same action chosen in the window, or -1:
        std::function<void(FrmMain&)> byTray;    // from the tray menu
        const char* call;                        // what the action comes to
        std::vector<std::string> logged;         // the action log after the start
        bool withProgram = false;
    };
    const Case cases[] = {
        {"/action:suspend", -1, [](FrmMain& f) { f.m_frmSysTray_MenuClick(7, "Suspend"); }, "SetSuspendState",
         {"Suspend PC"}},
        {"/action:hibernate", -1, [](FrmMain& f) { f.m_frmSysTray_MenuClick(8, "Hibernate"); }, "SetSuspendState",
         {"Hibernate PC"}},
        {"/ACTION:Lock", -1, [](FrmMain& f) { f.m_frmSysTray_MenuClick(3, "LockPC"); }, "StartProgram", {"Lock PC"}},
        {"/action:alarm", 4, {}, "PlaySound", {"Alarm"}},
        {"/action:program", 3, {}, "StartProgram", {"Start C:\\tools\\backup.exe", "Program finished"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.commandLine);
        Started byHand;
        if (c.withProgram) withStartProgram(byHand.w);
        ASSERT_TRUE(byHand.run(""));
        if (c.option >= 0) byHand.f.fireEvent("optActions(" + std::to_string(c.option) + ").Click");
        byHand.w.journal.clear();
        // The window's button runs the chosen action after its own click
        // sound and "manual command" line.
        if (c.byTray) c.byTray(byHand.f);
        else byHand.f.ShutDown_Action("");
        byHand.w.loop.runFor(60000);

        Started named;
        if (c.withProgram) withStartProgram(named.w);
        ASSERT_TRUE(named.run(c.commandLine));
        named.w.loop.runFor(60000);

        const auto calls = actingCalls(named.w);
        ASSERT_FALSE(calls.empty());
        EXPECT_NE(calls.front().find(std::string("\"call\":\"") + c.call + "\""), std::string::npos) << calls.front();
        EXPECT_EQ(calls, actingCalls(byHand.w));
        EXPECT_EQ(named.w.count("ExitWindowsEx"), 0);
        std::vector<std::string> expected = {"Nocturo started", "New Login"};
        expected.insert(expected.end(), c.logged.begin(), c.logged.end());
        EXPECT_EQ(named.w.actionLogLines(), expected);
        // Afterwards the window is back on the action chosen in it.
        EXPECT_EQ(named.f.cmdGo.caption(), "Shut Down Now!");
    }
}

TEST(Main, ACommandLineWithAnUnknownActionOrOptionActsOnNothing) {
    for (const char* line : {"/action:rebott", "/action:suspendd /option:noquestion", "/action:reboot /action:suspend",
                             "/action:reboot /option:bogus"}) {
        SCOPED_TRACE(line);
        Started s;
        ASSERT_TRUE(s.run(line));
        s.w.loop.runFor(60000);
        EXPECT_EQ(actingCalls(s.w), std::vector<std::string>{});
        EXPECT_EQ(s.w.actionLogLines(), (std::vector<std::string>{"Nocturo started", "New Login"}));
    }
}

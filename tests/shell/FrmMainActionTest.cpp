// Carrying out actions: the countdown, cancelling, confirmation, the start
// program, the session calls, as the simulated machine records them.
#include <gtest/gtest.h>

#include "base/Varn_Registry.h"
#include "platform/IDialogs.h"
#include "schedule/Varn_modShutDown.h"
#include "shell/FrmMain.h"
#include "support/SimWorld.h"

using namespace nocturo;
using nocturo::test::SimWorld;

namespace {

// A fresh installation: the defaults of every setting, logging into the
// program folder.
struct Fresh {
    SimWorld w;
    FrmMain f;
    Fresh() { f.Form_Load(); }
    std::int64_t ms() { return w.clock.monotonicMs(); }
    // Lets the loop run until the action under way has ended.
    void settle() { ASSERT_TRUE(w.runUntil([&] { return !f.actionRunning(); })); }
    std::vector<std::string> logTail(size_t from) {
        auto lines = w.actionLogLines();
        return std::vector<std::string>(lines.begin() + static_cast<long>(from), lines.end());
    }
};

}  // namespace

TEST(ShutDownAction, ACancelClickDuringTheCountdownStopsTheActionAndReturnsToReady) {
    Fresh t;
    t.w.loop.at(t.ms() + 3500, "click cmdGo", [&] { t.f.cmdGo_Click(); });
    t.f.cmdGo_Click();
    t.settle();
    EXPECT_EQ(t.w.count("ExitWindowsEx"), 0);
    EXPECT_EQ(t.logTail(1), (std::vector<std::string>{"manual command", "Shutdown", "action canceled"}));
    EXPECT_EQ(t.w.count("Beep"), 4);  // steps 9, 8, 7, 6 before the click at 3.5 s
    EXPECT_EQ(t.f.cmdGo.caption(), "Shut Down Now!");
    EXPECT_TRUE(t.f.cmdGo.enabled());
    EXPECT_TRUE(t.f.Timer2.enabled());
    EXPECT_FALSE(t.f.imgCounter0.visible());
    EXPECT_TRUE(t.f.lblNocturoInfo.visible());
    EXPECT_EQ(t.f.imgCountdown.picture(), "idle");
}

TEST(ShutDownAction, WithoutQuestionsAShutdownBecomesPowerOffAfterTheCountdown) {
    Fresh t;
    t.f.txtCounter.setText("2");
    t.f.cmdGo_Click();
    t.settle();
    ASSERT_EQ(t.w.sessionEnds, (std::vector<std::uint32_t>{13}));  // power off, forced
    auto* call = t.w.last("ExitWindowsEx");
    ASSERT_NE(call, nullptr);
    EXPECT_EQ(call->at("reserved").asNumber(), 4294967295.0);
    EXPECT_EQ(t.w.count("AdjustTokenPrivileges"), 1);
    EXPECT_EQ(t.w.count("Beep"), 3);  // 2, 1, 0
    EXPECT_EQ(t.logTail(1), (std::vector<std::string>{"manual command", "Shutdown"}));
    // The settings were saved before the session ended.
    EXPECT_TRUE(t.w.reg.exists(SettingPath(UserApp(), kSettings, "Crashtime")));
}

TEST(ShutDownAction, ACounterOfZeroShowsZeroZeroOnceAndACountOfHundredStillDisplays) {
    Fresh t;
    t.f.txtCounter.setText("0");
    std::vector<std::string> shown;
    t.f.setChangeListener([&](const std::string& what) {
        if (what == "imgCounter0") shown.push_back(t.f.imgCounter1.picture() + "/" + t.f.imgCounter0.picture());
    });
    t.f.cmdGo_Click();
    t.settle();
    EXPECT_EQ(t.w.count("Beep"), 1);
    EXPECT_EQ(t.f.imgCounter0.picture(), "digit0");
    EXPECT_EQ(t.f.imgCounter1.picture(), "digit0");

    Fresh big;
    big.f.txtCounter.setText("105");
    big.f.chkForce.setValue(0);
    big.w.dialogs.pushAnswer(platform::mb::IdNo);
    big.f.cmdGo_Click();
    big.settle();
    EXPECT_EQ(big.w.count("Beep"), 106);
    EXPECT_EQ(big.w.errorLog(), "");
}

TEST(ShutDownAction, ARefusedQuestionDropsTheActionWithoutALogLine) {
    Fresh t;
    t.f.chkForce.setValue(0);
    t.f.txtCounter.setText("0");
    t.w.dialogs.pushAnswer(platform::mb::IdNo);
    t.f.cmdGo_Click();
    t.settle();
    auto* box = t.w.last("MessageBox");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->at("title").asString(), "Exit Windows");
    EXPECT_EQ(box->at("prompt").asString(), "The Computer will Shutdown now.\n\nContinue?");
    EXPECT_EQ(box->at("buttons").asNumber(), 4132);
    EXPECT_EQ(t.w.count("ExitWindowsEx"), 0);
    EXPECT_EQ(t.logTail(1), (std::vector<std::string>{"manual command", "Shutdown"}));
    EXPECT_TRUE(t.f.Timer2.enabled());
}

TEST(ShutDownAction, ANamedActionSkipsTheCountdownButStillAsks) {
    Fresh t;
    t.f.chkForce.setValue(0);
    t.w.dialogs.pushAnswer(platform::mb::IdYes);
    t.f.ShutDown_Action("Reboot");
    t.settle();
    EXPECT_EQ(t.w.count("Beep"), 0);
    EXPECT_EQ(t.w.sessionEnds, (std::vector<std::uint32_t>{3}));
    // Power Off ticked does not turn a restart into a power off.
    EXPECT_TRUE(t.f.chkPowerOff.checked());
    // The system took the call: the program waits for the session to end,
    // with its timer off, and calls nothing more.
    EXPECT_TRUE(t.f.sessionEnding());
    EXPECT_FALSE(t.f.Timer2.enabled());
    t.w.runUntil([] { return false; }, 60000);
    EXPECT_EQ(t.w.count("ExitWindowsEx"), 1);
    // A click on the button gives the window back, the user's own action in it.
    t.f.cmdGo_Click();
    EXPECT_FALSE(t.f.sessionEnding());
    EXPECT_EQ(t.f.cmdGo.caption(), "Shut Down Now!");
    EXPECT_EQ(t.f.actionCode, action::Shutdown);
    EXPECT_TRUE(t.f.Timer2.enabled());
    EXPECT_EQ(t.w.count("ExitWindowsEx"), 1);
}

TEST(ShutDownAction, TheEmergencyStopForcesTheActionAndCancelsARunningCountdown) {
    Fresh t;
    t.f.chkForce.setValue(0);
    t.f.txtCounter.setText("1");
    t.f.ImgStop_DblClick();
    t.settle();
    EXPECT_EQ(t.w.sessionEnds, (std::vector<std::uint32_t>{13}));
    EXPECT_EQ(t.w.count("MessageBox"), 0);
    EXPECT_EQ(t.logTail(1), (std::vector<std::string>{"Emergency Shut Down", "Shutdown"}));
    EXPECT_TRUE(t.f.sessionEnding());

    Fresh c;
    c.f.txtCounter.setText("9");
    c.w.loop.at(c.ms() + 2500, "double click ImgStop", [&] { c.f.ImgStop_DblClick(); });
    c.f.cmdGo_Click();
    c.settle();
    EXPECT_EQ(c.w.count("ExitWindowsEx"), 0);
    EXPECT_EQ(c.logTail(1),
              (std::vector<std::string>{"manual command", "Shutdown", "Emergency Shut Down", "action canceled"}));
    EXPECT_FALSE(c.w.runtime.emergency);
}

TEST(ShutDownAction, SuspendAndHibernateGoStraightToThePlatform) {
    Fresh t;
    t.f.txtCounter.setText("0");
    t.f.fireEvent("optActions(5).Click");
    EXPECT_EQ(t.f.cmdGo.caption(), "Suspend PC!");
    EXPECT_FALSE(t.f.chkPowerOff.enabled());
    t.f.cmdGo_Click();
    t.settle();
    auto* s = t.w.last("SetSuspendState");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->at("hibernate").asNumber(), 0);
    EXPECT_EQ(s->at("force").asNumber(), 1);
    EXPECT_EQ(s->at("disableWakeEvent").asNumber(), 0);
    EXPECT_EQ(t.f.cmdGo.caption(), "Suspend now!");

    t.f.chkForce.setValue(0);
    t.f.ShutDown_Action("Hibernate");
    t.settle();
    s = t.w.last("SetSuspendState");
    EXPECT_EQ(s->at("hibernate").asNumber(), 1);
    EXPECT_EQ(s->at("force").asNumber(), 0);
}

TEST(ShutDownAction, AlarmStepsLastThreeSecondsAndPlayTheAlarmSound) {
    Fresh t;
    t.f.fireEvent("optActions(4).Click");
    t.f.txtCounter.setText("2");
    const auto start = t.ms();
    t.f.cmdGo_Click();
    t.settle();
    EXPECT_GE(t.ms() - start, 9000);
    EXPECT_EQ(t.w.count("PlaySound"), 1 + 3);  // SystemHand, then the alarm per step
    EXPECT_EQ(t.w.last("PlaySound")->at("name").asString(),
              "C:\\Program Files\\Nocturo\\bin\\..\\Common\\sound\\alarm.wav");
    EXPECT_EQ(t.w.count("ExitWindowsEx"), 0);
    EXPECT_EQ(t.logTail(1), (std::vector<std::string>{"manual command", "Alarm"}));
}

TEST(ShutDownAction, TheStartProgramRunsFirstAndIsWaitedFor) {
    Fresh t;
    t.w.fs.addFile("C:\\my tools\\backup.exe");
    t.f.chkStartProgram.setValue(1);
    t.f.txtStartProgram.setText("C:\\my tools\\backup.exe");
    t.f.txtProgramParameters.setText("--all \"D:\\My Files\" 'x y'");
    t.f.txtCounter.setText("0");
    t.w.processes.script("C:\\my tools\\backup.exe", 0, 5000);
    bool disabledWhileRunning = false;
    t.w.loop.at(t.ms() + 2000, "look", [&] {
        disabledWhileRunning = !t.f.cmdGo.enabled() && t.f.cmdGo.caption() != "&cancel";
    });
    t.f.cmdGo_Click();
    t.settle();
    EXPECT_TRUE(disabledWhileRunning);
    auto* start = t.w.last("StartProgram");
    ASSERT_NE(start, nullptr);
    EXPECT_EQ(start->at("program").asString(), "C:\\my tools\\backup.exe");
    const auto& args = start->at("arguments").asArray();
    ASSERT_EQ(args.size(), 3u);
    EXPECT_EQ(args[0].asString(), "--all");
    EXPECT_EQ(args[1].asString(), "D:\\My Files");
    EXPECT_EQ(args[2].asString(), "x y");
    EXPECT_EQ(start->at("windowStyle").asNumber(), 1);
    EXPECT_EQ(t.logTail(1), (std::vector<std::string>{"manual command", "Start C:\\my tools\\backup.exe",
                                                      "Program finished", "Shutdown"}));
    // The "Start" line keeps the user column in place.
    auto log = t.w.actionLog();
    auto line = log.substr(log.find("  Start ") - 19);
    EXPECT_EQ(line.find("  UserID :  "), 51u);
}

// Where programs get a command line (Windows), the parameters are that
// command line exactly as typed: backslashes, quotes and apostrophes included.
TEST(ShutDownAction, WhereProgramsTakeACommandLineTheParametersGoAsTyped) {
    Fresh t;
    t.w.processes.setTakesCommandLine(true);
    t.w.fs.addFile("C:\\my tools\\backup.exe");
    t.f.chkStartProgram.setValue(1);
    t.f.txtStartProgram.setText("C:\\my tools\\backup.exe");
    const std::string typed = "/log C:\\temp\\x.log \"D:\\My Files\\\" it's \\\\server\\share\\";
    t.f.txtProgramParameters.setText(typed);
    t.f.txtCounter.setText("0");
    t.f.cmdGo_Click();
    t.settle();
    auto* start = t.w.last("StartProgram");
    ASSERT_NE(start, nullptr);
    EXPECT_EQ(start->at("program").asString(), "C:\\my tools\\backup.exe");
    EXPECT_EQ(start->at("commandLine").asString(), typed);
    EXPECT_EQ(start->find("arguments"), nullptr);
    EXPECT_EQ(t.logTail(1), (std::vector<std::string>{"manual command", "Start C:\\my tools\\backup.exe",
                                                      "Program finished", "Shutdown"}));
}

TEST(ShutDownAction, AMissingOrFailingStartProgramIsLoggedAndTheActionGoesOn) {
    Fresh t;
    t.f.chkStartProgram.setValue(1);
    t.f.txtStartProgram.setText("C:\\programs\\nowhere\\tool.exe");
    t.f.txtCounter.setText("0");
    t.f.cmdGo_Click();
    t.settle();
    EXPECT_EQ(t.logTail(1), (std::vector<std::string>{"manual command", "Start rograms\\nowhere\\tool.exe", "File doesn't exist", "Shutdown"}));

    Fresh e;
    e.w.fs.addFile("C:\\t\\crash.exe");
    e.f.chkStartProgram.setValue(1);
    e.f.txtStartProgram.setText("C:\\t\\crash.exe");
    e.f.txtCounter.setText("0");
    e.w.processes.script("C:\\t\\crash.exe", 0xFFFFFFFFu, 10);
    e.f.cmdGo_Click();
    e.settle();
    EXPECT_EQ(e.logTail(2), (std::vector<std::string>{"Start C:\\t\\crash.exe", "Program Error", "Shutdown"}));
}

TEST(ShutDownAction, StartProgramOnlyWithoutAProgramWritesNothingAndReturnsToReady) {
    Fresh t;
    t.f.fireEvent("optActions(3).Click");
    const auto before = t.w.actionLogLines().size();
    t.f.ShutDown_Action("");
    t.settle();
    EXPECT_EQ(t.w.actionLogLines().size(), before);
    EXPECT_EQ(t.f.cmdGo.caption(), "Start Program!");
    EXPECT_TRUE(t.f.cmdGo.enabled());
}

TEST(ShutDownAction, TheLockActionLocksTheSessionWithoutASessionEnd) {
    Fresh t;
    t.f.ShutDown_Action("LockPC");
    t.settle();
    EXPECT_EQ(t.w.count("StartProgram"), 1);  // the lock program from the program folder
    EXPECT_EQ(t.w.last("StartProgram")->at("program").asString(), t.w.programFolder() + "\\LockPc.exe");
    EXPECT_EQ(t.w.last("StartProgram")->at("windowStyle").asNumber(), 4);
    EXPECT_TRUE(t.w.sessionEnds.empty());
}

TEST(ShutDownAction, DisableCancelKeepsTheButtonDisabledDuringTheCountdown) {
    Fresh t;
    t.f.chkDisableCancel.setValue(1);
    t.f.txtCounter.setText("3");
    bool enabledDuring = true;
    t.w.loop.at(t.ms() + 1500, "look", [&] { enabledDuring = t.f.cmdGo.enabled(); });
    t.f.cmdGo_Click();
    t.settle();
    EXPECT_FALSE(enabledDuring);
}

TEST(ExitWindowsSession, FlagsFollowTheActionModeAndSystem) {
    EXPECT_EQ(ExitWindowsFlags(8, 1, 30), 13u);
    EXPECT_EQ(ExitWindowsFlags(2, 0, 30), 3u);
    EXPECT_EQ(ExitWindowsFlags(4, 1, 30), 4u);
    EXPECT_EQ(ExitWindowsFlags(1, 2, 22), 0x11u);
    EXPECT_EQ(ExitWindowsFlags(1, 2, 21), 5u);
    EXPECT_EQ(ExitWindowsFlags(77, 0, 30), 0u);
}

TEST(ExitWindowsSession, NtSystemsEnableThePrivilegeOldOnesEndTheShellForAForcedLogoff) {
    SimWorld w;
    w.runtime.winVersionCode = 22;
    ExitWindowsSession(1, 2);
    EXPECT_EQ(w.calls(), (std::vector<std::string>{"AdjustTokenPrivileges", "ExitWindowsEx"}));
    EXPECT_EQ(w.sessionEnds.back(), 0x11u);

    SimWorld old;
    old.runtime.winVersionCode = 14;  // Windows 98 SE
    ExitWindowsSession(1, 2);
    EXPECT_EQ(old.sessionEnds.back(), 5u);
    ExitWindowsSession(4, 1);
    ExitWindowsSession(4, 0);
    EXPECT_EQ(old.calls(), (std::vector<std::string>{"ExitWindowsEx", "TerminateShell", "ExitWindowsEx", "ExitWindowsEx"}));
}

TEST(ExitWindowsSession, ARefusedCallIsLoggedAndTheProgramGoesOn) {
    Fresh t;
    t.w.power.setRefuse(true);
    t.f.ShutDown_Action("PowerOff");
    t.settle();
    EXPECT_NE(t.w.errorLog().find("ExitWindowsSession of Modul Varn_modShutDown"), std::string::npos);
    EXPECT_TRUE(t.f.Timer2.enabled());
    EXPECT_EQ(t.f.cmdGo.caption(), "Shut Down Now!");
}

TEST(ShutDownAction, EndingTheProgramDuringTheCountdownNeverActs) {
    Fresh t;
    bool ended = false;
    t.f.onUnloaded = [&] { ended = true; };
    t.w.loop.at(t.ms() + 2500, "end program", [&] { t.f.UnloadProgram(); });
    t.f.cmdGo_Click();
    ASSERT_TRUE(t.w.runUntil([&] { return ended; }));
    EXPECT_EQ(t.w.count("ExitWindowsEx"), 0);
    EXPECT_EQ(t.logTail(1), (std::vector<std::string>{"manual command", "Shutdown", "action canceled", "Nocturo ended"}));
}

namespace {
// Answers Yes, but only after the program was told to end while the box was open.
class EndWhileAsking : public platform::SimDialogs {
public:
    EndWhileAsking(platform::Journal& j, FrmMain& f) : SimDialogs(j), form(f) {}
    int messageBox(const std::string& prompt, int style, const std::string& title) override {
        form.UnloadProgram();
        SimDialogs::messageBox(prompt, style, title);
        return platform::mb::IdYes;
    }
    FrmMain& form;
};
}  // namespace

TEST(ShutDownAction, EndingTheProgramWhileTheQuestionIsOpenDropsTheAction) {
    Fresh t;
    EndWhileAsking asking(t.w.journal, t.f);
    t.w.runtime.pf.dialogs = &asking;
    t.f.chkForce.setValue(0);
    t.f.txtCounter.setText("0");
    t.f.cmdGo_Click();
    t.settle();
    EXPECT_EQ(t.w.count("MessageBox"), 1);
    EXPECT_TRUE(t.w.runUntil([&] { return t.f.unloaded(); }));
    EXPECT_EQ(t.w.count("ExitWindowsEx"), 0);
}

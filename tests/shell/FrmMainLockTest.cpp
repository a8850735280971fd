// The secured PC and its lock screen saver on the simulated machine: the
// policy values, the session-end block, the screen-saver calls and the lock
// watcher's starts and shows are journalled; nothing changes.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "base/Variant.h"
#include "base/Varn_Registry.h"
#include "platform/IDialogs.h"
#include "platform/IProcesses.h"
#include "shell/FrmMain.h"
#include "shell/Nocturo_Sub.h"
#include "shell/Varn_LockPC.h"
#include "support/SimWorld.h"

using namespace nocturo;
using nocturo::test::SimWorld;
using platform::PathStyle;

namespace {

struct Locking {
    explicit Locking(PathStyle style = PathStyle::Windows) : w(style) {
        w.power.setSessionEndHook([](std::uint32_t) {});
        f.txtPathLog.setText(w.programFolder());
    }
    std::vector<const platform::JsonObject*> all(const std::string& call) const {
        std::vector<const platform::JsonObject*> out;
        for (const auto& e : w.journal.entries())
            if (e.at("call").asString() == call) out.push_back(&e);
        return out;
    }
    std::vector<std::string> spoken() const {
        std::vector<std::string> texts;
        for (const auto* e : all("Speak")) texts.push_back(e->at("text").asString());
        return texts;
    }
    Variant policy(const char* value) { return ReadKeyV(std::string(kExplorerPolicies) + value); }
    std::string screenSaverValue() { return ReadKey("HKEY_CURRENT_USER\\Control panel\\Desktop\\SCRNSAVE.EXE"); }
    std::string sysDir() const { return w.sys.sysDir; }
    void secure(int answer) {
        w.dialogs.pushAnswer(answer);
        f.chkPCLock.setValue(1);
        f.chkPCLock_Click();
    }
    void release() {
        f.chkPCLock.setValue(0);
        f.chkPCLock_Click();
    }
    // A tick with nothing else due: the lock watcher and the screen saver's look.
    void tick() {
        f.LockWatcher();
        RunScreenSaverWhenIdle();
    }

    SimWorld w;
    FrmMain f;
};

bool logged(SimWorld& w, const std::string& text) {
    const std::string line = w.actionLog();
    return line.find("  " + text + std::string(30 - text.size(), ' ') + "  UserID :  " + w.runtime.userId) !=
           std::string::npos;
}

}  // namespace

// ---------------------------------------------------------------------------
// "Enable Secure PC " on Windows: the Explorer policies and the Exit button

TEST(SecurePC, CancelledQuestionLeavesEverythingButTheLogLine) {
    Locking t;
    t.secure(platform::mb::IdCancel);
    ASSERT_EQ(t.all("MessageBox").size(), 1u);
    const auto* box = t.all("MessageBox")[0];
    EXPECT_EQ(box->at("title").asString(), "Security Info");
    EXPECT_EQ(box->at("buttons").asNumber(), 4097);
    EXPECT_EQ(box->at("prompt").asString(),
              "For security reasons the shutdown and logoff \r\nbutton in Windows startmenu will be removed !");
    EXPECT_TRUE(logged(t.w, "enable LockPC"));
    EXPECT_TRUE(IsEmpty(t.policy("NoClose")));
    EXPECT_TRUE(IsEmpty(t.policy("NoLogOff")));
    EXPECT_TRUE(t.f.cmdExit.enabled());
    EXPECT_TRUE(t.f.chkPCLock.checked());
    EXPECT_TRUE(t.all("SetScreenSaverActive").empty());
    EXPECT_TRUE(t.spoken().empty());
}

TEST(SecurePC, AcceptedWritesBothPoliciesDisablesExitAndAppliesTheScreenSaver) {
    Locking t;
    t.secure(platform::mb::IdOk);
    EXPECT_EQ(CLng(t.policy("NoClose")), 1);
    EXPECT_EQ(CLng(t.policy("NoLogOff")), 1);
    EXPECT_FALSE(t.f.cmdExit.enabled());
    EXPECT_EQ(t.spoken(), std::vector<std::string>{"security pc lock acctivated"});
    // chkSCR is unchecked: the screen saver is switched off and none set.
    ASSERT_EQ(t.all("SetScreenSaverActive").size(), 2u);
    EXPECT_FALSE(t.all("SetScreenSaverActive")[0]->at("active").asBool());
    EXPECT_EQ(t.screenSaverValue(), t.sysDir() + "\\");
    EXPECT_EQ(t.all("BlockSessionEnd").size(), 0u);  // Windows keeps to its policies
    EXPECT_EQ(t.w.errorLog(), "");
}

TEST(SecurePC, ReleasedWritesZeroEnablesExitAndSaysWhenItApplies) {
    Locking t;
    t.secure(platform::mb::IdOk);
    t.w.runtime.LockScreenSaverSeen = true;
    t.release();
    EXPECT_EQ(CLng(t.policy("NoClose")), 0);
    EXPECT_EQ(CLng(t.policy("NoLogOff")), 0);
    EXPECT_TRUE(t.f.cmdExit.enabled());
    EXPECT_FALSE(t.w.runtime.LockScreenSaverSeen);
    EXPECT_TRUE(logged(t.w, "disable LockPC"));
    const auto* box = t.all("MessageBox").back();
    EXPECT_EQ(box->at("buttons").asNumber(), 4160);
    EXPECT_EQ(box->at("title").asString(), "Security Info");
    EXPECT_EQ(box->at("prompt").asString(),
              "The shutdown and logoff button in Windows startmenu\r\nwill be restored after the next PC restart !");
    EXPECT_EQ(t.spoken().back(), "security pc lock de activated");
}

TEST(SecurePC, SpeaksOnlyWithSound) {
    Locking t;
    t.w.runtime.soundAvailable = false;
    t.secure(platform::mb::IdOk);
    t.release();
    EXPECT_TRUE(t.spoken().empty());
}

TEST(SecurePC, AlwaysOnTopComesBackAfterTheQuestion) {
    Locking t;
    t.f.chkWinOnTop.setValue(1);
    bool onTopDuringBox = true;
    t.w.dialogs.onBox = [&] { onTopDuringBox = t.f.topMost(); };
    t.secure(platform::mb::IdOk);
    EXPECT_FALSE(onTopDuringBox);
    EXPECT_TRUE(t.f.topMost());
}

// ---------------------------------------------------------------------------
// On Linux: the session's end blocked through the login manager

TEST(SecurePCLinux, AcceptedBlocksTheSessionEndAndWritesNoPolicy) {
    Locking t(PathStyle::Posix);
    t.secure(platform::mb::IdOk);
    ASSERT_EQ(t.all("BlockSessionEnd").size(), 1u);
    EXPECT_TRUE(t.w.power.sessionEndBlocked());
    EXPECT_TRUE(IsEmpty(t.policy("NoClose")));
    EXPECT_TRUE(IsEmpty(t.policy("NoLogOff")));
    EXPECT_EQ(t.all("MessageBox")[0]->at("prompt").asString(),
              "For security reasons shutting down, restarting and \n"
              "suspending this computer are blocked while Secure PC is on !");
    EXPECT_FALSE(t.f.cmdExit.enabled());
    t.release();
    EXPECT_FALSE(t.w.power.sessionEndBlocked());
    EXPECT_EQ(t.all("MessageBox").back()->at("prompt").asString(),
              "Shutting down, restarting and suspending\nthis computer are allowed again.");
    EXPECT_TRUE(t.f.cmdExit.enabled());
    EXPECT_EQ(t.w.errorLog(), "");
}

TEST(SecurePCLinux, ARefusedBlockIsLoggedUnderItsProcedureAndTheRestGoesOn) {
    Locking t(PathStyle::Posix);
    t.w.power.setRefuse(true);
    t.secure(platform::mb::IdOk);
    EXPECT_NE(t.w.errorLog().find("disable_shutdown_startmenu_button of Modul Nocturo_Sub"), std::string::npos);
    EXPECT_FALSE(t.f.cmdExit.enabled());
    EXPECT_EQ(t.all("SetScreenSaverActive").size(), 2u);
}

// ---------------------------------------------------------------------------
// The screen saver box and the lock time

TEST(LockScreenSaver, CheckedSetsTheLockScreenSaverWithTheTime) {
    Locking t;
    t.w.screenSaver.setRunsScreenSaverProgram(true);  // the system starts it (Windows)
    t.f.txtLockTime.setText("45");
    t.f.chkSCR.setValue(1);
    t.f.chkSCR_Click();
    std::vector<std::string> calls;
    for (const auto& e : t.w.journal.entries()) {
        const std::string c = e.at("call").asString();
        if (c == "SetScreenSaverActive") calls.push_back(e.at("active").asBool() ? "on" : "off");
        if (c == "SetScreenSaverTimeout") calls.push_back(std::to_string(static_cast<int>(e.at("seconds").asNumber())));
    }
    EXPECT_EQ(calls, (std::vector<std::string>{"on", "45", "on"}));
    EXPECT_EQ(t.screenSaverValue(), t.w.programFolder() + "\\LockPcScr.scr");
    EXPECT_TRUE(t.w.screenSaver.active());

    t.f.chkSCR.setValue(0);
    t.f.chkSCR_Click();
    EXPECT_FALSE(t.w.screenSaver.active());
    EXPECT_EQ(t.screenSaverValue(), t.sysDir() + "\\");
}

// Where the program starts its screen saver itself, the desktop's own blanking
// and lock are held back only while the secured PC's lock takes their place.
TEST(LockScreenSaver, WithoutSecurePcTheDesktopStillLocksAnIdleComputer) {
    Locking t(PathStyle::Posix);
    t.f.txtLockTime.setText("60");
    t.f.chkSCR.setValue(1);
    t.f.chkSCR_Click();
    EXPECT_FALSE(t.w.screenSaver.active());  // the desktop's lock is left alone
    // The program's own screen saver still comes after a minute of idleness.
    t.w.screenSaver.setIdleSeconds(61);
    RunScreenSaverWhenIdle();
    ASSERT_EQ(t.all("StartProgram").size(), 1u);
    EXPECT_NE(t.all("StartProgram")[0]->at("program").asString().find("lockpcscr"), std::string::npos);

    t.w.dialogs.pushAnswer(platform::mb::IdOk);
    t.f.chkPCLock.setValue(1);
    t.f.chkPCLock_Click();
    EXPECT_TRUE(t.w.screenSaver.active());  // now the lock program locks instead
    t.f.chkPCLock.setValue(0);
    t.f.chkPCLock_Click();
    EXPECT_FALSE(t.w.screenSaver.active());
    EXPECT_TRUE(t.f.chkSCR.checked());
}

TEST(LockScreenSaver, FailuresAreLoggedUnderTheModule) {
    Locking t;
    t.w.screenSaver.setRefuse(true);
    t.f.chkSCR.setValue(1);
    t.f.chkSCR_Click();
    const std::string log = t.w.errorLog();
    EXPECT_NE(log.find("EnableSCR of Modul Varn_LockPC"), std::string::npos);
    EXPECT_NE(log.find("SetSceensaverTimeOut of Modul Varn_LockPC"), std::string::npos);
    t.w.runtime.pf.screenSaver = nullptr;  // no screen saver on this desktop at all
    t.f.chkSCR_Click();
    EXPECT_TRUE(t.f.chkSCR.checked());
}

struct LockTimeCase {
    const char* typed;
    int applied;  // the delay set, 0: refused and "600" put back
};

// Printed by what was typed, so the listed names stay the same from run to run.
void PrintTo(const LockTimeCase& c, std::ostream* os) { *os << '"' << c.typed << '"'; }

class LockTime : public ::testing::TestWithParam<LockTimeCase> {};

TEST_P(LockTime, AWholeNumberOfSecondsIsSetAnythingElseIsRefused) {
    Locking t;
    const LockTimeCase c = GetParam();
    t.f.txtLockTime.setText(c.typed);
    t.f.txtLockTime_Change();
    const auto boxes = t.all("MessageBox");
    if (c.applied) {
        EXPECT_TRUE(boxes.empty());
        EXPECT_EQ(t.w.screenSaver.timeout(), c.applied);
        EXPECT_EQ(t.f.txtLockTime.text(), c.typed);
    } else {
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0]->at("prompt").asString(), "No valid number, please try again");
        EXPECT_EQ(boxes[0]->at("buttons").asNumber(), 4112);
        EXPECT_EQ(boxes[0]->at("title").asString(), "Info");
        EXPECT_EQ(t.f.txtLockTime.text(), "600");
        EXPECT_EQ(t.f.txtLockTime.selStart(), 0);
        EXPECT_EQ(t.f.txtLockTime.selLength(), 3);
        EXPECT_EQ(t.w.screenSaver.timeout(), 600);
    }
    // Set whether or not the screen saver box is checked.
    EXPECT_FALSE(t.f.chkSCR.checked());
    EXPECT_EQ(t.w.errorLog(), "");
}

INSTANTIATE_TEST_SUITE_P(Typed, LockTime,
                         ::testing::Values(LockTimeCase{"30", 30}, LockTimeCase{" 90 ", 90}, LockTimeCase{"1", 1},
                                           LockTimeCase{"", 0}, LockTimeCase{"abc", 0}, LockTimeCase{"-5", 0},
                                           LockTimeCase{"0", 0}, LockTimeCase{"1.5", 0}, LockTimeCase{"1e3", 0},
                                           LockTimeCase{"99999999999", 0}, LockTimeCase{"3O", 0}));

// ---------------------------------------------------------------------------
// The lock watcher

TEST(LockWatcher, HidesTheLockEveryTickWhileTheScreenSaverRunsAndShowsItOnceAfter) {
    Locking t;
    t.w.processes.addWindow(kLockWindowTitle);
    t.w.processes.addWindow(kLockScreenSaverTitle);
    for (int i = 0; i < 3; ++i) t.tick();
    EXPECT_EQ(t.all("ShowWindow").size(), 3u);
    EXPECT_FALSE(t.w.processes.windowShown(kLockWindowTitle));
    EXPECT_TRUE(t.w.runtime.LockScreenSaverSeen);
    t.w.processes.removeWindow(kLockScreenSaverTitle);
    for (int i = 0; i < 3; ++i) t.tick();
    const auto shows = t.all("ShowWindow");
    ASSERT_EQ(shows.size(), 4u);
    EXPECT_TRUE(shows.back()->at("show").asBool());
    EXPECT_TRUE(t.w.processes.windowShown(kLockWindowTitle));
    EXPECT_TRUE(t.all("StartProgram").empty());
}

TEST(LockWatcher, StartsTheLockProgramOnceWhenItIsNotRunning) {
    for (PathStyle style : {PathStyle::Windows, PathStyle::Posix}) {
        Locking t(style);
        t.w.processes.addWindow(kLockScreenSaverTitle);
        t.tick();
        t.tick();
        EXPECT_TRUE(t.all("ShowWindow").empty());
        t.w.processes.removeWindow(kLockScreenSaverTitle);
        t.tick();
        t.tick();
        const auto starts = t.all("StartProgram");
        ASSERT_EQ(starts.size(), 1u);
        EXPECT_EQ(starts[0]->at("program").asString(),
                  t.w.programFolder() + (style == PathStyle::Windows ? "\\LockPc.exe" : "/lockpc"));
        EXPECT_EQ(starts[0]->at("windowStyle").asNumber(), platform::ws::NormalNoFocus);
    }
}

TEST(LockWatcher, AMissingLockProgramIsLoggedOnceAndTheProgramGoesOn) {
    Locking t;
    t.w.processes.scriptFailure(t.w.programFolder() + "\\LockPc.exe");
    t.w.processes.addWindow(kLockScreenSaverTitle);
    t.tick();
    t.w.processes.removeWindow(kLockScreenSaverTitle);
    t.tick();
    t.tick();
    EXPECT_EQ(t.all("StartProgram").size(), 1u);
    EXPECT_NE(t.w.errorLog().find("Timer2_Timer of Formular FrmMain"), std::string::npos);
    EXPECT_FALSE(t.w.runtime.LockScreenSaverSeen);
}

TEST(LockWatcher, RunsFromTheTimerOnlyWhileThePCIsSecured) {
    Locking t;
    t.f.Form_Load();
    t.w.processes.addWindow(kLockScreenSaverTitle);
    t.f.Timer2_Timer();
    EXPECT_FALSE(t.w.runtime.LockScreenSaverSeen);
    t.secure(platform::mb::IdOk);
    t.f.Timer2_Timer();
    EXPECT_TRUE(t.w.runtime.LockScreenSaverSeen);
    t.w.processes.removeWindow(kLockScreenSaverTitle);
    t.f.Timer2_Timer();
    EXPECT_EQ(t.all("StartProgram").size(), 1u);
}

// ---------------------------------------------------------------------------
// Linux: the program starts its screen saver when the user is away

TEST(IdleScreenSaver, StartsOncePerIdleSpellAfterTheTimeOut) {
    Locking t(PathStyle::Posix);
    t.f.txtLockTime.setText("30");
    t.f.chkSCR.setValue(1);
    t.f.chkSCR_Click();
    struct Look {
        std::int64_t idle;
        int startsAfter;
    };
    const Look looks[] = {{0, 0}, {29, 0}, {30, 1}, {31, 1}, {400, 1}, {2, 1}, {35, 2}, {36, 2}};
    for (const Look& l : looks) {
        t.w.screenSaver.setIdleSeconds(l.idle);
        t.tick();
        EXPECT_EQ(t.all("StartProgram").size(), static_cast<size_t>(l.startsAfter)) << "idle " << l.idle;
    }
    const auto* start = t.all("StartProgram")[0];
    EXPECT_EQ(start->at("program").asString(), t.w.programFolder() + "/lockpcscr");
    EXPECT_EQ(start->at("windowStyle").asNumber(), platform::ws::MaximizedFocus);
}

TEST(IdleScreenSaver, NotWhenOffUnknownAlreadyShownOrStartedByTheSystem) {
    struct Case {
        const char* what;
        bool checked;
        bool idleKnown;
        bool saverShown;
        bool systemRuns;
    };
    for (const Case& c : {Case{"box off", false, true, false, false}, Case{"idle unknown", true, false, false, false},
                          Case{"already up", true, true, true, false}, Case{"the system's job", true, true, false, true}}) {
        Locking t(PathStyle::Posix);
        t.f.txtLockTime.setText("30");
        t.f.chkSCR.setValue(c.checked ? 1 : 0);
        t.f.chkSCR_Click();
        if (c.saverShown) t.w.processes.addWindow(kLockScreenSaverTitle);
        t.w.screenSaver.setRunsScreenSaverProgram(c.systemRuns);
        t.w.screenSaver.setIdleSeconds(c.idleKnown ? std::optional<std::int64_t>(999) : std::nullopt);
        t.tick();
        EXPECT_TRUE(t.all("StartProgram").empty()) << c.what;
    }
}

// ---------------------------------------------------------------------------
// Start-up, the lock action and the picture

TEST(SecurePCStart, RestoredStateIsAppliedAgainAndTheQuestionAskedAgain) {
    Locking t;
    WriteSetting(UserApp(), kSettings, "chkPCLock", 1);
    WriteSetting(UserApp(), kSettings, "chkSCR", 1);
    WriteSetting(UserApp(), kSettings, "txtLockTime", "45");
    t.w.dialogs.pushAnswer(platform::mb::IdOk);
    t.f.Form_Load();
    bool asked = false;
    for (const auto* box : t.all("MessageBox")) asked |= box->at("title").asString() == "Security Info";
    EXPECT_TRUE(asked);
    EXPECT_FALSE(t.f.cmdExit.enabled());
    EXPECT_EQ(CLng(t.policy("NoClose")), 1);
    EXPECT_EQ(t.w.screenSaver.timeout(), 45);
    EXPECT_TRUE(t.w.screenSaver.active());
    EXPECT_EQ(t.screenSaverValue(), t.w.programFolder() + "\\LockPcScr.scr");
}

TEST(SecurePCStart, DefaultsTouchNothing) {
    Locking t;
    t.f.Form_Load();
    EXPECT_TRUE(t.all("SetScreenSaverActive").empty());
    EXPECT_TRUE(t.all("SetScreenSaverTimeout").empty());
    EXPECT_TRUE(t.f.cmdExit.enabled());
}

TEST(SecurePCStart, TheBoxesAreEnabledOnLinux) {
    Locking t(PathStyle::Posix);
    t.f.Form_Load();
    EXPECT_TRUE(t.f.chkPCLock.enabled());
    EXPECT_TRUE(t.f.chkSCR.enabled());
    EXPECT_TRUE(t.f.txtLockTime.enabled());
}

TEST(LockComputer, LinuxStartsTheLockProgramAndFallsBackToTheSessionLock) {
    {
        Locking t(PathStyle::Posix);
        t.f.Form_Load();
        t.f.ShutDown_Action("LockPC");
        t.w.runUntil([&] { return !t.f.actionRunning(); }, 60000);
        EXPECT_EQ(t.w.last("StartProgram")->at("program").asString(), t.w.programFolder() + "/lockpc");
        EXPECT_EQ(t.w.count("LockWorkStation"), 0);
    }
    {
        Locking t(PathStyle::Posix);
        t.w.processes.scriptFailure(t.w.programFolder() + "/lockpc");
        t.f.Form_Load();
        t.f.ShutDown_Action("LockPC");
        t.w.runUntil([&] { return !t.f.actionRunning(); }, 60000);
        EXPECT_EQ(t.w.count("LockWorkStation"), 1);
        EXPECT_NE(t.w.errorLog().find("StartLockProgram of Modul Varn_LockPC"), std::string::npos);
    }
    {
        Locking t(PathStyle::Posix);
        t.w.runtime.headless = true;  // no desktop to show a lock window on
        t.f.Form_Load();
        t.f.ShutDown_Action("LockPC");
        t.w.runUntil([&] { return !t.f.actionRunning(); }, 60000);
        EXPECT_EQ(t.w.count("StartProgram"), 0);
        EXPECT_EQ(t.w.count("LockWorkStation"), 1);
    }
}

TEST(LockComputer, ThePictureStartsTheLockScreenSaverWithTheFocus) {
    for (PathStyle style : {PathStyle::Windows, PathStyle::Posix}) {
        Locking t(style);
        t.f.fireEvent("imgCountdown.Click");
        const auto* start = t.w.last("StartProgram");
        ASSERT_NE(start, nullptr);
        EXPECT_EQ(start->at("program").asString(), style == PathStyle::Windows
                                                       ? t.w.programFolder() + "\\LockPcScr.scr"
                                                       : t.w.programFolder() + "/lockpcscr");
        EXPECT_EQ(start->at("windowStyle").asNumber(), platform::ws::MaximizedFocus);
    }
}

// One action at a time, and the end of the program: what happens when two
// things meet, timed on the simulated loop.
#include <gtest/gtest.h>

#include <algorithm>

#include "base/Varn_Registry.h"
#include "platform/IDialogs.h"
#include "programs/support/Programs.h"
#include "shell/FrmMain.h"
#include "support/SimWorld.h"

using namespace nocturo;
using nocturo::test::SimWorld;

namespace {

constexpr int kYes = platform::mb::IdYes, kNo = platform::mb::IdNo;

struct Machine {
    SimWorld w;
    FrmMain f;
    bool ended = false;
    explicit Machine(platform::LocalTime start = {2026, 12, 8, 20, 59, 50, 0, 1})
        : w(platform::PathStyle::Windows, start) {
        f.onUnloaded = [this] { ended = true; };
        f.Form_Load();
    }
    std::int64_t ms() { return w.clock.monotonicMs(); }
    void at(std::int64_t t, std::function<void()> fn) { w.loop.at(t, "event", std::move(fn)); }
    void run(std::int64_t msFor) { w.loop.runFor(msFor); }
    std::vector<std::string> log() { return w.actionLogLines(); }
    int lines(const std::string& text) {
        auto l = log();
        return static_cast<int>(std::count(l.begin(), l.end(), text));
    }
    // The log after "Nocturo started".
    std::vector<std::string> events() {
        auto l = log();
        return std::vector<std::string>(l.begin() + 1, l.end());
    }
    void program(const std::string& path, std::int64_t runMs, bool crashes = false) {
        w.fs.addFile(path);
        f.chkStartProgram.setValue(1);
        f.txtStartProgram.setText(path);
        platform::SimProcesses::Script s;
        s.runMs = runMs;
        s.crashes = crashes;
        w.processes.script(path, s);
    }
    void timeOfDay(const char* h, const char* m, const char* s) {
        f.fireEvent("optShutdownTime(0).Click");
        f.txtHour.setText(h);
        f.txtMinute.setText(m);
        f.txtSEC.setText(s);
    }
};

}  // namespace

// ---- a cancelled action never comes back ------------------------------------------

TEST(OneActionAtATime, ACancelledCountdownNeverActsEvenWhenAnotherStartsAtOnce) {
    struct Case {
        const char* name;
        bool force;
        int sessionCalls;
    };
    for (const Case c : {Case{"the new run asks, and is told no", false, 0},
                         Case{"the new run acts without a question", true, 1}}) {
        SCOPED_TRACE(c.name);
        Machine m;
        m.f.chkForce.setValue(c.force ? 1 : 0);
        m.f.txtCounter.setText("3");
        m.w.dialogs.pushAnswer(kNo);   // the second run's question
        m.w.dialogs.pushAnswer(kYes);  // would end the session, were the first run to ask again
        m.at(2300, [&] { m.f.cmdGo_Click(); });  // cancel
        m.at(2600, [&] { m.f.cmdGo_Click(); });  // a new start
        m.f.cmdGo_Click();
        m.run(30000);
        EXPECT_EQ(m.w.count("MessageBox"), c.force ? 0 : 1);
        EXPECT_EQ(m.w.count("ExitWindowsEx"), c.sessionCalls);
        EXPECT_EQ(m.events(), (std::vector<std::string>{"manual command", "Shutdown", "action canceled",
                                                        "manual command", "Shutdown"}));
        // The cancelled run's countdown stopped at the cancel: 3, 2, 1 and the new run's 3, 2, 1, 0.
        EXPECT_EQ(m.w.count("Beep"), 3 + 4);
    }
}

TEST(OneActionAtATime, AScheduleFallingDueDuringACountdownIsPassedOverAndSaidOnce) {
    struct Case {
        const char* name;
        int mode;
    };
    for (const Case c : {Case{"time of day", 0}, Case{"countdown", 2}, Case{"time window", 3}}) {
        SCOPED_TRACE(c.name);
        Machine m;
        m.f.txtCounter.setText("20");
        if (c.mode == 0) m.timeOfDay("20", "59", "55");
        if (c.mode == 2) {
            m.f.fireEvent("optShutdownTime(2).Click");
            m.f.cmbTimeUnit.setListIndex(2);
            m.f.txtStartActionIn.setText("5");
            m.f.cmdResetCounter_Click();
        }
        if (c.mode == 3) {
            WriteSetting(UserApp(), kSettings, "1txtHourTW", std::string("20"));
            WriteSetting(UserApp(), kSettings, "1txtMinuteTW", std::string("59"));
            WriteSetting(UserApp(), kSettings, "1txtTWDuration", std::string("60"));
            m.f.fireEvent("optShutdownTime(3).Click");
        }
        m.f.cmdGo_Click();  // a countdown of 20 s, forced
        m.run(42000);
        // One run, one session call; the schedule said so once and never cancelled it.
        EXPECT_EQ(m.w.count("ExitWindowsEx"), 1);
        EXPECT_EQ(m.lines("Schedule due: action running"), 1);
        EXPECT_EQ(m.lines("action canceled"), 0);
        EXPECT_TRUE(m.f.sessionEnding());
    }
}

TEST(OneActionAtATime, DuringTheProgramWaitASecondStartCancelsAndAScheduleWaits) {
    struct Case {
        const char* name;
        std::function<void(FrmMain&)> second;
        bool cancels;
    };
    const Case cases[] = {
        {"tray double click", [](FrmMain& f) { f.m_frmSysTray_SysTrayDoubleClick(mouse::Left); }, true},
        {"tray menu", [](FrmMain& f) { f.m_frmSysTray_MenuClick(0, "PowerOff"); }, true},
        {"stop picture", [](FrmMain& f) { f.ImgStop_DblClick(); }, true},
        {"button (off while the program runs)", [](FrmMain& f) { f.cmdGo_Click(); }, false},
        {"schedule", [](FrmMain& f) {
             f.txtHour.setText("20");
             f.txtMinute.setText("59");
             f.txtSEC.setText("54");
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Machine m;
        m.program("C:\\tools\\backup.exe", 8000);
        m.f.txtCounter.setText("0");
        m.at(2000, [&] { c.second(m.f); });
        m.f.cmdGo_Click();
        m.run(30000);
        EXPECT_EQ(m.w.count("StartProgram"), 1);  // the program ran once
        if (c.cancels) {
            EXPECT_EQ(m.w.count("ExitWindowsEx"), 0);
            EXPECT_EQ(m.lines("action canceled"), 1);
            // The wait ended; the program was left running, nothing logged of it.
            EXPECT_EQ(m.lines("Program finished"), 0);
            EXPECT_TRUE(m.f.cmdGo.enabled());
        } else {
            EXPECT_EQ(m.w.count("ExitWindowsEx"), 1);
            EXPECT_EQ(m.lines("Program finished"), 1);
        }
    }
}

TEST(OneActionAtATime, StartProgramOnlyAtATimeOfDayRunsOnce) {
    Machine m;
    m.program("C:\\tools\\job.exe", 0);
    m.f.fireEvent("optActions(3).Click");
    m.timeOfDay("20", "59", "55");
    m.run(20000);
    EXPECT_EQ(m.w.count("StartProgram"), 1);
    EXPECT_EQ(m.lines("Program finished"), 1);
}

TEST(OneActionAtATime, ACrashedOrUnstartableProgramIsAProgramError) {
    struct Case {
        const char* name;
        bool crashes;
        bool fails;
        const char* logged;
    };
    for (const Case c : {Case{"ends normally", false, false, "Program finished"},
                         Case{"killed by a signal", true, false, "Program Error"},
                         Case{"cannot start", false, true, "Program Error"}}) {
        SCOPED_TRACE(c.name);
        Machine m;
        m.program("C:\\tools\\tool.exe", 300, c.crashes);
        if (c.fails) m.w.processes.scriptFailure("C:\\tools\\tool.exe");
        m.f.fireEvent("optActions(3).Click");
        m.f.cmdGo_Click();
        m.run(2000);
        EXPECT_EQ(m.events().back(), c.logged);
    }
}

// ---- the end of the program -----------------------------------------------------------

TEST(EndingTheProgram, NothingActsAfterTheEndBegan) {
    Machine m;
    m.f.chkSound.setValue(1);  // a goodbye of two seconds
    m.f.txtCounter.setText("0");
    m.timeOfDay("20", "59", "51");  // due inside the goodbye
    m.at(500, [&] { m.f.UnloadProgram(); });
    // Whatever comes during the goodbye does nothing.
    m.at(1000, [&] { m.f.m_frmSysTray_SysTrayDoubleClick(mouse::Left); });
    m.at(1100, [&] { m.f.ImgStop_DblClick(); });
    m.at(1200, [&] { m.f.fireEvent("cmdGo.Click"); });
    m.at(1300, [&] { m.f.ShutDown_Action("Reboot"); });
    m.run(10000);
    EXPECT_TRUE(m.ended);
    EXPECT_EQ(m.w.count("ExitWindowsEx"), 0);
    EXPECT_EQ(m.events(), (std::vector<std::string>{"Nocturo ended"}));
    EXPECT_FALSE(m.f.visible());
}

TEST(EndingTheProgram, DuringACountdownTheActionIsCancelledAndTheTimerStaysOff) {
    Machine m;
    m.f.txtCounter.setText("9");
    m.at(2500, [&] { m.f.UnloadProgram(); });
    bool timerOnDuringGoodbye = true;
    m.at(3500, [&] { timerOnDuringGoodbye = m.f.Timer2.enabled(); });
    m.f.cmdGo_Click();
    m.run(20000);
    EXPECT_FALSE(timerOnDuringGoodbye);
    EXPECT_EQ(m.w.count("ExitWindowsEx"), 0);
    EXPECT_EQ(m.events(), (std::vector<std::string>{"manual command", "Shutdown", "action canceled", "Nocturo ended"}));
}

TEST(EndingTheProgram, NoSettingIsWrittenAfterTheSaveSoTheCrashMarkerStaysClear) {
    Machine m;
    m.f.chkSound.setValue(1);
    m.w.runtime.tickCounter = 9;  // the next tick would refresh the marker
    m.run(300);
    m.f.UnloadProgram();
    // A setting written by anyone after the save is dropped.
    m.at(m.ms() + 1000, [&] { WriteSetting(UserApp(), kSettings, "Crashtime", std::string("09.12.2026 00:00:00")); });
    m.run(5000);
    ASSERT_TRUE(m.ended);
    EXPECT_EQ(std::get<std::string>(*m.w.reg.read(SettingPath(UserApp(), kSettings, "Crashtime"))), "");
}

TEST(EndingTheProgram, DuringTheProgramWaitTheWaitEndsAndTheProgramIsLeftRunning) {
    Machine m;
    m.program("C:\\tools\\forever.exe", 1000000000);
    m.f.chkSound.setValue(0);
    m.f.cmdGo_Click();
    m.run(3000);
    ASSERT_TRUE(m.f.actionRunning());
    m.f.UnloadProgram();
    EXPECT_TRUE(m.ended);  // no goodbye: at once
    m.run(60000);
    EXPECT_EQ(m.events(), (std::vector<std::string>{"manual command", "Start C:\\tools\\forever.exe", "action canceled",
                                                    "Nocturo ended"}));
    EXPECT_EQ(m.w.processes.exitCode(1000), platform::StillActive);
    EXPECT_FALSE(m.w.loop.hasPending());  // nothing of the run is left on the loop
}

TEST(EndingTheProgram, WhileTheQuestionIsOpenTheAnswerIsIgnored) {
    for (const int answer : {kYes, kNo}) {
        Machine m;
        m.f.chkForce.setValue(0);
        m.f.txtCounter.setText("0");
        m.w.dialogs.pushAnswer(answer);
        m.w.dialogs.onBox = [&] { m.f.UnloadProgram(); };
        m.f.cmdGo_Click();
        m.run(5000);
        EXPECT_TRUE(m.ended);
        EXPECT_EQ(m.w.count("ExitWindowsEx"), 0);
        EXPECT_EQ(m.events().back(), "Nocturo ended");
    }
}

// ---- when a schedule is due -------------------------------------------------------------

TEST(ScheduleDue, ModeTwoCountsSecondsNotTicks) {
    Machine m;
    m.f.fireEvent("optShutdownTime(2).Click");
    m.f.cmbTimeUnit.setListIndex(2);
    m.f.txtStartActionIn.setText("10");
    m.f.cmdResetCounter_Click();
    m.f.Timer2.setEnabled(false);  // the ticks come by hand, 5 s apart
    m.w.clock.advance(5000);
    m.f.Timer2_Timer();
    EXPECT_EQ(m.f.countdownSeconds, 5);
    // Someone sets the clock back an hour: the count does not care.
    m.w.clock.setNow(platform::SimClock::addMilliseconds(m.w.clock.now(), -3600 * 1000));
    m.w.clock.advance(4000);
    m.f.Timer2_Timer();
    EXPECT_EQ(m.f.countdownSeconds, 1);
    EXPECT_FALSE(m.f.actionRunning());
    // The computer slept for an hour: that counts as one tick, not the hour.
    m.w.clock.advance(3600 * 1000);
    m.f.Timer2_Timer();
    EXPECT_EQ(m.f.countdownSeconds, 0);
    EXPECT_TRUE(m.f.actionRunning());
}

TEST(ScheduleDue, ATimeOfDayFiresOnceWhateverTheClockDoes) {
    struct Case {
        const char* name;
        std::function<void(SimWorld&)> between;  // between two ticks around 21:00:00
        int expected;
    };
    const Case cases[] = {
        {"seen on its second", [](SimWorld& w) { w.clock.advance(500); }, 1},
        {"a busy machine skipped it", [](SimWorld& w) { w.clock.advance(8000); }, 1},
        {"summer time: the clock jumps an hour forward",
         [](SimWorld& w) {
             w.clock.advance(500);
             w.clock.setNow(platform::SimClock::addMilliseconds(w.clock.now(), 3600 * 1000));
         },
         1},
        {"the computer slept through it", [](SimWorld& w) { w.clock.advance(3 * 3600 * 1000); }, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Machine m({2026, 12, 8, 20, 59, 59, 500, 1});
        m.f.txtCounter.setText("0");
        m.timeOfDay("21", "00", "00");
        m.f.Timer2.setEnabled(false);
        m.f.Timer2_Timer();  // 20:59:59.5
        c.between(m.w);
        m.f.Timer2_Timer();
        m.run(3000);
        EXPECT_EQ(m.w.count("ExitWindowsEx"), c.expected);
    }
    // Winter time (or a user) sets the clock back after it fired: never twice.
    Machine m({2026, 12, 8, 20, 59, 58, 0, 1});
    m.f.txtCounter.setText("0");
    m.f.fireEvent("optActions(5).Click");  // suspend: comes back at once
    m.timeOfDay("21", "00", "00");
    m.run(5000);
    EXPECT_EQ(m.w.count("SetSuspendState"), 1);
    m.w.clock.setNow({2026, 12, 8, 20, 59, 58, 0, 1});
    m.run(5000);
    EXPECT_EQ(m.w.count("SetSuspendState"), 1);
    // The next day's 21:00:00 is another moment.
    m.w.clock.setNow({2026, 12, 9, 20, 59, 58, 0, 2});
    m.run(5000);
    EXPECT_EQ(m.w.count("SetSuspendState"), 2);
}

TEST(ScheduleDue, AWindowThatBeganYesterdayBelongsToYesterdaysRow) {
    // Monday 22:00 for 240 minutes; Tuesday has no window.
    auto at = [](int hour, int minute) {
        Machine m({2026, 12, 8, hour, minute, 0, 0, 1});  // a Tuesday
        WriteSetting(UserApp(), kSettings, "0txtHourTW", std::string("22"));
        WriteSetting(UserApp(), kSettings, "0txtTWDuration", std::string("240"));
        m.f.txtCounter.setText("0");
        m.f.fireEvent("optShutdownTime(3).Click");
        m.f.Timer2_Timer();
        m.run(3000);
        return m.w.count("ExitWindowsEx");
    };
    EXPECT_EQ(at(1, 30), 1);
    EXPECT_EQ(at(2, 0), 0);
    EXPECT_EQ(at(22, 30), 0);  // Tuesday's own row: none
}

TEST(ScheduleDue, AfterAnAcceptedSessionCallNothingMoreIsCalled) {
    Machine m;
    WriteSetting(UserApp(), kSettings, "1txtHourTW", std::string("20"));
    WriteSetting(UserApp(), kSettings, "1txtMinuteTW", std::string("59"));
    WriteSetting(UserApp(), kSettings, "1txtTWDuration", std::string("60"));
    m.f.fireEvent("optShutdownTime(3).Click");
    m.f.txtCounter.setText("2");
    m.run(60000);
    EXPECT_EQ(m.w.count("ExitWindowsEx"), 1);
    EXPECT_TRUE(m.f.sessionEnding());
    EXPECT_FALSE(m.f.Timer2.enabled());
}

TEST(ScheduleDue, AWindowStillOpenAfterASuspendActsAgainThroughANewCountdown) {
    Machine m;
    WriteSetting(UserApp(), kSettings, "1txtHourTW", std::string("20"));
    WriteSetting(UserApp(), kSettings, "1txtMinuteTW", std::string("59"));
    WriteSetting(UserApp(), kSettings, "1txtTWDuration", std::string("60"));
    m.f.fireEvent("optShutdownTime(3).Click");
    m.f.fireEvent("optActions(5).Click");
    m.f.txtCounter.setText("2");
    m.run(60000);
    const int suspends = m.w.count("SetSuspendState");
    EXPECT_GE(suspends, 3);
    EXPECT_LE(suspends, 5);  // one per tick after a countdown, never one per tick inside it
    // Each one after its own countdown of three beeps.
    EXPECT_GE(m.w.count("Beep"), 3 * suspends);
    EXPECT_EQ(m.lines("Suspend PC"), suspends + (m.f.actionRunning() ? 1 : 0));
}

TEST(ScheduleDue, ARefusedCallInATimeWindowIsLoggedOnceNotAtEveryTick) {
    Machine m;
    int indicators = 0;
    m.w.runtime.errorIndicator = [&] { ++indicators; };
    m.w.power.setRefuse(true);
    WriteSetting(UserApp(), kSettings, "1txtHourTW", std::string("20"));
    WriteSetting(UserApp(), kSettings, "1txtMinuteTW", std::string("59"));
    WriteSetting(UserApp(), kSettings, "1txtTWDuration", std::string("60"));
    m.f.fireEvent("optShutdownTime(3).Click");
    m.f.txtCounter.setText("0");
    m.run(20000);
    EXPECT_EQ(m.w.count("ExitWindowsEx"), 1);
    const int afterTheRefusal = indicators;
    EXPECT_GE(afterTheRefusal, 1);
    m.run(100000);
    EXPECT_EQ(m.w.count("ExitWindowsEx"), 1);
    EXPECT_EQ(indicators, afterTheRefusal);
    EXPECT_TRUE(m.f.Timer2.enabled());
    EXPECT_FALSE(m.f.sessionEnding());
}

// ---- the terminal's countdown -----------------------------------------------------------

TEST(HeadlessCountdown, OnlyADigitPictureShowsACount) {
    using programs::DigitOfPicture;
    EXPECT_EQ(DigitOfPicture("digit0"), 0);
    EXPECT_EQ(DigitOfPicture("digit9"), 9);
    for (const char* other : {"", "clock", "idle", "digit", "digit10", "digitx", "xdigit1"})
        EXPECT_EQ(DigitOfPicture(other), -1) << other;
}

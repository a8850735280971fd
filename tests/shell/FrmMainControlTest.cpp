// Postponing and cancelling from outside the window (the control channel,
// the tray menu, the postpone buttons), and the state the channel reports,
// timed on the simulated machine.
#include <gtest/gtest.h>

#include <algorithm>

#include "base/Varn_Registry.h"
#include "cleaner/frmCleanNow.h"
#include "platform/IDialogs.h"
#include "shell/FrmMain.h"
#include "shell/frmSysTray.h"
#include "support/SimWorld.h"

using namespace nocturo;
using nocturo::test::SimWorld;

namespace {

// Tuesday 8 December 2026, 20:59:50.
struct Machine {
    SimWorld w;
    FrmMain f;
    std::int64_t t0;
    Machine() : w(platform::PathStyle::Windows, {2026, 12, 8, 20, 59, 50, 0, 1}) {
        f.Form_Load();
        t0 = w.clock.monotonicMs();
    }
    std::int64_t ms() { return w.clock.monotonicMs(); }
    // Seconds since the machine started.
    double elapsed() { return static_cast<double>(ms() - t0) / 1000.0; }
    void at(std::int64_t msFromStart, std::function<void()> fn) { w.loop.at(t0 + msFromStart, "event", std::move(fn)); }
    void runTo(std::int64_t msFromStart) { w.loop.runFor(t0 + msFromStart - ms()); }
    int lines(const std::string& text) {
        auto l = w.actionLogLines();
        return static_cast<int>(std::count(l.begin(), l.end(), text));
    }
    std::vector<std::string> startingWith(const std::string& prefix) {
        std::vector<std::string> out;
        for (const std::string& l : w.actionLogLines())
            if (l.rfind(prefix, 0) == 0) out.push_back(l);
        return out;
    }
    bool postpone(long long seconds) {
        std::string why;
        const bool ok = f.Postpone(seconds, why);
        EXPECT_EQ(ok, why.empty()) << why;
        return ok;
    }
    void timeOfDay(const char* h, const char* m, const char* s) {
        f.fireEvent("optShutdownTime(0).Click");
        f.txtHour.setText(h);
        f.txtMinute.setText(m);
        f.txtSEC.setText(s);
    }
    bool buttonsShown() { return f.cmdPostpone5.visible() && f.cmdPostpone15.visible() && f.cmdPostpone60.visible(); }
};

double whenSessionEnds(Machine& m, std::int64_t maxMs) {
    const bool ended = m.w.runUntil([&] { return m.w.count("ExitWindowsEx") > 0; }, maxMs);
    return ended ? m.elapsed() : -1;
}

}  // namespace

// ---- a run under way -----------------------------------------------------------

TEST(PostponeARun, InTheFinalCountTheCountStopsWaitsAndCountsAgainFromTheStart) {
    Machine m;
    // The default counter of 9: beeps at 0, 1, 2, 3 s; the postponement at 3.5 s.
    m.f.chkSound.setValue(1);
    std::vector<bool> shownWhileCounting;
    m.at(3200, [&] {
        shownWhileCounting.push_back(m.buttonsShown());
        EXPECT_EQ(m.f.controlState().phase, "final-count");
        EXPECT_EQ(m.f.controlState().secondsLeft, 6);  // since 3 s the count shows 6
    });
    m.at(3500, [&] { m.postpone(600); });
    m.f.cmdGo_Click();
    m.runTo(3600);
    const platform::ControlState held = m.f.controlState();
    EXPECT_EQ(held.phase, "waiting");
    EXPECT_EQ(held.running, "Nocturo");
    EXPECT_EQ(held.due, "2026-12-08T21:09:53");
    EXPECT_FALSE(m.f.imgCounter0.visible());
    EXPECT_TRUE(m.f.lblNocturoInfo.visible());
    EXPECT_EQ(m.f.lblNocturoInfo.caption(), "until 21:09:53");
    EXPECT_TRUE(m.buttonsShown());  // the held run can be moved again
    EXPECT_EQ(m.f.cmdGo.caption(), "&cancel");

    const int beepsBefore = m.w.count("Beep");
    EXPECT_EQ(beepsBefore, 4);
    m.runTo(603000);
    EXPECT_EQ(m.w.count("Beep"), beepsBefore) << "the count went on while held";
    EXPECT_EQ(m.w.count("ExitWindowsEx"), 0);

    // At 603.5 s the count starts again from 9: the action at 613.5 s.
    const double endAt = whenSessionEnds(m, 30000);
    EXPECT_GE(endAt, 613.4);
    EXPECT_LE(endAt, 614.0);
    EXPECT_EQ(m.w.count("Beep"), beepsBefore + 10);
    EXPECT_EQ(m.w.count("ExitWindowsEx"), 1);
    EXPECT_EQ(m.lines("Shutdown"), 1);  // one run, its action logged once
    EXPECT_EQ(m.startingWith("Postponed"),
              (std::vector<std::string>{"Postponed by 10 min: Shut Down is now due at 21:09:53"}));
    EXPECT_EQ(shownWhileCounting, (std::vector<bool>{true}));
    EXPECT_EQ(m.w.errorLog(), "");
}

TEST(PostponeARun, TwoPostponementsAddUpAndTheButtonsMoveByTheirMinutes) {
    Machine m;
    m.f.txtCounter.setText("2");
    m.at(500, [&] { m.f.fireEvent("cmdPostpone5.Click"); });
    m.at(10000, [&] { m.f.fireEvent("cmdPostpone15.Click"); });
    m.f.cmdGo_Click();
    m.runTo(11000);
    // 0.5 s + 300 s, then 900 s more: the count starts again at 1200.5 s.
    EXPECT_EQ(m.f.controlState().due, "2026-12-08T21:19:50");
    const double endAt = whenSessionEnds(m, 1300000);
    EXPECT_GE(endAt, 1203.4);
    EXPECT_LE(endAt, 1204.0);
    EXPECT_EQ(m.startingWith("Postponed"),
              (std::vector<std::string>{"Postponed by 5 min: Shut Down is now due at 21:04:50",
                                        "Postponed by 15 min: Shut Down is now due at 21:19:50"}));
}

TEST(PostponeARun, DuringTheProgramWaitTheProgramRunsOnceAndTheCountWaitsForTheMovedMoment) {
    Machine m;
    m.w.fs.addFile("C:\\tools\\backup.exe");
    m.f.chkStartProgram.setValue(1);
    m.f.txtStartProgram.setText("C:\\tools\\backup.exe");
    platform::SimProcesses::Script s;
    s.runMs = 8000;
    m.w.processes.script("C:\\tools\\backup.exe", s);
    m.f.txtCounter.setText("3");
    std::string phase;
    bool buttons = true;
    m.at(2000, [&] {
        phase = m.f.controlState().phase;
        buttons = m.buttonsShown();
        m.postpone(60);
    });
    m.f.cmdGo_Click();
    m.runTo(9000);
    EXPECT_EQ(phase, "waiting");
    EXPECT_FALSE(buttons) << "the postpone buttons belong to the counts, not to the program wait";
    EXPECT_EQ(m.lines("Program finished"), 1);
    EXPECT_EQ(m.f.controlState().phase, "waiting");  // now held until 62 s
    EXPECT_EQ(m.f.controlState().due, "2026-12-08T21:00:52");
    EXPECT_TRUE(m.buttonsShown());
    const double endAt = whenSessionEnds(m, 120000);
    // Held until 62 s, then the count of 3: the action at 66 s.
    EXPECT_GE(endAt, 65.9);
    EXPECT_LE(endAt, 66.5);
    EXPECT_EQ(m.w.count("StartProgram"), 1);
    EXPECT_EQ(m.lines("Program finished"), 1);
}

TEST(PostponeARun, DuringTheCleaningTheCleaningEndsOnceAndTheCountWaits) {
    Machine m;
    m.w.fs.addFile("C:\\Windows\\temp\\old.bak", "x");
    m.f.chkCleanHD.setValue(1);
    m.f.txtCounter.setText("0");
    std::string phase;
    int cleanings = 0;
    m.f.showCleaningRun = [&](frmCleanNow&) {
        ++cleanings;
        m.w.loop.post([&] {
            phase = m.f.controlState().phase;
            m.postpone(30);
        });
    };
    m.f.cmdGo_Click();
    m.runTo(1000);
    EXPECT_EQ(phase, "cleaning");
    EXPECT_EQ(m.w.count("ExitWindowsEx"), 0);
    EXPECT_EQ(m.f.controlState().phase, "waiting");
    const double endAt = whenSessionEnds(m, 60000);
    EXPECT_GE(endAt, 29.9);
    EXPECT_LE(endAt, 31.5);
    EXPECT_EQ(cleanings, 1);
    EXPECT_EQ(m.w.count("ExitWindowsEx"), 1);
}

TEST(PostponeARun, IsRefusedWhileTheQuestionIsOpenAndForNothingOrNoTime) {
    Machine m;
    std::string why;
    EXPECT_FALSE(m.f.Postpone(0, why));
    EXPECT_FALSE(why.empty());
    EXPECT_FALSE(m.f.Postpone(-5, why));
    // A fresh store is not armed: nothing is due.
    EXPECT_FALSE(m.f.Postpone(60, why));
    EXPECT_NE(why.find("not armed"), std::string::npos) << why;

    m.f.chkForce.setValue(0);
    m.f.txtCounter.setText("0");
    bool refusedInBox = false;
    m.w.dialogs.onBox = [&] {
        std::string inside;
        refusedInBox = !m.f.Postpone(60, inside) && m.f.controlState().phase == "asking";
    };
    m.w.dialogs.pushAnswer(platform::mb::IdYes);
    m.f.cmdGo_Click();
    m.w.runUntil([&] { return !m.f.actionRunning(); }, 10000);
    EXPECT_TRUE(refusedInBox);
    EXPECT_EQ(m.w.count("ExitWindowsEx"), 1);
    EXPECT_TRUE(m.startingWith("Postponed").empty());
}

// ---- the schedule ----------------------------------------------------------------

TEST(PostponeTheSchedule, ATimeOfDayFiresOnceAtTheMovedTimeAndTheNextDayAsUsual) {
    Machine m;
    m.timeOfDay("21", "00", "00");
    m.f.fireEvent("optActions(4).Click");  // the alarm: the program goes on after it
    m.f.txtCounter.setText("0");
    m.runTo(1000);
    EXPECT_EQ(m.f.controlState().due, "2026-12-08T21:00:00");
    ASSERT_TRUE(m.postpone(300));
    EXPECT_EQ(m.f.controlState().due, "2026-12-08T21:05:00");
    EXPECT_EQ(m.startingWith("Postponed"),
              (std::vector<std::string>{"Postponed by 5 min: Alarm Mode is now due at 21:05:00"}));
    // The fields and the stored settings stay as they were.
    EXPECT_EQ(m.f.txtHour.text() + ":" + m.f.txtMinute.text() + ":" + m.f.txtSEC.text(), "21:00:00");

    m.runTo(60000);  // 21:00:50
    EXPECT_EQ(m.lines("Alarm"), 0) << "the moved occurrence fired at its old time";
    m.runTo(309000);  // 21:04:59
    EXPECT_EQ(m.lines("Alarm"), 0);
    m.runTo(320000);  // 21:05:10
    EXPECT_EQ(m.lines("Alarm"), 1);
    m.runTo(400000);
    EXPECT_EQ(m.lines("Alarm"), 1) << "the moved occurrence fired twice";
    EXPECT_EQ(m.f.controlState().due, "2026-12-09T21:00:00");

    // The next day at 21:00:00, as usual.
    m.runTo(86400000LL + 9000);  // 20:59:59 the next day
    EXPECT_EQ(m.lines("Alarm"), 1);
    m.runTo(86400000LL + 15000);
    EXPECT_EQ(m.lines("Alarm"), 2);
    EXPECT_EQ(m.w.errorLog(), "");
}

TEST(PostponeTheSchedule, AWeekdayTimeMovesOnlyTodaysOccurrence) {
    Machine m;
    // Tuesday 21:00:00, Wednesday 00:00:30.
    WriteSetting(UserApp(), kSettings, "1txtHour", std::string("21"));
    WriteSetting(UserApp(), kSettings, "1txtMinute", std::string("00"));
    WriteSetting(UserApp(), kSettings, "1txtSEC", std::string("00"));
    WriteSetting(UserApp(), kSettings, "2txtSEC", std::string("30"));
    m.f.fireEvent("optShutdownTime(1).Click");
    m.f.fireEvent("optActions(4).Click");
    m.f.txtCounter.setText("0");
    ASSERT_TRUE(m.postpone(3 * 3600));  // to Wednesday 00:00:00
    EXPECT_EQ(m.f.controlState().due, "2026-12-09T00:00:00");
    m.runTo(3600000);
    EXPECT_EQ(m.lines("Alarm"), 0);
    m.runTo(3 * 3600000LL + 12000);  // Wednesday 00:00:02: the moved one
    EXPECT_EQ(m.lines("Alarm"), 1);
    m.runTo(3 * 3600000LL + 18000);  // its alarm over
    EXPECT_EQ(m.f.controlState().due, "2026-12-09T00:00:30");
    m.runTo(3 * 3600000LL + 45000);  // 00:00:35: and Wednesday's own
    EXPECT_EQ(m.lines("Alarm"), 2);
}

TEST(PostponeTheSchedule, ANewTimeDropsTheMovedOccurrence) {
    Machine m;
    m.timeOfDay("21", "00", "00");
    m.f.fireEvent("optActions(4).Click");
    m.f.txtCounter.setText("0");
    ASSERT_TRUE(m.postpone(300));
    m.f.txtSEC.setText("30");  // a new time: 21:00:30 acts as typed
    m.runTo(50000);
    EXPECT_EQ(m.lines("Alarm"), 1);
    m.runTo(400000);
    EXPECT_EQ(m.lines("Alarm"), 1);
}

TEST(PostponeTheSchedule, TheCountdownGetsTheSecondsAdded) {
    Machine m;
    m.f.fireEvent("optShutdownTime(2).Click");
    m.f.cmbTimeUnit.setListIndex(2);
    m.f.txtStartActionIn.setText("60");
    m.f.fireEvent("cmbTimeUnit.Click");
    m.f.txtCounter.setText("0");
    EXPECT_TRUE(m.buttonsShown());
    m.runTo(10000);
    const int before = m.f.countdownSeconds;
    EXPECT_NEAR(before, 50, 1);
    m.f.fireEvent("cmdPostpone5.Click");
    EXPECT_EQ(m.f.countdownSeconds, before + 300);
    ASSERT_EQ(m.startingWith("Postponed").size(), 1u);
    EXPECT_EQ(m.startingWith("Postponed")[0].rfind("Postponed by 5 min: Shut Down is now due at 21:0", 0), 0u);
    const double endAt = whenSessionEnds(m, 600000);
    EXPECT_GE(endAt, 359.0);
    EXPECT_LE(endAt, 362.0);
    // The entered count is what it was.
    EXPECT_EQ(m.f.txtStartActionIn.text(), "60");
}

TEST(PostponeTheSchedule, TheStateIsToldOncePerChangeNotOnEveryTick) {
    Machine m;
    int told = 0;
    m.f.onStateChanged = [&] { ++told; };
    m.f.fireEvent("optShutdownTime(2).Click");
    m.f.cmbTimeUnit.setListIndex(2);
    m.f.txtStartActionIn.setText("600");
    m.f.fireEvent("cmbTimeUnit.Click");
    const int armed = told;
    EXPECT_GE(armed, 1);
    m.runTo(30000);  // thirty ticks of the count
    EXPECT_EQ(told, armed);
    ASSERT_TRUE(m.postpone(60));
    EXPECT_EQ(told, armed + 1);
    m.f.setScheduleArmed(false);
    EXPECT_EQ(told, armed + 2);
    EXPECT_FALSE(m.f.controlState().armed);
    EXPECT_EQ(m.f.controlState().due, "");
    EXPECT_EQ(m.f.controlState().secondsLeft, -1);
}

// ---- cancelling ------------------------------------------------------------------

TEST(CancelRunning, IsRefusedWithDisableCancelOrWithNothingRunning) {
    Machine m;
    std::string why;
    EXPECT_FALSE(m.f.CancelRunning(why));
    EXPECT_EQ(why, "No action is running.");

    m.f.chkDisableCancel.setValue(1);
    m.f.txtCounter.setText("3");
    m.at(1000, [&] {
        std::string inside;
        EXPECT_FALSE(m.f.CancelRunning(inside));
        EXPECT_NE(inside.find("Disable Cancel button"), std::string::npos) << inside;
        EXPECT_TRUE(m.f.controlState().cancelDisabled);
    });
    m.f.cmdGo_Click();
    EXPECT_GT(whenSessionEnds(m, 10000), 0) << "the refused cancel stopped the action";
}

TEST(CancelRunning, ACancelRacingADueScheduleEitherStopsTheRunOrFindsNothingNeverActsTwice) {
    // The schedule is due at 21:00:00 (10 s after the start); the cancel
    // comes around that moment, before, with or after the tick that starts it.
    for (std::int64_t offset : {-600, -1, 0, 1, 250, 499, 500, 501, 1200, 9000}) {
        SCOPED_TRACE(offset);
        Machine m;
        m.timeOfDay("21", "00", "00");
        m.f.setScheduleArmed(true, false);
        m.f.txtCounter.setText("9");
        bool accepted = false;
        m.at(10000 + offset, [&] {
            std::string why;
            accepted = m.f.CancelRunning(why);
        });
        m.runTo(60000);
        EXPECT_EQ(m.lines("Shutdown"), 1) << "the schedule's run started " << m.lines("Shutdown") << " times";
        if (accepted) {
            EXPECT_EQ(m.w.count("ExitWindowsEx"), 0);
            EXPECT_EQ(m.lines("action canceled"), 1);
        } else {
            EXPECT_LT(offset, 1) << "a cancel during the count was refused";
            EXPECT_EQ(m.w.count("ExitWindowsEx"), 1);
        }
        EXPECT_FALSE(m.f.actionRunning());
        EXPECT_EQ(m.w.errorLog(), "");
    }
}

// ---- the tray --------------------------------------------------------------------

TEST(ControlTray, TheMenuOffersPostponeAndCancelOnlyWhileACountRuns) {
    Machine m;
    m.f.imgSysTray_Click();
    ASSERT_TRUE(m.f.m_frmSysTray);
    auto keys = [&] {
        std::vector<std::string> out;
        if (m.f.m_frmSysTray)
            for (const auto& item : m.f.m_frmSysTray->mnuSysTray) out.push_back(item.tag);
        return out;
    };
    auto has = [&](const char* key) {
        auto k = keys();
        return std::find(k.begin(), k.end(), key) != k.end();
    };
    EXPECT_FALSE(has("postpone"));
    EXPECT_FALSE(has("cancel"));

    m.f.txtCounter.setText("5");
    m.f.ShutDown_Action("");  // the run brings the window back from the tray
    m.f.imgSysTray_Click();
    m.runTo(1000);
    ASSERT_TRUE(has("postpone"));
    ASSERT_TRUE(has("cancel"));
    auto k = keys();
    const auto at = std::find(k.begin(), k.end(), "postpone") - k.begin();
    EXPECT_EQ(m.f.m_frmSysTray->mnuSysTray[static_cast<size_t>(at)].caption, "Postpone 10 minutes");
    EXPECT_EQ(m.f.m_frmSysTray->mnuSysTray[static_cast<size_t>(at) + 1].caption, "Cancel");

    m.f.m_frmSysTray_MenuClick(static_cast<std::int16_t>(at), "postpone");
    EXPECT_EQ(m.f.controlState().phase, "waiting");
    EXPECT_EQ(m.startingWith("Postponed").size(), 1u);
    m.f.imgSysTray_Click();
    m.f.m_frmSysTray_MenuClick(0, "cancel");
    EXPECT_FALSE(m.f.actionRunning());
    EXPECT_EQ(m.lines("action canceled"), 1);
    m.f.imgSysTray_Click();
    EXPECT_FALSE(has("postpone"));
    EXPECT_FALSE(has("cancel"));
    m.runTo(700000);
    EXPECT_EQ(m.w.count("ExitWindowsEx"), 0);
}

TEST(PostponeTheSchedule, AnOpenTimeWindowIsHeldFromNowUntilTheMovedMoment) {
    Machine m;
    // Tuesday's window: 20:59:00 for 10 minutes, open at the start.
    WriteSetting(UserApp(), kSettings, "1txtHourTW", std::string("20"));
    WriteSetting(UserApp(), kSettings, "1txtMinuteTW", std::string("59"));
    WriteSetting(UserApp(), kSettings, "1txtTWDuration", std::string("10"));
    m.f.fireEvent("optActions(4).Click");
    m.f.txtCounter.setText("0");
    m.f.fireEvent("optShutdownTime(3).Click");
    // Held before the first tick looks: from now (20:59:50) by 2 minutes.
    ASSERT_TRUE(m.postpone(120));
    EXPECT_EQ(m.f.controlState().due, "2026-12-08T21:01:50");
    m.runTo(100000);
    EXPECT_EQ(m.lines("Alarm"), 0) << "the held window acted";
    m.runTo(125000);  // the 10 s ticks: the first at or after 21:01:50
    EXPECT_EQ(m.lines("Alarm"), 1);
    // Afterwards the window, still open, acts as it always does.
    m.runTo(135000);
    EXPECT_EQ(m.lines("Alarm"), 2);
}

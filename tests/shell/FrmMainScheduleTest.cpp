// The main timer: the four schedule modes on the virtual clock.
#include <gtest/gtest.h>

#include "base/Variant.h"
#include "base/Varn_Registry.h"
#include "shell/FrmMain.h"
#include "support/SimWorld.h"

using namespace nocturo;
using nocturo::test::SimWorld;

namespace {

struct Scheduled {
    SimWorld w;
    FrmMain f;
    explicit Scheduled(platform::LocalTime start = {2026, 12, 8, 20, 59, 50, 0, 1}) : w(platform::PathStyle::Windows, start) {
        f.Form_Load();
        // A schedule the user has armed.
        f.setScheduleArmed(true, false);
        f.txtCounter.setText("0");
    }
    void mode(int m) { f.fireEvent("optShutdownTime(" + std::to_string(m) + ").Click"); }
    void at(const char* h, const char* m, const char* s) {
        f.txtHour.setText(h);
        f.txtMinute.setText(m);
        f.txtSEC.setText(s);
    }
    int actions() { return w.count("ExitWindowsEx"); }
    // The action a tick started runs to its end.
    int actionsAfterRun() {
        w.runUntil([&] { return !f.actionRunning(); });
        return actions();
    }
};

}  // namespace

TEST(Schedule, ModeZeroFiresOnceAtTheTypedTimeAndTheSecondSightingDoesNotCancel) {
    Scheduled t;
    t.f.txtCounter.setText("3");
    t.at("21", "00", "00");
    t.w.loop.runFor(15000);
    EXPECT_EQ(t.actions(), 1);
    auto lines = t.w.actionLogLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "action canceled"), 0);
    EXPECT_EQ(t.f.lblNocturoInfo.caption(), " at  21:00:00");
}

TEST(Schedule, ModeZeroNeedsTwoDigitFields) {
    Scheduled t({2026, 12, 8, 7, 4, 55, 0, 1});
    t.at("7", "5", "0");
    t.w.loop.runFor(10000);
    EXPECT_EQ(t.actions(), 0);

    Scheduled u({2026, 12, 8, 7, 4, 55, 0, 1});
    u.at("07", "05", "00");
    u.w.loop.runFor(10000);
    EXPECT_EQ(u.actions(), 1);
}

TEST(Schedule, ASkippedSecondStillFiresWhenTheGapIsShort) {
    Scheduled t;
    t.at("20", "59", "55");
    t.f.Timer2_Timer();  // 20:59:50
    t.w.clock.advance(7000);  // the machine was busy: 20:59:55 never seen
    t.f.Timer2_Timer();
    EXPECT_EQ(t.actionsAfterRun(), 1);

    Scheduled late;
    late.at("20", "59", "55");
    late.f.Timer2_Timer();
    late.w.clock.advance(40000);  // a gap of 40 s: the computer slept through it
    late.f.Timer2_Timer();
    EXPECT_EQ(late.actionsAfterRun(), 0);
}

TEST(Schedule, ModeOneUsesTodaysWeekdayTimeAndFiresAtMidnightWhenNeverStored) {
    Scheduled t({2026, 12, 8, 23, 59, 58, 0, 1});  // a Tuesday
    t.mode(1);
    t.w.loop.runFor(4000);
    EXPECT_EQ(t.actions(), 1);  // Wednesday 00:00:00

    Scheduled u({2026, 12, 8, 18, 29, 58, 0, 1});
    WriteSetting(UserApp(), kSettings, "1txtHour", std::string("18"));
    WriteSetting(UserApp(), kSettings, "1txtMinute", std::string("30"));
    WriteSetting(UserApp(), kSettings, "1txtSEC", std::string("00"));
    u.mode(1);
    u.w.loop.runFor(4000);
    EXPECT_EQ(u.actions(), 1);
    EXPECT_EQ(u.f.lblNocturoInfo.caption(), " at 18:30:00");
}

TEST(Schedule, ModeTwoCountsDownOncePerSecondAndARefusedActionDisarmsIt) {
    Scheduled t;
    t.f.txtStartActionIn.setText("5");
    t.f.cmbTimeUnit.setListIndex(2);
    t.mode(2);
    EXPECT_EQ(t.f.Timer2.interval(), 1000);
    t.f.cmdResetCounter_Click();
    EXPECT_EQ(t.f.countdownSeconds, 5);
    t.f.chkForce.setValue(0);
    std::vector<std::string> shown;
    t.f.setChangeListener([&](const std::string& what) {
        if (what == "lblNocturoInfo" && (shown.empty() || shown.back() != t.f.lblNocturoInfo.caption()))
            shown.push_back(t.f.lblNocturoInfo.caption());
    });
    t.w.dialogs.pushAnswer(7);  // No
    t.w.loop.runFor(20000);
    // "No" to the countdown's action is a "no" to the countdown: it does not
    // start again by itself, and says why.
    EXPECT_EQ(t.w.count("MessageBox"), 1);
    EXPECT_EQ(t.w.count("ExitWindowsEx"), 0);
    EXPECT_EQ(shown, (std::vector<std::string>{"in 4 sec.", "in 3 sec.", "in 2 sec.", "in 1 sec.", "in 0 sec.",
                                               "not armed: tick Armed in Options"}));
    EXPECT_FALSE(t.f.scheduleArmed());
    EXPECT_EQ(t.f.chkArmed.value(), 0);
    EXPECT_EQ(t.f.countdownSeconds, 5);
    EXPECT_EQ(CStr(ReadSetting(UserApp(), kSettings, "Armed", std::string())), "0");

    // Armed again, the count starts afresh from the entered value.
    shown.clear();
    t.f.fireEvent("chkArmed.Click");
    t.w.loop.runFor(2500);
    EXPECT_EQ(shown, (std::vector<std::string>{"in 4 sec.", "in 3 sec."}));
    EXPECT_EQ(t.w.actionLogLines().back(), "Schedule armed");

    // Another mode freezes the count.
    const auto frozen = t.f.countdownSeconds;
    t.mode(0);
    t.w.loop.runFor(3000);
    EXPECT_EQ(t.f.countdownSeconds, frozen);
    t.mode(2);
    t.w.loop.runFor(1000);
    EXPECT_EQ(t.f.countdownSeconds, frozen - 1);
}

TEST(Schedule, ACancelledCountdownDoesNotActAgainUntilArmed) {
    Scheduled t;
    t.f.txtStartActionIn.setText("10");
    t.f.cmbTimeUnit.setListIndex(2);
    t.f.txtCounter.setText("5");
    t.mode(2);
    t.f.cmdResetCounter_Click();
    t.w.loop.runFor(11500);  // the count is over: the final count runs
    ASSERT_TRUE(t.f.actionRunning());
    t.f.fireEvent("cmdGo.Click");  // "&cancel"
    ASSERT_FALSE(t.f.actionRunning());
    t.w.loop.runFor(60000);
    EXPECT_EQ(t.w.count("ExitWindowsEx"), 0);
    EXPECT_FALSE(t.f.scheduleArmed());
    auto lines = t.w.actionLogLines();
    EXPECT_EQ(std::vector<std::string>(lines.end() - 2, lines.end()),
              (std::vector<std::string>{"action canceled", "Schedule disarmed"}));

    // From the tray menu it is armed again, and then acts after the full count.
    t.f.Make_Popup_Menu();
    t.f.m_frmSysTray_MenuClick(0, "arm");
    EXPECT_TRUE(t.f.scheduleArmed());
    t.w.loop.runFor(9000);
    EXPECT_FALSE(t.f.actionRunning());
    t.w.loop.runFor(2500);
    EXPECT_TRUE(t.f.actionRunning());
}

TEST(Schedule, SetComputesSecondsFromTheUnit) {
    Scheduled t;
    t.f.txtStartActionIn.setText("90");
    t.f.cmbTimeUnit.setListIndex(1);
    t.f.cmdResetCounter_Click();
    EXPECT_EQ(t.f.countdownSeconds, 5400);
    t.f.cmbTimeUnit.setListIndex(0);
    t.f.txtStartActionIn.setText("2");
    t.f.cmdResetCounter_Click();
    EXPECT_EQ(t.f.countdownSeconds, 7200);
}

// A count typed into the box takes effect without "Set": when the box is
// left after an edit, on Enter, and when another unit is chosen.
TEST(Schedule, ATypedCountIsLoadedWhenTheBoxIsLeftOnEnterAndOnANewUnit) {
    Scheduled t;
    t.mode(2);
    t.f.cmbTimeUnit.setListIndex(2);  // seconds
    t.f.cmdResetCounter_Click();
    ASSERT_EQ(t.f.countdownSeconds, 360);

    // Left without an edit, the running count goes on.
    t.w.loop.runFor(3000);
    t.f.fireEvent("txtStartActionIn.LostFocus");
    EXPECT_EQ(t.f.countdownSeconds, 357);

    t.f.txtStartActionIn.setText("50");
    t.f.fireEvent("txtStartActionIn.Change");
    EXPECT_EQ(t.f.countdownSeconds, 357);  // not while typing
    t.f.fireEvent("txtStartActionIn.LostFocus");
    EXPECT_EQ(t.f.countdownSeconds, 50);
    t.w.loop.runFor(2000);
    t.f.fireEvent("txtStartActionIn.LostFocus");  // left again: no edit since
    EXPECT_EQ(t.f.countdownSeconds, 48);

    // Enter loads it and never reaches the box.
    t.f.txtStartActionIn.setText("40");
    t.f.fireEvent("txtStartActionIn.Change");
    EXPECT_EQ(t.f.keyPress("txtStartActionIn", 13), 0);
    EXPECT_EQ(t.f.countdownSeconds, 40);
    EXPECT_EQ(t.f.keyPress("txtStartActionIn", '7'), '7');
    EXPECT_EQ(t.f.keyPress("txtStartActionIn", 'x'), 0);

    // Another unit counts the same number in it.
    t.f.cmbTimeUnit.setListIndex(1);
    t.f.fireEvent("cmbTimeUnit.Click");
    EXPECT_EQ(t.f.countdownSeconds, 2400);
    EXPECT_EQ(t.w.errorLog(), "");
}

// "Set" belongs to the count's row, not to "Counter starts at" below.
TEST(Schedule, SetStandsOnTheCountsRow) {
    Scheduled t;
    const Control& set = t.f.cmdResetCounter;
    const Control& unit = t.f.cmbTimeUnit;
    EXPECT_EQ(set.top(), t.f.txtStartActionIn.top());
    EXPECT_GE(set.left(), unit.left() + unit.width());
    EXPECT_NE(set.top(), t.f.txtCounter.top());
    EXPECT_EQ(t.f.cmdResetCounter.caption(), "Set");
}

TEST(Schedule, ModeThreeUsesYesterdaysWindowAcrossMidnight) {
    auto window = [](int hour, int minute) {
        auto t = std::make_unique<Scheduled>(platform::LocalTime{2026, 12, 9, hour, minute, 0, 0, 2});
        for (int d = 0; d < 7; ++d) {
            WriteSetting(UserApp(), kSettings, std::to_string(d) + "txtHourTW", std::string("22"));
            WriteSetting(UserApp(), kSettings, std::to_string(d) + "txtMinuteTW", std::string("00"));
            WriteSetting(UserApp(), kSettings, std::to_string(d) + "txtTWDuration", std::string("240"));
        }
        t->mode(3);
        t->f.Timer2_Timer();
        return t->actionsAfterRun();
    };
    EXPECT_EQ(window(1, 30), 1);
    EXPECT_EQ(window(21, 59), 0);
    EXPECT_EQ(window(22, 30), 1);
    EXPECT_EQ(window(2, 1), 0);
}

TEST(Schedule, ModeThreeWithLengthZeroIsNeverDue) {
    Scheduled t({2026, 12, 9, 0, 0, 0, 0, 2});
    t.mode(3);
    EXPECT_EQ(t.f.Timer2.interval(), 10000);
    t.w.loop.runFor(60000);
    EXPECT_EQ(t.actions(), 0);
}

TEST(Schedule, EveryTenthTickRefreshesTheCrashMarker) {
    Scheduled t;
    t.f.Timer2.setEnabled(false);
    t.w.runtime.tickCounter = 0;
    t.w.reg.deleteValue(SettingPath(UserApp(), kSettings, "Crashtime"));
    for (int i = 0; i < 9; ++i) t.f.Timer2_Timer();
    EXPECT_FALSE(t.w.reg.exists(SettingPath(UserApp(), kSettings, "Crashtime")));
    t.w.setNow(21, 30, 0);
    t.f.Timer2_Timer();
    EXPECT_EQ(std::get<std::string>(*t.w.reg.read(SettingPath(UserApp(), kSettings, "Crashtime"))),
              "08.12.2026 21:30:00");
    EXPECT_EQ(t.w.runtime.tickCounter, 0);
}

TEST(Schedule, TheTickShowsTheClockAndTheVoiceClockSpeaksOnTheHour) {
    Scheduled t({2026, 12, 8, 20, 59, 58, 0, 1});
    t.f.fireEvent("chkVoice.Click");  // off
    t.f.fireEvent("chkVoice.Click");  // on again
    t.w.loop.runFor(3000);
    EXPECT_EQ(t.f.lblTime.caption(), "21:00:01");
    EXPECT_EQ(t.f.lblDate.caption(), "08.12.2026");
    int spoken = 0;
    for (const auto& e : t.w.journal.entries())
        if (e.at("call").asString() == "Speak" && e.at("text").asString() == "The time is now 21:00") ++spoken;
    EXPECT_EQ(spoken, 1);
}

// ---------------------------------------------------------------------------
// Armed or not, from the store

TEST(Armed, AFreshStoreStartedBeforeMidnightDoesNotActAtMidnight) {
    SimWorld w(platform::PathStyle::Windows, {2026, 12, 8, 23, 59, 40, 0, 1});
    FrmMain f;
    f.Form_Load();
    EXPECT_FALSE(f.scheduleArmed());
    w.loop.runFor(60000);
    EXPECT_EQ(w.count("ExitWindowsEx"), 0);
    EXPECT_EQ(w.count("WriteAutostart"), 0);
    EXPECT_EQ(f.lblNocturoInfo.caption(), "not armed: tick Armed in Options");

    // Choosing the mode again arms it; the next midnight acts.
    f.fireEvent("optShutdownTime(0).Click");
    EXPECT_TRUE(f.scheduleArmed());
    w.loop.runFor(24 * 3600 * 1000);
    EXPECT_EQ(w.count("ExitWindowsEx"), 1);
}

TEST(Armed, AStoreWithAChosenScheduleButNoArmedValueStartsArmed) {
    // A time set with nocturoctl, or stored by an earlier version.
    SimWorld w(platform::PathStyle::Windows, {2026, 12, 8, 2, 59, 50, 0, 1});
    WriteSetting(UserApp(), kSettings, "txtHour", std::string("03"));
    {
        FrmMain f;
        f.Form_Load();
        EXPECT_TRUE(f.scheduleArmed());
        EXPECT_TRUE(f.chkArmed.checked());
        w.loop.runFor(25000);  // 03:00:00, then the final count
        EXPECT_EQ(w.count("ExitWindowsEx"), 1);
    }
    // Disarmed by the user, it stays so, whatever else the store holds.
    WriteSetting(UserApp(), kSettings, "Armed", 0);
    WriteSetting(UserApp(), kSettings, "4txtHour", std::string("05"));
    FrmMain f;
    f.Form_Load();
    EXPECT_FALSE(f.scheduleArmed());
    EXPECT_FALSE(f.chkArmed.checked());
}

TEST(Armed, UntickingTheBoxDisarmsAndIsKeptAtOnce) {
    Scheduled t({2026, 12, 8, 20, 59, 50, 0, 1});
    t.at("21", "00", "00");
    t.f.fireEvent("chkArmed.Click");  // was ticked: now off
    EXPECT_FALSE(t.f.scheduleArmed());
    EXPECT_EQ(CStr(ReadSetting(UserApp(), kSettings, "Armed", std::string())), "0");
    t.w.loop.runFor(20000);
    EXPECT_EQ(t.actions(), 0);
    EXPECT_EQ(t.w.actionLogLines().back(), "Schedule disarmed");
    // Go still acts at once, and arms the schedule again.
    t.f.fireEvent("cmdGo.Click");
    EXPECT_TRUE(t.f.scheduleArmed());
    EXPECT_TRUE(t.f.chkArmed.checked());
    EXPECT_EQ(t.actionsAfterRun(), 1);
}

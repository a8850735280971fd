// The main window's notifications before an action that ends the session,
// on the simulated machine: when they come, and what their buttons do.
#include <gtest/gtest.h>

#include <algorithm>

#include "base/Variant.h"
#include "base/Varn_Registry.h"
#include "platform/common/TrayBalloons.h"
#include "platform/sim/SimNotifications.h"
#include "shell/FrmMain.h"
#include "support/SimWorld.h"

using namespace nocturo;
using nocturo::test::SimWorld;

namespace {

// Tuesday 8 December 2026, 21:00:00; a shut-down at 21:06:00.
struct Desktop {
    SimWorld w{platform::PathStyle::Windows, {2026, 12, 8, 21, 0, 0, 0, 1}};
    platform::SimNotifications notes{w.journal, nullptr, &w.clock};
    FrmMain f;
    std::int64_t t0 = 0;
    explicit Desktop(int actionIndex = 0) {
        w.runtime.pf.notifications = &notes;
        f.Form_Load();
        f.fireEvent("optActions(" + std::to_string(actionIndex) + ").Click");
        f.fireEvent("optShutdownTime(0).Click");
        f.txtHour.setText("21");
        f.txtMinute.setText("06");
        f.txtSEC.setText("00");
        f.txtCounter.setText("0");
        t0 = w.clock.monotonicMs();
    }
    void runTo(std::int64_t secondsFromStart) { w.loop.runFor(t0 + secondsFromStart * 1000 - w.clock.monotonicMs()); }
    std::vector<std::string> bodies() const {
        std::vector<std::string> out;
        for (const auto& s : notes.shown()) out.push_back(s.body);
        return out;
    }
    // The clock each notification was shown at, from the journal.
    std::vector<std::string> shownAt() const {
        std::vector<std::string> out;
        for (const auto& e : w.journal.entries())
            if (e.at("call").asString() == "Notify") out.push_back(e.at("clock").asString());
        return out;
    }
    // Seconds from the start when the session ended; -1 not within maxSeconds.
    double sessionEnd(std::int64_t maxSeconds) {
        const bool ended = w.runUntil([&] { return w.count("ExitWindowsEx") > 0; }, maxSeconds * 1000);
        return ended ? static_cast<double>(w.clock.monotonicMs() - t0) / 1000.0 : -1;
    }
    std::uint32_t lastId() const { return notes.shown().back().id; }
};

}  // namespace

TEST(Notices, AShutDownSixMinutesAheadIsToldAtFiveMinutesAndAtOne) {
    Desktop d;
    const double end = d.sessionEnd(400);
    EXPECT_GE(end, 360.0);
    EXPECT_LT(end, 362.0);
    EXPECT_EQ(d.bodies(), (std::vector<std::string>{"The computer shuts down at 21:06 (in 5 minutes).",
                                                    "The computer shuts down at 21:06 (in 1 minute)."}));
    EXPECT_EQ(d.shownAt(), (std::vector<std::string>{"2026-12-08T21:01:00", "2026-12-08T21:05:00"}));
    EXPECT_EQ(d.w.errorLog(), "");
}

TEST(Notices, PostponeTenMinutesMovesTheShutDownAndItIsToldAgainForTheNewMoment) {
    Desktop d;
    d.runTo(61);
    ASSERT_EQ(d.notes.shown().size(), 1u);
    ASSERT_TRUE(d.notes.choose(d.lastId(), "postpone"));
    const double end = d.sessionEnd(1000);
    EXPECT_GE(end, 960.0);
    EXPECT_LT(end, 962.0);
    EXPECT_EQ(d.bodies(), (std::vector<std::string>{"The computer shuts down at 21:06 (in 5 minutes).",
                                                    "The computer shuts down at 21:16 (in 5 minutes).",
                                                    "The computer shuts down at 21:16 (in 1 minute)."}));
    EXPECT_EQ(d.shownAt(),
              (std::vector<std::string>{"2026-12-08T21:01:00", "2026-12-08T21:11:00", "2026-12-08T21:15:00"}));
    // The old notice went when its moment moved.
    EXPECT_FALSE(d.notes.shown()[0].open);
    auto lines = d.w.actionLogLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Postponed by 10 min: Shut Down is now due at 21:16:00"),
              lines.end());
}

TEST(Notices, CancelDisarmsTheScheduleAndSaysSo) {
    Desktop d;
    d.runTo(301);
    ASSERT_EQ(d.notes.shown().size(), 2u);
    ASSERT_TRUE(d.notes.choose(d.lastId(), "cancel"));
    EXPECT_EQ(d.sessionEnd(1000), -1);
    EXPECT_FALSE(d.f.scheduleArmed());
    EXPECT_EQ(d.f.chkArmed.value(), 0);
    EXPECT_EQ(d.bodies().back(),
              "Cancelled: the computer does not shut down at 21:06. The schedule is disarmed; tick Armed in Options "
              "to arm it again.");
    // Only the confirmation is still there.
    ASSERT_EQ(d.notes.openNow().size(), 1u);
    EXPECT_TRUE(d.notes.openNow()[0].actions.empty());
    auto lines = d.w.actionLogLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Schedule disarmed"), lines.end());
}

TEST(Notices, ARefusalComesBackAsANoticeWithTheReason) {
    Desktop d;
    d.f.chkDisableCancel.setValue(1);
    d.runTo(61);
    ASSERT_EQ(d.notes.shown().size(), 1u);
    // "Disable Cancel button": no Cancel offered.
    ASSERT_EQ(d.notes.shown()[0].actions.size(), 1u);
    EXPECT_EQ(d.notes.shown()[0].actions[0].key, "postpone");
    // Disarmed meanwhile by another way: nothing is due to postpone.
    const std::uint32_t id = d.lastId();
    d.f.setScheduleArmed(false);
    ASSERT_TRUE(d.notes.choose(id, "postpone"));
    d.runTo(62);
    EXPECT_EQ(d.bodies().back(), "Not postponed: Nothing is due: the schedule is not armed.");
}

TEST(Notices, CancelDuringTheFinalCountCancelsTheRun) {
    Desktop d;
    d.f.txtCounter.setText("20");
    d.runTo(361);  // the final count runs
    ASSERT_TRUE(d.f.actionRunning());
    ASSERT_EQ(d.notes.openNow().size(), 2u);
    ASSERT_TRUE(d.notes.choose(d.lastId(), "cancel"));
    d.runTo(362);
    EXPECT_FALSE(d.f.actionRunning());
    EXPECT_EQ(d.sessionEnd(100), -1);
    // The schedule stays armed for its next day; the run's notices are gone.
    EXPECT_TRUE(d.f.scheduleArmed());
    EXPECT_TRUE(d.notes.openNow().empty());
}

TEST(Notices, NoNoticeForAnActionThatLeavesTheSessionOn) {
    // Start Program only, the alarm, suspend, hibernate, lock.
    for (int index : {3, 4, 5, 6, 7}) {
        Desktop d(index);
        d.runTo(400);
        EXPECT_TRUE(d.notes.shown().empty()) << index;
    }
    Desktop reboot(1);
    reboot.runTo(200);
    EXPECT_EQ(reboot.bodies(), std::vector<std::string>{"The computer restarts at 21:06 (in 5 minutes)."});
}

TEST(Notices, TheLeadTimesComeFromTheUsersSetting) {
    Desktop d;
    WriteSetting(UserApp(), kSettings, kLeadTimesSetting, std::string("90, junk"));
    EXPECT_GT(d.sessionEnd(400), 0);
    EXPECT_EQ(d.bodies(), std::vector<std::string>{"The computer shuts down at 21:06 (in 2 minutes)."});
    EXPECT_EQ(d.shownAt(), std::vector<std::string>{"2026-12-08T21:04:30"});
}

TEST(Notices, InTheTrayOnWindowsTheyAreBalloonsAndAClickBringsTheWindowBack) {
    SimWorld w{platform::PathStyle::Windows, {2026, 12, 8, 21, 0, 0, 0, 1}};
    platform::TrayBalloons balloons{w.tray};
    w.runtime.pf.notifications = &balloons;
    FrmMain f;
    f.Form_Load();
    f.fireEvent("optShutdownTime(0).Click");
    f.txtHour.setText("21");
    f.txtMinute.setText("06");
    f.txtSEC.setText("00");
    f.Send_to_SysTray();
    ASSERT_TRUE(f.inTray);
    w.loop.runFor(61000);
    ASSERT_EQ(w.tray.balloonsShown(), 1);
    const platform::JsonObject* balloon = nullptr;
    for (const auto& e : w.journal.entries())
        if (e.contains("text")) balloon = &e;
    ASSERT_NE(balloon, nullptr);
    EXPECT_EQ(balloon->at("text").asString(), "The computer shuts down at 21:06 (in 5 minutes).");
    EXPECT_TRUE(w.tray.clickBalloon());
    EXPECT_FALSE(f.inTray);
    EXPECT_TRUE(f.visible());
}

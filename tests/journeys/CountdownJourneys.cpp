// A person starts the action after a while ("Start Action in"): types the
// count, picks its unit, and watches it run down; cancels the action with
// the main button.
#include <QtTest>

#include <algorithm>
#include <string>

#include "Journey.h"

using nocturo::test::ProgramOnDesktop;

namespace {

// The seconds the information label counts down ("in 42 sec."); -1 when it
// shows something else.
int secondsShown(const ProgramOnDesktop& p) {
    const std::string text = p.caption("lblNocturoInfo");
    if (text.rfind("in ", 0) != 0) return -1;
    return std::stoi(text.substr(3));
}

bool countdownNear(ProgramOnDesktop& p, int seconds) {
    return p.waitFor([&] {
        const int shown = secondsShown(p);
        return shown <= seconds && shown >= seconds - 3;
    }, 4000);
}

void chooseCountdown(ProgramOnDesktop& p) {
    p.openOptions();
    p.click("optShutdownTime(2)");
    // "Set" belongs to the count: it stands on the count's row.
    QWidget* set = p.widget("cmdResetCounter");
    QWidget* count = p.widget("txtStartActionIn");
    ASSERT_TRUE(set && count);
    EXPECT_TRUE(set->isVisible());
    EXPECT_EQ(set->geometry().center().y(), count->geometry().center().y()) << "\"Set\" is not beside the count";
}

}  // namespace

TEST(Countdown, ACountTypedAndEnteredRunsAtOnce) {
    ProgramOnDesktop p;
    ASSERT_TRUE(p.started());
    chooseCountdown(p);
    p.choose("cmbTimeUnit", "seconds");
    p.type("txtStartActionIn", "50");
    p.press(Qt::Key_Return);
    EXPECT_TRUE(countdownNear(p, 50)) << p.caption("lblNocturoInfo");
    EXPECT_EQ(p.caption("txtStartActionIn"), "50");
    EXPECT_EQ(p.errorLog(), "");
}

TEST(Countdown, ACountTypedAndLeftWithTabRunsAtOnce) {
    ProgramOnDesktop p;
    ASSERT_TRUE(p.started());
    chooseCountdown(p);
    p.type("txtStartActionIn", "2");
    p.press(Qt::Key_Tab);
    // The unit stays "minutes".
    EXPECT_TRUE(countdownNear(p, 120)) << p.caption("lblNocturoInfo");

    // Another unit counts the same number anew.
    p.choose("cmbTimeUnit", "hours");
    EXPECT_TRUE(countdownNear(p, 7200)) << p.caption("lblNocturoInfo");
    // "Set" loads the count again, from the start.
    p.wait(1500);
    p.click("cmdResetCounter");
    EXPECT_TRUE(p.waitFor([&] { return secondsShown(p) == 7200 || secondsShown(p) == 7199; }, 2500))
        << p.caption("lblNocturoInfo");
    EXPECT_EQ(p.errorLog(), "");
}

TEST(Countdown, TheCountReachesNothingTheActionStartsAndCancelStopsIt) {
    ProgramOnDesktop p;
    ASSERT_TRUE(p.started());
    chooseCountdown(p);
    p.choose("cmbTimeUnit", "seconds");
    p.type("txtStartActionIn", "3");
    p.press(Qt::Key_Return);
    // "Save Options" keeps the count running.
    p.click("cmdOptions");
    EXPECT_EQ(p.caption("cmdOptions"), "&Options");

    ASSERT_TRUE(p.waitFor([&] { return p.caption("cmdGo") == "&cancel"; }, 8000))
        << "the action did not start; the label reads " << p.caption("lblNocturoInfo");
    p.click("cmdGo");
    EXPECT_TRUE(p.waitFor([&] { return p.caption("cmdGo") != "&cancel"; }, 3000));
    p.wait(1500);
    EXPECT_EQ(p.journalCount("ExitWindowsEx"), 0) << "the cancelled action went on";
    const auto log = p.actionLog();
    EXPECT_NE(std::find(log.begin(), log.end(), "action canceled"), log.end());
    EXPECT_EQ(p.errorLog(), "");
}

TEST(Countdown, ACancelledCountdownDoesNotActAgainWhenTheCountWouldHaveRunOut) {
    ProgramOnDesktop p;
    ASSERT_TRUE(p.started());
    chooseCountdown(p);
    p.type("txtCounter", "2");  // time enough to cancel
    p.choose("cmbTimeUnit", "seconds");
    p.type("txtStartActionIn", "5");
    p.press(Qt::Key_Return);
    p.click("cmdOptions");

    ASSERT_TRUE(p.waitFor([&] { return p.caption("cmdGo") == "&cancel"; }, 9000))
        << "the action did not start; the label reads " << p.caption("lblNocturoInfo");
    p.click("cmdGo");
    EXPECT_TRUE(p.waitFor([&] { return p.caption("cmdGo") != "&cancel"; }, 3000));
    // Once more the count of 5 seconds, and a second or two: the action
    // must not start again.
    EXPECT_FALSE(p.waitFor([&] { return p.caption("cmdGo") == "&cancel"; }, 8000))
        << "the cancelled countdown started the action again";
    EXPECT_EQ(p.journalCount("ExitWindowsEx"), 0);
    EXPECT_EQ(p.caption("lblNocturoInfo"), "not armed: tick Armed in Options");
    const auto log = p.actionLog();
    EXPECT_EQ(std::count(log.begin(), log.end(), "Shutdown"), 1);
    EXPECT_EQ(std::count(log.begin(), log.end(), "action canceled"), 1);
    EXPECT_EQ(p.setting("Armed"), "dword:00000000");
    EXPECT_EQ(p.errorLog(), "");
}

TEST(Countdown, ThePostponeButtonsAddTheirMinutesToTheRunningCount) {
    ProgramOnDesktop p;
    ASSERT_TRUE(p.started());
    QWidget* five = p.widget("cmdPostpone5");
    ASSERT_TRUE(five);
    EXPECT_FALSE(five->isVisible()) << "postpone buttons without a count";
    chooseCountdown(p);
    p.choose("cmbTimeUnit", "seconds");
    p.type("txtStartActionIn", "50");
    p.press(Qt::Key_Return);
    p.click("cmdOptions");
    ASSERT_TRUE(countdownNear(p, 50)) << p.caption("lblNocturoInfo");
    ASSERT_TRUE(p.waitFor([&] { return five->isVisible(); }, 2000));

    p.click("cmdPostpone5");
    EXPECT_TRUE(countdownNear(p, 350)) << p.caption("lblNocturoInfo");
    p.click("cmdPostpone15");
    EXPECT_TRUE(countdownNear(p, 1250)) << p.caption("lblNocturoInfo");
    p.click("cmdPostpone60");
    EXPECT_TRUE(countdownNear(p, 4850)) << p.caption("lblNocturoInfo");
    // The entered count stays; the log says each move with its new time.
    EXPECT_EQ(p.caption("txtStartActionIn"), "50");
    int moves = 0;
    for (const std::string& line : p.actionLog())
        if (line.rfind("Postponed by ", 0) == 0 && line.find(": Shut Down is now due at ") != std::string::npos) ++moves;
    EXPECT_EQ(moves, 3);
    EXPECT_EQ(p.journalCount("ExitWindowsEx"), 0);
    EXPECT_EQ(p.errorLog(), "");
}

// A person sets up the two weekday schedules: "Start Action depending on
// weekday" and "Start Action if in defined time window", each in its own
// dialog opened by its "Setup" button.
#include <QtTest>

#include "Journey.h"
#include "ui/FormView.h"

using nocturo::test::ClockTime;
using nocturo::test::ProgramOnDesktop;

namespace {

// Clicks a setup button and runs fill in the dialog once it shows. A dialog
// that never shows fails the journey, and is closed so the window is free
// again.
bool withDialog(ProgramOnDesktop& p, const std::string& button, const std::string& dialog,
                const std::function<void()>& fill) {
    bool shown = false;
    ProgramOnDesktop::whenShown([&] { return p.windowShown(dialog) ? p.window(dialog) : nullptr; },
                                [&](QWidget*) {
                                    shown = true;
                                    fill();
                                },
                                5000,
                                [&] {
                                    if (QWidget* hidden = p.window(dialog)) hidden->close();
                                });
    p.click(button);
    return shown;
}

void typeTime(ProgramOnDesktop& p, const std::string& field, const std::string& digits, const std::string& dialog) {
    p.typeAfterClick(field, digits, dialog);
    p.press(Qt::Key_Tab);
}

}  // namespace

TEST(WeekdaySetup, TheWeekdayDialogOpensAndKeepsTheTypedTimes) {
    ProgramOnDesktop p;
    ASSERT_TRUE(p.started());
    p.openOptions();
    p.click("optShutdownTime(1)");
    ASSERT_EQ(p.caption("cmdSetupNocturoTime"), "Setup");

    const bool shown = withDialog(p, "cmdSetupNocturoTime", "frmTimeSetup", [&] {
        EXPECT_EQ(p.caption("lblWeekday(2)", "frmTimeSetup"), "Wednesday");
        typeTime(p, "txtHour(2)", "21", "frmTimeSetup");
        typeTime(p, "txtMinute(2)", "30", "frmTimeSetup");
        typeTime(p, "txtSEC(2)", "5", "frmTimeSetup");
        EXPECT_EQ(p.caption("txtSEC(2)", "frmTimeSetup"), "05");
        p.click("cmdTimeSave", "frmTimeSetup");
    });
    ASSERT_TRUE(shown) << "the weekday dialog never showed";
    EXPECT_FALSE(p.windowShown("frmTimeSetup"));
    EXPECT_EQ(p.setting("2txtHour"), "21");
    EXPECT_EQ(p.setting("2txtMinute"), "30");
    EXPECT_EQ(p.setting("2txtSEC"), "05");
    EXPECT_EQ(p.setting("3txtHour"), "00");  // the other days as they were
    EXPECT_EQ(p.errorLog(), "");
}

TEST(WeekdaySetup, TodaysTimeFromTheDialogStartsTheAction) {
    ProgramOnDesktop p;
    ASSERT_TRUE(p.started());
    p.openOptions();
    p.type("txtCounter", "1");
    p.click("optShutdownTime(1)");
    const ClockTime at = ClockTime::inSeconds(12);
    const std::string day = "(" + std::to_string(at.weekday) + ")";
    const bool shown = withDialog(p, "cmdSetupNocturoTime", "frmTimeSetup", [&] {
        typeTime(p, "txtHour" + day, at.hh(), "frmTimeSetup");
        typeTime(p, "txtMinute" + day, at.mm(), "frmTimeSetup");
        typeTime(p, "txtSEC" + day, at.ss(), "frmTimeSetup");
        p.click("cmdTimeSave", "frmTimeSetup");
    });
    ASSERT_TRUE(shown) << "the weekday dialog never showed";
    const std::string target = at.hh() + ":" + at.mm() + ":" + at.ss();
    EXPECT_TRUE(p.waitFor([&] { return p.caption("lblNocturoInfo") == " at " + target; }, 3000))
        << p.caption("lblNocturoInfo");
    EXPECT_TRUE(p.waitFor([&] { return p.journalCount("ExitWindowsEx") == 1; }, 16000))
        << "the action never started at " << target;
    EXPECT_EQ(p.sessionEnds().size(), 1u);
    EXPECT_EQ(p.errorLog(), "");
}

TEST(WeekdaySetup, TheTimeWindowDialogOpensAndKeepsStartAndLength) {
    ProgramOnDesktop p;
    ASSERT_TRUE(p.started());
    p.openOptions();
    p.click("optShutdownTime(3)");

    const bool shown = withDialog(p, "cmdSetupTimeWindow", "frmWindowSetup", [&] {
        typeTime(p, "txtHour(4)", "22", "frmWindowSetup");
        typeTime(p, "txtMinute(4)", "15", "frmWindowSetup");
        p.type("txtTimeWindowDuration(4)", "240", "frmWindowSetup");
        // Closed with its own close box, it keeps what was typed as well.
        p.window("frmWindowSetup")->close();
    });
    ASSERT_TRUE(shown) << "the time window dialog never showed";
    EXPECT_TRUE(p.waitFor([&] { return !p.windowShown("frmWindowSetup"); }, 2000));
    EXPECT_EQ(p.setting("4txtHourTW"), "22");
    EXPECT_EQ(p.setting("4txtMinuteTW"), "15");
    EXPECT_EQ(p.setting("4txtSECTW"), "00");
    EXPECT_EQ(p.setting("4txtTWDuration"), "240");

    // Opened again, the dialog shows what it keeps.
    const bool again = withDialog(p, "cmdSetupTimeWindow", "frmWindowSetup", [&] {
        EXPECT_EQ(p.caption("txtHour(4)", "frmWindowSetup"), "22");
        EXPECT_EQ(p.caption("txtTimeWindowDuration(4)", "frmWindowSetup"), "240");
        p.click("cmdTimeSave", "frmWindowSetup");
    });
    EXPECT_TRUE(again);
    EXPECT_EQ(p.errorLog(), "");
}

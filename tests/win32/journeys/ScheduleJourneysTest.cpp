// A person sets the schedule in the native windows: the time of day, the
// count of "Start Action in", and the two weekday dialogs opened by their
// "Setup" buttons.
#include "Win32Journey.h"

using nocturo::test::ProgramOnWin32Desktop;

namespace {

void openOptions(ProgramOnWin32Desktop& p) {
    p.click("cmdOptions");
    EXPECT_TRUE(p.waitFor([&] { return p.text("cmdOptions") == "Save &Options"; }, 3000))
        << "the options panel stayed shut";
}

// Into a time field as a person types: a click (which selects the field),
// the digits as typed characters, then Tab to the next field.
void typeTime(ProgramOnWin32Desktop& p, const std::string& field, const std::string& digits,
              const std::string& form = "FrmMain") {
    p.typeAfterClick(field, digits, form);
    EXPECT_EQ(ProgramOnWin32Desktop::focus(), p.control(field, form)) << "the click left " << field << " without the keyboard";
    p.press(VK_TAB);
    EXPECT_NE(ProgramOnWin32Desktop::focus(), p.control(field, form)) << "Tab did not leave " << field;
}

// The seconds the information line counts down ("in 42 sec."); -1 when it
// shows something else.
int secondsShown(const ProgramOnWin32Desktop& p) {
    const std::string text = p.text("lblNocturoInfo");
    if (text.rfind("in ", 0) != 0) return -1;
    return std::atoi(text.c_str() + 3);
}

bool countdownNear(ProgramOnWin32Desktop& p, int seconds, int ms = 2500) {
    return p.waitFor([&] {
        const int shown = secondsShown(p);
        return shown <= seconds && shown >= seconds - 3;
    }, ms);
}

// Clicks a Setup button and runs fill in its dialog once that is on the
// screen. A dialog that never shows fails the journey, and is closed so the
// program takes input again.
bool withDialog(ProgramOnWin32Desktop& p, const std::string& button, const std::string& dialog,
                const std::function<void(HWND)>& fill) {
    bool shown = false;
    p.whenShown(dialog, [&](HWND w) {
        shown = true;
        fill(w);
    }, 5000, [&] {
        if (HWND hidden = p.window(dialog)) PostMessageW(hidden, WM_CLOSE, 0, 0);
    });
    p.click(button);
    // The dialog is modal: the click returns once it has gone.
    p.waitFor([&] { return !p.window(dialog); }, 8000);
    return shown;
}

}  // namespace

TEST(Win32TimeOfDayJourney, TwoDigitsTypedIntoTheFieldsStandAsTyped) {
    NEED_DESKTOP();
    ProgramOnWin32Desktop p;
    ASSERT_TRUE(p.started());
    openOptions(p);
    p.click("optShutdownTime(0)");

    typeTime(p, "txtHour", "23");
    EXPECT_EQ(p.text("txtHour"), "23");
    // Tab goes on to the next field, as the fields stand in the window.
    EXPECT_EQ(p.nameOf(ProgramOnWin32Desktop::focus()), "txtMinute");
    typeTime(p, "txtMinute", "45");
    EXPECT_EQ(p.nameOf(ProgramOnWin32Desktop::focus()), "txtSEC");
    typeTime(p, "txtSEC", "30");
    EXPECT_EQ(p.text("txtHour"), "23");
    EXPECT_EQ(p.text("txtMinute"), "45");
    EXPECT_EQ(p.text("txtSEC"), "30");
    // The next tick shows the time the action waits for.
    EXPECT_TRUE(p.waitFor([&] { return p.text("lblNocturoInfo") == " at  23:45:30"; }, 3000))
        << p.text("lblNocturoInfo");

    // Typed again, the new digits replace the old ones; one digit is filled
    // up to two when the field is left.
    typeTime(p, "txtHour", "7");
    typeTime(p, "txtMinute", "59");
    EXPECT_EQ(p.text("txtHour"), "07");
    EXPECT_EQ(p.text("txtMinute"), "59");
    EXPECT_EQ(p.errorLog(), "");
}

TEST(Win32CountdownJourney, ACountTypedAndEnteredLoadsAtOnce) {
    NEED_DESKTOP();
    ProgramOnWin32Desktop p;
    ASSERT_TRUE(p.started());
    openOptions(p);
    p.click("optShutdownTime(2)");
    ASSERT_EQ(p.text("cmbTimeUnit"), "minutes");

    p.typeOver("txtStartActionIn", "7");
    p.press(VK_RETURN);
    // Loaded by Enter, in the box: the keyboard stays there.
    EXPECT_EQ(ProgramOnWin32Desktop::focus(), p.control("txtStartActionIn"));
    EXPECT_TRUE(countdownNear(p, 420)) << "Enter loaded nothing; the line reads " << p.text("lblNocturoInfo");
    EXPECT_EQ(p.text("txtStartActionIn"), "7");

    // Another count, loaded when the box is left with Tab.
    p.typeOver("txtStartActionIn", "2");
    p.press(VK_TAB);
    EXPECT_NE(ProgramOnWin32Desktop::focus(), p.control("txtStartActionIn"));
    EXPECT_TRUE(countdownNear(p, 120)) << p.text("lblNocturoInfo");

    // Another unit from the list (opened with a click, the entry
    // above taken with the arrow key and Enter) counts the same number anew.
    p.click("cmbTimeUnit");
    p.press(VK_UP);
    p.press(VK_RETURN);
    EXPECT_EQ(p.text("cmbTimeUnit"), "hours");
    EXPECT_TRUE(countdownNear(p, 7200)) << p.text("lblNocturoInfo");
    EXPECT_EQ(p.journalCount("ExitWindowsEx"), 0);
    EXPECT_EQ(p.errorLog(), "");
}

TEST(Win32WeekdaySetupJourney, TheWeekdayDialogOpensAndOkKeepsTheTypedTime) {
    NEED_DESKTOP();
    ProgramOnWin32Desktop p;
    ASSERT_TRUE(p.started());
    openOptions(p);
    p.click("optShutdownTime(1)");
    ASSERT_EQ(p.text("cmdSetupNocturoTime"), "Setup");

    const bool shown = withDialog(p, "cmdSetupNocturoTime", "frmTimeSetup", [&](HWND dialog) {
        EXPECT_EQ(GetForegroundWindow(), dialog) << "the dialog is not in front";
        EXPECT_FALSE(IsWindowEnabled(p.window("FrmMain"))) << "the main window takes input under its dialog";
        EXPECT_EQ(p.text("lblWeekday(2)", "frmTimeSetup"), "Wednesday");
        typeTime(p, "txtHour(2)", "21", "frmTimeSetup");
        typeTime(p, "txtMinute(2)", "30", "frmTimeSetup");
        typeTime(p, "txtSEC(2)", "5", "frmTimeSetup");
        EXPECT_EQ(p.text("txtHour(2)", "frmTimeSetup"), "21");
        EXPECT_EQ(p.text("txtSEC(2)", "frmTimeSetup"), "05");
        p.click("cmdTimeSave", "frmTimeSetup");
    });
    ASSERT_TRUE(shown) << "the weekday dialog never showed";
    EXPECT_FALSE(p.windowShown("frmTimeSetup"));
    EXPECT_TRUE(IsWindowEnabled(p.window("FrmMain")));
    EXPECT_EQ(p.setting("2txtHour"), "21");
    EXPECT_EQ(p.setting("2txtMinute"), "30");
    EXPECT_EQ(p.setting("2txtSEC"), "05");
    EXPECT_EQ(p.setting("3txtHour"), "00");  // the other days as they were
    EXPECT_EQ(p.errorLog(), "");
}

TEST(Win32WeekdaySetupJourney, TheTimeWindowDialogOpensAndOkKeepsStartAndLength) {
    NEED_DESKTOP();
    ProgramOnWin32Desktop p;
    ASSERT_TRUE(p.started());
    openOptions(p);
    p.click("optShutdownTime(3)");

    const bool shown = withDialog(p, "cmdSetupTimeWindow", "frmWindowSetup", [&](HWND) {
        typeTime(p, "txtHour(4)", "22", "frmWindowSetup");
        typeTime(p, "txtMinute(4)", "15", "frmWindowSetup");
        p.typeOver("txtTimeWindowDuration(4)", "240", "frmWindowSetup");
        p.click("cmdTimeSave", "frmWindowSetup");
    });
    ASSERT_TRUE(shown) << "the time window dialog never showed";
    EXPECT_FALSE(p.windowShown("frmWindowSetup"));
    EXPECT_EQ(p.setting("4txtHourTW"), "22");
    EXPECT_EQ(p.setting("4txtMinuteTW"), "15");
    EXPECT_EQ(p.setting("4txtSECTW"), "00");
    EXPECT_EQ(p.setting("4txtTWDuration"), "240");

    // Opened again, the dialog shows what it keeps.
    const bool again = withDialog(p, "cmdSetupTimeWindow", "frmWindowSetup", [&](HWND) {
        EXPECT_EQ(p.text("txtHour(4)", "frmWindowSetup"), "22");
        EXPECT_EQ(p.text("txtTimeWindowDuration(4)", "frmWindowSetup"), "240");
        p.click("cmdTimeSave", "frmWindowSetup");
    });
    EXPECT_TRUE(again);
    EXPECT_EQ(p.errorLog(), "");
}

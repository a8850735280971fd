// A person sets the time of day the action starts at ("Start Action at"):
// types the hour, minute and second into the main window's fields.
#include <QtTest>

#include "Journey.h"

using nocturo::test::ClockTime;
using nocturo::test::ProgramOnDesktop;

namespace {

// Into a time field as a person types: a click (which selects the field)
// and the digits, then Tab to the next field.
void typeTime(ProgramOnDesktop& p, const std::string& field, const std::string& digits) {
    p.typeAfterClick(field, digits);
    p.press(Qt::Key_Tab);
}

}  // namespace

TEST(TimeOfDay, TwoDigitsTypedIntoTheFieldsStandAsTyped) {
    ProgramOnDesktop p;
    ASSERT_TRUE(p.started());
    p.openOptions();
    p.click("optShutdownTime(0)");

    typeTime(p, "txtHour", "23");
    typeTime(p, "txtMinute", "45");
    typeTime(p, "txtSEC", "30");
    EXPECT_EQ(p.caption("txtHour"), "23");
    EXPECT_EQ(p.caption("txtMinute"), "45");
    EXPECT_EQ(p.caption("txtSEC"), "30");
    // The next tick shows the time the action waits for.
    EXPECT_TRUE(p.waitFor([&] { return p.caption("lblNocturoInfo") == " at  23:45:30"; }, 3000))
        << p.caption("lblNocturoInfo");

    // Typed again, the new digits replace the old ones; one digit is filled
    // up to two when the field is left.
    typeTime(p, "txtHour", "7");
    typeTime(p, "txtMinute", "59");
    EXPECT_EQ(p.caption("txtHour"), "07");
    EXPECT_EQ(p.caption("txtMinute"), "59");
    EXPECT_EQ(p.errorLog(), "");
}

TEST(TimeOfDay, TheActionStartsAtTheTypedTime) {
    ProgramOnDesktop p;
    ASSERT_TRUE(p.started());
    p.openOptions();
    p.type("txtCounter", "1");  // a short countdown before the action
    p.click("optShutdownTime(0)");
    ASSERT_EQ(p.caption("chkForce"), "&Without questions");
    if (!p.checked("chkForce")) p.click("chkForce");

    // Some seconds ahead: room for the typing, and only a few to wait.
    const ClockTime at = ClockTime::inSeconds(8);
    typeTime(p, "txtHour", at.hh());
    typeTime(p, "txtMinute", at.mm());
    typeTime(p, "txtSEC", at.ss());
    const std::string target = at.hh() + ":" + at.mm() + ":" + at.ss();
    EXPECT_TRUE(p.waitFor([&] { return p.caption("lblNocturoInfo") == " at  " + target; }, 3000))
        << p.caption("lblNocturoInfo");
    EXPECT_EQ(p.journalCount("ExitWindowsEx"), 0) << "started before its time";

    EXPECT_TRUE(p.waitFor([&] { return p.journalCount("ExitWindowsEx") == 1; }, 14000))
        << "the action never started at " << target;
    EXPECT_EQ(p.sessionEnds().size(), 1u);
    EXPECT_EQ(p.errorLog(), "");
}

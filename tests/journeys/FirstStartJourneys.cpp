// A person starts the program for the first time: nothing is armed and
// nothing is written for the login; the schedule is armed by choosing it or
// by ticking Armed, and disarmed by unticking it or from the tray menu.
#include <QtTest>

#include <algorithm>
#include <string>

#include "Journey.h"

using nocturo::test::ProgramOnDesktop;

namespace {

const char* const kNotArmed = "not armed: tick Armed in Options";

bool logged(const ProgramOnDesktop& p, const std::string& event) {
    const auto log = p.actionLog();
    return std::find(log.begin(), log.end(), event) != log.end();
}

}  // namespace

TEST(FirstStart, AnEmptyStoreStartsNotArmedWithoutLoginEntryChoosingACountdownOrTickingArmedArmsIt) {
    ProgramOnDesktop p;
    ASSERT_TRUE(p.started());
    EXPECT_EQ(p.caption("lblNocturoInfo"), kNotArmed);
    // It stays so: the timer ticks, nothing counts and nothing acts.
    p.wait(1500);
    EXPECT_EQ(p.caption("lblNocturoInfo"), kNotArmed);
    EXPECT_EQ(p.caption("cmdGo"), "Shut Down Now!");

    p.openOptions();
    EXPECT_FALSE(p.checked("chkArmed"));
    EXPECT_FALSE(p.checked("chkStartWithWindow")) << "\"Start at login\" is ticked on an empty store";

    p.click("optShutdownTime(2)");
    EXPECT_TRUE(p.checked("chkArmed")) << "choosing a schedule did not arm it";
    EXPECT_EQ(p.setting("Armed"), "dword:00000001");
    // The count of 360 minutes runs.
    EXPECT_TRUE(p.waitFor([&] { return p.caption("lblNocturoInfo").rfind("in ", 0) == 0; }, 3000))
        << p.caption("lblNocturoInfo");

    p.click("chkArmed");
    EXPECT_FALSE(p.checked("chkArmed"));
    EXPECT_TRUE(p.waitFor([&] { return p.caption("lblNocturoInfo") == kNotArmed; }, 2000)) << p.caption("lblNocturoInfo");
    EXPECT_EQ(p.setting("Armed"), "dword:00000000");
    EXPECT_TRUE(logged(p, "Schedule disarmed"));
    // Disarmed, the count holds still.
    p.wait(1500);
    EXPECT_EQ(p.caption("lblNocturoInfo"), kNotArmed);

    p.click("chkArmed");
    EXPECT_TRUE(p.checked("chkArmed"));
    EXPECT_TRUE(p.waitFor([&] { return p.caption("lblNocturoInfo").rfind("in ", 0) == 0; }, 3000))
        << p.caption("lblNocturoInfo");
    EXPECT_EQ(p.setting("Armed"), "dword:00000001");
    EXPECT_TRUE(logged(p, "Schedule armed"));
    // Saved with "Start at login" unticked: still no login entry.
    p.click("cmdOptions");
    EXPECT_EQ(p.caption("cmdOptions"), "&Options");
    EXPECT_EQ(p.journalCount("WriteAutostart"), 0);

    // Ticked by the user, the login entry is written; unticked, removed.
    p.openOptions();
    p.click("chkStartWithWindow");
    EXPECT_EQ(p.journalCount("WriteAutostart"), 1);
    p.click("cmdOptions");
    EXPECT_GE(p.journalCount("WriteAutostart"), 1);
    p.openOptions();
    p.click("chkStartWithWindow");
    EXPECT_EQ(p.journalCount("RemoveAutostart"), 1);
    p.click("cmdOptions");
    EXPECT_EQ(p.journalCount("ExitWindowsEx"), 0);
    EXPECT_EQ(p.errorLog(), "");
}

TEST(FirstStart, TheTrayTellsTheScheduleIsNotArmedAndItsMenuArmsAndDisarmsIt) {
    if (!ProgramOnDesktop::trayReady()) GTEST_SKIP() << "this desktop has no notification area";
    ProgramOnDesktop p;
    ASSERT_TRUE(p.started());
    p.sendToTray();
    EXPECT_EQ(p.trayTip(), "Not armed. DoubleClick to Shutdown");

    auto entries = p.useTrayMenu("Arm s&chedule");
    EXPECT_EQ(std::count(entries.begin(), entries.end(), "Disarm s&chedule"), 0);
    EXPECT_TRUE(p.waitFor([&] { return p.trayTip() == "DoubleClick to Shutdown"; }, 2000)) << p.trayTip();
    EXPECT_EQ(p.setting("Armed"), "dword:00000001");
    EXPECT_TRUE(logged(p, "Schedule armed"));

    entries = p.useTrayMenu("Disarm s&chedule");
    EXPECT_EQ(std::count(entries.begin(), entries.end(), "Arm s&chedule"), 0);
    EXPECT_TRUE(p.waitFor([&] { return p.trayTip() == "Not armed. DoubleClick to Shutdown"; }, 2000)) << p.trayTip();
    EXPECT_EQ(p.setting("Armed"), "dword:00000000");
    EXPECT_TRUE(logged(p, "Schedule disarmed"));
    // The window, brought back, says so too.
    p.useTrayMenu("&Show Nocturo");
    EXPECT_TRUE(p.waitFor([&] { return p.windowShown("FrmMain"); }, 3000));
    EXPECT_EQ(p.caption("lblNocturoInfo"), kNotArmed);
    EXPECT_EQ(p.journalCount("ExitWindowsEx"), 0);
    EXPECT_EQ(p.errorLog(), "");
}

// A person starts the action at once: with the main button, from the tray
// menu, by a double click on the tray icon, or with /action: on the command
// line; the question before the session ends is answered Yes or No.
#include <QSystemTrayIcon>
#include <QtTest>

#include <algorithm>
#include <cstdint>
#include <string>

#include "Journey.h"

using nocturo::test::ProgramOnDesktop;

namespace {

// ExitWindowsEx's flags.
constexpr std::uint32_t kShutdown = 0x1, kReboot = 0x2, kForce = 0x4;

const QString kYes = QStringLiteral("Yes");

bool logged(const ProgramOnDesktop& p, const std::string& event) {
    const auto log = p.actionLog();
    return std::find(log.begin(), log.end(), event) != log.end();
}

// The final count of 0 seconds, with the question ("Without questions"
// unticked) and a plain shut down ("Power Off" unticked).
void shortCount(ProgramOnDesktop& p) {
    p.openOptions();
    for (const char* box : {"chkForce", "chkPowerOff"}) {
        if (p.checked(box)) p.click(box);
        EXPECT_FALSE(p.checked(box)) << box;
    }
    p.type("txtCounter", "0");
    p.click("cmdOptions");
}

}  // namespace

TEST(Action, GoAsksFirstNoLeavesTheWindowReadyAndYesEndsTheSession) {
    ProgramOnDesktop p;
    ASSERT_TRUE(p.started());
    shortCount(p);
    auto boxes = ProgramOnDesktop::answerBoxes({{QStringLiteral("No")}}, 8000);
    p.click("cmdGo");
    ASSERT_TRUE(p.waitFor([&] { return boxes->size() == 1; }, 8000)) << "no question";
    EXPECT_EQ(boxes->seen[0].title, "Exit Windows");
    EXPECT_EQ(boxes->text(0), "The Computer will Shutdown now.\n\nContinue?");
    EXPECT_TRUE(p.waitFor([&] { return p.caption("cmdGo") == "Shut Down Now!"; }, 3000)) << p.caption("cmdGo");
    p.wait(1000);
    EXPECT_EQ(p.journalCount("ExitWindowsEx"), 0);
    EXPECT_TRUE(p.sessionEnds().empty());
    // Go was the choice of the schedule as well.
    p.openOptions();
    EXPECT_TRUE(p.checked("chkArmed"));
    p.click("cmdOptions");

    boxes = ProgramOnDesktop::answerBoxes({{kYes}}, 8000);
    p.click("cmdGo");
    ASSERT_TRUE(p.waitFor([&] { return !p.sessionEnds().empty(); }, 8000)) << "the session was not ended";
    EXPECT_EQ(boxes->text(0), "The Computer will Shutdown now.\n\nContinue?");
    EXPECT_EQ(p.sessionEnds(), std::vector<std::uint32_t>{kShutdown});
    EXPECT_TRUE(logged(p, "manual command"));
    EXPECT_TRUE(logged(p, "Shutdown"));
    EXPECT_EQ(p.errorLog(), "");
}

TEST(Action, RestartFromTheTrayMenuAsksAndRestarts) {
    if (!ProgramOnDesktop::trayReady()) GTEST_SKIP() << "this desktop has no notification area";
    ProgramOnDesktop p;
    ASSERT_TRUE(p.started());
    shortCount(p);
    p.sendToTray();
    auto boxes = ProgramOnDesktop::answerBoxes({{kYes}}, 8000);
    p.useTrayMenu("&Restart");
    ASSERT_TRUE(p.waitFor([&] { return !p.sessionEnds().empty(); }, 8000)) << "the session was not ended";
    ASSERT_EQ(boxes->size(), 1u);
    EXPECT_EQ(boxes->text(0), "The Computer will Restart now.\n\nContinue?");
    EXPECT_EQ(p.sessionEnds(), std::vector<std::uint32_t>{kShutdown | kReboot});
    EXPECT_TRUE(logged(p, "Restart"));
    EXPECT_TRUE(p.windowShown("FrmMain")) << "the window did not come back from the tray";
    EXPECT_EQ(p.errorLog(), "");
}

TEST(Action, ADoubleClickOnTheTrayIconStartsTheWindowsAction) {
    if (!ProgramOnDesktop::trayReady()) GTEST_SKIP() << "this desktop has no notification area";
    ProgramOnDesktop p;
    ASSERT_TRUE(p.started());
    shortCount(p);
    p.sendToTray();
    auto boxes = ProgramOnDesktop::answerBoxes({{kYes}}, 8000);
    // What the desktop reports for a double click on the icon.
    Q_EMIT p.tray().trayIcon().activated(QSystemTrayIcon::DoubleClick);
    ASSERT_TRUE(p.waitFor([&] { return !p.sessionEnds().empty(); }, 8000)) << "the session was not ended";
    EXPECT_EQ(boxes->text(0), "The Computer will Shutdown now.\n\nContinue?");
    EXPECT_EQ(p.sessionEnds(), std::vector<std::uint32_t>{kShutdown});
    EXPECT_TRUE(p.windowShown("FrmMain"));
    EXPECT_EQ(p.errorLog(), "");
}

// A fresh store has "Without questions" ticked: a shortcut restarts at
// once, by force.
TEST(Action, ActionRebootOnTheCommandLineRestartsAtOnceWithoutAQuestion) {
    auto boxes = ProgramOnDesktop::answerBoxes({{kYes}}, 15000);  // any box that comes all the same
    ProgramOnDesktop p(nocturo::ui::QtTray::Host::Detect, "/action:reboot");
    ASSERT_TRUE(p.started());
    ASSERT_TRUE(p.waitFor([&] { return !p.sessionEnds().empty(); }, 8000)) << "the session was not ended";
    boxes->stop();
    EXPECT_EQ(boxes->size(), 0u) << boxes->text(0);
    EXPECT_EQ(p.sessionEnds(), std::vector<std::uint32_t>{kShutdown | kReboot | kForce});
    EXPECT_TRUE(logged(p, "Restart"));
    EXPECT_EQ(p.errorLog(), "");
}

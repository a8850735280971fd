// A person sends the window to the notification area and brings it back
// from the icon: a click restores the window, only a double click starts
// the selected action.
#include <QAbstractButton>
#include <QApplication>
#include <QSystemTrayIcon>
#include <QtTest>

#include "FakeInput.h"
#include "Journey.h"

using nocturo::test::FakeInput;
using nocturo::test::ProgramOnDesktop;
using nocturo::ui::QtTray;

namespace {

bool trayReady() { return ProgramOnDesktop::trayReady(); }

// Where the icon's centre is on the screen, once the tray program has
// stopped moving it; null if it never settles.
QPoint settledIconCentre(FakeInput& input) {
    auto centre = [&]() -> QPoint {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (qstrcmp(w->metaObject()->className(), "QSystemTrayIconSys") != 0 || !w->isVisible()) continue;
            int x = 0, y = 0;
            if (input.toScreen(static_cast<unsigned long>(w->winId()), w->width() / 2, w->height() / 2, x, y))
                return {x, y};
        }
        return {};
    };
    QPoint last;
    int sameFor = 0;
    const bool settled = ProgramOnDesktop::waitFor([&] {
        const QPoint now = centre();
        sameFor = (now == last && now.x() > 100) ? sameFor + 1 : 0;
        last = now;
        if (sameFor >= 5) return true;
        QTest::qWait(50);
        return false;
    }, 15000);
    return settled ? last : QPoint();
}

void sendToTray(ProgramOnDesktop& p) { p.sendToTray(); }

bool actionStarted(const ProgramOnDesktop& p) {
    return p.caption("cmdGo") == "&cancel" || p.journalCount("ExitWindowsEx") > 0;
}

}  // namespace

// KDE, and GNOME with AppIndicator: the host reports a left click as
// "activate" and has no double click.
TEST(Tray, OnAStatusNotifierHostAClickBringsTheWindowBackAndStartsNothing) {
    if (!trayReady()) GTEST_SKIP() << "this desktop has no notification area";
    ProgramOnDesktop p(QtTray::Host::StatusNotifier);
    ASSERT_TRUE(p.started());
    sendToTray(p);

    Q_EMIT p.tray().trayIcon().activated(QSystemTrayIcon::Trigger);  // what the host's "activate" gives
    EXPECT_TRUE(p.waitFor([&] { return p.windowShown("FrmMain"); }, 3000)) << "the window did not come back";
    EXPECT_FALSE(p.tray().trayIcon().isVisible());
    // The selected action's countdown would be running by now.
    p.wait(2000);
    EXPECT_FALSE(actionStarted(p)) << "a single click started the action";
    EXPECT_EQ(p.journalCount("ExitWindowsEx"), 0);
    EXPECT_EQ(p.errorLog(), "");
}

TEST(Tray, InAnX11TrayAClickDoesNothingAndADoubleClickStartsTheAction) {
    if (!trayReady()) GTEST_SKIP() << "this desktop has no notification area";
    FakeInput input;
    if (!input.ready()) GTEST_SKIP() << input.whyNotReady();
    ProgramOnDesktop p(QtTray::Host::SystemTray);
    ASSERT_TRUE(p.started());
    p.openOptions();
    p.type("txtCounter", "20");  // time enough to cancel
    p.click("optActions(1)");    // restart
    p.click("cmdOptions");
    sendToTray(p);
    const QPoint centre = settledIconCentre(input);
    ASSERT_FALSE(centre.isNull()) << "the icon never settled in the tray";
    input.moveTo(centre.x(), centre.y());

    input.button(1, true);
    input.button(1, false);
    p.wait(QApplication::doubleClickInterval() + 1000);
    EXPECT_FALSE(p.windowShown("FrmMain")) << "a single click in an X11 tray brought the window back";
    EXPECT_FALSE(actionStarted(p));

    for (int click = 0; click < 2; ++click) {
        input.button(1, true);
        input.button(1, false);
    }
    EXPECT_TRUE(p.waitFor([&] { return p.windowShown("FrmMain"); }, 3000)) << "the window did not come back";
    EXPECT_TRUE(p.waitFor([&] { return p.caption("cmdGo") == "&cancel"; }, 3000)) << "the action did not start";
    p.click("cmdGo");
    EXPECT_TRUE(p.waitFor([&] { return p.caption("cmdGo") != "&cancel"; }, 3000));
    EXPECT_EQ(p.journalCount("ExitWindowsEx"), 0);
    const auto log = p.actionLog();
    EXPECT_NE(std::find(log.begin(), log.end(), "Restart"), log.end());
    EXPECT_EQ(p.errorLog(), "");
}

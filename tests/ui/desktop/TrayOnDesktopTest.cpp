// The tray and the keyboard on a real X desktop: a virtual display with a
// notification area (trayer) in it. The machine itself stays simulated.
// Run by run-under-xvfb.sh; on a desktop without a notification area the
// tests are skipped.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <functional>

#include "EventWait.h"
#include "FakeInput.h"
#include "platform/IWindows.h"
#include "shell/FrmMain.h"
#include "support/SimWorld.h"
#include "ui/Desktop.h"
#include "ui/FormView.h"
#include "ui/QtTray.h"

using namespace nocturo;
using nocturo::test::FakeInput;
using nocturo::test::SimWorld;
using nocturo::ui::FormView;
using nocturo::ui::QtTray;
using nocturo::ui::QtWindows;

namespace {

constexpr unsigned long kControlL = 0xffe3, kQ = 0x71;

// Lets the event loop run until the condition holds or the time is up.
bool waitFor(const std::function<bool()>& condition, int ms = 15000) {
    return nocturo::test::ProcessEventsUntil(condition, ms);
}

// The notification area (trayer) may still be starting when the tests do.
bool trayReady() { return waitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }); }

// The main window of a fresh installation on this desktop, with its tray.
struct OnDesktop {
    SimWorld w;
    QtTray tray;
    QtWindows screen;
    FrmMain f;
    OnDesktop() {
        w.runtime.pf.tray = &tray;
        w.runtime.pf.windows = &screen;
        ui::InstallDesktopViews(true);
        f.Form_Load();
    }
    ~OnDesktop() { ui::InstallDesktopViews(false); }
    FormView* view() { return FormView::of(f); }
    bool iconEmbedded() {
        return tray.trayIcon().isVisible() && !tray.trayIcon().geometry().isEmpty();
    }
};

// Waits (from the menu's own loop) for a pop-up menu and hands it to act.
void whenMenuOpens(std::function<void(QMenu*)> act, int triesLeft = 300) {
    QTimer::singleShot(10, [act = std::move(act), triesLeft]() mutable {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu && menu->isVisible()) act(menu);
        else if (triesLeft > 0) whenMenuOpens(std::move(act), triesLeft - 1);
    });
}

// Where the icon's centre is on the screen. The icon's window lives inside
// the tray program's window, so only the X server knows its place.
QPoint iconCentreOnScreen(FakeInput& input) {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (qstrcmp(w->metaObject()->className(), "QSystemTrayIconSys") != 0) continue;
        int x = 0, y = 0;
        if (input.toScreen(static_cast<unsigned long>(w->winId()), w->width() / 2, w->height() / 2, x, y))
            return {x, y};
    }
    return {};
}

// The icon's centre once the tray program has taken it in and stopped
// moving it (it docks it at the panel's start, then packs it to the right);
// null if it never settles.
QPoint settledIconCentre(FakeInput& input) {
    QPoint last;
    int sameFor = 0;
    const bool settled = waitFor([&] {
        const QPoint now = iconCentreOnScreen(input);
        sameFor = (now == last && now.x() > 100) ? sameFor + 1 : 0;
        last = now;
        if (sameFor >= 5) return true;
        QTest::qWait(50);
        return false;
    });
    return settled ? last : QPoint();
}

}  // namespace

TEST(TrayOnDesktop, TheIconSitsInTheNotificationAreaWhileTheWindowIsAway) {
    if (!trayReady()) GTEST_SKIP() << "this desktop has no notification area";
    OnDesktop t;
    ASSERT_NE(t.view(), nullptr);
    ASSERT_TRUE(waitFor([&] { return t.view()->isVisible(); }));

    t.f.Send_to_SysTray();
    EXPECT_TRUE(t.f.inTray);
    ASSERT_TRUE(waitFor([&] { return t.iconEmbedded(); })) << "the icon never reached the notification area";
    EXPECT_FALSE(t.view()->isVisible());
    EXPECT_EQ(t.tray.trayIcon().toolTip().toStdString(), "Not armed. DoubleClick to Shutdown");
    EXPECT_FALSE(t.tray.trayIcon().icon().isNull());

    t.f.RestoreFromTray();
    EXPECT_TRUE(waitFor([&] { return t.view()->isVisible(); }));
    EXPECT_FALSE(t.tray.trayIcon().isVisible());
    EXPECT_EQ(t.w.errorLog(), "");
}

TEST(TrayOnDesktop, ARightClickOnTheIconOpensTheMenuAndShowNocturoBringsTheWindowBack) {
    if (!trayReady()) GTEST_SKIP() << "this desktop has no notification area";
    FakeInput input;
    if (!input.ready()) GTEST_SKIP() << input.whyNotReady();
    OnDesktop t;
    t.f.Send_to_SysTray();
    ASSERT_TRUE(waitFor([&] { return t.iconEmbedded(); }));

    bool menuSeen = false;
    whenMenuOpens([&](QMenu* menu) {
        menuSeen = menu->defaultAction() && menu->defaultAction()->text() == QStringLiteral("&PowerOff");
        QTest::keyClick(menu, Qt::Key_S);  // "&Show Nocturo"
    });
    const QPoint centre = settledIconCentre(input);
    ASSERT_FALSE(centre.isNull()) << "the icon never settled in the tray at the top right";
    input.moveTo(centre.x(), centre.y());
    input.button(3, true);
    input.button(3, false);
    EXPECT_TRUE(waitFor([&] { return menuSeen && !t.f.inTray; }));
    EXPECT_TRUE(waitFor([&] { return t.view()->isVisible(); }));
    EXPECT_FALSE(t.tray.trayIcon().isVisible());
    EXPECT_EQ(t.w.errorLog(), "");
}

TEST(KeyboardOnDesktop, CtrlQTypedAnywhereBringsTheWindowBackAtTheNextTick) {
    FakeInput input;
    if (!input.ready()) GTEST_SKIP() << input.whyNotReady();
    OnDesktop t;
    t.f.Send_to_SysTray();
    ASSERT_FALSE(t.f.visible());

    input.key(kControlL, true);
    EXPECT_TRUE(t.screen.keyDown(platform::vk::Control));
    EXPECT_FALSE(t.screen.keyDown('Q'));
    t.f.Timer2_Timer();
    EXPECT_FALSE(t.f.visible());

    input.key(kQ, true);
    EXPECT_TRUE(t.screen.keyDown('Q'));
    t.f.Timer2_Timer();
    input.key(kQ, false);
    input.key(kControlL, false);
    EXPECT_TRUE(t.f.visible());
    EXPECT_FALSE(t.f.inTray);
    EXPECT_FALSE(t.screen.keyDown(platform::vk::Control));
    EXPECT_FALSE(t.screen.keyDown('Q'));
    EXPECT_EQ(t.w.errorLog(), "");
}

TEST(TrayOnDesktop, ALeftDoubleClickOnTheIconRestoresTheWindowAndRunsTheSelectedAction) {
    if (!trayReady()) GTEST_SKIP() << "this desktop has no notification area";
    FakeInput input;
    if (!input.ready()) GTEST_SKIP() << input.whyNotReady();
    OnDesktop t;
    t.f.fireEvent("optActions(1).Click");  // restart, on the simulated machine
    t.f.txtCounter.setText("1");
    t.f.Send_to_SysTray();
    const QPoint centre = settledIconCentre(input);
    ASSERT_FALSE(centre.isNull()) << "the icon never settled in the tray at the top right";
    input.moveTo(centre.x(), centre.y());
    for (int click = 0; click < 2; ++click) {
        input.button(1, true);
        input.button(1, false);
    }
    // The countdown runs on the simulated loop, the clicks arrive on Qt's.
    EXPECT_TRUE(waitFor([&] {
        t.w.loop.runFor(100);
        return !t.w.sessionEnds.empty();
    }));
    EXPECT_FALSE(t.f.inTray);
    EXPECT_TRUE(t.f.visible());
    EXPECT_FALSE(t.tray.trayIcon().isVisible());
    EXPECT_EQ(t.w.actionLogLines().back(), "Restart");
    EXPECT_EQ(t.w.errorLog(), "");
}

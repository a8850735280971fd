// The secured PC's two windows on the offscreen desktop: their titles (the
// main program finds them by these), full screen and on top, the lock's
// password entry and its deafness to the close box, the signals that hide
// and show it, and the screen saver's end on a key or a real move.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>

#include <csignal>
#include <functional>

#include "base/Varn_Registry.h"
#include "cipher/Varn_encryption3.h"
#include "shell/frmLockPc.h"
#include "shell/frmLockPcScr.h"
#include "support/SimWorld.h"
#include "ui/LockPcView.h"

using namespace nocturo;
using nocturo::test::SimWorld;
using nocturo::ui::FormView;
using nocturo::ui::LockPcScrView;
using nocturo::ui::LockPcView;

namespace {

// Lets Qt's events run until done() holds, for up to two seconds.
bool pumpUntil(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 2000) QApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

struct Locked {
    SimWorld w{platform::PathStyle::Posix};
    frmLockPc f;
    Locked() {
        WriteSetting(MachineApp(), kSettings, "poption", Encrypt3("Night0wl", ""));
        f.Form_Load();
    }
};

void sendMouse(QWidget* to, QEvent::Type type, QPoint at, Qt::MouseButton button = Qt::LeftButton) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease || type == QEvent::MouseMove ? Qt::NoButton : button;
    QMouseEvent e(type, QPointF(at), QPointF(to->mapToGlobal(at)), type == QEvent::MouseMove ? Qt::NoButton : button,
                  held, Qt::NoModifier);
    QApplication::sendEvent(to, &e);
}

}  // namespace

TEST(LockWindows, TheLockIsTitled2LockPc2FramelessOnTopAndFullScreen) {
    Locked l;
    LockPcView v(l.f);
    ASSERT_TRUE(pumpUntil([&] { return v.isVisible(); }));
    EXPECT_EQ(v.windowTitle(), QStringLiteral("2LockPc2"));
    EXPECT_TRUE(v.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(v.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(v.windowState().testFlag(Qt::WindowFullScreen));
    auto* entry = qobject_cast<QLineEdit*>(v.widgetFor("txtPassword"));
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->echoMode(), QLineEdit::Password);
    auto* unlock = qobject_cast<QPushButton*>(v.widgetFor("cmdUnlock"));
    ASSERT_NE(unlock, nullptr);
    EXPECT_TRUE(unlock->isDefault());
}

TEST(LockWindows, EnterInThePasswordEntryUnlocksWithTheRightPasswordOnly) {
    Locked l;
    LockPcView v(l.f);
    ASSERT_TRUE(pumpUntil([&] { return v.isVisible(); }));
    auto* entry = qobject_cast<QLineEdit*>(v.widgetFor("txtPassword"));
    auto* status = qobject_cast<QLabel*>(v.widgetFor("lblStatus"));
    QTest::keyClicks(entry, QStringLiteral("nightowl"));
    QTest::keyClick(entry, Qt::Key_Return);
    EXPECT_FALSE(l.f.ended());
    EXPECT_TRUE(status->text().startsWith(QStringLiteral("Wrong password")));
    EXPECT_EQ(entry->text(), QString());

    l.w.clock.advance(1000);
    QTest::keyClicks(entry, QStringLiteral("Night0wl"));
    QTest::keyClick(entry, Qt::Key_Return);
    EXPECT_TRUE(l.f.ended());
}

TEST(LockWindows, TheUnlockButtonTakesItsClickThroughTheWindowThatHoldsTheMouse) {
    Locked l;
    LockPcView v(l.f);
    ASSERT_TRUE(pumpUntil([&] { return v.isVisible(); }));
    QWidget* unlock = v.widgetFor("cmdUnlock");
    l.f.txtPassword.setText("Night0wl");
    const QPoint centre = unlock->geometry().center();
    sendMouse(&v, QEvent::MouseButtonPress, centre);
    sendMouse(&v, QEvent::MouseButtonRelease, centre);
    EXPECT_TRUE(l.f.ended());
}

TEST(LockWindows, TheCloseBoxLeavesTheLockUp) {
    Locked l;
    LockPcView v(l.f);
    ASSERT_TRUE(pumpUntil([&] { return v.isVisible(); }));
    EXPECT_FALSE(v.close());
    EXPECT_TRUE(v.isVisible());
    EXPECT_TRUE(l.f.visible());
    EXPECT_FALSE(l.f.ended());
}

TEST(LockWindows, Sigusr1HidesTheLockAndSigusr2ShowsItAgain) {
    Locked l;
    LockPcView v(l.f);
    ASSERT_TRUE(pumpUntil([&] { return v.isVisible(); }));
    auto watch = ui::WatchLockSignals(l.f);

    std::raise(SIGUSR1);
    EXPECT_TRUE(pumpUntil([&] { return !v.isVisible(); }));
    EXPECT_FALSE(l.f.visible());
    EXPECT_TRUE(l.f.loaded());

    std::raise(SIGUSR2);
    EXPECT_TRUE(pumpUntil([&] { return v.isVisible(); }));
    EXPECT_TRUE(l.f.visible());

    // Again, twice in a row: the last word counts.
    std::raise(SIGUSR1);
    std::raise(SIGUSR2);
    EXPECT_TRUE(pumpUntil([&] { return l.f.visible() && v.isVisible(); }));
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 200) QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_TRUE(v.isVisible());
}

TEST(LockWindows, TheLoadingFormsGetTheirWindowsFromTheLockViews) {
    SimWorld w(platform::PathStyle::Posix);
    WriteSetting(MachineApp(), kSettings, "poption", Encrypt3("Night0wl", ""));
    ui::InstallLockViews(true);
    {
        frmLockPc lock;
        lock.Form_Load();
        auto* view = qobject_cast<LockPcView*>(FormView::of(lock));
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(view->windowTitle(), QStringLiteral("2LockPc2"));
        EXPECT_TRUE(pumpUntil([&] { return view->isVisible(); }));

        frmLockPcScr saver;
        saver.Form_Load();
        auto* screen = qobject_cast<LockPcScrView*>(FormView::of(saver));
        ASSERT_NE(screen, nullptr);
        EXPECT_EQ(screen->windowTitle(), QStringLiteral("LockPcScr"));
        EXPECT_TRUE(pumpUntil([&] { return screen->isVisible(); }));
        EXPECT_TRUE(screen->windowFlags().testFlag(Qt::FramelessWindowHint));
        EXPECT_TRUE(screen->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        EXPECT_EQ(screen->cursor().shape(), Qt::BlankCursor);
        EXPECT_EQ(screen->palette().color(QPalette::Window), QColor(Qt::black));
    }
    ui::InstallLockViews(false);
    QApplication::processEvents();
}

TEST(LockWindows, TheScreenSaverEndsOnAKey) {
    SimWorld w(platform::PathStyle::Posix);
    frmLockPcScr s;
    s.Form_Load();
    LockPcScrView v(s);
    ASSERT_TRUE(pumpUntil([&] { return v.isVisible(); }));
    QTest::keyClick(&v, Qt::Key_Shift);
    EXPECT_TRUE(s.ended());
    EXPECT_TRUE(pumpUntil([&] { return !v.isVisible(); }));
}

TEST(LockWindows, TheScreenSaverEndsOnAButtonAndOnARealMoveButNotOnJitter) {
    for (const bool click : {true, false}) {
        SimWorld w(platform::PathStyle::Posix);
        frmLockPcScr s;
        s.Form_Load();
        LockPcScrView v(s);
        ASSERT_TRUE(pumpUntil([&] { return v.isVisible(); }));
        const QPoint start = v.mapFromGlobal(QCursor::pos());
        if (click) {
            sendMouse(&v, QEvent::MouseButtonPress, start, Qt::RightButton);
        } else {
            sendMouse(&v, QEvent::MouseMove, start + QPoint(1, 1));
            EXPECT_FALSE(s.ended());
            sendMouse(&v, QEvent::MouseMove, start + QPoint(40, 0));
        }
        EXPECT_TRUE(s.ended()) << click;
    }
}

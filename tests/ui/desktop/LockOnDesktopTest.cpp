// The secured PC's windows on a real X display, with keys and the pointer
// moved on the X server itself: the lock holds the keyboard and the mouse
// while it is shown (also when shown again by X from outside) and lets them
// go while it is hidden, the password typed
// anywhere reaches its entry, and the screen saver ends on a real move but
// not on a twitch. The machine itself stays simulated.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QTest>

#include <csignal>
#include <functional>
#include <string>

#include "EventWait.h"
#include "FakeInput.h"
#include "base/Varn_Registry.h"
#include "cipher/Varn_encryption3.h"
#include "shell/frmLockPc.h"
#include "shell/frmLockPcScr.h"
#include "support/SimWorld.h"
#include "ui/Desktop.h"
#include "ui/LockPcView.h"

using namespace nocturo;
using nocturo::test::FakeInput;
using nocturo::test::SimWorld;

namespace {

constexpr unsigned long kReturn = 0xff0d, kSpace = 0x20;

bool waitFor(const std::function<bool()>& condition, int ms = 5000) {
    return nocturo::test::ProcessEventsUntil(condition, ms);
}

void settle(int ms = 200) { nocturo::test::ProcessEventsFor(ms); }

// Lower-case letters and digits: their key symbols are their characters.
void type(FakeInput& input, const std::string& text) {
    for (char c : text) {
        input.key(static_cast<unsigned char>(c), true);
        input.key(static_cast<unsigned char>(c), false);
    }
}

struct LockOnScreen {
    SimWorld w{platform::PathStyle::Posix};
    ui::QtWindows screen;
    frmLockPc f;
    LockOnScreen() {
        w.runtime.pf.windows = &screen;
        WriteSetting(MachineApp(), kSettings, "poption", Encrypt3("night0wl", ""));
        ui::InstallLockViews(true);
        f.Form_Load();
    }
    ~LockOnScreen() {
        ui::InstallLockViews(false);
        QApplication::processEvents();
    }
};

}  // namespace

TEST(LockOnDesktop, TheLockHoldsKeyboardAndMouseWhileShownAndLetsThemGoWhileHidden) {
    FakeInput input;
    if (!input.ready()) GTEST_SKIP() << input.whyNotReady();
    LockOnScreen l;
    auto watch = ui::WatchLockSignals(l.f);
    EXPECT_TRUE(waitFor([&] { return input.keyboardHeldElsewhere() && input.pointerHeldElsewhere(); }));

    std::raise(SIGUSR1);
    EXPECT_TRUE(waitFor([&] { return !l.f.visible(); }));
    EXPECT_TRUE(waitFor([&] { return !input.keyboardHeldElsewhere() && !input.pointerHeldElsewhere(); }));

    std::raise(SIGUSR2);
    EXPECT_TRUE(waitFor([&] { return input.keyboardHeldElsewhere() && input.pointerHeldElsewhere(); }));
}

TEST(LockOnDesktop, UnmappedAndMappedAgainByAnotherProgramTheLockTakesKeyboardAndMouseBack) {
    FakeInput input;
    if (!input.ready()) GTEST_SKIP() << input.whyNotReady();
    LockOnScreen l;
    ASSERT_TRUE(waitFor([&] { return input.keyboardHeldElsewhere() && input.pointerHeldElsewhere(); }));
    const unsigned long window = ui::FormView::of(l.f)->winId();

    input.unmap(window);
    EXPECT_TRUE(waitFor([&] { return !input.keyboardHeldElsewhere() && !input.pointerHeldElsewhere(); }));
    input.map(window);
    EXPECT_TRUE(waitFor([&] { return input.keyboardHeldElsewhere() && input.pointerHeldElsewhere(); }));
}

TEST(LockOnDesktop, AKeyboardHeldElsewhereAtTheStartIsTakenOnceItIsLetGo) {
    FakeInput input, other;
    if (!input.ready() || !other.ready()) GTEST_SKIP() << input.whyNotReady();
    ASSERT_TRUE(other.holdKeyboard(true));
    LockOnScreen l;
    ASSERT_TRUE(waitFor([&] { return input.pointerHeldElsewhere(); }));
    settle(500);
    other.holdKeyboard(false);
    EXPECT_TRUE(waitFor([&] { return input.keyboardHeldElsewhere(); }));
    type(input, "night0wl");
    input.key(kReturn, true);
    input.key(kReturn, false);
    EXPECT_TRUE(waitFor([&] { return l.f.ended(); }));
}

TEST(LockOnDesktop, ThePasswordTypedOnTheKeyboardUnlocksAfterAWrongOne) {
    FakeInput input;
    if (!input.ready()) GTEST_SKIP() << input.whyNotReady();
    LockOnScreen l;
    ASSERT_TRUE(waitFor([&] { return input.keyboardHeldElsewhere(); }));

    type(input, "nightowl");
    input.key(kReturn, true);
    input.key(kReturn, false);
    ASSERT_TRUE(waitFor([&] { return l.f.failedTries() == 1; }));
    EXPECT_EQ(l.f.txtPassword.text(), "");
    EXPECT_FALSE(l.f.ended());

    l.w.clock.advance(1000);
    type(input, "night0wl");
    input.key(kReturn, true);
    input.key(kReturn, false);
    EXPECT_TRUE(waitFor([&] { return l.f.ended(); }));
    EXPECT_TRUE(waitFor([&] { return !input.keyboardHeldElsewhere(); }));
}

TEST(LockOnDesktop, AClickOnUnlockReachesTheButtonWhileTheLockHoldsTheMouse) {
    FakeInput input;
    if (!input.ready()) GTEST_SKIP() << input.whyNotReady();
    LockOnScreen l;
    ASSERT_TRUE(waitFor([&] { return input.pointerHeldElsewhere(); }));
    type(input, "night0wl");
    ASSERT_TRUE(waitFor([&] { return l.f.txtPassword.text() == "night0wl"; }));
    QWidget* unlock = ui::FormView::of(l.f)->widgetFor("cmdUnlock");
    const QPoint at = unlock->mapToGlobal(unlock->rect().center());
    input.moveTo(at.x(), at.y());
    input.button(1, true);
    input.button(1, false);
    EXPECT_TRUE(waitFor([&] { return l.f.ended(); }));
}

TEST(LockOnDesktop, TheScreenSaverEndsOnARealMoveButNotOnATwitch) {
    FakeInput input;
    if (!input.ready()) GTEST_SKIP() << input.whyNotReady();
    SimWorld w(platform::PathStyle::Posix);
    ui::QtWindows screen;
    w.runtime.pf.windows = &screen;
    input.moveTo(300, 300);
    settle();
    ui::InstallLockViews(true);
    {
        frmLockPcScr s;
        s.Form_Load();
        ASSERT_TRUE(waitFor([&] { return input.pointerHeldElsewhere(); }));
        input.moveTo(301, 299);
        settle();
        EXPECT_FALSE(s.ended());
        input.moveTo(360, 300);
        EXPECT_TRUE(waitFor([&] { return s.ended(); }));
    }
    {
        frmLockPcScr s;
        s.Form_Load();
        ASSERT_TRUE(waitFor([&] { return input.keyboardHeldElsewhere(); }));
        input.key(kSpace, true);
        input.key(kSpace, false);
        EXPECT_TRUE(waitFor([&] { return s.ended(); }));
    }
    ui::InstallLockViews(false);
    QApplication::processEvents();
}

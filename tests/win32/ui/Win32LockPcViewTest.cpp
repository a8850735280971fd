// The secured PC's two windows on Windows: the lock covers every monitor on
// top of everything under the title the main program looks for, keeps the
// focus in its entry, takes a wrong and then the right password typed as
// key messages, and cannot be closed from outside the model; the screen
// saver ends on a key and a click but not on the move the system sends when
// it appears. Each test needs a desktop (wine on an X display) and skips
// itself without one.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "base/Runtime.h"
#include "base/Varn_Registry.h"
#include "cipher/Varn_encryption3.h"
#include "platform/win32/Win32EventLoop.h"
#include "shell/frmLockPc.h"
#include "shell/frmLockPcScr.h"
#include "support/SimWorld.h"
#include "ui/win32/Win32FormView.h"
#include "ui/win32/Win32LockPcView.h"

using namespace nocturo;
using nocturo::test::SimWorld;
using nocturo::ui::win32::Win32FormView;
using nocturo::ui::win32::Win32LockPcView;

#define NEED_DESKTOP()                                                                       \
    do {                                                                                     \
        if (!ui::win32::DesktopAvailable()) GTEST_SKIP() << "no desktop to make windows on"; \
    } while (0)

namespace {

// The lock views for the test's duration, on a real message loop whose
// filter is the lock program's own.
struct LockDesktop {
    explicit LockDesktop(SimWorld& w) : world(w), before(w.runtime.pf.loop) {
        w.runtime.pf.loop = &loop;
        ui::win32::InstallWin32LockViews(true);
    }
    ~LockDesktop() {
        ui::win32::InstallWin32LockViews(false);
        loop.setMessageFilter(nullptr);
        loop.yield();
        world.runtime.pf.loop = before;
    }
    void filterFor(Form& form) {
        loop.setMessageFilter([&form](MSG& msg) {
            auto* view = dynamic_cast<Win32LockPcView*>(Win32FormView::of(form));
            return view && view->dialogMessage(msg);
        });
    }
    // Lets the loop take what was posted (a few turns: a posted key becomes
    // a character on the way).
    void settle() {
        for (int i = 0; i < 5; ++i) loop.idle(10);
    }
    SimWorld& world;
    platform::IEventLoop* before;
    platform::win32::Win32EventLoop loop;
};

std::wstring textOf(HWND w) {
    wchar_t buffer[256] = {};
    GetWindowTextW(w, buffer, 255);
    return buffer;
}

bool sameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

void typeInto(HWND entry, const std::string& text) {
    for (unsigned char c : text) PostMessageW(entry, WM_CHAR, c, 1);
}

void pressEnter(HWND w) {
    PostMessageW(w, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    PostMessageW(w, WM_KEYUP, VK_RETURN, 0xC01C0001);
}

struct Lock {
    SimWorld w;
    LockDesktop desktop{w};
    frmLockPc form;
    bool unloaded = false;
    explicit Lock(const std::string& password = "Night0wl") {
        WriteSetting(MachineApp(), kSettings, "poption", Encrypt3(password, ""));
        form.onUnloaded = [this] { unloaded = true; };
        desktop.filterFor(form);
        form.Form_Load();
        desktop.settle();
    }
    Win32LockPcView* view() { return dynamic_cast<Win32LockPcView*>(Win32FormView::of(form)); }
};

}  // namespace

TEST(Win32LockPcView, TheLockCoversTheVirtualScreenOnTopUnderTheModelsTitle) {
    NEED_DESKTOP();
    Lock l;
    Win32LockPcView* view = l.view();
    ASSERT_NE(view, nullptr);
    HWND w = view->hwnd();
    EXPECT_TRUE(IsWindowVisible(w));
    RECT shown{};
    GetWindowRect(w, &shown);
    const RECT screen = ui::win32::VirtualScreenRect();
    EXPECT_TRUE(sameRect(shown, screen)) << shown.left << "," << shown.top << " " << shown.right << "x" << shown.bottom;
    // The simulated screen the model laid out for is smaller: the window is
    // the real screen's size all the same.
    EXPECT_NE(view->toPixels(l.form.width()), screen.right - screen.left);
    EXPECT_TRUE(GetWindowLongPtrW(w, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_FALSE(GetWindowLongPtrW(w, GWL_STYLE) & WS_CAPTION);
    EXPECT_EQ(textOf(w), L"2LockPc2");
    EXPECT_EQ(FindWindowW(nullptr, L"2LockPc2"), w);
    // Asked to go elsewhere or be smaller, it stays over the whole screen.
    SetWindowPos(w, nullptr, 10, 20, 300, 200, SWP_NOZORDER | SWP_NOACTIVATE);
    GetWindowRect(w, &shown);
    EXPECT_TRUE(sameRect(shown, screen));
    SendMessageW(w, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_FALSE(IsIconic(w));
    // The model's controls stay where it put them on the primary monitor.
    RECT entry{};
    GetWindowRect(view->entry(), &entry);
    EXPECT_EQ(entry.left, view->toPixels(l.form.txtPassword.left()));
    EXPECT_EQ(entry.top, view->toPixels(l.form.txtPassword.top()));
}

TEST(Win32LockPcView, TheFocusIsInTheEntryAlsoAfterTheWindowWasHiddenAndShownFromOutside) {
    NEED_DESKTOP();
    Lock l;
    Win32LockPcView* view = l.view();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(GetForegroundWindow(), view->hwnd());
    EXPECT_EQ(GetFocus(), view->entry());
    // The main program hides and shows the window by its title.
    ShowWindow(view->hwnd(), SW_HIDE);
    SetFocus(nullptr);
    l.desktop.settle();
    EXPECT_FALSE(IsWindowVisible(view->hwnd()));
    ShowWindow(view->hwnd(), SW_SHOWNA);
    l.desktop.settle();
    EXPECT_TRUE(IsWindowVisible(view->hwnd()));
    EXPECT_EQ(GetFocus(), view->entry());
    EXPECT_TRUE(GetWindowLongPtrW(view->hwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_FALSE(l.form.ended());
}

TEST(Win32LockPcView, AWrongPasswordThenTheRightOneTypedAsKeysEndAsTheModelSays) {
    NEED_DESKTOP();
    Lock l;
    Win32LockPcView* view = l.view();
    ASSERT_NE(view, nullptr);
    HWND window = view->hwnd();
    HWND entry = view->entry();
    // Enter in the entry, through the lock's own dialog handling.
    typeInto(entry, "guess");
    pressEnter(entry);
    l.desktop.settle();
    EXPECT_EQ(l.form.failedTries(), 1);
    EXPECT_FALSE(l.form.ended());
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(textOf(entry), L"");  // the entry is empty for the next try
    EXPECT_EQ(l.form.lblStatus.caption().rfind("Wrong password", 0), 0u) << l.form.lblStatus.caption();
    // The right one during the wait is refused without being looked at.
    typeInto(entry, "Night0wl");
    pressEnter(entry);
    l.desktop.settle();
    EXPECT_FALSE(l.form.ended());
    EXPECT_EQ(l.form.lblStatus.caption().rfind("Please wait", 0), 0u) << l.form.lblStatus.caption();
    // After the wait, the right one unlocks; this time Enter comes as a
    // character, without the dialog handling.
    l.w.clock.advance(1000 * frmLockPc::delaySecondsAfter(1));
    l.desktop.loop.setMessageFilter(nullptr);
    typeInto(entry, "Night0wl");
    PostMessageW(entry, WM_CHAR, L'\r', 0x001C0001);
    l.desktop.settle();
    EXPECT_TRUE(l.form.ended());
    EXPECT_TRUE(l.unloaded);
    EXPECT_EQ(Win32FormView::of(l.form), nullptr);
    EXPECT_FALSE(IsWindow(window));
}

TEST(Win32LockPcView, TheCloseBoxAndAltF4DoNotCloseTheLock) {
    NEED_DESKTOP();
    Lock l;
    Win32LockPcView* view = l.view();
    ASSERT_NE(view, nullptr);
    HWND w = view->hwnd();
    SendMessageW(w, WM_CLOSE, 0, 0);
    SendMessageW(w, WM_SYSCOMMAND, SC_CLOSE, 0);
    PostMessageW(w, WM_SYSKEYDOWN, VK_F4, 0x203E0001);
    l.desktop.settle();
    EXPECT_TRUE(IsWindow(w));
    EXPECT_TRUE(IsWindowVisible(w));
    EXPECT_FALSE(l.form.ended());
    EXPECT_FALSE(l.unloaded);
    EXPECT_EQ(Win32FormView::of(l.form), view);
}

namespace {

struct Saver {
    SimWorld w;
    LockDesktop desktop{w};
    frmLockPcScr form;
    bool unloaded = false;
    Saver() {
        form.onUnloaded = [this] { unloaded = true; };
        form.Form_Load();
        desktop.settle();
    }
    Win32FormView* view() { return Win32FormView::of(form); }
};

LPARAM clientPoint(HWND w, int screenX, int screenY) {
    POINT p{screenX, screenY};
    ScreenToClient(w, &p);
    return MAKELPARAM(p.x, p.y);
}

}  // namespace

TEST(Win32LockPcView, TheScreenSaverIsBlackOverTheWholeScreenOnTop) {
    NEED_DESKTOP();
    Saver s;
    ASSERT_NE(s.view(), nullptr);
    HWND w = s.view()->hwnd();
    EXPECT_TRUE(IsWindowVisible(w));
    RECT shown{};
    GetWindowRect(w, &shown);
    EXPECT_TRUE(sameRect(shown, ui::win32::VirtualScreenRect()));
    EXPECT_TRUE(GetWindowLongPtrW(w, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_EQ(textOf(w), L"LockPcScr");
    // Black where the clock is not, and the clock drawn where the model says.
    HWND time = s.view()->controlWindow("lblTime");
    ASSERT_NE(time, nullptr);
    RECT at{};
    GetWindowRect(time, &at);
    EXPECT_EQ(at.left, s.view()->toPixels(s.form.lblTime.left()));
    EXPECT_EQ(at.top, s.view()->toPixels(s.form.lblTime.top()));
    UpdateWindow(w);
    HDC dc = GetDC(w);
    const COLORREF corner = GetPixel(dc, 2, 2);
    ReleaseDC(w, dc);
    EXPECT_EQ(corner, RGB(0, 0, 0));
    // A move or a click over the time belongs to the window.
    EXPECT_EQ(SendMessageW(time, WM_NCHITTEST, 0, MAKELPARAM(at.left + 5, at.top + 5)), HTTRANSPARENT);
    // No pointer over it.
    EXPECT_EQ(SendMessageW(w, WM_SETCURSOR, reinterpret_cast<WPARAM>(w), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)), TRUE);
}

TEST(Win32LockPcView, TheScreenSaverEndsOnAKey) {
    NEED_DESKTOP();
    Saver s;
    ASSERT_NE(s.view(), nullptr);
    HWND w = s.view()->hwnd();
    PostMessageW(w, WM_KEYDOWN, 'A', 0x001E0001);
    s.desktop.settle();
    EXPECT_TRUE(s.form.ended());
    EXPECT_TRUE(s.unloaded);
    EXPECT_FALSE(IsWindow(w));
}

TEST(Win32LockPcView, TheScreenSaverEndsOnAClick) {
    NEED_DESKTOP();
    for (UINT press : {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN}) {
        Saver s;
        ASSERT_NE(s.view(), nullptr);
        HWND w = s.view()->hwnd();
        PostMessageW(w, press, 0, MAKELPARAM(40, 40));
        s.desktop.settle();
        EXPECT_TRUE(s.form.ended()) << press;
        EXPECT_FALSE(IsWindow(w)) << press;
    }
}

TEST(Win32LockPcView, TheScreenSaverIgnoresTheFirstMoveAndTheSlackButEndsOnARealMove) {
    NEED_DESKTOP();
    Saver s;
    ASSERT_NE(s.view(), nullptr);
    HWND w = s.view()->hwnd();
    POINT start{};
    ASSERT_TRUE(GetCursorPos(&start));
    const RECT screen = ui::win32::VirtualScreenRect();
    // Far from the start, inside the screen.
    const int farX = start.x > (screen.left + screen.right) / 2 ? screen.left + 10 : screen.right - 10;
    const int farY = start.y > (screen.top + screen.bottom) / 2 ? screen.top + 10 : screen.bottom - 10;
    // Whether the system's own move came while the window appeared depends
    // on the pointer; shown once more, the window takes the next move, sent
    // before anything else can come, as that one.
    SendMessageW(w, WM_SHOWWINDOW, TRUE, 0);
    SendMessageW(w, WM_MOUSEMOVE, 0, clientPoint(w, farX, farY));
    EXPECT_FALSE(s.form.ended());
    // Within the slack: a hand resting on the mouse.
    SendMessageW(w, WM_MOUSEMOVE, 0,
                 clientPoint(w, start.x + frmLockPcScr::kPointerSlack, start.y - frmLockPcScr::kPointerSlack));
    EXPECT_FALSE(s.form.ended());
    PostMessageW(w, WM_MOUSEMOVE, 0, clientPoint(w, farX, farY));
    s.desktop.settle();
    EXPECT_TRUE(s.form.ended());
    EXPECT_FALSE(IsWindow(w));
}

TEST(Win32LockPcView, TheScreenSaverClosedByTheSystemEndsTheModel) {
    NEED_DESKTOP();
    Saver s;
    ASSERT_NE(s.view(), nullptr);
    HWND w = s.view()->hwnd();
    PostMessageW(w, WM_CLOSE, 0, 0);
    s.desktop.settle();
    EXPECT_TRUE(s.form.ended());
    EXPECT_FALSE(IsWindow(w));
}

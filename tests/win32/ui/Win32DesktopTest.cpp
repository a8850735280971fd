// The desktop run's pieces: a native window for every form that loads, gone
// once the form unloads; modal forms.
#include <gtest/gtest.h>

#include <windows.h>

#include "platform/win32/Win32EventLoop.h"
#include "shell/frmAbout.h"
#include "support/SimWorld.h"
#include "ui/win32/Win32Desktop.h"
#include "ui/win32/Win32FormView.h"

using namespace nocturo;
using nocturo::test::SimWorld;
using nocturo::ui::win32::Win32FormView;

namespace {

// The views for the test's duration, on a real message loop.
struct Desktop {
    Desktop(SimWorld& w) : world(w), before(w.runtime.pf.loop) {
        w.runtime.pf.loop = &loop;
        ui::win32::InstallWin32Views(true);
    }
    ~Desktop() {
        ui::win32::InstallWin32Views(false);
        loop.yield();
        world.runtime.pf.loop = before;
    }
    SimWorld& world;
    platform::IEventLoop* before;
    platform::win32::Win32EventLoop loop;
};

}  // namespace

TEST(Win32Desktop, AFormGetsItsWindowWhenItLoadsAndLosesItAfterItUnloads) {
    if (!ui::win32::DesktopAvailable()) GTEST_SKIP() << "no desktop to make windows on";
    SimWorld w;
    Desktop desktop(w);
    frmAbout about;
    about.Form_Load();
    Win32FormView* view = Win32FormView::of(about);
    ASSERT_NE(view, nullptr);
    HWND window = view->hwnd();
    EXPECT_TRUE(IsWindowVisible(window));
    about.Form_Unload();
    EXPECT_EQ(Win32FormView::of(about), nullptr);
    // Hidden at once; gone after the handler that unloaded it.
    EXPECT_FALSE(IsWindowVisible(window));
    desktop.loop.yield();
    EXPECT_FALSE(IsWindow(window));
}

TEST(Win32Desktop, AModalFormHoldsTheOtherWindowsUntilItUnloads) {
    if (!ui::win32::DesktopAvailable()) GTEST_SKIP() << "no desktop to make windows on";
    SimWorld w;
    Desktop desktop(w);
    frmAbout first;
    first.Form_Load();
    HWND firstWindow = Win32FormView::of(first)->hwnd();
    frmAbout modal;
    modal.Form_Load();
    bool heldMeanwhile = false;
    const auto timer = desktop.loop.addTimer([&] {
        heldMeanwhile = !IsWindowEnabled(firstWindow);
        if (modal.loaded()) modal.Form_Unload();
    });
    desktop.loop.setTimer(timer, 50, true);
    ui::win32::RunWin32Modal(modal);
    desktop.loop.removeTimer(timer);
    EXPECT_FALSE(modal.loaded());
    EXPECT_TRUE(heldMeanwhile);
    EXPECT_TRUE(IsWindowEnabled(firstWindow));
    first.Form_Unload();
    // A form that is not loaded has nothing to wait for.
    ui::win32::RunWin32Modal(modal);
}

#include "ui/win32/Win32Desktop.h"

#include <windows.h>

#include <iostream>
#include <memory>
#include <set>

#include "app/Nocturo_Main.h"
#include "app/frmSplash.h"
#include "base/Runtime.h"
#include "cleaner/frmCleanHDSetup.h"
#include "cleaner/frmCleanNow.h"
#include "platform/win32/Win32Clock.h"
#include "platform/win32/Win32EventLoop.h"
#include "platform/win32/Win32Windows.h"
#include "schedule/WeekdayTimeRows.h"
#include "schedule/frmTimeSetup.h"
#include "schedule/frmWindowSetup.h"
#include "shell/FrmMain.h"
#include "shell/frmAbout.h"
#include "ui/ModalDialogs.h"
#include "ui/win32/Win32Dialogs.h"
#include "ui/win32/Win32Tray.h"
#include "ui/win32/Win32FormView.h"

namespace nocturo::ui::win32 {

namespace {

std::set<Win32FormView*>& liveViews() {
    static std::set<Win32FormView*> views;
    return views;
}

// The view lets go of its form at once; its window goes once the handler
// that unloaded the form has returned (it may be that window's own).
std::shared_ptr<void> keep(Win32FormView* view) {
    liveViews().insert(view);
    return std::shared_ptr<void>(view, [](void* p) {
        auto* v = static_cast<Win32FormView*>(p);
        liveViews().erase(v);
        v->detach();
        ShowWindow(v->hwnd(), SW_HIDE);
        if (rt().pf.loop) rt().pf.loop->post([v] { delete v; });
        else delete v;
    });
}

// The desktop run's boxes, while it runs.
Win32Dialogs* g_dialogs = nullptr;

std::shared_ptr<void> makeView(Form& form) {
    using Kind = Win32FormView::Kind;
    if (dynamic_cast<FrmMain*>(&form)) {
        auto* view = new Win32FormView(form, Kind::Main);
        // With the program in the notification area and no window of its
        // own active, the boxes belong to the main window.
        if (g_dialogs) g_dialogs->setOwner(view->hwnd());
        return keep(view);
    }
    if (dynamic_cast<WeekdayTimeRows*>(&form) || dynamic_cast<frmSplash*>(&form))
        return keep(new Win32FormView(form, Kind::Frameless));
    return keep(new Win32FormView(form, Kind::Normal));
}

}  // namespace

void InstallWin32Views(bool on) {
    if (on) EnableDpiAwareness();
    SetViewFactory(on ? ViewFactory(makeView) : ViewFactory());
}

void RunWin32Modal(Form& form) {
    if (!form.loaded()) return;
    Win32FormView* view = Win32FormView::of(form);
    if (!view || !rt().pf.loop) return;
    // The other windows take no input meanwhile, as under a dialog box.
    std::vector<HWND> disabled;
    for (Win32FormView* other : liveViews())
        if (other != view && IsWindowEnabled(other->hwnd())) {
            EnableWindow(other->hwnd(), FALSE);
            disabled.push_back(other->hwnd());
        }
    // Shown modal is shown: a form whose load left it hidden would otherwise
    // be waited for with no window anybody could close.
    if (!form.visible()) form.setVisible(true);
    ShowWindow(view->hwnd(), SW_SHOWNORMAL);
    SetForegroundWindow(view->hwnd());
    while (form.loaded()) rt().pf.loop->idle(100);
    for (HWND w : disabled)
        if (IsWindow(w)) EnableWindow(w, TRUE);
}

void Win32DesktopServices::install(Runtime& runtime, const platform::PlatformHost& host) {
    runtime.pf = host.pf;
    runtime.pf.loop = &loop;
    runtime.pf.windows = &screen;
    runtime.pf.dialogs = &dialogs;
    if (host.name == "sim") runtime.pf.clock = &realClock_;
}

int RunWin32Desktop(platform::PlatformHost& host, const std::string& commandLine) {
    EnableDpiAwareness();
    Win32DesktopServices desktop;
    auto& loop = desktop.loop;
    auto& dialogs = desktop.dialogs;
    Win32Tray tray;
    Runtime runtime;
    desktop.install(runtime, host);
    runtime.pf.tray = &tray;
    RuntimeScope scope(runtime);

    runtime.logObserver = [](const std::string&, const std::string& line) { std::cout << line << std::endl; };

    FrmMain form;
    runtime.errorIndicator = [&] { form.ShowErrorIndicator(); };
    // A timed box needs a window of ours on the screen to belong to.
    runtime.activeFormShown = [] {
        for (Win32FormView* v : liveViews())
            if (IsWindowVisible(v->hwnd())) return true;
        return false;
    };
    form.onUnloaded = [&] { loop.quit(0); };
    ConnectModalDialogs(form, [](Form& dialog) { RunWin32Modal(dialog); });

    // Tab and the arrow keys move between a window's controls, as in a
    // dialog box.
    loop.setMessageFilter([](MSG& msg) {
        HWND top = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
        if (!top) return false;
        for (Win32FormView* v : liveViews())
            if (v->hwnd() == top) return IsDialogMessageW(top, &msg) != FALSE;
        return false;
    });

    // The console's Ctrl+C and close end the program the orderly way.
    loop.installTerminationHandler([&](DWORD) { form.UnloadProgram(); });

    g_dialogs = &dialogs;
    InstallWin32Views(true);
    NocturoMain start(form);
    int code = 0;
    if (!start.Main(commandLine)) {
        code = start.exitCode;
    } else if (!form.unloaded()) {
        code = loop.run();
        if (code < 0) code = 0;
    }
    InstallWin32Views(false);
    g_dialogs = nullptr;
    loop.installTerminationHandler(nullptr);
    // The windows of forms that went last are deleted by work still posted.
    loop.yield();
    return code;
}

}  // namespace nocturo::ui::win32

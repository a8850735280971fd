#include "ui/win32/Win32Desktop.h"

#include <windows.h>

#include <iostream>
#include <memory>
#include <set>

#include "app/ControlLink.h"
#include "app/Nocturo_Main.h"
#include "app/frmSplash.h"
#include "base/Runtime.h"
#include "cleaner/frmCleanHDSetup.h"
#include "cleaner/frmCleanNow.h"
#include "platform/ControlChannel.h"
#include "platform/sim/SimTimeSettings.h"
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
#include "platform/common/TrayBalloons.h"
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
    if (host.name == "sim") {
        runtime.pf.clock = &realClock_;
        // The time settings read the same real time the window shows.
        if (auto* time = dynamic_cast<platform::SimTimeSettings*>(host.pf.time)) time->readRealClock(true);
    }
}

struct Win32DesktopProgram::Parts {
    Win32DesktopServices desktop;
    Win32Tray tray;
    platform::TrayBalloons balloons{tray};
    Runtime runtime;
    std::unique_ptr<RuntimeScope> scope;
    std::unique_ptr<FrmMain> form;
};

Win32DesktopProgram::Win32DesktopProgram(platform::PlatformHost& host) : parts_(std::make_unique<Parts>()) {
    EnableDpiAwareness();
    Parts& p = *parts_;
    p.desktop.install(p.runtime, host);
    p.runtime.pf.tray = &p.tray;
    // The desktop's notifications are balloons at the tray icon; the
    // simulated machine keeps its journal of them.
    if (host.name != "sim") p.runtime.pf.notifications = &p.balloons;
    p.scope = std::make_unique<RuntimeScope>(p.runtime);
    p.form = std::make_unique<FrmMain>();
    FrmMain& form = *p.form;
    platform::win32::Win32EventLoop& loop = p.desktop.loop;
    ConnectMainWindow(
        p.runtime, form,
        [] {
            for (Win32FormView* v : liveViews())
                if (IsWindowVisible(v->hwnd())) return true;
            return false;
        },
        [&loop] { loop.quit(0); }, [](Form& dialog) { RunWin32Modal(dialog); });

    // Tab and the arrow keys move between a window's controls, as in a
    // dialog box; Tab in the order of the form's controls.
    loop.setMessageFilter([](MSG& msg) {
        HWND top = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
        if (!top) return false;
        for (Win32FormView* v : liveViews())
            if (v->hwnd() == top) return v->tabKey(msg) || IsDialogMessageW(top, &msg) != FALSE;
        return false;
    });
}

Win32DesktopProgram::~Win32DesktopProgram() {
    InstallWin32Views(false);
    g_dialogs = nullptr;
    // The windows of forms that went last are deleted by work still posted.
    parts_->desktop.loop.yield();
    parts_->desktop.loop.setMessageFilter(nullptr);
    // The form goes before the runtime it was made in.
    parts_->form.reset();
    parts_->scope.reset();
}

bool Win32DesktopProgram::start(const std::string& commandLine, ControlLink* control) {
    g_dialogs = &parts_->desktop.dialogs;
    InstallWin32Views(true);
    NocturoMain start(*parts_->form);
    start.control = control;
    if (!start.Main(commandLine)) {
        exitCode_ = start.exitCode;
        return false;
    }
    return true;
}

int Win32DesktopProgram::run() {
    if (parts_->form->unloaded()) return exitCode_;
    const int code = parts_->desktop.loop.run();
    exitCode_ = code < 0 ? 0 : code;
    return exitCode_;
}

FrmMain& Win32DesktopProgram::form() { return *parts_->form; }
Win32Tray& Win32DesktopProgram::tray() { return parts_->tray; }
Runtime& Win32DesktopProgram::runtime() { return parts_->runtime; }
platform::win32::Win32EventLoop& Win32DesktopProgram::loop() { return parts_->desktop.loop; }

int RunWin32Desktop(platform::PlatformHost& host, const std::string& commandLine) {
    Win32DesktopProgram program(host);
    auto& loop = program.loop();
    FrmMain& form = program.form();
    // The console's Ctrl+C and close end the program the orderly way.
    loop.installTerminationHandler([&](DWORD) { form.UnloadProgram(); });
    // Served from the loop the program's services hold.
    platform::IEventLoop& served = *program.runtime().pf.loop;
    ControlLink control(
        form, [&served](platform::ControlScope scope) { return platform::MakeControlServer(scope, served); },
        [](platform::ControlScope scope) { return platform::MakeControlClient(scope); });
    const int code = program.start(commandLine, &control) ? program.run() : program.exitCode();
    loop.installTerminationHandler(nullptr);
    return code;
}

}  // namespace nocturo::ui::win32

#include "ui/win32/Win32LockPcView.h"

#include <commctrl.h>
#include <windowsx.h>

#include <memory>

#include "app/LockPc_Main.h"
#include "base/Runtime.h"
#include "platform/win32/Win32Clock.h"
#include "platform/win32/Win32EventLoop.h"
#include "platform/win32/Win32Windows.h"
#include "shell/frmLockPc.h"
#include "shell/frmLockPcScr.h"
#include "ui/win32/Win32Desktop.h"
#include "ui/win32/Win32Dialogs.h"

namespace nocturo::ui::win32 {

namespace {

// The lock looks every half second whether another program took the
// foreground from it, and takes it back.
constexpr UINT_PTR kKeepFrontTimer = 1;
constexpr UINT kKeepFrontMs = 500;
// Posted when the window is shown again (by the main program too): the
// front is taken once the showing is over.
constexpr UINT kTakeFront = WM_APP + 1;
// The ids of this file's control subclasses (the form view's own is 1).
constexpr UINT_PTR kShiftSubclass = 2, kOwnSubclass = 3;

// The desktop run's boxes, while it runs: they belong to the lock window.
Win32Dialogs* g_dialogs = nullptr;

bool otherProcessInFront(HWND self) {
    HWND front = GetForegroundWindow();
    if (!front || front == self) return false;
    DWORD pid = 0;
    GetWindowThreadProcessId(front, &pid);
    return pid != GetCurrentProcessId();
}

}  // namespace

RECT VirtualScreenRect() {
    const int x = GetSystemMetrics(SM_XVIRTUALSCREEN), y = GetSystemMetrics(SM_YVIRTUALSCREEN);
    int w = GetSystemMetrics(SM_CXVIRTUALSCREEN), h = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    // A system without the virtual screen's metrics: the primary monitor.
    if (w <= 0 || h <= 0) {
        w = GetSystemMetrics(SM_CXSCREEN);
        h = GetSystemMetrics(SM_CYSCREEN);
        return RECT{0, 0, w, h};
    }
    return RECT{x, y, x + w, y + h};
}

// ---- covering the screen ------------------------------------------------------------

LRESULT CALLBACK ShiftedControlProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data) {
    auto* view = reinterpret_cast<Win32ScreenCover*>(data);
    if (msg == WM_WINDOWPOSCHANGING && view) {
        auto* pos = reinterpret_cast<WINDOWPOS*>(lp);
        if (!(pos->flags & SWP_NOMOVE)) {
            pos->x += view->shift_.x;
            pos->y += view->shift_.y;
        }
    }
    return DefSubclassProc(hwnd, msg, wp, lp);
}

Win32ScreenCover::Win32ScreenCover(Form& model) : Win32FormView(model, Kind::Black) {
    for (Control* c : form().controls())
        if (HWND w = controlWindow(c->fullName())) {
            SetWindowSubclass(w, ShiftedControlProc, kShiftSubclass, reinterpret_cast<DWORD_PTR>(this));
            shifted_.push_back(w);
        }
    cover();
}

Win32ScreenCover::~Win32ScreenCover() {
    // The form may be gone by now: only the windows are looked at.
    for (HWND w : shifted_) RemoveWindowSubclass(w, ShiftedControlProc, kShiftSubclass);
}

void Win32ScreenCover::cover() {
    const RECT screen = VirtualScreenRect();
    shift_ = {-screen.left, -screen.top};
    // The window's rectangle is forced in WM_WINDOWPOSCHANGING; the controls
    // are placed again with the new shift.
    SetWindowPos(hwnd(), nullptr, screen.left, screen.top, screen.right - screen.left, screen.bottom - screen.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    refreshAll();
}

LRESULT Win32ScreenCover::handle(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_WINDOWPOSCHANGING: {
        // Whatever the form view (from the model's twips) or anyone else
        // asks for, the window covers every monitor.
        auto* pos = reinterpret_cast<WINDOWPOS*>(lp);
        const RECT screen = VirtualScreenRect();
        pos->x = screen.left;
        pos->y = screen.top;
        pos->cx = screen.right - screen.left;
        pos->cy = screen.bottom - screen.top;
        pos->flags &= ~static_cast<UINT>(SWP_NOMOVE | SWP_NOSIZE);
        return 0;
    }
    case WM_DISPLAYCHANGE:
        cover();
        break;
    case WM_SYSCOMMAND:
        switch (wp & 0xFFF0) {
        case SC_MINIMIZE:
        case SC_MAXIMIZE:
        case SC_MOVE:
        case SC_SIZE:
        case SC_RESTORE: return 0;
        default: break;  // SC_CLOSE (Alt+F4) becomes WM_CLOSE, where the model decides
        }
        break;
    default: break;
    }
    return Win32FormView::handle(msg, wp, lp);
}

// ---- the lock window ------------------------------------------------------------

LRESULT CALLBACK LockEntryProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data) {
    auto* view = reinterpret_cast<Win32LockPcView*>(data);
    // Enter in the entry is the Unlock button's click (where no dialog
    // message handling made it one already).
    if (view && msg == WM_CHAR && wp == L'\r') {
        view->unlock();
        return 0;
    }
    return DefSubclassProc(hwnd, msg, wp, lp);
}

Win32LockPcView::Win32LockPcView(frmLockPc& model) : Win32ScreenCover(model), lock_(model) {
    entry_ = controlWindow(model.txtPassword.fullName());
    unlockButton_ = controlWindow(model.cmdUnlock.fullName());
    if (unlockButton_) SendMessageW(unlockButton_, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    if (entry_) SetWindowSubclass(entry_, LockEntryProc, kOwnSubclass, reinterpret_cast<DWORD_PTR>(this));
    SetTimer(hwnd(), kKeepFrontTimer, kKeepFrontMs, nullptr);
}

Win32LockPcView::~Win32LockPcView() {
    KillTimer(hwnd(), kKeepFrontTimer);
    if (entry_) RemoveWindowSubclass(entry_, LockEntryProc, kOwnSubclass);
}

bool Win32LockPcView::guarding() const {
    return Win32FormView::of(lock_) == this && lock_.loaded() && !lock_.ended() && IsWindowVisible(hwnd());
}

void Win32LockPcView::unlock() {
    if (Win32FormView::of(lock_) != this || lock_.ended()) return;
    lock_.fireEvent("cmdUnlock.Click");
    // The model may have ended and let go of this view meanwhile.
    if (guarding() && entry_) SetFocus(entry_);
}

void Win32LockPcView::takeFront() {
    if (!guarding()) return;
    SetWindowPos(hwnd(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(hwnd());
    if (entry_) SetFocus(entry_);
}

bool Win32LockPcView::dialogMessage(MSG& msg) {
    if (!msg.hwnd || GetAncestor(msg.hwnd, GA_ROOT) != hwnd()) return false;
    return IsDialogMessageW(hwnd(), &msg) != FALSE;
}

LRESULT Win32LockPcView::handle(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_ACTIVATE:
        if (LOWORD(wp) != WA_INACTIVE && entry_ && guarding()) {
            SetFocus(entry_);
            return 0;
        }
        break;
    case WM_SHOWWINDOW:
        if (wp) PostMessageW(hwnd(), kTakeFront, 0, 0);
        break;
    case kTakeFront:
        takeFront();
        return 0;
    case WM_TIMER:
        if (wp == kKeepFrontTimer) {
            if (guarding() && otherProcessInFront(hwnd())) takeFront();
            return 0;
        }
        break;
    case DM_GETDEFID:
        if (unlockButton_) return MAKELRESULT(GetDlgCtrlID(unlockButton_), DC_HASDEFID);
        break;
    case WM_COMMAND: {
        const LRESULT result = Win32ScreenCover::handle(msg, wp, lp);
        // A click of the button leaves the focus in the entry, for the next try.
        if (reinterpret_cast<HWND>(lp) == unlockButton_ && guarding() && entry_) SetFocus(entry_);
        return result;
    }
    default: break;
    }
    return Win32ScreenCover::handle(msg, wp, lp);
}

// ---- the screen saver -------------------------------------------------------------

namespace {

// The time is drawn on the window, not a thing to point at: every move and
// click over it belongs to the window itself.
LRESULT CALLBACK SeeThroughProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
    if (msg == WM_NCHITTEST) return HTTRANSPARENT;
    return DefSubclassProc(hwnd, msg, wp, lp);
}

}  // namespace

Win32LockPcScrView::Win32LockPcScrView(frmLockPcScr& model) : Win32ScreenCover(model), saver_(model) {
    time_ = controlWindow(model.lblTime.fullName());
    if (time_) SetWindowSubclass(time_, SeeThroughProc, kOwnSubclass, 0);
}

Win32LockPcScrView::~Win32LockPcScrView() {
    if (time_) RemoveWindowSubclass(time_, SeeThroughProc, kOwnSubclass);
}

LRESULT Win32LockPcScrView::handle(UINT msg, WPARAM wp, LPARAM lp) {
    const bool mine = Win32FormView::of(saver_) == this;
    switch (msg) {
    case WM_SHOWWINDOW:
        if (wp && mine) {
            // The system sends a move when a window appears under the
            // pointer: it is no move of the user's.
            ignoreNextMove_ = true;
            if (!started_) {
                // Where the pointer is now is where moving it counts from.
                started_ = true;
                POINT at{};
                if (GetCursorPos(&at)) saver_.Form_MouseMove(at.x, at.y);
            }
        }
        break;
    case WM_ACTIVATE:
        if (LOWORD(wp) != WA_INACTIVE) {
            SetFocus(hwnd());
            return 0;
        }
        break;
    case WM_SETCURSOR:
        if (LOWORD(lp) == HTCLIENT) {
            SetCursor(nullptr);
            return TRUE;
        }
        break;
    case WM_MOUSEMOVE: {
        if (!mine) return 0;
        if (ignoreNextMove_) {
            ignoreNextMove_ = false;
            return 0;
        }
        POINT at{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
        ClientToScreen(hwnd(), &at);
        saver_.Form_MouseMove(at.x, at.y);
        return 0;
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        if (mine) form().fireEvent("Form.KeyDown", static_cast<int>(wp));
        return 0;
    default: break;
    }
    return Win32ScreenCover::handle(msg, wp, lp);
}

// ---- the views and the runs ---------------------------------------------------------

namespace {

// The view lets go of its form at once; its window goes once the handler
// that unloaded the form has returned (it may be that window's own).
std::shared_ptr<void> keep(Win32FormView* view) {
    return std::shared_ptr<void>(view, [](void* p) {
        auto* v = static_cast<Win32FormView*>(p);
        v->detach();
        ShowWindow(v->hwnd(), SW_HIDE);
        if (hasRuntime() && rt().pf.loop) rt().pf.loop->post([v] { delete v; });
        else delete v;
    });
}

std::shared_ptr<void> makeLockView(Form& form) {
    if (auto* lock = dynamic_cast<frmLockPc*>(&form)) {
        auto* view = new Win32LockPcView(*lock);
        // A box shown meanwhile belongs to the lock, and so stays above it.
        if (g_dialogs) g_dialogs->setOwner(view->hwnd());
        return keep(view);
    }
    if (auto* saver = dynamic_cast<frmLockPcScr*>(&form)) return keep(new Win32LockPcScrView(*saver));
    return keep(new Win32FormView(form));
}

template <class Window>
int runWindow(platform::PlatformHost& host, const char* procedure, bool endsOnCtrlC) {
    EnableDpiAwareness();
    Win32DesktopServices desktop;
    auto& loop = desktop.loop;
    auto& dialogs = desktop.dialogs;
    Runtime runtime;
    desktop.install(runtime, host);
    RuntimeScope scope(runtime);
    if (!PrepareLockProgram(procedure)) return 1;

    Window form;
    form.onUnloaded = [&] { loop.quit(0); };
    // The screen saver ends the orderly way on Ctrl+C or a closed console;
    // the lock takes only the password (the system still ends it with its
    // console, as it would any program).
    loop.installTerminationHandler([&](DWORD) {
        if (endsOnCtrlC) form.Form_Unload();
    });
    // The lock window's keys as in a dialog box; the screen saver takes
    // every key itself.
    loop.setMessageFilter([&form](MSG& msg) {
        auto* view = dynamic_cast<Win32LockPcView*>(Win32FormView::of(form));
        return view && view->dialogMessage(msg);
    });
    g_dialogs = &dialogs;
    InstallWin32LockViews(true);
    form.Form_Load();
    int code = 0;
    if (!form.ended()) {
        code = loop.run();
        if (code < 0) code = 0;
    }
    InstallWin32LockViews(false);
    g_dialogs = nullptr;
    loop.setMessageFilter(nullptr);
    loop.installTerminationHandler(nullptr);
    // The windows of forms that went last are deleted by work still posted.
    loop.yield();
    return code;
}

}  // namespace

void InstallWin32LockViews(bool on) {
    if (on) EnableDpiAwareness();
    SetViewFactory(on ? ViewFactory(makeLockView) : ViewFactory());
}

int RunWin32LockPc(platform::PlatformHost& host) { return runWindow<frmLockPc>(host, kLockPcMain, false); }

int RunWin32LockPcScr(platform::PlatformHost& host) { return runWindow<frmLockPcScr>(host, kLockPcScrMain, true); }

}  // namespace nocturo::ui::win32

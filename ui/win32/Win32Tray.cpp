#include "ui/win32/Win32Tray.h"

#include <shellapi.h>

#include "platform/Error.h"
#include "platform/win32/WinText.h"

namespace nocturo::ui {

using platform::win32::LastError;
using platform::win32::Widen;

namespace {

constexpr wchar_t kWindowClass[] = L"NocturoTrayWindow";
// The shell's callback, posted on to ourselves so the handler runs after it.
constexpr UINT kDeliverMessage = WM_APP + 2;
// The same for a click on the balloon.
constexpr UINT kDeliverBalloonClick = WM_APP + 3;

UINT taskbarCreatedMessage() {
    static const UINT message = RegisterWindowMessageW(L"TaskbarCreated");
    return message;
}

bool isMouseMessage(UINT message) { return message >= WM_MOUSEMOVE && message <= WM_RBUTTONDBLCLK; }

platform::Error shellError(const char* what) {
    return platform::Error(platform::err::SystemCallFailed,
                           std::string("Shell_NotifyIconW(") + what + ") failed: the notification area refused the icon");
}

}  // namespace

Win32Tray::~Win32Tray() {
    if (shown_) notify(NIM_DELETE, 0);
    if (window_) {
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
    if (icon_) DestroyIcon(icon_);
}

bool Win32Tray::available() { return FindWindowW(L"Shell_TrayWnd", nullptr) != nullptr; }

std::wstring Win32Tray::fieldText(const std::string& value, std::size_t most) {
    std::wstring text = Widen(value);
    if (text.size() > most) {
        text.resize(most);
        if (!text.empty() && text.back() >= 0xD800 && text.back() <= 0xDBFF) text.pop_back();
    }
    return text;
}

std::wstring Win32Tray::tipText(const std::string& tip) {
    return fieldText(tip, sizeof(NOTIFYICONDATAW::szTip) / sizeof(wchar_t) - 1);
}

bool Win32Tray::showBalloon(const std::string& title, const std::string& text) {
    if (!shown_ || !window_) return false;
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = window_;
    data.uID = kIconId;
    data.uFlags = NIF_INFO;
    const std::wstring t = fieldText(title, sizeof data.szInfoTitle / sizeof(wchar_t) - 1);
    const std::wstring body = fieldText(text, sizeof data.szInfo / sizeof(wchar_t) - 1);
    wcsncpy(data.szInfoTitle, t.c_str(), sizeof data.szInfoTitle / sizeof(wchar_t) - 1);
    wcsncpy(data.szInfo, body.c_str(), sizeof data.szInfo / sizeof(wchar_t) - 1);
    data.dwInfoFlags = NIIF_INFO;
    if (Shell_NotifyIconW(NIM_MODIFY, &data) == FALSE) throw shellError("NIM_MODIFY, NIF_INFO");
    return true;
}

HICON Win32Tray::loadPicture(const std::string& name) {
    if (name.empty()) return nullptr;
    const std::wstring resource = Widen(name);
    // The resources are linked into the program itself.
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), resource.c_str(), IMAGE_ICON,
                                         GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
}

HICON Win32Tray::pictureOrThrow(const std::string& name) {
    if (name.empty()) return nullptr;
    HICON icon = loadPicture(name);
    if (!icon) throw platform::Error(platform::err::SystemCallFailed, "the program has no tray picture \"" + name + "\"");
    return icon;
}

void Win32Tray::ensureWindow() {
    if (window_) return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &Win32Tray::WindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kWindowClass;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw LastError("RegisterClassExW (tray window)");
    // A hidden top-level window, not a message-only one: those never get the
    // "TaskbarCreated" broadcast.
    window_ = CreateWindowExW(WS_EX_TOOLWINDOW, kWindowClass, L"Nocturo tray", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    if (!window_) throw LastError("CreateWindowExW (tray window)");
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    // A program running with more rights than Explorer still hears that the
    // taskbar came back (nothing to do where there is no message filter).
    ChangeWindowMessageFilterEx(window_, taskbarCreatedMessage(), MSGFLT_ALLOW, nullptr);
}

bool Win32Tray::notify(DWORD message, UINT flags) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = window_;
    data.uID = kIconId;
    data.uFlags = flags;
    data.uCallbackMessage = kCallbackMessage;
    data.hIcon = icon_;
    wcsncpy(data.szTip, tip_.c_str(), sizeof data.szTip / sizeof(wchar_t) - 1);
    return Shell_NotifyIconW(message, &data) != FALSE;
}

void Win32Tray::addIcon(const std::string& icon, const std::string& tip) {
    if (!available()) throw platform::Error(platform::err::SystemCallFailed, "no notification area on this desktop");
    ensureWindow();
    HICON picture = pictureOrThrow(icon);
    HICON old = icon_;
    icon_ = picture;
    tip_ = tipText(tip);
    const UINT flags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    // A second add replaces the icon shown.
    if (!notify(shown_ ? NIM_MODIFY : NIM_ADD, flags)) {
        icon_ = old;
        if (picture) DestroyIcon(picture);
        throw shellError(shown_ ? "NIM_MODIFY" : "NIM_ADD");
    }
    if (old) DestroyIcon(old);
    shown_ = true;
}

void Win32Tray::modifyIcon(std::uint32_t flags, const std::string& icon, const std::string& tip) {
    if (!shown_) return;
    UINT changed = 0;
    HICON picture = nullptr;
    if (flags & platform::nif::Icon) {
        picture = pictureOrThrow(icon);
        changed |= NIF_ICON;
    }
    const std::wstring oldTip = tip_;
    if (flags & platform::nif::Tip) {
        tip_ = tipText(tip);
        changed |= NIF_TIP;
    }
    if (!changed) return;
    HICON old = icon_;
    if (changed & NIF_ICON) icon_ = picture;
    if (!notify(NIM_MODIFY, changed)) {
        icon_ = old;
        tip_ = oldTip;
        if (picture) DestroyIcon(picture);
        throw shellError("NIM_MODIFY");
    }
    if ((changed & NIF_ICON) && old) DestroyIcon(old);
}

void Win32Tray::deleteIcon() {
    if (!shown_) return;
    shown_ = false;
    // Gone either way: an icon the shell no longer knows is gone already.
    notify(NIM_DELETE, 0);
    if (icon_) DestroyIcon(icon_);
    icon_ = nullptr;
}

HMENU Win32Tray::buildMenu(const std::vector<platform::TrayMenuItem>& items) {
    HMENU menu = CreatePopupMenu();
    if (!menu) throw LastError("CreatePopupMenu");
    for (std::size_t i = 0; i < items.size(); ++i) {
        const platform::TrayMenuItem& item = items[i];
        if (!item.visible) continue;
        BOOL added;
        if (item.separator) {
            added = AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        } else {
            // The caption keeps its "&": the menu takes it as the access key.
            const UINT id = static_cast<UINT>(i + 1);
            added = AppendMenuW(menu, MF_STRING, id, Widen(item.caption).c_str());
            if (added && item.isDefault) SetMenuDefaultItem(menu, id, FALSE);
        }
        if (!added) {
            const platform::Error error = LastError("AppendMenuW");
            DestroyMenu(menu);
            throw error;
        }
    }
    return menu;
}

int Win32Tray::popupMenu(const std::vector<platform::TrayMenuItem>& items) {
    ensureWindow();
    HMENU menu = buildMenu(items);
    if (GetMenuItemCount(menu) <= 0) {
        DestroyMenu(menu);
        return -1;
    }
    POINT at{};
    GetCursorPos(&at);
    SetForegroundWindow(window_);
    // TPM_NONOTIFY|TPM_RETURNCMD: the choice comes back here, never as a
    // WM_COMMAND to a window that may be gone by then.
    const BOOL chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON | TPM_LEFTALIGN,
                                       at.x, at.y, 0, window_, nullptr);
    PostMessageW(window_, WM_NULL, 0, 0);
    DestroyMenu(menu);
    const int index = static_cast<int>(chosen) - 1;
    return index >= 0 && static_cast<std::size_t>(index) < items.size() ? index : -1;
}

LRESULT CALLBACK Win32Tray::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* tray = reinterpret_cast<Win32Tray*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!tray) return DefWindowProcW(hwnd, msg, wParam, lParam);
    if (msg == kCallbackMessage) {
        const UINT mouse = LOWORD(lParam);
        if (wParam == kIconId && isMouseMessage(mouse)) PostMessageW(hwnd, kDeliverMessage, mouse, 0);
        if (wParam == kIconId && mouse == NIN_BALLOONUSERCLICK) PostMessageW(hwnd, kDeliverBalloonClick, 0, 0);
        return 0;
    }
    if (msg == kDeliverBalloonClick) {
        std::function<void()> handler = tray->balloonHandler_;
        if (handler) {
            try {
                handler();
            } catch (...) {
            }
        }
        return 0;
    }
    if (msg == kDeliverMessage) {
        // The handler may end the tray and this window with it: nothing of
        // either is touched after it runs. No exception may cross the
        // system's frames; handlers catch their own.
        MouseHandler handler = tray->handler_;
        if (handler) {
            try {
                handler(static_cast<int>(wParam));
            } catch (...) {
            }
        }
        return 0;
    }
    if (msg == taskbarCreatedMessage() && msg != 0) {
        // Explorer restarted: its new taskbar knows no icons. One that still
        // knows ours (the message sent for another reason) would show a second
        // copy on a plain add, so whatever it has goes first.
        if (tray->shown_) {
            tray->notify(NIM_DELETE, 0);
            if (!tray->notify(NIM_ADD, NIF_MESSAGE | NIF_ICON | NIF_TIP)) tray->shown_ = false;
        }
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace nocturo::ui

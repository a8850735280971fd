#include "ui/win32/Win32Dialogs.h"

#include <commdlg.h>
#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "platform/win32/WinText.h"

namespace nocturo::ui {

namespace mb = platform::mb;
using platform::win32::LastError;
using platform::win32::Narrow;
using platform::win32::Widen;

namespace {

constexpr wchar_t kProgramName[] = L"Nocturo";
constexpr wchar_t kTimerClass[] = L"NocturoDialogsTimeout";
constexpr UINT_PTR kTimeoutTimer = 1;

// ---- the input box, a dialog template built in memory -----------------------

constexpr WORD kPromptId = 100, kEntryId = 101;
// Dialog units.
constexpr short kMargin = 7, kWidth = 240, kPromptHeight = 24, kEntryHeight = 14, kButtonWidth = 50,
                kButtonHeight = 14, kGap = 4;

class TemplateWriter {
public:
    void word(WORD w) { words_.push_back(w); }
    void dword(DWORD d) {
        word(LOWORD(d));
        word(HIWORD(d));
    }
    void text(const std::wstring& s) {
        for (wchar_t c : s) word(static_cast<WORD>(c));
        word(0);
    }
    // Each control's record starts on a DWORD boundary.
    void align() {
        if (words_.size() % 2) word(0);
    }
    void item(DWORD style, short x, short y, short cx, short cy, WORD id, WORD classAtom, const std::wstring& title) {
        align();
        dword(style | WS_CHILD | WS_VISIBLE);
        dword(0);  // extended style
        word(static_cast<WORD>(x));
        word(static_cast<WORD>(y));
        word(static_cast<WORD>(cx));
        word(static_cast<WORD>(cy));
        word(id);
        word(0xFFFF);
        word(classAtom);
        text(title);
        word(0);  // no creation data
    }
    const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

private:
    std::vector<WORD> words_;  // new[]'s alignment is enough for the DWORDs
};

constexpr WORD kButtonAtom = 0x0080, kEditAtom = 0x0081, kStaticAtom = 0x0082;

struct InputState {
    std::wstring defaultText;
    std::wstring entry;
    bool onTop = false;
    bool foreground = false;
};

// Moves a control down by dy pixels.
void moveDown(HWND dialog, HWND control, int dy) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    SetWindowPos(control, nullptr, r.left, r.top + dy, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// A long prompt wraps; the box grows by what the prompt needs beyond its
// first lines.
void fitPrompt(HWND dialog) {
    HWND prompt = GetDlgItem(dialog, kPromptId);
    if (!prompt) return;
    RECT area;
    GetClientRect(prompt, &area);
    const int length = GetWindowTextLengthW(prompt);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    GetWindowTextW(prompt, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(length));
    HDC dc = GetDC(prompt);
    if (!dc) return;
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(prompt, WM_GETFONT, 0, 0)));
    RECT needed{0, 0, area.right, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &needed,
              DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS | DT_EDITCONTROL);
    SelectObject(dc, old);
    ReleaseDC(prompt, dc);
    const int dy = needed.bottom - area.bottom;
    if (dy <= 0) return;
    // No more than most of the screen: a prompt longer than that is cut.
    const int most = GetSystemMetrics(SM_CYSCREEN) * 2 / 3;
    const int grow = std::min(dy, std::max<int>(0, most - area.bottom));
    SetWindowPos(prompt, nullptr, 0, 0, area.right, area.bottom + grow, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (int id : {static_cast<int>(kEntryId), IDOK, IDCANCEL})
        if (HWND control = GetDlgItem(dialog, id)) moveDown(dialog, control, grow);
    RECT box;
    GetWindowRect(dialog, &box);
    SetWindowPos(dialog, nullptr, box.left, box.top - grow / 2, box.right - box.left, box.bottom - box.top + grow,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK InputProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_INITDIALOG: {
            auto* state = reinterpret_cast<InputState*>(lParam);
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            SetDlgItemTextW(dialog, kEntryId, state->defaultText.c_str());
            fitPrompt(dialog);
            if (state->onTop) SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
            if (state->foreground) SetForegroundWindow(dialog);
            return TRUE;  // the focus goes to the entry, its text selected
        }
        case WM_COMMAND: {
            const WORD id = LOWORD(wParam);
            if (id == IDOK) {
                auto* state = reinterpret_cast<InputState*>(GetWindowLongPtrW(dialog, DWLP_USER));
                HWND entry = GetDlgItem(dialog, kEntryId);
                const int length = GetWindowTextLengthW(entry);
                std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
                const int got = GetWindowTextW(entry, text.data(), length + 1);
                text.resize(static_cast<std::size_t>(std::max(got, 0)));
                state->entry = std::move(text);
                EndDialog(dialog, IDOK);
                return TRUE;
            }
            if (id == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            return FALSE;
        }
        default:
            return FALSE;
    }
}

// ---- the keys of a time-out -------------------------------------------------

struct BoxSearch {
    const std::wstring* title;
    HWND active;
    HWND found;
};

BOOL CALLBACK FindBox(HWND hwnd, LPARAM lParam) {
    auto* search = reinterpret_cast<BoxSearch*>(lParam);
    wchar_t className[16] = {};
    GetClassNameW(hwnd, className, 16);
    if (std::wstring(className) != L"#32770" || !IsWindowVisible(hwnd)) return TRUE;
    const int length = GetWindowTextLengthW(hwnd);
    std::wstring caption(static_cast<std::size_t>(length) + 1, L'\0');
    caption.resize(static_cast<std::size_t>(std::max(0, GetWindowTextW(hwnd, caption.data(), length + 1))));
    if (caption != *search->title) return TRUE;
    if (hwnd == search->active) {
        search->found = hwnd;
        return FALSE;
    }
    // A box with a box above it is disabled: the one on top is the one asking.
    if (!search->found && IsWindowEnabled(hwnd)) search->found = hwnd;
    return TRUE;
}

// The control of box that has the keyboard focus; the default button (where
// the focus starts) when the focus is elsewhere.
HWND focusIn(HWND box) {
    HWND focus = GetFocus();
    if (focus && (focus == box || IsChild(box, focus))) return focus;
    const LRESULT def = SendMessageW(box, DM_GETDEFID, 0, 0);
    if (HIWORD(def) == DC_HASDEFID) {
        if (HWND button = GetDlgItem(box, LOWORD(def))) {
            SetFocus(button);
            return button;
        }
    }
    return box;
}

// One key as the box's own loop gets a typed one: the key-down goes to the
// focused control through the dialog manager (which turns Tab into the next
// control and Enter into the focused or default button), the key-up to
// whichever control has the focus then.
void pressKey(HWND box, UINT vk) {
    const UINT scan = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    MSG down{focusIn(box), WM_KEYDOWN, vk, static_cast<LPARAM>(1 | (scan << 16)), static_cast<DWORD>(GetMessageTime()), {}};
    if (!IsDialogMessageW(box, &down)) {
        TranslateMessage(&down);
        DispatchMessageW(&down);
    }
    if (!IsWindow(box) || !IsWindowVisible(box)) return;  // Enter has answered the box
    MSG up{focusIn(box), WM_KEYUP, vk, static_cast<LPARAM>(1 | (scan << 16) | 0xC0000000u), static_cast<DWORD>(GetMessageTime()), {}};
    if (!IsDialogMessageW(box, &up)) DispatchMessageW(&up);
}

// The shell's folder chooser opens at the start folder.
int CALLBACK BrowseCallback(HWND hwnd, UINT msg, LPARAM, LPARAM data) {
    if (msg == BFFM_INITIALIZED && data) SendMessageW(hwnd, BFFM_SETSELECTIONW, TRUE, data);
    return 0;
}

// The shell's dialogs need COM on this thread; a thread that already has it
// in another mode keeps it (the folder chooser still works, without the
// "new folder" button at worst).
class ComScope {
public:
    ComScope() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    ~ComScope() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    HRESULT hr_;
};

std::wstring trimmed(const std::wstring& s) {
    const auto first = s.find_first_not_of(L" \t");
    if (first == std::wstring::npos) return {};
    const auto last = s.find_last_not_of(L" \t");
    return s.substr(first, last - first + 1);
}

bool isTopmost(HWND window) { return window && (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST); }

}  // namespace

Win32Dialogs::Win32Dialogs() = default;

Win32Dialogs::~Win32Dialogs() {
    if (timerWindow_) DestroyWindow(timerWindow_);
}

HWND Win32Dialogs::owner() const {
    if (HWND active = GetActiveWindow()) return active;
    if (owner_ && IsWindow(owner_)) return owner_;
    return nullptr;
}

std::wstring Win32Dialogs::boxTitle(const std::string& title) {
    return title.empty() ? std::wstring(kProgramName) : Widen(title);
}

UINT Win32Dialogs::boxStyle(int style, bool ownerOnTop) {
    UINT buttons = static_cast<UINT>(style) & 7u;
    if (buttons > static_cast<UINT>(mb::RetryCancel)) buttons = MB_OK;
    UINT icon = static_cast<UINT>(style) & 0x70u;
    if (icon > static_cast<UINT>(mb::Information)) icon = 0;
    static constexpr UINT kButtonCount[] = {1, 2, 3, 3, 2, 2};
    UINT defaultButton = static_cast<UINT>(style) & 0x300u;
    if ((defaultButton >> 8) >= kButtonCount[buttons]) defaultButton = MB_DEFBUTTON1;
    UINT result = buttons | icon | defaultButton;
    if (style & mb::SystemModal) result |= MB_SYSTEMMODAL;
    if (ownerOnTop) result |= MB_TOPMOST;
    return result;
}

int Win32Dialogs::messageBox(const std::string& prompt, int style, const std::string& title) {
    HWND parent = owner();
    UINT flags = boxStyle(style, isTopmost(parent));
    // A box the program raises from the notification area comes to the front.
    if (!parent) flags |= MB_SETFOREGROUND;
    const int answer = MessageBoxW(parent, Widen(prompt).c_str(), boxTitle(title).c_str(), flags);
    if (answer == 0) throw LastError("MessageBoxW");
    // Esc on a box whose only button is OK is that OK (so Windows says;
    // wine answers IDCANCEL).
    if (answer == IDCANCEL && (flags & MB_TYPEMASK) == MB_OK) return mb::IdOk;
    return answer >= mb::IdOk && answer <= mb::IdNo ? answer : mb::IdCancel;
}

std::optional<std::string> Win32Dialogs::inputBox(const std::string& prompt, const std::string& title,
                                                  const std::string& defaultText) {
    return askText(prompt, title, defaultText, false);
}

std::optional<std::string> Win32Dialogs::askText(const std::string& prompt, const std::string& title,
                                                 const std::string& defaultText, bool hidden) {
    const short entryTop = kMargin + kPromptHeight + kGap;
    const short buttonTop = entryTop + kEntryHeight + kGap + 3;
    const short height = buttonTop + kButtonHeight + kMargin;
    const short inner = kWidth - 2 * kMargin;

    TemplateWriter t;
    t.dword(DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU);
    t.dword(0);                 // extended style
    t.word(4);                  // controls
    t.word(0);                  // x, y: DS_CENTER places the box
    t.word(0);
    t.word(static_cast<WORD>(kWidth));
    t.word(static_cast<WORD>(height));
    t.word(0);                  // no menu
    t.word(0);                  // the standard dialog class
    t.text(boxTitle(title));
    t.word(8);                  // point size
    t.text(L"MS Shell Dlg");
    // Tab order: the entry, OK, Cancel (the prompt takes no focus).
    t.item(SS_LEFT | SS_NOPREFIX, kMargin, kMargin, inner, kPromptHeight, kPromptId, kStaticAtom, Widen(prompt));
    t.item(ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP | (hidden ? ES_PASSWORD : 0), kMargin, entryTop, inner,
           kEntryHeight, kEntryId, kEditAtom, L"");
    t.item(BS_DEFPUSHBUTTON | WS_TABSTOP, kWidth - kMargin - 2 * kButtonWidth - kGap, buttonTop, kButtonWidth,
           kButtonHeight, IDOK, kButtonAtom, L"OK");
    t.item(BS_PUSHBUTTON | WS_TABSTOP, kWidth - kMargin - kButtonWidth, buttonTop, kButtonWidth, kButtonHeight,
           IDCANCEL, kButtonAtom, L"Cancel");

    HWND parent = owner();
    InputState state;
    state.defaultText = Widen(defaultText);
    state.onTop = isTopmost(parent);
    state.foreground = parent == nullptr;
    const INT_PTR result = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), t.get(), parent, &InputProc,
                                                   reinterpret_cast<LPARAM>(&state));
    if (result == -1 || result == 0) throw LastError("DialogBoxIndirectParamW (input box)");
    if (result != IDOK) return std::nullopt;
    return Narrow(state.entry);
}

// ---- folder and file choosers ---------------------------------------------------

std::string Win32Dialogs::browseForFolder(const std::string& title, const std::string& startFolder,
                                          bool includeFiles) {
    ComScope com;
    const std::wstring heading = Widen(title);
    const std::wstring start = Widen(startFolder);
    wchar_t display[MAX_PATH] = {};
    BROWSEINFOW info{};
    info.hwndOwner = owner();
    info.pszDisplayName = display;
    info.lpszTitle = heading.empty() ? nullptr : heading.c_str();
    info.ulFlags = BIF_NEWDIALOGSTYLE | BIF_RETURNONLYFSDIRS | (includeFiles ? BIF_BROWSEINCLUDEFILES : 0);
    info.lpfn = &BrowseCallback;
    info.lParam = start.empty() ? 0 : reinterpret_cast<LPARAM>(start.c_str());
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
    if (!chosen) return {};
    wchar_t path[MAX_PATH] = {};
    const BOOL isPath = SHGetPathFromIDListW(chosen, path);
    CoTaskMemFree(chosen);
    return isPath ? Narrow(path) : std::string();
}

std::wstring Win32Dialogs::toWin32Filter(const std::string& filter) {
    std::wstring text = Widen(filter);
    text.erase(std::remove(text.begin(), text.end(), L'\0'), text.end());
    std::vector<std::wstring> parts;
    std::size_t from = 0;
    for (;;) {
        const std::size_t bar = text.find(L'|', from);
        parts.push_back(text.substr(from, bar == std::wstring::npos ? std::wstring::npos : bar - from));
        if (bar == std::wstring::npos) break;
        from = bar + 1;
    }
    std::wstring result;
    for (std::size_t i = 0; i < parts.size(); i += 2) {
        std::wstring name = trimmed(parts[i]);
        std::wstring patterns = i + 1 < parts.size() ? trimmed(parts[i + 1]) : std::wstring();
        if (name.empty() && patterns.empty()) continue;
        if (patterns.empty()) patterns = name;
        if (name.empty()) name = patterns;
        result += name;
        result += L'\0';
        result += patterns;
        result += L'\0';
    }
    if (!result.empty()) result += L'\0';
    return result;
}

std::string Win32Dialogs::openFile(const std::string& title, const std::string& filter) {
    ComScope com;
    const std::wstring heading = Widen(title);
    const std::wstring filters = toWin32Filter(filter);
    std::wstring file(32768, L'\0');
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner();
    ofn.lpstrFilter = filters.empty() ? nullptr : filters.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrTitle = heading.empty() ? nullptr : heading.c_str();
    // The program's current folder is not the user's choice of folder.
    ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameW(&ofn)) {
        const DWORD code = CommDlgExtendedError();
        if (code == 0) return {};  // cancelled
        throw platform::Error(platform::err::SystemCallFailed,
                              "GetOpenFileNameW failed (common dialog error " + std::to_string(code) + ")");
    }
    return Narrow(file.c_str());
}

// ---- timed boxes ------------------------------------------------------------------

// Each timed box stops its time-out when it closes, so a time-out left over
// from a box that was answered never presses the keys in a later box that
// happens to have the same title.
int Win32Dialogs::timedMessageBox(const std::string& prompt, int style, const std::string& title, int seconds) {
    const unsigned armed = armTimeout(title, seconds);
    try {
        const int answer = messageBox(prompt, style, title);
        disarm(armed);
        return answer;
    } catch (...) {
        disarm(armed);
        throw;
    }
}

std::optional<std::string> Win32Dialogs::timedInputBox(const std::string& prompt, const std::string& title,
                                                       const std::string& defaultText, int seconds) {
    const unsigned armed = armTimeout(title, seconds);
    try {
        auto entry = askText(prompt, title, defaultText, false);
        disarm(armed);
        return entry;
    } catch (...) {
        disarm(armed);
        throw;
    }
}

std::optional<std::string> Win32Dialogs::timedPasswordBox(const std::string& prompt, const std::string& title,
                                                          int seconds) {
    const unsigned armed = armTimeout(title, seconds);
    try {
        auto entry = askText(prompt, title, std::string(), true);
        disarm(armed);
        return entry;
    } catch (...) {
        disarm(armed);
        throw;
    }
}

LRESULT CALLBACK Win32Dialogs::TimerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_TIMER && wParam == kTimeoutTimer) {
        if (auto* self = reinterpret_cast<Win32Dialogs*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA))) self->onTimeout();
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

unsigned Win32Dialogs::armTimeout(const std::string& title, int seconds) {
    if (seconds <= 0) return 0;
    if (!timerWindow_) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &Win32Dialogs::TimerProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kTimerClass;
        if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
            throw LastError("RegisterClassExW (timed boxes)");
        // A message-only window: the box's own loop dispatches its WM_TIMER.
        timerWindow_ = CreateWindowExW(0, kTimerClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                       GetModuleHandleW(nullptr), nullptr);
        if (!timerWindow_) throw LastError("CreateWindowExW (timed boxes)");
        SetWindowLongPtrW(timerWindow_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    // One time-out for all timed boxes: a new box takes it over (SetTimer
    // with the same id restarts it).
    const UINT ms = static_cast<UINT>(std::min(seconds, INT_MAX / 1000)) * 1000u;
    if (!SetTimer(timerWindow_, kTimeoutTimer, ms, nullptr)) throw LastError("SetTimer (timed boxes)");
    timedTitle_ = boxTitle(title);
    if (++armed_ == 0) ++armed_;
    return armed_;
}

void Win32Dialogs::disarm(unsigned armed) {
    // A box that took the time-out over from this one keeps it.
    if (armed == 0 || armed != armed_) return;
    if (timerWindow_) KillTimer(timerWindow_, kTimeoutTimer);
    timedTitle_.clear();
}

// The keys go through the dialog manager from here, inside the box's own
// loop, one after the other, each to the control that has the focus after
// the one before: posting them all at once would aim every one at the
// control focused when they were posted, and SendInput needs the box to be
// the foreground window, which wine's virtual desktop and a locked or busy
// session do not always grant.
void Win32Dialogs::onTimeout() {
    if (timerWindow_) KillTimer(timerWindow_, kTimeoutTimer);
    const std::wstring title = timedTitle_;
    timedTitle_.clear();
    if (title.empty()) return;

    BoxSearch search{&title, GetActiveWindow(), nullptr};
    EnumThreadWindows(GetCurrentThreadId(), &FindBox, reinterpret_cast<LPARAM>(&search));
    HWND box = search.found;
    if (!box) return;  // answered in time

    SetForegroundWindow(box);
    SetActiveWindow(box);
    pressKey(box, VK_TAB);
    if (!IsWindow(box) || !IsWindowVisible(box)) return;
    pressKey(box, VK_TAB);
    if (!IsWindow(box) || !IsWindowVisible(box)) return;
    pressKey(box, VK_RETURN);
}

}  // namespace nocturo::ui

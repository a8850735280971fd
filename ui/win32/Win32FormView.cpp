#include "ui/win32/Win32FormView.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <cmath>

#include "app/frmSplash.h"
#include "platform/win32/Win32Windows.h"
#include "platform/win32/WinText.h"
#include "shell/FrmMain.h"
#include "ui/win32/Win32Pictures.h"

namespace nocturo::ui::win32 {

using platform::win32::LastError;
using platform::win32::Narrow;
using platform::win32::Widen;

LRESULT CALLBACK FormWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
LRESULT CALLBACK ControlSubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data);

namespace {

constexpr wchar_t kFormClass[] = L"NocturoForm";
constexpr long kSystemColor = 0x8000000F;
constexpr int kFirstId = 100;
// The dropped list of a drop-down box, below its field.
constexpr int kDropListPixels = 160;
// The link colour of a label that does something on a click.
constexpr COLORREF kLinkColor = RGB(0x1a, 0x4f, 0xb3);

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

std::map<const Form*, Win32FormView*>& viewsOfForms() {
    static std::map<const Form*, Win32FormView*> views;
    return views;
}

// Frames ("fraFolderOptions") and command buttons share the caption model;
// the name's prefix tells them apart.
bool isFrame(const Control& c) { return c.name().rfind("fra", 0) == 0; }

bool ownerDrawn(const Control& c) {
    return dynamic_cast<const Label*>(&c) || dynamic_cast<const Image*>(&c) || dynamic_cast<const Shape*>(&c);
}

// The DPI calls of newer systems, looked up at run time: the program also
// runs where user32 lacks them.
template <class Fn>
Fn user32Call(const char* name) {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(user32, name))) : nullptr;
}

UINT dpiOfWindow(HWND hwnd) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static auto getDpiForWindow = user32Call<GetDpiForWindowFn>("GetDpiForWindow");
    if (getDpiForWindow && hwnd) {
        const UINT dpi = getDpiForWindow(hwnd);
        if (dpi > 0) return dpi;
    }
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

// The outer size of a window whose client area has this size.
SIZE outerSize(int width, int height, DWORD style, DWORD exStyle, UINT dpi) {
    RECT r{0, 0, width, height};
    using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static auto adjustForDpi = user32Call<AdjustForDpiFn>("AdjustWindowRectExForDpi");
    if (!adjustForDpi || !adjustForDpi(&r, style, FALSE, exStyle, dpi)) AdjustWindowRectEx(&r, style, FALSE, exStyle);
    return {r.right - r.left, r.bottom - r.top};
}

bool faceInstalled(const std::wstring& face) {
    if (face.empty() || face.size() >= LF_FACESIZE) return false;
    HDC dc = GetDC(nullptr);
    if (!dc) return false;
    LOGFONTW lf{};
    lf.lfCharSet = DEFAULT_CHARSET;
    wcsncpy(lf.lfFaceName, face.c_str(), LF_FACESIZE - 1);
    bool found = false;
    EnumFontFamiliesExW(
        dc, &lf,
        [](const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM seen) -> int {
            *reinterpret_cast<bool*>(seen) = true;
            return 0;
        },
        reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, dc);
    return found;
}

// The face of the system's message font (Segoe UI, Tahoma). Where that
// face is only a name for another (wine puts a wide face in Tahoma's
// place), the first of the faces the forms were made for that is really
// there, so the captions keep their widths.
std::wstring systemFace() {
    static const std::wstring face = [] {
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof metrics;
        std::vector<std::wstring> candidates;
        if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0) &&
            metrics.lfMessageFont.lfFaceName[0])
            candidates.push_back(metrics.lfMessageFont.lfFaceName);
        for (const wchar_t* f : {L"Segoe UI", L"Tahoma", L"Microsoft Sans Serif", L"Arial", L"Liberation Sans",
                                 L"DejaVu Sans Condensed"})
            candidates.push_back(f);
        for (const auto& f : candidates)
            if (faceInstalled(f)) return f;
        return candidates.front();
    }();
    return face;
}

// Whether the form has a key filter for the box ("txtCount.KeyPress").
bool filtersKeys(const Form& form, const Control& box) {
    const auto events = form.handledEvents();
    return std::find(events.begin(), events.end(), box.fullName() + ".KeyPress") != events.end();
}

int buttonOfMessage(UINT msg) {
    switch (msg) {
    case WM_LBUTTONDOWN: return mouse::Left;
    case WM_RBUTTONDOWN: return mouse::Right;
    case WM_MBUTTONDOWN: return mouse::Middle;
    default: return 0;
    }
}

std::wstring windowText(HWND w) {
    const int length = GetWindowTextLengthW(w);
    std::wstring text(static_cast<size_t>(std::max(0, length)) + 1, L'\0');
    const int got = GetWindowTextW(w, text.data(), length + 1);
    text.resize(static_cast<size_t>(std::max(0, got)));
    return text;
}

void registerFormClass() {
    static bool registered = false;
    if (registered) return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = FormWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512) /* IDC_ARROW */);
    wc.hbrBackground = nullptr;  // the view paints its own background
    wc.lpszClassName = kFormClass;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw LastError("RegisterClassExW " + Narrow(kFormClass));
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    registered = true;
}

}  // namespace

void EnableDpiAwareness() {
    static bool done = false;
    if (done) return;
    done = true;
    using SetContextFn = BOOL(WINAPI*)(HANDLE);
    if (auto setContext = user32Call<SetContextFn>("SetProcessDpiAwarenessContext")) {
        // Per monitor, version 2 (-4); version 1 (-3) where 2 is unknown.
        if (setContext(reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-4))) ||
            setContext(reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-3))))
            return;
    }
    SetProcessDPIAware();
}

bool DesktopAvailable() {
    static int known = -1;
    if (known >= 0) return known == 1;
    try {
        registerFormClass();
    } catch (const platform::Error&) {
        known = 0;
        return false;
    }
    HWND probe = CreateWindowExW(0, kFormClass, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    known = probe ? 1 : 0;
    if (probe) DestroyWindow(probe);
    return known == 1;
}

COLORREF Win32FormView::toColor(long value, COLORREF systemColor) {
    if (value & 0x80000000L) return systemColor;
    return RGB(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

Win32FormView::Win32FormView(Form& model, Kind kind) : form_(model), kind_(kind) {
    registerFormClass();
    background_ = kind_ == Kind::Black ? static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)) : GetSysColorBrush(COLOR_BTNFACE);
    shownFrameless_ = frameless();
    shownTopMost_ = form_.topMost();
    hwnd_ = CreateWindowExW(exStyleWanted(), kFormClass, Widen(form_.caption()).c_str(), styleWanted(), CW_USEDEFAULT,
                            CW_USEDEFAULT, 100, 100, nullptr, nullptr, GetModuleHandleW(nullptr), this);
    if (!hwnd_) throw LastError("CreateWindowExW for " + form_.formName());
    dpi_ = dpiOfWindow(hwnd_);

    // Made in the model's order, back to front: a frame comes before the
    // boxes it holds, a title after its shadow.
    int id = kFirstId;
    for (Control* c : form_.controls()) {
        HWND w = makeControl(*c, id);
        if (!w) continue;
        windows_[c->fullName()] = w;
        controlOf_[w] = c;
        byId_[id] = c;
        if (ownerDrawn(*c)) drawn_.push_back(c);
        SetWindowSubclass(w, ControlSubclassProc, 1, reinterpret_cast<DWORD_PTR>(this));
        ++id;
    }
    // Stacked as the model lists them, back to front: the last control made
    // is the frontmost, each one before it just behind the next.
    HWND above = HWND_TOP;
    for (auto it = form_.controls().rbegin(); it != form_.controls().rend(); ++it) {
        auto w = windows_.find((*it)->fullName());
        if (w == windows_.end()) continue;
        SetWindowPos(w->second, above, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        above = w->second;
    }

    form_.onDragStart = [this] { beginDrag(); };
    form_.setChangeListener([this](const std::string& what) { refresh(what); });
    viewsOfForms()[&form_] = this;
    refreshAll();
}

Win32FormView::~Win32FormView() {
    detach();
    destroying_ = true;
    if (hwnd_) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        for (auto& [w, c] : controlOf_) RemoveWindowSubclass(w, ControlSubclassProc, 1);
        DestroyWindow(hwnd_);
    }
    clearFonts();
}

void Win32FormView::detach() {
    if (detached_) return;
    detached_ = true;
    if (dragging_ && GetCapture() == hwnd_) ReleaseCapture();
    dragging_ = false;
    viewsOfForms().erase(&form_);
    form_.setChangeListener(nullptr);
    form_.onDragStart = nullptr;
}

Win32FormView* Win32FormView::of(const Form& form) {
    auto it = viewsOfForms().find(&form);
    return it == viewsOfForms().end() ? nullptr : it->second;
}

Win32FormView* Win32FormView::named(const std::string& formName) {
    for (const auto& [form, view] : viewsOfForms())
        if (form->formName() == formName) return view;
    return nullptr;
}

HWND Win32FormView::controlWindow(const std::string& fullName) const {
    auto it = windows_.find(fullName);
    return it == windows_.end() ? nullptr : it->second;
}

Control* Win32FormView::controlOf(HWND child) const {
    auto it = controlOf_.find(child);
    return it == controlOf_.end() ? nullptr : it->second;
}

int Win32FormView::toPixels(int twips) const { return static_cast<int>(std::lround(twips * static_cast<double>(dpi_) / 1440.0)); }
int Win32FormView::toTwips(int pixels) const { return static_cast<int>(std::lround(pixels * 1440.0 / dpi_)); }

bool Win32FormView::frameless() const {
    switch (kind_) {
    case Kind::Normal: return false;
    case Kind::Main: return form_.height() == twips::SmallClockHeight;
    default: return true;
    }
}

DWORD Win32FormView::styleWanted() const {
    if (frameless()) return WS_POPUP | WS_CLIPCHILDREN;
    return WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
}

DWORD Win32FormView::exStyleWanted() const {
    DWORD ex = WS_EX_CONTROLPARENT;
    if (form_.topMost()) ex |= WS_EX_TOPMOST;
    return ex;
}

HFONT Win32FormView::fontOf(const Control& control) const {
    // The forms are laid out for an 8-point face at 96 dpi; the same size at
    // the window's DPI keeps every caption inside its control.
    int pixels = std::max(9, toPixels(165));
    bool bold = false, underline = false;
    if (auto* label = dynamic_cast<const Label*>(&control)) {
        if (label->fontSize() > 0) pixels = toPixels(label->fontSize() * 20);
        if (auto* b = dynamic_cast<const BoldLabel*>(&control)) bold = b->bold();
        underline = form_.handles(control.fullName() + ".Click");
        // A label lower than a line of text (the small clock's strip) gets
        // a face that fits it.
        const int height = toPixels(control.height());
        if (height > 0 && height < pixels + 4) pixels = std::max(8, height - 2);
    }
    const std::string key = std::to_string(pixels) + (bold ? "b" : "") + (underline ? "u" : "");
    auto it = fonts_.find(key);
    if (it != fonts_.end()) return it->second;
    LOGFONTW lf{};
    lf.lfHeight = -pixels;
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    lf.lfUnderline = underline ? TRUE : FALSE;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = CLEARTYPE_QUALITY;
    const std::wstring face = systemFace();
    wcsncpy(lf.lfFaceName, face.c_str(), LF_FACESIZE - 1);
    HFONT font = CreateFontIndirectW(&lf);
    if (!font) font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    fonts_[key] = font;
    return font;
}

void Win32FormView::clearFonts() {
    for (auto& [key, font] : fonts_)
        if (font != GetStockObject(DEFAULT_GUI_FONT)) DeleteObject(font);
    fonts_.clear();
}

bool Win32FormView::wraps(const Control& control) const {
    if (!dynamic_cast<const Label*>(&control)) return false;
    HDC dc = GetDC(hwnd_);
    HGDIOBJ old = SelectObject(dc, fontOf(control));
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(hwnd_, dc);
    return toPixels(control.height()) >= 2 * tm.tmHeight;
}

HWND Win32FormView::makeControl(Control& c, int id) {
    if (dynamic_cast<Timer*>(&c)) return nullptr;
    const wchar_t* cls = nullptr;
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
    DWORD ex = 0;
    if (dynamic_cast<ProgressBar*>(&c)) {
        cls = PROGRESS_CLASSW;
    } else if (ownerDrawn(c)) {
        cls = L"STATIC";
        style |= SS_OWNERDRAW | SS_NOTIFY;
    } else if (dynamic_cast<CheckBox*>(&c)) {
        cls = L"BUTTON";
        style |= BS_CHECKBOX | WS_TABSTOP;  // the model checks it
    } else if (dynamic_cast<OptionButton*>(&c)) {
        cls = L"BUTTON";
        style |= BS_RADIOBUTTON | WS_TABSTOP;  // the model keeps its group
    } else if (dynamic_cast<TextBox*>(&c)) {
        cls = L"EDIT";
        style |= ES_AUTOHSCROLL | WS_TABSTOP;
        ex |= WS_EX_CLIENTEDGE;
    } else if (dynamic_cast<ComboBox*>(&c)) {
        cls = L"COMBOBOX";
        style |= CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
    } else if (dynamic_cast<ListBox*>(&c)) {
        cls = L"LISTBOX";
        style |= LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP;
        ex |= WS_EX_CLIENTEDGE;
    } else if (dynamic_cast<CaptionControl*>(&c)) {
        cls = L"BUTTON";
        style |= isFrame(c) ? BS_GROUPBOX : (BS_PUSHBUTTON | WS_TABSTOP);
    } else {
        return nullptr;
    }
    HWND w = CreateWindowExW(ex, cls, L"", style, 0, 0, 0, 0, hwnd_,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    if (!w) throw LastError("CreateWindowExW for " + c.fullName());
    if (dynamic_cast<ProgressBar*>(&c)) SendMessageW(w, PBM_SETRANGE32, 0, 100);
    return w;
}

void Win32FormView::fire(const Control& control, const char* event, int arg) {
    if (detached_) return;
    form_.fireEvent(control.fullName() + "." + event, arg);
}

bool Win32FormView::tabKey(const MSG& msg) {
    if (msg.message != WM_KEYDOWN || msg.wParam != VK_TAB || detached_) return false;
    HWND focus = GetFocus();
    if (focus && IsChild(hwnd_, focus) &&
        (SendMessageW(focus, WM_GETDLGCODE, msg.wParam, reinterpret_cast<LPARAM>(&msg)) & DLGC_WANTTAB))
        return false;
    // The tab stops in the model's order.
    std::vector<HWND> stops;
    for (Control* c : form_.controls()) {
        HWND w = controlWindow(c->fullName());
        if (w && (GetWindowLongPtrW(w, GWL_STYLE) & WS_TABSTOP) && IsWindowVisible(w) && IsWindowEnabled(w))
            stops.push_back(w);
    }
    if (stops.empty()) return true;
    // The focus may be in a part of a control (a drop-down box's field).
    HWND from = focus;
    while (from && GetParent(from) != hwnd_) from = GetParent(from);
    const bool backwards = GetKeyState(VK_SHIFT) < 0;
    const auto at = std::find(stops.begin(), stops.end(), from);
    std::size_t next = 0;
    if (at == stops.end()) {
        next = backwards ? stops.size() - 1 : 0;
    } else {
        const std::size_t i = static_cast<std::size_t>(at - stops.begin());
        next = backwards ? (i + stops.size() - 1) % stops.size() : (i + 1) % stops.size();
    }
    HWND to = stops[next];
    if (SendMessageW(to, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) SendMessageW(to, EM_SETSEL, 0, -1);
    SetFocus(to);
    return true;
}

void Win32FormView::refreshAll() {
    for (Control* c : form_.controls())
        if (controlWindow(c->fullName())) refreshControl(*c);
    refreshForm();
}

void Win32FormView::refresh(const std::string& what) {
    if (detached_) return;
    if (what.empty()) {
        refreshForm();
        return;
    }
    if (!controlWindow(what)) return;
    if (Control* c = form_.findControl(what)) refreshControl(*c);
}

void Win32FormView::invalidateOverlapping(const Control& control) {
    // A drawn control shows through the transparent ones above it: they are
    // drawn again with it.
    HWND own = controlWindow(control.fullName());
    RECT mine{};
    GetWindowRect(own, &mine);
    InvalidateRect(own, nullptr, TRUE);
    for (Control* other : drawn_) {
        if (other == &control) continue;
        HWND w = controlWindow(other->fullName());
        RECT theirs{}, both{};
        GetWindowRect(w, &theirs);
        if (IntersectRect(&both, &mine, &theirs)) InvalidateRect(w, nullptr, TRUE);
    }
}

void Win32FormView::refreshControl(Control& control) {
    HWND w = controlWindow(control.fullName());
    if (!w) return;
    const bool wasApplying = applying_;
    applying_ = true;
    const bool combo = dynamic_cast<ComboBox*>(&control) != nullptr;
    // From the edges, so controls that meet in twips meet in pixels too,
    // whatever the rounding at this DPI.
    const int left = toPixels(control.left()), top = toPixels(control.top());
    const int width = toPixels(control.left() + control.width()) - left;
    const int height = toPixels(control.top() + control.height()) - top;
    SetWindowPos(w, nullptr, left, top, width, combo ? height + kDropListPixels : height, SWP_NOZORDER | SWP_NOACTIVATE);
    if (combo) {
        // The field's own height: the model's, less the box's border.
        SendMessageW(w, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), std::max(1, height - 6));
    }
    SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(fontOf(control)), FALSE);
    EnableWindow(w, control.enabled() ? TRUE : FALSE);
    ShowWindow(w, control.visible() ? SW_SHOWNA : SW_HIDE);

    if (auto* bar = dynamic_cast<ProgressBar*>(&control)) {
        SendMessageW(w, PBM_SETPOS, static_cast<WPARAM>(bar->value()), 0);
    } else if (ownerDrawn(control)) {
        if (auto* label = dynamic_cast<Label*>(&control)) SetWindowTextW(w, Widen(label->caption()).c_str());
        invalidateOverlapping(control);
    } else if (auto* box = dynamic_cast<CheckBox*>(&control)) {
        SetWindowTextW(w, Widen(box->caption()).c_str());
        SendMessageW(w, BM_SETCHECK, box->checked() ? BST_CHECKED : BST_UNCHECKED, 0);
    } else if (auto* option = dynamic_cast<OptionButton*>(&control)) {
        SetWindowTextW(w, Widen(option->caption()).c_str());
        SendMessageW(w, BM_SETCHECK, option->value() ? BST_CHECKED : BST_UNCHECKED, 0);
    } else if (auto* text = dynamic_cast<TextBox*>(&control)) {
        const WPARAM mask = text->password() ? static_cast<WPARAM>(L'\x25CF') : 0;
        if (static_cast<WPARAM>(SendMessageW(w, EM_GETPASSWORDCHAR, 0, 0)) != mask) {
            SendMessageW(w, EM_SETPASSWORDCHAR, mask, 0);
            InvalidateRect(w, nullptr, TRUE);
        }
        const std::wstring wanted = Widen(text->text());
        if (windowText(w) != wanted) {
            DWORD start = 0, end = 0;
            SendMessageW(w, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
            SetWindowTextW(w, wanted.c_str());
            const DWORD cursor = std::min<DWORD>(end, static_cast<DWORD>(wanted.size()));
            SendMessageW(w, EM_SETSEL, cursor, cursor);
        }
        if (text->selLength() > 0)
            SendMessageW(w, EM_SETSEL, static_cast<WPARAM>(text->selStart()),
                         static_cast<LPARAM>(text->selStart() + text->selLength()));
    } else if (auto* c = dynamic_cast<ComboBox*>(&control)) {
        std::vector<std::wstring> shown;
        const int count = static_cast<int>(SendMessageW(w, CB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            const auto length = SendMessageW(w, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
            std::wstring item(static_cast<size_t>(std::max<LRESULT>(0, length)) + 1, L'\0');
            SendMessageW(w, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item.data()));
            item.resize(static_cast<size_t>(std::max<LRESULT>(0, length)));
            shown.push_back(item);
        }
        std::vector<std::wstring> items;
        for (const auto& item : c->items()) items.push_back(Widen(item));
        if (shown != items) {
            SendMessageW(w, CB_RESETCONTENT, 0, 0);
            for (const auto& item : items) SendMessageW(w, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
        }
        SendMessageW(w, CB_SETCURSEL, static_cast<WPARAM>(c->listIndex()), 0);
    } else if (auto* list = dynamic_cast<ListBox*>(&control)) {
        std::vector<std::wstring> shown;
        const int count = static_cast<int>(SendMessageW(w, LB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            const auto length = SendMessageW(w, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
            std::wstring item(static_cast<size_t>(std::max<LRESULT>(0, length)) + 1, L'\0');
            SendMessageW(w, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item.data()));
            item.resize(static_cast<size_t>(std::max<LRESULT>(0, length)));
            shown.push_back(item);
        }
        std::vector<std::wstring> items;
        for (const auto& item : list->items()) items.push_back(Widen(item));
        if (shown != items) {
            SendMessageW(w, LB_RESETCONTENT, 0, 0);
            for (const auto& item : items) SendMessageW(w, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
        }
        SendMessageW(w, LB_SETCURSEL, static_cast<WPARAM>(list->listIndex()), 0);
    } else if (auto* caption = dynamic_cast<CaptionControl*>(&control)) {
        // An "&" marks the access key, as the system's own buttons show it.
        SetWindowTextW(w, Widen(caption->caption()).c_str());
    }
    applying_ = wasApplying;
}

void Win32FormView::layOut() {
    const int width = std::max(1, toPixels(form_.width()));
    const int height = std::max(1, toPixels(form_.height()));
    // The frame as the system draws it now; worked out from the style only
    // while the window is minimised (no client area to measure).
    SIZE outer = outerSize(width, height, styleWanted(), exStyleWanted(), dpi_);
    RECT frame{}, client{};
    if (!IsIconic(hwnd_) && GetWindowRect(hwnd_, &frame) && GetClientRect(hwnd_, &client) && client.right > 0 &&
        client.bottom > 0) {
        outer.cx = width + (frame.right - frame.left) - client.right;
        outer.cy = height + (frame.bottom - frame.top) - client.bottom;
    }
    UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
    int x = 0, y = 0;
    if (movedByUser_) {
        shownLeft_ = form_.left();
        shownTop_ = form_.top();
        flags |= SWP_NOMOVE;
    } else if (!placed_ || form_.left() != shownLeft_ || form_.top() != shownTop_) {
        placed_ = true;
        shownLeft_ = form_.left();
        shownTop_ = form_.top();
        x = toPixels(shownLeft_);
        y = toPixels(shownTop_);
    } else {
        flags |= SWP_NOMOVE;
    }
    SetWindowPos(hwnd_, nullptr, x, y, outer.cx, outer.cy, flags);
}

void Win32FormView::refreshForm() {
    if (detached_) return;
    const bool wasApplying = applying_;
    applying_ = true;
    SetWindowTextW(hwnd_, Widen(form_.caption()).c_str());
    const bool wantFrameless = frameless();
    const bool wantTopMost = form_.topMost();
    if (wantFrameless != shownFrameless_) {
        shownFrameless_ = wantFrameless;
        const LONG_PTR keep = GetWindowLongPtrW(hwnd_, GWL_STYLE) & (WS_VISIBLE | WS_MINIMIZE | WS_DISABLED);
        SetWindowLongPtrW(hwnd_, GWL_STYLE, static_cast<LONG_PTR>(styleWanted()) | keep);
        SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    }
    if (wantTopMost != shownTopMost_) {
        shownTopMost_ = wantTopMost;
        SetWindowPos(hwnd_, wantTopMost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    layOut();
    if (!form_.visible() || !form_.loaded()) {
        if (IsWindowVisible(hwnd_)) ShowWindow(hwnd_, SW_HIDE);
        applying_ = wasApplying;
        if (onClosed) onClosed();
        return;
    }
    const bool minimized = form_.windowState() == WindowState::Minimized;
    if (minimized != (IsIconic(hwnd_) != FALSE)) {
        ShowWindow(hwnd_, minimized ? SW_SHOWMINNOACTIVE : SW_SHOWNORMAL);
    } else if (!IsWindowVisible(hwnd_)) {
        ShowWindow(hwnd_, SW_SHOWNORMAL);
    }
    if (form_.foreground() && !minimized) {
        SetForegroundWindow(hwnd_);
        form_.setForeground(false);
    }
    applying_ = wasApplying;
}

void Win32FormView::applyDpi(UINT dpi) {
    if (dpi == 0 || dpi == dpi_) return;
    dpi_ = dpi;
    clearFonts();
    placed_ = false;  // the window's place is in twips too
    for (Control* c : form_.controls())
        if (controlWindow(c->fullName())) refreshControl(*c);
    if (!detached_) layOut();
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void Win32FormView::beginDrag() {
    if (detached_) return;
    POINT cursor{};
    GetCursorPos(&cursor);
    RECT r{};
    GetWindowRect(hwnd_, &r);
    dragOffset_ = {cursor.x - r.left, cursor.y - r.top};
    dragging_ = true;
    SetCapture(hwnd_);
}

// While a drag runs the window holds the mouse, so its moves and the
// release come to the form window whichever control the press was on.
bool Win32FormView::dragMessage(UINT msg, LPARAM lp, HWND from) {
    if (!dragging_) return false;
    if (msg == WM_MOUSEMOVE) {
        POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
        ClientToScreen(from, &p);
        SetWindowPos(hwnd_, nullptr, p.x - dragOffset_.x, p.y - dragOffset_.y, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        return true;
    }
    if (msg == WM_LBUTTONUP || msg == WM_CAPTURECHANGED) {
        dragging_ = false;
        if (msg == WM_LBUTTONUP && GetCapture() == hwnd_) ReleaseCapture();
        // The model keeps where the window went, in twips.
        RECT r{};
        GetWindowRect(hwnd_, &r);
        const int left = toTwips(r.left), top = toTwips(r.top);
        shownLeft_ = left;
        shownTop_ = top;
        if (!detached_) {
            // The window is there already: the model only learns where.
            const bool wasApplying = applying_;
            applying_ = true;
            movedByUser_ = true;
            form_.setLeft(left);
            form_.setTop(top);
            movedByUser_ = false;
            applying_ = wasApplying;
        }
        return true;
    }
    return false;
}

void Win32FormView::onCommand(HWND child, int code) {
    Control* c = controlOf(child);
    if (!c || applying_ || detached_) return;
    if (dynamic_cast<CheckBox*>(c) || dynamic_cast<OptionButton*>(c)) {
        if (code != BN_CLICKED) return;
        fire(*c, "Click");
        if (!detached_) refreshControl(*c);
    } else if (auto* text = dynamic_cast<TextBox*>(c)) {
        if (code == EN_CHANGE) {
            text->setText(Narrow(windowText(child)));
            fire(*text, "Change");
        } else if (code == EN_KILLFOCUS) {
            fire(*text, "LostFocus");
        }
    } else if (auto* combo = dynamic_cast<ComboBox*>(c)) {
        if (code != CBN_SELCHANGE) return;
        const int i = static_cast<int>(SendMessageW(child, CB_GETCURSEL, 0, 0));
        if (i < 0 || i >= static_cast<int>(combo->items().size())) return;
        combo->setListIndex(i);
        fire(*combo, "Click");
    } else if (auto* list = dynamic_cast<ListBox*>(c)) {
        if (code != LBN_SELCHANGE) return;
        const int row = static_cast<int>(SendMessageW(child, LB_GETCURSEL, 0, 0));
        if (row == list->listIndex() || row < 0 || row >= list->listCount()) return;
        list->setListIndex(row);
        fire(*list, "Click");
    } else if (dynamic_cast<CaptionControl*>(c) && !ownerDrawn(*c) && !isFrame(*c)) {
        if (code == BN_CLICKED) fire(*c, "Click");
    }
}

void Win32FormView::drawContent(HDC dc, const Control& control, const RECT& into, int dx, int dy) {
    RECT r = into;
    OffsetRect(&r, dx, dy);
    if (auto* shape = dynamic_cast<const Shape*>(&control)) {
        HBRUSH fill = CreateSolidBrush(toColor(shape->fillColor(), GetSysColor(COLOR_BTNFACE)));
        FillRect(dc, &r, fill);
        DeleteObject(fill);
        FrameRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        return;
    }
    if (auto* image = dynamic_cast<const Image*>(&control)) {
        DrawPicture(dc, image->picture(), r);
        return;
    }
    auto* label = dynamic_cast<const Label*>(&control);
    if (!label) return;
    if (label->backColor() != kSystemColor) {
        HBRUSH fill = CreateSolidBrush(toColor(label->backColor(), GetSysColor(COLOR_BTNFACE)));
        FillRect(dc, &r, fill);
        DeleteObject(fill);
    }
    if (label->caption().empty()) return;
    COLORREF color = toColor(label->foreColor(), kind_ == Kind::Black ? RGB(255, 255, 255) : GetSysColor(COLOR_BTNTEXT));
    if (form_.handles(control.fullName() + ".Click")) color = kLinkColor;
    if (!control.enabled()) color = GetSysColor(COLOR_GRAYTEXT);
    SetTextColor(dc, color);
    SetBkMode(dc, TRANSPARENT);
    HGDIOBJ old = SelectObject(dc, fontOf(control));
    const std::wstring text = Widen(label->caption());
    UINT format = DT_NOPREFIX | DT_LEFT;
    format |= wraps(control) ? DT_WORDBREAK : (DT_SINGLELINE | DT_VCENTER);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, format);
    SelectObject(dc, old);
}

void Win32FormView::drawItem(const DRAWITEMSTRUCT& item) {
    Control* c = controlOf(item.hwndItem);
    if (!c) return;
    RECT mine{};
    GetWindowRect(item.hwndItem, &mine);
    // Drawn into a buffer, then copied at once: no flicker while the clock
    // ticks.
    const int width = item.rcItem.right - item.rcItem.left, height = item.rcItem.bottom - item.rcItem.top;
    if (width <= 0 || height <= 0) return;
    HDC dc = CreateCompatibleDC(item.hDC);
    HBITMAP buffer = CreateCompatibleBitmap(item.hDC, width, height);
    HGDIOBJ oldBitmap = SelectObject(dc, buffer);
    RECT all{0, 0, width, height};
    FillRect(dc, &all, background_);
    // What lies below shows through: the controls drawn before this one
    // that it covers, each at its place relative to this one.
    for (Control* below : drawn_) {
        if (below == c) break;
        HWND w = controlWindow(below->fullName());
        if (!IsWindowVisible(w)) continue;
        RECT theirs{}, both{};
        GetWindowRect(w, &theirs);
        if (!IntersectRect(&both, &mine, &theirs)) continue;
        RECT local{0, 0, theirs.right - theirs.left, theirs.bottom - theirs.top};
        drawContent(dc, *below, local, theirs.left - mine.left, theirs.top - mine.top);
    }
    drawContent(dc, *c, all, 0, 0);
    BitBlt(item.hDC, item.rcItem.left, item.rcItem.top, width, height, dc, 0, 0, SRCCOPY);
    SelectObject(dc, oldBitmap);
    DeleteObject(buffer);
    DeleteDC(dc);
}

LRESULT Win32FormView::controlMessage(HWND child, Control& c, UINT msg, WPARAM wp, LPARAM lp, bool& handled) {
    handled = false;
    if (detached_) return 0;
    if ((msg == WM_MOUSEMOVE || msg == WM_LBUTTONUP) && dragMessage(msg, lp, child)) {
        handled = true;
        return 0;
    }
    if (isFrame(c) && msg == WM_ERASEBKGND) {
        // A frame paints only its line and title: the form's surface is
        // filled in below the boxes it holds.
        RECT r{};
        GetClientRect(child, &r);
        FillRect(reinterpret_cast<HDC>(wp), &r, background_);
        handled = true;
        return 1;
    }
    if (ownerDrawn(c) && msg == WM_ERASEBKGND) {
        handled = true;
        return 1;  // drawn whole by WM_DRAWITEM
    }
    if (!c.enabled()) return 0;
    if (dynamic_cast<TextBox*>(&c)) {
        if (msg == WM_GETDLGCODE) {
            // Enter belongs to a box whose keys the form filters (a count
            // loads on Enter): the loop's dialog-box keys would take it for
            // the default button and the box would never see it.
            const auto* key = reinterpret_cast<const MSG*>(lp);
            if (key && key->message == WM_KEYDOWN && key->wParam == VK_RETURN && filtersKeys(form_, c)) {
                handled = true;
                return DefSubclassProc(child, msg, wp, lp) | DLGC_WANTMESSAGE;
            }
        } else if (msg == WM_LBUTTONUP) {
            fire(c, "Click");
        } else if (msg == WM_CHAR) {
            std::int16_t key = 0;
            if (wp == 8 || wp == 13) key = static_cast<std::int16_t>(wp);  // Backspace, Enter
            else if (wp >= 32 && wp < 127) key = static_cast<std::int16_t>(wp);
            if (key != 0) {
                const std::int16_t keep = form_.keyPress(c.fullName(), key);
                if (keep == 0) {
                    handled = true;  // dropped
                    return 0;
                }
                if (keep != key) {
                    handled = true;
                    return DefSubclassProc(child, msg, static_cast<WPARAM>(keep), lp);
                }
            }
        }
        return 0;
    }
    if (!ownerDrawn(c)) return 0;
    // Labels and pictures.
    switch (msg) {
    case WM_NCHITTEST:
        handled = true;
        return HTCLIENT;
    case WM_SETCURSOR:
        if (platform::win32::BusyPointer()) {
            SetCursor(platform::win32::PointerCursor());
            handled = true;
            return TRUE;
        }
        if (form_.handles(c.fullName() + ".Click") || form_.handles(c.fullName() + ".DblClick")) {
            SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32649) /* IDC_HAND */));
            handled = true;
            return TRUE;
        }
        return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        handled = true;
        fire(c, "MouseDown", buttonOfMessage(msg));
        return 0;
    case WM_LBUTTONUP: {
        handled = true;
        RECT r{};
        GetClientRect(child, &r);
        const POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
        if (PtInRect(&r, p)) fire(c, "Click");
        return 0;
    }
    case WM_LBUTTONDBLCLK:
        handled = true;
        fire(c, "DblClick");
        return 0;
    default: return 0;
    }
}

LRESULT Win32FormView::handle(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_ERASEBKGND: {
        RECT r{};
        GetClientRect(hwnd_, &r);
        FillRect(reinterpret_cast<HDC>(wp), &r, background_);
        return 1;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        HDC dc = reinterpret_cast<HDC>(wp);
        SetBkMode(dc, TRANSPARENT);
        if (kind_ == Kind::Black) SetTextColor(dc, RGB(255, 255, 255));
        return reinterpret_cast<LRESULT>(background_);
    }
    case WM_DRAWITEM:
        drawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
        return TRUE;
    case WM_COMMAND:
        if (lp) onCommand(reinterpret_cast<HWND>(lp), HIWORD(wp));
        return 0;
    case WM_MOUSEMOVE:
        if (dragMessage(msg, lp, hwnd_)) return 0;
        break;
    case WM_CAPTURECHANGED:
        if (dragging_ && reinterpret_cast<HWND>(lp) != hwnd_) dragMessage(msg, lp, hwnd_);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        // Only a press on the bare surface comes here: the form's own.
        if (!detached_) form_.fireEvent("Form.MouseDown", buttonOfMessage(msg));
        return 0;
    case WM_LBUTTONUP: {
        if (dragMessage(msg, lp, hwnd_)) return 0;
        RECT r{};
        GetClientRect(hwnd_, &r);
        const POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
        if (!detached_ && PtInRect(&r, p)) form_.fireEvent("Form.Click");
        return 0;
    }
    case WM_CLOSE:
        // The close box: the model says whether the window may close.
        if (detached_ || !form_.loaded()) {
            ShowWindow(hwnd_, SW_HIDE);
            return 0;
        }
        form_.fireEvent("Form.Close");
        if (!detached_) refreshForm();
        return 0;
    case WM_SIZE:
        if (!applying_ && !detached_) {
            // The user minimised or restored the window.
            applying_ = true;
            if (wp == SIZE_MINIMIZED) form_.setWindowState(WindowState::Minimized);
            else if (wp == SIZE_MAXIMIZED) form_.setWindowState(WindowState::Maximized);
            else if (wp == SIZE_RESTORED) form_.setWindowState(WindowState::Normal);
            applying_ = false;
        }
        break;
    case WM_DPICHANGED:
        applyDpi(HIWORD(wp));
        return 0;
    case WM_SETCURSOR:
        // The busy pointer over every part of the window while the program works.
        if (platform::win32::BusyPointer() && LOWORD(lp) == HTCLIENT) {
            SetCursor(platform::win32::PointerCursor());
            return TRUE;
        }
        break;
    default: break;
    }
    return DefWindowProcW(hwnd_, msg, wp, lp);
}

LRESULT CALLBACK FormWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lp);
        auto* view = static_cast<Win32FormView*>(create->lpCreateParams);
        if (view) {
            view->hwnd_ = hwnd;
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(view));
        }
    }
    auto* view = reinterpret_cast<Win32FormView*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!view || view->destroying_) return DefWindowProcW(hwnd, msg, wp, lp);
    try {
        return view->handle(msg, wp, lp);
    } catch (...) {
        // A handler's failure must not unwind through the system's frames.
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

LRESULT CALLBACK ControlSubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data) {
    auto* view = reinterpret_cast<Win32FormView*>(data);
    if (view && !view->destroying_) {
        if (Control* c = view->controlOf(hwnd)) {
            bool handled = false;
            LRESULT result = 0;
            try {
                result = view->controlMessage(hwnd, *c, msg, wp, lp, handled);
            } catch (...) {
                handled = false;
            }
            if (handled) return result;
        }
    }
    return DefSubclassProc(hwnd, msg, wp, lp);
}

}  // namespace nocturo::ui::win32

#pragma once
// What the dialog and tray tests share: whether windows can be made here,
// a watcher thread that finds a box by its caption and answers it, and a
// window timer on the test's own thread.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace nocturo::ui::testing {

// Under plain wine without a display no top-level window can be created.
inline bool HaveDesktop() {
    HWND probe = CreateWindowExW(0, L"STATIC", L"probe", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    if (!probe) return false;
    DestroyWindow(probe);
    return true;
}

inline std::wstring UniqueTitle(const std::wstring& prefix) {
    static std::atomic<unsigned> counter{0};
    return prefix + L" " + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
}

inline std::wstring ClassOf(HWND hwnd) {
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    return name;
}

inline std::wstring TextOf(HWND hwnd) {
    wchar_t text[512] = {};
    GetWindowTextW(hwnd, text, 512);
    return text;
}

// The control with the keyboard focus in the thread that owns window.
inline HWND FocusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

// Where a typed key goes in box: its focused control, else the box itself.
inline HWND KeyTarget(HWND box) {
    HWND focus = FocusOf(box);
    return focus ? focus : box;
}

// A key as the keyboard sends it: down, then up, posted to target's queue.
inline void PostKey(HWND target, UINT vk) {
    const UINT scan = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    PostMessageW(target, WM_KEYDOWN, vk, static_cast<LPARAM>(1 | (scan << 16)));
    PostMessageW(target, WM_KEYUP, vk, static_cast<LPARAM>(1 | (scan << 16) | 0xC0000000u));
}

inline void PostText(HWND target, const std::wstring& text) {
    for (wchar_t c : text) PostMessageW(target, WM_CHAR, c, 1);
}

struct Child {
    HWND hwnd;
    std::wstring className;
    int id;
    LONG_PTR style;
};

// The visible children of a window.
inline std::vector<Child> VisibleChildren(HWND parent) {
    std::vector<Child> children;
    EnumChildWindows(
        parent,
        [](HWND hwnd, LPARAM lParam) -> BOOL {
            if (IsWindowVisible(hwnd))
                reinterpret_cast<std::vector<Child>*>(lParam)->push_back(
                    {hwnd, ClassOf(hwnd), GetDlgCtrlID(hwnd), GetWindowLongPtrW(hwnd, GWL_STYLE)});
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&children));
    return children;
}

// Finds a visible window of class className (any caption when title is
// empty) that belongs to thread, waiting up to timeout.
inline HWND WaitForWindow(const wchar_t* className, const std::wstring& title, DWORD thread,
                          std::chrono::milliseconds timeout = std::chrono::seconds(15)) {
    struct Search {
        const wchar_t* className;
        const std::wstring* title;
        DWORD thread;
        HWND found;
    };
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < until) {
        Search search{className, &title, thread, nullptr};
        EnumWindows(
            [](HWND hwnd, LPARAM lParam) -> BOOL {
                auto* s = reinterpret_cast<Search*>(lParam);
                if (GetWindowThreadProcessId(hwnd, nullptr) != s->thread || !IsWindowVisible(hwnd)) return TRUE;
                if (ClassOf(hwnd) != s->className) return TRUE;
                if (!s->title->empty() && TextOf(hwnd) != *s->title) return TRUE;
                s->found = hwnd;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return nullptr;
}

// On a thread of its own: waits for the test thread's box with that caption
// (class #32770), lets it settle, and runs act on it. The test thread is
// inside the box's modal loop meanwhile.
class BoxWatcher {
public:
    BoxWatcher(std::wstring title, std::function<void(HWND)> act, const wchar_t* className = L"#32770")
        : thread_(GetCurrentThreadId()) {
        worker_ = std::thread([this, title = std::move(title), act = std::move(act), className] {
            HWND box = WaitForWindow(className, title, thread_);
            found_ = box != nullptr;
            if (!box) return;
            // The focus is set once the box has shown itself.
            for (int i = 0; i < 100 && !FocusOf(box); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            act(box);
            // A box that the test's answer did not close would hang the test:
            // it fails instead, and the box is closed by any means there are.
            if (waitClosed(box, std::chrono::seconds(10))) return;
            stuck_ = true;
            for (WPARAM id : {IDCANCEL, IDOK, IDNO}) {
                PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
                if (waitClosed(box, std::chrono::seconds(1))) return;
            }
            PostKey(box, VK_ESCAPE);
            PostKey(box, VK_ESCAPE);
            PostMessageW(box, WM_CANCELMODE, 0, 0);
            PostMessageW(box, WM_CLOSE, 0, 0);
        });
    }
    ~BoxWatcher() { join(); }
    BoxWatcher(const BoxWatcher&) = delete;
    BoxWatcher& operator=(const BoxWatcher&) = delete;
    void join() {
        if (worker_.joinable()) worker_.join();
    }
    // Whether the box came up and closed on the test's answer.
    bool found() {
        join();
        return found_ && !stuck_;
    }

private:
    static bool waitClosed(HWND box, std::chrono::milliseconds timeout) {
        const auto until = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < until) {
            if (!IsWindow(box) || !IsWindowVisible(box)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    DWORD thread_;
    std::atomic<bool> found_{false};
    std::atomic<bool> stuck_{false};
    std::thread worker_;
};

// A timer on the test's thread (a message-only window's WM_TIMER), as the
// program's loop keeps one: ticks reach it from inside any modal loop.
class WindowTimer {
public:
    WindowTimer(UINT intervalMs, std::function<void()> onTick, bool once)
        : onTick_(std::move(onTick)), once_(once) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &WindowTimer::Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"NocturoTestTimer";
        RegisterClassExW(&wc);
        hwnd_ = CreateWindowExW(0, L"NocturoTestTimer", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        SetTimer(hwnd_, 1, intervalMs, nullptr);
    }
    ~WindowTimer() {
        KillTimer(hwnd_, 1);
        DestroyWindow(hwnd_);
    }
    WindowTimer(const WindowTimer&) = delete;
    WindowTimer& operator=(const WindowTimer&) = delete;
    int ticks() const { return ticks_; }

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<WindowTimer*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self && msg == WM_TIMER) {
            if (self->once_) KillTimer(hwnd, 1);
            ++self->ticks_;
            if (self->onTick_) self->onTick_();
            return 0;
        }
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }

    HWND hwnd_ = nullptr;
    std::function<void()> onTick_;
    bool once_;
    int ticks_ = 0;
};

// Runs this thread's messages for a while (or until done says so).
inline void PumpFor(std::chrono::milliseconds time, const std::function<bool()>& done = {}) {
    const auto until = std::chrono::steady_clock::now() + time;
    while (std::chrono::steady_clock::now() < until) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done && done()) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

}  // namespace nocturo::ui::testing

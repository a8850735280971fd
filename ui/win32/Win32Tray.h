#pragma once
// The notification area on Win32: Shell_NotifyIconW with a hidden window of
// our own that gets the icon's callback message, and TrackPopupMenu for the
// icon's menu. The pictures are the ICON resources of ui/win32/Icons.rc.
//
// One thread: the window, and with it the icon's messages, belong to the
// thread that first shows the icon or its menu, which must pump messages.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/ITray.h"

namespace nocturo::ui {

class Win32Tray : public platform::ITray {
public:
    // The message the shell sends the window for the icon (lParam: the mouse message).
    static constexpr UINT kCallbackMessage = WM_APP + 1;
    static constexpr UINT kIconId = 1;

    // Creates nothing yet: a program without a desktop (a service) can hold one.
    Win32Tray() = default;
    // Takes the icon away and destroys the window.
    ~Win32Tray() override;
    Win32Tray(const Win32Tray&) = delete;
    Win32Tray& operator=(const Win32Tray&) = delete;

    // Whether the taskbar's notification area exists (Shell_TrayWnd).
    bool available() override;
    // Throws platform::Error when there is no notification area, the picture
    // is not one of ours, or the shell refuses the icon. Shown again on its
    // own when the taskbar restarts (Explorer's "TaskbarCreated").
    void addIcon(const std::string& icon, const std::string& tip) override;
    // Only what flags name changes (nif::Icon, nif::Tip); the icon's
    // callback stays ours. With no icon shown nothing happens: addIcon
    // names both again.
    void modifyIcon(std::uint32_t flags, const std::string& icon, const std::string& tip) override;
    void deleteIcon() override;
    // The menu at the mouse; the window comes to the front first, so that a
    // click elsewhere closes the menu, and gets a WM_NULL after, so that the
    // next click on the icon opens it again (the shell's documented pair).
    int popupMenu(const std::vector<platform::TrayMenuItem>& items) override;
    // Each message reaches the handler after the shell's callback has
    // returned (posted to the window), through a copy of the handler: the
    // handler may replace or clear itself, or end the tray.
    void setMouseHandler(MouseHandler handler) override { handler_ = std::move(handler); }
    // NIM_MODIFY with NIF_INFO: the balloon (on Windows 10 and later the
    // toast) at our icon, with the information icon. False without an icon.
    bool showBalloon(const std::string& title, const std::string& text) override;
    // NIN_BALLOONUSERCLICK, delivered as the mouse messages are.
    void setBalloonClickHandler(std::function<void()> handler) override { balloonHandler_ = std::move(handler); }
    // A text as NOTIFYICONDATAW's fields hold it: at most `most` UTF-16
    // units, never ending in half a surrogate pair.
    static std::wstring fieldText(const std::string& text, std::size_t most);

    // The menu popupMenu shows: the visible items in order, separators as
    // lines, the default item bold (SetMenuDefaultItem); an item's command
    // id is its index in items plus one. The caller destroys it.
    static HMENU buildMenu(const std::vector<platform::TrayMenuItem>& items);
    // One of the program's pictures ("stop", "nocturo") at the size of a
    // small icon; null when there is none by that name. The caller destroys it.
    static HICON loadPicture(const std::string& name);
    // The tip as NOTIFYICONDATAW holds it: at most 127 UTF-16 units, never
    // ending in half a surrogate pair.
    static std::wstring tipText(const std::string& tip);

    // The window that gets the icon's messages (null until one is needed).
    HWND window() const { return window_; }
    bool iconShown() const { return shown_; }

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void ensureWindow();
    bool notify(DWORD message, UINT flags);
    HICON pictureOrThrow(const std::string& name);

    HWND window_ = nullptr;
    HICON icon_ = nullptr;
    std::wstring tip_;
    bool shown_ = false;
    MouseHandler handler_;
    std::function<void()> balloonHandler_;
};

}  // namespace nocturo::ui

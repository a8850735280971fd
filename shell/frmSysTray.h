#pragma once
// The hidden window behind the program's notification icon: it owns the
// icon's record, shows the icon through the platform's tray, pops up the
// icon's menu and turns the icon's mouse messages into events.
//
// Every operation keeps its own failures: a tray that refuses leaves the
// program without an icon, never without its main window's handlers.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "controls/Controls.h"

namespace nocturo {

// The icon's record as the desktop takes it (NOTIFYICONDATA).
struct NotifyIconData {
    static constexpr std::size_t TipSize = 64;
    std::uint32_t cbSize = 0;
    std::uint64_t hWnd = 0;              // the window the icon reports to
    std::uint32_t uID = 0;
    std::uint32_t uFlags = 0;            // platform::nif: the fields a call carries
    std::uint32_t uCallbackMessage = 0;
    std::string hIcon;                   // a picture of the program's own set
    std::array<char, TipSize> szTip{};   // NUL-terminated when shorter than the field

    // The tip up to its NUL.
    std::string tip() const;
    // Stores text + NUL, cut to the field (the NUL is always kept).
    void setTip(const std::string& text);
};

class frmSysTray : public Form {
public:
    // One entry of mnuSysTray.
    struct MenuItem {
        std::string caption;  // "-" is a separator
        std::string tag;      // the key MenuClick reports
        bool visible = false;
    };

    frmSysTray();
    ~frmSysTray() override;  // takes the icon away

    CaptionControl mnuPopup{this, "mnuPopup"};
    std::vector<MenuItem> mnuSysTray;  // item 0 exists, invisible, from the start

    // Adds an item (the first call fills item 0) and returns its index.
    std::int16_t AddMenuItem(const std::string& caption, const std::string& key = "", bool isDefault = false);
    // Brings this window to the front and pops the menu up at the mouse, the
    // default item bold; a choice raises MenuClick.
    void ShowMenu();
    void Add_Icon_To_Tray();
    // Takes the icon away and ends the window.
    void Unload();

    // The tip and the picture; a change reaches the desktop while the icon
    // is shown, and the record keeps it either way.
    std::string ToolTip() const { return nid_.tip(); }
    void ToolTip(const std::string& text);
    const std::string& IconHandle() const { return nid_.hIcon; }
    void IconHandle(const std::string& icon);

    const NotifyIconData& notifyIconData() const { return nid_; }
    std::int16_t defaultItem() const { return defaultItem_; }
    bool firstItemTaken() const { return firstItemTaken_; }
    bool iconShown() const { return iconShown_; }

    // A message from the icon (platform::wm): raises the matching event.
    void trayCallback(int message);

    // ---- events ---------------------------------------------------------
    std::function<void(std::int16_t index, const std::string& key)> MenuClick;
    std::function<void()> SysTrayMouseMove;
    std::function<void(int button)> SysTrayMouseDown;
    std::function<void(int button)> SysTrayMouseUp;
    std::function<void(int button)> SysTrayDoubleClick;
    // The icon was chosen with a single click where the desktop has no double click.
    std::function<void()> SysTraySelect;

private:
    void listen(bool on);

    NotifyIconData nid_;
    bool firstItemTaken_ = false;
    std::int16_t defaultItem_ = 0;
    bool iconShown_ = false;
    bool listening_ = false;
};

}  // namespace nocturo

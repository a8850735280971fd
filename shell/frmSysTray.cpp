#include "shell/frmSysTray.h"

#include <algorithm>

#include "base/Runtime.h"
#include "base/Version.h"
#include "platform/ITray.h"

namespace nocturo {

namespace {

constexpr std::uint32_t kRecordSize = 88;             // the record's size as the desktop checks it
constexpr std::uint32_t kIconId = 1;                  // the program shows one icon
constexpr const char* kWindowIcon = "nocturo";        // the picture the icon starts with

// One statement of the tray window: whatever fails is dropped and the next
// statement runs. The tray is a convenience; the program goes on without it.
template <class F>
void quietly(F&& statement) noexcept {
    try {
        statement();
    } catch (...) {
    }
}

std::uint64_t nextWindowHandle() {
    static std::uint64_t last = 0x10000;
    return ++last;
}

}  // namespace

std::string NotifyIconData::tip() const {
    auto end = std::find(szTip.begin(), szTip.end(), '\0');
    return std::string(szTip.begin(), end);
}

void NotifyIconData::setTip(const std::string& text) {
    szTip.fill('\0');
    const std::size_t n = std::min(text.size(), TipSize - 1);
    std::copy_n(text.begin(), n, szTip.begin());
}

frmSysTray::frmSysTray() : Form("frmSysTray") {
    setCaption("Sys Tray Interface");
    setVisible(false);
    mnuPopup.setCaption("&Popup");
    mnuPopup.setVisible(false);
    mnuSysTray.push_back(MenuItem{});
    nid_.hWnd = nextWindowHandle();
    nid_.hIcon = kWindowIcon;
    setLoaded(true);
}

frmSysTray::~frmSysTray() { Unload(); }

std::int16_t frmSysTray::AddMenuItem(const std::string& caption, const std::string& key, bool isDefault) {
    std::int16_t index = -1;
    quietly([&] {
        if (!firstItemTaken_) {
            firstItemTaken_ = true;
            index = 0;
        } else {
            mnuSysTray.push_back(MenuItem{});
            index = static_cast<std::int16_t>(mnuSysTray.size() - 1);
        }
        MenuItem& item = mnuSysTray[static_cast<std::size_t>(index)];
        item.visible = true;
        item.tag = key;
        item.caption = caption;
        if (isDefault) defaultItem_ = index;
    });
    return index;
}

void frmSysTray::ShowMenu() {
    quietly([&] { setForeground(true); });
    int chosen = -1;
    quietly([&] {
        std::vector<platform::TrayMenuItem> items;
        items.reserve(mnuSysTray.size());
        for (std::size_t i = 0; i < mnuSysTray.size(); ++i) {
            const MenuItem& m = mnuSysTray[i];
            items.push_back({m.caption, m.caption == "-", static_cast<int>(i) == defaultItem_, m.visible});
        }
        chosen = tray().popupMenu(items);
    });
    if (chosen < 0 || static_cast<std::size_t>(chosen) >= mnuSysTray.size()) return;
    const MenuItem& item = mnuSysTray[static_cast<std::size_t>(chosen)];
    if (!item.visible || item.caption == "-") return;
    // Copies: the handler may end this window.
    const std::string key = item.tag;
    auto handler = MenuClick;
    if (handler) quietly([&] { handler(static_cast<std::int16_t>(chosen), key); });
}

void frmSysTray::Add_Icon_To_Tray() {
    quietly([&] {
        nid_.cbSize = kRecordSize;
        nid_.uID = kIconId;
        nid_.uFlags = platform::nif::Message | platform::nif::Icon | platform::nif::Tip;
        nid_.uCallbackMessage = platform::wm::MouseMove;
        nid_.setTip(version::ProductName);
    });
    quietly([&] { listen(true); });
    quietly([&] {
        tray().addIcon(nid_.hIcon, nid_.tip());
        iconShown_ = true;
    });
}

void frmSysTray::ToolTip(const std::string& text) {
    quietly([&] {
        NotifyIconData wanted = nid_;
        wanted.setTip(text);
        if (wanted.szTip == nid_.szTip) return;
        nid_.szTip = wanted.szTip;
        nid_.uFlags = platform::nif::Tip;
        if (iconShown_) tray().modifyIcon(nid_.uFlags, nid_.hIcon, nid_.tip());
    });
}

void frmSysTray::IconHandle(const std::string& icon) {
    quietly([&] {
        if (icon == nid_.hIcon) return;
        nid_.hIcon = icon;
        nid_.uFlags = platform::nif::Icon;
        if (iconShown_) tray().modifyIcon(nid_.uFlags, nid_.hIcon, nid_.tip());
    });
}

void frmSysTray::Unload() {
    quietly([&] { listen(false); });
    quietly([&] {
        if (!iconShown_) return;
        iconShown_ = false;
        tray().deleteIcon();
    });
    quietly([&] {
        setForeground(false);
        setLoaded(false);
    });
}

void frmSysTray::listen(bool on) {
    if (on == listening_) return;
    if (!rt().pf.tray) return;
    if (on) rt().pf.tray->setMouseHandler([this](int message) { trayCallback(message); });
    else rt().pf.tray->setMouseHandler({});
    listening_ = on;
}

void frmSysTray::trayCallback(int message) {
    // The events run on copies of the handlers: a handler may end this window.
    switch (message) {
    case platform::wm::MouseMove:
        if (auto ev = SysTrayMouseMove) quietly([&] { ev(); });
        break;
    case platform::wm::RButtonDown:
        if (auto ev = SysTrayMouseDown) quietly([&] { ev(2); });
        break;
    case platform::wm::RButtonUp:
        if (auto ev = SysTrayMouseUp) quietly([&] { ev(2); });
        break;
    case platform::wm::LButtonDblClk:
        if (auto ev = SysTrayDoubleClick) quietly([&] { ev(1); });
        break;
    case platform::wm::RButtonDblClk:
        if (auto ev = SysTrayDoubleClick) quietly([&] { ev(2); });
        break;
    case platform::wm::Select:
        if (auto ev = SysTraySelect) quietly([&] { ev(); });
        break;
    default:
        break;
    }
}

}  // namespace nocturo

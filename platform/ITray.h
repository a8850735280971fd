#pragma once
// The desktop's notification area: one icon for the program, its pop-up
// menu, and the mouse messages the icon receives.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace nocturo::platform {

// Which fields of the icon a change carries (NIF_*).
namespace nif {
inline constexpr std::uint32_t Message = 0x1, Icon = 0x2, Tip = 0x4, Info = 0x10;
}

// The mouse messages an icon reports (WM_*), and Select (NIN_SELECT): the
// icon was chosen with one click on a desktop that reports no double click
// (a StatusNotifier host's "activate").
namespace wm {
inline constexpr int MouseMove = 0x200, LButtonDown = 0x201, LButtonUp = 0x202, LButtonDblClk = 0x203,
                     RButtonDown = 0x204, RButtonUp = 0x205, RButtonDblClk = 0x206, Select = 0x400;
}

// One entry of a pop-up menu.
struct TrayMenuItem {
    std::string caption;      // "&" marks the access key
    bool separator = false;   // drawn as a line (caption "-")
    bool isDefault = false;   // shown bold
    bool visible = true;
};

class ITray {
public:
    using MouseHandler = std::function<void(int message)>;

    virtual ~ITray() = default;
    // Whether the desktop has a notification area at all.
    virtual bool available() = 0;
    // Shows the program's icon: a picture of the program's own set ("stop",
    // "nocturo") and its tooltip. Failures throw platform::Error.
    virtual void addIcon(const std::string& icon, const std::string& tip) = 0;
    // Changes the icon shown; flags (nif::) tell which of icon and tip changed.
    virtual void modifyIcon(std::uint32_t flags, const std::string& icon, const std::string& tip) = 0;
    // Takes the icon away; nothing happens when none is shown.
    virtual void deleteIcon() = 0;
    // Pops the menu up at the mouse and waits for the user. Returns the index
    // of the chosen item, -1 when the menu was closed without a choice.
    virtual int popupMenu(const std::vector<TrayMenuItem>& items) = 0;
    // The icon's mouse messages (wm::) go to handler; an empty one stops them.
    // The handler may replace or clear itself while it runs.
    virtual void setMouseHandler(MouseHandler handler) = 0;
    // A balloon at the icon with a title and a text (NIF_INFO): the desktop's
    // notification where the icon is all the program has. False when no icon
    // is shown or the desktop shows no balloons; failures throw
    // platform::Error.
    virtual bool showBalloon(const std::string& title, const std::string& text) {
        (void)title;
        (void)text;
        return false;
    }
    // A click on the balloon goes to handler (from the loop, like the mouse
    // messages); an empty one stops them.
    virtual void setBalloonClickHandler(std::function<void()> handler) { (void)handler; }
};

// A desktop without a notification area: nothing is shown, no menu opens.
class NoTray : public ITray {
public:
    bool available() override { return false; }
    void addIcon(const std::string&, const std::string&) override {}
    void modifyIcon(std::uint32_t, const std::string&, const std::string&) override {}
    void deleteIcon() override {}
    int popupMenu(const std::vector<TrayMenuItem>&) override { return -1; }
    void setMouseHandler(MouseHandler) override {}
};

}  // namespace nocturo::platform

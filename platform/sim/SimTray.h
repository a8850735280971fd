#pragma once
// A simulated notification area. Showing, changing and removing the icon and
// every menu that pops up are journalled; the menu's choice comes from a
// queue a test fills (nothing queued: the menu closes without a choice), and
// a test plays the user's mouse on the icon with mouse().
#include <deque>
#include <string>
#include <variant>
#include <vector>

#include "platform/ITray.h"
#include "platform/sim/Journal.h"

namespace nocturo::platform {

class SimTray : public ITray {
public:
    explicit SimTray(Journal& journal) : journal_(journal) {}

    bool available() override { return available_; }
    void addIcon(const std::string& icon, const std::string& tip) override;
    void modifyIcon(std::uint32_t flags, const std::string& icon, const std::string& tip) override;
    void deleteIcon() override;
    int popupMenu(const std::vector<TrayMenuItem>& items) override;
    void setMouseHandler(MouseHandler handler) override { handler_ = std::move(handler); }
    // Journalled as the NIF_INFO change of the icon; false without an icon.
    bool showBalloon(const std::string& title, const std::string& text) override;
    void setBalloonClickHandler(std::function<void()> handler) override { balloonHandler_ = std::move(handler); }

    void setAvailable(bool available) { available_ = available; }
    // When refusing, every icon call is journalled and then throws
    // platform::Error(1000, "Shell_NotifyIcon refused").
    void setRefuse(bool refuse) { refuse_ = refuse; }

    // The next menu's choice: an index, or the caption of a visible item
    // (none with that caption: no choice).
    void pushMenuChoice(int index) { choices_.emplace_back(index); }
    void pushMenuChoice(const std::string& caption) { choices_.emplace_back(caption); }
    void pushMenuChoice(const char* caption) { pushMenuChoice(std::string(caption)); }

    // The user's mouse on the icon: delivers one message (wm::) to the
    // handler. False when no handler listens.
    bool mouse(int message);

    // The user clicks the balloon shown last. False when none is shown or
    // nobody listens.
    bool clickBalloon();
    int balloonsShown() const { return balloons_; }

    // What the desktop shows now.
    bool iconShown() const { return shown_; }
    const std::string& icon() const { return icon_; }
    const std::string& tip() const { return tip_; }
    bool listening() const { return static_cast<bool>(handler_); }
    // The items of the last menu that popped up.
    const std::vector<TrayMenuItem>& lastMenu() const { return lastMenu_; }
    int menusShown() const { return menusShown_; }

private:
    void refuseIfAsked() const;

    Journal& journal_;
    bool available_ = true;
    bool refuse_ = false;
    bool shown_ = false;
    std::string icon_, tip_;
    MouseHandler handler_;
    std::function<void()> balloonHandler_;
    int balloons_ = 0;
    std::deque<std::variant<int, std::string>> choices_;
    std::vector<TrayMenuItem> lastMenu_;
    int menusShown_ = 0;
};

}  // namespace nocturo::platform

#include "platform/sim/SimTray.h"

#include "platform/Error.h"

namespace nocturo::platform {

void SimTray::refuseIfAsked() const {
    if (refuse_) throw Error(err::SystemCallFailed, "Shell_NotifyIcon refused");
}

void SimTray::addIcon(const std::string& icon, const std::string& tip) {
    journal_.append(JsonObject{{"call", "Shell_NotifyIcon"}, {"message", "add"}, {"icon", icon}, {"tip", tip}});
    refuseIfAsked();
    shown_ = true;
    icon_ = icon;
    tip_ = tip;
}

void SimTray::modifyIcon(std::uint32_t flags, const std::string& icon, const std::string& tip) {
    journal_.append(JsonObject{
        {"call", "Shell_NotifyIcon"}, {"message", "modify"}, {"flags", flags}, {"icon", icon}, {"tip", tip}});
    refuseIfAsked();
    // Like the desktop: changing an icon that is not there changes nothing.
    if (!shown_) throw Error(err::SystemCallFailed, "Shell_NotifyIcon: no such icon");
    if (flags & nif::Icon) icon_ = icon;
    if (flags & nif::Tip) tip_ = tip;
}

bool SimTray::showBalloon(const std::string& title, const std::string& text) {
    journal_.append(JsonObject{{"call", "Shell_NotifyIcon"}, {"message", "modify"}, {"flags", nif::Info},
                               {"title", title}, {"text", text}});
    refuseIfAsked();
    if (!shown_) return false;
    ++balloons_;
    return true;
}

bool SimTray::clickBalloon() {
    if (balloons_ == 0 || !shown_ || !balloonHandler_) return false;
    std::function<void()> handler = balloonHandler_;
    handler();
    return true;
}

void SimTray::deleteIcon() {
    journal_.append(JsonObject{{"call", "Shell_NotifyIcon"}, {"message", "delete"}});
    refuseIfAsked();
    shown_ = false;
    icon_.clear();
    tip_.clear();
}

int SimTray::popupMenu(const std::vector<TrayMenuItem>& items) {
    ++menusShown_;
    lastMenu_ = items;
    int chosen = -1;
    if (!choices_.empty()) {
        auto choice = choices_.front();
        choices_.pop_front();
        if (auto* index = std::get_if<int>(&choice)) {
            chosen = *index;
        } else {
            const auto& caption = std::get<std::string>(choice);
            for (size_t i = 0; i < items.size(); ++i)
                if (items[i].visible && !items[i].separator && items[i].caption == caption) {
                    chosen = static_cast<int>(i);
                    break;
                }
        }
    }
    JsonArray shown;
    int defaultIndex = -1;
    for (size_t i = 0; i < items.size(); ++i) {
        if (!items[i].visible) continue;
        shown.emplace_back(items[i].separator ? std::string("-") : items[i].caption);
        if (items[i].isDefault) defaultIndex = static_cast<int>(i);
    }
    journal_.append(JsonObject{{"call", "TrackPopupMenu"},
                               {"items", std::move(shown)},
                               {"default", defaultIndex >= 0 ? Json(items[static_cast<size_t>(defaultIndex)].caption)
                                                             : Json(nullptr)},
                               {"chosen", chosen}});
    return chosen;
}

bool SimTray::mouse(int message) {
    // A copy: the handler may replace or clear itself while it runs.
    MouseHandler handler = handler_;
    if (!handler) return false;
    handler(message);
    return true;
}

}  // namespace nocturo::platform

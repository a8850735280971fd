#include "platform/sim/SimNotifications.h"

#include <cstdio>
#include <utility>

#include "platform/Error.h"

namespace nocturo::platform {

namespace {
std::string Stamp(IClock* clock) {
    if (!clock) return {};
    const LocalTime t = clock->now();
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return text;
}
}  // namespace

SimNotifications::SimNotifications(Journal& journal, INotifications* real, IClock* clock)
    : journal_(journal), real_(real), clock_(clock) {}

bool SimNotifications::supportsActions() { return real_ ? real_->supportsActions() : actions_; }

std::uint32_t SimNotifications::show(const std::string& title, const std::string& body,
                                     const std::vector<NotificationAction>& actions, bool urgent) {
    const bool withActions = supportsActions();
    Shown s{nextId_++, title, body, withActions ? actions : std::vector<NotificationAction>{}, urgent, true};
    JsonArray keys;
    for (const NotificationAction& a : s.actions) keys.emplace_back(a.key);
    JsonObject entry{{"call", "Notify"}, {"id", s.id},    {"title", title},
                     {"body", body},     {"actions", keys}, {"urgent", urgent}};
    if (clock_) entry.set("clock", Stamp(clock_));
    journal_.append(std::move(entry));
    if (refuse_) {
        refuse_ = false;
        throw Error(err::SystemCallFailed, "org.freedesktop.Notifications.Notify refused");
    }
    const std::uint32_t id = s.id;
    shown_.push_back(std::move(s));
    // Shown on the simulated machine whatever the desktop's service says.
    if (real_) {
        const std::uint32_t realId = real_->show(title, body, actions, urgent);
        if (realId != 0) realIds_[realId] = id;
    }
    return id;
}

void SimNotifications::close(std::uint32_t id) {
    journal_.append(JsonObject{{"call", "CloseNotification"}, {"id", id}});
    for (Shown& s : shown_)
        if (s.id == id) s.open = false;
    for (auto it = realIds_.begin(); it != realIds_.end(); ++it)
        if (it->second == id) {
            const std::uint32_t realId = it->first;
            realIds_.erase(it);
            if (real_) real_->close(realId);
            break;
        }
}

void SimNotifications::setActionHandler(ActionHandler handler, IEventLoop* loop) {
    handler_ = std::move(handler);
    loop_ = loop;
    if (!real_) return;
    if (!handler_) {
        real_->setActionHandler({}, loop);
        return;
    }
    // The real service's choice, journalled and told by our id.
    real_->setActionHandler([this](std::uint32_t realId, const std::string& key) {
        auto it = realIds_.find(realId);
        if (it == realIds_.end()) return;
        journal_.append(JsonObject{{"call", "ActionInvoked"}, {"id", it->second}, {"key", key}});
        if (handler_) handler_(it->second, key);
    }, loop);
}

std::vector<SimNotifications::Shown> SimNotifications::openNow() const {
    std::vector<Shown> out;
    for (const Shown& s : shown_)
        if (s.open) out.push_back(s);
    return out;
}

bool SimNotifications::choose(std::uint32_t id, const std::string& key) {
    const Shown* found = nullptr;
    for (const Shown& s : shown_)
        if (s.id == id && s.open) found = &s;
    if (!found) return false;
    bool offered = key == "default";
    for (const NotificationAction& a : found->actions) offered = offered || a.key == key;
    if (!offered) return false;
    journal_.append(JsonObject{{"call", "ActionInvoked"}, {"id", id}, {"key", key}});
    if (loop_) loop_->post([this, id, key] { deliver(id, key); });
    else deliver(id, key);
    return true;
}

void SimNotifications::deliver(std::uint32_t id, const std::string& key) {
    ActionHandler handler = handler_;
    if (handler) handler(id, key);
}

}  // namespace nocturo::platform

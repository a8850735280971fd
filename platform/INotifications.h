#pragma once
// The desktop's notifications: a short message with a title that pops up
// beside the user's work and goes away by itself, offering a few buttons
// where the desktop supports them.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/IEventLoop.h"

namespace nocturo::platform {

// One button of a notification: key comes back when it is chosen, label is
// what the user reads.
struct NotificationAction {
    std::string key;
    std::string label;
};

class INotifications {
public:
    // The user chose the button key of notification id. The key "default"
    // means the notification itself was clicked (where the desktop reports
    // that, as a balloon click on Windows).
    using ActionHandler = std::function<void(std::uint32_t id, const std::string& key)>;

    virtual ~INotifications() = default;
    // Shows a notification; urgent ones stay until the user closes them,
    // where the desktop allows it. Returns its id, 0 when nothing could be
    // shown (no notification service here). The first failure to reach the
    // service throws platform::Error; from then on notifications are off
    // and 0 comes back without one.
    virtual std::uint32_t show(const std::string& title, const std::string& body,
                               const std::vector<NotificationAction>& actions, bool urgent = false) = 0;
    // Takes a notification away; an unknown or closed id is no failure.
    virtual void close(std::uint32_t id) = 0;
    // Whether the buttons of show() are offered and their choice reported.
    virtual bool supportsActions() = 0;
    // Where the choices go: handler is called from loop (the program's
    // own event loop, which also watches the service's connection), never
    // inside show or close. An empty handler drops them; without a loop no
    // buttons are offered.
    virtual void setActionHandler(ActionHandler handler, IEventLoop* loop) = 0;
};

}  // namespace nocturo::platform

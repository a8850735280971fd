#pragma once
// The desktop's notifications on Linux: org.freedesktop.Notifications on the
// session bus. The connection is made at the first notification; a session
// without a bus, or a bus without the service, is no failure beyond that
// first one: notifications are then off for the rest of the run.
//
// The buttons' choices (ActionInvoked) and the notifications the desktop
// closed (NotificationClosed) arrive as signals on the connection, read when
// the event loop finds its descriptor readable: nothing polls.
#include <cstdint>
#include <memory>
#include <set>
#include <string>

#include "platform/IEventLoop.h"
#include "platform/INotifications.h"

namespace nocturo::platform {

class DesktopNotifications : public INotifications {
public:
    // busAddress: a D-Bus address for the session bus; empty: the session
    // bus itself (DBUS_SESSION_BUS_ADDRESS). appIcon: the icon the desktop
    // shows beside the text (a name of the icon theme or a file).
    explicit DesktopNotifications(std::string busAddress = {}, std::string appIcon = "nocturo");
    ~DesktopNotifications() override;
    DesktopNotifications(const DesktopNotifications&) = delete;
    DesktopNotifications& operator=(const DesktopNotifications&) = delete;

    // Notify, with the buttons when the service has the "actions"
    // capability, and the urgency "critical" for urgent ones ("normal"
    // otherwise).
    std::uint32_t show(const std::string& title, const std::string& body,
                       const std::vector<NotificationAction>& actions, bool urgent = false) override;
    // CloseNotification, for one of ours that is still open.
    void close(std::uint32_t id) override;
    // GetCapabilities has "actions" and the loop watches the connection.
    bool supportsActions() override;
    // A new loop watches the connection from now on.
    void setActionHandler(ActionHandler handler, IEventLoop* loop) override;

    // Connected now; notifications were switched off by a failure.
    bool connected() const { return connection_ != nullptr; }
    bool off() const { return off_; }
    // The notifications of ours the desktop still shows.
    const std::set<std::uint32_t>& open() const { return open_; }

private:
    struct Connection;
    // The connection, made when there is none; null when notifications are
    // off. The first failure throws.
    Connection* connection();
    void drop();
    void watch();
    // Reads what the bus sent and runs the signal handlers.
    void pump();
    void actionInvoked(std::uint32_t id, const std::string& key);
    void closedByDesktop(std::uint32_t id);

    IEventLoop* loop_ = nullptr;
    std::string busAddress_;
    std::string appIcon_;
    std::unique_ptr<Connection> connection_;
    bool off_ = false;
    std::set<std::uint32_t> open_;
    ActionHandler handler_;
    // Work posted to the loop checks this is still there.
    std::shared_ptr<DesktopNotifications*> self_;
};

}  // namespace nocturo::platform

#pragma once
// The simulated machine's desktop notifications. Every notification shown
// and closed is journalled, with the simulated clock's time. Where the host
// gives it the desktop's real service (a session bus is there), the
// notifications are shown there too and the user's choices come back from
// it, as the simulated network time asks real servers; otherwise a test
// plays the user's choice with choose().
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/IClock.h"
#include "platform/IEventLoop.h"
#include "platform/INotifications.h"
#include "platform/sim/Journal.h"

namespace nocturo::platform {

class SimNotifications : public INotifications {
public:
    // real: the desktop's service (null: none); clock: the time journalled.
    explicit SimNotifications(Journal& journal, INotifications* real = nullptr, IClock* clock = nullptr);

    std::uint32_t show(const std::string& title, const std::string& body,
                       const std::vector<NotificationAction>& actions, bool urgent = false) override;
    void close(std::uint32_t id) override;
    bool supportsActions() override;
    void setActionHandler(ActionHandler handler, IEventLoop* loop) override;

    // Without a real service: whether buttons are offered (default yes).
    void setActionsSupported(bool supported) { actions_ = supported; }
    // The next show() throws platform::Error (a desktop whose service fails).
    void setRefuse(bool refuse) { refuse_ = refuse; }

    struct Shown {
        std::uint32_t id = 0;
        std::string title, body;
        std::vector<NotificationAction> actions;  // as offered (none without support)
        bool urgent = false;
        bool open = true;
    };
    const std::vector<Shown>& shown() const { return shown_; }
    // The notifications still open, in the order shown.
    std::vector<Shown> openNow() const;
    // The user chooses the button key of notification id (delivered through
    // the handler's loop, at once when it has none). False when that notification is not open or does
    // not offer key ("default", the click on it, is always there).
    bool choose(std::uint32_t id, const std::string& key);

private:
    void deliver(std::uint32_t id, const std::string& key);

    Journal& journal_;
    IEventLoop* loop_ = nullptr;
    INotifications* real_;
    IClock* clock_;
    bool actions_ = true;
    bool refuse_ = false;
    std::uint32_t nextId_ = 1;
    std::vector<Shown> shown_;
    std::map<std::uint32_t, std::uint32_t> realIds_;  // the real service's id -> ours
    ActionHandler handler_;
};

}  // namespace nocturo::platform

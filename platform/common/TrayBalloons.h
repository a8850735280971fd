#pragma once
// The desktop's notifications as balloons at the program's tray icon (the
// notification area's own, on Windows): no buttons; a click on the balloon
// is told as the choice "default" of the balloon shown last. Nothing is
// shown while the program has no icon there.
#include <cstdint>

#include "platform/INotifications.h"
#include "platform/ITray.h"

namespace nocturo::platform {

class TrayBalloons : public INotifications {
public:
    explicit TrayBalloons(ITray& tray) : tray_(tray) {}
    ~TrayBalloons() override { tray_.setBalloonClickHandler({}); }
    TrayBalloons(const TrayBalloons&) = delete;
    TrayBalloons& operator=(const TrayBalloons&) = delete;

    std::uint32_t show(const std::string& title, const std::string& body,
                       const std::vector<NotificationAction>& actions, bool urgent = false) override;
    // A balloon goes by itself; a newer one replaces it.
    void close(std::uint32_t) override {}
    bool supportsActions() override { return false; }
    // The tray delivers the click from the loop already.
    void setActionHandler(ActionHandler handler, IEventLoop* loop) override;

private:
    ITray& tray_;
    std::uint32_t last_ = 0;
};

}  // namespace nocturo::platform

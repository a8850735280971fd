#include "platform/common/TrayBalloons.h"

#include <utility>

namespace nocturo::platform {

std::uint32_t TrayBalloons::show(const std::string& title, const std::string& body,
                                  const std::vector<NotificationAction>&, bool) {
    if (!tray_.showBalloon(title, body)) return 0;
    return ++last_;
}

void TrayBalloons::setActionHandler(ActionHandler handler, IEventLoop*) {
    if (!handler) {
        tray_.setBalloonClickHandler({});
        return;
    }
    tray_.setBalloonClickHandler([this, handler = std::move(handler)] {
        if (last_ != 0) handler(last_, "default");
    });
}

}  // namespace nocturo::platform

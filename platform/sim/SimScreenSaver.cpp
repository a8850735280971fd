#include "platform/sim/SimScreenSaver.h"

#include "platform/Error.h"

namespace nocturo::platform {

void SimScreenSaver::setActive(bool active) {
    journal_.append(JsonObject{{"call", "SetScreenSaverActive"}, {"active", active}});
    if (refuse_) throw Error(err::SystemCallFailed, "SetScreenSaverActive refused");
    active_ = active;
}

void SimScreenSaver::setTimeout(std::int32_t seconds) {
    journal_.append(JsonObject{{"call", "SetScreenSaverTimeout"}, {"seconds", seconds}});
    if (refuse_) throw Error(err::SystemCallFailed, "SetScreenSaverTimeout refused");
    timeout_ = seconds;
}

}  // namespace nocturo::platform

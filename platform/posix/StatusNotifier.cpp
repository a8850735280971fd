#include "platform/posix/StatusNotifier.h"

#include <cstdlib>
#include <string_view>

#include "platform/Error.h"

#if NOCTURO_HAVE_SDBUS
#include "platform/posix/SdBus.h"
#endif

namespace nocturo::platform {

bool StatusNotifierHostPresent(const std::string& busAddress) {
    if (const char* forced = std::getenv("NOCTURO_TRAY_SNI"); forced && *forced)
        return std::string_view(forced) != "0";
#if NOCTURO_HAVE_SDBUS
    try {
        using namespace sdbus;
        BusPtr bus = OpenBus(busAddress, "StatusNotifierWatcher", Which::Session);
        MessagePtr reply = Call(bus.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                "NameHasOwner", "s", "org.kde.StatusNotifierWatcher");
        int owned = 0;
        if (sd_bus_message_read(reply.get(), "b", &owned) < 0) return false;
        return owned != 0;
    } catch (const Error&) {
        return false;
    }
#else
    (void)busAddress;
    return false;
#endif
}

}  // namespace nocturo::platform

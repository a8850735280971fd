#include "platform/posix/SystemdNotify.h"

#include <cstdlib>

#if NOCTURO_HAVE_SDBUS
#include <systemd/sd-daemon.h>
#endif

namespace nocturo::platform {

bool NotifySystemd(const char* state) noexcept {
    const char* socket = std::getenv("NOTIFY_SOCKET");
    if (!socket || !*socket) return false;
#if NOCTURO_HAVE_SDBUS
    return sd_notify(0, state) > 0;
#else
    (void)state;
    return false;
#endif
}

}  // namespace nocturo::platform

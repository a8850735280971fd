#include "platform/posix/SdBus.h"

#if NOCTURO_HAVE_SDBUS
#include <system_error>

#include "platform/Error.h"

namespace nocturo::platform::sdbus {

void Fail(const std::string& what, int r, const sd_bus_error* error) {
    std::string text = what + ": ";
    if (error && sd_bus_error_is_set(error)) {
        text += error->name;
        if (error->message && *error->message) {
            text += ": ";
            text += error->message;
        }
    } else {
        text += std::system_category().message(r < 0 ? -r : r);
    }
    throw Error(err::SystemCallFailed, text);
}

BusPtr OpenBus(const std::string& address, const std::string& what, Which which) {
    sd_bus* raw = nullptr;
    if (address.empty()) {
        const bool system = which == Which::System;
        int r = system ? sd_bus_open_system(&raw) : sd_bus_open_user(&raw);
        if (r < 0) Fail(what + (system ? ": cannot connect to the system bus" : ": cannot connect to the session bus"), r,
                        nullptr);
        return BusPtr(raw);
    }
    int r = sd_bus_new(&raw);
    if (r < 0) Fail(what + ": sd_bus_new", r, nullptr);
    BusPtr bus(raw);
    r = sd_bus_set_address(bus.get(), address.c_str());
    if (r < 0) Fail(what + ": invalid bus address \"" + address + "\"", r, nullptr);
    r = sd_bus_set_bus_client(bus.get(), 1);
    if (r < 0) Fail(what + ": sd_bus_set_bus_client", r, nullptr);
    r = sd_bus_start(bus.get());
    if (r < 0) Fail(what + ": cannot connect to " + address, r, nullptr);
    return bus;
}

BusPtr OpenInteractiveBus(const std::string& address, const std::string& what, bool interactive) {
    BusPtr bus = OpenBus(address, what);
    sd_bus_set_allow_interactive_authorization(bus.get(), interactive ? 1 : 0);
    return bus;
}

}  // namespace nocturo::platform::sdbus
#endif

#pragma once
// Small helpers around sd-bus for the backends that talk to system services
// (logind, timedated, systemd, the desktop's screen saver). Only built with
// libsystemd; callers check NOCTURO_HAVE_SDBUS.
#if NOCTURO_HAVE_SDBUS
#include <systemd/sd-bus.h>

#include <memory>
#include <string>

namespace nocturo::platform::sdbus {

struct BusCloser {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
using BusPtr = std::unique_ptr<sd_bus, BusCloser>;

struct MessageUnref {
    void operator()(sd_bus_message* m) const { sd_bus_message_unref(m); }
};
using MessagePtr = std::unique_ptr<sd_bus_message, MessageUnref>;

// sd_bus_error that frees itself.
struct BusError {
    sd_bus_error e{};  // all fields empty, as SD_BUS_ERROR_NULL (a C compound literal)
    BusError() = default;
    BusError(const BusError&) = delete;
    BusError& operator=(const BusError&) = delete;
    ~BusError() { sd_bus_error_free(&e); }
};

// Raises the platform Error for a failed step. `what` names the step, usually
// the D-Bus method ("org.freedesktop.login1.Manager.PowerOff"); the D-Bus
// error name and message follow when the peer or the bus sent one, otherwise
// the text of the errno sd-bus returned.
[[noreturn]] void Fail(const std::string& what, int r, const sd_bus_error* error);

enum class Which { System, Session };

// Connects to `address`, or to the system or session bus when it is empty.
BusPtr OpenBus(const std::string& address, const std::string& what, Which which = Which::System);
// OpenBus for calls polkit may ask the user to authorise (interactive true),
// as systemctl and timedatectl let it.
BusPtr OpenInteractiveBus(const std::string& address, const std::string& what, bool interactive = true);

inline std::string Label(const char* interface, const char* member) {
    return std::string(interface) + "." + member;
}

// One method call; returns the reply or raises the failure.
template <typename... Args>
MessagePtr Call(sd_bus* bus, const char* service, const char* path, const char* interface, const char* member,
                const char* types, Args... args) {
    BusError error;
    sd_bus_message* reply = nullptr;
    int r = sd_bus_call_method(bus, service, path, interface, member, &error.e, &reply, types, args...);
    if (r < 0) Fail(Label(interface, member), r, &error.e);
    return MessagePtr(reply);
}

}  // namespace nocturo::platform::sdbus
#endif

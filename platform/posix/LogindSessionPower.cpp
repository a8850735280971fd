#include "platform/posix/LogindSessionPower.h"

#include <cstdlib>
#include <utility>

#include "platform/Error.h"

#if NOCTURO_HAVE_SDBUS
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <memory>
#include <system_error>
#endif

namespace nocturo::platform {

LogindSessionPower::LogindSessionPower(std::string busAddress) : busAddress_(std::move(busAddress)) {
    if (busAddress_.empty()) {
        const char* fromEnv = std::getenv("NOCTURO_LOGIND_BUS");
        if (fromEnv) busAddress_ = fromEnv;
    }
}

void LogindSessionPower::enableShutdownPrivilege() {}

void LogindSessionPower::terminateShell() {}

#if NOCTURO_HAVE_SDBUS

namespace {

constexpr const char* kService = "org.freedesktop.login1";
constexpr const char* kManagerPath = "/org/freedesktop/login1";
constexpr const char* kManager = "org.freedesktop.login1.Manager";
constexpr const char* kSession = "org.freedesktop.login1.Session";

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

// Raises the error for a failed step. `what` names the step, usually the
// D-Bus method ("org.freedesktop.login1.Manager.PowerOff"); the D-Bus error
// name and message follow when the peer or the bus sent one, otherwise the
// text of the errno sd-bus returned.
[[noreturn]] void Fail(const std::string& what, int r, const sd_bus_error* error) {
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

// Connects to `address`, or to the system bus when it is empty.
BusPtr OpenBus(const std::string& address, const std::string& what) {
    sd_bus* raw = nullptr;
    if (address.empty()) {
        int r = sd_bus_open_system(&raw);
        if (r < 0) Fail(what + ": cannot connect to the system bus", r, nullptr);
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

std::string Label(const char* interface, const char* member) { return std::string(interface) + "." + member; }

// One method call on logind; returns the reply or raises the failure.
template <typename... Args>
MessagePtr Call(sd_bus* bus, const char* path, const char* interface, const char* member, const char* types,
                Args... args) {
    BusError error;
    sd_bus_message* reply = nullptr;
    int r = sd_bus_call_method(bus, kService, path, interface, member, &error.e, &reply, types, args...);
    if (r < 0) Fail(Label(interface, member), r, &error.e);
    return MessagePtr(reply);
}

// A Manager method taking the single boolean "interactive". When it is true,
// polkit may ask the user for authorisation.
void CallInteractive(const std::string& address, const char* member, bool interactive) {
    BusPtr bus = OpenBus(address, Label(kManager, member));
    sd_bus_set_allow_interactive_authorization(bus.get(), interactive ? 1 : 0);
    Call(bus.get(), kManagerPath, kManager, member, "b", interactive ? 1 : 0);
}

// The id of the session this process belongs to: XDG_SESSION_ID as set by
// pam_systemd, else what logind says about our process.
std::string OwnSessionId(sd_bus* bus) {
    const char* fromEnv = std::getenv("XDG_SESSION_ID");
    if (fromEnv && *fromEnv) return fromEnv;

    MessagePtr reply = Call(bus, kManagerPath, kManager, "GetSessionByPID", "u", static_cast<std::uint32_t>(getpid()));
    const char* path = nullptr;
    int r = sd_bus_message_read(reply.get(), "o", &path);
    if (r < 0) Fail(Label(kManager, "GetSessionByPID"), r, nullptr);

    BusError error;
    char* id = nullptr;
    r = sd_bus_get_property_string(bus, kService, path, kSession, "Id", &error.e, &id);
    if (r < 0) Fail(Label(kSession, "Id"), r, &error.e);
    std::string result = id ? id : "";
    std::free(id);
    return result;
}

// A Manager method taking the caller's own session id.
void CallOnOwnSession(const std::string& address, const char* member) {
    BusPtr bus = OpenBus(address, Label(kManager, member));
    std::string id = OwnSessionId(bus.get());
    Call(bus.get(), kManagerPath, kManager, member, "s", id.c_str());
}

}  // namespace

bool LogindSessionPower::supported() noexcept { return true; }

void LogindSessionPower::exitWindowsEx(std::uint32_t flags, std::uint32_t) {
    const bool interactive = (flags & ewx::Force) == 0;
    if (flags & ewx::Reboot)
        CallInteractive(busAddress_, "Reboot", interactive);
    else if (flags & (ewx::Shutdown | ewx::PowerOff))
        CallInteractive(busAddress_, "PowerOff", interactive);
    else
        CallOnOwnSession(busAddress_, "TerminateSession");
}

void LogindSessionPower::setSuspendState(bool hibernate, bool forceCritical, bool) {
    CallInteractive(busAddress_, hibernate ? "Hibernate" : "Suspend", !forceCritical);
}

void LogindSessionPower::lockWorkstation() { CallOnOwnSession(busAddress_, "LockSession"); }

#else  // built without libsystemd

namespace {
[[noreturn]] void NotBuilt() { throw Error(err::SystemCallFailed, "systemd-logind support not built"); }
}  // namespace

bool LogindSessionPower::supported() noexcept { return false; }

void LogindSessionPower::exitWindowsEx(std::uint32_t, std::uint32_t) {
    (void)busAddress_;
    NotBuilt();
}

void LogindSessionPower::setSuspendState(bool, bool, bool) { NotBuilt(); }

void LogindSessionPower::lockWorkstation() { NotBuilt(); }

#endif

}  // namespace nocturo::platform

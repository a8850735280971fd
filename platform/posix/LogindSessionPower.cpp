#include "platform/posix/LogindSessionPower.h"

#include <unistd.h>

#include <cstdlib>
#include <utility>

#include "platform/Error.h"

#if NOCTURO_HAVE_SDBUS
#include <fcntl.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/DesktopScreenSaver.h"
#include "platform/posix/SdBus.h"
#endif

namespace nocturo::platform {

LogindSessionPower::LogindSessionPower(std::string busAddress, std::string screenSaverBus)
    : busAddress_(std::move(busAddress)), screenSaverBus_(std::move(screenSaverBus)) {
    if (busAddress_.empty()) {
        const char* fromEnv = std::getenv("NOCTURO_LOGIND_BUS");
        if (fromEnv) busAddress_ = fromEnv;
    }
}

LogindSessionPower::~LogindSessionPower() {
    if (inhibitor_ >= 0) ::close(inhibitor_);
}

void LogindSessionPower::enableShutdownPrivilege() {}

void LogindSessionPower::terminateShell() {}

#if NOCTURO_HAVE_SDBUS

namespace {

constexpr const char* kService = "org.freedesktop.login1";
constexpr const char* kManagerPath = "/org/freedesktop/login1";
constexpr const char* kManager = "org.freedesktop.login1.Manager";
constexpr const char* kSession = "org.freedesktop.login1.Session";

using namespace sdbus;

// One method call on logind; returns the reply or raises the failure.
template <typename... Args>
MessagePtr CallLogind(sd_bus* bus, const char* path, const char* interface, const char* member, const char* types,
                      Args... args) {
    return sdbus::Call(bus, kService, path, interface, member, types, args...);
}

// A Manager method taking the single boolean "interactive". When it is true,
// polkit may ask the user for authorisation.
void CallInteractive(const std::string& address, const char* member, bool interactive) {
    BusPtr bus = OpenInteractiveBus(address, Label(kManager, member), interactive);
    CallLogind(bus.get(), kManagerPath, kManager, member, "b", interactive ? 1 : 0);
}

// The id of the session this process belongs to: XDG_SESSION_ID as set by
// pam_systemd, else what logind says about our process.
std::string OwnSessionId(sd_bus* bus) {
    const char* fromEnv = std::getenv("XDG_SESSION_ID");
    if (fromEnv && *fromEnv) return fromEnv;

    MessagePtr reply = CallLogind(bus, kManagerPath, kManager, "GetSessionByPID", "u", static_cast<std::uint32_t>(getpid()));
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
    CallLogind(bus.get(), kManagerPath, kManager, member, "s", id.c_str());
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

void LogindSessionPower::lockWorkstation() {
    // The desktop's own screen locker first: logind's LockSession only asks
    // the session to lock, which a desktop without a locker listening to it
    // ignores.
    if (DesktopScreenSaver::lockScreen(screenSaverBus_)) return;
    CallOnOwnSession(busAddress_, "LockSession");
}

void LogindSessionPower::blockSessionEnd(bool blocked) {
    if (!blocked) {
        if (inhibitor_ >= 0) ::close(inhibitor_);
        inhibitor_ = -1;
        return;
    }
    if (inhibitor_ >= 0) return;
    const std::string what = Label(kManager, "Inhibit");
    BusPtr bus = OpenBus(busAddress_, what);
    MessagePtr reply = CallLogind(bus.get(), kManagerPath, kManager, "Inhibit", "ssss",
                                  "shutdown:sleep:handle-power-key:handle-suspend-key", "Nocturo", "Secure PC is on",
                                  "block");
    int fd = -1;
    int r = sd_bus_message_read(reply.get(), "h", &fd);
    if (r < 0) Fail(what, r, nullptr);
    // The reply owns the descriptor it carries and closes it with itself.
    const int held = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (held < 0) throw Error(err::SystemCallFailed, what + ": cannot keep the inhibitor: " + std::strerror(errno));
    inhibitor_ = held;
}

#else  // built without libsystemd

namespace {
[[noreturn]] void NotBuilt() { throw Error(err::SystemCallFailed, "systemd-logind support not built"); }
}  // namespace

bool LogindSessionPower::supported() noexcept { return false; }

void LogindSessionPower::exitWindowsEx(std::uint32_t, std::uint32_t) {
    (void)busAddress_, (void)screenSaverBus_;
    NotBuilt();
}

void LogindSessionPower::setSuspendState(bool, bool, bool) { NotBuilt(); }

void LogindSessionPower::lockWorkstation() { NotBuilt(); }
void LogindSessionPower::blockSessionEnd(bool) { NotBuilt(); }

#endif

}  // namespace nocturo::platform

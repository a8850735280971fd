#include "platform/posix/DesktopScreenSaver.h"

#include <cstdlib>
#include <utility>

#include "platform/Error.h"

#if NOCTURO_HAVE_SDBUS
#include "platform/posix/SdBus.h"
#endif

namespace nocturo::platform {

namespace {
std::string AddressFrom(std::string address) {
    if (address.empty()) {
        const char* fromEnv = std::getenv("NOCTURO_SCREENSAVER_BUS");
        if (fromEnv) address = fromEnv;
    }
    return address;
}
}  // namespace

DesktopScreenSaver::DesktopScreenSaver(std::string busAddress) : busAddress_(AddressFrom(std::move(busAddress))) {}

std::optional<std::int64_t> DesktopScreenSaver::idleSeconds() {
    if (auto milliseconds = x11_.idleMilliseconds()) return *milliseconds / 1000;
#if NOCTURO_HAVE_SDBUS
    return sessionIdleSeconds();
#else
    return std::nullopt;
#endif
}

#if NOCTURO_HAVE_SDBUS

namespace {

constexpr const char* kService = "org.freedesktop.ScreenSaver";
constexpr const char* kInterface = "org.freedesktop.ScreenSaver";
// The second is where older KDE desktops serve it.
constexpr const char* kPaths[] = {"/org/freedesktop/ScreenSaver", "/ScreenSaver"};

using namespace sdbus;

// Nobody owns the name: this desktop has no such service.
bool ServiceMissing(const sd_bus_error& e) {
    return sd_bus_error_has_name(&e, SD_BUS_ERROR_SERVICE_UNKNOWN) ||
           sd_bus_error_has_name(&e, SD_BUS_ERROR_NAME_HAS_NO_OWNER);
}

// The service is there, but not with this object or method.
bool MethodMissing(const sd_bus_error& e) {
    return sd_bus_error_has_name(&e, SD_BUS_ERROR_UNKNOWN_OBJECT) ||
           sd_bus_error_has_name(&e, SD_BUS_ERROR_UNKNOWN_METHOD) ||
           sd_bus_error_has_name(&e, SD_BUS_ERROR_UNKNOWN_INTERFACE);
}

// Calls `member` at `path`, or when it is null at the first of kPaths that
// serves it; `served` gets the path that answered. Returns the reply, or
// null when the service, the method or the bus is not there; any other
// failure raises the platform Error.
template <typename... Args>
MessagePtr CallScreenSaver(sd_bus* bus, const char* member, const char* path, std::string* served, const char* types,
                           Args... args) {
    for (const char* candidate : kPaths) {
        if (path) candidate = path;
        BusError error;
        sd_bus_message* reply = nullptr;
        int r = sd_bus_call_method(bus, kService, candidate, kInterface, member, &error.e, &reply, types, args...);
        if (r >= 0) {
            if (served) *served = candidate;
            return MessagePtr(reply);
        }
        if (sd_bus_is_open(bus) <= 0 || ServiceMissing(error.e)) return nullptr;
        if (!MethodMissing(error.e)) Fail(Label(kInterface, member), r, &error.e);
        if (path) break;
    }
    return nullptr;
}

}  // namespace

struct DesktopScreenSaver::Connection {
    BusPtr bus;
};

DesktopScreenSaver::~DesktopScreenSaver() {
    try {
        setActive(false);
    } catch (const Error&) {
        // Closing the connection below lifts it all the same.
    }
}

DesktopScreenSaver::Connection* DesktopScreenSaver::connection() {
    if (connection_ && sd_bus_is_open(connection_->bus.get()) <= 0) connection_.reset();
    if (!connection_) {
        try {
            auto c = std::make_unique<Connection>();
            c->bus = OpenBus(busAddress_, kInterface, Which::Session);
            connection_ = std::move(c);
        } catch (const Error&) {
            return nullptr;  // no session bus
        }
    }
    // Nothing is asked of us on this connection; what the bus sent is read
    // and let go, so that it does not pile up.
    while (sd_bus_process(connection_->bus.get(), nullptr) > 0) {
    }
    return connection_.get();
}

void DesktopScreenSaver::setActive(bool active) {
    if (active) {
        if (cookie_) return;
        Connection* c = connection();
        if (!c) return;
        std::string path;
        MessagePtr reply =
            CallScreenSaver(c->bus.get(), "Inhibit", nullptr, &path, "ss", "Nocturo", "Secure PC screen saver");
        if (!reply) return;
        std::uint32_t cookie = 0;
        int r = sd_bus_message_read(reply.get(), "u", &cookie);
        if (r < 0) Fail(Label(kInterface, "Inhibit"), r, nullptr);
        cookie_ = cookie;
        cookiePath_ = path;
        return;
    }
    if (!cookie_) return;
    const std::uint32_t cookie = *cookie_;
    const std::string path = std::move(cookiePath_);
    cookie_.reset();
    cookiePath_.clear();
    // The inhibition belongs to the connection that asked for it: when that
    // one is gone, so is the inhibition.
    if (!connection_ || sd_bus_is_open(connection_->bus.get()) <= 0) {
        connection_.reset();
        return;
    }
    try {
        CallScreenSaver(connection_->bus.get(), "UnInhibit", path.c_str(), nullptr, "u", cookie);
    } catch (const Error&) {
        // Closing our connection lifts it too; the refusal is still told.
        connection_.reset();
        throw;
    }
}

std::optional<std::int64_t> DesktopScreenSaver::sessionIdleSeconds() {
    Connection* c = connection();
    if (!c) return std::nullopt;
    try {
        MessagePtr reply = CallScreenSaver(c->bus.get(), "GetSessionIdleTime", nullptr, nullptr, "");
        std::uint32_t seconds = 0;
        if (!reply || sd_bus_message_read(reply.get(), "u", &seconds) < 0) return std::nullopt;
        return static_cast<std::int64_t>(seconds);
    } catch (const Error&) {
        return std::nullopt;
    }
}

bool DesktopScreenSaver::lockScreen(const std::string& busAddress) {
    const std::string what = Label(kInterface, "Lock");
    BusPtr bus;
    try {
        bus = OpenBus(AddressFrom(busAddress), what, Which::Session);
    } catch (const Error&) {
        return false;  // no session bus
    }
    return CallScreenSaver(bus.get(), "Lock", nullptr, nullptr, "") != nullptr;
}

#else  // built without libsystemd: nothing to inhibit, nothing to ask

struct DesktopScreenSaver::Connection {};

DesktopScreenSaver::~DesktopScreenSaver() = default;

DesktopScreenSaver::Connection* DesktopScreenSaver::connection() { return nullptr; }

void DesktopScreenSaver::setActive(bool) { (void)cookie_, (void)cookiePath_; }

bool DesktopScreenSaver::lockScreen(const std::string&) { return false; }

#endif

}  // namespace nocturo::platform

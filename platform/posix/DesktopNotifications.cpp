#include "platform/posix/DesktopNotifications.h"

#include <cstdlib>
#include <utility>

#include "platform/Error.h"

#if NOCTURO_HAVE_SDBUS
#include "platform/posix/SdBus.h"
#endif

namespace nocturo::platform {

#if NOCTURO_HAVE_SDBUS

namespace {

constexpr const char* kService = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr const char* kInterface = "org.freedesktop.Notifications";
constexpr std::uint8_t kUrgencyNormal = 1, kUrgencyCritical = 2;

using namespace sdbus;

struct SlotUnref {
    void operator()(sd_bus_slot* s) const { sd_bus_slot_unref(s); }
};
using SlotPtr = std::unique_ptr<sd_bus_slot, SlotUnref>;

}  // namespace

struct DesktopNotifications::Connection {
    BusPtr bus;
    SlotPtr actionSlot, closedSlot;
    int fd = -1;
    IEventLoop* watchedBy = nullptr;  // the loop that reads the descriptor: the signals reach us
    bool actions = false;  // the service has the "actions" capability
};

DesktopNotifications::DesktopNotifications(std::string busAddress, std::string appIcon)
    : busAddress_(std::move(busAddress)), appIcon_(std::move(appIcon)),
      self_(std::make_shared<DesktopNotifications*>(this)) {}

DesktopNotifications::~DesktopNotifications() {
    *self_ = nullptr;
    drop();
}

void DesktopNotifications::drop() {
    if (!connection_) return;
    if (connection_->watchedBy) connection_->watchedBy->removeReadWatch(connection_->fd);
    // The slots go before the bus they belong to.
    connection_->actionSlot.reset();
    connection_->closedSlot.reset();
    connection_.reset();
    open_.clear();
}

DesktopNotifications::Connection* DesktopNotifications::connection() {
    if (off_) return nullptr;
    if (connection_ && sd_bus_is_open(connection_->bus.get()) > 0) return connection_.get();
    drop();
    auto c = std::make_unique<Connection>();
    try {
        c->bus = OpenBus(busAddress_, kInterface, Which::Session);
        MessagePtr reply = Call(c->bus.get(), kService, kPath, kInterface, "GetCapabilities", "");
        char** caps = nullptr;
        int r = sd_bus_message_read_strv(reply.get(), &caps);
        if (r < 0) Fail(Label(kInterface, "GetCapabilities"), r, nullptr);
        for (char** cap = caps; cap && *cap; ++cap) {
            if (std::string(*cap) == "actions") c->actions = true;
            free(*cap);
        }
        free(caps);
    } catch (const Error&) {
        // No bus, or no notification service on it: off for this run, told once.
        off_ = true;
        throw;
    }

    auto onAction = [](sd_bus_message* m, void* user, sd_bus_error*) -> int {
        std::uint32_t id = 0;
        const char* key = nullptr;
        if (sd_bus_message_read(m, "us", &id, &key) >= 0 && key)
            static_cast<DesktopNotifications*>(user)->actionInvoked(id, key);
        return 0;
    };
    auto onClosed = [](sd_bus_message* m, void* user, sd_bus_error*) -> int {
        std::uint32_t id = 0, reason = 0;
        if (sd_bus_message_read(m, "uu", &id, &reason) >= 0)
            static_cast<DesktopNotifications*>(user)->closedByDesktop(id);
        return 0;
    };
    // Without a loop that watches the descriptor the choices would never be
    // read: the notifications then come without buttons.
    sd_bus_slot* slot = nullptr;
    if (sd_bus_match_signal(c->bus.get(), &slot, kService, kPath, kInterface, "ActionInvoked", onAction, this) >= 0)
        c->actionSlot.reset(slot);
    slot = nullptr;
    if (sd_bus_match_signal(c->bus.get(), &slot, kService, kPath, kInterface, "NotificationClosed", onClosed, this) >=
        0)
        c->closedSlot.reset(slot);
    c->fd = sd_bus_get_fd(c->bus.get());
    connection_ = std::move(c);
    watch();
    return connection_.get();
}

void DesktopNotifications::watch() {
    Connection* c = connection_.get();
    if (!c || c->watchedBy == loop_) return;
    if (c->watchedBy) c->watchedBy->removeReadWatch(c->fd);
    c->watchedBy = nullptr;
    if (!loop_ || c->fd < 0 || !c->actionSlot) return;
    std::weak_ptr<DesktopNotifications*> weak = self_;
    if (loop_->addReadWatch(c->fd, [weak] {
            if (auto self = weak.lock(); self && *self) (*self)->pump();
        }))
        c->watchedBy = loop_;
}

void DesktopNotifications::setActionHandler(ActionHandler handler, IEventLoop* loop) {
    handler_ = std::move(handler);
    loop_ = loop;
    watch();
}

void DesktopNotifications::pump() {
    if (!connection_) return;
    sd_bus* bus = connection_->bus.get();
    for (;;) {
        int r = sd_bus_process(bus, nullptr);
        if (r < 0 || sd_bus_is_open(bus) <= 0) {
            // The bus went away: the next notification connects again.
            drop();
            return;
        }
        if (r == 0) return;
    }
}

void DesktopNotifications::actionInvoked(std::uint32_t id, const std::string& key) {
    // Every notification on the desktop sends its signal to all who listen:
    // only ours are told.
    if (!open_.count(id) || !loop_) return;
    std::weak_ptr<DesktopNotifications*> weak = self_;
    loop_->post([weak, id, key] {
        auto self = weak.lock();
        if (!self || !*self) return;
        ActionHandler handler = (*self)->handler_;
        if (handler) handler(id, key);
    });
}

void DesktopNotifications::closedByDesktop(std::uint32_t id) { open_.erase(id); }

bool DesktopNotifications::supportsActions() {
    Connection* c = connection();
    return c && c->actions && c->watchedBy;
}

std::uint32_t DesktopNotifications::show(const std::string& title, const std::string& body,
                                         const std::vector<NotificationAction>& actions, bool urgent) {
    Connection* c = connection();
    if (!c) return 0;
    const std::string what = Label(kInterface, "Notify");
    sd_bus* bus = c->bus.get();
    sd_bus_message* raw = nullptr;
    int r = sd_bus_message_new_method_call(bus, &raw, kService, kPath, kInterface, "Notify");
    if (r < 0) Fail(what, r, nullptr);
    MessagePtr m(raw);
    r = sd_bus_message_append(m.get(), "susss", "Nocturo", std::uint32_t{0}, appIcon_.c_str(), title.c_str(),
                              body.c_str());
    if (r >= 0) r = sd_bus_message_open_container(m.get(), 'a', "s");
    if (c->actions && c->watchedBy)
        for (const NotificationAction& a : actions) {
            if (r >= 0) r = sd_bus_message_append(m.get(), "s", a.key.c_str());
            if (r >= 0) r = sd_bus_message_append(m.get(), "s", a.label.c_str());
        }
    if (r >= 0) r = sd_bus_message_close_container(m.get());
    if (r >= 0)
        r = sd_bus_message_append(m.get(), "a{sv}", 2, "urgency", "y", urgent ? kUrgencyCritical : kUrgencyNormal,
                                  "desktop-entry", "s", "nocturo");
    // -1: the desktop decides how long it stays.
    if (r >= 0) r = sd_bus_message_append(m.get(), "i", std::int32_t{-1});
    if (r < 0) Fail(what, r, nullptr);

    BusError error;
    sd_bus_message* reply = nullptr;
    r = sd_bus_call(bus, m.get(), 0, &error.e, &reply);
    MessagePtr answer(reply);
    // Signals that came in while we waited for the answer are queued, not
    // readable on the descriptor any more: they are handled from the loop.
    if (c->watchedBy) {
        std::weak_ptr<DesktopNotifications*> weak = self_;
        c->watchedBy->post([weak] {
            if (auto self = weak.lock(); self && *self) (*self)->pump();
        });
    }
    if (r < 0) Fail(what, r, &error.e);
    std::uint32_t id = 0;
    r = sd_bus_message_read(answer.get(), "u", &id);
    if (r < 0) Fail(what, r, nullptr);
    if (id != 0) open_.insert(id);
    return id;
}

void DesktopNotifications::close(std::uint32_t id) {
    if (!open_.count(id) || !connection_ || sd_bus_is_open(connection_->bus.get()) <= 0) return;
    open_.erase(id);
    Call(connection_->bus.get(), kService, kPath, kInterface, "CloseNotification", "u", id);
}

#else  // built without libsystemd: no notifications

struct DesktopNotifications::Connection {};

DesktopNotifications::DesktopNotifications(std::string busAddress, std::string appIcon)
    : busAddress_(std::move(busAddress)), appIcon_(std::move(appIcon)), off_(true),
      self_(std::make_shared<DesktopNotifications*>(this)) {}
void DesktopNotifications::setActionHandler(ActionHandler handler, IEventLoop* loop) {
    handler_ = std::move(handler);
    loop_ = loop;
}
void DesktopNotifications::watch() {}
DesktopNotifications::~DesktopNotifications() = default;
DesktopNotifications::Connection* DesktopNotifications::connection() { return nullptr; }
void DesktopNotifications::drop() {}
void DesktopNotifications::pump() {}
void DesktopNotifications::actionInvoked(std::uint32_t, const std::string&) {}
void DesktopNotifications::closedByDesktop(std::uint32_t) {}
bool DesktopNotifications::supportsActions() { return false; }
std::uint32_t DesktopNotifications::show(const std::string&, const std::string&,
                                         const std::vector<NotificationAction>&, bool) {
    return 0;
}
void DesktopNotifications::close(std::uint32_t) {}

#endif

}  // namespace nocturo::platform

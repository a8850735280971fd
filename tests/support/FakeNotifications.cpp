#include "support/FakeNotifications.h"

#if NOCTURO_HAVE_SDBUS
#include <cstdlib>
#include <utility>

namespace nocturo::test {

namespace {
constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr const char* kInterface = "org.freedesktop.Notifications";
}  // namespace

const sd_bus_vtable FakeNotifications::kVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("GetCapabilities", "", "as", OnCapabilities, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Notify", "susssasa{sv}i", "u", OnNotify, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("CloseNotification", "u", "", OnClose, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("GetServerInformation", "", "ssss", OnServerInformation, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_SIGNAL("NotificationClosed", "uu", 0),
    SD_BUS_SIGNAL("ActionInvoked", "us", 0),
    SD_BUS_VTABLE_END,
};

FakeNotifications::FakeNotifications(const std::string& address, std::vector<std::string> capabilities)
    : capabilities_(std::move(capabilities)), service_(address, [this](sd_bus* bus) -> std::string {
          if (sd_bus_add_object_vtable(bus, nullptr, kPath, kInterface, kVtable, this) < 0) return "add vtable";
          if (sd_bus_request_name(bus, "org.freedesktop.Notifications", 0) < 0) return "sd_bus_request_name";
          return {};
      }) {}

std::vector<FakeNotifications::Notified> FakeNotifications::notified() const {
    std::lock_guard lock(mutex_);
    return notified_;
}

std::vector<std::uint32_t> FakeNotifications::closed() const {
    std::lock_guard lock(mutex_);
    return closed_;
}

bool FakeNotifications::waitForNotified(std::size_t n, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return notified_.size() >= n; });
}

void FakeNotifications::invoke(std::uint32_t id, const std::string& key) {
    service_.post([id, key](sd_bus* bus) {
        sd_bus_emit_signal(bus, kPath, kInterface, "ActionInvoked", "us", id, key.c_str());
    });
}

void FakeNotifications::closeFromDesktop(std::uint32_t id, std::uint32_t reason) {
    service_.post([id, reason](sd_bus* bus) {
        sd_bus_emit_signal(bus, kPath, kInterface, "NotificationClosed", "uu", id, reason);
    });
}

int FakeNotifications::OnCapabilities(sd_bus_message* m, void* self, sd_bus_error*) {
    auto* fake = static_cast<FakeNotifications*>(self);
    sd_bus_message* reply = nullptr;
    int r = sd_bus_message_new_method_return(m, &reply);
    if (r < 0) return r;
    std::vector<char*> strv;
    for (auto& c : fake->capabilities_) strv.push_back(c.data());
    strv.push_back(nullptr);
    r = sd_bus_message_append_strv(reply, strv.data());
    if (r >= 0) r = sd_bus_send(nullptr, reply, nullptr);
    sd_bus_message_unref(reply);
    return r;
}

int FakeNotifications::OnServerInformation(sd_bus_message* m, void*, sd_bus_error*) {
    return sd_bus_reply_method_return(m, "ssss", "fake", "nocturo tests", "1.0", "1.2");
}

int FakeNotifications::OnNotify(sd_bus_message* m, void* self, sd_bus_error*) {
    auto* fake = static_cast<FakeNotifications*>(self);
    Notified n;
    const char *app = nullptr, *icon = nullptr, *summary = nullptr, *body = nullptr;
    int r = sd_bus_message_read(m, "susss", &app, &n.replacesId, &icon, &summary, &body);
    if (r < 0) return r;
    n.appName = app;
    n.appIcon = icon;
    n.summary = summary;
    n.body = body;
    char** actions = nullptr;
    r = sd_bus_message_read_strv(m, &actions);
    if (r < 0) return r;
    for (char** a = actions; a && *a; ++a) {
        n.actions.emplace_back(*a);
        std::free(*a);
    }
    std::free(actions);
    r = sd_bus_message_enter_container(m, 'a', "{sv}");
    if (r < 0) return r;
    while ((r = sd_bus_message_enter_container(m, 'e', "sv")) > 0) {
        const char* name = nullptr;
        if ((r = sd_bus_message_read(m, "s", &name)) < 0) return r;
        const std::string hint = name;
        if (hint == "urgency") {
            std::uint8_t urgency = 0;
            if ((r = sd_bus_message_read(m, "v", "y", &urgency)) < 0) return r;
            n.urgency = urgency;
        } else if (hint == "desktop-entry") {
            const char* entry = nullptr;
            if ((r = sd_bus_message_read(m, "v", "s", &entry)) < 0) return r;
            n.desktopEntry = entry;
        } else if ((r = sd_bus_message_skip(m, "v")) < 0) {
            return r;
        }
        if ((r = sd_bus_message_exit_container(m)) < 0) return r;
    }
    if (r < 0) return r;
    if ((r = sd_bus_message_exit_container(m)) < 0) return r;
    if ((r = sd_bus_message_read(m, "i", &n.timeout)) < 0) return r;
    {
        std::lock_guard lock(fake->mutex_);
        n.id = n.replacesId != 0 ? n.replacesId : fake->nextId_++;
        fake->notified_.push_back(n);
    }
    fake->changed_.notify_all();
    return sd_bus_reply_method_return(m, "u", n.id);
}

int FakeNotifications::OnClose(sd_bus_message* m, void* self, sd_bus_error*) {
    auto* fake = static_cast<FakeNotifications*>(self);
    std::uint32_t id = 0;
    int r = sd_bus_message_read(m, "u", &id);
    if (r < 0) return r;
    {
        std::lock_guard lock(fake->mutex_);
        fake->closed_.push_back(id);
    }
    r = sd_bus_reply_method_return(m, "");
    // As the desktop does: the notification is gone, reason 3 (closed by a call).
    if (r >= 0) sd_bus_emit_signal(sd_bus_message_get_bus(m), kPath, kInterface, "NotificationClosed", "uu", id, 3u);
    return r;
}

}  // namespace nocturo::test
#endif

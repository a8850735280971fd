#pragma once
// A stand-in for the desktop's notification service
// (org.freedesktop.Notifications) on a PrivateBus: it records every Notify
// and CloseNotification, answers GetCapabilities with the capabilities a
// test chose, and plays the user (a button chosen: ActionInvoked) and the
// desktop (a notification that went away: NotificationClosed). Nothing is
// shown.
#if NOCTURO_HAVE_SDBUS
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "support/PrivateBus.h"

namespace nocturo::test {

class FakeNotifications {
public:
    struct Notified {
        std::uint32_t id = 0;  // the id handed out
        std::string appName;
        std::uint32_t replacesId = 0;
        std::string appIcon, summary, body;
        std::vector<std::string> actions;  // key, label, key, label, ...
        int urgency = -1;                  // the "urgency" hint; -1 when none was sent
        std::string desktopEntry;          // the "desktop-entry" hint
        std::int32_t timeout = 0;
    };

    // The first id handed out; each one after it is one more.
    static constexpr std::uint32_t kFirstId = 7;

    explicit FakeNotifications(const std::string& address, std::vector<std::string> capabilities = {"actions", "body"});

    std::vector<Notified> notified() const;
    std::vector<std::uint32_t> closed() const;  // the ids asked to close
    // Waits (up to timeout) until at least n notifications came.
    bool waitForNotified(std::size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    // The user chose the button key of notification id.
    void invoke(std::uint32_t id, const std::string& key);
    // The desktop closed notification id (reason 1: it expired).
    void closeFromDesktop(std::uint32_t id, std::uint32_t reason = 1);

private:
    static int OnNotify(sd_bus_message* m, void* self, sd_bus_error* error);
    static int OnClose(sd_bus_message* m, void* self, sd_bus_error* error);
    static int OnCapabilities(sd_bus_message* m, void* self, sd_bus_error* error);
    static int OnServerInformation(sd_bus_message* m, void* self, sd_bus_error* error);
    static const sd_bus_vtable kVtable[];

    std::vector<std::string> capabilities_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<Notified> notified_;
    std::vector<std::uint32_t> closed_;
    std::uint32_t nextId_ = kFirstId;
    // Last: it stops serving before the rest goes.
    BusServiceThread service_;
};

}  // namespace nocturo::test
#endif

#pragma once
// A stand-in for the desktop's org.freedesktop.ScreenSaver service on a
// PrivateBus: it records the calls it receives, hands out cookies and tells
// the idle time a test sets. Nothing is inhibited or locked.
#if NOCTURO_HAVE_SDBUS
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "support/PrivateBus.h"

namespace nocturo::test {

class FakeScreenSaver : public CallRecorder {
public:
    // Serves the interface at each of `paths`: the desktops of today use
    // /org/freedesktop/ScreenSaver, older KDE desktops /ScreenSaver only.
    explicit FakeScreenSaver(const std::string& address,
                             std::vector<std::string> paths = {"/org/freedesktop/ScreenSaver", "/ScreenSaver"});

    // The cookie the next Inhibit hands out; each one after it is one more.
    static constexpr std::uint32_t kFirstCookie = 41;

    // The object path and the caller's unique bus name of every call, in the
    // order of calls().
    std::vector<std::string> paths() const;
    std::vector<std::string> senders() const;
    void setIdleSeconds(std::uint32_t seconds);

private:
    static int OnInhibit(sd_bus_message* m, void* self, sd_bus_error* error);
    static int OnUnInhibit(sd_bus_message* m, void* self, sd_bus_error* error);
    static int OnIdleTime(sd_bus_message* m, void* self, sd_bus_error* error);
    static int OnLock(sd_bus_message* m, void* self, sd_bus_error* error);
    static const sd_bus_vtable kVtable[];

    int note(sd_bus_message* m, const std::string& args, sd_bus_error* error);

    mutable std::mutex mutex_;
    std::vector<std::string> servedPaths_;
    std::vector<std::string> paths_;
    std::vector<std::string> senders_;
    std::uint32_t nextCookie_ = kFirstCookie;
    std::uint32_t idleSeconds_ = 0;
    // Last: it stops serving before the rest goes.
    BusServiceThread service_;
};

}  // namespace nocturo::test
#endif

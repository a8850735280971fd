#include "support/FakeScreenSaver.h"

#if NOCTURO_HAVE_SDBUS
#include <utility>

namespace nocturo::test {

const sd_bus_vtable FakeScreenSaver::kVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Inhibit", "ss", "u", OnInhibit, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("UnInhibit", "u", "", OnUnInhibit, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("GetSessionIdleTime", "", "u", OnIdleTime, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Lock", "", "", OnLock, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

FakeScreenSaver::FakeScreenSaver(const std::string& address, std::vector<std::string> paths)
    : servedPaths_(std::move(paths)), service_(address, [this](sd_bus* bus) -> std::string {
          for (const auto& path : servedPaths_)
              if (sd_bus_add_object_vtable(bus, nullptr, path.c_str(), "org.freedesktop.ScreenSaver", kVtable, this) < 0)
                  return "add " + path;
          if (sd_bus_request_name(bus, "org.freedesktop.ScreenSaver", 0) < 0) return "sd_bus_request_name";
          return {};
      }) {}

std::vector<std::string> FakeScreenSaver::paths() const {
    std::lock_guard lock(mutex_);
    return paths_;
}

std::vector<std::string> FakeScreenSaver::senders() const {
    std::lock_guard lock(mutex_);
    return senders_;
}

void FakeScreenSaver::setIdleSeconds(std::uint32_t seconds) {
    std::lock_guard lock(mutex_);
    idleSeconds_ = seconds;
}

int FakeScreenSaver::note(sd_bus_message* m, const std::string& args, sd_bus_error* error) {
    {
        std::lock_guard lock(mutex_);
        paths_.push_back(sd_bus_message_get_path(m));
        const char* sender = sd_bus_message_get_sender(m);
        senders_.push_back(sender ? sender : "");
    }
    return record(m, args, error);
}

int FakeScreenSaver::OnInhibit(sd_bus_message* m, void* self, sd_bus_error* error) {
    const char* application = nullptr;
    const char* reason = nullptr;
    int r = sd_bus_message_read(m, "ss", &application, &reason);
    if (r < 0) return r;
    auto* fake = static_cast<FakeScreenSaver*>(self);
    r = fake->note(m, "\"" + std::string(application) + "\", \"" + reason + "\"", error);
    if (r < 0) return r;
    std::uint32_t cookie = 0;
    {
        std::lock_guard lock(fake->mutex_);
        cookie = fake->nextCookie_++;
    }
    return sd_bus_reply_method_return(m, "u", cookie);
}

int FakeScreenSaver::OnUnInhibit(sd_bus_message* m, void* self, sd_bus_error* error) {
    std::uint32_t cookie = 0;
    int r = sd_bus_message_read(m, "u", &cookie);
    if (r < 0) return r;
    r = static_cast<FakeScreenSaver*>(self)->note(m, std::to_string(cookie), error);
    return r < 0 ? r : sd_bus_reply_method_return(m, "");
}

int FakeScreenSaver::OnIdleTime(sd_bus_message* m, void* self, sd_bus_error* error) {
    auto* fake = static_cast<FakeScreenSaver*>(self);
    int r = fake->note(m, "", error);
    if (r < 0) return r;
    std::uint32_t seconds = 0;
    {
        std::lock_guard lock(fake->mutex_);
        seconds = fake->idleSeconds_;
    }
    return sd_bus_reply_method_return(m, "u", seconds);
}

int FakeScreenSaver::OnLock(sd_bus_message* m, void* self, sd_bus_error* error) {
    int r = static_cast<FakeScreenSaver*>(self)->note(m, "", error);
    return r < 0 ? r : sd_bus_reply_method_return(m, "");
}

}  // namespace nocturo::test
#endif

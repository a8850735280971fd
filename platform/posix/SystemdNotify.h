#pragma once
// Tells systemd how the program's start and end go when it runs as the
// service (Type=notify): nothing happens unless NOTIFY_SOCKET is set.
namespace nocturo::platform {

// Sends one state line such as "READY=1" or "STOPPING=1"; returns whether
// it was sent.
bool NotifySystemd(const char* state) noexcept;

}  // namespace nocturo::platform

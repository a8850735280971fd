#pragma once
// The control channel on Linux: the D-Bus interface io.github.nocturo.nocturo.Control
// at /io/github/nocturo/nocturo, under the bus name io.github.nocturo.nocturo,
// on the session bus (the desktop program) or the system bus (the service).
//
//   GetState() -> a{sv}
//   Arm(s action, s at, x seconds, s password) -> a{sv}
//   Disarm(s password) -> a{sv}
//   Postpone(x seconds, s password) -> a{sv}
//   Cancel(s password) -> a{sv}
//   Now(s action, s password) -> a{sv}
//   Raise()
//   signal StateChanged(a{sv})
//
// The state's members are named as ControlState's fields ("armed",
// "secondsLeft", ...): Booleans b, counts x, the rest s. A request the
// program does not carry out comes back as the error
// io.github.nocturo.nocturo.Error.Refused, .Denied, .BadRequest or .Failed
// with the program's words as its message.
//
// Served from the program's event loop: the bus connection's descriptor is
// watched, and each time it is readable every message waiting is processed
// and the replies are written out before the loop goes on.
#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/IControl.h"
#include "platform/IEventLoop.h"

namespace nocturo::platform {

inline constexpr const char* kControlErrorPrefix = "io.github.nocturo.nocturo.Error.";
// The polkit action that lets a user change the service's schedule.
inline constexpr const char* kControlPolkitAction = "io.github.nocturo.nocturo.control";

// The D-Bus error name of a status ("" for Ok) and back (Failed for names it
// does not know).
std::string ControlErrorName(ControlStatus status);
ControlStatus ControlStatusOfError(const std::string& errorName);

// Whether a caller on the system bus may change the service's schedule.
// Reading is open to everyone; root may always change; anyone else asks this.
class IChangeAuthority {
public:
    struct Caller {
        std::string sender;  // the caller's unique bus name (":1.42")
        uid_t uid = static_cast<uid_t>(-1);
        bool interactive = false;  // the caller lets the authority ask for a password
    };
    enum class Verdict { Allowed, Denied };
    using Done = std::function<void(Verdict, const std::string& why)>;
    virtual ~IChangeAuthority() = default;
    // Calls done once, at once or later from the event loop; never after the
    // authority is gone.
    virtual void check(const Caller& caller, Done done) = 0;
};

struct DbusControlOptions {
    // The bus to use; empty: the session or system bus, by the scope, as the
    // environment names it.
    std::string address;
    // The system bus's judge of changes; null: polkit, on the same bus.
    std::unique_ptr<IChangeAuthority> authority;
};

std::unique_ptr<IControlServer> MakeDbusControlServer(ControlScope scope, IEventLoop& loop,
                                                      DbusControlOptions options = {});
// timeoutMs: how long a call waits for its answer.
std::unique_ptr<IControlClient> MakeDbusControlClient(ControlScope scope, const std::string& address = "",
                                                      int timeoutMs = 5000);

}  // namespace nocturo::platform

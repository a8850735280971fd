#pragma once
// Makes the control channel's two ends for this system: a D-Bus interface
// on Linux (session bus, or the system bus for the service; the addresses
// come from DBUS_SESSION_BUS_ADDRESS and DBUS_SYSTEM_BUS_ADDRESS as usual),
// a named pipe on Windows. The simulated machine uses the real channel too.
#include <memory>

#include "platform/IControl.h"
#include "platform/IEventLoop.h"

namespace nocturo::platform {

// The server is served from loop's thread: requests reach the handler from
// the loop, never from another thread.
std::unique_ptr<IControlServer> MakeControlServer(ControlScope scope, IEventLoop& loop);
std::unique_ptr<IControlClient> MakeControlClient(ControlScope scope);

}  // namespace nocturo::platform

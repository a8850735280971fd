#pragma once
// Whether the desktop shows tray icons as StatusNotifierItems (KDE, GNOME
// with the AppIndicator extension, most Wayland panels) rather than in an
// X11 system tray. Such hosts report a left click as "activate" and have no
// double click.
#include <string>

namespace nocturo::platform {

// True when org.kde.StatusNotifierWatcher has an owner on the session bus
// (or on the bus at `busAddress`). NOCTURO_TRAY_SNI=1 or 0 decides instead.
// False when the bus cannot be reached or libsystemd was not built in.
bool StatusNotifierHostPresent(const std::string& busAddress = {});

}  // namespace nocturo::platform

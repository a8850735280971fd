#pragma once
// Installing and removing the program as a system service (Windows: an NT
// service; Linux: a systemd unit), with the result told to the user.
//
// A failed install tries an uninstall and a failed uninstall tries an
// install, each at most once per chain, so that a machine that refuses both
// (no administrator rights) ends the chain after two attempts. An uninstall,
// whatever its result, ends the program so that the user starts it again.
#include <string>

namespace nocturo {

namespace platform {
class IRegistry;
}

class FrmMain;

void InstallService(FrmMain& form);
void UninstallService(FrmMain& form);

// Hands the schedule to the service when the service reads a store of its
// own (Linux: the system's store, as the service runs as root): the Settings
// section of the tree `fromApp` in `from`, the cleaner's default list and
// each cleaned folder's section are copied into the machine tree of the
// service's store, the service flag is set there and the action log goes
// to the service's log folder. Tells the backend which folders the cleaner
// cleans, so that the service may change them. Returns the store's path;
// empty when the service shares the program's store (nothing is copied).
// Failures raise platform::Error.
std::string PrepareServiceStore(platform::IRegistry& from, const std::string& fromApp);

// Whether this program reads and writes the machine tree for everything: the
// service flag is set and this program reads the service's store (the
// service itself, or any program where the service shares the program's
// store). A user's program on Linux keeps the user's own tree beside a
// service with a store of its own.
bool UsesServiceSettings();

// The program file that the autostart entry starts.
std::string AutostartProgramPath();

}  // namespace nocturo

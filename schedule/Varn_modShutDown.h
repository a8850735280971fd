#pragma once
// Ending the session: shut down, restart, log off or power off, with the
// flags and the privilege the operating system asks for.
#include <cstdint>

namespace nocturo {

// action: 1 shut down, 2 restart, 4 log off, 8 power off (anything else logs off).
// mode: 0 normal, 1 forced, 2 force only hung programs.
// True when the system accepted the call (the session then ends on its own
// time); false when it refused, which is logged.
bool ExitWindowsSession(std::int32_t action, std::int32_t mode);
// The flags ExitWindowsSession passes for an action and mode on a system
// with the given version code.
std::uint32_t ExitWindowsFlags(std::int32_t action, std::int32_t mode, int winVersionCode);
void SetShutdownPrivilege();
void TerminateExplorer();

}  // namespace nocturo

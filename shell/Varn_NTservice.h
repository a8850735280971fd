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

class FrmMain;

void InstallService(FrmMain& form);
void UninstallService(FrmMain& form);

// The program file that the autostart entry starts.
std::string AutostartProgramPath();

}  // namespace nocturo

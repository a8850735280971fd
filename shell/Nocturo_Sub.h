#pragma once
// The start-menu policies of the secured PC. On Windows they are the
// Explorer policies of the current user (the start menu loses its shut down
// and log off entries at the next restart); on Linux the desktop's own shut
// down, restart and suspend are blocked for as long as the program holds the
// block, which ends with the program.
#include <string>

namespace nocturo {

inline constexpr const char* kExplorerPolicies =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\";

void disable_shutdown_startmenu_button();
void enable_shutdown_startmenu_button();
void disable_logoff_startmenu_button();
void enable_logoff_startmenu_button();

}  // namespace nocturo

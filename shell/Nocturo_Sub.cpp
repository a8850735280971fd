#include "shell/Nocturo_Sub.h"

#include "base/Runtime.h"
#include "base/Varn_ErrorLog.h"
#include "base/Varn_Registry.h"
#include "platform/ISessionPower.h"
#include "shell/FrmMainParts.h"

namespace nocturo {

namespace {

void policy(const char* procedure, const char* value, std::int16_t on) {
    Step(procedure, 1, [&] { CreateIntegerKey(std::string(kExplorerPolicies) + value, on); });
}

// Linux has no start menu to take entries from; the session's end is held
// back through the login manager instead. Log off cannot be held back there,
// so the log-off procedures change nothing on Linux (and the boxes of the
// secured PC say only what is blocked).
void block(const char* procedure, bool blocked) {
    Step(procedure, 1, [&] { power().blockSessionEnd(blocked); });
}

}  // namespace

void disable_shutdown_startmenu_button() {
    const char* p = "disable_shutdown_startmenu_button of Modul Nocturo_Sub";
    if (frmmain::isWindowsStyle()) policy(p, "NoClose", 1);
    else block(p, true);
}

void enable_shutdown_startmenu_button() {
    const char* p = "enable_shutdown_startmenu_button of Modul Nocturo_Sub";
    if (frmmain::isWindowsStyle()) policy(p, "NoClose", 0);
    else block(p, false);
}

void disable_logoff_startmenu_button() {
    if (frmmain::isWindowsStyle()) policy("disable_logoff_startmenu_button of Modul Nocturo_Sub", "NoLogOff", 1);
}

void enable_logoff_startmenu_button() {
    if (frmmain::isWindowsStyle()) policy("enable_logoff_startmenu_button of Modul Nocturo_Sub", "NoLogOff", 0);
}

}  // namespace nocturo

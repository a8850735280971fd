// Control from outside the window: postponing and cancelling for the control
// channel, the notifications, the postpone buttons and the tray menu.
#include "shell/FrmMain.h"

namespace nocturo {

bool FrmMain::Postpone(long long seconds, std::string& why) {
    (void)seconds;
    why = "Nothing is due.";
    return false;
}

bool FrmMain::CancelRunning(std::string& why) {
    why = "No action is running.";
    return false;
}

platform::ControlState FrmMain::controlState() const { return {}; }

}  // namespace nocturo

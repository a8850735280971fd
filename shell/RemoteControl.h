#pragma once
// The control channel's requests carried out on the main window: each one
// goes through the window's own handlers (choosing an action or a mode, the
// time fields, arming, ShutDown_Action, postponing, cancelling, bringing
// the window back), so it logs, sounds and asks as a click would, and is
// refused where the window refuses.
//
// What needs the options password (when one is set): arming with an action
// or a time, and disarming - changes to what the options panel holds. A
// bare Arm (the schedule as set, as the tray menu's item does), Status,
// Now, Postpone, Cancel and Raise do not: the window offers them without
// the password too (the button, the tray menu, the stop picture). Cancel is
// refused while "Disable Cancel button" is set.
#include <string>
#include <string_view>

#include "platform/IControl.h"

namespace nocturo {

class FrmMain;

class RemoteControl {
public:
    explicit RemoteControl(FrmMain& form) : form_(form) {}
    platform::ControlReply handle(const platform::ControlRequest& request);

    // The ShutDown_Action name of an action as a request names it: the
    // window's names ("Nocturo", "Reboot", ..., any case) or the command
    // line's ("shutdown", "reboot", "lock", "program", ...); "" and "default"
    // give "" (the action chosen in the window). False for anything else.
    static bool ActionByName(std::string_view name, std::string& action);
    // "HH:MM" or "HH:MM:SS" (the hour may have one digit) as two-digit texts.
    static bool ParseTimeOfDay(std::string_view text, std::string& hour, std::string& minute, std::string& second);

private:
    platform::ControlReply arm(const platform::ControlRequest& request);
    // The options password, when one is set, must match.
    bool passwordAccepted(const std::string& given) const;

    FrmMain& form_;
};

}  // namespace nocturo

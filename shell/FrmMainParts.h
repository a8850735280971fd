#pragma once
// What the files of the main window share: the action table, the error
// convention of its handlers and a few small helpers. Only FrmMain*.cpp
// include this.
#include <cstdint>
#include <string>
#include <utility>

#include "base/Varn_ErrorLog.h"
#include "shell/FrmMain.h"

namespace nocturo::frmmain {

inline constexpr const char* kCancelCaption = "&cancel";

}  // namespace nocturo::frmmain

namespace nocturo {
// The /action: name of an action code ("Reboot" for action::Restart), as
// the control channel names it.
std::string ServiceActionName(std::int32_t code);
}  // namespace nocturo

namespace nocturo::frmmain {

struct ActionRow {
    const char* option;
    std::int32_t code;
    const char* goCaption;     // after choosing the option
    const char* resetCaption;  // in the ready state
    const char* label;
    const char* announcement;
};

inline constexpr ActionRow kActions[8] = {
    {"Shut&down", action::Shutdown, "Shut Down now!", "Shut Down Now!", "Shut Down", "action shut down acctivated"},
    {"&Reboot", action::Restart, "Reboot now!", "Reboot Now!", "Reboot", "action reboot acctivated"},
    {"&Logoff", action::Logoff, "LogOff now!", "LogOff Now!", "Log Off", "action LogOff acctivated"},
    {"Start &Program only", action::StartProgram, "Start Program!", "Start Program!", "Start Program",
     "action start program acctivated"},
    {"&Alarm sound only", action::Alarm, "Alarm Mode!", "Alarm Mode!", "Alarm Mode", "Alarm Mode acctivated"},
    {"Suspend/Standby", action::Suspend, "Suspend PC!", "Suspend now!", "Suspend PC", "action Suspend PC acctivated"},
    {"Hibernate", action::Hibernate, "Hibernate PC!", "Hibernate now!", "Hibernate PC", "action Hibernate PC acctivated"},
    {"Lock Computer", action::LockPC, "Lock PC!", "Lock PC now!", "Lock PC", "action lock pc acctivated"},
};

inline constexpr const char* kModeCaptions[4] = {"Start Action at", "Start Action depending on weekday",
                                                 "Start Action in", "Start Action if in defined time window"};
inline constexpr int kModeIntervals[4] = {500, 500, 1000, 10000};

// How much real time may pass between two ticks for a due moment passed in
// between still to count (a busy machine, the clock moved forward); after a
// longer gap (the computer slept, the program stood still) it is missed.
inline constexpr std::int64_t kCatchUpMs = 10000;

inline std::string proc(const char* handler) { return std::string(handler) + " of Formular FrmMain"; }

// One statement of a main-window handler: failures are logged under the
// handler's name with the program as the source, and the handler goes on.
template <class F>
bool step(const std::string& procedure, long line, F&& f) {
    return Step(procedure.c_str(), line, std::forward<F>(f), kProgramSource);
}

bool isWindowsStyle();
// Locks the computer: the lock program where there is one, else the
// session's lock. Throws when the system refuses.
void lockComputer();

}  // namespace nocturo::frmmain

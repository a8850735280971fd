#include "platform/sim/SimSessionPower.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "platform/Error.h"

namespace nocturo::platform {

SimSessionPower::SimSessionPower(Journal& journal) : journal_(journal), sessionEnd_(&SimSessionPower::endProcess) {}

void SimSessionPower::endProcess(std::uint32_t) {
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    std::_Exit(0);
}

void SimSessionPower::setSessionEndHook(SessionEndHook hook) {
    sessionEnd_ = hook ? std::move(hook) : SessionEndHook(&SimSessionPower::endProcess);
}

void SimSessionPower::refuseIfAsked(const char* call) const {
    if (refuse_) throw Error(err::SystemCallFailed, std::string(call) + " refused");
}

void SimSessionPower::enableShutdownPrivilege() {
    journal_.append(JsonObject{{"call", "AdjustTokenPrivileges"}, {"privilege", "SeShutdownPrivilege"}});
    refuseIfAsked("AdjustTokenPrivileges");
}

void SimSessionPower::exitWindowsEx(std::uint32_t flags, std::uint32_t reserved) {
    journal_.append(JsonObject{{"call", "ExitWindowsEx"}, {"flags", flags}, {"reserved", reserved}});
    refuseIfAsked("ExitWindowsEx");
    sessionEnd_(flags);
}

void SimSessionPower::setSuspendState(bool hibernate, bool forceCritical, bool disableWakeEvent) {
    journal_.append(JsonObject{{"call", "SetSuspendState"},
                               {"hibernate", hibernate ? 1 : 0},
                               {"force", forceCritical ? 1 : 0},
                               {"disableWakeEvent", disableWakeEvent ? 1 : 0}});
    refuseIfAsked("SetSuspendState");
}

void SimSessionPower::terminateShell() {
    journal_.append(JsonObject{{"call", "TerminateShell"}});
    refuseIfAsked("TerminateShell");
}

void SimSessionPower::lockWorkstation() {
    journal_.append(JsonObject{{"call", "LockWorkStation"}});
    refuseIfAsked("LockWorkStation");
}

void SimSessionPower::blockSessionEnd(bool blocked) {
    journal_.append(JsonObject{{"call", "BlockSessionEnd"}, {"blocked", blocked}});
    refuseIfAsked("BlockSessionEnd");
    blocked_ = blocked;
}

}  // namespace nocturo::platform

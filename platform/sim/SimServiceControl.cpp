#include "platform/sim/SimServiceControl.h"

#include "platform/Error.h"

namespace nocturo::platform {

void SimServiceControl::refuseIfAsked(const std::string& call) const {
    auto it = refuse_.find(call);
    if (it != refuse_.end() && it->second) throw Error(err::SystemCallFailed, call + " refused");
}

bool SimServiceControl::autostartPresent() {
    journal_.append(JsonObject{{"call", "AutostartPresent"}, {"result", autostart_ ? 1 : 0}});
    return autostart_;
}

void SimServiceControl::writeAutostart(const std::string& name, const std::string& programPath) {
    journal_.append(JsonObject{{"call", "WriteAutostart"}, {"name", name}, {"path", programPath}});
    refuseIfAsked("WriteAutostart");
    autostart_ = true;
    autostartPath_ = programPath;
}

void SimServiceControl::removeAutostart() {
    journal_.append(JsonObject{{"call", "RemoveAutostart"}});
    refuseIfAsked("RemoveAutostart");
    autostart_ = false;
    autostartPath_.clear();
}

std::string SimServiceControl::serviceDisplayName() { return kWindowsServiceDisplayName; }

bool SimServiceControl::serviceInstalled() {
    journal_.append(JsonObject{{"call", "ServiceInstalled"}, {"result", installed_ ? 1 : 0}});
    return installed_;
}

void SimServiceControl::installService() {
    journal_.append(JsonObject{{"call", "InstallService"}});
    refuseIfAsked("InstallService");
    installed_ = true;
}

void SimServiceControl::uninstallService() {
    journal_.append(JsonObject{{"call", "UninstallService"}});
    refuseIfAsked("UninstallService");
    installed_ = false;
    running_ = false;
}

bool SimServiceControl::serviceRunning() {
    journal_.append(JsonObject{{"call", "ServiceRunning"}, {"result", running_ ? 1 : 0}});
    return running_;
}

void SimServiceControl::startService() {
    journal_.append(JsonObject{{"call", "StartService"}});
    refuseIfAsked("StartService");
    running_ = installed_;
}

void SimServiceControl::stopService() {
    journal_.append(JsonObject{{"call", "StopService"}});
    refuseIfAsked("StopService");
    running_ = false;
}

}  // namespace nocturo::platform

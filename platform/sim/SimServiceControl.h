#pragma once
// Simulated autostart entry and system service: every call is journalled and
// nothing on the machine changes. The state (entry present, service installed
// and running) lives in memory and follows the calls; a test scripts refusals
// per call.
#include <map>
#include <string>

#include "platform/IServiceControl.h"
#include "platform/sim/Journal.h"

namespace nocturo::platform {

class SimServiceControl : public IServiceControl {
public:
    explicit SimServiceControl(Journal& journal) : journal_(journal) {}

    bool autostartPresent() override;
    void writeAutostart(const std::string& name, const std::string& programPath) override;
    void removeAutostart() override;

    std::string serviceDisplayName() override;
    bool serviceInstalled() override;
    void installService() override;
    void uninstallService() override;
    bool serviceRunning() override;
    void startService() override;
    void stopService() override;

    // The named call ("InstallService", "UninstallService", "WriteAutostart",
    // ...) is journalled and then throws platform::Error(1000, "<call>
    // refused") until told otherwise.
    void setRefuse(const std::string& call, bool refuse = true) { refuse_[call] = refuse; }
    // Sets the state without a journal line (what the machine was like before).
    void setState(bool autostart, bool installed, bool running) {
        autostart_ = autostart;
        installed_ = installed;
        running_ = running;
    }
    const std::string& autostartPath() const { return autostartPath_; }

private:
    void refuseIfAsked(const std::string& call) const;

    Journal& journal_;
    std::map<std::string, bool> refuse_;
    bool autostart_ = false, installed_ = false, running_ = false;
    std::string autostartPath_;
};

}  // namespace nocturo::platform

#pragma once
// Simulated autostart entry and system service: every call is journalled and
// nothing on the machine changes. The state (entry present, service installed
// and running) lives in memory and follows the calls; a test scripts refusals
// per call.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/IServiceControl.h"
#include "platform/sim/Journal.h"

namespace nocturo::platform {

class SimServiceControl : public IServiceControl {
public:
    // NOCTURO_SIM_SERVICE sets the state the machine starts in: "running"
    // (installed and running), "installed" or nothing. NOCTURO_SYSTEM_REGISTRY
    // names a store of the service's own; without it the service shares the
    // program's store.
    explicit SimServiceControl(Journal& journal);

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
    std::string serviceState() override;
    std::string serviceInstallProblem() override;
    std::string serviceStorePath() override;
    std::unique_ptr<IRegistry> openServiceStore() override;
    std::string serviceLogFolder() override { return logFolder_; }
    void setServiceFolders(const std::vector<std::string>& folders) override;

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
    // What the next install refuses with (empty: nothing), and where the
    // service keeps its log.
    void setInstallProblem(std::string problem) { installProblem_ = std::move(problem); }
    void setStorePath(std::string path) { storePath_ = std::move(path); }
    void setLogFolder(std::string folder) { logFolder_ = std::move(folder); }
    // The service's store as a store the test holds (it stays the test's).
    void setStoreForTests(IRegistry* store) { borrowed_ = store; }
    const std::vector<std::string>& serviceFolders() const { return folders_; }

private:
    void refuseIfAsked(const std::string& call) const;

    Journal& journal_;
    std::map<std::string, bool> refuse_;
    bool autostart_ = false, installed_ = false, running_ = false;
    std::string autostartPath_;
    std::string installProblem_, storePath_, logFolder_;
    std::vector<std::string> folders_;
    IRegistry* borrowed_ = nullptr;
};

}  // namespace nocturo::platform

#include "platform/sim/SimServiceControl.h"

#include <cstdlib>

#include "platform/Error.h"
#ifndef _WIN32
#include "platform/posix/RegFileRegistry.h"
#endif

namespace nocturo::platform {

SimServiceControl::SimServiceControl(Journal& journal) : journal_(journal) {
    const char* state = std::getenv("NOCTURO_SIM_SERVICE");
    const std::string s = state ? state : "";
    installed_ = s == "running" || s == "installed";
    running_ = s == "running";
    const char* store = std::getenv("NOCTURO_SYSTEM_REGISTRY");
    if (store) storePath_ = store;
}

std::string SimServiceControl::serviceState() {
    journal_.append(JsonObject{{"call", "ServiceState"}});
    return running_ ? "active (running)" : "inactive (dead)";
}

std::string SimServiceControl::serviceInstallProblem() {
    journal_.append(JsonObject{{"call", "ServiceInstallProblem"}});
    return installProblem_;
}

std::string SimServiceControl::serviceStorePath() {
    if (borrowed_) return storePath_;
#ifdef _WIN32
    return {};
#else
    return storePath_;
#endif
}

namespace {

// A store that stays its owner's: every call goes through to it.
class Borrowed : public IRegistry {
public:
    explicit Borrowed(IRegistry& r) : r_(r) {}
    void writeString(const std::string& p, const std::string& t) override { r_.writeString(p, t); }
    void writeDword(const std::string& p, std::uint32_t v) override { r_.writeDword(p, v); }
    std::optional<RegValue> read(const std::string& p) override { return r_.read(p); }
    bool exists(const std::string& p) override { return r_.exists(p); }
    void deleteValue(const std::string& p) override { r_.deleteValue(p); }
    void deleteKey(const std::string& k) override { r_.deleteKey(k); }
    void createKey(const std::string& k) override { r_.createKey(k); }
    std::vector<std::pair<std::string, RegValue>> values(const std::string& k) override { return r_.values(k); }
    std::vector<std::string> subKeys(const std::string& k) override { return r_.subKeys(k); }
    void beginBatch() override { r_.beginBatch(); }
    void endBatch() override { r_.endBatch(); }
    std::string storeId() const override { return r_.storeId(); }

private:
    IRegistry& r_;
};

}  // namespace

std::unique_ptr<IRegistry> SimServiceControl::openServiceStore() {
    journal_.append(JsonObject{{"call", "OpenServiceStore"}, {"path", storePath_}});
    if (borrowed_) return std::make_unique<Borrowed>(*borrowed_);
#ifdef _WIN32
    // The service reads the machine's registry, as the program does.
    return nullptr;
#else
    if (storePath_.empty()) return nullptr;
    return std::make_unique<RegFileRegistry>(storePath_);
#endif
}

void SimServiceControl::setServiceFolders(const std::vector<std::string>& folders) {
    folders_ = folders;
}

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
    if (!installProblem_.empty()) throw Error(err::PermissionDenied, installProblem_);
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

#pragma once
// Starting the program together with the system: an entry that starts it when
// the user logs in, and the program installed as a system service that runs
// without anybody logged on.
//
// Calls that change the machine raise platform::Error when the system refuses
// (no rights, polkit said no, no service manager); the description says which
// call failed and why, so a handler can write it to the error log as it is.
#include <memory>
#include <string>
#include <vector>

#include "platform/IRegistry.h"

namespace nocturo::platform {

// Where Windows keeps the entry (a value named after the program, holding
// its quoted path), and the service's identity there.
inline constexpr const char* kWindowsRunKey = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\";
inline constexpr const char* kWindowsServiceName = "TestService";
inline constexpr const char* kWindowsServiceDisplayName = "Test Service";

class IServiceControl {
public:
    virtual ~IServiceControl() = default;

    // ---- start at login ---------------------------------------------------
    // Whether the entry exists.
    virtual bool autostartPresent() = 0;
    // Writes (or replaces) the entry that starts `programPath` at login.
    // `name` is the program's name as the user sees it.
    virtual void writeAutostart(const std::string& name, const std::string& programPath) = 0;
    // Removes the entry; nothing to do when there is none.
    virtual void removeAutostart() = 0;

    // ---- system service ---------------------------------------------------
    // The name the user finds the service by in the system's tools.
    virtual std::string serviceDisplayName() = 0;
    virtual bool serviceInstalled() = 0;
    // Installs the service so that it starts with the system.
    virtual void installService() = 0;
    // Stops the service if it runs and removes it.
    virtual void uninstallService() = 0;
    virtual bool serviceRunning() = 0;
    virtual void startService() = 0;
    virtual void stopService() = 0;

    // The service's state as the service manager reports it, for the user to
    // read ("active (running)", "inactive (dead)", ...).
    virtual std::string serviceState() { return serviceRunning() ? "active (running)" : "inactive (dead)"; }

    // Why installing the service would be unsafe or cannot work (empty: it
    // can be installed). installService refuses with the same text.
    virtual std::string serviceInstallProblem() { return {}; }

    // The settings store the service reads, when it is not the program's own
    // store (empty: the service shares the program's store, as on Windows,
    // where both read the machine's registry). openServiceStore opens it,
    // creating its folder; nullptr when the store is shared.
    virtual std::string serviceStorePath() { return {}; }
    virtual std::unique_ptr<IRegistry> openServiceStore() { return nullptr; }
    // Where the service keeps its action log (empty: where the user chose).
    virtual std::string serviceLogFolder() { return {}; }
    // Folders the service must be able to change besides its store and logs:
    // the folders the cleaner cleans. Taken into the service at the next
    // install.
    virtual void setServiceFolders(const std::vector<std::string>& folders) { (void)folders; }
};

}  // namespace nocturo::platform

#pragma once
// Start at login and the system service on Linux.
//
// Start at login is a desktop entry in $XDG_CONFIG_HOME/autostart (or
// ~/.config/autostart) named nocturo.desktop. The system service is the
// systemd unit nocturo.service, written into the unit folder
// (/etc/systemd/system, or NOCTURO_UNIT_DIR) and managed through
// org.freedesktop.systemd1.Manager on the system bus (or the bus named by
// NOCTURO_SYSTEMD_BUS). Installing and removing need root or a polkit
// authorisation; a refusal raises platform::Error(1000) with the D-Bus call
// and error in its description.
//
// The service runs as root, so it only runs a program that root owns and
// nobody else can replace, and inside a sandbox: the file system read-only
// but for its store (/var/lib/nocturo/registry.reg, or
// NOCTURO_SYSTEM_REGISTRY), its logs (/var/log/nocturo) and the folders the
// cleaner cleans.
#include <memory>
#include <string>
#include <vector>

#include "platform/IServiceControl.h"

namespace nocturo::platform {

class SystemdServiceControl : public IServiceControl {
public:
    static constexpr const char* kUnitName = "nocturo.service";
    static constexpr const char* kEntryName = "nocturo.desktop";
    // Where the packages put the program: the one to install the service from.
    static constexpr const char* kPackagedProgram = "/usr/bin/nocturo";
    static constexpr const char* kDefaultStore = "/var/lib/nocturo/registry.reg";
    static constexpr const char* kLogFolder = "/var/log/nocturo";

    // programFolder: where the installed program file "nocturo" lies.
    // busAddress and unitFolder: empty takes NOCTURO_SYSTEMD_BUS and
    // NOCTURO_UNIT_DIR, and without them the system bus and
    // /etc/systemd/system.
    explicit SystemdServiceControl(std::string programFolder, std::string busAddress = {},
                                   std::string unitFolder = {});

    // False when built without libsystemd: the service calls then fail.
    static bool supported() noexcept;

    bool autostartPresent() override;
    void writeAutostart(const std::string& name, const std::string& programPath) override;
    void removeAutostart() override;

    std::string serviceDisplayName() override { return kUnitName; }
    bool serviceInstalled() override;
    void installService() override;
    void uninstallService() override;
    bool serviceRunning() override;
    void startService() override;
    void stopService() override;
    std::string serviceState() override;
    std::string serviceInstallProblem() override;
    std::string serviceStorePath() override { return storePath_; }
    std::unique_ptr<IRegistry> openServiceStore() override;
    std::string serviceLogFolder() override { return kLogFolder; }
    void setServiceFolders(const std::vector<std::string>& folders) override { folders_ = folders; }

    // The program the unit runs.
    std::string programPath() const { return programFolder_ + "/nocturo"; }
    // Why root must not run `path`: a part of it (the file or a folder above
    // it) that root does not own or that its group or others can write. Empty
    // when it is safe. A folder with the sticky bit that root owns (/tmp)
    // is safe: nobody else can rename what root put there.
    static std::string UnsafeProgramReason(const std::string& path);

    // What install and uninstall do, for a dry run: the files and the
    // D-Bus calls in order.
    std::string unitPath() const { return unitFolder_ + "/" + kUnitName; }
    std::string unitText() const;
    std::vector<std::string> installCalls() const;
    std::vector<std::string> uninstallCalls() const;

    // The autostart entry's path and its text.
    static std::string autostartPath();
    static std::string desktopEntryText(const std::string& name, const std::string& programPath);
    // One argument of an Exec line, quoted and escaped as the desktop entry
    // specification asks.
    static std::string execArgument(const std::string& argument);

private:
    std::string programFolder_;
    std::string busAddress_;
    std::string unitFolder_;
    std::string storePath_;
    std::vector<std::string> folders_;
};

}  // namespace nocturo::platform

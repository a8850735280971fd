#include "shell/Varn_NTservice.h"

#include "base/Runtime.h"
#include "base/Variant.h"
#include "base/Varn_ErrorLog.h"
#include "base/Varn_GetSystemInfos.h"
#include "base/Varn_Registry.h"
#include "platform/Error.h"
#include "platform/IDialogs.h"
#include "platform/IServiceControl.h"
#include "platform/ISystemInfo.h"
#include "shell/FrmMainParts.h"

namespace nocturo {

namespace {

constexpr const char* kInstall = "InstallService of Modul Varn_NTservice";
constexpr const char* kUninstall = "UninstallService of Modul Varn_NTservice";

// Which of the two is under way: the failure path of one calls the other
// only when that one is not already part of the chain.
bool installing = false;
bool uninstalling = false;

struct Flag {
    explicit Flag(bool& f) : flag(f), previous(f) { flag = true; }
    ~Flag() { flag = previous; }
    bool& flag;
    bool previous;
};

platform::IServiceControl& control() { return service(rt().pf.service); }

// The result boxes' texts. Windows keeps its own words; on Linux the program
// is a systemd unit, not an NT service.
struct ServiceTexts {
    const char* installed;
    const char* notInstalled;
    const char* uninstalled;
    const char* notUninstalled;
    const char* installSolution;
    const char* uninstallSolution;
};

const ServiceTexts& texts() {
    static const ServiceTexts windows{
        " successfully installed as a Windows NT Service.",
        " FAILED to installed as a Windows NT Service.",
        " successfully uninstalled as a Windows NT Service.",
        " FAILED to Uninstalled as a Windows NT Service.",
        "Solutions: Check with Windows NT service tools to see if the service is allready installed.",
        "Solutions: Check to see if the service is installed. If not, click on the option -Run as NT service- to "
        "install it."};
    static const ServiceTexts linux{
        " successfully installed as a system service.",
        " FAILED to installed as a system service.",
        " successfully uninstalled as a system service.",
        " FAILED to Uninstalled as a system service.",
        "Solutions: Check with the system's service tools to see if the service is allready installed.",
        "Solutions: Check to see if the service is installed. If not, click on the option -Run as system service- "
        "to install it."};
    return frmmain::isWindowsStyle() ? windows : linux;
}

std::string displayName() {
    std::string name;
    Step(kInstall, 0, [&] { name = control().serviceDisplayName(); });
    return name;
}

}  // namespace

std::string AutostartProgramPath() {
    const std::string folder = sysinfo().programFolder();
    if (frmmain::isWindowsStyle()) return folder + "\\" + rt().appName + ".exe";
    return folder + "/nocturo";
}

void InstallService(FrmMain& f) {
    Flag guard(installing);
    const char* p = kInstall;
    bool ok = false;
    bool refused = false;  // the system wants an administrator for it
    Step(p, 1, [&] {
        try {
            control().installService();
        } catch (...) {
            refused = CurrentErrorInfo().first == platform::err::PermissionDenied;
            throw;
        }
        ok = true;
    });
    const std::string nl = LineEnd();
    if (ok) {
        Step(p, 2, [&] { control().removeAutostart(); });
        Step(p, 3, [&] {
            f.chkStartWithWindow.setValue(0);
            f.chkStartWithWindow.setEnabled(false);
        });
        Step(p, 4, [&] {
            if (WriteSetting(MachineApp(), kSettings, "chkNtService", 1) == SettingWrite::Refused)
                f.MsgBox("The service setting was not saved: administrator rights are needed to change it.", 4144,
                         rt().appName);
            rt().userId = rt().machineNumber;
        });
        int answer = platform::mb::IdCancel;
        Step(p, 5, [&] {
            answer = f.MsgBox("Result: " + rt().appName + texts().installed + nl +
                                  "Service Name: " + displayName() + nl + "Restart the Computer now !",
                              4161, "Install Complete, Please Re-Start Application");
        });
        if (answer == platform::mb::IdOk) Step(p, 6, [&] { f.ImgStop_DblClick(); });
        return;
    }
    Step(p, 7, [&] {
        f.MsgBox("Result: " + rt().appName + texts().notInstalled + nl + "Service Name: " + displayName() + nl + nl +
                     (refused ? "Administrator rights are needed to install the service." + nl : std::string()) +
                     texts().installSolution,
                 4160, "Install Failed, Please Re-Start Application");
    });
    if (!uninstalling) UninstallService(f);
}

void UninstallService(FrmMain& f) {
    Flag guard(uninstalling);
    const char* p = kUninstall;
    bool ok = false;
    Step(p, 1, [&] {
        control().uninstallService();
        ok = true;
    });
    const std::string nl = LineEnd();
    if (ok) {
        Step(p, 2, [&] {
            f.MsgBox("Result: " + rt().appName + texts().uninstalled + nl +
                         "Removed Service Name: " + displayName(),
                     4160, "UnInstall Complete, Please Re-Start Application");
        });
        Step(p, 3, [&] { WriteSetting(MachineApp(), kSettings, "chkNtService", 0); });
        Step(p, 4, [&] { GetPCInfos(); });
        Step(p, 5, [&] {
            f.chkNtService.setValue(0);
            f.chkStartWithWindow.setEnabled(true);
        });
    } else {
        Step(p, 6, [&] {
            f.MsgBox("Result: " + rt().appName + texts().notUninstalled + nl + "Service Name: " + displayName() + nl +
                         nl + texts().uninstallSolution,
                     4160, "UnInstall Failed, Please Re-Start Application");
        });
        if (!installing) InstallService(f);
    }
    // Whatever the result, the user starts the program again.
    Step(p, 7, [&] { f.UnloadProgram(); });
}

}  // namespace nocturo

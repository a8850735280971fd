#include "shell/Varn_NTservice.h"

#include "base/Runtime.h"
#include "base/Variant.h"
#include "base/Varn_ErrorLog.h"
#include "base/Varn_GetSystemInfos.h"
#include "base/Varn_Registry.h"
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

// What the result boxes call the service. Windows keeps its own words; on
// Linux the program is a systemd unit, not an NT service.
const char* asService() {
    if (frmmain::isWindowsStyle()) return "a Windows NT Service.";
    return "a system service.";
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
    Step(p, 1, [&] {
        control().installService();
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
            WriteSetting(MachineApp(), kSettings, "chkNtService", 1);
            rt().userId = rt().machineNumber;
        });
        int answer = platform::mb::IdCancel;
        Step(p, 5, [&] {
            answer = f.MsgBox("Result: " + rt().appName + " successfully installed as " + asService() + nl +
                                  "Service Name: " + displayName() + nl + "Restart the Computer now !",
                              4161, "Install Complete, Please Re-Start Application");
        });
        if (answer == platform::mb::IdOk) Step(p, 6, [&] { f.ImgStop_DblClick(); });
        return;
    }
    Step(p, 7, [&] {
        const std::string tools = frmmain::isWindowsStyle() ? "Windows NT service tools" : "the system's service tools";
        f.MsgBox("Result: " + rt().appName + " FAILED to installed as " + asService() + nl + "Service Name: " +
                     displayName() + nl + nl + "Solutions: Check with " + tools +
                     " to see if the service is allready installed.",
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
            f.MsgBox("Result: " + rt().appName + " successfully uninstalled as " + asService() + nl +
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
            const std::string option = frmmain::isWindowsStyle() ? "-Run as NT service-" : "-Run as system service-";
            f.MsgBox("Result: " + rt().appName + " FAILED to Uninstalled as " + asService() + nl +
                         "Service Name: " + displayName() + nl + nl +
                         "Solutions: Check to see if the service is installed. If not, click on the option " + option +
                         " to install it.",
                     4160, "UnInstall Failed, Please Re-Start Application");
        });
        if (!installing) InstallService(f);
    }
    // Whatever the result, the user starts the program again.
    Step(p, 7, [&] { f.UnloadProgram(); });
}

}  // namespace nocturo

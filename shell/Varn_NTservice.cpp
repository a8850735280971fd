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
#include "cleaner/Varn_CleanSettings.h"
#include "platform/Error.h"
#include "platform/IRegistry.h"
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

std::string keyOf(const std::string& app) { return "HKEY_LOCAL_MACHINE\\Software\\" + app + "\\" + kSettings; }

using Section = std::vector<std::pair<std::string, platform::RegValue>>;

}  // namespace

std::string PrepareServiceStore(platform::IRegistry& from, const std::string& fromApp) {
    auto& c = control();
    const std::string path = c.serviceStorePath();
    if (path.empty()) return {};
    std::unique_ptr<platform::IRegistry> store = c.openServiceStore();
    if (!store) return {};
    const std::string toApp = MachineApp();
    std::string dirs = DefaultCleanDirs();
    if (auto stored = from.read(keyOf(fromApp) + "\\CleanDirs")) {
        if (auto* text = std::get_if<std::string>(&*stored)) dirs = *text;
    }
    const std::vector<std::string> folders = ListItems(dirs);
    // Read first: the two may be one store, and the tree is replaced whole.
    std::vector<std::pair<std::string, Section>> sections;
    auto take = [&](const std::string& sub) { sections.emplace_back(toApp + sub, from.values(keyOf(fromApp + sub))); };
    take("");
    take("\\CleanFilter");
    for (std::string folder : folders) {
        while (!folder.empty() && folder.back() == '\\') folder.pop_back();
        take("\\" + folder);
    }
    store->beginBatch();
    try {
        store->deleteKey("HKEY_LOCAL_MACHINE\\Software\\" + toApp);
        for (const auto& [app, values] : sections) {
            const std::string key = keyOf(app);
            for (const auto& [name, value] : values) {
                if (auto* text = std::get_if<std::string>(&value)) store->writeString(key + "\\" + name, *text);
                else store->writeDword(key + "\\" + name, std::get<std::uint32_t>(value));
            }
        }
        store->writeDword(keyOf(toApp) + "\\chkNtService", 1);
        if (std::string logs = c.serviceLogFolder(); !logs.empty())
            store->writeString(keyOf(toApp) + "\\txtPathLog", logs);
    } catch (...) {
        try {
            store->endBatch();
        } catch (...) {
        }
        throw;
    }
    store->endBatch();
    c.setServiceFolders(folders);
    return path;
}

bool UsesServiceSettings() {
    if (CLng(ReadSetting(MachineApp(), kSettings, "chkNtService", 0)) != 1) return false;
    if (!rt().pf.service) return true;
    const std::string store = control().serviceStorePath();
    return store.empty() || store == registry().storeId();
}

std::string AutostartProgramPath() {
    const std::string folder = sysinfo().programFolder();
    if (frmmain::isWindowsStyle()) return folder + "\\" + rt().appName + ".exe";
    return folder + "/nocturo";
}

void InstallService(FrmMain& f) {
    Flag guard(installing);
    const char* p = kInstall;
    bool ok = false;
    // Root running a program that somebody else may replace is refused
    // before anything changes, and said in the box.
    std::string problem;
    std::string store;
    bool refused = false;  // the system wants an administrator for it
    Step(p, 1, [&] {
        problem = control().serviceInstallProblem();
        if (!problem.empty()) throw platform::Error(platform::err::PermissionDenied, problem);
        store = PrepareServiceStore(registry(), UserApp());
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
            if (UsesServiceSettings()) rt().userId = rt().machineNumber;
        });
        int answer = platform::mb::IdCancel;
        Step(p, 5, [&] {
            const std::string where = store.empty() ? "" : "Settings of the service: " + store + nl;
            answer = f.MsgBox("Result: " + rt().appName + texts().installed + nl +
                                  "Service Name: " + displayName() + nl + where + "Restart the Computer now !",
                              4161, "Install Complete, Please Re-Start Application");
        });
        if (answer == platform::mb::IdOk) Step(p, 6, [&] { f.ImgStop_DblClick(); });
        return;
    }
    Step(p, 7, [&] {
        f.MsgBox("Result: " + rt().appName + texts().notInstalled + nl + "Service Name: " + displayName() + nl + nl +
                     (problem.empty() ? (refused ? "Administrator rights are needed to install the service." + nl
                                                 : std::string()) +
                                            texts().installSolution
                                      : "Refused: " + problem),
                 4160, "Install Failed, Please Re-Start Application");
    });
    // A refused program installed nothing: there is nothing to take back.
    if (!uninstalling && problem.empty()) UninstallService(f);
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

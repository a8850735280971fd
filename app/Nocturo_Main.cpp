#include "app/Nocturo_Main.h"

#include <algorithm>

#include "base/Runtime.h"
#include "base/Strings.h"
#include "base/TimeFormat.h"
#include "base/Varn_ErrorLog.h"
#include "base/Varn_GetSystemInfos.h"
#include "base/Varn_Language.h"
#include "base/Varn_Registry.h"
#include "base/Varn_WriteLogfile.h"
#include "app/ControlLink.h"
#include "app/frmSplash.h"
#include "base/Version.h"
#include "platform/IDialogs.h"
#include "shell/FrmMain.h"
#include "shell/Varn_NTservice.h"
#include "timevoice/Varn_PlaySound.h"

namespace nocturo {

namespace {

// The value after a "/name:" switch, up to the next "/" or the end, trimmed.
std::optional<std::string> switchValue(const std::string& commandLine, const std::string& name) {
    const std::string line = Trim(LCase(commandLine));
    const std::string key = "/" + name + ":";
    size_t p = line.find(key);
    if (p == std::string::npos) return std::nullopt;
    size_t start = p + key.size();
    size_t end = line.find('/', start);
    return Trim(line.substr(start, end == std::string::npos ? std::string::npos : end - start));
}

constexpr const char* kProc = "Main of Modul Nocturo_Main";

}  // namespace

const std::vector<CommandLineActionName>& CommandLineActionNames() {
    static const std::vector<CommandLineActionName> names = {
        {"default", ""},          {"shutdown", "Nocturo"},   {"poweroff", "PowerOff"}, {"logoff", "LogOff"},
        {"reboot", "Reboot"},     {"suspend", "Suspend"},    {"hibernate", "Hibernate"}, {"lock", "LockPC"},
        {"alarm", "Alarm"},       {"program", "StartProgram"},
    };
    return names;
}

const std::vector<std::string>& CommandLineOptionNames() {
    static const std::vector<std::string> names = {"poweroff", "noquestion"};
    return names;
}

std::optional<std::string> CommandLineAction(const std::string& commandLine) {
    auto value = switchValue(commandLine, "action");
    if (!value) return std::nullopt;
    if (value->empty()) return std::string();
    for (const auto& n : CommandLineActionNames())
        if (*value == n.name) return std::string(n.action);
    return std::nullopt;
}

std::string CommandLineOption(const std::string& commandLine) {
    return switchValue(commandLine, "option").value_or("");
}

std::string CommandLineSwitchProblem(const std::string& commandLine) {
    const std::string line = LCase(commandLine);
    for (const char* name : {"/action:", "/option:"}) {
        const size_t first = line.find(name);
        if (first != std::string::npos && line.find(name, first + 1) != std::string::npos)
            return std::string(name) + " is given twice";
    }
    if (auto value = switchValue(commandLine, "action"); value && !CommandLineAction(commandLine)) {
        std::string known;
        for (const auto& n : CommandLineActionNames()) known += std::string(known.empty() ? "" : ", ") + n.name;
        return "unknown action '" + *value + "'; known: " + known;
    }
    if (auto value = switchValue(commandLine, "option"); value && !value->empty()) {
        const auto& names = CommandLineOptionNames();
        if (std::find(names.begin(), names.end(), *value) == names.end())
            return "unknown /option: value '" + *value + "'; known: poweroff, noquestion";
    }
    return "";
}

NocturoMain::NocturoMain(FrmMain& form) : form_(form) {
    timeSync = [this] { form_.TimeSync(false); };  // silent
}

bool NocturoMain::Main(const std::string& commandLine) {
    Runtime& r = rt();
    Step(kProc, 2, [&] {
        r.appName = "Nocturo";
        r.winVersionCode = GetWinVersionNum();
        HasSound();
    });
    Step(kProc, 3, [] { GetPCInfos(); });
    Step(kProc, 4, [&] {
        if (UsesServiceSettings()) r.userId = r.machineNumber;
    });
    // A user's settings kept where an earlier version stored them come along.
    Step(kProc, 4, [] { MoveOldUserTree(); });

    std::string language = "english";
    Step(kProc, 5, [&] { language = CStr(ReadSetting(UserApp(), kSettings, "Language", std::string("english"))); });
    if (!set_language(language + ".lng")) {
        exitCode = 1;
        return false;
    }

    bool alone = true;
    Step(kProc, 6, [&] { alone = processes().acquireInstanceLock(registry().storeId()); });
    if (!alone) {
        // The running copy takes the action, or comes to the front; only one
        // that does not answer leaves this copy to say that it runs.
        std::optional<int> handedOver;
        Step(kProc, 6, [&] {
            if (control) handedOver = control->handOver(commandLine);
        });
        if (handedOver) {
            exitCode = *handedOver;
            return false;
        }
        Step(kProc, 6, [&] {
            dialogs().messageBox(LangText(306) + "\n" + LangText(127),
                                 platform::mb::Exclamation | platform::mb::SystemModal, r.appName + " Info");
        });
        exitCode = 3;
        return false;
    }

    // Written when it changed only: below HKEY_LOCAL_MACHINE a user without
    // administrator rights may not write it, and need not at every start.
    Step(kProc, 7, [] {
        if (CStr(ReadSetting(MachineApp(), kSettings, "ProgramVersion", std::string())) != version::Text)
            WriteSetting(MachineApp(), kSettings, "ProgramVersion", std::string(version::Text));
    });

    Step(kProc, 8, [&] {
        r.splashWait = true;
        if (showSplash) {
            showSplash();
        } else {
            int screenWidth = frmSplash::DefaultScreenWidth, screenHeight = frmSplash::DefaultScreenHeight;
            if (r.pf.windows) {
                screenWidth = windows().screenWidthTwips();
                screenHeight = windows().screenHeightTwips();
            }
            frmSplash splash(screenWidth, screenHeight);
            splash.Form_Load();
        }
        while (r.splashWait) WaitEvents();
    });

    Step(kProc, 9, [] { StartErrorLog(); });

    Step(kProc, 10, [&] {
        // The service's state and stop come from the platform where it has one.
        if (r.pf.service && !form_.serviceRunning) {
            form_.serviceRunning = [] { return service(rt().pf.service).serviceRunning(); };
            form_.stopService = [] { service(rt().pf.service).stopService(); };
        }
        if (r.pf.service && !form_.serviceState) {
            form_.serviceState = [] { return service(rt().pf.service).serviceState(); };
            form_.serviceInstalled = [] { return service(rt().pf.service).serviceInstalled(); };
        }
        form_.Form_Load();
        // The window's load may wait for the service; start-up waits with it.
        while (!form_.ready() && !form_.unloaded()) WaitEvents();
        DoEvents();
        Ini_TTS();
        if (!r.soundAvailable) form_.soundOffForThisRun();
        r.emergency = false;
        r.tickCounter = 0;
    });

    // Told to end while the window loaded: nothing more starts.
    if (form_.life() != FrmMain::Life::Running) return true;

    // Scripts, a second start and nocturoctl reach the program from now on.
    Step(kProc, 10, [&] {
        if (control) control->offer();
    });

    Step(kProc, 11, [&] {
        std::string crash = CStr(ReadSetting(UserApp(), kSettings, "Crashtime", std::string()));
        // The stored moment is taken only in the form the program writes: any
        // other text (a forged line) is reported with the time of this start.
        if (!crash.empty() && !IsWellFormedStamp(crash)) crash = FormatStamp(clock().now());
        if (!crash.empty()) WriteToLog(form_.txtPathLog.text(), ActionLogLineAt(crash, "Computer Crash"), "");
        WriteToLog(form_.txtPathLog.text(), ActionLogLine("New Login"), "");
    });

    Step(kProc, 12, [&] {
        if (form_.chkTimeSync.checked() && timeSync) timeSync();
    });

    Step(kProc, 13, [&] {
        // The programs refuse such a command line before they start; should
        // one come this far all the same, nothing acts on it.
        if (!CommandLineSwitchProblem(commandLine).empty()) return;
        if (auto action = CommandLineAction(commandLine)) {
            form_.ShutDown_Action(*action);
            CommandLineOption(commandLine);
        }
    });
    return true;
}

}  // namespace nocturo

#include "platform/sim/SimPlatform.h"

#include <cstdlib>

#include "base/InstallLayout.h"
#include "base/Links.h"
#include "base/Version.h"
#include "platform/sim/SimNotifications.h"
#include "platform/sim/SimServiceControl.h"
#include "platform/sim/SimServices.h"

// What the simulated machine stands on: the real files (whose deletions it
// only journals), the real settings store, the console for showing the
// boxes as they pass, and the real single-instance lock. These are chosen
// here, for each system, and nowhere else.
#ifdef _WIN32
#include "platform/win32/ConsoleDialogs.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32Processes.h"
#include "platform/win32/Win32Registry.h"
#else
#include <fcntl.h>
#include <unistd.h>

#include "platform/posix/DesktopNotifications.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixPlatform.h"
#include "platform/posix/PosixProcesses.h"
#include "platform/posix/RegFileRegistry.h"
#include "platform/posix/TerminalDialogs.h"
#endif

namespace nocturo::platform {

namespace {

#ifdef _WIN32
// The settings go to the registry itself, as on the real machine: the
// settings-file store stands on POSIX file locks. NOCTURO_REGISTRY has no
// meaning here.
using RealFiles = win32::Win32FileSystem;
using RealProcesses = win32::Win32Processes;
class SettingsStore : public win32::Win32Registry {
public:
    explicit SettingsStore(const SimOptions&) {}
};
// Boxes are always answered by the script; they are written to the output
// as they pass, like the headless program shows them without a console.
class PassingBoxes : public win32::ConsoleDialogs {
public:
    explicit PassingBoxes(IDialogs* script) : ConsoleDialogs(script, noInput()) {}

private:
    static win32::ConsoleCalls noInput() {
        win32::ConsoleCalls calls = win32::SystemConsoleCalls();
        calls.getInputMode = [](DWORD*) { return FALSE; };
        return calls;
    }
};
bool isSeparator(char c) { return c == '/' || c == '\\'; }
// The balloons of the real tray are not the simulated machine's: nothing
// is shown beyond the journal, and like the balloons it offers no buttons.
std::unique_ptr<INotifications> desktopNotifications() { return nullptr; }
constexpr bool kNotificationButtons = false;
#else
using RealFiles = PosixFileSystem;
using RealProcesses = PosixProcesses;
class SettingsStore : public RegFileRegistry {
public:
    explicit SettingsStore(const SimOptions& o)
        : RegFileRegistry(o.registryPath.empty() ? DefaultRegistryPath() : o.registryPath, o.onStoreProblem) {}
};
// Boxes are always answered by the script; they are shown on the terminal
// as they pass, like the headless program shows them without one.
class PassingBoxes : public TerminalDialogs {
public:
    explicit PassingBoxes(IDialogs* script) : PassingBoxes(script, ::open("/dev/null", O_RDONLY | O_CLOEXEC)) {}
    ~PassingBoxes() override {
        if (inputFd_ >= 0) ::close(inputFd_);
    }

private:
    PassingBoxes(IDialogs* script, int inputFd) : TerminalDialogs(script, inputFd, STDOUT_FILENO), inputFd_(inputFd) {}
    int inputFd_;
};
bool isSeparator(char c) { return c == '/'; }
// The desktop's notifications are shown for real when the session has a bus
// (as the simulated network time asks real servers): the user sees what the
// program would tell, and can answer it. Without one, only the journal.
std::unique_ptr<INotifications> desktopNotifications() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    const bool bus = (address && *address) ||
                     (runtimeDir && *runtimeDir && ::access((std::string(runtimeDir) + "/bus").c_str(), F_OK) == 0);
    if (!bus) return nullptr;
    return std::make_unique<DesktopNotifications>();
}
constexpr bool kNotificationButtons = true;
#endif

// The install's temp folder: beside the program folder in a self-contained
// copy, in the state folder of a system install.
std::string tempFolderOf(const std::string& programFolder) {
    RealFiles real;
    const InstallLayout layout = ChooseInstallLayout(ProcessLayoutFacts(real, programFolder, false));
    if (layout.usesStateFolder && !layout.tempFolder.empty()) {
        // The journal's folder, made as the program makes its state folder
        // (the user's own); a failure shows when the journal is opened.
        const std::string& temp = layout.tempFolder;
        for (std::size_t at = 1; at <= temp.size(); ++at) {
            if (at < temp.size() && !isSeparator(temp[at])) continue;
            const std::string folder = temp.substr(0, at);
            if (folder.size() <= 3 && folder.find(':') != std::string::npos) continue;  // "C:" or "C:\"
            try {
                if (!real.folderExists(folder)) real.createPrivateFolder(folder);
            } catch (...) {
                break;
            }
        }
        return temp;
    }
    std::string base = programFolder;
    std::size_t slash = base.size();
    while (slash > 0 && !isSeparator(base[slash - 1])) --slash;
    slash = slash == 0 ? std::string::npos : slash - 1;
    base = slash == std::string::npos || slash == 0 ? std::string("/") : base.substr(0, slash);
    return (base == "/" ? std::string() : base) + "/temp";
}

class SimHost : public PlatformHost {
public:
    explicit SimHost(const SimOptions& o)
        : programFolder(o.programFolder.empty() ? ExecutableFolder() : o.programFolder),
          journal(Journal::pathFromEnvironment(tempFolderOf(programFolder))),
          registry(o),
          files(realFiles, journal),
          system(programFolder),
          loop(clock),
          scripted(journal),
          dialogs(&scripted),
          processes(journal, clock),
          power(journal),
          sound(journal),
          speech(journal),
          tray(journal),
          http(journal),
          sntp(journal, time),
          service(journal),
          time(journal, &clock),
          screenSaver(journal),
          realNotifications(desktopNotifications()),
          notifications(journal, realNotifications.get(), &clock) {
        name = "sim";
        notifications.setActionsSupported(kNotificationButtons);
        scripted.loadAnswersFromEnvironment();
        double pacing = 1.0;
        if (const char* p = std::getenv("NOCTURO_SIM_PACING"); p && *p) pacing = std::atof(p);
        loop.setPacing(pacing);
        // One instance per settings store, as on the real machine.
        processes.setInstanceLock([this](const std::string& key) { return realProcesses.acquireInstanceLock(key); });
        pf.registry = &registry;
        pf.files = &files;
        pf.system = &system;
        pf.clock = &clock;
        pf.loop = &loop;
        pf.dialogs = &dialogs;
        pf.processes = &processes;
        pf.power = &power;
        pf.sound = &sound;
        pf.speech = &speech;
        pf.windows = &screen;
        pf.tray = &tray;
        pf.http = &http;
        pf.sntp = &sntp;
        pf.service = &service;
        pf.time = &time;
        pf.screenSaver = &screenSaver;
        pf.notifications = &notifications;
        // The maker's version list, where this copy has one, names this
        // version, so a check finds it current.
        if (const std::string& list = links::Current().versionList; !list.empty())
            http.serve(list, std::string("\"") + links::VersionListCode + "\",\"" + version::Text + "\"");
        // The default time server (SimSntp) answers with the simulated clock.
    }
    std::string programFolder;
    Journal journal;
    SettingsStore registry;
    RealFiles realFiles;
    SimFileSystem files;
    SimSystemInfo system;
    SimClock clock;
    SimEventLoop loop;
    SimDialogs scripted;
    PassingBoxes dialogs;
    RealProcesses realProcesses;
    SimProcesses processes;
    FixedScreen screen;
    SimSessionPower power;
    SimSound sound;
    SimSpeech speech;
    SimTray tray;
    SimHttp http;
    SimSntp sntp;
    SimServiceControl service;
    SimTimeSettings time;
    SimScreenSaver screenSaver;
    std::unique_ptr<INotifications> realNotifications;
    SimNotifications notifications;
};

}  // namespace

std::unique_ptr<PlatformHost> MakeSimPlatform(const SimOptions& options) { return std::make_unique<SimHost>(options); }

}  // namespace nocturo::platform

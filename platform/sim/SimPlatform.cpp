#include "platform/sim/SimPlatform.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

#include "base/Links.h"
#include "base/Version.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixPlatform.h"
#include "platform/posix/PosixProcesses.h"
#include "platform/posix/RegFileRegistry.h"
#include "platform/posix/TerminalDialogs.h"
#include "platform/sim/SimServiceControl.h"
#include "platform/sim/SimServices.h"

namespace nocturo::platform {

namespace {

std::string tempFolderOf(const std::string& programFolder) {
    std::string base = programFolder;
    auto slash = base.rfind('/');
    base = slash == std::string::npos || slash == 0 ? std::string("/") : base.substr(0, slash);
    return (base == "/" ? std::string() : base) + "/temp";
}

// Boxes are always answered by the script; they are shown on the terminal
// as they pass, like the headless program shows them without one.
int nullInput() { return ::open("/dev/null", O_RDONLY | O_CLOEXEC); }

class SimHost : public PlatformHost {
public:
    explicit SimHost(const SimOptions& o)
        : programFolder(o.programFolder.empty() ? ExecutableFolder() : o.programFolder),
          journal(Journal::pathFromEnvironment(tempFolderOf(programFolder))),
          registry(o.registryPath.empty() ? DefaultRegistryPath() : o.registryPath, o.onStoreProblem),
          files(realFiles, journal),
          system(programFolder),
          loop(clock),
          scripted(journal),
          inputFd(nullInput()),
          dialogs(&scripted, inputFd, STDOUT_FILENO),
          processes(journal, clock),
          power(journal),
          sound(journal),
          speech(journal),
          tray(journal),
          http(journal),
          service(journal),
          time(journal, &clock),
          screenSaver(journal) {
        name = "sim";
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
        pf.service = &service;
        pf.time = &time;
        pf.screenSaver = &screenSaver;
        // The maker's version list names this version, so a check finds it current.
        http.serve(links::VersionList, std::string("\"") + links::VersionListCode + "\",\"" + version::Text + "\"");
        // The time service's page shows the simulated clock's time (UTC here).
        http.serve(links::TimePage, TimePageFixture());
    }
    ~SimHost() override {
        if (inputFd >= 0) ::close(inputFd);
    }

    std::string programFolder;
    Journal journal;
    RegFileRegistry registry;
    PosixFileSystem realFiles;
    SimFileSystem files;
    SimSystemInfo system;
    SimClock clock;
    SimEventLoop loop;
    SimDialogs scripted;
    int inputFd;
    TerminalDialogs dialogs;
    PosixProcesses realProcesses;
    SimProcesses processes;
    FixedScreen screen;
    SimSessionPower power;
    SimSound sound;
    SimSpeech speech;
    SimTray tray;
    SimHttp http;
    SimServiceControl service;
    SimTimeSettings time;
    SimScreenSaver screenSaver;
};

}  // namespace

std::unique_ptr<PlatformHost> MakeSimPlatform(const SimOptions& options) { return std::make_unique<SimHost>(options); }

}  // namespace nocturo::platform

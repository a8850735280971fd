#include "platform/posix/PosixPlatform.h"

#include <unistd.h>

#include <climits>

#include "platform/posix/CanberraSound.h"
#include "platform/common/SocketSntp.h"
#include "platform/posix/CurlHttp.h"
#include "platform/posix/DesktopNotifications.h"
#include "platform/posix/DesktopScreenSaver.h"
#include "platform/posix/EspeakSpeech.h"
#include "platform/posix/LogindSessionPower.h"
#include "platform/posix/TimedateSettings.h"
#include "platform/posix/PosixClock.h"
#include "platform/posix/PosixEventLoop.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixProcesses.h"
#include "platform/posix/PosixSystemInfo.h"
#include "platform/posix/RegFileRegistry.h"
#include "platform/posix/SystemdServiceControl.h"
#include "platform/posix/TerminalDialogs.h"
#include "platform/posix/X11Keyboard.h"

namespace nocturo::platform {

std::string ExecutableFolder() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    std::string path(buf, static_cast<size_t>(n));
    auto slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

namespace {

// The screen is not known without a desktop; the keyboard is read from the
// X server when there is one, so Ctrl+Q still reaches a program with no
// window on screen.
class PosixScreen : public FixedScreen {
public:
    bool keyDown(int virtualKey) override { return keyboard_.keyDown(virtualKey); }

private:
    X11Keyboard keyboard_;
};

class PosixHost : public PlatformHost {
public:
    explicit PosixHost(const PosixOptions& o)
        : system(o.programFolder.empty() ? ExecutableFolder() : o.programFolder),
          registry(o.registryPath.empty() ? DefaultRegistryPath() : o.registryPath, o.onStoreProblem),
          service(system.programFolder()) {
        name = "posix";
        pf.registry = &registry;
        pf.files = &files;
        pf.system = &system;
        pf.clock = &clock;
        pf.loop = &loop;
        pf.dialogs = &dialogs;
        pf.processes = &processes;
        pf.power = &power;
        pf.time = &time;
        pf.sound = &sound;
        pf.speech = &speech;
        pf.windows = &screen;
        pf.tray = &tray;  // headless: no notification area
        pf.http = &http;
        pf.sntp = &sntp;
        pf.service = &service;
        pf.screenSaver = &screenSaver;
        pf.notifications = &notifications;
        dialogs.setPump(&loop);
    }

    PosixFileSystem files;
    PosixSystemInfo system;
    RegFileRegistry registry;
    PosixClock clock;
    PosixEventLoop loop;
    TerminalDialogs dialogs;
    PosixProcesses processes;
    LogindSessionPower power;
    TimedateSettings time;
    CanberraSound sound;
    EspeakSpeech speech;
    PosixScreen screen;
    NoTray tray;
    CurlHttp http;
    SocketSntp sntp;
    SystemdServiceControl service;
    DesktopScreenSaver screenSaver;
    DesktopNotifications notifications;
};

}  // namespace

std::unique_ptr<PlatformHost> MakePosixPlatform(const PosixOptions& options) {
    return std::make_unique<PosixHost>(options);
}

}  // namespace nocturo::platform

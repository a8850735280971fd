#include "programs/support/Programs.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <iostream>

#include "app/ControlLink.h"
#include "app/Nocturo_Main.h"
#include "base/Runtime.h"
#include "base/Strings.h"
#include "base/Varn_ErrorLog.h"
#include "base/Version.h"
#include "platform/ControlChannel.h"
#include "platform/common/TextDialogs.h"
#include "platform/sim/SimDialogs.h"
#include "platform/sim/Journal.h"
#include "platform/sim/SimPlatform.h"
#include "shell/FrmMain.h"

#ifdef _WIN32
#include "platform/IServiceControl.h"
#include "platform/win32/Win32EventLoop.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32ServiceMain.h"
#include "platform/win32/WinText.h"
#else
#include "platform/posix/PosixEventLoop.h"
#include "platform/posix/PosixPlatform.h"
#include "platform/posix/SystemdNotify.h"
#endif

namespace nocturo::programs {

namespace {
volatile std::sig_atomic_t g_terminate = 0;
extern "C" void onTerminateSignal(int) { g_terminate = 1; }

#ifdef _WIN32
// No service manager waits for a readiness message on Windows.
void NotifySystemd(const char*) {}

std::unique_ptr<platform::PlatformHost> MakeRealPlatform() { return platform::MakeWin32Platform({}); }

// The console's Ctrl+C and close reach the loop's thread through the loop.
bool RouteTermination(platform::IEventLoop* loop, const std::function<void()>& end) {
    auto* windowsLoop = dynamic_cast<platform::win32::Win32EventLoop*>(loop);
    if (!windowsLoop) return false;
    windowsLoop->installTerminationHandler([end](unsigned long) { end(); });
    return true;
}
#else
using platform::NotifySystemd;

void reportStoreProblem(const std::string& message);

std::unique_ptr<platform::PlatformHost> MakeRealPlatform() {
    platform::PosixOptions o;
    o.onStoreProblem = reportStoreProblem;
    return platform::MakePosixPlatform(o);
}

bool RouteTermination(platform::IEventLoop* loop, const std::function<void()>& end) {
    auto* posixLoop = dynamic_cast<platform::PosixEventLoop*>(loop);
    if (!posixLoop) return false;
    posixLoop->installTerminationHandler([end](int) { end(); });
    return true;
}
#endif

void reportStoreProblem(const std::string& message) {
    WriteErrorLog(kProductSource, "RegFileRegistry of Modul Varn_Registry", 0, 1000, message);
    if (hasRuntime()) rt().settingsProblem = message;
}
}  // namespace

int DigitOfPicture(const std::string& picture) {
    if (picture.size() != 6 || picture.compare(0, 5, "digit") != 0) return -1;
    const char c = picture[5];
    return c >= '0' && c <= '9' ? c - '0' : -1;
}

bool SimulatedPlatformRequested() {
    const char* kind = std::getenv("NOCTURO_PLATFORM");
    return kind && std::string(kind) == "sim";
}

std::unique_ptr<platform::PlatformHost> MakePlatformFromEnvironment() {
    if (SimulatedPlatformRequested()) {
        platform::SimOptions o;
        o.onStoreProblem = reportStoreProblem;
        return platform::MakeSimPlatform(o);
    }
    auto host = MakeRealPlatform();
    // Without a terminal, questions take the scripted answers, if any, else
    // their default.
    if (auto* terminal = dynamic_cast<platform::TextDialogs*>(host->pf.dialogs)) {
        auto journal = std::make_shared<platform::Journal>();
        auto scripted = std::make_shared<platform::SimDialogs>(*journal);
        scripted->loadAnswersFromEnvironment();
        terminal->setFallback(scripted.get());
        host->owned.push_back(journal);
        host->owned.push_back(scripted);
    }
    return host;
}

ProgramArguments ParseProgramArguments(const std::vector<std::string>& args) {
    ProgramArguments out;
    for (const auto& a : args) {
        if (a.rfind("--", 0) == 0) {
            if (a == "--headless") out.headless = true;
            else if (a == "--service") out.service = out.headless = true;
            else if (a == "--help") out.help = true;
            else if (a == "--version") out.version = true;
            else if (out.unknownOption.empty()) out.unknownOption = a;
            continue;
        }
        if (a == "-h") {
            out.help = true;
            continue;
        }
        out.words.push_back(a);
        if (!out.commandLine.empty()) out.commandLine += ' ';
        out.commandLine += a;
    }
    return out;
}

std::vector<std::string> ProgramArgumentList(int argc, char** argv) {
#ifdef _WIN32
    (void)argc;
    (void)argv;
    platform::win32::AttachParentConsole();
    return platform::win32::Utf8Arguments();
#else
    return std::vector<std::string>(argv + 1, argv + argc);
#endif
}

std::string NoArguments(const ProgramArguments& args) {
    if (args.commandLine.empty()) return "";
    return "unexpected argument " + args.commandLine;
}

std::string NocturoArguments(const ProgramArguments& args) {
    const auto& words = args.words;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string word = LCase(words[i]);
        const bool action = word.rfind("/action:", 0) == 0, option = word.rfind("/option:", 0) == 0;
        if (!action && !option) return "unexpected argument " + words[i];
        // "/action: reboot": the value runs on to the next switch, as in one
        // line.
        if (word.size() == 8 && i + 1 < words.size() && !words[i + 1].empty() && words[i + 1][0] != '/') ++i;
    }
    return CommandLineSwitchProblem(args.commandLine);
}

std::optional<int> AnswerOwnOptions(const ProgramArguments& args, const std::string& program,
                                    const std::string& usage, const ArgumentCheck& check) {
    if (!args.unknownOption.empty()) {
        std::cerr << program << ": unknown option " << args.unknownOption << " (try --help)\n";
        return 2;
    }
    if (const std::string problem = check ? check(args) : std::string(); !problem.empty()) {
        std::cerr << program << ": " << problem << " (try --help)\n";
        return 2;
    }
    if (args.help) {
        std::cout << usage;
        return 0;
    }
    if (args.version) {
        std::cout << program << " " << version::Text << "\n";
        return 0;
    }
    return std::nullopt;
}

std::string NocturoUsage() {
    return "Usage: nocturo [--headless] [/action:NAME [/option:poweroff|noquestion]]\n"
           "\n"
           "Carries out a power action at a chosen moment. Without /action: the program\n"
           "starts and waits for its schedule; with it, the action is carried out at once.\n"
           "\n"
           "Actions (/action:NAME, in upper or lower case):\n"
           "  default      the action chosen in the window, with its countdown (so is /action:)\n"
           "  shutdown     shut down               poweroff     shut down and power off\n"
           "  logoff       log off                 reboot       restart\n"
           "  suspend      suspend (standby)       hibernate    hibernate\n"
           "  lock         lock the PC             alarm        the alarm sound, for the counter\n"
           "  program      start the program set in the window and wait for it (\"Start\n"
           "               Program only\": it needs \"Start program and wait for exit before\n"
           "               def. Action\" ticked)\n"
           "A named action skips the countdown; before it ends the session it asks, unless\n"
           "\"Without questions\" is ticked. /option:poweroff and /option:noquestion are\n"
           "accepted and change nothing. Any other word, action or option value is refused\n"
           "with exit status 2 before the program starts.\n"
           "\n"
           "  --headless   run without windows: questions on the terminal, the action log\n"
           "               and the countdown on standard output; Ctrl-C ends the program\n"
#ifdef _WIN32
           "  --service    as --headless, for the Windows service: answers the service\n"
           "               control manager when it started the program\n"
#else
           "  --service    as --headless, for the systemd service nocturo.service: the\n"
           "               schedule runs as soon as the program is ready\n"
#endif
           "  --help, -h   this text\n"
           "  --version    the program's version\n"
           "\n"
           "Environment: NOCTURO_REGISTRY (settings file), NOCTURO_PLATFORM=sim (simulated\n"
           "machine: nothing changes, every action is written to NOCTURO_SIM_JOURNAL),\n"
           "NOCTURO_SIM_ANSWERS (answers to the questions, a JSON array).\n"
           "While the program runs, a second start hands /action:NAME to it (without\n"
           "/action: it brings the running window to the front); nocturoctl status,\n"
           "postpone, cancel, arm, disarm and now control it too.\n"
           "Exit status: 0 after a normal end (also when the running copy took the second\n"
           "start), 1 without a language file or when the running copy refused the action,\n"
           "2 on bad usage, 3 when another copy runs but does not answer.\n";
}

ControlLink MakeControlLink(FrmMain& form, platform::IEventLoop& loop) {
    return ControlLink(
        form, [&loop](platform::ControlScope scope) { return platform::MakeControlServer(scope, loop); },
        [](platform::ControlScope scope) { return platform::MakeControlClient(scope); });
}

int RunHeadless(platform::PlatformHost& host, const std::string& commandLine,
                const std::function<void(FrmMain&)>& started) {
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif
    Runtime runtime;
    runtime.pf = host.pf;
    runtime.headless = true;
    // Started with a hook for the service's start: this program is the service.
    runtime.runsAsService = static_cast<bool>(started);
    RuntimeScope scope(runtime);

    runtime.logObserver = [](const std::string&, const std::string& line) { std::cout << line << std::endl; };

    FrmMain form;
    // Started with a hook for the service's start: this program is the service.
    form.asSystemService = static_cast<bool>(started);
    int lastShown = -1;
    form.setChangeListener([&](const std::string& what) {
        if (what == "imgCounter0" && form.imgCounter0.visible()) {
            // The digit pictures are named "digitN"; anything else (the
            // digits not drawn yet) shows no count.
            const int units = DigitOfPicture(form.imgCounter0.picture());
            if (units < 0) return;
            const int tens = std::max(0, DigitOfPicture(form.imgCounter1.picture()));
            const int n = tens * 10 + units;
            if (n != lastShown) std::cout << "  " << form.lblAction.caption() << " in " << n << std::endl;
            lastShown = n;
        } else if (what == "lblError" && form.lblError.visible()) {
            std::cout << "check Error log ! (" << ErrorLogPath() << ")" << std::endl;
        }
    });
    runtime.errorIndicator = [&] { form.ShowErrorIndicator(); };
    form.onUnloaded = [&] {
        NotifySystemd("STOPPING=1");
        host.pf.loop->quit(0);
    };

    // The main window defers an end asked for while it is still loading.
    auto end = [&] { form.UnloadProgram(); };
    if (!RouteTermination(host.pf.loop, end)) {
        // Another loop (the simulated one): a signal only raises a flag that
        // a timer of the loop looks at.
        std::signal(SIGINT, onTerminateSignal);
        std::signal(SIGTERM, onTerminateSignal);
        auto watch = host.pf.loop->addTimer([&] {
            if (!g_terminate) return;
            g_terminate = 0;
            end();
        });
        host.pf.loop->setTimer(watch, 200, true);
    }

    NocturoMain start(form);
    ControlLink control = MakeControlLink(form, *host.pf.loop);
    start.control = &control;
    if (!start.Main(commandLine)) return start.exitCode;
    if (form.unloaded()) return 0;
    if (!control.problem().empty()) std::cout << control.problem() << std::endl;
    // Without a window, the only place to say that nothing will happen.
    if (!form.scheduleArmed() && !form.actionRunning())
        std::cout << "Schedule not armed: nothing happens until one is chosen "
                     "(nocturoctl settings set user Armed 1 --dword)" << std::endl;
    // Started: under systemd (Type=notify) the service counts as running now.
    NotifySystemd("READY=1");
    if (started) started(form);
    int code = host.pf.loop->run();
    return code < 0 ? 0 : code;
}

#ifdef _WIN32
int RunHeadlessService(const std::string& commandLine) {
    using namespace platform::win32;
    if (SimulatedPlatformRequested()) {
        auto host = MakePlatformFromEnvironment();
        return RunHeadless(*host, commandLine);
    }
    return RunAsServiceOrDirect(Widen(platform::kWindowsServiceName), [&](ServiceEvents& events) {
        auto host = MakePlatformFromEnvironment();
        auto* loop = dynamic_cast<Win32EventLoop*>(host->pf.loop);
        return RunHeadless(*host, commandLine, [&events, loop](FrmMain& form) {
            if (!events.asService() || !loop) return;
            bool ok = false;
            form.NTService1_Start(ok);
            if (!ok) {
                form.UnloadProgram();
                return;
            }
            ServiceEvents::Handlers handlers;
            // A stop unloads the program, whose end quits the loop.
            handlers.stop = [&form] { form.NTService1_Stop(); };
            handlers.pause = [&form] {
                bool paused = false;
                form.NTService1_Pause(paused);
                return paused;
            };
            handlers.resume = [&form] {
                bool resumed = false;
                form.NTService1_Continue(resumed);
                return resumed;
            };
            events.started([loop](ServiceEvents::Task task) { loop->postFromAnyThread(std::move(task)); },
                           std::move(handlers));
        });
    });
}
#else
int RunHeadlessService(const std::string& commandLine) {
    auto host = MakePlatformFromEnvironment();
    // systemd's stop is SIGTERM, which ends the program as a stop event would.
    return RunHeadless(*host, commandLine, [](FrmMain& form) {
        bool ok = false;
        form.NTService1_Start(ok);
        if (!ok) form.UnloadProgram();
    });
}
#endif

}  // namespace nocturo::programs

#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/PlatformHost.h"

#include "app/ControlLink.h"
#include "platform/IEventLoop.h"

namespace nocturo {
class FrmMain;
}

namespace nocturo::programs {

// The backend chosen by NOCTURO_PLATFORM: "sim" for the simulated machine,
// anything else (or nothing) for the real one. Problems with the settings
// file are written to the error log.
std::unique_ptr<platform::PlatformHost> MakePlatformFromEnvironment();
bool SimulatedPlatformRequested();
// The digit a countdown picture shows ("digit7" gives 7), -1 for any other picture.
int DigitOfPicture(const std::string& picture);

// The command line as one text, the program's own "--" options taken out.
struct ProgramArguments {
    bool headless = false;
    bool service = false;  // Windows: started by the service control manager
    bool help = false;     // --help or -h
    bool version = false;
    std::string unknownOption;       // the first "--" option we do not know
    std::vector<std::string> words;  // everything else, one argument each
    std::string commandLine;         // the words joined by blanks
};
ProgramArguments ParseProgramArguments(const std::vector<std::string>& args);
// The arguments after the program's name, in UTF-8: argv on Linux; on
// Windows the wide command line, argv being in the ANSI code page there.
// On Windows the console's output also becomes UTF-8.
std::vector<std::string> ProgramArgumentList(int argc, char** argv);

// What is wrong with a program's command line, in one line for standard
// error (without the program's name and the "(try --help)"); empty when the
// program takes it.
using ArgumentCheck = std::function<std::string(const ProgramArguments&)>;
// For a program that takes no arguments.
std::string NoArguments(const ProgramArguments& args);
// nocturo's: only "/action:" and "/option:" switches, with values they know.
std::string NocturoArguments(const ProgramArguments& args);

// What a program answers by itself before it starts: an unknown option, or
// a command line `check` refuses, gets one line on standard error and exit
// code 2; --help prints `usage` and --version the version, with exit code 0.
// nullopt: it starts.
std::optional<int> AnswerOwnOptions(const ProgramArguments& args, const std::string& program,
                                    const std::string& usage, const ArgumentCheck& check);

// Runs the program without windows: message boxes on the terminal, the
// action log and the countdown on standard output. Returns the exit code.
// `started` runs once the main window has loaded, before the loop turns.
int RunHeadless(platform::PlatformHost& host, const std::string& commandLine,
                const std::function<void(FrmMain&)>& started = {});

#ifdef _WIN32
// The headless program as the Windows service: the service control manager's
// start, stop, pause and continue reach the main window's service events.
// Started otherwise (or on the simulated machine), it is the plain headless
// program. The host is made on the service's own thread, where its loop runs.
int RunHeadlessService(const std::string& commandLine);
#else
// The headless program as the systemd service (--service): the schedule runs
// as soon as the program is ready, as after the Windows service's start.
int RunHeadlessService(const std::string& commandLine);
#endif

std::string NocturoUsage();

// The program's control channel (the system's own: D-Bus on Linux, a named
// pipe on Windows), served from loop; the form must outlive it.
ControlLink MakeControlLink(FrmMain& form, platform::IEventLoop& loop);

}  // namespace nocturo::programs

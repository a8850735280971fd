#pragma once
// Start-up: where the settings live, the language file, the single
// instance, the version, the splash, the main window, the crash and log-in
// lines, and an action named on the command line.
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace nocturo {

class ControlLink;
class FrmMain;

// A name "/action:" takes and the ShutDown_Action argument it stands for
// ("" for the action chosen in the window, with its countdown).
struct CommandLineActionName {
    const char* name;
    const char* action;
};
// Every name, "default" first; an empty value is "default" too.
const std::vector<CommandLineActionName>& CommandLineActionNames();
// The values "/option:" takes; they are accepted and change nothing.
const std::vector<std::string>& CommandLineOptionNames();

// The ShutDown_Action argument the command line asks for, or nullopt when it
// holds no "/action:" or its value is no action's name: nothing acts then.
std::optional<std::string> CommandLineAction(const std::string& commandLine);
// The value of "/option:" ("" when there is none); recognised, changes nothing.
std::string CommandLineOption(const std::string& commandLine);
// Why the switches of a command line cannot be carried out, in one line: an
// action or option value that names nothing, or a switch given twice. Empty
// when they can.
std::string CommandLineSwitchProblem(const std::string& commandLine);

class NocturoMain {
public:
    explicit NocturoMain(FrmMain& form);

    // Runs the start-up. False when the program must end at once (no
    // language file, or another instance runs); exitCode says why.
    bool Main(const std::string& commandLine);
    int exitCode = 0;

    // Shows the splash for its three seconds; the default runs the splash model.
    std::function<void()> showSplash;
    // Time synchronisation at start, when it is switched on.
    std::function<void()> timeSync;
    // The control channel: offered once the window has loaded; a second
    // start hands its command line to the running copy through it. Null:
    // none (the second start ends with "another copy", status 3).
    ControlLink* control = nullptr;

private:
    FrmMain& form_;
};

}  // namespace nocturo

#pragma once
// Start-up: where the settings live, the language file, the single
// instance, the version, the splash, the main window, the crash and log-in
// lines, and an action named on the command line.
#include <functional>
#include <optional>
#include <string>

namespace nocturo {

class FrmMain;

// The ShutDown_Action argument the command line asks for ("" for the
// window's own action), or nullopt when it holds no "/action:".
std::optional<std::string> CommandLineAction(const std::string& commandLine);
// The value of "/option:" ("" when there is none); recognised, changes nothing.
std::string CommandLineOption(const std::string& commandLine);

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

private:
    FrmMain& form_;
};

}  // namespace nocturo

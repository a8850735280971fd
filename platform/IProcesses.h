#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace nocturo::platform {

// Window styles for starting a program (the classic Shell values).
namespace ws {
inline constexpr int Hide = 0, NormalFocus = 1, MinimizedFocus = 2, MaximizedFocus = 3,
                     NormalNoFocus = 4, MinimizedNoFocus = 6;
}

inline constexpr std::uint32_t StillActive = 259;

class IProcesses {
public:
    virtual ~IProcesses() = default;
    // Starts program with its arguments, never through a shell. Returns the
    // process id; throws platform::Error when it cannot be started.
    virtual std::uint32_t start(const std::string& program, const std::vector<std::string>& arguments,
                                int windowStyle) = 0;
    // Whether a program here gets one command line that it takes apart
    // itself (Windows) rather than a list of arguments. Where it does, the
    // parameters a user typed go to startCommandLine unchanged.
    virtual bool takesCommandLine() const { return false; }
    // Starts program with the command line: the program quoted, a blank and
    // parameters as they are (nothing added, removed or escaped). Only where
    // takesCommandLine; elsewhere it throws platform::Error.
    virtual std::uint32_t startCommandLine(const std::string& program, const std::string& parameters,
                                           int windowStyle);
    // Exit code of a process started here, StillActive while it runs;
    // nullopt when the process cannot be opened.
    virtual std::optional<std::uint32_t> exitCode(std::uint32_t pid) = 0;
    // Whether a process started here that has ended was ended abnormally: by
    // a signal on Linux, by a crash on Windows. False while it runs.
    virtual bool endedAbnormally(std::uint32_t pid) { return (void)pid, false; }
    // Opens a document with the desktop's default application (a text file in
    // the text editor, an address in the browser).
    virtual void openDocument(const std::string& pathOrUrl) = 0;
    // Whether a top-level window with this exact title exists.
    virtual bool findWindow(const std::string& title) = 0;
    // Hides (show false) or shows again the top-level window with this exact
    // title (ShowWindow SW_HIDE / SW_SHOW). False when there is no such window.
    virtual bool showWindow(const std::string& title, bool show) = 0;
    // Takes the program-wide single-instance lock for this key and holds it
    // for the life of the process. False when another process holds it.
    virtual bool acquireInstanceLock(const std::string& key) = 0;
};

inline std::uint32_t IProcesses::startCommandLine(const std::string& program, const std::string&, int) {
    throw Error(err::InvalidProcedureCall, "cannot start \"" + program + "\" with a command line here");
}

}  // namespace nocturo::platform

#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "base/Task.h"
#include "platform/IEventLoop.h"

namespace nocturo {

// The wait for a started program, for a task: co_await fWait(pid) gives its
// exit code, or 0 when the process cannot be opened. The program is looked at
// every pollMs while the loop goes on; a task cancelled meanwhile leaves the
// program running.
class ProgramWait : public PolledWait {
public:
    explicit ProgramWait(std::uint32_t processId, int pollMs = 100) : PolledWait(pollMs), pid_(processId) {}
    std::uint32_t await_resume() const noexcept { return code_; }

private:
    bool look() override;
    std::uint32_t pid_;
    std::uint32_t code_ = 0;
};

inline ProgramWait fWait(std::uint32_t processId) { return ProgramWait(processId); }

// Splits a parameter text into arguments as a POSIX shell splits words,
// without expanding anything and without running anything through a shell:
// - blanks, tabs and line ends separate arguments;
// - within single quotes every character is itself, a backslash too;
// - within double quotes a backslash escapes only \ " $ ` and a line end
//   (a backslash before anything else stays);
// - outside quotes a backslash makes the next character an ordinary one;
// - a backslash and a line end are removed (a continued line);
// - a backslash at the very end stays, as a backslash;
// - a quote that is never closed runs to the end of the text;
// - '' and "" give an empty argument.
// Programs on Windows get the text as their command line instead
// (IProcesses::takesCommandLine).
std::vector<std::string> SplitCommandLine(const std::string& text);

}  // namespace nocturo

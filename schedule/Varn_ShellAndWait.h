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

// Splits a parameter text into arguments the way a shell would (blanks
// separate, single and double quotes group, a backslash escapes the next
// character outside single quotes), without running anything through one.
std::vector<std::string> SplitCommandLine(const std::string& text);

}  // namespace nocturo

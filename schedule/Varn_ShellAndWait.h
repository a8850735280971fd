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
class ProgramWait {
public:
    explicit ProgramWait(std::uint32_t processId, int pollMs = 100)
        : pid_(processId), pollMs_(pollMs < 1 ? 1 : pollMs) {}
    ProgramWait(const ProgramWait&) = delete;
    ProgramWait& operator=(const ProgramWait&) = delete;
    ~ProgramWait() { disarm(); }
    // Already ended, or cannot be asked: no wait at all.
    bool await_ready();
    bool await_suspend(Task::Handle h);
    std::uint32_t await_resume() const noexcept { return code_; }

private:
    // One look at the program; true when the wait is over.
    bool look();
    void disarm() noexcept;
    std::uint32_t pid_;
    int pollMs_;
    std::uint32_t code_ = 0;
    Task::Handle h_;
    platform::TimerId timer_ = 0;
    bool armed_ = false;
};

inline ProgramWait fWait(std::uint32_t processId) { return ProgramWait(processId); }

// Splits a parameter text into arguments the way a shell would (blanks
// separate, single and double quotes group, a backslash escapes the next
// character outside single quotes), without running anything through one.
std::vector<std::string> SplitCommandLine(const std::string& text);

}  // namespace nocturo

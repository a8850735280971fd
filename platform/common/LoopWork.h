#pragma once
// The timers and posted work of a loop that dispatches on one thread: the
// part the program's loops have in common, whatever they wait on (poll on
// Linux, the message queue on Windows). Not thread-safe.
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>

#include "platform/IEventLoop.h"

namespace nocturo::platform {

class LoopWork {
public:
    using Clock = std::chrono::steady_clock;

    TimerId addTimer(std::function<void()> onTick);
    // Restarts the interval from now. An interval of 0 or less never ticks.
    // Unknown ids are ignored.
    void setTimer(TimerId id, int intervalMs, bool enabled);
    // May be called from the timer's own tick.
    void removeTimer(TimerId id);
    // First in, first out; an empty function is dropped.
    void post(std::function<void()> fn);

    bool hasPosted() const { return !posted_.empty(); }
    // Milliseconds until the next armed timer falls due (0: one is due now,
    // rounded up otherwise); -1 when no timer is armed.
    int msUntilNextDue(Clock::time_point now) const;

    // Only what was queued when the call began: work that posts itself again
    // waits for the next turn. Taken one at a time from the front, so a
    // yield() inside one of them keeps the order.
    void runPosted();
    // Every timer due now, earliest first, each rescheduled from the moment
    // its tick starts (after a long stall one tick, not the missed ones), and
    // none while an earlier tick of it still runs.
    void runDueTimers();

private:
    struct Timer {
        std::function<void()> onTick;
        int intervalMs = 0;
        bool enabled = false;
        bool busy = false;
        Clock::time_point due{};
    };

    std::map<TimerId, std::shared_ptr<Timer>> timers_;
    TimerId nextTimerId_ = 1;
    std::deque<std::function<void()>> posted_;
};

// Sets a flag while it lives, however the handler it guards leaves.
class BusyGuard {
public:
    explicit BusyGuard(bool& flag) : flag_(flag) { flag_ = true; }
    ~BusyGuard() { flag_ = false; }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

private:
    bool& flag_;
};

}  // namespace nocturo::platform

#pragma once
// The program's loop on a POSIX system without a GUI toolkit: timers on the
// monotonic clock, posted work, readable descriptors (stdin) and the
// termination signals, all dispatched on the one thread that calls run() or
// yield(). Not thread-safe: every call comes from that thread.
#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>

#include "platform/IEventLoop.h"
#include "platform/common/LoopWork.h"

namespace nocturo::platform {

class PosixEventLoop : public IEventLoop {
public:
    PosixEventLoop();
    // Puts back the signal handlers that were there before
    // installTerminationHandler.
    ~PosixEventLoop() override;
    PosixEventLoop(const PosixEventLoop&) = delete;
    PosixEventLoop& operator=(const PosixEventLoop&) = delete;

    // One turn without blocking: termination signals, readable descriptors,
    // posted work and due timers.
    void yield() override;
    // The same, but when nothing is ready it first naps for up to maxMs (less
    // when a timer falls due sooner), so a wait that spins on it does not burn
    // a whole core.
    void idle(int maxMs) override;
    TimerId addTimer(std::function<void()> onTick) override;
    // Restarts the interval from now. An interval of 0 or less never ticks.
    // A tick is rescheduled from the moment it started; after a long stall
    // only one tick is delivered, not the missed ones. Unknown ids are ignored.
    void setTimer(TimerId id, int intervalMs, bool enabled) override;
    // May be called from the timer's own tick.
    void removeTimer(TimerId id) override;
    // First in, first out; runs on the next turn (also a turn of a yield()
    // inside a handler).
    void post(std::function<void()> fn) override;
    // Waits without spinning (poll until the next due timer) and dispatches
    // until quit(). A quit() that comes before run() makes it return at once.
    int run() override;
    void quit(int code) override;

    // Catches SIGINT, SIGTERM and SIGHUP and hands them to onSignal on the
    // loop's thread, inside run() or yield(). While onSignal runs, further
    // signals wait (one of each kind) and are delivered after it returns.
    // Only one loop at a time owns the signals; an empty function gives the
    // previous handlers back.
    void installTerminationHandler(std::function<void(int sig)> onSignal);
    // Calls onReadable on each turn while fd is readable (or at end of file
    // or on error: the handler should then remove the watch). A watch whose
    // descriptor was closed underneath is dropped. Not called again while it
    // runs. A second watch on the same fd replaces the first.
    bool addReadWatch(int fd, std::function<void()> onReadable) override;
    void removeReadWatch(int fd) override;

    static constexpr int kIdleNapMs = 2;

private:
    using Clock = LoopWork::Clock;
    struct Watch {
        int fd = -1;
        std::function<void()> onReadable;
        bool busy = false;
    };

    void turn(int timeoutMs);
    bool readyNow(Clock::time_point now) const;
    bool signalsPending() const;
    void deliverSignals();
    void releaseSignals();

    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    LoopWork work_;
    std::map<int, std::shared_ptr<Watch>> watches_;
    std::function<void(int)> onSignal_;
    bool ownsSignals_ = false;
    bool inSignalHandler_ = false;
    bool quitRequested_ = false;
    int quitCode_ = 0;
};

}  // namespace nocturo::platform

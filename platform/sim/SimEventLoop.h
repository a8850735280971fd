#pragma once
// The simulated message loop. It runs on virtual time kept by a SimClock:
// nothing waits for real time (unless pacing is switched on), so a test can
// run an hour of countdown in a few milliseconds and place a click at an
// exact moment ("at t = 3.5 s click cmdGo").
//
// Everything the loop dispatches - posted work, scripted events and timer
// ticks - runs in order of its due time (ties in the order they were
// scheduled). Before an item runs, the clock is moved forward to its due
// time, so a handler reads the moment it was scheduled for.
//
// A timer is never re-entered: while its handler runs (for instance inside
// a wait that yields), its ticks are not delivered. Ticks missed meanwhile
// are dropped except one, which is delivered as soon as the handler has
// returned; the following ticks come one interval apart from there.
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/IEventLoop.h"
#include "platform/sim/SimClock.h"

namespace nocturo::platform {

class SimEventLoop : public IEventLoop {
public:
    using EventId = int;

    struct FiredEvent {
        std::int64_t atMs;  // monotonic time when it ran
        std::string name;
    };

    explicit SimEventLoop(SimClock& clock);
    SimEventLoop(const SimEventLoop&) = delete;
    SimEventLoop& operator=(const SimEventLoop&) = delete;

    // Advances virtual time by one quantum and runs everything due up to the
    // new time. Work posted during this call, and events scheduled during it
    // for a moment already reached, wait for the next yield (a handler that
    // keeps posting cannot hold the caller forever).
    void yield() override;
    TimerId addTimer(std::function<void()> onTick) override;
    // An interval of 0 or less disables the timer. Enabling a disabled timer
    // or changing its interval starts a new period from now; setting the
    // same values again leaves the running period alone. Throws
    // platform::Error for an unknown timer.
    void setTimer(TimerId id, int intervalMs, bool enabled) override;
    // Unknown ids are ignored. A timer may remove itself from its handler.
    void removeTimer(TimerId id) override;
    // Runs fn at the next dispatch: the next yield, or the next step of run.
    // As with a posted window message, a yield inside the posting handler
    // runs it too.
    void post(std::function<void()> fn) override;
    // Jumps virtual time from one due item to the next and runs it, until
    // quit() is called (returns its code). Returns -1 when nothing is left
    // that could ever run (no enabled timer, no scripted event, no posted
    // work) and -2 when the run limit is reached. A quit() called before
    // run() makes it return at once.
    int run() override;
    void quit(int code) override;
    // Descriptors are watched while the loop paces itself to real time: the
    // wait for the next due item becomes a poll on them (POSIX only). Without
    // pacing they are looked at, without waiting, once per yield or step.
    bool addReadWatch(int fd, std::function<void()> onReadable) override;
    void removeReadWatch(int fd) override;
    // Windows: the same for waitable handles (at most 64), in one
    // WaitForMultipleObjects.
    bool addHandleWatch(void* handle, std::function<void()> onSignaled) override;
    void removeHandleWatch(void* handle) override;

    // Scripted events. fn may be empty: the event then goes to the
    // named-event handler (if any). at() takes an absolute monotonic time;
    // a time already passed runs at the next dispatch.
    EventId at(std::int64_t ms, std::string name, std::function<void()> fn = {});
    EventId after(std::int64_t ms, std::string name, std::function<void()> fn = {});
    bool cancel(EventId id);
    void setNamedEventHandler(std::function<void(const std::string& name)> handler);
    // The scripted events that have run, in order.
    const std::vector<FiredEvent>& firedEvents() const { return fired_; }

    // For tests: run everything due up to the monotonic time ms (or ms from
    // now), leave the clock at that time and return nullopt; or stop early
    // when quit() is called and return its code.
    std::optional<int> runUntil(std::int64_t ms);
    std::optional<int> runFor(std::int64_t ms);

    // Virtual time that one yield() moves forward (default 10 ms, at least 1).
    void setQuantum(std::int64_t ms);
    std::int64_t quantum() const { return quantumMs_; }
    // Real-time pacing: virtual time follows real time times factor (1 = real
    // speed, 10 = ten times faster); 0 switches it off (the default).
    void setPacing(double factor);
    // run() gives up with -2 instead of dispatching anything due after this
    // monotonic time; nullopt (the default) means no limit.
    void setRunLimit(std::optional<std::int64_t> ms) { runLimitMs_ = ms; }

    // Whether anything could still run: posted work, a scripted event or an
    // enabled timer.
    bool hasPending() const;
    // Due time of the next item that could run now, if any.
    std::optional<std::int64_t> nextDue() const;
    bool timerEnabled(TimerId id) const;
    bool timerRunning(TimerId id) const;

    SimClock& clock() { return clock_; }

private:
    struct Timer {
        std::function<void()> onTick;
        int intervalMs = 0;
        bool enabled = false;
        std::int64_t due = 0;
        std::uint64_t seq = 0;
        bool running = false;
        bool rescheduled = false;  // setTimer changed it while its handler ran
        bool removed = false;
    };
    struct Event {
        EventId id;
        std::int64_t due;
        std::uint64_t seq;
        bool immediate;  // due when it was scheduled
        std::string name;
        std::function<void()> fn;
    };
    struct Posted {
        std::uint64_t seq;
        std::int64_t due;
        std::function<void()> fn;
    };
    enum class Kind { None, Posted, Event, Timer };
    struct Next {
        Kind kind = Kind::None;
        std::int64_t due = 0;
        std::uint64_t seq = 0;
        std::size_t eventIndex = 0;
        std::shared_ptr<Timer> timer;
    };

    // skipFrom: work posted (and immediate events scheduled) with a sequence
    // number at or above it are left for a later pass.
    Next findNext(std::uint64_t skipFrom) const;
    void dispatch(Next next);
    void moveClockTo(std::int64_t ms);
    void pace();
    // Runs the handlers of the watched descriptors readable within waitMs.
    void pollWatches(int waitMs);
    struct Watch {
        std::function<void()> onReadable;
        bool busy = false;
        bool pending = false;  // posted from pace(), not run yet
    };
    // Runs a ready watch, or posts it while pace() waits.
    void ServeWatch(const std::shared_ptr<Watch>& w);
    bool deferWatches_ = false;
    // Runs a watch's handler unless it runs already.
    static void RunWatch(std::shared_ptr<Watch> w);
    std::map<int, std::shared_ptr<Watch>> watches_;
    std::map<void*, std::shared_ptr<Watch>> handleWatches_;
    bool takeQuit(int& code);

    SimClock& clock_;
    std::uint64_t seq_ = 0;
    std::map<TimerId, std::shared_ptr<Timer>> timers_;
    TimerId nextTimerId_ = 1;
    std::vector<Event> events_;
    EventId nextEventId_ = 1;
    std::deque<Posted> posted_;
    std::function<void(const std::string&)> namedHandler_;
    std::vector<FiredEvent> fired_;
    std::int64_t quantumMs_ = 10;
    std::optional<std::int64_t> runLimitMs_;
    bool quitRequested_ = false;
    int quitCode_ = 0;

    double pacing_ = 0;
    std::int64_t paceVirtualBase_ = 0;
    std::int64_t paceRealBaseNs_ = 0;
};

}  // namespace nocturo::platform

#pragma once
// The user-interface thread's message loop: timers, posted events and the
// pump that long waits call to keep the window alive.
#include <functional>

namespace nocturo::platform {

using TimerId = int;

class IEventLoop {
public:
    virtual ~IEventLoop() = default;
    // Let pending events (clicks, ticks, posted work) run once, then return
    // at once: the pump that long work calls between its steps.
    virtual void yield() = 0;
    // The same for a loop that only waits (for a moment, for a program):
    // when nothing is ready, sleep up to maxMs for something to become ready.
    virtual void idle(int maxMs) {
        (void)maxMs;
        yield();
    }
    // A timer starts disabled. A timer's tick is never delivered while an
    // earlier tick of the same timer is still running.
    virtual TimerId addTimer(std::function<void()> onTick) = 0;
    virtual void setTimer(TimerId id, int intervalMs, bool enabled) = 0;
    virtual void removeTimer(TimerId id) = 0;
    // Runs fn from the loop, after the current handler returns.
    virtual void post(std::function<void()> fn) = 0;
    // Calls onReadable from the loop while the descriptor fd is readable (or
    // at its end, or on an error: the handler then removes the watch). Not
    // called again while it runs; a second watch on fd replaces the first.
    // Returns false where this loop cannot watch descriptors (Windows).
    virtual bool addReadWatch(int fd, std::function<void()> onReadable) {
        (void)fd;
        (void)onReadable;
        return false;
    }
    virtual void removeReadWatch(int fd) { (void)fd; }
    // The same for a waitable object on Windows (a HANDLE; an event that an
    // overlapped read or connect sets, say): onSignaled runs from the loop
    // while handle is signaled, and resets it or starts the operation that
    // does. Waiting must not change the object's state, so no auto-reset
    // events. The handle stays open until its watch is removed. Returns
    // false where this loop cannot watch handles (all but Windows').
    virtual bool addHandleWatch(void* handle, std::function<void()> onSignaled) {
        (void)handle;
        (void)onSignaled;
        return false;
    }
    virtual void removeHandleWatch(void* handle) { (void)handle; }
    // Runs until quit() and returns its code.
    virtual int run() = 0;
    virtual void quit(int code) = 0;
};

}  // namespace nocturo::platform

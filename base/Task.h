#pragma once
// Long work as a task driven by the event loop.
//
// A countdown, the wait for a started program, the goodbye and the cleaning
// run are coroutines returning Task. Where the old way would spin in a loop
// that pumps the message loop, a task says what it waits for and suspends:
//
//     co_await Delay(1000);              // a moment on the loop's clock
//     co_await NextTurn();               // the next turn of the loop
//     std::uint32_t code = co_await fWait(pid);   // (schedule/)
//     co_await child;                    // another task, to its end
//
// Between its waits a task runs to the next wait without interruption, and
// nothing else runs inside it: no handler is ever re-entered by a task.
//
// Every task has its own cancel. Cancelling a task that waits ends it on the
// spot: its frame is destroyed, so whatever it would have done next never
// happens, and the timer it waited on goes with it. A task can also be
// cancelled while it is on the stack: only a modal box opened by the task
// runs a nested loop, and a handler inside that loop may cancel it. Such a
// task is told so (co_await Cancelled{} answers true) and ends at its next
// wait at the latest; code that acts after a box asks first.
//
// Ownership: the Task object owns the coroutine. Destroying or moving over a
// Task cancels it. A finished task stays done until its owner lets it go.
#include <coroutine>
#include <cstdint>
#include <memory>
#include <utility>

#include "platform/IEventLoop.h"

namespace nocturo {

class Task {
public:
    struct promise_type;
    using Handle = std::coroutine_handle<promise_type>;

    struct promise_type {
        bool running = false;    // on the stack: between a resume and its next wait
        bool cancelled = false;  // told to stop; it never continues after its next wait
        bool orphaned = false;   // its Task let go while it ran: it ends itself
        const char* procedure = "Task of Modul Task";  // for a failure nobody caught
        std::coroutine_handle<> continuation;          // the task awaiting this one

        Task get_return_object() { return Task(Handle::from_promise(*this)); }
        std::suspend_always initial_suspend() noexcept { return {}; }
        struct Final {
            bool await_ready() noexcept { return false; }
            std::coroutine_handle<> await_suspend(Handle h) noexcept;
            void await_resume() noexcept {}
        };
        Final final_suspend() noexcept { return {}; }
        void return_void() noexcept {}
        void unhandled_exception() noexcept;
    };

    Task() = default;
    Task(Task&& other) noexcept : h_(std::exchange(other.h_, {})) {}
    Task& operator=(Task&& other) noexcept;
    Task(const Task&) = delete;
    Task& operator=(const Task&) = delete;
    ~Task() { cancel(); }

    // Runs the task up to its first wait (or its end). procedure names it in
    // the error log should a failure escape its own handling.
    void start(const char* procedure);
    // Ends the task for good (see above). Afterwards the Task is empty.
    void cancel() noexcept;
    // Empty, cancelled or run to its end.
    bool done() const noexcept { return !h_ || h_.done(); }
    // A task that has been started and has not ended yet.
    bool active() const noexcept { return h_ && !h_.done() && started_; }

    // ---- awaiting another task ---------------------------------------------
    // co_await task starts it when it has not started yet, and goes on when
    // it has ended. Cancelling the awaiting task ends both; a task others
    // await is not cancelled on its own (it would leave them waiting): tell
    // it to stop in its own words and let it end.
    struct Awaiter {
        Task& child;
        bool await_ready() const noexcept { return child.done(); }
        template <class P>
        std::coroutine_handle<> await_suspend(std::coroutine_handle<P> parent) noexcept;
        void await_resume() const noexcept {}
    };
    Awaiter operator co_await() & noexcept { return Awaiter{*this}; }

    // ---- for the waits -------------------------------------------------------
    // The common first step of every wait: false means the task goes on
    // waiting; true means it was cancelled while on the stack and has been
    // ended (the caller must not touch the frame any more).
    static bool suspendOrEnd(Handle h) noexcept;
    // Continues a waiting task.
    static void resume(Handle h);

private:
    explicit Task(Handle h) : h_(h) {}
    Handle h_;
    bool started_ = false;
};

// ---- the waits ---------------------------------------------------------------

// Whether the running task has been cancelled (only possible inside a modal
// box it opened). Does not suspend.
struct Cancelled {
    bool value = false;
    bool await_ready() const noexcept { return false; }
    bool await_suspend(Task::Handle h) noexcept {
        value = h.promise().cancelled;
        return false;
    }
    bool await_resume() const noexcept { return value; }
};

// A wait that looks every pollMs, on a timer of the event loop, whether what
// it waits for has come; look() answers, and is asked once before the task
// suspends at all. A wait destroyed with its task takes its timer along.
class PolledWait {
public:
    PolledWait(const PolledWait&) = delete;
    PolledWait& operator=(const PolledWait&) = delete;
    bool await_ready() { return look(); }
    bool await_suspend(Task::Handle h);

protected:
    explicit PolledWait(std::int64_t pollMs) : pollMs_(pollMs < 1 ? 1 : pollMs) {}
    ~PolledWait() { disarm(); }
    // True when the wait is over; it may keep what the task gets back.
    virtual bool look() = 0;

private:
    void disarm() noexcept;
    std::int64_t pollMs_;
    Task::Handle h_;
    platform::TimerId timer_ = 0;
    bool armed_ = false;
};

// A moment on the loop's clock.
class Delay : public PolledWait {
public:
    explicit Delay(std::int64_t ms);
    void await_resume() const noexcept {}

private:
    bool look() override;
    std::int64_t until_;
    int looks_ = 0;
};

// The next turn of the loop: what is pending (clicks, ticks) runs first.
class NextTurn {
public:
    NextTurn() = default;
    NextTurn(const NextTurn&) = delete;
    NextTurn& operator=(const NextTurn&) = delete;
    ~NextTurn() {
        if (alive_) *alive_ = false;
    }
    bool await_ready() const noexcept { return false; }
    bool await_suspend(Task::Handle h);
    void await_resume() const noexcept {}

private:
    std::shared_ptr<bool> alive_;
};

// ---- template members ----------------------------------------------------------

template <class P>
std::coroutine_handle<> Task::Awaiter::await_suspend(std::coroutine_handle<P> parent) noexcept {
    if (suspendOrEnd(parent)) return std::noop_coroutine();
    promise_type& p = child.h_.promise();
    p.continuation = parent;
    // A task started already goes on by itself and wakes the parent at its end.
    if (child.started_) return std::noop_coroutine();
    p.procedure = parent.promise().procedure;
    child.started_ = true;
    p.running = true;
    return child.h_;
}

}  // namespace nocturo

#include "base/Task.h"

#include "base/Runtime.h"
#include "base/Varn_ErrorLog.h"

namespace nocturo {

// ---- the task ---------------------------------------------------------------------

std::coroutine_handle<> Task::promise_type::Final::await_suspend(Handle h) noexcept {
    promise_type& p = h.promise();
    p.running = false;
    if (p.orphaned) {
        // Nobody owns it any more: it goes on its own.
        h.destroy();
        return std::noop_coroutine();
    }
    if (std::coroutine_handle<> next = std::exchange(p.continuation, {})) {
        // The awaiting task goes on where it waited.
        Handle::from_address(next.address()).promise().running = true;
        return next;
    }
    return std::noop_coroutine();
}

void Task::promise_type::unhandled_exception() noexcept { ReportCurrentException(procedure, 0); }

Task& Task::operator=(Task&& other) noexcept {
    if (this != &other) {
        cancel();
        h_ = std::exchange(other.h_, {});
        started_ = std::exchange(other.started_, false);
    }
    return *this;
}

void Task::start(const char* procedure) {
    if (!h_ || started_) return;
    started_ = true;
    h_.promise().procedure = procedure;
    resume(h_);
}

void Task::cancel() noexcept {
    if (!h_) return;
    Handle h = std::exchange(h_, {});
    started_ = false;
    promise_type& p = h.promise();
    p.cancelled = true;
    p.continuation = {};
    if (p.running) {
        // On the stack (inside a box it opened): it ends itself at its next wait.
        p.orphaned = true;
    } else {
        h.destroy();
    }
}

bool Task::suspendOrEnd(Handle h) noexcept {
    promise_type& p = h.promise();
    p.running = false;
    if (!p.cancelled) return false;
    // Cancelled while it ran: it never continues.
    if (p.orphaned) h.destroy();
    return true;
}

void Task::resume(Handle h) {
    h.promise().running = true;
    h.resume();
}

// ---- the waits ---------------------------------------------------------------------

bool PolledWait::await_suspend(Task::Handle h) {
    if (Task::suspendOrEnd(h)) return true;
    h_ = h;
    timer_ = loop().addTimer([this] {
        if (!look()) return;
        disarm();
        Task::resume(h_);
    });
    armed_ = true;
    loop().setTimer(timer_, static_cast<int>(pollMs_), true);
    return true;
}

void PolledWait::disarm() noexcept {
    if (!armed_) return;
    armed_ = false;
    try {
        loop().removeTimer(timer_);
    } catch (...) {
    }
}

Delay::Delay(std::int64_t ms) : PolledWait(ms), until_(clock().monotonicMs() + (ms < 1 ? 1 : ms)) {}

// The first look is the one before suspending; the next is the timer's, which
// comes when the moment has come (a loop may deliver it a hair early).
bool Delay::look() { return ++looks_ > 1 || clock().monotonicMs() >= until_; }

bool NextTurn::await_suspend(Task::Handle h) {
    if (Task::suspendOrEnd(h)) return true;
    alive_ = std::make_shared<bool>(true);
    loop().post([alive = alive_, h] {
        if (*alive) Task::resume(h);
    });
    return true;
}

}  // namespace nocturo

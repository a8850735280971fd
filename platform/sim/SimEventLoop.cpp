#include "platform/sim/SimEventLoop.h"

#include <chrono>
#include <limits>
#include <thread>
#include <utility>
#include <vector>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <poll.h>
#endif

#include "platform/Error.h"

namespace nocturo::platform {

namespace {

constexpr std::uint64_t kNoSkip = std::numeric_limits<std::uint64_t>::max();

std::int64_t RealNowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool Before(std::int64_t dueA, std::uint64_t seqA, std::int64_t dueB, std::uint64_t seqB) {
    return dueA < dueB || (dueA == dueB && seqA < seqB);
}

}  // namespace

SimEventLoop::SimEventLoop(SimClock& clock) : clock_(clock) {}

// ---- timers ---------------------------------------------------------------------------

TimerId SimEventLoop::addTimer(std::function<void()> onTick) {
    auto t = std::make_shared<Timer>();
    t->onTick = std::move(onTick);
    TimerId id = nextTimerId_++;
    timers_.emplace(id, std::move(t));
    return id;
}

void SimEventLoop::setTimer(TimerId id, int intervalMs, bool enabled) {
    auto it = timers_.find(id);
    if (it == timers_.end()) throw Error(err::InvalidProcedureCall, "no timer " + std::to_string(id));
    Timer& t = *it->second;
    const bool on = enabled && intervalMs > 0;
    const bool restart = on && (!t.enabled || t.intervalMs != intervalMs);
    if (t.running && (restart || (t.enabled && !on))) t.rescheduled = true;
    t.intervalMs = intervalMs;
    t.enabled = on;
    if (restart) {
        t.due = clock_.monotonicMs() + intervalMs;
        t.seq = seq_++;
    }
}

void SimEventLoop::removeTimer(TimerId id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    it->second->removed = true;
    it->second->enabled = false;
    timers_.erase(it);  // a running handler keeps its timer alive until it returns
}

bool SimEventLoop::timerEnabled(TimerId id) const {
    auto it = timers_.find(id);
    return it != timers_.end() && it->second->enabled;
}

bool SimEventLoop::timerRunning(TimerId id) const {
    auto it = timers_.find(id);
    return it != timers_.end() && it->second->running;
}

// ---- posted work and scripted events ------------------------------------------------------

void SimEventLoop::post(std::function<void()> fn) {
    posted_.push_back(Posted{seq_++, clock_.monotonicMs(), std::move(fn)});
}

SimEventLoop::EventId SimEventLoop::at(std::int64_t ms, std::string name, std::function<void()> fn) {
    EventId id = nextEventId_++;
    events_.push_back(Event{id, ms, seq_++, ms <= clock_.monotonicMs(), std::move(name), std::move(fn)});
    return id;
}

SimEventLoop::EventId SimEventLoop::after(std::int64_t ms, std::string name, std::function<void()> fn) {
    return at(clock_.monotonicMs() + (ms > 0 ? ms : 0), std::move(name), std::move(fn));
}

bool SimEventLoop::cancel(EventId id) {
    for (auto it = events_.begin(); it != events_.end(); ++it) {
        if (it->id == id) {
            events_.erase(it);
            return true;
        }
    }
    return false;
}

void SimEventLoop::setNamedEventHandler(std::function<void(const std::string&)> handler) {
    namedHandler_ = std::move(handler);
}

// ---- choosing and running the next item ----------------------------------------------------

SimEventLoop::Next SimEventLoop::findNext(std::uint64_t skipFrom) const {
    Next best;
    auto consider = [&](Kind kind, std::int64_t due, std::uint64_t seq) {
        if (best.kind == Kind::None || Before(due, seq, best.due, best.seq)) {
            best.kind = kind;
            best.due = due;
            best.seq = seq;
            return true;
        }
        return false;
    };
    // Posted work is in order of both due time and sequence: the front is the
    // only candidate.
    if (!posted_.empty() && posted_.front().seq < skipFrom)
        consider(Kind::Posted, posted_.front().due, posted_.front().seq);
    for (std::size_t i = 0; i < events_.size(); ++i) {
        const Event& e = events_[i];
        if (e.immediate && e.seq >= skipFrom) continue;
        if (consider(Kind::Event, e.due, e.seq)) best.eventIndex = i;
    }
    for (const auto& [id, t] : timers_) {
        if (!t->enabled || t->running) continue;
        if (consider(Kind::Timer, t->due, t->seq)) best.timer = t;
    }
    if (best.kind != Kind::Timer) best.timer.reset();
    return best;
}

void SimEventLoop::dispatch(Next next) {
    moveClockTo(next.due);
    switch (next.kind) {
        case Kind::None: return;
        case Kind::Posted: {
            auto fn = std::move(posted_.front().fn);
            posted_.pop_front();
            if (fn) fn();
            return;
        }
        case Kind::Event: {
            Event e = std::move(events_[next.eventIndex]);
            events_.erase(events_.begin() + static_cast<std::ptrdiff_t>(next.eventIndex));
            fired_.push_back(FiredEvent{clock_.monotonicMs(), e.name});
            if (e.fn) e.fn();
            else if (namedHandler_) namedHandler_(e.name);
            return;
        }
        case Kind::Timer: {
            std::shared_ptr<Timer> t = std::move(next.timer);
            t->running = true;
            t->rescheduled = false;
            t->due = clock_.monotonicMs() + t->intervalMs;
            t->seq = seq_++;
            // Runs on every exit, also when the handler throws.
            struct Done {
                SimEventLoop& loop;
                Timer& t;
                ~Done() {
                    t.running = false;
                    const std::int64_t now = loop.clock_.monotonicMs();
                    if (t.enabled && !t.removed && !t.rescheduled && t.due <= now) {
                        // Ticks fell due while the handler ran: keep one.
                        t.due = now;
                        t.seq = loop.seq_++;
                    }
                }
            } done{*this, *t};
            if (t->onTick) t->onTick();
            return;
        }
    }
}

void SimEventLoop::moveClockTo(std::int64_t ms) {
    if (ms <= clock_.monotonicMs()) return;
    clock_.advanceTo(ms);
    pace();
}

bool SimEventLoop::takeQuit(int& code) {
    if (!quitRequested_) return false;
    quitRequested_ = false;
    code = quitCode_;
    return true;
}

// ---- the loop's entry points ---------------------------------------------------------------

void SimEventLoop::yield() {
    const std::int64_t target = clock_.monotonicMs() + quantumMs_;
    const std::uint64_t passStart = seq_;
    for (;;) {
        Next next = findNext(passStart);
        if (next.kind == Kind::None || next.due > target) break;
        dispatch(std::move(next));
    }
    moveClockTo(target);
    if (pacing_ <= 0) pollWatches(0);
}

int SimEventLoop::run() {
    int code = 0;
    for (;;) {
        if (takeQuit(code)) return code;
        Next next = findNext(kNoSkip);
        if (next.kind == Kind::None) return -1;
        if (runLimitMs_ && next.due > *runLimitMs_) {
            moveClockTo(*runLimitMs_);
            return -2;
        }
        dispatch(std::move(next));
    }
}

void SimEventLoop::quit(int code) {
    quitRequested_ = true;
    quitCode_ = code;
}

std::optional<int> SimEventLoop::runUntil(std::int64_t ms) {
    int code = 0;
    for (;;) {
        if (takeQuit(code)) return code;
        Next next = findNext(kNoSkip);
        if (next.kind == Kind::None || next.due > ms) break;
        dispatch(std::move(next));
    }
    moveClockTo(ms);
    return std::nullopt;
}

std::optional<int> SimEventLoop::runFor(std::int64_t ms) { return runUntil(clock_.monotonicMs() + ms); }

bool SimEventLoop::hasPending() const {
    if (!posted_.empty() || !events_.empty()) return true;
    for (const auto& [id, t] : timers_)
        if (t->enabled) return true;
    return false;
}

std::optional<std::int64_t> SimEventLoop::nextDue() const {
    Next next = findNext(kNoSkip);
    if (next.kind == Kind::None) return std::nullopt;
    return next.due;
}

// ---- settings ----------------------------------------------------------------------------

void SimEventLoop::setQuantum(std::int64_t ms) { quantumMs_ = ms < 1 ? 1 : ms; }

void SimEventLoop::setPacing(double factor) {
    pacing_ = factor > 0 ? factor : 0;
    paceVirtualBase_ = clock_.monotonicMs();
    paceRealBaseNs_ = RealNowNs();
}

void SimEventLoop::pace() {
    if (pacing_ <= 0) return;
    // pace() runs between choosing the next item and running it: a watch's
    // handler run here could cancel or post what that item refers to. The
    // handlers found ready here are posted instead, behind that item.
    deferWatches_ = true;
    struct Undefer {
        bool& flag;
        ~Undefer() { flag = false; }
    } undefer{deferWatches_};
    const double virtualNs = static_cast<double>(clock_.monotonicMs() - paceVirtualBase_) * 1e6;
    const auto wakeNs = paceRealBaseNs_ + static_cast<std::int64_t>(virtualNs / pacing_);
    const std::int64_t nowNs = RealNowNs();
    if (wakeNs <= nowNs) {
        pollWatches(0);
        return;
    }
    if (watches_.empty() && handleWatches_.empty()) {
        std::this_thread::sleep_for(std::chrono::nanoseconds(wakeNs - nowNs));
        return;
    }
    // Wait on the watched descriptors until the wake-up time, serving them
    // as they become readable.
    for (std::int64_t left = wakeNs - nowNs; left > 0; left = wakeNs - RealNowNs())
        pollWatches(static_cast<int>((left + 999999) / 1000000));
}

bool SimEventLoop::addReadWatch(int fd, std::function<void()> onReadable) {
#ifdef _WIN32
    (void)fd;
    (void)onReadable;
    return false;
#else
    if (fd < 0) throw Error(err::InvalidProcedureCall, "read watch on an invalid descriptor");
    auto w = std::make_shared<Watch>();
    w->onReadable = std::move(onReadable);
    watches_[fd] = std::move(w);
    return true;
#endif
}

void SimEventLoop::removeReadWatch(int fd) { watches_.erase(fd); }

bool SimEventLoop::addHandleWatch(void* handle, std::function<void()> onSignaled) {
#ifdef _WIN32
    if (!handle || handle == INVALID_HANDLE_VALUE)
        throw Error(err::InvalidProcedureCall, "handle watch on an invalid handle");
    if (!handleWatches_.count(handle) && handleWatches_.size() >= MAXIMUM_WAIT_OBJECTS)
        throw Error(err::InvalidProcedureCall, "more than 64 handle watches");
    auto w = std::make_shared<Watch>();
    w->onReadable = std::move(onSignaled);
    handleWatches_[handle] = std::move(w);
    return true;
#else
    (void)handle;
    (void)onSignaled;
    return false;
#endif
}

void SimEventLoop::removeHandleWatch(void* handle) { handleWatches_.erase(handle); }

void SimEventLoop::RunWatch(std::shared_ptr<Watch> w) {
    if (w->busy || !w->onReadable) return;
    w->busy = true;
    struct Release {
        Watch& w;
        ~Release() { w.busy = false; }
    } release{*w};
    w->onReadable();
}

void SimEventLoop::ServeWatch(const std::shared_ptr<Watch>& w) {
    if (!deferWatches_) {
        RunWatch(w);  // a copy: the handler may remove the watch
        return;
    }
    if (w->pending) return;
    w->pending = true;
    post([w] {
        w->pending = false;
        RunWatch(w);
    });
}

void SimEventLoop::pollWatches(int waitMs) {
#ifdef _WIN32
    if (handleWatches_.empty()) {
        if (waitMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
        return;
    }
    std::vector<HANDLE> handles;
    for (const auto& [h, w] : handleWatches_)
        if (!w->busy && !w->pending) handles.push_back(static_cast<HANDLE>(h));
    if (handles.empty()) {
        if (waitMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
        return;
    }
    const DWORD woke = WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE,
                                              waitMs < 0 ? INFINITE : static_cast<DWORD>(waitMs));
    if (woke == WAIT_TIMEOUT) return;
    if (woke == WAIT_FAILED) {
        // A handle closed underneath: drop the watches whose handles no
        // longer wait, as a poll drops a descriptor closed underneath.
        for (HANDLE h : handles)
            if (WaitForSingleObject(h, 0) == WAIT_FAILED) handleWatches_.erase(h);
        return;
    }
    for (HANDLE h : handles) {
        // Each handle signaled now, not only the first the wait reported.
        if (WaitForSingleObject(h, 0) != WAIT_OBJECT_0) continue;
        auto it = handleWatches_.find(h);
        if (it == handleWatches_.end()) continue;
        ServeWatch(it->second);
    }
#else
    if (watches_.empty()) {
        if (waitMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
        return;
    }
    std::vector<pollfd> fds;
    for (const auto& [fd, w] : watches_)
        if (!w->busy && !w->pending) fds.push_back(pollfd{fd, POLLIN, 0});
    if (fds.empty()) {  // every watch runs or waits to run: nothing to poll
        if (waitMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
        return;
    }
    if (::poll(fds.data(), fds.size(), waitMs) <= 0) return;
    for (const pollfd& p : fds) {
        if (p.revents == 0) continue;
        auto it = watches_.find(p.fd);
        if (it == watches_.end()) continue;
        if (p.revents & POLLNVAL) {  // closed underneath
            watches_.erase(it);
            continue;
        }
        ServeWatch(it->second);
    }
#endif
}

}  // namespace nocturo::platform

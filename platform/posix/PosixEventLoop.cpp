#include "platform/posix/PosixEventLoop.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/Error.h"

namespace nocturo::platform {

namespace {

// The signal handler can only touch these: which signals came, and the pipe
// that wakes the loop.
constexpr int kTerminationSignals[] = {SIGHUP, SIGINT, SIGTERM};
constexpr std::size_t kSignalCount = std::size(kTerminationSignals);
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs lock-free atomics");
std::atomic<int> g_pendingSignal[kSignalCount];
std::atomic<int> g_signalWakeFd{-1};
struct sigaction g_previousAction[kSignalCount];
PosixEventLoop* g_signalOwner = nullptr;

void onTerminationSignal(int sig) {
    const int savedErrno = errno;
    for (std::size_t i = 0; i < kSignalCount; ++i)
        if (kTerminationSignals[i] == sig) g_pendingSignal[i].store(1);
    const int fd = g_signalWakeFd.load();
    if (fd >= 0) {
        const char byte = static_cast<char>(sig);
        ssize_t written = write(fd, &byte, 1);  // a full pipe already means "wake up"
        static_cast<void>(written);
    }
    errno = savedErrno;
}

// Clears a busy flag however the handler leaves.
class BusyGuard {
public:
    explicit BusyGuard(bool& flag) : flag_(flag) { flag_ = true; }
    ~BusyGuard() { flag_ = false; }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

private:
    bool& flag_;
};

[[noreturn]] void failCall(const char* what) {
    throw Error(err::SystemCallFailed, std::string(what) + " failed: " + std::strerror(errno));
}

}  // namespace

PosixEventLoop::PosixEventLoop() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) failCall("pipe2 for the event loop");
    wakeRead_ = fds[0];
    wakeWrite_ = fds[1];
}

PosixEventLoop::~PosixEventLoop() {
    if (ownsSignals_) releaseSignals();
    close(wakeRead_);
    close(wakeWrite_);
}

// ---- timers and posted work ---------------------------------------------------

TimerId PosixEventLoop::addTimer(std::function<void()> onTick) {
    auto timer = std::make_shared<Timer>();
    timer->onTick = std::move(onTick);
    const TimerId id = nextTimerId_++;
    timers_.emplace(id, std::move(timer));
    return id;
}

void PosixEventLoop::setTimer(TimerId id, int intervalMs, bool enabled) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    Timer& t = *it->second;
    t.intervalMs = std::max(intervalMs, 0);
    t.enabled = enabled;
    t.due = Clock::now() + std::chrono::milliseconds(t.intervalMs);
}

void PosixEventLoop::removeTimer(TimerId id) { timers_.erase(id); }

void PosixEventLoop::post(std::function<void()> fn) {
    if (fn) posted_.push_back(std::move(fn));
}

void PosixEventLoop::quit(int code) {
    quitRequested_ = true;
    quitCode_ = code;
}

// ---- the loop ---------------------------------------------------------------

void PosixEventLoop::yield() { turn(0); }

void PosixEventLoop::idle(int maxMs) {
    const auto now = Clock::now();
    int timeout = 0;
    if (!readyNow(now)) {
        const int next = msUntilNextDue(now);
        timeout = next < 0 ? maxMs : std::min(next, maxMs);
    }
    turn(timeout);
}

int PosixEventLoop::run() {
    while (!quitRequested_) {
        const auto now = Clock::now();
        turn(readyNow(now) ? 0 : msUntilNextDue(now));
    }
    quitRequested_ = false;
    return quitCode_;
}

bool PosixEventLoop::readyNow(Clock::time_point now) const {
    return !posted_.empty() || signalsPending() || msUntilNextDue(now) == 0;
}

int PosixEventLoop::msUntilNextDue(Clock::time_point now) const {
    bool any = false;
    auto earliest = Clock::time_point::max();
    for (const auto& [id, t] : timers_) {
        if (!t->enabled || t->intervalMs <= 0 || t->busy) continue;
        any = true;
        earliest = std::min(earliest, t->due);
    }
    if (!any) return -1;
    if (earliest <= now) return 0;
    // Rounded up: waking early would only mean another, empty turn.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(earliest - now).count();
    return static_cast<int>(std::min<long long>(ms, INT_MAX));
}

void PosixEventLoop::turn(int timeoutMs) {
    std::vector<pollfd> fds;
    std::vector<std::shared_ptr<Watch>> polled;
    fds.push_back({wakeRead_, POLLIN, 0});
    for (const auto& [fd, w] : watches_) {
        if (w->busy) continue;
        fds.push_back({fd, POLLIN, 0});
        polled.push_back(w);
    }
    int n = poll(fds.data(), fds.size(), timeoutMs);
    if (n < 0) {
        if (errno != EINTR) failCall("poll in the event loop");
        for (auto& p : fds) p.revents = 0;  // a signal: its flag is set, go on
    }
    if (fds[0].revents & POLLIN) {
        char buffer[64];
        while (read(wakeRead_, buffer, sizeof buffer) > 0) {
        }
    }

    deliverSignals();

    for (std::size_t i = 0; i < polled.size(); ++i) {
        const short revents = fds[i + 1].revents;
        if (revents == 0) continue;
        const auto& w = polled[i];
        auto it = watches_.find(w->fd);
        if (it == watches_.end() || it->second != w || w->busy) continue;  // removed or replaced meanwhile
        if (revents & POLLNVAL) {
            watches_.erase(it);
            continue;
        }
        BusyGuard busy(w->busy);
        w->onReadable();
    }

    runPosted();
    runDueTimers();
}

void PosixEventLoop::runPosted() {
    // Only what was queued when the turn began: work that posts itself again
    // waits for the next turn. Taken one at a time from the front, so a
    // yield() inside one of them keeps the order.
    for (std::size_t count = posted_.size(); count > 0 && !posted_.empty(); --count) {
        auto fn = std::move(posted_.front());
        posted_.pop_front();
        fn();
    }
}

void PosixEventLoop::runDueTimers() {
    const auto now = Clock::now();
    std::vector<std::pair<Clock::time_point, TimerId>> due;
    for (const auto& [id, t] : timers_)
        if (t->enabled && t->intervalMs > 0 && !t->busy && t->due <= now) due.emplace_back(t->due, id);
    std::sort(due.begin(), due.end());

    for (const auto& [when, id] : due) {
        auto it = timers_.find(id);
        if (it == timers_.end()) continue;
        auto timer = it->second;  // keeps it alive should the tick remove it
        // An earlier tick of this turn may have changed it.
        if (!timer->enabled || timer->intervalMs <= 0 || timer->busy || timer->due > now) continue;
        timer->due = Clock::now() + std::chrono::milliseconds(timer->intervalMs);
        BusyGuard busy(timer->busy);
        timer->onTick();
    }
}

// ---- descriptors --------------------------------------------------------------

void PosixEventLoop::addReadWatch(int fd, std::function<void()> onReadable) {
    if (fd < 0) throw Error(err::InvalidProcedureCall, "read watch on an invalid descriptor");
    auto w = std::make_shared<Watch>();
    w->fd = fd;
    w->onReadable = std::move(onReadable);
    watches_[fd] = std::move(w);
}

void PosixEventLoop::removeReadWatch(int fd) { watches_.erase(fd); }

// ---- termination signals -------------------------------------------------------

void PosixEventLoop::installTerminationHandler(std::function<void(int sig)> onSignal) {
    if (!onSignal) {
        onSignal_ = nullptr;
        if (ownsSignals_) releaseSignals();
        return;
    }
    onSignal_ = std::move(onSignal);
    if (ownsSignals_) return;
    if (g_signalOwner) g_signalOwner->releaseSignals();

    for (auto& pending : g_pendingSignal) pending.store(0);
    g_signalWakeFd.store(wakeWrite_);
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int sig : kTerminationSignals) sigaddset(&action.sa_mask, sig);
    for (std::size_t i = 0; i < kSignalCount; ++i) {
        if (sigaction(kTerminationSignals[i], &action, &g_previousAction[i]) != 0) {
            const int e = errno;
            for (std::size_t j = 0; j < i; ++j) sigaction(kTerminationSignals[j], &g_previousAction[j], nullptr);
            g_signalWakeFd.store(-1);
            errno = e;
            failCall("sigaction");
        }
    }
    ownsSignals_ = true;
    g_signalOwner = this;
}

void PosixEventLoop::releaseSignals() {
    for (std::size_t i = 0; i < kSignalCount; ++i) sigaction(kTerminationSignals[i], &g_previousAction[i], nullptr);
    g_signalWakeFd.store(-1);
    for (auto& pending : g_pendingSignal) pending.store(0);
    ownsSignals_ = false;
    if (g_signalOwner == this) g_signalOwner = nullptr;
}

bool PosixEventLoop::signalsPending() const {
    if (!ownsSignals_ || inSignalHandler_ || !onSignal_) return false;
    for (const auto& pending : g_pendingSignal)
        if (pending.load()) return true;
    return false;
}

void PosixEventLoop::deliverSignals() {
    if (!ownsSignals_ || inSignalHandler_ || !onSignal_) return;
    for (std::size_t i = 0; i < kSignalCount; ++i) {
        if (!ownsSignals_ || !onSignal_) return;  // the last callback gave the signals up
        if (!g_pendingSignal[i].exchange(0)) continue;
        auto callback = onSignal_;  // it may replace itself while it runs
        BusyGuard busy(inSignalHandler_);
        callback(kTerminationSignals[i]);
    }
}

}  // namespace nocturo::platform

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

TimerId PosixEventLoop::addTimer(std::function<void()> onTick) { return work_.addTimer(std::move(onTick)); }

void PosixEventLoop::setTimer(TimerId id, int intervalMs, bool enabled) { work_.setTimer(id, intervalMs, enabled); }

void PosixEventLoop::removeTimer(TimerId id) { work_.removeTimer(id); }

void PosixEventLoop::post(std::function<void()> fn) { work_.post(std::move(fn)); }

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
        const int next = work_.msUntilNextDue(now);
        timeout = next < 0 ? maxMs : std::min(next, maxMs);
    }
    turn(timeout);
}

int PosixEventLoop::run() {
    while (!quitRequested_) {
        const auto now = Clock::now();
        turn(readyNow(now) ? 0 : work_.msUntilNextDue(now));
    }
    quitRequested_ = false;
    return quitCode_;
}

bool PosixEventLoop::readyNow(Clock::time_point now) const {
    return work_.hasPosted() || signalsPending() || work_.msUntilNextDue(now) == 0;
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

    work_.runPosted();
    work_.runDueTimers();
}

// ---- descriptors --------------------------------------------------------------

bool PosixEventLoop::addReadWatch(int fd, std::function<void()> onReadable) {
    if (fd < 0) throw Error(err::InvalidProcedureCall, "read watch on an invalid descriptor");
    auto w = std::make_shared<Watch>();
    w->fd = fd;
    w->onReadable = std::move(onReadable);
    watches_[fd] = std::move(w);
    return true;
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

#include "platform/common/LoopWork.h"

#include <algorithm>
#include <climits>
#include <utility>
#include <vector>

namespace nocturo::platform {

TimerId LoopWork::addTimer(std::function<void()> onTick) {
    auto timer = std::make_shared<Timer>();
    timer->onTick = std::move(onTick);
    const TimerId id = nextTimerId_++;
    timers_.emplace(id, std::move(timer));
    return id;
}

void LoopWork::setTimer(TimerId id, int intervalMs, bool enabled) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    Timer& t = *it->second;
    t.intervalMs = std::max(intervalMs, 0);
    t.enabled = enabled;
    t.due = Clock::now() + std::chrono::milliseconds(t.intervalMs);
}

void LoopWork::removeTimer(TimerId id) { timers_.erase(id); }

void LoopWork::post(std::function<void()> fn) {
    if (fn) posted_.push_back(std::move(fn));
}

int LoopWork::msUntilNextDue(Clock::time_point now) const {
    bool any = false;
    auto earliest = Clock::time_point::max();
    for (const auto& [id, t] : timers_) {
        if (!t->enabled || t->intervalMs <= 0 || t->busy) continue;
        any = true;
        earliest = std::min(earliest, t->due);
    }
    if (!any) return -1;
    if (earliest <= now) return 0;
    // Rounded up: waking early would only mean another, empty turn. Below
    // INT_MAX, which some waits take to mean "for ever".
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(earliest - now).count();
    return static_cast<int>(std::min<long long>(ms, INT_MAX - 1));
}

void LoopWork::runPosted() {
    for (std::size_t count = posted_.size(); count > 0 && !posted_.empty(); --count) {
        auto fn = std::move(posted_.front());
        posted_.pop_front();
        fn();
    }
}

void LoopWork::runDueTimers() {
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

}  // namespace nocturo::platform

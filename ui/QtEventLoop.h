#pragma once
// The user-interface thread's loop on top of Qt's own: timers are QTimers,
// posted work is a queued call, run() is the application's exec(). Needs a
// QCoreApplication (or QApplication) that outlives the loop; every call comes
// from the thread that owns that application.
#include <QObject>

#include <functional>
#include <map>
#include <memory>

#include "platform/IEventLoop.h"

class QTimer;
class QSocketNotifier;

namespace nocturo::ui {

class QtEventLoop : public platform::IEventLoop {
public:
    QtEventLoop();
    ~QtEventLoop() override;
    QtEventLoop(const QtEventLoop&) = delete;
    QtEventLoop& operator=(const QtEventLoop&) = delete;

    // Handles what is pending once and returns; never waits.
    void yield() override;
    // Waits up to maxMs for something to arrive when nothing is pending, then
    // handles what came. A wake-up timer bounds the wait.
    void idle(int maxMs) override;
    platform::TimerId addTimer(std::function<void()> onTick) override;
    // Restarts the interval from now. An interval of 0 or less, or enabled
    // false, stops the timer. Unknown ids are ignored.
    void setTimer(platform::TimerId id, int intervalMs, bool enabled) override;
    // May be called from the timer's own tick.
    void removeTimer(platform::TimerId id) override;
    // First in, first out, after the current handler returns (or inside a
    // yield() of that handler).
    void post(std::function<void()> fn) override;
    // QCoreApplication::exec() until quit(). A quit() that comes before run()
    // makes it return at once with that code.
    int run() override;
    void quit(int code) override;
    // A QSocketNotifier per descriptor.
    bool addReadWatch(int fd, std::function<void()> onReadable) override;
    void removeReadWatch(int fd) override;

private:
    struct Timer {
        std::function<void()> onTick;
        QTimer* qtimer = nullptr;  // owned by the loop's context object
        bool busy = false;
    };

    void tick(platform::TimerId id);

    QObject context_;  // parent of the timers and receiver of posted work
    std::map<platform::TimerId, std::shared_ptr<Timer>> timers_;
    struct Watch {
        std::function<void()> onReadable;
        QSocketNotifier* notifier = nullptr;  // owned by context_
        bool busy = false;
    };
    std::map<int, std::shared_ptr<Watch>> watches_;
    platform::TimerId nextTimerId_ = 1;
    bool running_ = false;
    bool quitPending_ = false;
    int quitCode_ = 0;
};

}  // namespace nocturo::ui

#include "ui/QtEventLoop.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <utility>

#include "platform/common/LoopWork.h"

namespace nocturo::ui {

using platform::BusyGuard;

QtEventLoop::QtEventLoop() = default;

QtEventLoop::~QtEventLoop() {
    for (auto& [id, timer] : timers_) timer->qtimer->stop();
    // context_ deletes the QTimers and drops the posted work still queued for it.
}

// ---- the loop ---------------------------------------------------------------

void QtEventLoop::yield() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void QtEventLoop::idle(int maxMs) {
    if (maxMs <= 0) {
        yield();
        return;
    }
    // processEvents(flags, maxTime) ignores WaitForMoreEvents, and the plain
    // waiting call may wait for ever: a one-shot wake-up event bounds it.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    wake.start(maxMs);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

bool QtEventLoop::addReadWatch(int fd, std::function<void()> onReadable) {
    if (fd < 0) return false;
    removeReadWatch(fd);
    auto w = std::make_shared<Watch>();
    w->onReadable = std::move(onReadable);
    w->notifier = new QSocketNotifier(fd, QSocketNotifier::Read, &context_);
    std::weak_ptr<Watch> weak = w;
    QObject::connect(w->notifier, &QSocketNotifier::activated, &context_, [weak] {
        std::shared_ptr<Watch> watch = weak.lock();  // the handler may remove it
        if (!watch || watch->busy || !watch->onReadable) return;
        watch->busy = true;
        struct Release {
            Watch& w;
            ~Release() { w.busy = false; }
        } release{*watch};
        watch->onReadable();
    });
    watches_[fd] = std::move(w);
    return true;
}

void QtEventLoop::removeReadWatch(int fd) {
    auto it = watches_.find(fd);
    if (it == watches_.end()) return;
    it->second->notifier->setEnabled(false);
    it->second->notifier->deleteLater();
    watches_.erase(it);
}

int QtEventLoop::run() {
    if (quitPending_) {
        quitPending_ = false;
        return quitCode_;
    }
    running_ = true;
    const int code = QCoreApplication::exec();
    running_ = false;
    quitPending_ = false;
    return code;
}

void QtEventLoop::quit(int code) {
    quitCode_ = code;
    if (running_) {
        QCoreApplication::exit(code);
    } else {
        quitPending_ = true;
    }
}

// ---- timers and posted work ---------------------------------------------------

platform::TimerId QtEventLoop::addTimer(std::function<void()> onTick) {
    const platform::TimerId id = nextTimerId_++;
    auto timer = std::make_shared<Timer>();
    timer->onTick = std::move(onTick);
    timer->qtimer = new QTimer(&context_);
    timer->qtimer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer->qtimer, &QTimer::timeout, &context_, [this, id] { tick(id); });
    timers_.emplace(id, std::move(timer));
    return id;
}

void QtEventLoop::setTimer(platform::TimerId id, int intervalMs, bool enabled) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    QTimer* qtimer = it->second->qtimer;
    if (enabled && intervalMs > 0) {
        qtimer->start(intervalMs);
    } else {
        qtimer->stop();
    }
}

void QtEventLoop::removeTimer(platform::TimerId id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    QTimer* qtimer = it->second->qtimer;
    qtimer->stop();
    qtimer->disconnect();
    // The tick that removes its own timer is still inside the timer's signal.
    qtimer->deleteLater();
    timers_.erase(it);
}

void QtEventLoop::tick(platform::TimerId id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    // Keeps the handler alive should it remove its own timer.
    const std::shared_ptr<Timer> timer = it->second;
    if (timer->busy || !timer->onTick) return;  // a tick inside a yield() of the running one: dropped
    BusyGuard busy(timer->busy);
    timer->onTick();
}

void QtEventLoop::post(std::function<void()> fn) {
    if (!fn) return;
    QMetaObject::invokeMethod(&context_, std::move(fn), Qt::QueuedConnection);
}

}  // namespace nocturo::ui

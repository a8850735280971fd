#pragma once
// Letting the Qt event loop run in a desktop test: until a condition holds,
// or for a while.
#include <QApplication>
#include <QElapsedTimer>
#include <QTest>

#include <functional>

namespace nocturo::test {

// Runs the events until condition holds or ms have passed; returns condition().
inline bool ProcessEventsUntil(const std::function<bool()>& condition, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > ms) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QTest::qWait(10);
    }
    return true;
}

// Runs the events for ms.
inline void ProcessEventsFor(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
}

}  // namespace nocturo::test

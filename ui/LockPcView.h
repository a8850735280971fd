#pragma once
// The windows of the secured PC's two programs and their runs on the
// desktop: the lock window (frameless, full screen, on top, holding the
// keyboard and mouse, deaf to the close box) and its screen saver (the same,
// black, without a pointer).
#include <QObject>

#include <signal.h>

#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

#include "platform/PlatformHost.h"
#include "ui/FormView.h"

class QSocketNotifier;

namespace nocturo {
class frmLockPc;
class frmLockPcScr;
}  // namespace nocturo

namespace nocturo::ui {

class LockPcView : public FormView {
    Q_OBJECT

public:
    explicit LockPcView(frmLockPc& model, QWidget* parent = nullptr);

protected:
    bool frameless() const override { return true; }
    bool event(QEvent* event) override;
    // The window mapped again behind Qt's back (the main program hides and
    // shows it by X): the keyboard and mouse are taken back.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // The window holds the mouse, so its own buttons get their clicks from here.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void grabInput();
    void forwardToChild(QMouseEvent* event);

    frmLockPc& lock_;
    QWidget* pressedChild_ = nullptr;
};

class LockPcScrView : public FormView {
    Q_OBJECT

public:
    explicit LockPcScrView(frmLockPcScr& model, QWidget* parent = nullptr);

protected:
    bool frameless() const override { return true; }
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void grabInput();

    frmLockPcScr& saver_;
};

// Turns signals into calls on the Qt loop: the handler only writes the
// signal's number into a pipe (all a handler may safely do), and a socket
// notifier on the other end calls onSignal. The watched signals are
// unblocked, so any the program held back so far come now. One watch at a
// time; the earlier handlers come back when it goes.
class SignalWatch : public QObject {
    Q_OBJECT

public:
    SignalWatch(std::initializer_list<int> watched, std::function<void(int)> onSignal, QObject* parent = nullptr);
    ~SignalWatch() override;

private:
    void drain();

    std::vector<int> watched_;
    std::vector<struct sigaction> previous_;
    std::function<void(int)> onSignal_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

// SIGUSR1 hides the lock window (the main program's screen saver runs),
// SIGUSR2 shows it again.
std::unique_ptr<SignalWatch> WatchLockSignals(frmLockPc& form);

// Every frmLockPc and frmLockPcScr that loads from now on gets its window (false: none).
void InstallLockViews(bool on);

int RunLockPcDesktop(platform::PlatformHost& host, int& argc, char** argv);
int RunLockPcScrDesktop(platform::PlatformHost& host, int& argc, char** argv);

}  // namespace nocturo::ui

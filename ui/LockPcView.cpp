#include "ui/LockPcView.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>
#include <QWindow>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <iostream>

#include "app/LockPc_Main.h"
#include "base/Runtime.h"
#include "shell/frmLockPc.h"
#include "shell/frmLockPcScr.h"
#include "ui/Desktop.h"
#include "ui/QtDialogs.h"
#include "ui/QtEventLoop.h"

namespace nocturo::ui {

namespace {

void paintBlack(QWidget& w) {
    w.setAutoFillBackground(true);
    QPalette p = w.palette();
    p.setColor(QPalette::Window, Qt::black);
    w.setPalette(p);
}

// Exposure of the native window: also when it is mapped again from outside.
void watchExposure(QWidget& w) {
    if (QWindow* native = w.windowHandle()) {
        native->removeEventFilter(&w);
        native->installEventFilter(&w);
    }
}

bool exposedNow(const QWidget& w, QObject* watched, QEvent* event) {
    return event->type() == QEvent::Expose && watched == w.windowHandle() && w.windowHandle()->isExposed();
}

// Whether the X server gave the window the keyboard and the pointer (another
// client may hold them for a moment). Elsewhere (Wayland, offscreen) there
// is nothing more to try.
bool heldOnX(QWidget& w) {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return true;
    QWindow* native = w.windowHandle();
    if (!native) return true;
    const bool keyboard = native->setKeyboardGrabEnabled(true);
    const bool mouse = native->setMouseGrabEnabled(true);
    return keyboard && mouse;
}

constexpr int kGrabRetryMs = 200;

void fillScreen(QWidget& w) {
    if (!(w.windowState() & Qt::WindowFullScreen)) w.setWindowState(w.windowState() | Qt::WindowFullScreen);
}

// The pipe between the signal handler and the loop; made once, kept open.
int g_pipe[2] = {-1, -1};
SignalWatch* g_watch = nullptr;

void onWatchedSignal(int sig) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(sig);
    ssize_t written = write(g_pipe[1], &byte, 1);  // a full pipe has the news already
    static_cast<void>(written);
    errno = saved;
}

std::shared_ptr<void> keep(FormView* view) {
    return std::shared_ptr<void>(view, [](void* p) {
        auto* v = static_cast<FormView*>(p);
        v->detach();
        v->hide();
        v->deleteLater();
    });
}

std::shared_ptr<void> makeLockView(Form& form) {
    if (auto* lock = dynamic_cast<frmLockPc*>(&form)) return keep(new LockPcView(*lock));
    if (auto* saver = dynamic_cast<frmLockPcScr*>(&form)) return keep(new LockPcScrView(*saver));
    return keep(new FormView(form));
}

}  // namespace

// ---- the lock window ------------------------------------------------------------

LockPcView::LockPcView(frmLockPc& model, QWidget* parent) : FormView(model, parent), lock_(model) {
    paintBlack(*this);
    if (auto* unlock = qobject_cast<QPushButton*>(widgetFor("cmdUnlock"))) unlock->setDefault(true);
    if (auto* entry = qobject_cast<QLineEdit*>(widgetFor("txtPassword"))) {
        connect(entry, &QLineEdit::returnPressed, this, [this] {
            if (FormView::of(form()) == this) form().fireEvent("cmdUnlock.Click");
        });
    }
    // The base drew the window before this class's frame and events were there.
    refreshAll();
}

void LockPcView::grabInput() {
    if (!isVisible() || FormView::of(form()) != this) return;
    grabMouse();
    QWidget* entry = widgetFor("txtPassword");
    if (entry) {
        // Typing goes to the password entry whatever has the focus.
        entry->grabKeyboard();
        entry->setFocus(Qt::OtherFocusReason);
    }
    if (!heldOnX(*this)) {
        QTimer::singleShot(kGrabRetryMs, this, [this] { grabInput(); });
        return;
    }
    // The X grab above went to the window; Qt's own keeps the keys with the entry.
    if (entry) entry->grabKeyboard();
}

bool LockPcView::event(QEvent* event) {
    // A window manager that maps the window late: take the input once it is ours.
    if (event->type() == QEvent::WindowActivate) grabInput();
    return FormView::event(event);
}

bool LockPcView::eventFilter(QObject* watched, QEvent* event) {
    if (exposedNow(*this, watched, event)) QTimer::singleShot(0, this, [this] { grabInput(); });
    return FormView::eventFilter(watched, event);
}

void LockPcView::showEvent(QShowEvent* event) {
    FormView::showEvent(event);
    fillScreen(*this);
    watchExposure(*this);
    raise();
    activateWindow();
    QTimer::singleShot(0, this, [this] { grabInput(); });
}

void LockPcView::hideEvent(QHideEvent* event) {
    releaseMouse();
    if (QWidget* entry = widgetFor("txtPassword")) entry->releaseKeyboard();
    FormView::hideEvent(event);
}

void LockPcView::closeEvent(QCloseEvent* event) {
    // Only the model ends the lock.
    if (FormView::of(form()) == this && !lock_.ended()) {
        event->ignore();
        return;
    }
    FormView::closeEvent(event);
}

void LockPcView::forwardToChild(QMouseEvent* event) {
    QWidget* child = event->type() == QEvent::MouseButtonPress ? childAt(event->position().toPoint()) : pressedChild_;
    if (!child) return;
    QPointer<QWidget> target(child);
    if (event->type() == QEvent::MouseButtonPress) {
        pressedChild_ = child;
        if (child->focusPolicy() & Qt::ClickFocus) child->setFocus(Qt::MouseFocusReason);
    } else {
        pressedChild_ = nullptr;
    }
    QMouseEvent copy(event->type(), child->mapFrom(this, event->position()), event->scenePosition(),
                     event->globalPosition(), event->button(), event->buttons(), event->modifiers());
    if (target) QCoreApplication::sendEvent(target, &copy);
}

void LockPcView::mousePressEvent(QMouseEvent* event) {
    if (childAt(event->position().toPoint())) forwardToChild(event);
    else FormView::mousePressEvent(event);
}

void LockPcView::mouseReleaseEvent(QMouseEvent* event) {
    if (pressedChild_) forwardToChild(event);
    else FormView::mouseReleaseEvent(event);
}

// ---- the screen saver -------------------------------------------------------------

LockPcScrView::LockPcScrView(frmLockPcScr& model, QWidget* parent) : FormView(model, parent), saver_(model) {
    paintBlack(*this);
    setCursor(Qt::BlankCursor);
    setMouseTracking(true);
    // Every move and click belongs to the window itself.
    if (QWidget* time = widgetFor("lblTime")) time->setAttribute(Qt::WA_TransparentForMouseEvents);
    // The base drew the window before this class's frame and events were there.
    refreshAll();
}

void LockPcScrView::showEvent(QShowEvent* event) {
    FormView::showEvent(event);
    fillScreen(*this);
    raise();
    activateWindow();
    // Where the pointer is now is where moving it counts from.
    const QPoint at = QCursor::pos();
    if (FormView::of(form()) == this) saver_.Form_MouseMove(at.x(), at.y());
    watchExposure(*this);
    QTimer::singleShot(0, this, [this] { grabInput(); });
}

void LockPcScrView::grabInput() {
    if (!isVisible() || FormView::of(form()) != this) return;
    grabKeyboard();
    grabMouse();
    if (!heldOnX(*this)) QTimer::singleShot(kGrabRetryMs, this, [this] { grabInput(); });
}

bool LockPcScrView::eventFilter(QObject* watched, QEvent* event) {
    if (exposedNow(*this, watched, event)) QTimer::singleShot(0, this, [this] { grabInput(); });
    return FormView::eventFilter(watched, event);
}

void LockPcScrView::keyPressEvent(QKeyEvent* event) {
    if (FormView::of(form()) != this) return FormView::keyPressEvent(event);
    form().fireEvent("Form.KeyDown", event->key());
}

void LockPcScrView::mousePressEvent(QMouseEvent* event) {
    if (FormView::of(form()) != this) return QWidget::mousePressEvent(event);
    int button = mouse::Left;
    if (event->button() == Qt::RightButton) button = mouse::Right;
    else if (event->button() == Qt::MiddleButton) button = mouse::Middle;
    form().fireEvent("Form.MouseDown", button);
}

void LockPcScrView::mouseMoveEvent(QMouseEvent* event) {
    if (FormView::of(form()) != this) return QWidget::mouseMoveEvent(event);
    const QPoint at = event->globalPosition().toPoint();
    saver_.Form_MouseMove(at.x(), at.y());
}

// ---- signals --------------------------------------------------------------------------

SignalWatch::SignalWatch(std::initializer_list<int> watched, std::function<void(int)> onSignal, QObject* parent)
    : QObject(parent), watched_(watched), onSignal_(std::move(onSignal)) {
    if (g_pipe[0] < 0 && pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_pipe[0] = g_pipe[1] = -1;
        return;
    }
    drain();  // what an earlier watch left behind is not ours
    g_watch = this;
    notifier_ = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { drain(); });
    struct sigaction action {};
    action.sa_handler = onWatchedSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    previous_.resize(watched_.size());
    sigset_t held;
    sigemptyset(&held);
    for (size_t i = 0; i < watched_.size(); ++i) {
        sigaction(watched_[i], &action, &previous_[i]);
        sigaddset(&held, watched_[i]);
    }
    // Signals the program held back until now arrive here.
    pthread_sigmask(SIG_UNBLOCK, &held, nullptr);
}

SignalWatch::~SignalWatch() {
    for (size_t i = 0; i < previous_.size(); ++i) sigaction(watched_[i], &previous_[i], nullptr);
    if (g_watch == this) g_watch = nullptr;
}

void SignalWatch::drain() {
    if (g_pipe[0] < 0) return;
    unsigned char buffer[32];
    ssize_t n;
    while ((n = read(g_pipe[0], buffer, sizeof buffer)) > 0)
        for (ssize_t i = 0; i < n; ++i)
            if (g_watch == this && onSignal_) onSignal_(buffer[i]);
}

std::unique_ptr<SignalWatch> WatchLockSignals(frmLockPc& form) {
    return std::make_unique<SignalWatch>(std::initializer_list<int>{SIGUSR1, SIGUSR2}, [&form](int sig) {
        if (sig == SIGUSR1) form.HideLock();
        else if (sig == SIGUSR2) form.ShowLock();
    });
}

void InstallLockViews(bool on) { SetViewFactory(on ? ViewFactory(makeLockView) : ViewFactory()); }

// ---- the runs -----------------------------------------------------------------------------

namespace {

// The desktop's loop, dialogs and screen for one of the two programs; watch
// makes the form's signal watch before the form loads.
template <class Window>
int runWindow(platform::PlatformHost& host, int& argc, char** argv, const char* procedure,
              const std::function<std::unique_ptr<SignalWatch>(Window&)>& watch) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Nocturo"));
    // Hidden for a while is not the end.
    QApplication::setQuitOnLastWindowClosed(false);

    DesktopServices desktop;
    QtEventLoop& loop = desktop.loop;
    Runtime runtime;
    desktop.install(runtime, host);
    RuntimeScope scope(runtime);
    if (!PrepareLockProgram(procedure)) return 1;

    Window form;
    form.onUnloaded = [&] { loop.quit(0); };
    std::unique_ptr<SignalWatch> signalWatch = watch(form);
    InstallLockViews(true);
    form.Form_Load();
    int code = 0;
    if (!form.ended()) {
        code = loop.run();
        if (code < 0) code = 0;
    }
    signalWatch.reset();
    InstallLockViews(false);
    return code;
}

}  // namespace

int RunLockPcDesktop(platform::PlatformHost& host, int& argc, char** argv) {
    return runWindow<frmLockPc>(host, argc, argv, kLockPcMain,
                                [](frmLockPc& form) { return WatchLockSignals(form); });
}

int RunLockPcScrDesktop(platform::PlatformHost& host, int& argc, char** argv) {
    return runWindow<frmLockPcScr>(host, argc, argv, kLockPcScrMain, [](frmLockPcScr& form) {
        // A polite kill or Ctrl-C ends the screen saver the orderly way.
        return std::make_unique<SignalWatch>(std::initializer_list<int>{SIGTERM, SIGINT},
                                             [&form](int) { form.Form_Unload(); });
    });
}

}  // namespace nocturo::ui

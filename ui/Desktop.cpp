#include "ui/Desktop.h"

#include <QApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QScreen>
#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <memory>
#include <cstdlib>
#include <iostream>

#include "app/ControlLink.h"
#include "app/Nocturo_Main.h"
#include "base/Runtime.h"
#include "base/Varn_ErrorLog.h"
#include "app/frmSplash.h"
#include "cleaner/frmCleanHDSetup.h"
#include "cleaner/frmCleanNow.h"
#include "platform/ControlChannel.h"
#include "platform/posix/PosixClock.h"
#include "platform/sim/SimTimeSettings.h"
#include "schedule/frmTimeSetup.h"
#include "schedule/frmWindowSetup.h"
#include "shell/FrmMain.h"
#include "shell/frmAbout.h"
#include "ui/FormView.h"
#include "ui/ModalDialogs.h"
#include "ui/FrmMainView.h"
#include "ui/QtDialogs.h"
#include "ui/QtEventLoop.h"
#include "ui/QtTray.h"

namespace nocturo::ui {

namespace {


// The view lives as long as its form is loaded; it lets go of the form at
// once and goes away once Qt is done with its events.
std::shared_ptr<void> keep(FormView* view) {
    return std::shared_ptr<void>(view, [](void* p) {
        auto* v = static_cast<FormView*>(p);
        v->detach();
        v->hide();
        v->deleteLater();
    });
}

std::shared_ptr<void> makeView(Form& form) {
    if (auto* main = dynamic_cast<FrmMain*>(&form)) return keep(new FrmMainView(*main));
    if (dynamic_cast<WeekdayTimeRows*>(&form) || dynamic_cast<frmSplash*>(&form))
        return keep(new FramelessView(form));
    return keep(new FormView(form));
}

// A termination signal writes one byte into this pipe; the loop reads it as
// any other event, so nothing has to look for the signal at intervals.
int g_signalPipe[2] = {-1, -1};
void onTerminateSignal(int) {
    const char byte = 1;
    ssize_t written = write(g_signalPipe[1], &byte, 1);  // a full pipe already says it
    static_cast<void>(written);
}

int twipsOf(int pixels, qreal dpi) { return static_cast<int>(pixels * 1440.0 / dpi + 0.5); }

}  // namespace

bool DisplayAvailable() {
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) return true;
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

int QtWindows::screenWidthTwips() {
    QScreen* s = QGuiApplication::primaryScreen();
    if (!s) return 1024 * 15;
    return twipsOf(s->geometry().width(), s->logicalDotsPerInchX());
}

int QtWindows::screenHeightTwips() {
    QScreen* s = QGuiApplication::primaryScreen();
    if (!s) return 768 * 15;
    return twipsOf(s->geometry().height(), s->logicalDotsPerInchY());
}

bool QtWindows::keyDown(int virtualKey) {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return false;
    return keyboard_.keyDown(virtualKey);
}

void QtWindows::setBusyPointer(bool on) {
    if (on == busy_) return;
    busy_ = on;
    if (on) QApplication::setOverrideCursor(Qt::WaitCursor);
    else QApplication::restoreOverrideCursor();
}

void InstallDesktopViews(bool on) { SetViewFactory(on ? ViewFactory(makeView) : ViewFactory()); }

void RunModal(Form& form) {
    if (!form.loaded()) return;
    FormView* view = FormView::of(form);
    if (!view) return;
    view->setWindowModality(Qt::ApplicationModal);
    // Shown modal is shown: a form whose load left it hidden would otherwise
    // be waited for with no window anybody could close.
    if (!form.visible()) form.setVisible(true);
    view->show();
    view->raise();
    view->activateWindow();
    QEventLoop wait;
    QObject::connect(view, &FormView::closed, &wait, [&] {
        if (!form.loaded()) wait.quit();
    });
    QObject::connect(view, &QObject::destroyed, &wait, &QEventLoop::quit);
    if (form.loaded()) wait.exec();
}

void DesktopServices::install(Runtime& runtime, const platform::PlatformHost& host) {
    runtime.pf = host.pf;
    runtime.pf.loop = &loop;
    runtime.pf.dialogs = &dialogs;
    runtime.pf.windows = &screen;
    if (host.name == "sim") {
        runtime.pf.clock = &realClock_;
        // The time settings read the same real time the window shows.
        if (auto* time = dynamic_cast<platform::SimTimeSettings*>(host.pf.time)) time->readRealClock(true);
    }
}

struct DesktopProgram::Parts {
    explicit Parts(QtTray::Host trayHost) : tray(nullptr, trayHost) {}
    DesktopServices desktop;
    QtTray tray;
    Runtime runtime;
    std::unique_ptr<RuntimeScope> scope;
    std::unique_ptr<FrmMain> form;
    std::unique_ptr<QSocketNotifier> signalWatch;
};

DesktopProgram::DesktopProgram(platform::PlatformHost& host, QtTray::Host trayHost)
    : parts_(std::make_unique<Parts>(trayHost)) {
    Parts& p = *parts_;
    p.desktop.install(p.runtime, host);
    p.runtime.pf.tray = &p.tray;
    p.scope = std::make_unique<RuntimeScope>(p.runtime);
    p.form = std::make_unique<FrmMain>();
    FrmMain& form = *p.form;
    QtEventLoop& loop = p.desktop.loop;
    ConnectMainWindow(
        p.runtime, form,
        [] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (qobject_cast<FormView*>(w) && w->isVisible()) return true;
            return false;
        },
        [&loop] { loop.quit(0); }, [](Form& dialog) { RunModal(dialog); });

    // Ctrl-C and a polite kill end the program the orderly way.
    if (g_signalPipe[0] >= 0 || pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        p.signalWatch = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
        QObject::connect(p.signalWatch.get(), &QSocketNotifier::activated, [&form] {
            char buffer[16];
            while (read(g_signalPipe[0], buffer, sizeof buffer) > 0) {
            }
            form.UnloadProgram();
        });
        std::signal(SIGINT, onTerminateSignal);
        std::signal(SIGTERM, onTerminateSignal);
    }
}

DesktopProgram::~DesktopProgram() {
    // A signal after this run ends the process as it would without us.
    if (parts_->signalWatch) {
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
        parts_->signalWatch.reset();
    }
    InstallDesktopViews(false);
    // The form goes before the runtime it was made in.
    parts_->form.reset();
    parts_->scope.reset();
}

bool DesktopProgram::start(const std::string& commandLine, ControlLink* control) {
    InstallDesktopViews(true);
    NocturoMain start(*parts_->form);
    start.control = control;
    if (!start.Main(commandLine)) {
        exitCode_ = start.exitCode;
        return false;
    }
    return true;
}

int DesktopProgram::run() {
    if (parts_->form->unloaded()) return exitCode_;
    int code = parts_->desktop.loop.run();
    exitCode_ = code < 0 ? 0 : code;
    return exitCode_;
}

FrmMain& DesktopProgram::form() { return *parts_->form; }
QtTray& DesktopProgram::tray() { return parts_->tray; }
Runtime& DesktopProgram::runtime() { return parts_->runtime; }

int RunDesktop(platform::PlatformHost& host, const std::string& commandLine, int& argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Nocturo"));
    QApplication::setQuitOnLastWindowClosed(false);

    DesktopProgram program(host);
    // Served from Qt's loop, which the program's services now hold.
    platform::IEventLoop& loop = *program.runtime().pf.loop;
    ControlLink control(
        program.form(), [&loop](platform::ControlScope scope) { return platform::MakeControlServer(scope, loop); },
        [](platform::ControlScope scope) { return platform::MakeControlClient(scope); });
    if (!program.start(commandLine, &control)) return program.exitCode();
    return program.run();
}

}  // namespace nocturo::ui

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

#include "app/Nocturo_Main.h"
#include "base/Runtime.h"
#include "base/Varn_ErrorLog.h"
#include "app/frmSplash.h"
#include "cleaner/frmCleanHDSetup.h"
#include "cleaner/frmCleanNow.h"
#include "platform/posix/PosixClock.h"
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
    if (form.visible()) {
        view->show();
        view->raise();
        view->activateWindow();
    }
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
    if (host.name == "sim") runtime.pf.clock = &realClock_;
}

int RunDesktop(platform::PlatformHost& host, const std::string& commandLine, int& argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Nocturo"));
    QApplication::setQuitOnLastWindowClosed(false);

    DesktopServices desktop;
    QtEventLoop& loop = desktop.loop;
    QtTray tray;
    Runtime runtime;
    desktop.install(runtime, host);
    runtime.pf.tray = &tray;
    RuntimeScope scope(runtime);

    runtime.logObserver = [](const std::string&, const std::string& line) { std::cout << line << std::endl; };

    FrmMain form;
    runtime.errorIndicator = [&] { form.ShowErrorIndicator(); };
    // A timed box needs a window of ours on the screen to belong to.
    runtime.activeFormShown = [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<FormView*>(w) && w->isVisible()) return true;
        return false;
    };
    form.onUnloaded = [&] { loop.quit(0); };
    ConnectModalDialogs(form, [](Form& dialog) { RunModal(dialog); });

    // Ctrl-C and a polite kill end the program the orderly way.
    std::unique_ptr<QSocketNotifier> signalWatch;
    if (g_signalPipe[0] >= 0 || pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        signalWatch = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
        QObject::connect(signalWatch.get(), &QSocketNotifier::activated, [&] {
            char buffer[16];
            while (read(g_signalPipe[0], buffer, sizeof buffer) > 0) {
            }
            form.UnloadProgram();
        });
        std::signal(SIGINT, onTerminateSignal);
        std::signal(SIGTERM, onTerminateSignal);
    }

    InstallDesktopViews(true);
    NocturoMain start(form);
    int code = 0;
    if (!start.Main(commandLine)) {
        code = start.exitCode;
    } else if (!form.unloaded()) {
        code = loop.run();
        if (code < 0) code = 0;
    }
    InstallDesktopViews(false);
    return code;
}

}  // namespace nocturo::ui

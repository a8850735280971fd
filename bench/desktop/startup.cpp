// Start-up time of the desktop program: from the process's start to the
// main window shown and painted, the splash's three seconds left out (its
// wait is skipped). Each run is a fresh process on the simulated machine with
// a fresh settings store; the figure printed is the median of the runs,
// split into starting the process (loading the program and its libraries)
// and the program's own start-up.
#include <QApplication>
#include <QTemporaryDir>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/Nocturo_Main.h"
#include "base/Runtime.h"
#include "programs/support/Programs.h"
#include "shell/FrmMain.h"
#include "ui/Desktop.h"
#include "ui/FormView.h"
#include "ui/QtDialogs.h"
#include "ui/QtEventLoop.h"
#include "ui/QtTray.h"

namespace {

using Clock = std::chrono::steady_clock;

// One start-up in this process; prints the milliseconds it took.
int once(int argc, char** argv) {
    using namespace nocturo;
    const auto t0 = Clock::now();
    QApplication app(argc, argv);
    auto host = programs::MakePlatformFromEnvironment();
    ui::QtEventLoop loop;
    ui::QtDialogs dialogs;
    ui::QtWindows screen;
    ui::QtTray tray;
    Runtime runtime;
    runtime.pf = host->pf;
    runtime.pf.loop = &loop;
    runtime.pf.dialogs = &dialogs;
    runtime.pf.windows = &screen;
    runtime.pf.tray = &tray;
    RuntimeScope scope(runtime);
    ui::InstallDesktopViews(true);
    FrmMain form;
    NocturoMain start(form);
    start.showSplash = [] { rt().splashWait = false; };  // the three seconds are not counted
    if (!start.Main("")) return 1;
    ui::FormView* view = ui::FormView::of(form);
    if (!view) return 1;
    view->repaint();
    QApplication::processEvents();
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    std::printf("%.1f\n", ms);
    ui::InstallDesktopViews(false);
    return 0;
}

double runChild(const char* self, bool versionOnly, const std::string& nocturo) {
    const auto t0 = Clock::now();
    int out[2];
    if (pipe(out) != 0) return -1;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        close(out[0]);
        if (versionOnly) execl(nocturo.c_str(), nocturo.c_str(), "--version", static_cast<char*>(nullptr));
        else execl(self, self, "--once", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    char buffer[64] = {};
    const ssize_t n = read(out[0], buffer, sizeof buffer - 1);
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    const double total = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    if (versionOnly) return total;
    return n > 0 ? std::atof(buffer) : -1;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--once") return once(argc, argv);
    QTemporaryDir store;
    setenv("NOCTURO_PLATFORM", "sim", 1);
    setenv("NOCTURO_SIM_PACING", "0", 1);
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    std::string self = argv[0];
    const std::string folder = self.substr(0, self.rfind('/') + 1);
    const std::string nocturo = folder + "../bin/nocturo";
    std::vector<double> program, process;
    for (int i = 0; i < 7; ++i) {
        setenv("NOCTURO_REGISTRY", (store.path() + "/run" + QString::number(i) + ".reg").toLocal8Bit().constData(), 1);
        program.push_back(runChild(argv[0], false, nocturo));
        process.push_back(runChild(argv[0], true, nocturo));
    }
    const double p = median(program), e = median(process);
    std::fflush(stderr);
    std::printf("\nstartup: main window ready %.1f ms after the process starts, splash excluded "
                "(program %.1f ms + loading the process %.1f ms; median of 7, %s)\n",
                p + e, p, e, getenv("QT_QPA_PLATFORM") ? getenv("QT_QPA_PLATFORM") : "display");
    return p < 0 ? 1 : 0;
}

// nocturo_screenshots: draws every window of the program in each of its
// states on the simulated machine and writes one PNG per window and state
// into the folder given (default "screenshots"). Exits 1 when a window has a
// control that sticks out, overlaps another or cuts its text off.
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTemporaryDir>

#include <cstdlib>
#include <iostream>

#include "base/Runtime.h"
#include "programs/support/Programs.h"
#include "ui/Desktop.h"
#include "ui/FormView.h"
#include "ui/Gallery.h"
#include "ui/LayoutCheck.h"

int main(int argc, char** argv) {
    using namespace nocturo;
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    // The simulated machine, at full speed: nothing on this machine changes.
    setenv("NOCTURO_PLATFORM", "sim", 1);
    setenv("NOCTURO_SIM_PACING", "0", 1);
    QApplication app(argc, argv);
    // A settings store of its own: the pictures show a fresh installation and
    // the user's settings stay as they are.
    QTemporaryDir store;
    if (!store.isValid()) return 2;
    setenv("NOCTURO_REGISTRY", store.filePath(QStringLiteral("settings.reg")).toLocal8Bit().constData(), 1);
    setenv("NOCTURO_SIM_JOURNAL", store.filePath(QStringLiteral("journal.jsonl")).toLocal8Bit().constData(), 1);
    QApplication::setApplicationName(QStringLiteral("Nocturo"));
    if (!QDir().mkpath(folder)) {
        std::cerr << "nocturo_screenshots: cannot create " << folder.toStdString() << "\n";
        return 2;
    }

    auto host = programs::MakePlatformFromEnvironment();
    ui::QtWindows screen;
    Runtime runtime;
    runtime.pf = host->pf;
    runtime.pf.windows = &screen;
    RuntimeScope scope(runtime);

    int problems = 0;
    for (const std::string& scene : ui::GalleryScenes()) {
        const bool shown = ui::ShowScene(scene, [&](ui::FormView& view) {
            const QString file = QDir(folder).filePath(QString::fromStdString(scene) + QStringLiteral(".png"));
            if (!view.grab().save(file)) {
                std::cerr << "nocturo_screenshots: cannot write " << file.toStdString() << "\n";
                ++problems;
                return;
            }
            std::cout << file.toStdString() << "\n";
            for (const std::string& p : ui::LayoutProblems(view)) {
                std::cerr << scene << ": " << p << "\n";
                ++problems;
            }
        });
        if (!shown) {
            std::cerr << "nocturo_screenshots: could not show " << scene << "\n";
            ++problems;
        }
    }
    return problems == 0 ? 0 : 1;
}

// The journeys: the program on a desktop, used as a person uses it. Run by
// run-under-xvfb.sh (a virtual display with a notification area). At the
// end the run lists the main window's controls with a handler that no
// journey touched.
#include <gtest/gtest.h>

#include <QApplication>

#include <iostream>

#include "Journey.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Nocturo"));
    QApplication::setQuitOnLastWindowClosed(false);
    auto& coverage = nocturo::test::JourneyCoverage::instance();
    coverage.install();
    const int result = RUN_ALL_TESTS();
    const auto untouched = coverage.untouchedMainWindowControls();
    std::cout << "\nMain window controls with a handler that no journey touched (" << untouched.size() << "):\n";
    for (const std::string& c : untouched) std::cout << "  " << c << "\n";
    return result;
}

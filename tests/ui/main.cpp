// One QApplication for every test of the Qt user interface. The tests are
// headless: without a platform chosen they take the offscreen one, so the
// program also runs (and lists its tests) outside ctest.
#include <gtest/gtest.h>

#include <QApplication>
#include <QString>

namespace {

QtMessageHandler g_standardHandler = nullptr;

// The offscreen platform notes each time a box sizes or raises itself that it
// cannot; everything else goes through as usual.
void quietOffscreenNotes(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QLatin1String("This plugin does not support"))) return;
    if (g_standardHandler) g_standardHandler(type, context, message);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::InitGoogleTest(&argc, argv);
    g_standardHandler = qInstallMessageHandler(quietOffscreenNotes);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Nocturo"));
    // The boxes come and go; the last one closing must not end anything.
    QApplication::setQuitOnLastWindowClosed(false);
    return RUN_ALL_TESTS();
}

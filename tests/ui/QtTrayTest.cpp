// The tray on Qt: the menu as it pops up, the icon's mouse messages, and the
// main window on a desktop without a notification area (the offscreen
// platform has none).
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "shell/FrmMain.h"
#include "support/SimWorld.h"
#include "ui/QtTray.h"

using namespace nocturo;
using nocturo::test::SimWorld;
using nocturo::ui::QtTray;
using platform::TrayMenuItem;

namespace {

// Waits (from the menu's own loop) for the pop-up menu to open and hands it
// to act. Polls, so it also finds a menu opened after a delay.
void whenMenuOpens(std::function<void(QMenu*)> act, int triesLeft = 200) {
    QTimer::singleShot(10, [act = std::move(act), triesLeft]() mutable {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu && menu->isVisible()) act(menu);
        else if (triesLeft > 0) whenMenuOpens(std::move(act), triesLeft - 1);
    });
}

// What the menu shows: captions in order, "-" for a separator, "*" before
// the bold one.
std::vector<std::string> shown(const QMenu& menu) {
    std::vector<std::string> out;
    for (QAction* a : menu.actions())
        out.push_back(a->isSeparator() ? "-" : (a->font().bold() ? "*" : "") + a->text().toStdString());
    return out;
}

const std::vector<TrayMenuItem> kItems = {
    {"unused", false, false, false},
    {"&Show Nocturo", false, false, true},
    {"-", true, false, true},
    {"&PowerOff", false, true, true},
    {"&Restart", false, false, true},
    {"-", true, false, true},
    {"&About...", false, false, true},
};

}  // namespace

TEST(QtTray, TheMenuShowsTheVisibleItemsInOrderWithTheDefaultBold) {
    auto menu = QtTray::buildMenu(kItems);
    EXPECT_EQ(shown(*menu), (std::vector<std::string>{"&Show Nocturo", "-", "*&PowerOff", "&Restart", "-", "&About..."}));
    ASSERT_NE(menu->defaultAction(), nullptr);
    EXPECT_EQ(menu->defaultAction()->text(), QStringLiteral("&PowerOff"));
    // Each entry answers with its place in the item list, hidden ones counted.
    EXPECT_EQ(menu->defaultAction()->data().toInt(), 3);
}

TEST(QtTray, APoppedUpMenuAnswersWithTheChosenItemOrNone) {
    QtTray tray;
    whenMenuOpens([](QMenu* menu) { QTest::keyClick(menu, Qt::Key_R); });  // "&Restart"
    EXPECT_EQ(tray.popupMenu(kItems), 4);
    whenMenuOpens([](QMenu* menu) { QTest::keyClick(menu, Qt::Key_Escape); });
    EXPECT_EQ(tray.popupMenu(kItems), -1);
}

TEST(QtTray, TheIconsClicksArriveAsMouseMessages) {
    QtTray tray(nullptr, QtTray::Host::SystemTray);
    std::vector<int> messages;
    tray.setMouseHandler([&](int m) { messages.push_back(m); });
    Q_EMIT tray.trayIcon().activated(QSystemTrayIcon::Context);
    Q_EMIT tray.trayIcon().activated(QSystemTrayIcon::DoubleClick);
    Q_EMIT tray.trayIcon().activated(QSystemTrayIcon::Trigger);
    Q_EMIT tray.trayIcon().activated(QSystemTrayIcon::MiddleClick);
    // They arrive after the icon's own event, in order.
    EXPECT_TRUE(messages.empty());
    QCoreApplication::processEvents();
    EXPECT_EQ(messages, (std::vector<int>{0x204, 0x205, 0x203, 0x201, 0x202}));

    // A handler that clears itself ends the delivery of the messages after it.
    messages.clear();
    tray.setMouseHandler([&](int m) {
        messages.push_back(m);
        tray.setMouseHandler({});
    });
    Q_EMIT tray.trayIcon().activated(QSystemTrayIcon::Context);
    QCoreApplication::processEvents();
    EXPECT_EQ(messages, (std::vector<int>{0x204}));

    // A tray that is gone by then delivers nothing.
    messages.clear();
    auto brief = std::make_unique<QtTray>(nullptr, QtTray::Host::SystemTray);
    brief->setMouseHandler([&](int m) { messages.push_back(m); });
    Q_EMIT brief->trayIcon().activated(QSystemTrayIcon::DoubleClick);
    brief.reset();
    QCoreApplication::processEvents();
    EXPECT_TRUE(messages.empty());
}

// A StatusNotifierItem host has no double click: its "activate" (a left
// click) is reported as Select, which brings the window back and starts
// nothing. Everything else is the same on both.
TEST(QtTray, OnAStatusNotifierHostTheClickSelectsTheIcon) {
    using R = QSystemTrayIcon::ActivationReason;
    const struct {
        R reason;
        std::vector<int> systemTray, statusNotifier;
    } rows[] = {
        {R::Trigger, {0x201, 0x202}, {0x400}},
        {R::DoubleClick, {0x203}, {0x203}},
        {R::Context, {0x204, 0x205}, {0x204, 0x205}},
        {R::MiddleClick, {}, {}},
        {R::Unknown, {}, {}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(QtTray::messagesFor(row.reason, false), row.systemTray) << row.reason;
        EXPECT_EQ(QtTray::messagesFor(row.reason, true), row.statusNotifier) << row.reason;
    }

    QtTray tray(nullptr, QtTray::Host::StatusNotifier);
    EXPECT_TRUE(tray.statusNotifierHost());
    std::vector<int> messages;
    tray.setMouseHandler([&](int m) { messages.push_back(m); });
    Q_EMIT tray.trayIcon().activated(QSystemTrayIcon::Trigger);
    QCoreApplication::processEvents();
    EXPECT_EQ(messages, (std::vector<int>{0x400}));

    // The window's model comes back from the tray for it and starts nothing.
    SimWorld w;
    FrmMain f;
    f.Form_Load();
    f.fireEvent("optActions(1).Click");  // reboot
    f.txtCounter.setText("1");
    f.Send_to_SysTray();
    ASSERT_TRUE(f.inTray);
    tray.setMouseHandler([&](int m) { w.tray.mouse(m); });
    Q_EMIT tray.trayIcon().activated(QSystemTrayIcon::Trigger);
    QCoreApplication::processEvents();
    EXPECT_FALSE(f.inTray);
    EXPECT_TRUE(f.visible());
    EXPECT_FALSE(f.actionRunning());
    w.runUntil([&] { return f.actionRunning(); }, 5000);
    EXPECT_TRUE(w.sessionEnds.empty());

    // Its double click, where it has one, still starts the action.
    f.Send_to_SysTray();
    ASSERT_TRUE(f.inTray);
    Q_EMIT tray.trayIcon().activated(QSystemTrayIcon::DoubleClick);
    QCoreApplication::processEvents();
    EXPECT_FALSE(f.inTray);
    w.runUntil([&] { return !f.actionRunning(); });
    EXPECT_EQ(w.sessionEnds.size(), 1u);
}

TEST(QtTray, ChangesReachTheIconsPictureAndTip) {
    QtTray tray;
    EXPECT_FALSE(QtTray::picture("stop").isNull());
    EXPECT_TRUE(QtTray::picture("no such picture").isNull());
    tray.modifyIcon(platform::nif::Tip, "stop", "DoubleClick to Shutdown");
    EXPECT_EQ(tray.trayIcon().toolTip(), QStringLiteral("DoubleClick to Shutdown"));
    EXPECT_TRUE(tray.trayIcon().icon().isNull());  // only the tip was asked for
    tray.modifyIcon(platform::nif::Icon, "stop", "ignored");
    EXPECT_FALSE(tray.trayIcon().icon().isNull());
    EXPECT_EQ(tray.trayIcon().toolTip(), QStringLiteral("DoubleClick to Shutdown"));
    tray.deleteIcon();
    EXPECT_FALSE(tray.trayIcon().isVisible());
}

TEST(QtTray, WithoutANotificationAreaTheMainWindowIsMinimisedInstead) {
    QtTray tray;
    if (tray.available()) GTEST_SKIP() << "this desktop has a notification area";
    EXPECT_THROW(tray.addIcon("stop", "tip"), platform::Error);
    SimWorld w;
    w.runtime.pf.tray = &tray;
    FrmMain f;
    f.Form_Load();
    f.Send_to_SysTray();
    EXPECT_TRUE(f.visible());
    EXPECT_FALSE(f.inTray);
    EXPECT_EQ(f.windowState(), WindowState::Minimized);
    EXPECT_FALSE(tray.trayIcon().isVisible());
}

TEST(QtTray, TheWindowsRightButtonPopsTheActionMenuUpWithPowerOffBold) {
    QtTray tray;
    SimWorld w;
    w.runtime.pf.tray = &tray;
    FrmMain f;
    f.Form_Load();
    int abouts = 0;
    f.showAbout = [&] { ++abouts; };
    std::vector<std::string> seen;
    whenMenuOpens([&](QMenu* menu) {
        seen = shown(*menu);
        QTest::keyClick(menu, Qt::Key_A);  // "&About..."
    });
    f.Image1_MouseDown(mouse::Right);
    EXPECT_EQ(abouts, 1);
    EXPECT_EQ(seen, (std::vector<std::string>{"&Show Nocturo", "&Home Position", "-", "Lock &PC", "-", "Shut&Down",
                                              "*&PowerOff", "Suspend/Standby", "Hibernate", "&LogOff", "&Restart", "-",
                                              "Arm s&chedule", "-", "&About..."}));
    EXPECT_EQ(w.errorLog(), "");
}

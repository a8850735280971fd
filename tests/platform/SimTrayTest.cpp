#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Error.h"
#include "platform/sim/SimTray.h"

using namespace nocturo::platform;

namespace {
const std::vector<TrayMenuItem> kMenu = {
    {"hidden", false, false, false},
    {"&Open", false, false, true},
    {"-", true, false, true},
    {"&Quit", false, true, true},
};
}  // namespace

TEST(SimTray, IconCallsAreJournalledAndShowWhatTheDesktopWouldShow) {
    Journal journal;
    SimTray tray(journal);
    tray.addIcon("nocturo", "varn Nocturo");
    tray.modifyIcon(nif::Icon, "stop", "not this");
    tray.modifyIcon(nif::Tip, "not this", "DoubleClick to Shutdown");
    EXPECT_TRUE(tray.iconShown());
    EXPECT_EQ(tray.icon(), "stop");
    EXPECT_EQ(tray.tip(), "DoubleClick to Shutdown");
    tray.deleteIcon();
    EXPECT_FALSE(tray.iconShown());
    ASSERT_EQ(journal.entries().size(), 4u);
    EXPECT_EQ(Json(journal.entries()[0]).dump(),
              R"({"call":"Shell_NotifyIcon","message":"add","icon":"nocturo","tip":"varn Nocturo"})");
    EXPECT_EQ(Json(journal.entries()[2]).dump(),
              R"({"call":"Shell_NotifyIcon","message":"modify","flags":4,"icon":"not this","tip":"DoubleClick to Shutdown"})");
    EXPECT_EQ(Json(journal.entries()[3]).dump(), R"({"call":"Shell_NotifyIcon","message":"delete"})");
}

TEST(SimTray, ChangingAMissingIconOrARefusingDesktopFails) {
    Journal journal;
    SimTray tray(journal);
    EXPECT_THROW(tray.modifyIcon(nif::Tip, "stop", "tip"), Error);
    tray.setRefuse(true);
    EXPECT_THROW(tray.addIcon("stop", "tip"), Error);
    EXPECT_FALSE(tray.iconShown());
    EXPECT_EQ(journal.calls(), (std::vector<std::string>{"Shell_NotifyIcon", "Shell_NotifyIcon"}));
}

TEST(SimTray, MenusTakeTheQueuedChoiceByIndexOrCaption) {
    Journal journal;
    SimTray tray(journal);
    tray.pushMenuChoice("&Quit");
    tray.pushMenuChoice(1);
    tray.pushMenuChoice("hidden");  // not shown: no choice
    EXPECT_EQ(tray.popupMenu(kMenu), 3);
    EXPECT_EQ(tray.popupMenu(kMenu), 1);
    EXPECT_EQ(tray.popupMenu(kMenu), -1);
    EXPECT_EQ(tray.popupMenu(kMenu), -1);  // nothing queued: closed
    EXPECT_EQ(tray.menusShown(), 4);
    EXPECT_EQ(Json(journal.entries()[0]).dump(),
              R"({"call":"TrackPopupMenu","items":["&Open","-","&Quit"],"default":"&Quit","chosen":3})");
}

TEST(SimTray, MouseMessagesReachTheHandlerEvenWhenItClearsItself) {
    Journal journal;
    SimTray tray(journal);
    EXPECT_FALSE(tray.mouse(wm::LButtonDblClk));
    std::vector<int> got;
    tray.setMouseHandler([&](int m) {
        got.push_back(m);
        tray.setMouseHandler({});
    });
    EXPECT_TRUE(tray.mouse(wm::RButtonDown));
    EXPECT_FALSE(tray.mouse(wm::RButtonUp));
    EXPECT_EQ(got, (std::vector<int>{wm::RButtonDown}));
    EXPECT_TRUE(journal.entries().empty());  // the user's mouse changes nothing by itself
}

TEST(NoTray, ADesktopWithoutANotificationAreaShowsNothing) {
    NoTray tray;
    EXPECT_FALSE(tray.available());
    tray.addIcon("stop", "tip");
    EXPECT_EQ(tray.popupMenu(kMenu), -1);
}

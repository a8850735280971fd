// The tray: the icon, its tooltip and menu, and what the icon's clicks and
// the menu's entries do, as the simulated desktop and machine record them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Links.h"
#include "support/WebAddresses.h"
#include "platform/ITray.h"
#include "schedule/Varn_modShutDown.h"
#include "shell/FrmMain.h"
#include "shell/frmSysTray.h"
#include "timevoice/Varn_PlaySound.h"
#include "support/SimWorld.h"
#include "support/TestWorld.h"

using namespace nocturo;
using nocturo::test::SimWorld;

namespace {

// A fresh installation with its window sent to the tray.
struct InTray {
    SimWorld w;
    FrmMain f;
    explicit InTray(int winVersionCode = 30) {
        w.runtime.winVersionCode = winVersionCode;
        f.Form_Load();
        f.Send_to_SysTray();
    }
    std::vector<std::string> menuShown() {
        w.tray.mouse(platform::wm::RButtonDown);
        const auto* call = w.last("TrackPopupMenu");
        std::vector<std::string> out;
        if (!call) return out;
        for (const auto& item : call->at("items").asArray()) out.push_back(item.asString());
        return out;
    }
    // Right button on the icon, then a click on the entry with this caption.
    void choose(const std::string& caption) {
        w.tray.pushMenuChoice(caption);
        w.tray.mouse(platform::wm::RButtonDown);
    }
};

const std::vector<std::string> kFullMenu = {"&Show Nocturo", "&Home Position", "-",         "Lock &PC",
                                            "-",             "Shut&Down",      "&PowerOff", "Suspend/Standby",
                                            "Hibernate",     "&LogOff",        "&Restart",  "-",
                                            "Arm s&chedule", "-", "&About..."};

}  // namespace

TEST(SysTray, TheMenuListsTheActionsWithPowerOffAsTheDefault) {
    InTray t;
    EXPECT_EQ(t.menuShown(), kFullMenu);
    EXPECT_EQ(t.w.last("TrackPopupMenu")->at("default").asString(), "&PowerOff");
    EXPECT_EQ(t.w.last("TrackPopupMenu")->at("chosen").asNumber(), -1);

    const auto& items = t.f.m_frmSysTray->mnuSysTray;
    std::vector<std::string> keys;
    for (const auto& item : items) keys.push_back(item.tag);
    EXPECT_EQ(keys, (std::vector<std::string>{"open", "home", "", "LockPC", "", "Nocturo", "PowerOff", "Suspend",
                                              "Hibernate", "LogOff", "Restart", "", "arm", "", "About"}));
    EXPECT_EQ(t.f.m_frmSysTray->defaultItem(), 6);
    EXPECT_EQ(t.f.m_frmSysTray->caption(), "Sys Tray Interface");
    EXPECT_FALSE(t.f.m_frmSysTray->visible());
}

TEST(SysTray, SystemsWithoutStandbyOfferNoSuspendOrHibernate) {
    for (int code : {11, 20, 21}) {
        InTray t(code);
        auto menu = t.menuShown();
        auto powerOff = std::find(menu.begin(), menu.end(), "&PowerOff");
        ASSERT_NE(powerOff, menu.end()) << code;
        EXPECT_EQ(*(powerOff + 1), "&LogOff") << code;
        EXPECT_EQ(menu.size(), kFullMenu.size() - 2) << code;
    }
    InTray standby(12);
    EXPECT_EQ(standby.menuShown(), kFullMenu);
}

TEST(SysTray, AnIconStartsWithTheProductNameAndAPlainRecord) {
    SimWorld w;
    frmSysTray tray;
    tray.Add_Icon_To_Tray();
    const NotifyIconData& nid = tray.notifyIconData();
    EXPECT_EQ(nid.cbSize, 88u);
    EXPECT_EQ(nid.uFlags, 7u);
    EXPECT_EQ(nid.uCallbackMessage, 0x200u);
    EXPECT_EQ(tray.ToolTip(), "varn Nocturo");
    EXPECT_EQ(nid.szTip[12], '\0');
    EXPECT_TRUE(w.tray.iconShown());
    EXPECT_EQ(w.tray.tip(), "varn Nocturo");
    EXPECT_TRUE(w.tray.listening());
}

TEST(SysTray, ALongTooltipIsCutToTheFieldWithItsEndMarkKept) {
    SimWorld w;
    frmSysTray tray;
    tray.Add_Icon_To_Tray();
    const std::string longTip(70, 'x');
    tray.ToolTip(longTip);
    EXPECT_EQ(tray.ToolTip(), std::string(63, 'x'));
    EXPECT_EQ(tray.notifyIconData().szTip[63], '\0');
    EXPECT_EQ(tray.notifyIconData().uFlags, 4u);
    EXPECT_EQ(w.tray.tip(), std::string(63, 'x'));
    // The same text again changes nothing on the desktop.
    const int calls = w.count("Shell_NotifyIcon");
    tray.ToolTip(longTip);
    tray.ToolTip(std::string(63, 'x'));
    EXPECT_EQ(w.count("Shell_NotifyIcon"), calls);
    tray.IconHandle("stop");
    EXPECT_EQ(tray.notifyIconData().uFlags, 2u);
    tray.IconHandle("stop");
    EXPECT_EQ(w.count("Shell_NotifyIcon"), calls + 1);
    EXPECT_EQ(w.tray.icon(), "stop");
}

TEST(SysTray, SendingToTheTrayHidesTheWindowBehindTheStopIcon) {
    InTray t;
    EXPECT_FALSE(t.f.visible());
    EXPECT_TRUE(t.f.inTray);
    EXPECT_TRUE(t.w.tray.iconShown());
    EXPECT_EQ(t.w.tray.icon(), "stop");
    // A fresh store: nothing is armed, and the tip says so.
    EXPECT_EQ(t.w.tray.tip(), "Not armed. DoubleClick to Shutdown");
    EXPECT_EQ(t.w.errorLog(), "");
}

TEST(SysTray, TheMenuArmsAndDisarmsTheScheduleAndTheTipFollows) {
    InTray t;
    t.choose("Arm s&chedule");
    EXPECT_TRUE(t.f.scheduleArmed());
    EXPECT_TRUE(t.f.inTray);  // the window stays where it was
    EXPECT_EQ(t.w.tray.tip(), "DoubleClick to Shutdown");
    EXPECT_EQ(t.f.m_frmSysTray->ToolTip(), "DoubleClick to Shutdown");
    EXPECT_EQ(t.w.actionLogLines().back(), "Schedule armed");
    auto menu = t.menuShown();
    EXPECT_NE(std::find(menu.begin(), menu.end(), "Disarm s&chedule"), menu.end());
    EXPECT_EQ(std::find(menu.begin(), menu.end(), "Arm s&chedule"), menu.end());

    t.choose("Disarm s&chedule");
    EXPECT_FALSE(t.f.scheduleArmed());
    EXPECT_FALSE(t.f.chkArmed.checked());
    EXPECT_EQ(t.w.tray.tip(), "Not armed. DoubleClick to Shutdown");
    EXPECT_EQ(t.w.actionLogLines().back(), "Schedule disarmed");
    EXPECT_EQ(t.w.count("ExitWindowsEx"), 0);
}

TEST(SysTray, TheTrayButtonPlaysItsSoundAndSendsTheWindowAway) {
    SimWorld w;
    FrmMain f;
    f.Form_Load();
    ASSERT_TRUE(f.fireEvent("imgSysTray.Click"));
    ASSERT_EQ(w.count("PlaySound"), 1);
    EXPECT_EQ(w.last("PlaySound")->at("name").asString(), ResolveSoundName("close", true));
    EXPECT_FALSE(f.visible());
    EXPECT_TRUE(w.tray.iconShown());

    SimWorld quiet;
    FrmMain g;
    g.Form_Load();
    g.chkSound.setValue(0);
    g.imgSysTray_Click();
    EXPECT_EQ(quiet.count("PlaySound"), 0);
    EXPECT_FALSE(g.visible());
}

TEST(SysTray, WithoutATrayOrWithARefusedIconTheWindowIsMinimisedNotHidden) {
    SimWorld none;
    none.runtime.pf.tray = nullptr;
    FrmMain f;
    f.Form_Load();
    f.Send_to_SysTray();
    EXPECT_TRUE(f.visible());
    EXPECT_FALSE(f.inTray);
    EXPECT_EQ(f.windowState(), WindowState::Minimized);

    SimWorld refusing;
    refusing.tray.setRefuse(true);
    FrmMain g;
    g.Form_Load();
    g.Send_to_SysTray();
    EXPECT_EQ(refusing.count("Shell_NotifyIcon"), 1);  // the add, refused; nothing to change after it
    EXPECT_FALSE(refusing.tray.iconShown());
    EXPECT_TRUE(g.visible());
    EXPECT_EQ(g.windowState(), WindowState::Minimized);
    // The program goes on: the menu still answers on the window.
    refusing.tray.setRefuse(false);
    g.RestoreFromTray();
    EXPECT_EQ(g.windowState(), WindowState::Normal);
}

TEST(SysTray, ALeftDoubleClickRestoresTheWindowAndStartsTheSelectedAction) {
    InTray t;
    t.f.fireEvent("optActions(1).Click");  // reboot
    t.f.txtCounter.setText("1");
    t.w.tray.mouse(platform::wm::LButtonDblClk);
    EXPECT_TRUE(t.f.visible());
    EXPECT_FALSE(t.f.inTray);
    EXPECT_FALSE(t.w.tray.iconShown());
    t.w.runUntil([&] { return !t.f.actionRunning(); });
    EXPECT_EQ(t.w.sessionEnds,
              (std::vector<std::uint32_t>{platform::ewx::Shutdown | platform::ewx::Reboot | platform::ewx::Force}));
    EXPECT_EQ(t.w.actionLogLines().back(), "Restart");
    EXPECT_EQ(t.w.count("Beep"), 2);  // the countdown ran: 1, 0
    EXPECT_EQ(t.w.errorLog(), "");
}

// A desktop without a double click on the icon (a StatusNotifier host)
// reports its click as Select: the window comes back, no action starts.
TEST(SysTray, ASelectedIconRestoresTheWindowAndStartsNothing) {
    InTray t;
    t.f.fireEvent("optActions(1).Click");  // reboot
    t.f.txtCounter.setText("1");
    t.w.tray.mouse(platform::wm::Select);
    EXPECT_TRUE(t.f.visible());
    EXPECT_FALSE(t.f.inTray);
    EXPECT_FALSE(t.w.tray.iconShown());
    EXPECT_FALSE(t.f.actionRunning());
    t.w.loop.runFor(5000);
    EXPECT_TRUE(t.w.sessionEnds.empty());
    EXPECT_NE(t.f.cmdGo.caption(), "&cancel");
    EXPECT_EQ(t.w.errorLog(), "");
}

TEST(SysTray, RightDoubleClicksAndMovesLeaveTheWindowInTheTray) {
    InTray t;
    const auto before = t.w.calls().size();
    t.w.tray.mouse(platform::wm::RButtonDblClk);
    t.w.tray.mouse(platform::wm::MouseMove);
    t.w.tray.mouse(platform::wm::RButtonUp);
    t.w.tray.mouse(platform::wm::LButtonDown);
    t.w.tray.mouse(platform::wm::LButtonUp);
    EXPECT_EQ(t.w.calls().size(), before);
    EXPECT_FALSE(t.f.visible());
    EXPECT_TRUE(t.w.tray.iconShown());
    EXPECT_TRUE(t.w.sessionEnds.empty());
}

TEST(SysTray, RestartFromTheMenuRebootsWithoutACountdown) {
    InTray t;
    t.choose("&Restart");
    EXPECT_EQ(t.w.sessionEnds,
              (std::vector<std::uint32_t>{platform::ewx::Shutdown | platform::ewx::Reboot | platform::ewx::Force}));
    EXPECT_EQ(t.w.actionLogLines().back(), "Restart");
    EXPECT_EQ(t.w.count("Beep"), 0);
    EXPECT_TRUE(t.f.visible());
}

TEST(SysTray, ShutDownPowerOffAndLogOffFromTheMenu) {
    const std::pair<const char*, std::uint32_t> rows[] = {
        {"Shut&Down", platform::ewx::Shutdown | platform::ewx::PowerOff | platform::ewx::Force},  // power off is ticked
        {"&PowerOff", platform::ewx::Shutdown | platform::ewx::PowerOff | platform::ewx::Force},
        {"&LogOff", platform::ewx::Logoff | platform::ewx::Force},
    };
    for (const auto& [caption, flags] : rows) {
        InTray t;
        t.choose(caption);
        EXPECT_EQ(t.w.sessionEnds, (std::vector<std::uint32_t>{flags})) << caption;
    }
    // Asking first when "Without questions" is off; a No keeps the session.
    InTray asking;
    asking.f.chkForce.setValue(0);
    asking.w.dialogs.pushAnswer(platform::mb::IdNo);
    asking.choose("&LogOff");
    EXPECT_TRUE(asking.w.sessionEnds.empty());
    EXPECT_EQ(asking.w.last("MessageBox")->at("prompt").asString(), "The Computer will Logoff current user now.\n\nContinue?");
}

TEST(SysTray, SuspendAndHibernateGoStraightToTheSystem) {
    InTray t;
    const auto logBefore = t.w.actionLogLines();
    t.choose("Suspend/Standby");
    auto* call = t.w.last("SetSuspendState");
    ASSERT_NE(call, nullptr);
    EXPECT_EQ(call->at("hibernate").asNumber(), 0);
    EXPECT_EQ(call->at("force").asNumber(), 1);
    EXPECT_EQ(call->at("disableWakeEvent").asNumber(), 0);

    t.f.chkForce.setValue(0);
    t.f.chkCleanHD.setValue(1);
    t.choose("Hibernate");
    call = t.w.last("SetSuspendState");
    EXPECT_EQ(call->at("hibernate").asNumber(), 1);
    EXPECT_EQ(call->at("force").asNumber(), 0);

    EXPECT_EQ(t.w.count("MessageBox"), 0);
    EXPECT_EQ(t.w.actionLogLines(), logBefore);
    EXPECT_FALSE(t.f.visible());  // the window stays in the tray
    EXPECT_TRUE(t.w.tray.iconShown());
}

TEST(SysTray, LockPcStartsTheLockProgramWithoutFocus) {
    InTray t;
    t.choose("Lock &PC");
    auto* call = t.w.last("StartProgram");
    ASSERT_NE(call, nullptr);
    EXPECT_EQ(call->at("program").asString(), t.w.programFolder() + "\\LockPc.exe");
    EXPECT_EQ(call->at("windowStyle").asNumber(), platform::ws::NormalNoFocus);
    EXPECT_TRUE(t.w.sessionEnds.empty());
}

TEST(SysTray, OpenWebAndAboutFromTheMenu) {
    test::WebAddresses web;
    InTray t;
    int abouts = 0;
    t.f.showAbout = [&] { ++abouts; };
    t.choose("&About...");
    EXPECT_EQ(abouts, 1);
    std::vector<std::string> withWeb = kFullMenu;
    withWeb.insert(withWeb.end() - 1, "Varn on the &Web");
    EXPECT_EQ(t.menuShown(), withWeb);
    t.choose("Varn on the &Web");
    EXPECT_EQ(t.w.last("OpenDocument")->at("path").asString(), links::Current().homePage);
    EXPECT_FALSE(t.f.visible());

    t.choose("&Show Nocturo");
    EXPECT_TRUE(t.f.visible());
    EXPECT_TRUE(t.f.foreground());
    EXPECT_FALSE(t.w.tray.iconShown());
    EXPECT_EQ(t.f.m_frmSysTray, nullptr);
    EXPECT_EQ(t.w.errorLog(), "");
}

TEST(SysTray, HomePositionRestoresTheWindowAsTheSmallClock) {
    InTray t;
    t.choose("&Home Position");
    EXPECT_TRUE(t.f.visible());
    EXPECT_FALSE(t.w.tray.iconShown());
    EXPECT_EQ(t.f.height(), twips::SmallClockHeight);
    EXPECT_EQ(t.f.top(), 30);
    EXPECT_TRUE(t.f.lblShutdownTimeHeader.visible());
}

TEST(SysTray, RestoringRemovesTheIconAndStopsListening) {
    InTray t;
    t.f.RestoreFromTray();
    EXPECT_FALSE(t.w.tray.iconShown());
    EXPECT_FALSE(t.w.tray.listening());
    EXPECT_EQ(t.w.last("Shell_NotifyIcon")->at("message").asString(), "delete");
    EXPECT_EQ(t.f.m_frmSysTray, nullptr);
    EXPECT_TRUE(t.f.visible());
    // Sent again: one icon, not two.
    t.f.Send_to_SysTray();
    t.f.Send_to_SysTray();
    EXPECT_TRUE(t.w.tray.iconShown());
    int adds = 0, deletes = 0;
    for (const auto& e : t.w.journal.entries())
        if (e.at("call").asString() == "Shell_NotifyIcon") {
            adds += e.at("message").asString() == "add";
            deletes += e.at("message").asString() == "delete";
        }
    EXPECT_EQ(adds - deletes, 1);
}

TEST(SysTray, CtrlQHeldAtATickBringsTheWindowBack) {
    InTray t;
    // One key alone is not enough.
    t.w.screen.holdKey(platform::vk::Control);
    t.f.Timer2_Timer();
    t.w.screen.holdKey(platform::vk::Control, false);
    t.w.screen.holdKey('Q');
    t.f.Timer2_Timer();
    EXPECT_FALSE(t.f.visible());
    EXPECT_TRUE(t.w.tray.iconShown());

    t.w.screen.holdKey(platform::vk::Control);
    t.f.Timer2_Timer();
    EXPECT_TRUE(t.f.visible());
    EXPECT_FALSE(t.f.inTray);
    EXPECT_FALSE(t.w.tray.iconShown());
    EXPECT_EQ(t.f.m_frmSysTray, nullptr);
    // Still held at the next tick: the window simply stays.
    t.f.Timer2_Timer();
    EXPECT_TRUE(t.f.visible());
    EXPECT_EQ(t.w.errorLog(), "");
}

TEST(SysTray, CtrlQAlsoRaisesAMinimisedWindowOnADesktopWithoutATray) {
    SimWorld w;
    w.tray.setAvailable(false);
    FrmMain f;
    f.Form_Load();
    f.Send_to_SysTray();
    ASSERT_EQ(f.windowState(), WindowState::Minimized);
    w.screen.holdKey(platform::vk::Control);
    w.screen.holdKey('Q');
    f.Timer2_Timer();
    EXPECT_EQ(f.windowState(), WindowState::Normal);
    EXPECT_TRUE(f.visible());
}

TEST(SysTray, TheIconGoesWhenTheProgramEnds) {
    InTray t;
    bool ended = false;
    t.f.onUnloaded = [&] { ended = true; };
    ASSERT_TRUE(t.f.fireEvent("Program.Unload"));
    // The icon stays through the goodbye, doing nothing any more.
    EXPECT_TRUE(t.w.tray.iconShown());
    t.w.tray.mouse(platform::wm::LButtonDblClk);
    EXPECT_FALSE(t.f.visible());
    ASSERT_TRUE(t.w.runUntil([&] { return ended; }));
    EXPECT_EQ(t.w.count("ExitWindowsEx"), 0);
    EXPECT_FALSE(t.w.tray.iconShown());
    EXPECT_FALSE(t.w.tray.listening());
    EXPECT_EQ(t.f.m_frmSysTray, nullptr);
}

TEST(SysTray, TheRightButtonOnTheWindowOpensTheMenuWithoutAnIcon) {
    SimWorld w;
    FrmMain f;
    f.Form_Load();
    w.tray.pushMenuChoice("Suspend/Standby");
    f.Image1_MouseDown(mouse::Right);
    EXPECT_EQ(w.tray.menusShown(), 1);
    EXPECT_EQ(w.count("Shell_NotifyIcon"), 0);
    EXPECT_EQ(w.count("SetSuspendState"), 1);
    EXPECT_TRUE(f.visible());

    f.Image1_MouseDown(mouse::Left);
    EXPECT_EQ(w.tray.menusShown(), 1);
}

TEST(SysTray, WithoutAnyTrayServiceTheMenuIsSilentlyMissing) {
    test::TestWorld w;
    w.runtime.pf.tray = nullptr;
    frmSysTray tray;
    EXPECT_EQ(tray.AddMenuItem("&Show Nocturo", "open"), 0);
    EXPECT_EQ(tray.AddMenuItem("&About...", "About", true), 1);
    int clicks = 0;
    tray.MenuClick = [&](std::int16_t, const std::string&) { ++clicks; };
    tray.Add_Icon_To_Tray();
    tray.ToolTip("x");
    tray.ShowMenu();
    tray.Unload();
    EXPECT_EQ(clicks, 0);
    EXPECT_FALSE(tray.iconShown());
    EXPECT_EQ(w.errorLog(), "");
}

TEST(SysTray, TheFirstItemIsReusedAndOnlyChoicesOfShownEntriesCount) {
    SimWorld w;
    frmSysTray tray;
    ASSERT_EQ(tray.mnuSysTray.size(), 1u);
    EXPECT_FALSE(tray.mnuSysTray[0].visible);
    EXPECT_FALSE(tray.firstItemTaken());
    EXPECT_EQ(tray.mnuPopup.caption(), "&Popup");
    EXPECT_EQ(tray.AddMenuItem("One", "1"), 0);
    EXPECT_TRUE(tray.firstItemTaken());
    EXPECT_EQ(tray.AddMenuItem("-"), 1);
    EXPECT_EQ(tray.AddMenuItem("Two", "2", true), 2);
    EXPECT_EQ(tray.defaultItem(), 2);
    tray.mnuSysTray[2].visible = false;

    std::vector<std::string> keys;
    tray.MenuClick = [&](std::int16_t index, const std::string& key) { keys.push_back(std::to_string(index) + key); };
    for (int choice : {0, 1, 2, 7}) {
        w.tray.pushMenuChoice(choice);
        tray.ShowMenu();
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"01"}));
    EXPECT_TRUE(tray.foreground());
    EXPECT_TRUE(w.tray.lastMenu()[1].separator);
    EXPECT_TRUE(w.tray.lastMenu()[2].isDefault);
    EXPECT_FALSE(w.tray.lastMenu()[2].visible);
}

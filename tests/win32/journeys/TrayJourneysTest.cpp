// A person sends the window to the notification area and uses the icon: a
// single click does nothing, the right button opens the icon's menu, a
// double click brings the window back and starts the selected action. The
// icon's messages come as the shell sends them, to the icon's window.
#include <algorithm>

#include "Win32Journey.h"
#include "tests/win32/ui/BoxTestSupport.h"
#include "ui/win32/Win32Tray.h"

using nocturo::test::ProgramOnWin32Desktop;
using nocturo::ui::Win32Tray;

namespace {

// The shell's callback for a mouse message on the icon.
void iconMessage(ProgramOnWin32Desktop& p, UINT mouse) {
    HWND icon = p.program().tray().window();
    ASSERT_NE(icon, nullptr) << "the icon has no window";
    PostMessageW(icon, Win32Tray::kCallbackMessage, Win32Tray::kIconId, mouse);
}

void sendToTray(ProgramOnWin32Desktop& p) {
    p.click("imgSysTray");
    EXPECT_TRUE(p.waitFor([&] { return !p.windowShown("FrmMain"); }, 3000)) << "the window stayed";
    EXPECT_TRUE(p.program().tray().iconShown()) << "no icon";
}

bool actionStarted(const ProgramOnWin32Desktop& p) {
    return p.text("cmdGo") == "&cancel" || p.journalCount("ExitWindowsEx") > 0;
}

bool logged(const ProgramOnWin32Desktop& p, const std::string& event) {
    const auto log = p.actionLog();
    return std::find(log.begin(), log.end(), event) != log.end();
}

}  // namespace

TEST(Win32TrayJourney, AClickOnTheIconDoesNothingTheMenuShowsTheWindowADoubleClickStartsTheAction) {
    NEED_DESKTOP();
    ProgramOnWin32Desktop p;
    ASSERT_TRUE(p.started());
    if (!p.program().tray().available()) GTEST_SKIP() << "this desktop has no notification area";
    p.click("cmdOptions");
    p.typeOver("txtCounter", "20");  // time enough to cancel
    p.click("optActions(1)");        // restart
    p.click("cmdOptions");
    ASSERT_EQ(p.text("cmdOptions"), "&Options");
    sendToTray(p);

    // One click, as the shell reports it: the button goes down and up.
    iconMessage(p, WM_LBUTTONDOWN);
    iconMessage(p, WM_LBUTTONUP);
    p.wait(GetDoubleClickTime() + 1000);
    EXPECT_FALSE(p.windowShown("FrmMain")) << "a single click brought the window back";
    EXPECT_FALSE(logged(p, "Restart"));
    // What follows needs the icon in the tray and nothing running.
    ASSERT_FALSE(actionStarted(p)) << "a single click started the action";
    ASSERT_TRUE(p.program().tray().iconShown());

    // The right button: the icon's menu, whose first entry shows the window.
    {
        nocturo::ui::testing::BoxWatcher menu(
            L"",
            [](HWND m) {
                nocturo::ui::testing::PostKey(m, VK_DOWN);
                Sleep(50);
                nocturo::ui::testing::PostKey(m, VK_RETURN);
            },
            L"#32768");
        iconMessage(p, WM_RBUTTONDOWN);
        iconMessage(p, WM_RBUTTONUP);
        EXPECT_TRUE(p.waitFor([&] { return p.windowShown("FrmMain"); }, 8000)) << "\"Show Nocturo\" did not show the window";
        ASSERT_TRUE(menu.found()) << "the right button opened no menu";
    }
    EXPECT_FALSE(p.program().tray().iconShown());
    EXPECT_FALSE(actionStarted(p)) << "the menu's \"Show Nocturo\" started the action";

    // A double click, as the shell reports it: the window comes back and the
    // selected action starts.
    sendToTray(p);
    for (UINT mouse : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP}) iconMessage(p, mouse);
    EXPECT_TRUE(p.waitFor([&] { return p.windowShown("FrmMain"); }, 3000)) << "the window did not come back";
    EXPECT_TRUE(p.waitFor([&] { return p.text("cmdGo") == "&cancel"; }, 3000)) << "the action did not start";
    p.click("cmdGo");
    EXPECT_TRUE(p.waitFor([&] { return p.text("cmdGo") != "&cancel"; }, 3000));
    EXPECT_TRUE(logged(p, "Restart"));
    EXPECT_EQ(p.journalCount("ExitWindowsEx"), 0) << "the cancelled action went on";
    EXPECT_EQ(p.errorLog(), "");
}

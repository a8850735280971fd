// The Win32 tray icon against wine's notification area (the one wine's
// explorer keeps on its virtual desktop) and its real pop-up menus.
#include "ui/win32/Win32Tray.h"

#include <shellapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "platform/Error.h"
#include "platform/win32/WinText.h"
#include "tests/win32/ui/BoxTestSupport.h"

namespace nocturo::ui {
namespace {

namespace wm = platform::wm;
namespace nif = platform::nif;
using namespace nocturo::ui::testing;
using platform::TrayMenuItem;

#define NEED_DESKTOP() \
    if (!HaveDesktop()) GTEST_SKIP() << "no window can be created here (no desktop)"

#define NEED_TRAY(tray)                                                        \
    NEED_DESKTOP();                                                            \
    if (!(tray).available()) GTEST_SKIP() << "no notification area on this desktop"

TrayMenuItem Item(const std::string& caption, bool isDefault = false, bool visible = true) {
    TrayMenuItem item;
    item.caption = caption;
    item.isDefault = isDefault;
    item.visible = visible;
    return item;
}

TrayMenuItem Separator() {
    TrayMenuItem item;
    item.caption = "-";
    item.separator = true;
    return item;
}

std::wstring CaptionOf(HMENU menu, int position) {
    wchar_t text[128] = {};
    GetMenuStringW(menu, static_cast<UINT>(position), text, 128, MF_BYPOSITION);
    return text;
}

// ---- without a desktop --------------------------------------------------------

TEST(Win32Tray, TheMenuHasTheVisibleItemsWithTheirIndexesAndTheDefaultBold) {
    const std::vector<TrayMenuItem> items = {Item("&Open"),  Item("Hidden", false, false), Separator(),
                                             Item("Gr\xc3\xbc\xc3\x9f" "e \xe2\x98\x83", true),
                                             Item("Hidden sep", false, false), Item("E&xit")};
    HMENU menu = Win32Tray::buildMenu(items);
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(GetMenuItemCount(menu), 4);
    EXPECT_EQ(GetMenuItemID(menu, 0), 1u);
    EXPECT_EQ(CaptionOf(menu, 0), L"&Open");
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE;
    ASSERT_TRUE(GetMenuItemInfoW(menu, 1, TRUE, &info));
    EXPECT_TRUE(info.fType & MFT_SEPARATOR);
    EXPECT_EQ(GetMenuItemID(menu, 2), 4u);  // the index kept past the hidden item
    EXPECT_EQ(CaptionOf(menu, 2), L"Gr\u00fc\u00dfe \u2603");
    EXPECT_EQ(GetMenuItemID(menu, 3), 6u);
    EXPECT_EQ(GetMenuDefaultItem(menu, FALSE, 0), 4u);
    info.fMask = MIIM_STATE;
    ASSERT_TRUE(GetMenuItemInfoW(menu, 2, TRUE, &info));
    EXPECT_TRUE(info.fState & MFS_DEFAULT);
    DestroyMenu(menu);
}

TEST(Win32Tray, AMenuWithoutADefaultHasNone) {
    HMENU menu = Win32Tray::buildMenu({Item("A"), Item("B", true, false), Item("C")});
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(GetMenuItemCount(menu), 2);
    EXPECT_EQ(GetMenuDefaultItem(menu, FALSE, 0), static_cast<UINT>(-1));
    DestroyMenu(menu);
    menu = Win32Tray::buildMenu({});
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(GetMenuItemCount(menu), 0);
    DestroyMenu(menu);
}

TEST(Win32Tray, TipsAreCutToWhatTheShellHoldsWithoutSplittingACharacter) {
    EXPECT_EQ(Win32Tray::tipText("Nocturo"), L"Nocturo");
    EXPECT_EQ(Win32Tray::tipText(std::string(200, 'x')), std::wstring(127, L'x'));
    // 126 units and a smiley (U+1F600, two units) that would end at 128.
    const std::string smiley = "\xf0\x9f\x98\x80";
    EXPECT_EQ(Win32Tray::tipText(std::string(126, 'a') + smiley), std::wstring(126, L'a'));
    EXPECT_EQ(Win32Tray::tipText(std::string(125, 'a') + smiley), std::wstring(125, L'a') + L"\U0001F600");
}

TEST(Win32Tray, ThePicturesOfTheProgramAreItsIconResources) {
    for (const char* name : {"stop", "nocturo", "STOP"}) {
        HICON icon = Win32Tray::loadPicture(name);
        EXPECT_NE(icon, nullptr) << name;
        if (!icon) continue;
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP bitmap{};
        GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
        EXPECT_EQ(bitmap.bmWidth, GetSystemMetrics(SM_CXSMICON)) << name;
        if (info.hbmColor) DeleteObject(info.hbmColor);
        if (info.hbmMask) DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
    EXPECT_EQ(Win32Tray::loadPicture("no such picture"), nullptr);
    EXPECT_EQ(Win32Tray::loadPicture(""), nullptr);
}

TEST(Win32Tray, NothingShownMeansNothingToChangeOrTakeAway) {
    Win32Tray tray;
    EXPECT_NO_THROW(tray.modifyIcon(nif::Icon | nif::Tip, "no such picture", "tip"));
    EXPECT_NO_THROW(tray.deleteIcon());
    EXPECT_FALSE(tray.iconShown());
    EXPECT_EQ(tray.window(), nullptr);  // made only when needed
}

// ---- in the notification area -------------------------------------------------

TEST(Win32Tray, TheIconIsAddedChangedAndTakenAway) {
    Win32Tray tray;
    NEED_TRAY(tray);
    tray.addIcon("nocturo", "Nocturo");
    EXPECT_TRUE(tray.iconShown());
    ASSERT_NE(tray.window(), nullptr);
    EXPECT_NO_THROW(tray.modifyIcon(nif::Icon, "stop", "ignored"));
    EXPECT_NO_THROW(tray.modifyIcon(nif::Tip, "ignored", "Shutting down at 22:00"));
    EXPECT_NO_THROW(tray.modifyIcon(nif::Icon | nif::Tip, "nocturo", std::string(300, 'x')));
    EXPECT_NO_THROW(tray.modifyIcon(nif::Message, "", ""));  // nothing of ours to change
    // A picture we do not have fails and leaves the icon as it was.
    EXPECT_THROW(tray.modifyIcon(nif::Icon, "no such picture", ""), platform::Error);
    EXPECT_TRUE(tray.iconShown());
    // Adding again replaces it.
    EXPECT_NO_THROW(tray.addIcon("stop", "again"));
    tray.deleteIcon();
    EXPECT_FALSE(tray.iconShown());
    // The shell no longer knows the icon: changing it the shell's way fails.
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = tray.window();
    data.uID = Win32Tray::kIconId;
    data.uFlags = NIF_TIP;
    EXPECT_FALSE(Shell_NotifyIconW(NIM_MODIFY, &data));
    EXPECT_THROW(tray.addIcon("no such picture", "tip"), platform::Error);
    EXPECT_FALSE(tray.iconShown());
}

TEST(Win32Tray, TheShellKnowsTheIconWhileItIsShown) {
    Win32Tray tray;
    NEED_TRAY(tray);
    tray.addIcon("stop", "tip");
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = tray.window();
    data.uID = Win32Tray::kIconId;
    data.uFlags = NIF_TIP;
    wcscpy(data.szTip, L"changed from outside");
    EXPECT_TRUE(Shell_NotifyIconW(NIM_MODIFY, &data));
    // Explorer restarting: the icon is shown again, once.
    SendMessageW(tray.window(), RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(tray.iconShown());
    EXPECT_TRUE(Shell_NotifyIconW(NIM_MODIFY, &data));
    tray.deleteIcon();
    EXPECT_FALSE(Shell_NotifyIconW(NIM_MODIFY, &data));
    // Once taken away, a restart brings nothing back.
    SendMessageW(tray.window(), RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_FALSE(tray.iconShown());
    EXPECT_FALSE(Shell_NotifyIconW(NIM_MODIFY, &data));
}

TEST(Win32Tray, TheCallbackMessagesReachTheHandlerAfterTheCallback) {
    Win32Tray tray;
    NEED_TRAY(tray);
    tray.addIcon("nocturo", "Nocturo");
    std::vector<int> got;
    bool insideCallback = false;
    tray.setMouseHandler([&](int message) {
        EXPECT_FALSE(insideCallback);
        got.push_back(message);
    });
    insideCallback = true;
    for (UINT message : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN, WM_RBUTTONUP,
                         WM_RBUTTONDBLCLK, WM_MOUSEMOVE})
        SendMessageW(tray.window(), Win32Tray::kCallbackMessage, Win32Tray::kIconId, message);
    // Not ours: another icon id, and messages that are not the mouse's.
    SendMessageW(tray.window(), Win32Tray::kCallbackMessage, Win32Tray::kIconId + 1, WM_LBUTTONDOWN);
    SendMessageW(tray.window(), Win32Tray::kCallbackMessage, Win32Tray::kIconId, WM_CONTEXTMENU);
    SendMessageW(tray.window(), Win32Tray::kCallbackMessage, Win32Tray::kIconId, WM_MBUTTONDOWN);
    insideCallback = false;
    EXPECT_TRUE(got.empty());
    PumpFor(std::chrono::seconds(5), [&] { return got.size() >= 7; });
    PumpFor(std::chrono::milliseconds(100));
    const std::vector<int> expected = {wm::LButtonDown, wm::LButtonUp,    wm::LButtonDblClk, wm::RButtonDown,
                                       wm::RButtonUp,   wm::RButtonDblClk, wm::MouseMove};
    EXPECT_EQ(got, expected);
}

TEST(Win32Tray, ABalloonNeedsTheIconAndItsClickReachesTheHandlerAfterTheCallback) {
    Win32Tray tray;
    EXPECT_FALSE(tray.showBalloon("Nocturo", "no icon"));
    NEED_TRAY(tray);
    tray.addIcon("nocturo", "Nocturo");
    EXPECT_TRUE(tray.showBalloon("Nocturo", "The computer shuts down at 22:30 (in 5 minutes)."));
    EXPECT_TRUE(tray.showBalloon(std::string(100, 't'), std::string(400, 'x')));
    int clicks = 0, mouse = 0;
    bool insideCallback = false;
    tray.setBalloonClickHandler([&] {
        EXPECT_FALSE(insideCallback);
        ++clicks;
    });
    tray.setMouseHandler([&](int) { ++mouse; });
    insideCallback = true;
    SendMessageW(tray.window(), Win32Tray::kCallbackMessage, Win32Tray::kIconId, NIN_BALLOONUSERCLICK);
    // Not a click: the balloon shown, timed out, hidden; another icon's.
    SendMessageW(tray.window(), Win32Tray::kCallbackMessage, Win32Tray::kIconId, NIN_BALLOONSHOW);
    SendMessageW(tray.window(), Win32Tray::kCallbackMessage, Win32Tray::kIconId, NIN_BALLOONTIMEOUT);
    SendMessageW(tray.window(), Win32Tray::kCallbackMessage, Win32Tray::kIconId, NIN_BALLOONHIDE);
    SendMessageW(tray.window(), Win32Tray::kCallbackMessage, Win32Tray::kIconId + 1, NIN_BALLOONUSERCLICK);
    insideCallback = false;
    EXPECT_EQ(clicks, 0);
    PumpFor(std::chrono::seconds(5), [&] { return clicks >= 1; });
    PumpFor(std::chrono::milliseconds(100));
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(mouse, 0);
    tray.setBalloonClickHandler({});
    SendMessageW(tray.window(), Win32Tray::kCallbackMessage, Win32Tray::kIconId, NIN_BALLOONUSERCLICK);
    PumpFor(std::chrono::milliseconds(100));
    EXPECT_EQ(clicks, 1);
    tray.deleteIcon();
    EXPECT_FALSE(tray.showBalloon("Nocturo", "gone"));
}

TEST(Win32Tray, BalloonTextsAreCutToTheirFieldsWithoutSplittingACharacter) {
    EXPECT_EQ(Win32Tray::fieldText("Nocturo", 63), L"Nocturo");
    EXPECT_EQ(Win32Tray::fieldText(std::string(300, 'x'), 255), std::wstring(255, L'x'));
    const std::string smiley = "\xF0\x9F\x98\x80";  // one character, two UTF-16 units
    EXPECT_EQ(Win32Tray::fieldText(std::string(62, 'a') + smiley, 63), std::wstring(62, L'a'));
    EXPECT_EQ(Win32Tray::fieldText(std::string(61, 'a') + smiley, 63), std::wstring(61, L'a') + L"\U0001F600");
}

TEST(Win32Tray, TheHandlerMayReplaceOrClearItselfOrEndTheTray) {
    auto tray = std::make_unique<Win32Tray>();
    NEED_TRAY(*tray);
    tray->addIcon("nocturo", "Nocturo");
    std::vector<std::string> got;
    tray->setMouseHandler([&](int) {
        got.push_back("first");
        tray->setMouseHandler([&](int) {
            got.push_back("second");
            tray->setMouseHandler({});
        });
    });
    HWND window = tray->window();
    for (int i = 0; i < 3; ++i) SendMessageW(window, Win32Tray::kCallbackMessage, Win32Tray::kIconId, WM_LBUTTONUP);
    PumpFor(std::chrono::milliseconds(300));
    EXPECT_EQ(got, (std::vector<std::string>{"first", "second"}));

    // A handler that ends the tray (the program quitting from its icon).
    tray->setMouseHandler([&](int) {
        got.push_back("ending");
        tray.reset();
    });
    SendMessageW(window, Win32Tray::kCallbackMessage, Win32Tray::kIconId, WM_LBUTTONDBLCLK);
    SendMessageW(window, Win32Tray::kCallbackMessage, Win32Tray::kIconId, WM_LBUTTONDBLCLK);
    PumpFor(std::chrono::milliseconds(300));
    EXPECT_EQ(tray, nullptr);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(got.back(), "ending");
    EXPECT_EQ(std::count(got.begin(), got.end(), "ending"), 1);
}

// Chooses from the menu the tray pops up by keys posted to it.
int ChooseByKeys(Win32Tray& tray, const std::vector<TrayMenuItem>& items, const std::vector<UINT>& keys) {
    BoxWatcher watcher(
        L"",
        [&](HWND menu) {
            for (UINT key : keys) {
                PostKey(menu, key);
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        },
        L"#32768");
    const int chosen = tray.popupMenu(items);
    EXPECT_TRUE(watcher.found());
    return chosen;
}

TEST(Win32Tray, TheMenuReturnsTheIndexOfTheItemChosenAndMinusOneOnEscape) {
    Win32Tray tray;
    NEED_DESKTOP();
    const std::vector<TrayMenuItem> items = {Item("Hidden", false, false), Item("&Show"), Separator(),
                                             Item("&Cancel action", true), Item("E&xit")};
    EXPECT_EQ(ChooseByKeys(tray, items, {VK_DOWN, VK_RETURN}), 1);
    EXPECT_EQ(ChooseByKeys(tray, items, {VK_DOWN, VK_DOWN, VK_RETURN}), 3);  // over the separator
    EXPECT_EQ(ChooseByKeys(tray, items, {VK_UP, VK_RETURN}), 4);
    EXPECT_EQ(ChooseByKeys(tray, items, {'X'}), 4);  // the access key
    EXPECT_EQ(ChooseByKeys(tray, items, {VK_ESCAPE}), -1);
    EXPECT_EQ(ChooseByKeys(tray, items, {VK_DOWN, VK_ESCAPE, VK_ESCAPE}), -1);
    // Nothing visible: no menu at all.
    EXPECT_EQ(tray.popupMenu({Item("a", false, false)}), -1);
    EXPECT_EQ(tray.popupMenu({}), -1);
}

}  // namespace
}  // namespace nocturo::ui

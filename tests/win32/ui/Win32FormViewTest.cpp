// The native windows of the forms: every control made from the model and
// kept in step with it, the user's input forwarded as the model's named
// events, the three sizes of the main window, dragging, the close box, and
// a new DPI laying the window out again. Each test needs a desktop (wine on
// an X display) and skips itself without one.
#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <string>
#include <vector>

#include "shell/FrmMain.h"
#include "support/SimWorld.h"
#include "ui/Scenes.h"
#include "ui/win32/Win32FormView.h"
#include "ui/win32/Win32LayoutCheck.h"
#include "ui/win32/Win32Scenes.h"

using namespace nocturo;
using nocturo::test::SimWorld;
using nocturo::ui::win32::Win32FormView;

#define NEED_DESKTOP()                                                                   \
    do {                                                                                 \
        if (!ui::win32::DesktopAvailable()) GTEST_SKIP() << "no desktop to make windows on"; \
    } while (0)

namespace {

int px(int twips, UINT dpi) { return static_cast<int>(std::lround(twips * static_cast<double>(dpi) / 1440.0)); }

std::string joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines) out += l + "\n";
    return out;
}

std::wstring textOf(HWND w) {
    wchar_t buffer[256] = {};
    GetWindowTextW(w, buffer, 255);
    return buffer;
}

RECT rectInParent(HWND child) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// A form with one control of each kind, which notes every event it gets.
class Probe : public Form {
public:
    Probe() : Form("frmProbe") {
        setCaption("Probe");
        setWidth(4500);
        setHeight(3000);
        cmdGo.setCaption("&Go");
        cmdGo.setGeometry(120, 120, 1200, 375);
        chkOn.setCaption("On");
        chkOn.setGeometry(120, 600, 1500, 255);
        optA.setCaption("A");
        optA.setGeometry(120, 900, 900, 255);
        optB.setCaption("B");
        optB.setGeometry(1200, 900, 900, 255);
        txtHour.setGeometry(120, 1260, 600, 315);
        cboUnit.setItems({"seconds", "minutes", "hours"});
        cboUnit.setListIndex(0);
        cboUnit.setGeometry(900, 1260, 1500, 315);
        lstFiles.addItem("a.tmp");
        lstFiles.addItem("b.tmp");
        lstFiles.setGeometry(120, 1700, 2000, 700);
        lblLink.setCaption("Help");
        lblLink.setGeometry(2400, 120, 1000, 255);
        for (const char* e : {"cmdGo.Click", "chkOn.Click", "optA.Click", "optB.Click", "txtHour.Change",
                              "txtHour.LostFocus", "cboUnit.Click", "lstFiles.Click", "lblLink.Click",
                              "lblLink.DblClick", "Form.Click"})
            on(e, [this, e] { events.push_back(e); });
        onArg("lblLink.MouseDown", [this](int b) { events.push_back("lblLink.MouseDown " + std::to_string(b)); });
        onArg("lblDrag.MouseDown", [this](int b) {
            if (b == mouse::Left && onDragStart) onDragStart();
        });
        onArg("Form.MouseDown", [this](int b) { events.push_back("Form.MouseDown " + std::to_string(b)); });
        on("Form.Close", [this] {
            events.push_back("Form.Close");
            if (mayClose) setVisible(false);
        });
        // Digits only in the hour box.
        onKey("txtHour", [](std::int16_t k) -> std::int16_t { return (k == 8 || (k >= '0' && k <= '9')) ? k : 0; });
        setLoaded(true);
        setVisible(true);
    }

    CommandButton cmdGo{this, "cmdGo"};
    CheckBox chkOn{this, "chkOn"};
    std::vector<OptionButton*> group;
    OptionButton optA{this, "optA", -1, &group};
    OptionButton optB{this, "optB", -1, &group};
    TextBox txtHour{this, "txtHour"};
    ComboBox cboUnit{this, "cboUnit"};
    ListBox lstFiles{this, "lstFiles"};
    Label lblLink{this, "lblLink"};
    Label lblDrag{this, "lblDrag"};
    Timer tmrTick{this, "tmrTick"};
    std::vector<std::string> events;
    bool mayClose = false;

    // Registered after their construction: the group of option buttons.
    void groupUp() { group = {&optA, &optB}; }
};

void command(const Win32FormView& view, const std::string& control, int code) {
    HWND w = view.controlWindow(control);
    SendMessageW(view.hwnd(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(w), code), reinterpret_cast<LPARAM>(w));
}

}  // namespace

TEST(Win32FormView, EveryControlIsMadeFromTheModelAtTheWindowsDpi) {
    NEED_DESKTOP();
    SimWorld w;
    Probe f;
    f.groupUp();
    Win32FormView view(f);
    const UINT dpi = view.dpi();
    EXPECT_GE(dpi, 96u);
    EXPECT_EQ(view.controlWindow("tmrTick"), nullptr);  // a timer shows nothing
    EXPECT_EQ(view.controlWindow("nothing"), nullptr);
    ASSERT_NE(view.controlWindow("cmdGo"), nullptr);
    EXPECT_EQ(textOf(view.controlWindow("cmdGo")), L"&Go");
    const RECT go = rectInParent(view.controlWindow("cmdGo"));
    EXPECT_EQ(go.left, px(120, dpi));
    EXPECT_EQ(go.right - go.left, px(1200, dpi));
    EXPECT_EQ(go.bottom - go.top, px(375, dpi));
    RECT client{};
    GetClientRect(view.hwnd(), &client);
    EXPECT_EQ(client.right, px(4500, dpi));
    EXPECT_EQ(client.bottom, px(3000, dpi));
    EXPECT_EQ(textOf(view.hwnd()), L"Probe");
    EXPECT_TRUE(IsWindowVisible(view.hwnd()));
    EXPECT_EQ(SendMessageW(view.controlWindow("cboUnit"), CB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(SendMessageW(view.controlWindow("cboUnit"), CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(SendMessageW(view.controlWindow("lstFiles"), LB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(SendMessageW(view.controlWindow("lstFiles"), LB_GETCURSEL, 0, 0), LB_ERR);
    EXPECT_EQ(Win32FormView::of(f), &view);
}

TEST(Win32FormView, TheWindowFollowsEveryChangeOfTheModel) {
    NEED_DESKTOP();
    SimWorld w;
    Probe f;
    f.groupUp();
    Win32FormView view(f);
    f.cmdGo.setCaption("&Stop");
    EXPECT_EQ(textOf(view.controlWindow("cmdGo")), L"&Stop");
    f.cmdGo.setEnabled(false);
    EXPECT_FALSE(IsWindowEnabled(view.controlWindow("cmdGo")));
    f.chkOn.setValue(1);
    EXPECT_EQ(SendMessageW(view.controlWindow("chkOn"), BM_GETCHECK, 0, 0), BST_CHECKED);
    f.optB.setValue(true);
    EXPECT_EQ(SendMessageW(view.controlWindow("optB"), BM_GETCHECK, 0, 0), BST_CHECKED);
    f.txtHour.setText("12");
    EXPECT_EQ(textOf(view.controlWindow("txtHour")), L"12");
    f.txtHour.setPassword(true);
    EXPECT_NE(SendMessageW(view.controlWindow("txtHour"), EM_GETPASSWORDCHAR, 0, 0), 0);
    f.txtHour.setPassword(false);
    EXPECT_EQ(SendMessageW(view.controlWindow("txtHour"), EM_GETPASSWORDCHAR, 0, 0), 0);
    f.cboUnit.setItems({"days"});
    f.cboUnit.setListIndex(0);
    EXPECT_EQ(SendMessageW(view.controlWindow("cboUnit"), CB_GETCOUNT, 0, 0), 1);
    f.lstFiles.setListIndex(1);
    EXPECT_EQ(SendMessageW(view.controlWindow("lstFiles"), LB_GETCURSEL, 0, 0), 1);
    f.lstFiles.removeItem(1);
    EXPECT_EQ(SendMessageW(view.controlWindow("lstFiles"), LB_GETCOUNT, 0, 0), 1);
    EXPECT_EQ(SendMessageW(view.controlWindow("lstFiles"), LB_GETCURSEL, 0, 0), LB_ERR);
    f.lblLink.setVisible(false);
    EXPECT_FALSE(GetWindowLongPtrW(view.controlWindow("lblLink"), GWL_STYLE) & WS_VISIBLE);
    f.cmdGo.setGeometry(300, 300, 600, 300);
    const RECT go = rectInParent(view.controlWindow("cmdGo"));
    EXPECT_EQ(go.left, px(300, view.dpi()));
    EXPECT_EQ(go.right - go.left, px(600, view.dpi()));
    f.setCaption("Renamed");
    EXPECT_EQ(textOf(view.hwnd()), L"Renamed");
    bool closed = false;
    view.onClosed = [&] { closed = true; };
    f.setVisible(false);
    EXPECT_FALSE(IsWindowVisible(view.hwnd()));
    EXPECT_TRUE(closed);
}

TEST(Win32FormView, InputReachesTheModelAsItsNamedEvents) {
    NEED_DESKTOP();
    SimWorld w;
    Probe f;
    f.groupUp();
    Win32FormView view(f);

    SendMessageW(view.controlWindow("cmdGo"), BM_CLICK, 0, 0);
    SendMessageW(view.controlWindow("chkOn"), BM_CLICK, 0, 0);
    EXPECT_EQ(f.chkOn.value(), 1);
    EXPECT_EQ(SendMessageW(view.controlWindow("chkOn"), BM_GETCHECK, 0, 0), BST_CHECKED);
    SendMessageW(view.controlWindow("chkOn"), BM_CLICK, 0, 0);
    EXPECT_EQ(f.chkOn.value(), 0);
    EXPECT_EQ(SendMessageW(view.controlWindow("chkOn"), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    SendMessageW(view.controlWindow("optB"), BM_CLICK, 0, 0);
    EXPECT_TRUE(f.optB.value());
    EXPECT_FALSE(f.optA.value());
    EXPECT_EQ(SendMessageW(view.controlWindow("optB"), BM_GETCHECK, 0, 0), BST_CHECKED);

    SetWindowTextW(view.controlWindow("txtHour"), L"07");
    EXPECT_EQ(f.txtHour.text(), "07");
    // The model drops what its key handler refuses; digits go in.
    HWND hour = view.controlWindow("txtHour");
    SendMessageW(hour, EM_SETSEL, 2, 2);
    SendMessageW(hour, WM_CHAR, 'x', 0);
    EXPECT_EQ(f.txtHour.text(), "07");
    SendMessageW(hour, WM_CHAR, '5', 0);
    EXPECT_EQ(f.txtHour.text(), "075");

    SendMessageW(view.controlWindow("cboUnit"), CB_SETCURSEL, 2, 0);
    command(view, "cboUnit", CBN_SELCHANGE);
    EXPECT_EQ(f.cboUnit.listIndex(), 2);
    SendMessageW(view.controlWindow("lstFiles"), LB_SETCURSEL, 1, 0);
    command(view, "lstFiles", LBN_SELCHANGE);
    EXPECT_EQ(f.lstFiles.listIndex(), 1);
    // The same row again is no new choice.
    command(view, "lstFiles", LBN_SELCHANGE);

    HWND link = view.controlWindow("lblLink");
    SendMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    SendMessageW(link, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    SendMessageW(link, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(2, 2));
    SendMessageW(link, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(2, 2));
    // A release outside the label is no click.
    SendMessageW(link, WM_LBUTTONUP, 0, MAKELPARAM(5000, 2));
    // The bare surface is the form's.
    SendMessageW(view.hwnd(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(1, 1));
    SendMessageW(view.hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(1, 1));

    const std::vector<std::string> expected{
        "cmdGo.Click",          "chkOn.Click",     "chkOn.Click",         "optB.Click",
        "txtHour.Change",       "txtHour.Change",  "cboUnit.Click",       "lstFiles.Click",
        "lblLink.MouseDown 1",  "lblLink.Click",   "lblLink.DblClick",    "lblLink.MouseDown 2",
        "Form.MouseDown 2",     "Form.Click"};
    EXPECT_EQ(f.events, expected) << joined(f.events);
}

TEST(Win32FormView, AControlTheModelDisabledForwardsNothing) {
    NEED_DESKTOP();
    SimWorld w;
    Probe f;
    f.groupUp();
    Win32FormView view(f);
    f.lblLink.setEnabled(false);
    SendMessageW(view.controlWindow("lblLink"), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    SendMessageW(view.controlWindow("lblLink"), WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    EXPECT_TRUE(f.events.empty()) << joined(f.events);
}

TEST(Win32FormView, TheCloseBoxAsksTheModel) {
    NEED_DESKTOP();
    SimWorld w;
    Probe f;
    f.groupUp();
    Win32FormView view(f);
    bool closed = false;
    view.onClosed = [&] { closed = true; };
    SendMessageW(view.hwnd(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindowVisible(view.hwnd()));  // refused
    EXPECT_FALSE(closed);
    f.mayClose = true;
    SendMessageW(view.hwnd(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(view.hwnd()));
    EXPECT_TRUE(closed);
    EXPECT_EQ(f.events, (std::vector<std::string>{"Form.Close", "Form.Close"}));
}

TEST(Win32FormView, ADetachedViewNeverTouchesItsModelAgain) {
    NEED_DESKTOP();
    SimWorld w;
    Probe f;
    f.groupUp();
    Win32FormView view(f);
    view.detach();
    EXPECT_EQ(Win32FormView::of(f), nullptr);
    SendMessageW(view.controlWindow("cmdGo"), BM_CLICK, 0, 0);
    SendMessageW(view.hwnd(), WM_CLOSE, 0, 0);
    f.cmdGo.setCaption("changed");  // no listener any more
    EXPECT_EQ(textOf(view.controlWindow("cmdGo")), L"&Go");
    EXPECT_TRUE(f.events.empty()) << joined(f.events);
}

TEST(Win32FormView, AFramelessFormIsDraggedByItsSurfaceAndKeepsItsPlaceInTwips) {
    NEED_DESKTOP();
    SimWorld w;
    Probe f;
    f.groupUp();
    f.lblDrag.setGeometry(3000, 1500, 1200, 600);
    f.setLeft(1500);
    f.setTop(1500);
    Win32FormView view(f, Win32FormView::Kind::Frameless);
    EXPECT_TRUE(GetWindowLongPtrW(view.hwnd(), GWL_STYLE) & WS_POPUP);
    EXPECT_FALSE(GetWindowLongPtrW(view.hwnd(), GWL_STYLE) & WS_CAPTION);
    RECT before{};
    GetWindowRect(view.hwnd(), &before);
    EXPECT_EQ(before.left, px(1500, view.dpi()));
    POINT cursor{};
    GetCursorPos(&cursor);
    SendMessageW(view.controlWindow("lblDrag"), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    ASSERT_TRUE(view.dragging());
    // The mouse goes 40 pixels right and 25 down of where the drag began.
    POINT to{cursor.x + 40, cursor.y + 25};
    ScreenToClient(view.hwnd(), &to);
    SendMessageW(view.hwnd(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(to.x, to.y));
    SendMessageW(view.hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(to.x, to.y));
    EXPECT_FALSE(view.dragging());
    RECT after{};
    GetWindowRect(view.hwnd(), &after);
    EXPECT_EQ(after.left - before.left, 40);
    EXPECT_EQ(after.top - before.top, 25) << "from " << before.left << "," << before.top << " cursor " << cursor.x << ","
                                          << cursor.y << " to " << after.left << "," << after.top;
    EXPECT_EQ(f.left(), view.toTwips(after.left));
    EXPECT_EQ(f.top(), view.toTwips(after.top));
    EXPECT_TRUE(f.events.empty()) << joined(f.events);  // a drag is no click
}

TEST(Win32FormView, TheMainWindowShrinksToAFramelessSmallClockAndGrowsBack) {
    NEED_DESKTOP();
    SimWorld w;
    FrmMain f;
    f.Form_Load();
    Win32FormView view(f, Win32FormView::Kind::Main);
    ShowWindow(view.hwnd(), SW_SHOWNORMAL);
    EXPECT_TRUE(GetWindowLongPtrW(view.hwnd(), GWL_STYLE) & WS_CAPTION);
    HWND small = view.controlWindow("imgMinimize");
    ASSERT_NE(small, nullptr);
    SendMessageW(small, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    SendMessageW(small, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    EXPECT_EQ(f.height(), twips::SmallClockHeight);
    RECT client{};
    GetClientRect(view.hwnd(), &client);
    EXPECT_EQ(client.bottom, px(twips::SmallClockHeight, view.dpi()));
    EXPECT_TRUE(GetWindowLongPtrW(view.hwnd(), GWL_STYLE) & WS_POPUP);
    EXPECT_FALSE(GetWindowLongPtrW(view.hwnd(), GWL_STYLE) & WS_CAPTION);
    EXPECT_TRUE(GetWindowLongPtrW(view.controlWindow("lblShutdownTimeHeader"), GWL_STYLE) & WS_VISIBLE);
    EXPECT_TRUE(ui::win32::LayoutProblems(view).empty()) << joined(ui::win32::LayoutProblems(view));
    small = view.controlWindow("imgMinimize");
    SendMessageW(small, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    SendMessageW(small, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    EXPECT_EQ(f.height(), twips::NormalHeight);
    EXPECT_TRUE(GetWindowLongPtrW(view.hwnd(), GWL_STYLE) & WS_CAPTION);
    GetClientRect(view.hwnd(), &client);
    EXPECT_EQ(client.bottom, px(twips::NormalHeight, view.dpi()));
    EXPECT_FALSE(GetWindowLongPtrW(view.controlWindow("lblShutdownTimeHeader"), GWL_STYLE) & WS_VISIBLE);
}

TEST(Win32FormView, AlwaysOnTopFollowsTheModel) {
    NEED_DESKTOP();
    SimWorld w;
    Probe f;
    f.groupUp();
    Win32FormView view(f);
    EXPECT_FALSE(GetWindowLongPtrW(view.hwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST);
    f.setTopMost(true);
    EXPECT_TRUE(GetWindowLongPtrW(view.hwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST);
    f.setTopMost(false);
    EXPECT_FALSE(GetWindowLongPtrW(view.hwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST);
}

TEST(Win32FormView, ANewDpiLaysTheWindowOutAgain) {
    NEED_DESKTOP();
    SimWorld w;
    Probe f;
    f.groupUp();
    Win32FormView view(f);
    RECT suggested{0, 0, 800, 600};
    SendMessageW(view.hwnd(), 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(view.dpi(), 144u);
    const RECT go = rectInParent(view.controlWindow("cmdGo"));
    EXPECT_EQ(go.right - go.left, px(1200, 144));
    RECT client{};
    GetClientRect(view.hwnd(), &client);
    EXPECT_EQ(client.right, px(4500, 144));
    LOGFONTW font{};
    GetObjectW(view.fontOf(f.cmdGo), sizeof font, &font);
    EXPECT_EQ(-font.lfHeight, px(165, 144));
}

// Every window in each of its states, at the desktop's DPI and at 150 %.
TEST(Win32Scenes, EveryWindowAndStateIsLaidOutCleanly) {
    NEED_DESKTOP();
    for (const UINT dpi : {0u, 144u}) {
        for (const std::string& scene : ui::SceneNames()) {
            SimWorld w;
            bool looked = false;
            EXPECT_TRUE(ui::win32::ShowScene(scene, [&](Win32FormView& view) {
                looked = true;
                EXPECT_TRUE(IsWindowVisible(view.hwnd())) << scene;
                if (dpi) {
                    RECT suggested{0, 0, 100, 100};
                    SendMessageW(view.hwnd(), 0x02E0, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
                }
                const auto problems = ui::win32::LayoutProblems(view);
                EXPECT_TRUE(problems.empty()) << scene << " at " << view.dpi() << " dpi:\n" << joined(problems);
            })) << scene;
            EXPECT_TRUE(looked) << scene;
        }
    }
}

TEST(Win32Scenes, TheCountdownSceneShowsTheCountdownInProgressWithoutEndingAnything) {
    NEED_DESKTOP();
    SimWorld w;
    std::wstring go;
    bool digits = false;
    ASSERT_TRUE(ui::win32::ShowScene("main-countdown", [&](Win32FormView& view) {
        go = textOf(view.controlWindow("cmdGo"));
        digits = (GetWindowLongPtrW(view.controlWindow("imgCounter0"), GWL_STYLE) & WS_VISIBLE) != 0;
    }));
    EXPECT_EQ(go, L"&cancel");
    EXPECT_TRUE(digits);
    EXPECT_EQ(w.count("ExitWindowsEx"), 0);
    EXPECT_TRUE(w.sessionEnds.empty());
}

TEST(Win32Scenes, AnUnknownSceneIsNotShown) {
    NEED_DESKTOP();
    SimWorld w;
    bool looked = false;
    EXPECT_FALSE(ui::win32::ShowScene("no-such-scene", [&](Win32FormView&) { looked = true; }));
    EXPECT_FALSE(ui::win32::ShowScene("main-no-such-state", [&](Win32FormView&) { looked = true; }));
    EXPECT_FALSE(looked);
}

// Every window as the user sees it, on the simulated machine: laid out
// without overlaps or cut-off texts in each of its states, the options panel
// behind its password, the small clock, dragging, and the windows that come
// and go with their forms.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <string>

#include "base/Variant.h"
#include "base/Varn_Registry.h"
#include "cipher/Varn_encryption3.h"
#include "schedule/frmTimeSetup.h"
#include "shell/FrmMain.h"
#include "shell/frmAbout.h"
#include "support/SimWorld.h"
#include "support/WebAddresses.h"
#include "ui/Desktop.h"
#include "ui/FormView.h"
#include "ui/FrmMainView.h"
#include "ui/Gallery.h"
#include "ui/LayoutCheck.h"

using namespace nocturo;
using nocturo::test::SimWorld;
using nocturo::ui::FormView;
using nocturo::ui::FrmMainView;

namespace {

int px(int twips, int dpi) { return static_cast<int>(std::lround(twips * dpi / 1440.0)); }

std::string joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines) out += l + "\n";
    return out;
}

}  // namespace

TEST(Windows, EveryWindowAndStateIsLaidOutCleanly) {
    for (const std::string& scene : ui::GalleryScenes()) {
        SimWorld w(platform::PathStyle::Posix);
        bool looked = false;
        EXPECT_TRUE(ui::ShowScene(scene, [&](FormView& view) {
            looked = true;
            EXPECT_TRUE(view.isVisible()) << scene;
            const auto problems = ui::LayoutProblems(view);
            EXPECT_TRUE(problems.empty()) << scene << ":\n" << joined(problems);
        })) << scene;
        EXPECT_TRUE(looked) << scene;
    }
}

TEST(Windows, TheCountdownSceneShowsTheCountdownInProgress) {
    SimWorld w;
    QString go;
    bool digits = false;
    ASSERT_TRUE(ui::ShowScene("main-countdown", [&](FormView& view) {
        go = qobject_cast<QPushButton*>(view.widgetFor("cmdGo"))->text();
        digits = !view.widgetFor("imgCounter0")->isHidden();
    }));
    EXPECT_EQ(go, QStringLiteral("&cancel"));
    EXPECT_TRUE(digits);
    EXPECT_EQ(w.count("ExitWindowsEx"), 0);
}

TEST(Windows, TheOptionsPanelOpensOnlyWithThePasswordAndSaveOptionsStoresTheSettings) {
    SimWorld w;
    WriteSetting(MachineApp(), kSettings, "poption", Encrypt3("Night0wl", ""));
    FrmMain f;
    f.Form_Load();
    FrmMainView v(f);
    auto* options = qobject_cast<QPushButton*>(v.widgetFor("cmdOptions"));
    const int dx = v.logicalDpiX(), dy = v.logicalDpiY();

    w.dialogs.pushAnswer("night0wl");
    options->click();
    EXPECT_EQ(v.height(), px(twips::NormalHeight, dy));
    EXPECT_EQ(options->text(), QStringLiteral("&Options"));

    w.dialogs.pushAnswer("Night0wl");
    options->click();
    EXPECT_EQ(v.height(), px(twips::OptionsHeight, dy));
    EXPECT_EQ(v.width(), px(twips::OptionsWidth, dx));
    EXPECT_EQ(options->text(), QStringLiteral("Save &Options"));
    auto* force = qobject_cast<QCheckBox*>(v.widgetFor("chkForce"));
    ASSERT_TRUE(v.rect().contains(force->geometry()));
    EXPECT_TRUE(force->isChecked());
    force->click();
    EXPECT_EQ(f.chkForce.value(), 0);

    options->click();
    EXPECT_EQ(v.height(), px(twips::NormalHeight, dy));
    EXPECT_EQ(CInt(ReadSetting(UserApp(), kSettings, "chkForce", 1)), 0);
    EXPECT_FALSE(v.rect().intersects(force->geometry()));
}

TEST(Windows, TheSmallClockIsAFramelessStripThatGrowsBackFromItsButton) {
    SimWorld w;
    FrmMain f;
    f.Form_Load();
    FrmMainView v(f);
    QTest::mouseClick(v.widgetFor("imgMinimize"), Qt::LeftButton);
    EXPECT_EQ(f.height(), twips::SmallClockHeight);
    EXPECT_EQ(v.height(), px(twips::SmallClockHeight, v.logicalDpiY()));
    EXPECT_TRUE(v.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(v.widgetFor("lblShutdownTimeHeader")->isVisible());
    EXPECT_TRUE(ui::LayoutProblems(v).empty()) << joined(ui::LayoutProblems(v));
    QTest::mouseClick(v.widgetFor("imgMinimize"), Qt::LeftButton);
    EXPECT_EQ(f.height(), twips::NormalHeight);
    EXPECT_FALSE(v.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_FALSE(v.widgetFor("lblShutdownTimeHeader")->isVisible());
}

TEST(Windows, DraggingStartsFromTheDragAreaAndTheDialogsSurface) {
    SimWorld w;
    FrmMain f;
    f.Form_Load();
    FrmMainView v(f);
    QTest::mousePress(v.widgetFor("Image1"), Qt::RightButton);
    EXPECT_FALSE(v.dragging());
    QTest::mousePress(v.widgetFor("Image1"), Qt::LeftButton);
    EXPECT_TRUE(v.dragging());
    QTest::mouseRelease(v.widgetFor("Image1"), Qt::LeftButton);
    EXPECT_FALSE(v.dragging());

    frmTimeSetup d;
    d.Form_Load();
    FormView dv(d);
    QTest::mousePress(dv.widgetFor("lblWeekday(2)"), Qt::LeftButton);
    EXPECT_TRUE(dv.dragging());
    QTest::mouseRelease(dv.widgetFor("lblWeekday(2)"), Qt::LeftButton);
    d.Form_Unload();
}

TEST(Windows, AFormGetsItsWindowWhenItLoadsAndLosesItWhenItUnloads) {
    SimWorld w;
    ui::InstallDesktopViews(true);
    {
        frmAbout about;
        EXPECT_EQ(FormView::of(about), nullptr);
        about.Form_Load();
        FormView* view = FormView::of(about);
        ASSERT_NE(view, nullptr);
        EXPECT_TRUE(view->isVisible());
        EXPECT_EQ(view->windowTitle(), QStringLiteral("About varn Nocturo"));
        // OK closes the modal window.
        QTimer::singleShot(0, [view] { qobject_cast<QPushButton*>(view->widgetFor("lblOk"))->click(); });
        ui::RunModal(about);
        EXPECT_FALSE(about.loaded());
        EXPECT_EQ(FormView::of(about), nullptr);
    }
    ui::InstallDesktopViews(false);
}

namespace {

// A dialog whose load leaves its window hidden, closed by its button.
class HiddenDialog : public Form {
public:
    HiddenDialog() : Form("frmHidden") {
        setWidth(3000);
        setHeight(2000);
        cmdOk.setCaption("OK");
        cmdOk.setGeometry(900, 600, 1200, 400);
        on("cmdOk.Click", [this] {
            setVisible(false);
            setLoaded(false);
        });
    }
    CommandButton cmdOk{this, "cmdOk"};
};

// A form with one time field that selects itself on a click, as the main
// window's fields do.
class OneField : public Form {
public:
    OneField() : Form("frmField") {
        setWidth(3000);
        setHeight(1500);
        txtHour.setGeometry(300, 300, 900, 400);
        txtHour.setText("00");
        on("txtHour.Click", [this] { txtHour.select(0, static_cast<int>(txtHour.text().size())); });
        onKey("txtHour", [this](std::int16_t key) {
            keys.push_back(key);
            return key == 13 ? std::int16_t{0} : key;
        });
    }
    TextBox txtHour{this, "txtHour"};
    std::vector<int> keys;
};

}  // namespace

TEST(Windows, AModalRunShowsAFormItsLoadLeftHiddenAndEndsWhenItUnloads) {
    SimWorld w;
    ui::InstallDesktopViews(true);
    {
        HiddenDialog dialog;
        dialog.setLoaded(true);
        ASSERT_FALSE(dialog.visible());
        bool seen = false;
        QTimer::singleShot(50, [&] {
            FormView* view = FormView::of(dialog);
            seen = view && view->isVisible();
            if (view) QTest::mouseClick(view->widgetFor("cmdOk"), Qt::LeftButton);
            else dialog.setLoaded(false);
        });
        ui::RunModal(dialog);
        EXPECT_TRUE(seen) << "the dialog was waited for without a window";
        EXPECT_FALSE(dialog.loaded());
    }
    ui::InstallDesktopViews(false);
}

TEST(Windows, TypingOverAClickedFieldKeepsEveryDigitAndEnterReachesTheKeyFilter) {
    SimWorld w;
    OneField form;
    form.setLoaded(true);
    form.setVisible(true);
    FormView view(form);
    auto* box = qobject_cast<QLineEdit*>(view.widgetFor("txtHour"));
    ASSERT_NE(box, nullptr);
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_EQ(box->selectedText(), QStringLiteral("00"));  // the click selects the whole field
    QTest::keyClicks(box, QStringLiteral("23"));
    EXPECT_EQ(box->text(), QStringLiteral("23"));
    EXPECT_EQ(form.txtHour.text(), "23");
    QTest::keyClick(box, Qt::Key_Return);
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);  // a shortcut, not a typed "a"
    EXPECT_EQ(form.keys, (std::vector<int>{'2', '3', 13}));
    EXPECT_EQ(box->selectedText(), QStringLiteral("23"));
    form.setLoaded(false);
}

TEST(Windows, LinksLookLikeLinksAndOpenTheirPages) {
    test::WebAddresses web;
    SimWorld w;
    FrmMain f;
    f.Form_Load();
    FrmMainView v(f);
    auto* home = qobject_cast<QLabel*>(v.widgetFor("lblVarnHome"));
    EXPECT_TRUE(home->font().underline());
    EXPECT_EQ(home->cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseClick(home, Qt::LeftButton);
    ASSERT_NE(w.last("OpenDocument"), nullptr);
    EXPECT_EQ(w.last("OpenDocument")->at("path").asString(), links::Current().homePage);
}

namespace {
// Answers every box with OK and notes whether the main window was kept above
// the others while the box was open.
class WatchingDialogs : public platform::IDialogs {
public:
    explicit WatchingDialogs(FormView*& view) : view_(view) {}
    std::vector<bool> onTopDuringBoxes;
    int messageBox(const std::string&, int, const std::string&) override {
        onTopDuringBoxes.push_back(view_->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        return 1;
    }
    std::optional<std::string> inputBox(const std::string&, const std::string&, const std::string&) override {
        onTopDuringBoxes.push_back(view_->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        return std::string();
    }
    std::string browseForFolder(const std::string&, const std::string&, bool) override { return {}; }
    std::string openFile(const std::string&, const std::string&) override { return {}; }

private:
    FormView*& view_;
};
}  // namespace

TEST(Windows, AlwaysOnTopKeepsTheWindowAboveOthersButNotAboveItsOwnQuestions) {
    SimWorld w;
    FormView* view = nullptr;
    WatchingDialogs dialogs(view);
    w.runtime.pf.dialogs = &dialogs;
    FrmMain f;
    FrmMainView shown(f);
    view = &shown;
    f.Form_Load();
    ASSERT_FALSE(shown.windowFlags().testFlag(Qt::WindowStaysOnTopHint));

    auto* onTop = qobject_cast<QCheckBox*>(shown.widgetFor("chkWinOnTop"));
    ASSERT_NE(onTop, nullptr);
    onTop->click();
    EXPECT_TRUE(f.chkWinOnTop.checked());
    EXPECT_TRUE(shown.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(shown.isVisible());  // changing the flag does not lose the window

    // A question from the window: the window steps back while it is open.
    f.MsgBox("Question?", 4, "Nocturo");
    EXPECT_EQ(dialogs.onTopDuringBoxes, std::vector<bool>{false});
    EXPECT_TRUE(shown.windowFlags().testFlag(Qt::WindowStaysOnTopHint));

    onTop->click();
    EXPECT_FALSE(f.chkWinOnTop.checked());
    EXPECT_FALSE(shown.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(w.errorLog(), "");
}

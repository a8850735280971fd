// The main window on the desktop: what it shows of its model and what its
// clicks do, on the simulated machine (the countdown's waits run through the
// simulated loop, so a click that starts an action returns when it is over).
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "shell/FrmMain.h"
#include "support/SimWorld.h"
#include "ui/FrmMainView.h"

using namespace nocturo;
using nocturo::test::SimWorld;
using nocturo::ui::FrmMainView;

namespace {

// A fresh installation with its window on the screen.
struct Shown {
    SimWorld w;
    FrmMain f;
    FrmMainView v{f};
    Shown() { f.Form_Load(); }
    std::int64_t ms() { return w.clock.monotonicMs(); }
    QPushButton* button(const std::string& name) { return qobject_cast<QPushButton*>(v.widgetFor(name)); }
    QLabel* label(const std::string& name) { return qobject_cast<QLabel*>(v.widgetFor(name)); }
    bool logHas(const std::string& line) {
        auto lines = w.actionLogLines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
};

int px(int twips, int dpi) { return static_cast<int>(std::lround(twips * dpi / 1440.0)); }

const char* const kShown[] = {"lblTime", "lblDate",     "Image1",      "imgMinimize", "imgHome",        "imgSysTray",
                              "imgCountdown", "imgCounter1", "imgCounter0", "lblAction", "lblError", "ImgStop",
                              "lblNocturoInfo", "cmdGo", "cmdOptions", "cmdExit"};

}  // namespace

TEST(FrmMainView, ShowsTheLoadedWindowWithTheGoButtonsCaption) {
    Shown t;
    EXPECT_TRUE(t.v.isVisible());
    EXPECT_EQ(t.v.windowTitle(), QString::fromStdString(t.f.caption()));
    ASSERT_NE(t.button("cmdGo"), nullptr);
    EXPECT_EQ(t.f.cmdGo.caption(), "Shut Down Now!");
    EXPECT_EQ(t.button("cmdGo")->text(), QStringLiteral("Shut Down Now!"));
    EXPECT_TRUE(t.button("cmdGo")->shortcut().isEmpty());
    // "&Options": the O is the access key.
    EXPECT_EQ(t.button("cmdOptions")->text(), QStringLiteral("&Options"));
    EXPECT_EQ(t.button("cmdOptions")->shortcut(), QKeySequence::mnemonic(QStringLiteral("&Options")));
    EXPECT_EQ(t.button("cmdExit")->text(), QStringLiteral("Exit Program"));
    EXPECT_EQ(t.label("lblAction")->text(), QStringLiteral("Shut Down"));
    EXPECT_EQ(t.label("ImgStop")->toolTip(), QStringLiteral("Double Click for Emergency Shut Down"));
    // The options panel lies beyond the normal window's edges.
    ASSERT_NE(t.v.widgetFor("chkForce"), nullptr);
    EXPECT_FALSE(t.v.rect().intersects(t.v.widgetFor("chkForce")->geometry()));
    EXPECT_FALSE(t.v.rect().intersects(t.v.widgetFor("lblHelp")->geometry()));
}

TEST(FrmMainView, ClickingGoCountsDownAndASecondClickCancels) {
    Shown t;
    QString midway;
    bool countersShown = false, infoHidden = false;
    QPixmap digit;
    t.w.loop.at(t.ms() + 3500, "click cmdGo", [&] {
        midway = t.button("cmdGo")->text();
        countersShown = !t.label("imgCounter0")->isHidden() && !t.label("imgCounter1")->isHidden();
        infoHidden = t.label("lblNocturoInfo")->isHidden();
        digit = t.label("imgCounter0")->pixmap();
        t.button("cmdGo")->click();
    });
    t.button("cmdGo")->click();
    t.w.runUntil([&] { return !t.f.actionRunning(); });
    EXPECT_EQ(midway, QStringLiteral("&cancel"));
    EXPECT_TRUE(countersShown);
    EXPECT_TRUE(infoHidden);
    EXPECT_FALSE(digit.isNull());
    EXPECT_EQ(t.w.count("ExitWindowsEx"), 0);
    EXPECT_TRUE(t.w.sessionEnds.empty());
    EXPECT_TRUE(t.logHas("manual command"));
    EXPECT_TRUE(t.logHas("action canceled"));
    // Back to ready.
    EXPECT_EQ(t.button("cmdGo")->text(), QStringLiteral("Shut Down Now!"));
    EXPECT_TRUE(t.label("imgCounter0")->isHidden());
    EXPECT_FALSE(t.label("lblNocturoInfo")->isHidden());
}

TEST(FrmMainView, TheErrorLabelAppearsWithTheErrorIndicator) {
    Shown t;
    ASSERT_NE(t.label("lblError"), nullptr);
    EXPECT_TRUE(t.label("lblError")->isHidden());
    t.f.ShowErrorIndicator();
    EXPECT_FALSE(t.label("lblError")->isHidden());
    EXPECT_TRUE(t.label("lblError")->isVisible());
    EXPECT_EQ(t.label("lblError")->text(), QStringLiteral("check Error log !"));
}

TEST(FrmMainView, EnabledAndToolTipFollowTheModel) {
    Shown t;
    t.f.cmdExit.setEnabled(false);
    EXPECT_FALSE(t.button("cmdExit")->isEnabled());
    t.f.cmdExit.setEnabled(true);
    EXPECT_TRUE(t.button("cmdExit")->isEnabled());
    t.f.imgMinimize.setToolTip("enlarge Clock");
    EXPECT_EQ(t.label("imgMinimize")->toolTip(), QStringLiteral("enlarge Clock"));
    t.f.setCaption("Nocturo 2");
    EXPECT_EQ(t.v.windowTitle(), QStringLiteral("Nocturo 2"));
}

TEST(FrmMainView, WindowAndControlsAreSizedFromTwipsAtTheScreensResolution) {
    Shown t;
    const int dx = t.v.logicalDpiX(), dy = t.v.logicalDpiY();
    EXPECT_EQ(t.v.width(), px(twips::NormalWidth, dx));
    EXPECT_EQ(t.v.height(), px(twips::NormalHeight, dy));
    for (const char* name : kShown) {
        Control* c = t.f.findControl(name);
        ASSERT_NE(c, nullptr) << name;
        QWidget* w = t.v.widgetFor(name);
        ASSERT_NE(w, nullptr) << name;
        EXPECT_EQ(w->geometry(), QRect(px(c->left(), dx), px(c->top(), dy), px(c->width(), dx), px(c->height(), dy)))
            << name;
        EXPECT_GT(c->width(), 0) << name;
        EXPECT_TRUE(t.v.rect().contains(w->geometry())) << name;
    }
    // Nothing overlaps.
    for (size_t i = 0; i < std::size(kShown); ++i)
        for (size_t j = i + 1; j < std::size(kShown); ++j)
            EXPECT_FALSE(t.v.widgetFor(kShown[i])->geometry().intersects(t.v.widgetFor(kShown[j])->geometry()))
                << kShown[i] << " and " << kShown[j];
}

TEST(FrmMainView, EveryTextFits) {
    Shown t;
    auto fitsLabel = [&](const char* name, const char* text) {
        QLabel* l = t.label(name);
        EXPECT_LE(QFontMetrics(l->font()).horizontalAdvance(QString::fromUtf8(text)), l->width()) << name << ": " << text;
        EXPECT_LE(QFontMetrics(l->font()).height(), l->height()) << name;
    };
    fitsLabel("lblTime", "20:59:50");
    fitsLabel("lblDate", "28.12.2026");
    fitsLabel("lblNocturoInfo", " 08.12.2026 21:00:00");
    fitsLabel("lblNocturoInfo", "in 86400 sec.");
    fitsLabel("lblAction", "Start Program");
    fitsLabel("lblAction", "Hibernate PC");
    fitsLabel("lblError", "check Error log !");
    // A button needs its text plus the style's margins; the style's minimum
    // width for short captions is a preference, not a need.
    auto fitsButton = [&](const char* name, const char* text) {
        QPushButton* b = t.button(name);
        const QString before = b->text();
        const QString longText(40, QLatin1Char('X'));
        b->setText(longText);
        const int margins = b->sizeHint().width() - b->fontMetrics().horizontalAdvance(longText);
        b->setText(QString::fromUtf8(text));
        const int needed = b->fontMetrics().horizontalAdvance(QString::fromUtf8(text).remove(QLatin1Char('&'))) + margins;
        EXPECT_LE(needed, b->width()) << name << ": " << text;
        EXPECT_LE(b->sizeHint().height(), b->height()) << name;
        b->setText(before);
    };
    for (const char* go : {"Shut Down Now!", "Shut Down now!", "Start Program!", "Hibernate now!", "Hibernate PC!",
                           "PowerOff now!", "Suspend now!", "Lock PC now!", "&cancel"})
        fitsButton("cmdGo", go);
    fitsButton("cmdOptions", "&Options");
    fitsButton("cmdExit", "Exit Program");
}

TEST(FrmMainView, PicturesShowByName) {
    Shown t;
    QPixmap idle = t.label("imgCountdown")->pixmap();
    ASSERT_FALSE(idle.isNull());
    EXPECT_EQ(idle.size(), QSize(48, 36));
    EXPECT_FALSE(t.label("ImgStop")->pixmap().isNull());
    for (int d = 0; d <= 9; ++d) EXPECT_EQ(FrmMainView::picture(FrmMain::DigitPicture(d)).size(), QSize(24, 36)) << d;
    EXPECT_TRUE(FrmMainView::picture("no such picture").isNull());
    t.f.imgCountdown.setPicture("clock");
    EXPECT_EQ(t.label("imgCountdown")->pixmap().toImage(), FrmMainView::picture("clock").toImage());
}

TEST(FrmMainView, TheCloseBoxOnlyMinimisesWhileTheProgramRuns) {
    Shown t;
    EXPECT_FALSE(t.v.close());
    EXPECT_EQ(t.f.windowState(), WindowState::Minimized);
    EXPECT_TRUE(t.v.isMinimized());
    EXPECT_TRUE(t.f.loaded());
    EXPECT_FALSE(t.f.unloaded());
    t.f.setWindowState(WindowState::Normal);
    EXPECT_FALSE(t.v.isMinimized());
    EXPECT_TRUE(t.v.isVisible());
}

TEST(FrmMainView, ADoubleClickOnTheStopImageIsTheEmergencyShutDown) {
    Shown t;
    QTest::mouseDClick(t.label("ImgStop"), Qt::LeftButton);
    t.w.runUntil([&] { return !t.f.actionRunning(); });
    EXPECT_TRUE(t.logHas("Emergency Shut Down"));
    EXPECT_FALSE(t.w.sessionEnds.empty());
}

TEST(FrmMainView, ThePostponeButtonsShowWhileACountRunsAndTheInformationLineEndsBeforeThem) {
    Shown t;
    for (const char* name : {"cmdPostpone5", "cmdPostpone15", "cmdPostpone60"}) {
        ASSERT_NE(t.button(name), nullptr) << name;
        EXPECT_TRUE(t.button(name)->isHidden()) << name;
    }
    // Countdown mode, armed: "in N sec." on the left (counts of up to about
    // four months), the buttons on the right.
    t.f.fireEvent("optShutdownTime(2).Click");
    QLabel* info = t.label("lblNocturoInfo");
    const int buttonsLeft = t.button("cmdPostpone5")->geometry().left();
    for (const char* name : {"cmdPostpone5", "cmdPostpone15", "cmdPostpone60"}) {
        QPushButton* b = t.button(name);
        EXPECT_FALSE(b->isHidden()) << name;
        EXPECT_LE(b->fontMetrics().horizontalAdvance(b->text()) + 8, b->width()) << name;
        EXPECT_LE(b->fontMetrics().height() + 4, b->height()) << name;
        EXPECT_TRUE(t.v.rect().contains(b->geometry())) << name;
        EXPECT_GE(b->geometry().left(), buttonsLeft) << name;
    }
    for (const char* text : {"in 86400 sec.", "in 9999999 sec.", "until 23:59:59"})
        EXPECT_LT(info->geometry().left() + info->fontMetrics().horizontalAdvance(QString::fromUtf8(text)), buttonsLeft)
            << text;
    // A click moves the count by its minutes.
    const int before = t.f.countdownSeconds;
    t.button("cmdPostpone15")->click();
    EXPECT_EQ(t.f.countdownSeconds, before + 900);
    EXPECT_TRUE(t.logHas(t.w.actionLogLines().back()));
    EXPECT_EQ(t.w.actionLogLines().back().rfind("Postponed by 15 min: Shut Down is now due at ", 0), 0u);
    // Disarmed, they go.
    t.f.setScheduleArmed(false);
    EXPECT_TRUE(t.button("cmdPostpone5")->isHidden());
}

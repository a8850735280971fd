// The main window's sizes and moves: the options panel behind its password,
// the small clock, the home position, the links and the timed boxes.
#include <gtest/gtest.h>

#include <string>

#include "base/Links.h"
#include "base/Variant.h"
#include "base/Varn_Registry.h"
#include "cipher/Varn_encryption3.h"
#include "shell/FrmMain.h"
#include "shell/Varn_MsgBox.h"
#include "support/WebAddresses.h"
#include "support/SimWorld.h"

using namespace nocturo;
using nocturo::test::SimWorld;

namespace {

struct Window {
    SimWorld w;
    FrmMain f;
    explicit Window(const std::string& password = "") {
        if (!password.empty()) WriteSetting(MachineApp(), kSettings, "poption", Encrypt3(password, ""));
        f.Form_Load();
    }
    bool panelOpen() const { return f.height() == twips::OptionsHeight && f.width() == twips::OptionsWidth; }
    std::string stored(const char* name) { return CStr(ReadSetting(UserApp(), kSettings, name, std::string("?"))); }
};

const int kScreenWidth = 1024 * 15, kScreenHeight = 768 * 15;

}  // namespace

TEST(OptionsPanel, WithoutAPasswordItOpensAtOnce) {
    Window t;
    t.f.cmdOptions_Click();
    EXPECT_TRUE(t.panelOpen());
    EXPECT_EQ(t.f.cmdOptions.caption(), "Save &Options");
    EXPECT_EQ(t.w.count("InputBox"), 0);  // nothing to ask for
    // Centred on the screen.
    EXPECT_EQ(t.f.left(), (kScreenWidth - twips::OptionsWidth) / 2);
    EXPECT_EQ(t.f.top(), (kScreenHeight - twips::OptionsHeight) / 2);
}

TEST(OptionsPanel, OnlyTheExactPasswordOpensItAndAWrongOneIsTold) {
    Window t("Se3cret");
    t.w.dialogs.pushCancel();
    t.f.cmdOptions_Click();
    EXPECT_FALSE(t.panelOpen());
    EXPECT_EQ(t.w.count("MessageBox"), 0);  // cancelled: nothing to tell
    auto* box = t.w.last("InputBox");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->at("prompt").asString(), "Options Menu Password :");
    EXPECT_EQ(box->at("title").asString(), "Nocturo");
    // The password is not shown as it is typed.
    ASSERT_NE(box->find("hidden"), nullptr);
    EXPECT_TRUE(box->at("hidden").asBool());

    int told = 0;
    for (const char* wrong : {"se3cret", "Se3cret ", "", "Se3"}) {
        t.w.dialogs.pushAnswer(wrong);
        t.f.cmdOptions_Click();
        EXPECT_FALSE(t.panelOpen()) << wrong;
        EXPECT_EQ(t.w.count("MessageBox"), ++told) << wrong;
        EXPECT_EQ(t.w.last("MessageBox")->at("prompt").asString(), "Wrong password. The options stay closed.");
    }
    const int sounds = t.w.count("PlaySound");
    t.w.dialogs.pushAnswer("Se3cret");
    t.f.cmdOptions_Click();
    EXPECT_TRUE(t.panelOpen());
    EXPECT_EQ(t.w.count("MessageBox"), told);
    EXPECT_EQ(t.w.count("PlaySound"), sounds + 1);
}

TEST(OptionsPanel, SaveOptionsClosesItAndStoresEverySetting) {
    Window t;
    t.f.cmdOptions_Click();
    t.f.fireEvent("chkForce.Click");  // on by default: now off
    t.f.txtCounter.setText("5");
    t.f.txtOptionsMenuPW.setText("new pw");
    EXPECT_EQ(t.stored("txtCounter"), "?");

    const int sounds = t.w.count("PlaySound");
    t.w.dialogs.pushAnswer("new pw");  // typed again
    t.f.cmdOptions_Click();
    EXPECT_EQ(t.w.count("PlaySound"), sounds + 1);
    EXPECT_EQ(t.f.height(), twips::NormalHeight);
    EXPECT_EQ(t.f.width(), twips::NormalWidth);
    EXPECT_EQ(t.f.cmdOptions.caption(), "&Options");
    EXPECT_EQ(t.stored("txtCounter"), "5");
    EXPECT_EQ(CInt(ReadSetting(UserApp(), kSettings, "chkForce", 1)), 0);
    EXPECT_EQ(Decrypt3(CStr(ReadSetting(MachineApp(), kSettings, "poption", std::string())), ""), "new pw");
    EXPECT_EQ(t.w.last("InputBox")->at("prompt").asString(), "Type the new options password again:");
    EXPECT_EQ(t.w.last("MessageBox")->at("prompt").asString(), "The new options password is saved.");

    // The new password guards the panel from now on.
    t.w.dialogs.pushAnswer("");
    t.f.cmdOptions_Click();
    EXPECT_FALSE(t.panelOpen());
}

TEST(OptionsPanel, ANewPasswordTypedDifferentlyTheSecondTimeIsNotStored) {
    Window t("old");
    t.w.dialogs.pushAnswer("old");
    t.f.cmdOptions_Click();
    ASSERT_TRUE(t.panelOpen());
    t.f.txtOptionsMenuPW.setText("new one");
    t.f.txtCounter.setText("5");
    t.w.dialogs.pushAnswer("new onE");
    t.f.cmdOptions_Click();
    EXPECT_FALSE(t.panelOpen());
    EXPECT_EQ(t.stored("txtCounter"), "5");  // the rest is saved all the same
    EXPECT_EQ(Decrypt3(CStr(ReadSetting(MachineApp(), kSettings, "poption", std::string())), ""), "old");
    EXPECT_EQ(t.f.txtOptionsMenuPW.text(), "old");
    EXPECT_EQ(t.w.last("MessageBox")->at("prompt").asString(),
              "The two passwords differ. The options password was not changed.");

    // Cancelling the second entry keeps the old one too.
    t.w.dialogs.pushAnswer("old");
    t.f.cmdOptions_Click();
    t.f.txtOptionsMenuPW.setText("other");
    t.w.dialogs.pushCancel();
    t.f.cmdOptions_Click();
    EXPECT_EQ(Decrypt3(CStr(ReadSetting(MachineApp(), kSettings, "poption", std::string())), ""), "old");

    // Emptied, the password is removed, and said so.
    t.w.dialogs.pushAnswer("old");
    t.f.cmdOptions_Click();
    t.f.txtOptionsMenuPW.setText("");
    const int boxes = t.w.count("InputBox");
    t.f.cmdOptions_Click();
    EXPECT_EQ(t.w.count("InputBox"), boxes);  // nothing to type twice
    EXPECT_EQ(Decrypt3(CStr(ReadSetting(MachineApp(), kSettings, "poption", std::string())), ""), "");
    EXPECT_EQ(t.w.last("MessageBox")->at("prompt").asString(),
              "The options password is removed: the options open without one.");
    t.f.cmdOptions_Click();
    EXPECT_TRUE(t.panelOpen());
}

TEST(SmallClock, ShrinkingWhileThePanelIsOpenClosesItWithoutStoring) {
    Window t;
    t.f.cmdOptions_Click();
    t.f.txtCounter.setText("7");
    t.f.imgMinimize_Click();
    EXPECT_EQ(t.f.height(), twips::SmallClockHeight);
    EXPECT_EQ(t.f.width(), twips::NormalWidth);
    EXPECT_EQ(t.f.cmdOptions.caption(), "&Options");
    EXPECT_EQ(t.f.imgMinimize.toolTip(), "enlarge Clock");
    EXPECT_TRUE(t.f.lblTimeHeader.visible());
    EXPECT_TRUE(t.f.lblShutdownTimeHeader.visible());
    EXPECT_EQ(t.f.lblShutdownTimeHeader.caption(), "00:00:00");
    EXPECT_EQ(t.stored("txtCounter"), "?");

    t.f.imgMinimize_Click();
    EXPECT_EQ(t.f.height(), twips::NormalHeight);
    EXPECT_EQ(t.f.imgMinimize.toolTip(), "small Clock");
    EXPECT_FALSE(t.f.lblTimeHeader.visible());
    EXPECT_FALSE(t.f.lblShutdownTimeHeader.visible());
}

TEST(SmallClock, InCountdownModeItShowsWhenTheCountdownEnds) {
    Window t;
    t.f.fireEvent("optShutdownTime(2).Click");
    t.f.countdownSeconds = 36000;  // ten hours: past what a 16-bit second count holds
    t.f.imgMinimize_Click();
    // 20:59:50 plus ten hours.
    EXPECT_EQ(t.f.lblShutdownTimeHeader.caption(), "06:59:50");
}

TEST(SmallClock, AClickOnTheWindowParksItInTheTopRightCorner) {
    Window t;
    t.f.txtHour.setText("21");
    t.f.txtHour_LostFocus();
    t.f.fireEvent("Form.Click");
    EXPECT_EQ(t.f.top(), 30);
    EXPECT_EQ(t.f.left(), kScreenWidth - (twips::NormalWidth + kScreenWidth / 18));
    EXPECT_EQ(t.f.height(), twips::SmallClockHeight);
    EXPECT_EQ(t.f.lblShutdownTimeHeader.caption(), "21:00:00");
    EXPECT_EQ(t.f.imgMinimize.toolTip(), "enlarge Clock");

    // The home button does the same after its sound.
    t.f.setTop(3000);
    const int before = t.w.count("PlaySound");
    t.f.imgHome_Click();
    EXPECT_EQ(t.f.top(), 30);
    EXPECT_EQ(t.w.count("PlaySound"), before + 1);
    // Without sound nothing plays.
    t.f.chkSound.setValue(0);
    t.f.imgHome_Click();
    EXPECT_EQ(t.w.count("PlaySound"), before + 1);
}

TEST(MainWindowLinks, WithAddressesEachLinkShowsAndOpensItsPage) {
    test::WebAddresses web;
    Window t;
    const links::Addresses& a = links::Current();
    const std::pair<const char*, std::string> opened[] = {
        {"lblVarnHome", a.homePage},
        {"Image2", a.homePage},
        {"Label7", a.errorReportPage},
        {"Label18", a.supportForum},
    };
    for (const auto& [name, address] : opened) {
        const Control* link = t.f.findControl(name);
        ASSERT_NE(link, nullptr) << name;
        EXPECT_TRUE(link->enabled()) << name;
        EXPECT_EQ(link->toolTip(), address) << name;
        EXPECT_TRUE(t.f.fireEvent(std::string(name) + ".Click")) << name;
        auto* call = t.w.last("OpenDocument");
        ASSERT_NE(call, nullptr) << name;
        EXPECT_EQ(call->at("path").asString(), address) << name;
    }
}

TEST(MainWindowLinks, WithoutAddressesTheWebLinksAreOffAndSayWhyAndOpenNothing) {
    Window t;  // the build names no web address
    for (const char* name : {"lblVarnHome", "Image2", "Label7", "Label18"}) {
        const Control* link = t.f.findControl(name);
        ASSERT_NE(link, nullptr) << name;
        EXPECT_FALSE(link->enabled()) << name;
        EXPECT_EQ(link->toolTip(), links::NoAddressTip) << name;
        t.f.fireEvent(std::string(name) + ".Click");
    }
    EXPECT_EQ(t.w.count("OpenDocument"), 0);
    EXPECT_EQ(t.w.errorLog(), "");
}

TEST(MainWindowLinks, HelpOpensTheInstalledManualOrSaysWhereItShouldBe) {
    Window t;
    const std::string manual = links::ManualFile();
    EXPECT_EQ(manual, t.w.programFolder() + "\\..\\doc\\README.html");
    EXPECT_TRUE(t.f.lblHelp.enabled());
    EXPECT_EQ(t.f.lblHelp.toolTip(), manual);

    // Not installed: a message names the place, and nothing is opened.
    t.f.fireEvent("lblHelp.Click");
    EXPECT_EQ(t.w.count("OpenDocument"), 0);
    auto* box = t.w.last("MessageBox");
    ASSERT_NE(box, nullptr);
    EXPECT_NE(box->at("prompt").asString().find(manual), std::string::npos);

    t.w.fs.addFile(manual, "<html></html>");
    t.f.fireEvent("lblHelp.Click");
    auto* call = t.w.last("OpenDocument");
    ASSERT_NE(call, nullptr);
    EXPECT_EQ(call->at("path").asString(), manual);
    EXPECT_EQ(t.w.errorLog(), "");
}

TEST(MainWindowLinks, TheErrorLabelOpensTheErrorLog) {
    Window t;
    t.f.fireEvent("lblError.Click");
    auto* call = t.w.last("StartProgram");
    ASSERT_NE(call, nullptr);  // the Windows machine's editor
    EXPECT_EQ(call->at("program").asString(), "notepad.exe");
}

TEST(MainWindowLinks, AboutShowsTheAboutWindow) {
    Window t;
    int shown = 0;
    t.f.showAbout = [&] { ++shown; };
    t.f.fireEvent("lblShowAbout.Click");
    EXPECT_EQ(shown, 1);
}

TEST(MainWindowMove, TheLeftButtonOnTheDragAreaStartsAMoveTheMiddleDoesNothing) {
    Window t;
    int drags = 0;
    t.f.onDragStart = [&] { ++drags; };
    t.f.fireEvent("Image1.MouseDown", mouse::Middle);
    EXPECT_EQ(drags, 0);
    t.f.fireEvent("Image1.MouseDown", mouse::Left);
    EXPECT_EQ(drags, 1);
}

TEST(TimedBoxes, WithoutAWindowOnTheScreenNothingIsShownAndTheFailureIsLogged) {
    SimWorld w;
    w.runtime.activeFormShown = [] { return false; };
    EXPECT_EQ(ACmsgbox(5, "Time synchronised", 64, "Nocturo", "", 0), 0);
    EXPECT_FALSE(ACinputbox(10, "Options Menu Password :", "Nocturo", "", 0, 0, "", 0).has_value());
    EXPECT_EQ(w.count("MessageBox"), 0);
    EXPECT_EQ(w.count("InputBox"), 0);
    EXPECT_NE(w.errorLog().find("ACmsgbox of Modul Varn_MsgBox"), std::string::npos);
    EXPECT_NE(w.errorLog().find("ACinputbox of Modul Varn_MsgBox"), std::string::npos);

    w.runtime.activeFormShown = [] { return true; };
    w.dialogs.pushAnswer(1);
    EXPECT_EQ(ACmsgbox(5, "Time synchronised", 64, "Nocturo", "", 0), 1);
}


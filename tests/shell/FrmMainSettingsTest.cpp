// Loading and saving the main window's settings, the time fields, the
// option boxes and closing the program.
#include <gtest/gtest.h>

#include "base/Varn_Language.h"
#include "base/Varn_Registry.h"
#include "cipher/Varn_encryption3.h"
#include "shell/FrmMain.h"
#include "support/SimWorld.h"

using namespace nocturo;
using nocturo::test::SimWorld;

namespace {
Variant stored(SimWorld& w, const std::string& name, const std::string& app = UserApp()) {
    auto v = w.reg.read(SettingPath(app, kSettings, name));
    if (!v) return Variant{};
    if (auto* s = std::get_if<std::string>(&*v)) return *s;
    return static_cast<std::int32_t>(std::get<std::uint32_t>(*v));
}
}  // namespace

TEST(Settings, AFreshInstallationStartsWithTheDefaults) {
    SimWorld w;
    FrmMain f;
    f.Form_Load();
    EXPECT_TRUE(f.optActions[0]->value());
    EXPECT_TRUE(f.optShutdownTime[0]->value());
    EXPECT_EQ(f.actionCode, action::Shutdown);
    EXPECT_EQ(f.cmdGo.caption(), "Shut Down Now!");
    for (CheckBox* on : {&f.chkSound, &f.chkVoice, &f.chkDT, &f.chkPowerOff, &f.chkForce})
        EXPECT_TRUE(on->checked()) << on->name();
    // Tried out, the program neither arms a schedule nor enrols itself at login.
    for (CheckBox* off : {&f.chkTimeSync, &f.chkStartInSysTray, &f.chkCleanHD, &f.chkDisableCancel, &f.chkPCLock,
                          &f.chkStartWithWindow, &f.chkArmed})
        EXPECT_FALSE(off->checked()) << off->name();
    EXPECT_FALSE(f.scheduleArmed());
    EXPECT_EQ(w.count("WriteAutostart"), 0);
    EXPECT_EQ(f.countdownSeconds, 360 * 60);
    EXPECT_EQ(f.txtCounter.text(), "9");
    EXPECT_EQ(f.txtLockTime.text(), "600");
    EXPECT_EQ(f.targetTime, "00:00:00");
    EXPECT_EQ(f.txtPathLog.text(), w.programFolder());
    EXPECT_EQ(f.left(), 1000);
    EXPECT_EQ(f.top(), 1000);
    EXPECT_EQ(f.height(), 1725);
    EXPECT_EQ(f.width(), 4140);
    EXPECT_TRUE(f.visible());
    EXPECT_TRUE(f.Timer2.enabled());
    EXPECT_EQ(w.actionLogLines(), (std::vector<std::string>{"Nocturo started"}));
    EXPECT_EQ(w.errorLog(), "");
}

TEST(Settings, TheSmallClockHeightIsRestoredAndAnyOtherHeightReplaced) {
    SimWorld w;
    WriteSetting(UserApp(), kSettings, "MainHeight", 185);
    FrmMain f;
    f.Form_Load();
    EXPECT_EQ(f.height(), 185);
    EXPECT_EQ(f.imgMinimize.toolTip(), "enlarge Clock");
    EXPECT_TRUE(f.lblTimeHeader.visible());

    SimWorld w2;
    WriteSetting(UserApp(), kSettings, "MainHeight", 2000);
    FrmMain g;
    g.Form_Load();
    EXPECT_EQ(g.height(), 1725);
}

TEST(Settings, CountdownLengthFollowsTheUnit) {
    SimWorld w;
    WriteSetting(UserApp(), kSettings, "txtStartActionIn", std::string("2"));
    WriteSetting(UserApp(), kSettings, "cmbTimeUnit", 0);
    FrmMain f;
    f.Form_Load();
    EXPECT_EQ(f.countdownSeconds, 7200);
    WriteSetting(UserApp(), kSettings, "cmbTimeUnit", 2);
    f.Load_Registry();
    EXPECT_EQ(f.countdownSeconds, 2);
    // An overflow keeps the count from before the multiplication.
    WriteSetting(UserApp(), kSettings, "txtStartActionIn", std::string("1000000"));
    WriteSetting(UserApp(), kSettings, "cmbTimeUnit", 0);
    f.Load_Registry();
    EXPECT_EQ(f.countdownSeconds, 1000000);
    EXPECT_NE(w.errorLog().find("Load_Registry of Formular fMainForm"), std::string::npos);
}

TEST(Settings, ABadValueFailsOnlyItsOwnStepAndIsLoggedUnderTheProgramName) {
    SimWorld w;
    WriteSetting(UserApp(), kSettings, "chkSound", std::string("yes please"));
    WriteSetting(UserApp(), kSettings, "txtHour", std::string("21"));
    FrmMain f;
    f.Form_Load();
    EXPECT_EQ(f.txtHour.text(), "21");
    EXPECT_TRUE(f.chkSound.checked());  // as designed
    EXPECT_NE(w.errorLog().find("  Nocturo : 37 v."), std::string::npos);
    EXPECT_NE(w.errorLog().find("Load_Registry of Formular fMainForm"), std::string::npos);
}

TEST(Settings, TheHighestStoredOptionWinsAndAllFalseLeavesNoneChosen) {
    SimWorld w;
    WriteSetting(UserApp(), kSettings, "optActions1", true);
    WriteSetting(UserApp(), kSettings, "optActions6", true);
    WriteSetting(UserApp(), kSettings, "optShutdownTime0", false);
    FrmMain f;
    f.Form_Load();
    EXPECT_TRUE(f.optActions[6]->value());
    EXPECT_FALSE(f.optActions[1]->value());
    EXPECT_EQ(f.actionCode, action::Hibernate);
    EXPECT_EQ(f.cmdGo.caption(), "Hibernate now!");
    for (auto& o : f.optShutdownTime) EXPECT_FALSE(o->value());
}

TEST(Settings, SaveWritesWhatChangedWithItsTypeAndAnEmptyCrashMarker) {
    SimWorld w;
    FrmMain f;
    f.Form_Load();
    WriteSetting(UserApp(), kSettings, "Crashtime", std::string("08.12.2026 20:00:00"));
    f.txtOptionsMenuPW.setText("s3cret");
    f.fireEvent("optActions(1).Click");
    f.txtHour.setText("07");
    f.Save_Registry();
    EXPECT_EQ(CStr(stored(w, "Crashtime")), "");
    EXPECT_EQ(CLng(stored(w, "optActions1")), -1);
    EXPECT_EQ(CLng(stored(w, "optActions0")), 0);
    EXPECT_EQ(CStr(stored(w, "txtHour")), "07");
    const std::string pw = CStr(stored(w, "poption", MachineApp()));
    EXPECT_NE(pw, "s3cret");
    EXPECT_EQ(Decrypt3(pw, ""), "s3cret");
    // Values this run did not change are not written: the defaults stay defaults.
    EXPECT_FALSE(w.reg.exists(SettingPath(UserApp(), kSettings, "chkSound")));
    EXPECT_FALSE(w.reg.exists(SettingPath(UserApp(), kSettings, "cmbTimeUnit")));
    // Loaded back by another window.
    FrmMain g;
    g.Form_Load();
    EXPECT_EQ(g.txtOptionsMenuPW.text(), "s3cret");
    EXPECT_EQ(g.actionCode, action::Restart);
    EXPECT_EQ(g.txtHour.text(), "07");
    EXPECT_EQ(g.chkSound.value(), 1);
}

TEST(Settings, ChangesAnotherProgramMadeWhileTheWindowRanAreKept) {
    struct Case {
        const char* name;
        bool userChangesToo;  // the user changes the same value afterwards
        const char* hour;     // what the store holds after the end
    };
    for (const Case c : {Case{"only the other program", false, "05"}, Case{"the user after it", true, "09"}}) {
        SCOPED_TRACE(c.name);
        SimWorld w;
        FrmMain f;
        f.Form_Load();
        // nocturoctl, while the program runs.
        WriteSetting(UserApp(), kSettings, "txtHour", std::string("05"));
        WriteSetting(MachineApp(), kSettings, "poption", Encrypt3("fromctl", ""));
        WriteSetting(UserApp(), kSettings, "chkSound", 0);
        if (c.userChangesToo) f.txtHour.setText("09");
        f.chkForce.setValue(0);  // something of the user's own
        f.Save_Registry();
        EXPECT_EQ(CStr(stored(w, "txtHour")), c.hour);
        EXPECT_EQ(Decrypt3(CStr(stored(w, "poption", MachineApp())), ""), "fromctl");
        EXPECT_EQ(CLng(stored(w, "chkSound")), 0);
        EXPECT_EQ(CLng(stored(w, "chkForce")), 0);
        // A second save writes nothing again.
        WriteSetting(UserApp(), kSettings, "chkForce", 1);
        f.Save_Registry();
        EXPECT_EQ(CLng(stored(w, "chkForce")), 1);
    }
}

TEST(Settings, ThePasswordOfOneMachineTreeIsNotSeenByAnother) {
    SimWorld w;
    {
        FrmMain f;
        f.Form_Load();
        f.txtOptionsMenuPW.setText("pw");
        f.Save_Registry();
    }
    w.runtime.machineNumber = "999999999";
    FrmMain g;
    g.Form_Load();
    EXPECT_EQ(g.txtOptionsMenuPW.text(), "");
}

TEST(TimeFields, LostFocusPadsAndBounds) {
    SimWorld w;
    FrmMain f;
    f.txtHour.setText("7");
    f.txtHour_LostFocus();
    EXPECT_EQ(f.txtHour.text(), "07");
    f.txtHour.setText("24");
    f.txtHour_LostFocus();
    EXPECT_EQ(f.txtHour.text(), "23");
    f.txtSEC.setText("75");
    f.txtSEC_LostFocus();
    EXPECT_EQ(f.txtSEC.text(), "59");
    EXPECT_EQ(f.lblShutdownTimeHeader.caption(), "23:00:59");
    f.txtMinute.setText(" ");
    f.txtMinute_LostFocus();
    EXPECT_EQ(f.txtMinute.text(), " ");
}

TEST(TimeFields, ArrowsStepTheSelectedFieldWithoutWrapping) {
    SimWorld w;
    FrmMain f;
    f.imgTimeUp_Click();  // nothing selected
    EXPECT_EQ(f.txtHour.text(), "00");
    f.txtHour_Click();
    EXPECT_EQ(f.txtHour.selLength(), 2);
    f.txtHour.setText("23");
    f.imgTimeUp_Click();
    EXPECT_EQ(f.txtHour.text(), "23");
    f.txtMinute_Click();
    f.imgTimeDown_Click();
    EXPECT_EQ(f.txtMinute.text(), "00");
    f.imgTimeUp_Click();
    EXPECT_EQ(f.txtMinute.text(), "01");
    f.txtMinute.setText("");
    f.imgTimeUp_Click();
    EXPECT_EQ(f.txtMinute.text(), "01");
    f.txtMinute.setText("10");
    f.imgTimeDown_Click();
    EXPECT_EQ(f.txtMinute.text(), "09");
    EXPECT_EQ(f.targetTime, "23:09:00");
}

TEST(TimeFields, CountdownEntryRules) {
    SimWorld w;
    FrmMain f;
    EXPECT_EQ(f.txtStartActionIn_KeyPress('a'), 0);
    EXPECT_EQ(f.txtStartActionIn_KeyPress('5'), '5');
    EXPECT_EQ(f.txtStartActionIn_KeyPress(8), 8);
    f.txtStartActionIn.setText("  ");
    f.txtStartActionIn_Change();
    EXPECT_EQ(f.txtStartActionIn.text(), "60");
    f.txtStartActionIn.setText("0");
    f.txtStartActionIn_Change();
    EXPECT_EQ(f.txtStartActionIn.text(), "10");
    f.txtCounter.setText("ten");
    f.txtCounter_LostFocus();
    EXPECT_EQ(f.txtCounter.text(), "9");
}

TEST(OptionBoxes, ChoosingRebootDisablesPowerOffAndShutdownEnablesItKeepingItsTick) {
    SimWorld w;
    FrmMain f;
    f.Form_Load();
    f.fireEvent("optActions(1).Click");
    EXPECT_FALSE(f.chkPowerOff.enabled());
    EXPECT_EQ(f.lblAction.caption(), "Reboot");
    EXPECT_EQ(w.last("Speak")->at("text").asString(), "action reboot acctivated");
    f.fireEvent("optActions(0).Click");
    EXPECT_TRUE(f.chkPowerOff.enabled());
    EXPECT_TRUE(f.chkPowerOff.checked());
}

TEST(OptionBoxes, TheDeletionWarningShowsWheneverTheStoredValueIsZero) {
    SimWorld w;
    FrmMain f;
    f.Form_Load();
    f.fireEvent("chkCleanHD.Click");
    EXPECT_EQ(w.count("MessageBox"), 1);
    EXPECT_EQ(w.last("MessageBox")->at("title").asString(), "Warning");
    EXPECT_EQ(CLng(stored(w, "chkCleanHD")), -1);
    f.fireEvent("chkCleanHD.Click");  // off
    f.fireEvent("chkCleanHD.Click");  // on again
    EXPECT_EQ(w.count("MessageBox"), 2);
}

TEST(OptionBoxes, SoundWithoutADeviceShowsTheNoticeAndUnticksBothBoxes) {
    SimWorld w;
    w.runtime.soundAvailable = false;
    FrmMain f;
    f.Form_Load();
    f.chkSound.setValue(0);
    f.fireEvent("chkSound.Click");
    EXPECT_EQ(w.last("MessageBox")->at("prompt").asString(),
              "There is no soundcard in your system or the\nvoice and sound functions have been disabled.");
    EXPECT_FALSE(f.chkSound.checked());
    EXPECT_FALSE(f.chkVoice.checked());
    EXPECT_FALSE(f.chkVoice.enabled());
    EXPECT_EQ(w.count("Speak"), 0);
}

TEST(OptionBoxes, RemoteControlShowsTheNextVersionNotice) {
    SimWorld w;
    ASSERT_TRUE(set_language("english.lng"));
    FrmMain f;
    f.fireEvent("chkAllowRemoteControl.Click");
    auto* box = w.last("MessageBox");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->at("prompt").asString(), "not yet\nnext version");
    EXPECT_EQ(box->at("buttons").asNumber(), 4160);
}

TEST(OptionBoxes, ACancelledProgramPickerKeepsTheChosenProgram) {
    SimWorld w;
    FrmMain f;
    f.txtStartProgram.setText("C:\\backup.exe");
    w.dialogs.pushCancel();
    f.cmdSelectProgram_Click();
    EXPECT_EQ(f.txtStartProgram.text(), "C:\\backup.exe");
    w.dialogs.pushAnswer("C:\\other.exe");
    f.cmdSelectProgram_Click();
    EXPECT_EQ(f.txtStartProgram.text(), "C:\\other.exe");
}

TEST(Closing, TheCloseBoxOnlyMinimises) {
    SimWorld w;
    FrmMain f;
    f.Form_Load();
    EXPECT_FALSE(f.Form_Unload());
    EXPECT_EQ(f.windowState(), WindowState::Minimized);
    EXPECT_FALSE(f.unloaded());
    EXPECT_TRUE(f.Timer2.enabled());
}

TEST(Closing, ExitAsksThenSavesLogsAndSaysGoodbye) {
    SimWorld w;
    FrmMain f;
    bool ended = false;
    f.onUnloaded = [&] { ended = true; };
    f.Form_Load();
    w.dialogs.pushAnswer(7);
    f.cmdExit_Click();
    EXPECT_FALSE(ended);
    WriteSetting(UserApp(), kSettings, "Crashtime", std::string("01.01.2026 00:00:00"));
    w.dialogs.pushAnswer(6);
    f.cmdExit_Click();
    EXPECT_EQ(f.life(), FrmMain::Life::Ending);
    EXPECT_FALSE(f.Timer2.enabled());
    // The goodbye is said and waited for on the loop, then the program ends.
    w.loop.runFor(1900);
    EXPECT_FALSE(ended);
    w.loop.runFor(200);
    EXPECT_TRUE(ended);
    EXPECT_EQ(CStr(stored(w, "Crashtime")), "");
    EXPECT_EQ(w.actionLogLines().back(), "Nocturo ended");
    EXPECT_EQ(w.last("Speak")->at("text").asString(), "goodbye and have a very nice day");
    auto* box = w.last("MessageBox");
    EXPECT_EQ(box->at("prompt").asString(), "Are you sure to Exit Program ?");
    EXPECT_EQ(box->at("buttons").asNumber(), 4100);
}

TEST(Tray, WithoutATrayTheWindowIsMinimisedNotHidden) {
    SimWorld w;
    w.tray.setAvailable(false);
    WriteSetting(UserApp(), kSettings, "chkStartInSysTray", 1);
    FrmMain f;
    f.Form_Load();
    EXPECT_TRUE(f.visible());
    EXPECT_EQ(f.windowState(), WindowState::Minimized);
    EXPECT_EQ(w.count("Shell_NotifyIcon"), 0);
    f.RestoreFromTray();
    EXPECT_EQ(f.windowState(), WindowState::Normal);
}

TEST(Closing, AnEndAskedForWhileTheWindowLoadsWaitsForTheLoadAndLosesNoSetting) {
    SimWorld w;
    WriteSetting(UserApp(), kSettings, "txtHour", std::string("07"));
    WriteSetting(UserApp(), kSettings, "optActions1", true);
    WriteSetting(UserApp(), kSettings, "chkAllowRemoteControl", 1);
    WriteSetting(MachineApp(), kSettings, "chkNtService", 1);
    FrmMain f;
    // In service mode the load waits two seconds for the service.
    bool service = true;
    f.serviceRunning = [&] { return service; };
    f.stopService = [&] { service = false; };
    int ended = 0;
    f.onUnloaded = [&] { ++ended; };
    w.loop.at(w.clock.monotonicMs() + 500, "end program", [&] { f.UnloadProgram(); });
    w.loop.at(w.clock.monotonicMs() + 700, "end again", [&] { f.UnloadProgram(); });
    f.Form_Load();
    EXPECT_FALSE(f.ready());
    w.loop.runFor(1000);
    EXPECT_EQ(ended, 0);  // still loading: the end waits for it
    ASSERT_TRUE(w.runUntil([&] { return f.unloaded(); }, 10000));
    EXPECT_EQ(ended, 1);
    EXPECT_FALSE(service);
    EXPECT_EQ(CStr(stored(w, "txtHour")), "07");
    EXPECT_EQ(CLng(stored(w, "optActions1")), -1);
    EXPECT_EQ(CLng(stored(w, "chkAllowRemoteControl")), 1);
    EXPECT_EQ(w.actionLogLines(), (std::vector<std::string>{"Nocturo started", "Nocturo ended"}));
}

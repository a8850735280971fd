#include "shell/FrmMain.h"

#include "base/InstallLayout.h"
#include "base/Links.h"
#include "base/Runtime.h"
#include "base/Strings.h"
#include "base/TimeFormat.h"
#include "base/Variant.h"
#include "base/Varn_ErrorLog.h"
#include "base/Varn_Language.h"
#include "base/Varn_Registry.h"
#include "base/Varn_WriteLogfile.h"
#include "cipher/Varn_encryption3.h"
#include "cleaner/Varn_FilePathInput.h"
#include "cleaner/frmCleanHDSetup.h"
#include "platform/IDialogs.h"
#include "platform/IProcesses.h"
#include "platform/IWindows.h"
#include "shell/FrmMainParts.h"
#include "shell/Varn_MsgBox.h"
#include "shell/frmSysTray.h"
#include "timevoice/Varn_Internet.h"
#include "timevoice/Varn_PlaySound.h"
#include "timevoice/Varn_TimeSync.h"

namespace nocturo {

using namespace frmmain;

std::string FrmMain::DigitPicture(int digit) { return "digit" + std::to_string(digit); }

FrmMain::FrmMain() : Form("FrmMain") {
    for (int i = 0; i < 8; ++i) {
        optActions[static_cast<size_t>(i)] = std::make_unique<OptionButton>(this, "optActions", i, &actionGroup);
        actionGroup.push_back(optActions[static_cast<size_t>(i)].get());
        optActions[static_cast<size_t>(i)]->setCaption(kActions[i].option);
    }
    for (int i = 0; i < 4; ++i) {
        optShutdownTime[static_cast<size_t>(i)] = std::make_unique<OptionButton>(this, "optShutdownTime", i, &modeGroup);
        modeGroup.push_back(optShutdownTime[static_cast<size_t>(i)].get());
        optShutdownTime[static_cast<size_t>(i)]->setCaption(kModeCaptions[i]);
    }
    optActions[0]->setValue(true);
    optShutdownTime[0]->setValue(true);

    // The window as designed.
    setCaption("Nocturo");
    setWidth(twips::NormalWidth);
    setHeight(twips::NormalHeight);
    layoutControls();
    cmdGo.setCaption("Shut Down now!");
    cmdExit.setCaption("Exit Program");
    cmdOptions.setCaption("&Options");
    cmdResetCounter.setCaption("Set");
    cmdSelectProgram.setCaption("...");
    cmdSelectPathLog.setCaption("...");
    cmdShowLog.setCaption("Show Log File");
    cmdNewVersion.setCaption("Check for new version");
    timeSyncSetUp();
    cmdResetLog.setCaption("Reset Log File");
    cmdSetupNocturoTime.setCaption("Setup");
    cmdSetupTimeWindow.setCaption("Setup");
    cmdSpeakTime.setCaption("The time is now ...");
    cmdSetupHDclean.setCaption("Setup HD Clean");
    lblAction.setCaption("Shut Down");
    lblError.setCaption("check Error log !");
    lblError.setVisible(false);
    lblTimeHeader.setVisible(false);
    lblShutdownTimeHeader.setVisible(false);
    imgMinimize.setToolTip("small Clock");
    imgHome.setToolTip("Send to up right corner");
    ImgStop.setToolTip("Double Click for Emergency Shut Down");
    ImgStop.setPicture("stop");
    imgCountdown.setPicture("idle");
    imgCounter0.setVisible(false);
    imgCounter1.setVisible(false);
    imgTimeUp.setPicture("arrowUp");
    imgTimeDown.setPicture("arrowDown");

    chkForce.setCaption("&Without questions");
    chkPowerOff.setCaption("Power &Off");
    chkStartProgram.setCaption("Start program and wait for exit before def. Action");
    chkCleanHD.setCaption("Clean HardDisk before Shutdown");
    chkDisableCancel.setCaption("Disable Cancel button");
    chkSound.setCaption("Enable sound / voice");
    chkStartInSysTray.setCaption("Start in system tray");
    chkTimeSync.setCaption("Time Sync at startup");
    chkVoice.setCaption("Voice time every");
    chkAllowRemoteControl.setCaption("Allow Remote Ctrl");
    chkWinOnTop.setCaption("Always on top");
    chkStartWithWindow.setCaption("Start with Windows");
    chkNtService.setCaption("Run as NT service");
    applyServiceCaptions();
    chkDT.setCaption("Adjust clock for daylight savings");
    chkSCR.setCaption("Start Varn Screen Saver after");
    chkPCLock.setCaption("Enable Secure PC ");
    chkArmed.setCaption("&Armed: act when the schedule below is due");
    chkSound.setValue(1);

    txtHour.setText("00");
    txtMinute.setText("00");
    txtSEC.setText("00");
    txtCounter.setText("9");
    txtStartActionIn.setText("360");
    txtLockTime.setText("600");
    cmbTimeUnit.setItems({"hours", "minutes", "seconds"});
    cmbTimeUnit.setListIndex(1);
    Combo1.setItems({"60", "30", "20", "15", "10", "5", "2"});
    Combo1.setListIndex(0);

    Timer2.setInterval(500);
    Timer2.setEnabled(false);
    ResetVoiceClock();
    registerEvents();
}

// The window's controls in twips (15 to a pixel at 96 dpi). The top strip
// is all the small clock shows: the drag area with the clock headers and the
// window buttons. Below it the normal window: clock, countdown, information
// line and command buttons. The options panel lies beyond the normal
// window's edges: the links to the right, the settings below.
void FrmMain::layoutControls() {
    constexpr int strip = twips::SmallClockHeight;
    lblTimeHeader.setGeometry(60, 0, 1200, strip);
    lblShutdownTimeHeader.setGeometry(1320, 0, 1680, strip);
    Image1.setGeometry(0, 0, 3270, strip);
    imgMinimize.setGeometry(3330, 0, 225, strip);
    imgHome.setGeometry(3600, 0, 225, strip);
    imgSysTray.setGeometry(3870, 0, 225, strip);

    lblTime.setGeometry(60, 255, 1200, 270);
    lblDate.setGeometry(1320, 255, 1500, 270);
    ErrorIndicator.setGeometry(3870, 285, 210, 210);
    imgCountdown.setGeometry(60, 570, 720, 540);
    imgCounter1.setGeometry(840, 570, 360, 540);
    imgCounter0.setGeometry(1200, 570, 360, 540);
    lblAction.setGeometry(1680, 570, 1860, 270);
    lblError.setGeometry(1680, 840, 1860, 270);
    ImgStop.setGeometry(3600, 600, 480, 480);
    lblNocturoInfo.setGeometry(60, 1110, 4020, 255);
    // The postpone buttons lie over the information line's right end while
    // they show (its texts are short then).
    cmdPostpone5.setGeometry(1440, 1110, 840, 255);
    cmdPostpone15.setGeometry(2340, 1110, 840, 255);
    cmdPostpone60.setGeometry(3240, 1110, 840, 255);
    cmdGo.setGeometry(45, 1365, 1530, 330);
    cmdOptions.setGeometry(1590, 1365, 1290, 330);
    cmdExit.setGeometry(2895, 1365, 1200, 330);

    // Links, right of the normal window.
    constexpr int linkLeft = 4320, linkWidth = 1860;
    Image2.setGeometry(linkLeft, 60, 480, 480);
    lblShowAbout.setGeometry(linkLeft + 570, 180, linkWidth - 570, 255);
    lblHelp.setGeometry(linkLeft, 600, linkWidth, 255);
    lblVarnHome.setGeometry(linkLeft, 870, linkWidth, 255);
    Label7.setGeometry(linkLeft, 1140, linkWidth, 255);
    Label18.setGeometry(linkLeft, 1410, linkWidth, 255);

    // Settings, below the normal window, row under row: a row of check
    // boxes is 255 twips high, a row with fields or buttons 330.
    constexpr int line = 255, field = 330, col2 = 3180, right = 6195;
    int y = 1770;
    auto row = [&](int height) {
        const int top = y;
        y += height;
        return top;
    };
    auto pair = [&](Control& first, Control& second) {
        const int top = row(line);
        first.setGeometry(120, top, col2 - 180, line);
        second.setGeometry(col2, top, right - col2, line);
    };
    // An option or check box with fields to its right, all centred on one row.
    auto fieldRow = [&](Control& box, int boxWidth) {
        const int top = row(field);
        box.setGeometry(120, top + (field - line) / 2, boxWidth, line);
        return top;
    };

    // The action.
    for (int i = 0; i < 4; ++i) pair(*optActions[static_cast<size_t>(i)], *optActions[static_cast<size_t>(i + 4)]);
    pair(chkForce, chkPowerOff);
    y += 60;
    // The schedule: whether it acts, then its four modes.
    chkArmed.setGeometry(120, row(line), right - 120, line);
    {
        const int top = fieldRow(*optShutdownTime[0], 2940);
        txtHour.setGeometry(col2, top, 390, field);
        txtMinute.setGeometry(col2 + 420, top, 390, field);
        txtSEC.setGeometry(col2 + 840, top, 390, field);
        imgTimeUp.setGeometry(col2 + 1290, top, 210, field / 2);
        imgTimeDown.setGeometry(col2 + 1290, top + field / 2, 210, field / 2);
    }
    cmdSetupNocturoTime.setGeometry(4740, fieldRow(*optShutdownTime[1], 4500), 1455, field);
    {
        const int top = fieldRow(*optShutdownTime[2], 2940);
        txtStartActionIn.setGeometry(col2, top, 810, field);
        cmbTimeUnit.setGeometry(col2 + 870, top, 1230, field);
        // "Set" loads the count of this row.
        cmdResetCounter.setGeometry(col2 + 2160, top, right - col2 - 2160, field);
    }
    cmdSetupTimeWindow.setGeometry(4740, fieldRow(*optShutdownTime[3], 4500), 1455, field);
    y += 60;
    // The options.
    chkStartProgram.setGeometry(120, row(line), right - 120, line);
    {
        const int top = row(field);
        txtStartProgram.setGeometry(360, top, 3180, field);
        cmdSelectProgram.setGeometry(3570, top, 390, field);
        lblParametersHeader.setGeometry(4020, top + (field - line) / 2, 1020, line);
        txtProgramParameters.setGeometry(5070, top, right - 5070, field);
    }
    cmdSetupHDclean.setGeometry(4740, fieldRow(chkCleanHD, 4500), 1455, field);
    pair(chkDisableCancel, chkAllowRemoteControl);
    pair(chkSound, chkWinOnTop);
    {
        const int top = fieldRow(chkVoice, 1830);
        Combo1.setGeometry(1980, top, 630, field);
        lblVoiceUnit.setGeometry(2640, top + (field - line) / 2, 480, line);
        cmdSpeakTime.setGeometry(col2, top, right - col2, field);
    }
    pair(chkStartInSysTray, chkTimeSync);
    pair(chkStartWithWindow, chkNtService);
    chkDT.setGeometry(120, row(line), right - 120, line);
    {
        const int top = fieldRow(chkSCR, 4020);
        txtLockTime.setGeometry(4200, top, 690, field);
        lblLockUnit.setGeometry(4950, top + (field - line) / 2, right - 4950, line);
    }
    chkPCLock.setGeometry(120, row(line), right - 120, line);
    {
        const int top = row(field);
        lblCounterHeader.setGeometry(120, top + (field - line) / 2, 1560, line);
        txtCounter.setGeometry(1740, top, 480, field);
        lblPasswordHeader.setGeometry(col2, top + (field - line) / 2, 1500, line);
        txtOptionsMenuPW.setGeometry(col2 + 1530, top, right - col2 - 1530, field);
    }
    {
        const int top = row(field);
        lblLogHeader.setGeometry(120, top + (field - line) / 2, 1020, line);
        txtPathLog.setGeometry(1200, top, right - 1200 - 450, field);
        cmdSelectPathLog.setGeometry(right - 390, top, 390, field);
    }
    {
        const int top = row(field);
        cmdNewVersion.setGeometry(120, top, 2340, field);
        cmdShowLog.setGeometry(2520, top, 1800, field);
        cmdResetLog.setGeometry(4380, top, right - 4380, field);
    }
    {
        const int top = row(field);
        cmdTimeSync.setGeometry(120, top, 2340, field);
        LblStatus.setGeometry(2520, top + (field - line) / 2, right - 2520, line);
    }
    optionsBottom_ = y;

    lblParametersHeader.setCaption("Parameters:");
    lblVoiceUnit.setCaption("min.");
    lblLockUnit.setCaption("seconds");
    lblCounterHeader.setCaption("Counter starts at");
    lblPasswordHeader.setCaption("Options password");
    lblLogHeader.setCaption("Log folder");
    lblHelp.setCaption("Help");
    lblVarnHome.setCaption("Varn on the Web");
    Label7.setCaption("Report an error");
    Label18.setCaption("Support Forum");
    lblShowAbout.setCaption("About...");
    lblHelp.setToolTip(links::ManualFile());
    const links::Addresses& web = links::Current();
    links::ShowLink(lblVarnHome, web.homePage);
    links::ShowLink(Label7, web.errorReportPage);
    links::ShowLink(Label18, web.supportForum);
    Image2.setPicture("nocturo");
    links::ShowLink(Image2, web.homePage);
    imgMinimize.setPicture("minimize");
    imgHome.setPicture("home");
    imgSysTray.setPicture("systray");
    imgSysTray.setToolTip("Send to system tray");
    Image1.setToolTip("Drag to move the window");
    lblError.setToolTip("Opens the error log");
    txtOptionsMenuPW.setPassword(true);
    cmdPostpone5.setCaption("+5 min");
    cmdPostpone15.setCaption("+15 min");
    cmdPostpone60.setCaption("+1 h");
    cmdPostpone5.setToolTip("Postpone by 5 minutes");
    cmdPostpone15.setToolTip("Postpone by 15 minutes");
    cmdPostpone60.setToolTip("Postpone by an hour");
    showPostponeButtons(false);
}

FrmMain::~FrmMain() {
    // The tasks end first, while the controls and the loop they use are there.
    run_.cancel();
    end_.cancel();
    versionCheck_.cancel();
    serviceCheck_.cancel();
    if (timerRegistered_ && hasRuntime()) {
        try {
            loop().removeTimer(timerId_);
        } catch (...) {
        }
    }
}

void FrmMain::onControlChanged(const std::string& what) {
    if (what == "Timer2") syncTimer();
}

void FrmMain::syncTimer() {
    if (!hasRuntime() || !rt().pf.loop) return;
    if (!timerRegistered_) {
        timerId_ = loop().addTimer([this] { Timer2_Timer(); });
        timerRegistered_ = true;
    }
    const bool alive = life_ == Life::Loading || life_ == Life::Running;
    loop().setTimer(timerId_, Timer2.interval(), Timer2.enabled() && alive);
}

void FrmMain::setTimer2Enabled(bool enabled) {
    Timer2.setEnabled(enabled);
    syncTimer();
}

void FrmMain::log(const std::string& text) { WriteToLog(txtPathLog.text(), ActionLogLine(text), ""); }

int FrmMain::selectedAction() const {
    for (int i = 0; i < 8; ++i)
        if (optActions[static_cast<size_t>(i)]->value()) return i;
    return -1;
}

// ---------------------------------------------------------------------------
// Window on top and message boxes

void FrmMain::SetTopMostWindow() { setTopMost(true); }
void FrmMain::ClearTopMostWindow() { setTopMost(false); }

int FrmMain::MsgBox(const std::string& prompt, int style, const std::string& title) {
    ClearTopMostWindow();
    int answer = dialogs().messageBox(prompt, style, title);
    if (chkWinOnTop.checked()) SetTopMostWindow();
    return answer;
}

void FrmMain::ShowErrorIndicator() {
    ErrorIndicator.setBackColor(0x8080FF);
    lblError.setVisible(true);
}

// ---------------------------------------------------------------------------
// Option boxes

namespace {
// The option-box handlers leave the topmost band while they run and come
// back when "Always on top" is ticked.
template <class F>
void onTopStep(FrmMain& f, const std::string& procedure, F&& body) {
    step(procedure, 1, [&] { f.ClearTopMostWindow(); });
    step(procedure, 2, std::forward<F>(body));
    step(procedure, 3, [&] {
        if (f.chkWinOnTop.checked()) f.SetTopMostWindow();
    });
}

void announceToggle(const CheckBox& box, const std::string& what) {
    if (rt().soundAvailable) Announce(what + (box.checked() ? " acctivated" : " deactivated"));
}
}  // namespace

void FrmMain::chkStartProgram_Click() {
    onTopStep(*this, proc("chkStartProgram_Click"), [&] { announceToggle(chkStartProgram, "start external program"); });
}

void FrmMain::chkStartInSysTray_Click() {
    step(proc("chkStartInSysTray_Click"), 1, [&] { announceToggle(chkStartInSysTray, "start in system tray"); });
}

void FrmMain::chkTimeSync_Click() {
    onTopStep(*this, proc("chkTimeSync_Click"),
              [&] { announceToggle(chkTimeSync, "time synchronization at startup"); });
}

void FrmMain::chkDisableCancel_Click() { onTopStep(*this, proc("chkDisableCancel_Click"), [] {}); }

void FrmMain::chkCleanHD_Click() {
    onTopStep(*this, proc("chkCleanHD_Click"), [&] {
        if (chkCleanHD.checked()) {
            if (rt().soundAvailable) Announce("hard disk cleaning before shutdown activated");
            if (CLng(ReadSetting(UserApp(), kSettings, "chkCleanHD", 0)) == 0)
                MsgBox("This option is deleting files on your system.\nPlease select very carefully the file specifications!",
                       platform::mb::Information | platform::mb::SystemModal, "Warning");
            WriteSetting(UserApp(), kSettings, "chkCleanHD", -1);
        } else {
            if (rt().soundAvailable) Announce("hard disk cleaning before shutdown deactivated");
            WriteSetting(UserApp(), kSettings, "chkCleanHD", 0);
        }
    });
}

void FrmMain::chkSound_Click() {
    onTopStep(*this, proc("chkSound_Click"), [&] {
        if (chkSound.checked()) {
            if (rt().soundAvailable) {
                Announce("voice system acctivated");
                chkVoice.setEnabled(true);
            } else {
                MsgBox("There is no soundcard in your system or the\nvoice and sound functions have been disabled.",
                       platform::mb::Information | platform::mb::SystemModal, "Info");
                chkSound.setValue(0);
                chkVoice.setValue(0);
                chkVoice.setEnabled(false);
            }
        } else {
            if (rt().soundAvailable) Announce("voice system deactivated");
            chkVoice.setValue(0);
            chkVoice.setEnabled(false);
        }
    });
}

void FrmMain::chkVoice_Click() {
    onTopStep(*this, proc("chkVoice_Click"), [&] {
        if (chkSound.checked() && rt().soundAvailable)
            Announce(chkVoice.checked() ? "voice clock acctivated" : "voice clock de activated");
    });
}

void FrmMain::cmdSpeakTime_Click() {
    step(proc("cmdSpeakTime_Click"), 1, [&] {
        if (chkSound.checked() && rt().soundAvailable) VoiceTime(lblTime.caption(), Combo1.text(), true);
    });
}

void FrmMain::soundOffForThisRun() {
    step(proc("soundOffForThisRun"), 1, [&] {
        if (files().pathStyle() != platform::PathStyle::Windows && !soundHeld_) {
            soundHeld_ = true;
            heldSound_ = chkSound.value();
            heldVoice_ = chkVoice.value();
        }
        chkSound.setValue(0);
        chkSound.setEnabled(false);
        chkVoice.setValue(0);
        chkVoice.setEnabled(false);
        cmdSpeakTime.setEnabled(false);
        if (soundHeld_) {
            const std::string why =
                "No sound now (no sound server or speech engine was found at start); your choice is kept for the "
                "next start";
            chkSound.setToolTip(why);
            chkVoice.setToolTip(why);
            cmdSpeakTime.setToolTip(why);
        }
    });
}

void FrmMain::chkAllowRemoteControl_Click() {
    onTopStep(*this, proc("chkAllowRemoteControl_Click"), [&] {
        MsgBox(LangText(21) + "\n" + LangText(22), platform::mb::Information | platform::mb::SystemModal, LangText(23));
    });
}

void FrmMain::chkWinOnTop_Click() {
    step(proc("chkWinOnTop_Click"), 1, [&] {
        if (chkWinOnTop.checked()) SetTopMostWindow();
        else ClearTopMostWindow();
    });
}

void FrmMain::cmdSelectProgram_Click() {
    step(proc("cmdSelectProgram_Click"), 1, [&] {
        std::string chosen =
            dialogs().openFile("Select a Program", "Program Files (*.exe)|*.exe|All Files (*.*)|*.*");
        // A cancelled dialog keeps the program already chosen.
        if (!chosen.empty()) txtStartProgram.setText(chosen);
    });
}

void FrmMain::cmdNewVersion_Click() {
    if (!cmdNewVersion.enabled() || versionCheck_.active()) return;  // a check is already running
    versionCheck_ = newVersionCheck();
    versionCheck_.start("cmdNewVersion_Click of Formular FrmMain");
}

Task FrmMain::newVersionCheck() {
    const std::string p = proc("cmdNewVersion_Click");
    step(p, 1, [&] { ClearTopMostWindow(); });
    step(p, 2, [&] {
        // The button stays off while the check waits for the network, so a
        // second click cannot start another one.
        cmdNewVersion.setEnabled(false);
        windows().setBusyPointer(true);
    });
    {
        // However the check ends (also when the program ends meanwhile), the
        // pointer and the button come back.
        struct Restore {
            FrmMain& f;
            ~Restore() {
                try {
                    windows().setBusyPointer(false);
                    f.cmdNewVersion.setEnabled(true);
                } catch (...) {
                }
            }
        } restore{*this};
        Task check = ChkNewVersion();
        co_await check;
    }
    step(p, 5, [&] {
        if (chkWinOnTop.checked()) SetTopMostWindow();
    });
}

void FrmMain::cmdSetupHDclean_Click() {
    step(proc("cmdSetupHDclean_Click"), 1, [&] {
        frmCleanHDSetup setup(&chkSound);
        setup.Form_Load();
        setVisible(false);
        if (showCleanerSetup) showCleanerSetup(setup);
        if (setup.loaded()) setup.Form_Unload();
        setVisible(true);
    });
}

// ---------------------------------------------------------------------------
// Time fields

namespace {
std::string twoDigits(long value) { return (value <= 9 && value >= 0 ? "0" : "") + std::to_string(value); }
}  // namespace

void FrmMain::rebuildTargetTime() {
    targetTime = txtHour.text() + ":" + txtMinute.text() + ":" + txtSEC.text();
    lblShutdownTimeHeader.setCaption(targetTime);
}

void FrmMain::txtHour_Click() {
    txtHour.select(0, static_cast<int>(txtHour.text().size()));
    hourSelected = true;
    minuteSelected = secSelected = false;
}

void FrmMain::txtMinute_Click() {
    txtMinute.select(0, static_cast<int>(txtMinute.text().size()));
    minuteSelected = true;
    hourSelected = secSelected = false;
}

void FrmMain::txtSEC_Click() {
    txtSEC.select(0, static_cast<int>(txtSEC.text().size()));
    secSelected = true;
    hourSelected = minuteSelected = false;
}

void FrmMain::timeFieldLostFocus(TextBox& box, const std::string& bound, const char* procedure) {
    step(procedure, 1, [&] {
        if (Trim(box.text()).empty()) return;
        if (Val(box.text()) <= 9 && box.text().size() == 1) box.setText("0" + box.text());
        if (Val(box.text()) > Val(bound)) box.setText(bound);
        rebuildTargetTime();
    });
}

void FrmMain::txtHour_LostFocus() { timeFieldLostFocus(txtHour, "23", "txtHour_LostFocus of Formular FrmMain"); }
void FrmMain::txtMinute_LostFocus() { timeFieldLostFocus(txtMinute, "59", "txtMinute_LostFocus of Formular FrmMain"); }
void FrmMain::txtSEC_LostFocus() { timeFieldLostFocus(txtSEC, "59", "txtSEC_LostFocus of Formular FrmMain"); }

void FrmMain::imgTimeUp_Click() {
    step(proc("imgTimeUp_Click"), 1, [&] {
        TextBox* box = hourSelected ? &txtHour : minuteSelected ? &txtMinute : secSelected ? &txtSEC : nullptr;
        if (!box) return;
        const long bound = hourSelected ? 23 : 59;
        if (Trim(box->text()).empty()) box->setText("00");
        long value = static_cast<long>(Val(box->text())) + 1;
        box->setText(twoDigits(value));
        if (value > bound) box->setText(std::to_string(bound));
        rebuildTargetTime();
    });
}

void FrmMain::imgTimeDown_Click() {
    step(proc("imgTimeDown_Click"), 1, [&] {
        TextBox* box = hourSelected ? &txtHour : minuteSelected ? &txtMinute : secSelected ? &txtSEC : nullptr;
        if (!box) return;
        if (Trim(box->text()).empty()) box->setText("00");
        long value = static_cast<long>(Val(box->text()));
        if (value == 0) return;
        box->setText(twoDigits(value - 1));
        rebuildTargetTime();
    });
}

void FrmMain::cmdSetupNocturoTime_Click() {
    step(proc("cmdSetupNocturoTime_Click"), 1, [&] {
        ClearTopMostWindow();
        if (showTimeSetup) showTimeSetup();
        if (chkWinOnTop.checked()) SetTopMostWindow();
    });
}

void FrmMain::cmdSetupTimeWindow_Click() {
    step(proc("cmdSetupTimeWindow_Click"), 1, [&] {
        ClearTopMostWindow();
        if (showWindowSetup) showWindowSetup();
        if (chkWinOnTop.checked()) SetTopMostWindow();
    });
}

// ---------------------------------------------------------------------------
// Logs

void FrmMain::cmdSelectPathLog_Click() {
    step(proc("cmdSelectPathLog_Click"), 1, [&] {
        std::string folder = BrowseForFolder("Select a Folder for the Log File", Layout().actionLogFolder);
        if (!folder.empty()) txtPathLog.setText(folder);
    });
}

void FrmMain::cmdShowLog_Click() {
    step(proc("cmdShowLog_Click"), 1, [&] {
        if (chkSound.checked()) PlaySoundOnce("open", true);
        OpenInTextEditor(LogFilePath(txtPathLog.text(), ""));
    });
}

void FrmMain::cmdResetLog_Click() {
    step(proc("cmdResetLog_Click"), 1, [&] {
        if (chkSound.checked()) PlaySoundOnce("recycle.wav", true);
        ResetLog(txtPathLog.text(), "");
    });
}

// ---------------------------------------------------------------------------
// Window sizes, moving, links

namespace {
void centreOnScreen(FrmMain& f) {
    f.setLeft((windows().screenWidthTwips() - f.width()) / 2);
    f.setTop((windows().screenHeightTwips() - f.height()) / 2);
}
}  // namespace

void FrmMain::cmdOptions_Click() {
    const std::string p = proc("cmdOptions_Click");
    const bool opening = cmdOptions.caption() == "&Options";
    if (opening) {
        bool allowed = false;
        step(p, 1, [&] {
            const std::string stored =
                Decrypt3(CStr(ReadSetting(MachineApp(), kSettings, "poption", std::string())), "");
            // Without a password there is nothing to ask for.
            if (stored.empty()) {
                allowed = true;
                return;
            }
            std::optional<std::string> entry =
                ACinputbox(10, "Options Menu Password :", "Nocturo", "", 0, 0, "", 0, true);
            if (!entry) return;  // cancelled
            allowed = *entry == stored;
            if (!allowed)
                MsgBox("Wrong password. The options stay closed.",
                       platform::mb::OkOnly | platform::mb::Exclamation | platform::mb::SystemModal, rt().appName);
        });
        if (!allowed) return;
        step(p, 2, [&] {
            if (chkSound.checked()) PlaySoundOnce("maximize", true);
        });
        step(p, 3, [&] {
            cmdOptions.setCaption("Save &Options");
            setHeight(twips::OptionsHeight);
            setWidth(twips::OptionsWidth);
        });
    } else {
        step(p, 2, [&] {
            if (chkSound.checked()) PlaySoundOnce("minimize", true);
        });
        step(p, 3, [&] {
            cmdOptions.setCaption("&Options");
            setHeight(twips::NormalHeight);
            setWidth(twips::NormalWidth);
        });
        // A new options password is typed twice before it is stored.
        std::string passwordNews;
        std::string stored;
        step(p, 4, [&] {
            stored = Decrypt3(CStr(ReadSetting(MachineApp(), kSettings, "poption", std::string())), "");
            const std::string typed = txtOptionsMenuPW.text();
            if (typed == stored) return;
            if (typed.empty()) {
                passwordNews = "The options password is removed: the options open without one.";
                return;
            }
            std::optional<std::string> again =
                ACinputbox(60, "Type the new options password again:", rt().appName, "", 0, 0, "", 0, true);
            if (again && *again == typed) {
                passwordNews = "The new options password is saved.";
                return;
            }
            txtOptionsMenuPW.setText(stored);
            passwordNews = again ? "The two passwords differ. The options password was not changed."
                                 : "The options password was not changed.";
        });
        step(p, 4, [&] {
            Save_Registry();
        });
        // Saved is said only of what was stored. The machine tree (the
        // options password, the service flag) takes administrator rights.
        std::string notSaved;
        step(p, 4, [&] {
            const SaveProblems& problems = lastSaveProblems();
            std::vector<std::string> refused;
            for (const std::string& name : problems.refused) {
                if (name == "poption") {
                    refused.push_back("the options password");
                    txtOptionsMenuPW.setText(stored);
                    rememberStoredPassword(stored);
                    passwordNews.clear();
                } else if (name == "chkNtService") {
                    refused.push_back("the service setting");
                } else {
                    refused.push_back(name);
                }
            }
            if (!refused.empty()) {
                std::string list;
                for (size_t i = 0; i < refused.size(); ++i)
                    list += (i == 0 ? "" : i + 1 == refused.size() ? " and " : ", ") + refused[i];
                notSaved = "Administrator rights are needed to change " + list + ": it was not saved." +
                           std::string(LineEnd()) + "Start " + rt().appName + " as an administrator to change it.";
            }
            if (problems.failed)
                notSaved += std::string(notSaved.empty() ? "" : LineEnd()) +
                            "The options could not all be saved: see the error log.";
        });
        step(p, 4, [&] {
            if (!notSaved.empty())
                MsgBox(notSaved, platform::mb::OkOnly | platform::mb::Exclamation | platform::mb::SystemModal,
                       rt().appName);
            else if (!passwordNews.empty())
                MsgBox(passwordNews, platform::mb::OkOnly | platform::mb::Information | platform::mb::SystemModal,
                       rt().appName);
        });
        // The user has seen and stored the settings: the schedule is theirs,
        // and so is the start at login the box shows.
        setScheduleArmed(true, false);
        step(p, 4, [&] {
            if (chkStartWithWindow.checked() && chkStartWithWindow.enabled()) chkStartWithWindow_Click();
        });
    }
    step(p, 5, [&] { centreOnScreen(*this); });
}

std::string FrmMain::smallClockActionTime() {
    if (optShutdownTime[2]->value()) {
        const long long end = SerialSeconds(clock().now()) + countdownSeconds;
        return FormatTime(FromSerialSeconds(end));
    }
    return targetTime;
}

void FrmMain::showSmallClock(const std::string& actionTime) {
    setHeight(twips::SmallClockHeight);
    imgMinimize.setToolTip("enlarge Clock");
    lblTimeHeader.setVisible(true);
    lblShutdownTimeHeader.setCaption(actionTime);
    lblShutdownTimeHeader.setVisible(true);
    // An open options panel closes without its settings being stored.
    cmdOptions.setCaption("&Options");
}

void FrmMain::imgMinimize_Click() {
    const std::string p = proc("imgMinimize_Click");
    if (height() == twips::SmallClockHeight) {
        step(p, 1, [&] {
            if (chkSound.checked()) PlaySoundOnce("RestoreUp", true);
        });
        step(p, 2, [&] {
            setHeight(twips::NormalHeight);
            imgMinimize.setToolTip("small Clock");
            lblTimeHeader.setVisible(false);
            lblShutdownTimeHeader.setVisible(false);
        });
    } else {
        step(p, 1, [&] {
            if (chkSound.checked()) PlaySoundOnce("RestoreDown", true);
        });
        // The action time first: when it cannot be worked out the label keeps
        // the time it showed before.
        std::string actionTime = lblShutdownTimeHeader.caption();
        step(p, 2, [&] { actionTime = smallClockActionTime(); });
        step(p, 3, [&] { showSmallClock(actionTime); });
    }
    step(p, 4, [&] { setWidth(twips::NormalWidth); });
}

void FrmMain::Form_Click() {
    step("form_click of Formular FrmMain", 1, [&] {
        setTop(30);
        const int screen = windows().screenWidthTwips();
        setLeft(screen - (twips::NormalWidth + screen / 18));
        setWidth(twips::NormalWidth);
        showSmallClock(targetTime);
    });
}

void FrmMain::imgHome_Click() {
    step(proc("imgHome_Click"), 1, [&] {
        if (chkSound.checked()) PlaySoundOnce("close", true);
    });
    Form_Click();
}

void FrmMain::Image1_MouseDown(int button) {
    step(proc("Image1_MouseDown"), 1, [&] {
        if (button == mouse::Right) showTrayMenuHere();
        else if (button == mouse::Left && onDragStart) onDragStart();
    });
}

void FrmMain::showTrayMenuHere() {
    Make_Popup_Menu();
    if (m_frmSysTray) m_frmSysTray->ShowMenu();
}

namespace {
void openLink(const char* handler, const std::string& address) {
    step(proc(handler), 1, [&] { links::OpenLinkIfAny(address); });
}
}  // namespace

void FrmMain::lblHelp_Click() {
    step(proc("lblHelp_Click"), 1, [&] { links::OpenManual(); });
}
void FrmMain::lblVarnHome_Click() { openLink("lblVarnHome_Click", links::Current().homePage); }
void FrmMain::Image2_Click() { openLink("lblVarnHome_Click", links::Current().homePage); }
void FrmMain::Label7_Click() { openLink("Label7_Click", links::Current().errorReportPage); }
void FrmMain::Label18_Click() { openLink("Label18_Click", links::Current().supportForum); }

void FrmMain::lblShowAbout_Click() {
    step(proc("lblShowAbout_Click"), 1, [&] {
        if (showAbout) showAbout();
    });
}

void FrmMain::lblError_Click() {
    step(proc("lblError_Click"), 1, [&] { ShowErrorLog(); });
}

// ---------------------------------------------------------------------------
// Named events: how views, scripts and tests drive the window

void FrmMain::registerEvents() {
    for (int i = 0; i < 8; ++i)
        on("optActions(" + std::to_string(i) + ").Click", [this, i] { optActions_Click(i); });
    for (int i = 0; i < 4; ++i)
        on("optShutdownTime(" + std::to_string(i) + ").Click", [this, i] { optShutdownTime_Click(i); });
    static const std::pair<const char*, void (FrmMain::*)()> clicks[] = {
        {"cmdGo", &FrmMain::cmdGo_Click},
        {"cmdExit", &FrmMain::cmdExit_Click},
        {"cmdOptions", &FrmMain::cmdOptions_Click},
        {"cmdResetCounter", &FrmMain::cmdResetCounter_Click},
        {"cmdSelectProgram", &FrmMain::cmdSelectProgram_Click},
        {"cmdSetupHDclean", &FrmMain::cmdSetupHDclean_Click},
        {"cmdSelectPathLog", &FrmMain::cmdSelectPathLog_Click},
        {"cmdShowLog", &FrmMain::cmdShowLog_Click},
        {"cmdNewVersion", &FrmMain::cmdNewVersion_Click},
        {"cmdTimeSync", &FrmMain::cmdTimeSync_Click},
        {"cmdPostpone5", &FrmMain::cmdPostpone5_Click},
        {"cmdPostpone15", &FrmMain::cmdPostpone15_Click},
        {"cmdPostpone60", &FrmMain::cmdPostpone60_Click},
        {"cmdResetLog", &FrmMain::cmdResetLog_Click},
        {"cmdSetupNocturoTime", &FrmMain::cmdSetupNocturoTime_Click},
        {"cmdSetupTimeWindow", &FrmMain::cmdSetupTimeWindow_Click},
        {"imgCountdown", &FrmMain::imgCountdown_Click},
        {"imgSysTray", &FrmMain::imgSysTray_Click},
        {"imgTimeUp", &FrmMain::imgTimeUp_Click},
        {"imgTimeDown", &FrmMain::imgTimeDown_Click},
        {"imgMinimize", &FrmMain::imgMinimize_Click},
        {"imgHome", &FrmMain::imgHome_Click},
        {"txtHour", &FrmMain::txtHour_Click},
        {"txtMinute", &FrmMain::txtMinute_Click},
        {"txtSEC", &FrmMain::txtSEC_Click},
        {"lblHelp", &FrmMain::lblHelp_Click},
        {"lblVarnHome", &FrmMain::lblVarnHome_Click},
        {"Image2", &FrmMain::Image2_Click},
        {"Label7", &FrmMain::Label7_Click},
        {"Label18", &FrmMain::Label18_Click},
        {"lblShowAbout", &FrmMain::lblShowAbout_Click},
        {"lblError", &FrmMain::lblError_Click},
        {"ErrorIndicator", &FrmMain::lblError_Click},
        {"Form", &FrmMain::Form_Click},
        // Check boxes: the click has already toggled the box.
        {"chkStartProgram", &FrmMain::chkStartProgram_Click},
        {"chkCleanHD", &FrmMain::chkCleanHD_Click},
        {"chkDisableCancel", &FrmMain::chkDisableCancel_Click},
        {"chkSound", &FrmMain::chkSound_Click},
        {"chkVoice", &FrmMain::chkVoice_Click},
        {"cmdSpeakTime", &FrmMain::cmdSpeakTime_Click},
        {"chkStartInSysTray", &FrmMain::chkStartInSysTray_Click},
        {"chkTimeSync", &FrmMain::chkTimeSync_Click},
        {"chkAllowRemoteControl", &FrmMain::chkAllowRemoteControl_Click},
        {"chkWinOnTop", &FrmMain::chkWinOnTop_Click},
        {"chkStartWithWindow", &FrmMain::chkStartWithWindow_Click},
        {"chkNtService", &FrmMain::chkNtService_Click},
        {"chkPCLock", &FrmMain::chkPCLock_Click},
        {"chkSCR", &FrmMain::chkSCR_Click},
        {"chkArmed", &FrmMain::chkArmed_Click},
    };
    for (const auto& [name, handler] : clicks) on(std::string(name) + ".Click", [this, h = handler] { (this->*h)(); });
    on("ImgStop.DblClick", [this] { ImgStop_DblClick(); });
    onArg("Image1.MouseDown", [this](int button) { Image1_MouseDown(button); });
    on("txtHour.LostFocus", [this] { txtHour_LostFocus(); });
    on("txtMinute.LostFocus", [this] { txtMinute_LostFocus(); });
    on("txtSEC.LostFocus", [this] { txtSEC_LostFocus(); });
    on("txtCounter.LostFocus", [this] { txtCounter_LostFocus(); });
    on("txtStartActionIn.Change", [this] { txtStartActionIn_Change(); });
    on("txtStartActionIn.LostFocus", [this] { txtStartActionIn_LostFocus(); });
    on("cmbTimeUnit.Click", [this] { cmbTimeUnit_Click(); });
    on("txtLockTime.Change", [this] { txtLockTime_Change(); });
    onKey("txtStartActionIn", [this](std::int16_t key) { return txtStartActionIn_KeyPress(key); });
    on("Form.Close", [this] { Form_Unload(); });
    on("Program.Unload", [this] { UnloadProgram(); });
}

}  // namespace nocturo

#include "shell/FrmMain.h"

#include <limits>

#include "base/Runtime.h"
#include "base/Strings.h"
#include "base/TimeFormat.h"
#include "base/Variant.h"
#include "base/Varn_ErrorLog.h"
#include "base/Varn_Language.h"
#include "base/Varn_Registry.h"
#include "base/Varn_WriteLogfile.h"
#include "base/Links.h"
#include "shell/Varn_MsgBox.h"
#include "shell/frmSysTray.h"
#include "cipher/Varn_encryption3.h"
#include "base/Varn_File_Dir.h"
#include "cleaner/Varn_FilePathInput.h"
#include "cleaner/frmCleanHDSetup.h"
#include "cleaner/frmCleanNow.h"
#include "platform/Error.h"
#include "platform/IDialogs.h"
#include "platform/IProcesses.h"
#include "platform/ITray.h"
#include "schedule/Varn_ShellAndWait.h"
#include "schedule/Varn_Time.h"
#include "schedule/Varn_modShutDown.h"
#include "timevoice/Varn_Internet.h"
#include "timevoice/Varn_PlaySound.h"
#include "timevoice/Varn_TimeSync.h"

namespace nocturo {

namespace {

constexpr const char* kCancelCaption = "&cancel";

struct ActionRow {
    const char* option;
    std::int32_t code;
    const char* goCaption;     // after choosing the option
    const char* resetCaption;  // in the ready state
    const char* label;
    const char* announcement;
};

const ActionRow kActions[8] = {
    {"Shut&down", action::Shutdown, "Shut Down now!", "Shut Down Now!", "Shut Down", "action shut down acctivated"},
    {"&Reboot", action::Restart, "Reboot now!", "Reboot Now!", "Reboot", "action reboot acctivated"},
    {"&Logoff", action::Logoff, "LogOff now!", "LogOff Now!", "Log Off", "action LogOff acctivated"},
    {"Start &Program only", action::StartProgram, "Start Program!", "Start Program!", "Start Program",
     "action start program acctivated"},
    {"&Alarm sound only", action::Alarm, "Alarm Mode!", "Alarm Mode!", "Alarm Mode", "Alarm Mode acctivated"},
    {"Suspend/Standby", action::Suspend, "Suspend PC!", "Suspend now!", "Suspend PC", "action Suspend PC acctivated"},
    {"Hibernate", action::Hibernate, "Hibernate PC!", "Hibernate now!", "Hibernate PC", "action Hibernate PC acctivated"},
    {"Lock Computer", action::LockPC, "Lock PC!", "Lock PC now!", "Lock PC", "action lock pc acctivated"},
};

const char* kModeCaptions[4] = {"Start Action at", "Start Action depending on weekday", "Start Action in",
                                "Start Action if in defined time window"};
const int kModeIntervals[4] = {500, 500, 1000, 10000};

// The log text of an action code.
std::string actionText(std::int32_t code) {
    switch (code) {
    case action::Shutdown: return "Shutdown";
    case action::Restart: return "Restart";
    case action::Logoff: return "Logoff current user";
    case action::PowerOff: return "Power off (standby mode)";
    case action::StartProgram: return "Start program";
    case action::Alarm: return "Alarm";
    case action::Hibernate: return "Hibernate PC";
    case action::Suspend: return "Suspend PC";
    case action::LockPC: return "Lock PC";
    default: return "";
    }
}

struct NamedAction {
    const char* name;
    std::int32_t code;
    const char* goCaption;
    const char* label;
};

const NamedAction kNamedActions[] = {
    {"Suspend", action::Suspend, "Suspend now!", "Suspend PC"},
    {"Hibernate", action::Hibernate, "Hibernate now!", "Hibernate PC"},
    {"LockPC", action::LockPC, "Lock PC now!", "Lock PC"},
    {"Nocturo", action::Shutdown, "Shut Down now!", "Shut Down"},
    {"Reboot", action::Restart, "Reboot now!", "Reboot"},
    {"LogOff", action::Logoff, "LogOff now!", "Log Off"},
    {"PowerOff", action::PowerOff, "PowerOff now!", "Power Off"},
};

std::string proc(const char* handler) { return std::string(handler) + " of Formular FrmMain"; }

// One statement of a main-window handler: failures are logged under the
// handler's name with the program as the source, and the handler goes on.
template <class F>
bool step(const std::string& procedure, long line, F&& f) {
    return Step(procedure.c_str(), line, std::forward<F>(f), kProgramSource);
}

bool isWindowsStyle() { return files().pathStyle() == platform::PathStyle::Windows; }

// Locks the computer: the lock program where there is one, else the session's lock.
void lockComputer() {
    if (isWindowsStyle()) processes().start("LockPc.exe", {}, platform::ws::NormalNoFocus);
    else power().lockWorkstation();
}

}  // namespace

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
    chkDT.setCaption("Adjust clock for daylight savings");
    chkSCR.setCaption("Start Varn Screen Saver after");
    chkPCLock.setCaption("Enable Secure PC ");
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
    // The schedule.
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
        cmdResetCounter.setGeometry(2280, top, 720, field);
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
    lblHelp.setToolTip(links::HelpPage);
    lblVarnHome.setToolTip(links::HomePage);
    Label7.setToolTip(links::ErrorReportPage);
    Label18.setToolTip(links::SupportForum);
    Image2.setPicture("nocturo");
    Image2.setToolTip(links::HomePage);
    imgMinimize.setPicture("minimize");
    imgHome.setPicture("home");
    imgSysTray.setPicture("systray");
    imgSysTray.setToolTip("Send to system tray");
    Image1.setToolTip("Drag to move the window");
    lblError.setToolTip("Opens the error log");
    txtOptionsMenuPW.setPassword(true);
}

FrmMain::~FrmMain() {
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
    loop().setTimer(timerId_, Timer2.interval(), Timer2.enabled() && !unloaded_);
}

void FrmMain::setTimer2Enabled(bool enabled) {
    Timer2.setEnabled(enabled);
    syncTimer();
}

void FrmMain::log(const std::string& text) { WriteToLog(txtPathLog.text(), ActionLogLine(text), ""); }

int FrmMain::selectedMode() const {
    for (int i = 0; i < 4; ++i)
        if (optShutdownTime[static_cast<size_t>(i)]->value()) return i;
    return -1;
}

int FrmMain::selectedAction() const {
    for (int i = 0; i < 8; ++i)
        if (optActions[static_cast<size_t>(i)]->value()) return i;
    return -1;
}

void FrmMain::applyActionRow(int index, bool nowCaptions) {
    const ActionRow& row = kActions[index];
    actionCode = row.code;
    cmdGo.setCaption(nowCaptions ? row.resetCaption : row.goCaption);
    lblAction.setCaption(row.label);
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
// Start-up and shut-down

void FrmMain::Form_Load() {
    const std::string p = "Form_Load of Formular fMainForm";
    setLoaded(true);
    step(p, 1, [&] {
        actionCode = action::Shutdown;
        setCaption(rt().appName);
        lblTimeHeader.setVisible(false);
    });
    step(p, 2, [&] {
        chkNtService.setValue(CInt(ReadSetting(MachineApp(), kSettings, "chkNtService", 0)));
        if (chkNtService.checked()) {
            chkStartWithWindow.setValue(0);
            chkStartWithWindow.setEnabled(false);
        }
    });
    step(p, 3, [&] {
        if (rt().winVersionCode < 20) {
            setTimer2Enabled(true);
            chkNtService.setValue(0);
            chkNtService.setEnabled(false);
        } else if (chkNtService.checked() && serviceRunning) {
            // The service's start and stop events switch the timer.
            Wait(2);
            if (serviceRunning()) cmdExit.setEnabled(true);
            else sound().beep();
        } else {
            setTimer2Enabled(true);
        }
    });
    step(p, 4, [&] {
        if (chkSound.checked() && rt().soundAvailable) Announce("welcome to varn nocturo");
    });
    step(p, 5, [&] { Load_Registry(); });
    step(p, 6, [&] {
        const int code = rt().winVersionCode;
        if (code < 12 || code == 20 || code == 21) {
            optActions[5]->setEnabled(false);
            optActions[6]->setEnabled(false);
        }
        if (code < 20) chkNtService.setEnabled(false);
    });
    step(p, 7, [&] {
        if (chkStartInSysTray.checked()) Send_to_SysTray();
        else setVisible(true);
    });
    step(p, 8, [&] { log("Nocturo started"); });
    ready_ = true;
    DoEvents();
    // Told to end while loading (the loading yields): now that the controls
    // hold the stored settings, saving them on the way out loses nothing.
    if (unloadPending_) {
        unloadPending_ = false;
        UnloadProgram();
    }
}

bool FrmMain::Form_Unload() {
    const std::string p = proc("Form_Unload");
    if (tag().empty()) {
        // The close box only minimises: the program keeps running.
        setWindowState(WindowState::Minimized);
        return false;
    }
    step(p, 2, [&] { Save_Registry(); });
    step(p, 3, [&] { log("Nocturo ended"); });
    step(p, 4, [&] {
        if (chkSound.checked()) {
            if (rt().soundAvailable) Announce("goodbye and have a very nice day");
            Wait(2);
        }
    });
    unloaded_ = true;
    step(p, 5, [&] {
        Timer2.setEnabled(false);
        if (timerRegistered_) {
            loop().removeTimer(timerId_);
            timerRegistered_ = false;
        }
        // The tray window ends with the program, and its icon with it.
        if (m_frmSysTray) m_frmSysTray->Unload();
        m_frmSysTray.reset();
        inTray = false;
        setVisible(false);
        setLoaded(false);
    });
    if (onUnloaded) onUnloaded();
    return true;
}

void FrmMain::UnloadProgram() {
    // Once is enough: a second request while the first one runs (its waits
    // yield) changes nothing.
    if (unloaded_ || unloading_) return;
    if (!ready_) {
        unloadPending_ = true;
        return;
    }
    // An action counting down is cancelled first: the program never acts
    // after it has been told to end.
    unloading_ = true;
    if (cmdGo.caption() == kCancelCaption) ShutDown_Action("");
    setTag("stop");
    step(proc("UnloadProgram"), 2, [&] {
        if (rt().winVersionCode >= 20 && serviceRunning && serviceRunning()) {
            if (stopService) stopService();
            while (serviceRunning()) WaitEvents();
        }
    });
    Form_Unload();
}

void FrmMain::cmdExit_Click() {
    step(proc("cmdExit_Click"), 1, [&] {
        if (MsgBox("Are you sure to Exit Program ?", platform::mb::YesNo | platform::mb::SystemModal, rt().appName) ==
            platform::mb::IdYes) {
            setTimer2Enabled(false);
            UnloadProgram();
        }
    });
}

// ---------------------------------------------------------------------------
// Settings

void FrmMain::Load_Registry() {
    const std::string p = "Load_Registry of Formular fMainForm";
    const std::string u = UserApp();
    auto text = [&](const char* name, const std::string& def) { return CStr(ReadSetting(u, kSettings, name, def)); };
    // A check box is 0 or 1; the cleaning option's own handler stores a
    // ticked box as -1, which reads as ticked.
    auto check = [&](const char* name, int def) { return CInt(ReadSetting(u, kSettings, name, def)) == 0 ? 0 : 1; };
    auto index = [&](const char* name, int def) { return static_cast<int>(CInt(ReadSetting(u, kSettings, name, def))); };
    long line = 0;

    step(p, ++line, [&] {
        txtOptionsMenuPW.setText(Decrypt3(CStr(ReadSetting(MachineApp(), kSettings, "poption", std::string())), ""));
    });
    step(p, ++line, [&] { setLeft(static_cast<int>(CDbl(ReadSetting(u, kSettings, "MainLeft", 1000)))); });
    step(p, ++line, [&] { setTop(static_cast<int>(CDbl(ReadSetting(u, kSettings, "MainTop", 1000)))); });
    step(p, ++line, [&] { setHeight(static_cast<int>(CDbl(ReadSetting(u, kSettings, "MainHeight", 1725)))); });
    step(p, ++line, [&] {
        if (height() == twips::SmallClockHeight) {
            imgMinimize.setToolTip("enlarge Clock");
            lblTimeHeader.setVisible(true);
            lblShutdownTimeHeader.setVisible(true);
        } else {
            setHeight(twips::NormalHeight);
        }
    });
    step(p, ++line, [&] { setWidth(twips::NormalWidth); });

    struct TextRow { const char* name; TextBox* box; std::string def; };
    struct CheckRow { const char* name; CheckBox* box; int def; };
    step(p, ++line, [&] { txtLockTime.setText(text("txtLockTime", "600")); });
    step(p, ++line, [&] { chkSCR.setValue(check("chkSCR", 0)); });
    step(p, ++line, [&] { chkSound.setValue(check("chkSound", 1)); });
    step(p, ++line, [&] { txtHour.setText(text("txtHour", "00")); });
    step(p, ++line, [&] { txtMinute.setText(text("txtMinute", "00")); });
    step(p, ++line, [&] { txtSEC.setText(text("txtSEC", "00")); });
    step(p, ++line, [&] { txtPathLog.setText(text("txtPathLog", sysinfo().programFolder())); });
    step(p, ++line, [&] {
        rebuildTargetTime();
    });
    for (const TextRow& row : {TextRow{"txtStartProgram", &txtStartProgram, ""},
                               TextRow{"txtProgramParameters", &txtProgramParameters, ""},
                               TextRow{"txtCounter", &txtCounter, "9"}})
        step(p, ++line, [&] { row.box->setText(text(row.name, row.def)); });
    for (const CheckRow& row : {CheckRow{"chkPowerOff", &chkPowerOff, 1}, CheckRow{"chkForce", &chkForce, 1},
                                CheckRow{"chkStartWithWindow", &chkStartWithWindow, 1},
                                CheckRow{"chkTimeSync", &chkTimeSync, 0},
                                CheckRow{"chkStartInSysTray", &chkStartInSysTray, 0},
                                CheckRow{"chkWinOnTop", &chkWinOnTop, 0}, CheckRow{"chkStartProgram", &chkStartProgram, 0},
                                CheckRow{"chkCleanHD", &chkCleanHD, 0}, CheckRow{"chkPCLock", &chkPCLock, 0}})
        step(p, ++line, [&] { row.box->setValue(check(row.name, row.def)); });

    // Option buttons in index order: a true value clears its siblings, so
    // the highest stored true wins; all false leaves none chosen.
    for (int i = 0; i < 8; ++i)
        step(p, ++line, [&] {
            optActions[static_cast<size_t>(i)]->setValue(
                CBool(ReadSetting(u, kSettings, "optActions" + std::to_string(i), i == 0 ? -1 : 0)));
        });
    for (int i = 0; i < 4; ++i)
        step(p, ++line, [&] {
            optShutdownTime[static_cast<size_t>(i)]->setValue(
                CBool(ReadSetting(u, kSettings, "optShutdownTime" + std::to_string(i), i == 0 ? -1 : 0)));
        });
    // What choosing those options does: the action's captions and code, the
    // timer's pace for the schedule mode.
    step(p, ++line, [&] {
        int a = selectedAction();
        if (a >= 0) {
            applyActionRow(a, true);
            chkPowerOff.setEnabled(a == 0);
        }
        int m = selectedMode();
        if (m >= 0) Timer2.setInterval(kModeIntervals[m]);
    });

    step(p, ++line, [&] { Combo1.setListIndex(index("VoicePeriode", 0)); });
    step(p, ++line, [&] { chkVoice.setValue(check("chkVoice", 1)); });
    step(p, ++line, [&] { chkDT.setValue(check("chkDT", 1)); });
    step(p, ++line, [&] { chkDisableCancel.setValue(check("chkDisableCancel", 0)); });
    step(p, ++line, [&] { chkAllowRemoteControl.setValue(check("chkAllowRemoteControl", 0)); });
    step(p, ++line, [&] { cmbTimeUnit.setListIndex(index("cmbTimeUnit", 1)); });
    step(p, ++line, [&] { txtStartActionIn.setText(text("txtStartActionIn", "360")); });
    step(p, ++line, [&] {
        countdownSeconds = CLng(Trim(txtStartActionIn.text()));
        // An overflow leaves the countdown at its value before the multiplication.
        const std::string unit = cmbTimeUnit.text();
        const long long factor = unit == "minutes" ? 60 : unit == "hours" ? 3600 : 1;
        const long long total = static_cast<long long>(countdownSeconds) * factor;
        if (total > std::numeric_limits<std::int32_t>::max() || total < std::numeric_limits<std::int32_t>::min())
            throw platform::Error(platform::err::Overflow, "Overflow");
        countdownSeconds = static_cast<std::int32_t>(total);
    });
}

void FrmMain::Save_Registry() {
    const std::string p = "Save_Registry of Formular fMainForm";
    const std::string u = UserApp();
    const std::string m = MachineApp();
    SettingsBatch batch(p, kProgramSource);
    long line = 0;
    auto save = [&](const std::string& app, const std::string& name, const Variant& value) {
        step(p, ++line, [&] { WriteSetting(app, kSettings, name, value); });
    };
    save(m, "poption", Encrypt3(txtOptionsMenuPW.text(), ""));
    save(m, "chkNtService", chkNtService.value());
    save(u, "MainLeft", left());
    save(u, "MainTop", top());
    save(u, "MainHeight", height());
    save(u, "Crashtime", std::string());
    save(u, "txtLockTime", txtLockTime.text());
    save(u, "chkSCR", chkSCR.value());
    save(u, "chkSound", chkSound.value());
    save(u, "txtHour", txtHour.text());
    save(u, "txtMinute", txtMinute.text());
    save(u, "txtSEC", txtSEC.text());
    save(u, "txtPathLog", txtPathLog.text());
    save(u, "txtStartProgram", txtStartProgram.text());
    save(u, "txtProgramParameters", txtProgramParameters.text());
    save(u, "txtCounter", txtCounter.text());
    save(u, "chkPowerOff", chkPowerOff.value());
    save(u, "chkForce", chkForce.value());
    save(u, "chkStartWithWindow", chkStartWithWindow.value());
    save(u, "chkTimeSync", chkTimeSync.value());
    save(u, "chkStartInSysTray", chkStartInSysTray.value());
    save(u, "chkWinOnTop", chkWinOnTop.value());
    save(u, "chkStartProgram", chkStartProgram.value());
    save(u, "chkCleanHD", chkCleanHD.value());
    save(u, "chkPCLock", chkPCLock.value());
    for (int i = 0; i < 8; ++i) save(u, "optActions" + std::to_string(i), optActions[static_cast<size_t>(i)]->value());
    for (int i = 0; i < 4; ++i)
        save(u, "optShutdownTime" + std::to_string(i), optShutdownTime[static_cast<size_t>(i)]->value());
    save(u, "VoicePeriode", Combo1.listIndex());
    save(u, "cmbTimeUnit", cmbTimeUnit.listIndex());
    save(u, "txtStartActionIn", txtStartActionIn.text());
    save(u, "chkVoice", chkVoice.value());
    save(u, "chkDT", chkDT.value());
    save(u, "chkDisableCancel", chkDisableCancel.value());
    save(u, "chkAllowRemoteControl", chkAllowRemoteControl.value());
}

// ---------------------------------------------------------------------------
// Actions and the ready state

void FrmMain::optActions_Click(int index) {
    const std::string p = proc("optActions_Click");
    if (index < 0 || index > 7) return;
    step(p, 1, [&] { chkPowerOff.setEnabled(index == 0); });
    step(p, 2, [&] {
        if (chkSound.checked() && rt().soundAvailable) Announce(kActions[index].announcement);
        applyActionRow(index, false);
    });
}

void FrmMain::reset_Action_Status() {
    const std::string p = proc("reset_Action_Status");
    step(p, 1, [&] {
        imgCounter0.setVisible(false);
        imgCounter1.setVisible(false);
        lblNocturoInfo.setVisible(true);
        imgCountdown.setPicture("idle");
    });
    step(p, 2, [&] {
        setTimer2Enabled(true);
        rt().emergency = false;
        cmdGo.setEnabled(true);
    });
    step(p, 3, [&] {
        int a = selectedAction();
        if (a >= 0) applyActionRow(a, true);
    });
    step(p, 4, [&] {
        if (optShutdownTime[2]->value()) cmdResetCounter_Click();
    });
}

void FrmMain::optShutdownTime_Click(int index) {
    step(proc("optShutdownTime_Click"), 1, [&] {
        ClearTopMostWindow();
        if (chkWinOnTop.checked()) SetTopMostWindow();
        if (index >= 0 && index < 4) Timer2.setInterval(kModeIntervals[index]);
        DoEvents();
    });
}

void FrmMain::cmdResetCounter_Click() {
    step("txtStartActionIn_Change of Formular FrmMain", 1, [&] {
        std::int32_t value = CLng(Trim(txtStartActionIn.text()));
        const std::string unit = cmbTimeUnit.text();
        long long total = value;
        if (unit == "minutes") total *= 60;
        else if (unit == "hours") total *= 3600;
        if (total > std::numeric_limits<std::int32_t>::max()) throw platform::Error(platform::err::Overflow, "Overflow");
        countdownSeconds = static_cast<std::int32_t>(total);
        DoEvents();
    });
}

bool FrmMain::IsDigit(std::int16_t key) { return key == 8 || (key >= 48 && key <= 57); }

std::int16_t FrmMain::txtStartActionIn_KeyPress(std::int16_t key) { return IsDigit(key) ? key : 0; }

void FrmMain::txtStartActionIn_Change() {
    step(proc("txtStartActionIn_change"), 1, [&] {
        if (Trim(txtStartActionIn.text()).empty()) txtStartActionIn.setText("60");
        else if (Val(txtStartActionIn.text()) < 1) txtStartActionIn.setText("10");
    });
}

void FrmMain::txtCounter_LostFocus() {
    step("txtCounter_lostfocus of Formular FrmMain", 1, [&] {
        if (!IsNumeric(txtCounter.text())) txtCounter.setText("9");
    });
}

void FrmMain::imgCountdown_Click() {
    step(proc("imgCountdown_Click"), 1, [&] {
        if (isWindowsStyle()) processes().start("LockPcScr.scr", {}, platform::ws::MaximizedFocus);
        else power().lockWorkstation();
    });
}

// ---------------------------------------------------------------------------
// The main timer

bool FrmMain::scheduleDue(const std::string& target, long long nowSerial) {
    if (target == lblTime.caption()) return true;
    // A busy machine may skip the due second between two ticks: a target
    // after the previous tick's clock and not after now is due as well,
    // when the gap is short.
    if (previousTick_ < 0 || !IsWellFormedTime(target)) return false;
    const long long gap = nowSerial - previousTick_;
    if (gap <= 0 || gap > 10) return false;
    const int targetSec = ((target[0] - '0') * 10 + (target[1] - '0')) * 3600 +
                          ((target[3] - '0') * 10 + (target[4] - '0')) * 60 + (target[6] - '0') * 10 + (target[7] - '0');
    const long long today = nowSerial - ((nowSerial % 86400) + 86400) % 86400;
    for (long long day : {today, today - 86400}) {
        const long long t = day + targetSec;
        if (t > previousTick_ && t <= nowSerial) return true;
    }
    return false;
}

void FrmMain::Timer2_Timer() {
    if (rt().tickBusy) return;  // never re-entered
    const std::string p = proc("Timer2_Timer");
    rt().tickBusy = true;
    platform::LocalTime now{};
    long long nowSerial = 0;
    DoEvents();
    step(p, 2, [&] {
        // Ctrl+Q brings the window back from the tray, wherever the focus is.
        if (!rt().pf.windows) return;
        if (windows().keyDown(platform::vk::Control) && windows().keyDown('Q')) RestoreFromTray();
    });
    step(p, 3, [&] {
        now = clock().now();
        nowSerial = SerialSeconds(now);
        lblTime.setCaption(FormatTime(now));
        lblDate.setCaption(FormatDate(now));
        lblTimeHeader.setCaption(lblTime.caption());
    });
    step(p, 4, [&] {
        const std::string u = UserApp();
        switch (selectedMode()) {
        case 0: {
            targetTime = txtHour.text() + ":" + txtMinute.text() + ":" + txtSEC.text();
            lblNocturoInfo.setCaption(" at  " + targetTime);
            if (scheduleDue(targetTime, nowSerial)) ShutDown_Action("");
            break;
        }
        case 1: {
            const std::string d = std::to_string(now.weekday);
            const std::string target = CStr(ReadSetting(u, kSettings, d + "txtHour", std::string("00"))) + ":" +
                                       CStr(ReadSetting(u, kSettings, d + "txtMinute", std::string("00"))) + ":" +
                                       CStr(ReadSetting(u, kSettings, d + "txtSEC", std::string("00")));
            targetTime = target;
            DoEvents();
            lblNocturoInfo.setCaption(" at " + target);
            if (scheduleDue(target, nowSerial)) ShutDown_Action("");
            break;
        }
        case 2: {
            if (countdownSeconds > std::numeric_limits<std::int32_t>::min()) --countdownSeconds;
            lblNocturoInfo.setCaption("in " + std::to_string(countdownSeconds) + " sec.");
            if (countdownSeconds < 1) ShutDown_Action("");
            DoEvents();
            break;
        }
        case 3: {
            const std::string d = std::to_string(now.weekday);
            const int h = CInt(ReadSetting(u, kSettings, d + "txtHourTW", std::string("00")));
            const int m = CInt(ReadSetting(u, kSettings, d + "txtMinuteTW", std::string("00")));
            const int s = CInt(ReadSetting(u, kSettings, d + "txtSECTW", std::string("00")));
            const long long length = CLng(ReadSetting(u, kSettings, d + "txtTWDuration", std::string("0")));
            DoEvents();
            const long long today = nowSerial - ((nowSerial % 86400) + 86400) % 86400;
            long long start = today + h * 3600LL + m * 60LL + s;
            lblNocturoInfo.setCaption(" " + FormatStamp(FromSerialSeconds(start)));
            // A window that begins later today may be yesterday's, still open.
            if (start >= nowSerial) start -= 86400;
            if (nowSerial < start + length * 60) ShutDown_Action("");
            break;
        }
        default: break;
        }
    });
    step(p, 5, [&] {
        if (chkVoice.checked()) VoiceTime(lblTime.caption(), Combo1.text(), false);
    });
    step(p, 6, [&] {
        if (++rt().tickCounter >= 10) {
            rt().tickCounter = 0;
            WriteSetting(UserApp(), kSettings, "Crashtime", FormatStamp(clock().now()));
        }
    });
    previousTick_ = nowSerial;
    DoEvents();
    rt().tickBusy = false;
}

void FrmMain::cmdGo_Click() {
    const std::string p = proc("cmdGo_Click");
    step(p, 1, [&] {
        if (cmdGo.caption() != kCancelCaption) {
            if (chkSound.checked()) PlaySoundOnce("SystemHand", true);
            log("manual command");
        } else if (chkSound.checked()) {
            PlaySoundOnce("close", true);
        }
    });
    step(p, 2, [&] { ShutDown_Action(""); });
}

// ---------------------------------------------------------------------------
// Carrying out an action

void FrmMain::ShutDown_Action(const std::string& actionName) {
    const std::string p = proc("ShutDown_Action");
    bool skipCountdown = false;
    std::string text;
    bool force = false;

    cancelFlag = false;
    // A call while counting down cancels the running action.
    if (cmdGo.caption() == kCancelCaption) {
        step(p, 2, [&] {
            reset_Action_Status();
            cancelFlag = true;
            log("action canceled");
        });
        return;
    }

    step(p, 3, [&] {
        setHeight(twips::NormalHeight);
        setWidth(twips::NormalWidth);
        cmdOptions.setCaption("&Options");
        imgMinimize.setToolTip("Small Clock");
        lblTimeHeader.setVisible(false);
        lblShutdownTimeHeader.setVisible(false);
        RestoreFromTray();
        imgCountdown.setPicture("clock");
    });

    step(p, 4, [&] {
        if (actionName.empty()) return;
        skipCountdown = true;
        for (const NamedAction& a : kNamedActions)
            if (actionName == a.name) {
                actionCode = a.code;
                cmdGo.setCaption(a.goCaption);
                lblAction.setCaption(a.label);
            }
    });

    step(p, 5, [&] {
        const std::string program = Trim(txtStartProgram.text());
        if (!chkStartProgram.checked() || rt().emergency || cancelFlag || program.empty()) return;
        cmdGo.setEnabled(false);
        std::string shown = program.size() > 24 ? program.substr(program.size() - 24) : program;
        WriteToLog(txtPathLog.text(), StartProgramLogLine(shown), "");
        if (FileExists(program)) {
            // The program is one argument however many blanks its path holds;
            // its parameters are split as a shell would, never run by one.
            std::uint32_t code = 0;
            bool started = step(p, 5, [&] {
                std::uint32_t pid = processes().start(program, SplitCommandLine(txtProgramParameters.text()),
                                                      platform::ws::NormalFocus);
                code = fWait(pid);
            });
            log(!started || code == 0xFFFFFFFFu ? "Program Error" : "Program finished");
        } else {
            log("File doesn't exist");
        }
        cmdGo.setEnabled(true);
    });

    if (actionCode == action::StartProgram) {
        step(p, 14, [&] { reset_Action_Status(); });
        return;
    }

    step(p, 7, [&] {
        if (chkCleanHD.checked()) {
            rt().cleanUnattended = true;
            setVisible(false);
            frmCleanNow run;
            if (showCleaningRun) showCleaningRun(run);
            run.Form_Load();
            run.Form_Unload();
            setVisible(true);
        }
    });
    rt().cleanUnattended = false;

    step(p, 8, [&] {
        text = actionText(actionCode);
        cmdGo.setCaption(kCancelCaption);
        if (chkDisableCancel.checked()) cmdGo.setEnabled(false);
        log(text);
    });

    if (!skipCountdown) {
        step(p, 10, [&] {
            imgCounter0.setVisible(true);
            imgCounter1.setVisible(true);
            lblNocturoInfo.setVisible(false);
            if (chkSound.checked() && Val(txtCounter.text()) > 0 && rt().soundAvailable)
                Announce(text + " in " + txtCounter.text() + " seconds");
        });
        long start = 0;
        step(p, 11, [&] { start = static_cast<long>(Val(txtCounter.text())); });
        for (long i = start; i >= 0; --i) {
            step(p, 11, [&] {
                imgCounter0.setPicture(DigitPicture(static_cast<int>(i % 10)));
                // Counts of 100 and more show the last digit of the tens.
                imgCounter1.setPicture(DigitPicture(static_cast<int>((i / 10) % 10)));
            });
            step(p, 11, [&] {
                if (actionCode == action::Alarm) {
                    if (rt().soundAvailable)
                        PlaySoundOnce(JoinPath(JoinPath(CommonFolder(), "sound"), "alarm.wav"), false);
                    Wait(3);
                } else {
                    if (chkSound.checked()) sound().beep();
                    Wait(1);
                }
            });
            if (cancelFlag || unloaded_) {
                if (!unloaded_) step(p, 14, [&] { reset_Action_Status(); });
                return;
            }
        }
    }

    bool done = false;
    step(p, 12, [&] {
        if (actionCode == action::Alarm) {
            done = true;
        } else if (actionCode == action::LockPC) {
            done = true;
            lockComputer();
        }
    });

    if (!done) {
        step(p, 13, [&] {
            imgCountdown.setPicture("stop");
            force = chkForce.checked();
            if (actionCode == action::Suspend) {
                power().setSuspendState(false, force, false);
                done = true;
            } else if (actionCode == action::Hibernate) {
                power().setSuspendState(true, force, false);
                done = true;
            }
        });
    }

    if (!done) {
        bool confirmed = true;
        step(p, 13, [&] {
            if (rt().emergency) force = true;
            if (chkPowerOff.checked() && actionCode == action::Shutdown) actionCode = action::PowerOff;
            if (!force) {
                confirmed = MsgBox("The Computer will " + text + " now.\n\nContinue?",
                                   platform::mb::YesNo | platform::mb::Question | platform::mb::SystemModal,
                                   "Exit Windows") == platform::mb::IdYes;
            }
        });
        // A cancel or the end of the program while the question was open
        // drops the action.
        if (confirmed && !cancelFlag && !unloaded_) {
            step(p, 13, [&] { setTimer2Enabled(false); });
            step(p, 13, [&] { Save_Registry(); });
            step(p, 13, [&] { ExitWindowsSession(actionCode, force ? 1 : 0); });
        }
    }

    if (!unloaded_) step(p, 14, [&] { reset_Action_Status(); });
}

void FrmMain::ImgStop_DblClick() {
    const std::string p = proc("ImgStop_DblClick");
    step(p, 1, [&] {
        rt().emergency = true;
        log("Emergency Shut Down");
    });
    step(p, 2, [&] {
        if (chkSound.checked()) PlaySoundOnce("recycle.wav", true);
    });
    step(p, 3, [&] { ShutDown_Action(""); });
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
    const std::string p = proc("cmdNewVersion_Click");
    if (!cmdNewVersion.enabled()) return;  // a check is already running
    step(p, 1, [&] { ClearTopMostWindow(); });
    step(p, 2, [&] {
        // The button stays off while the check waits for the network, so a
        // second click cannot start another one.
        cmdNewVersion.setEnabled(false);
        windows().setBusyPointer(true);
    });
    step(p, 3, [&] { ChkNewVersion(); });
    step(p, 4, [&] {
        windows().setBusyPointer(false);
        cmdNewVersion.setEnabled(true);
        DoEvents();
    });
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
        std::string folder = BrowseForFolder("Select a Folder for the Log File", sysinfo().programFolder());
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
            std::optional<std::string> entry =
                ACinputbox(10, "Options Menu Password :", "Nocturo", "", 0, 0, "", 0);
            if (!entry) return;  // cancelled
            const std::string stored =
                Decrypt3(CStr(ReadSetting(MachineApp(), kSettings, "poption", std::string())), "");
            allowed = *entry == stored;
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
        step(p, 4, [&] { Save_Registry(); });
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
void openLink(const char* handler, const char* address) {
    step(proc(handler), 1, [&] { processes().openDocument(address); });
}
}  // namespace

void FrmMain::lblHelp_Click() { openLink("lblHelp_Click", links::HelpPage); }
void FrmMain::lblVarnHome_Click() { openLink("lblVarnHome_Click", links::HomePage); }
void FrmMain::Image2_Click() { openLink("lblVarnHome_Click", links::HomePage); }
void FrmMain::Label7_Click() { openLink("Label7_Click", links::ErrorReportPage); }
void FrmMain::Label18_Click() { openLink("Label18_Click", links::SupportForum); }

void FrmMain::lblShowAbout_Click() {
    step(proc("lblShowAbout_Click"), 1, [&] {
        if (showAbout) showAbout();
    });
}

void FrmMain::lblError_Click() {
    step(proc("lblError_Click"), 1, [&] { ShowErrorLog(); });
}

// ---------------------------------------------------------------------------
// Tray

void FrmMain::Make_Popup_Menu() {
    const std::string p = proc("Make_Popup_Menu");
    step(p, 1, [&] { m_frmSysTray.reset(); });
    step(p, 2, [&] {
        auto window = std::make_unique<frmSysTray>();
        window->MenuClick = [this](std::int16_t index, const std::string& key) { m_frmSysTray_MenuClick(index, key); };
        window->SysTrayDoubleClick = [this](int button) { m_frmSysTray_SysTrayDoubleClick(button); };
        window->SysTrayMouseDown = [this](int button) { m_frmSysTray_SysTrayMouseDown(button); };
        m_frmSysTray = std::move(window);
    });
    if (!m_frmSysTray) return;
    frmSysTray& menu = *m_frmSysTray;
    step(p, 3, [&] {
        menu.AddMenuItem("&Show Nocturo", "open");
        menu.AddMenuItem("&Home Position", "home");
        menu.AddMenuItem("-");
        menu.AddMenuItem("Lock &PC", "LockPC");
        menu.AddMenuItem("-");
        menu.AddMenuItem("Shut&Down", "Nocturo");
        menu.AddMenuItem("&PowerOff", "PowerOff", true);
    });
    step(p, 4, [&] {
        // Standby and hibernation need a system that has them.
        const int code = rt().winVersionCode;
        if (code >= 12 && code != 20 && code != 21) {
            menu.AddMenuItem("Suspend/Standby", "Suspend");
            menu.AddMenuItem("Hibernate", "Hibernate");
        }
    });
    step(p, 5, [&] {
        menu.AddMenuItem("&LogOff", "LogOff");
        menu.AddMenuItem("&Restart", "Restart");
        menu.AddMenuItem("-");
        menu.AddMenuItem("Varn on the &Web", "varn");
        menu.AddMenuItem("&About...", "About");
    });
}

void FrmMain::Send_to_SysTray() {
    const std::string p = proc("Send_to_SysTray");
    step(p, 1, [&] { Make_Popup_Menu(); });
    bool hasTray = false;
    step(p, 2, [&] { hasTray = rt().pf.tray && tray().available(); });
    if (hasTray && m_frmSysTray) {
        step(p, 3, [&] {
            setVisible(false);
            inTray = true;
        });
        step(p, 4, [&] { m_frmSysTray->Add_Icon_To_Tray(); });
        step(p, 5, [&] { m_frmSysTray->IconHandle(ImgStop.picture()); });
        step(p, 6, [&] { m_frmSysTray->ToolTip("DoubleClick to Shutdown"); });
        // An icon the desktop refused would leave the window out of reach.
        if (m_frmSysTray && m_frmSysTray->iconShown()) return;
    }
    step(p, 7, [&] {
        // Without a tray the window is minimised, never hidden out of reach.
        inTray = false;
        setVisible(true);
        setWindowState(WindowState::Minimized);
    });
}

void FrmMain::RestoreFromTray() {
    step(proc("RestoreFromTray"), 1, [&] {
        if (m_frmSysTray && !m_frmSysTray->visible()) m_frmSysTray->Unload();
        m_frmSysTray.reset();
        inTray = false;
        setVisible(true);
        if (windowState() == WindowState::Minimized) setWindowState(WindowState::Normal);
        setForeground(true);
    });
}

void FrmMain::imgSysTray_Click() {
    const std::string p = proc("imgSysTray_Click");
    step(p, 1, [&] {
        if (chkSound.checked()) PlaySoundOnce("close", true);
    });
    step(p, 2, [&] { Send_to_SysTray(); });
}

void FrmMain::m_frmSysTray_MenuClick(std::int16_t, const std::string& key) {
    const std::string p = proc("m_frmSysTray_MenuClick");
    // Standby and hibernation go straight to the system: no question, no
    // log entry, no cleaning.
    if (key == "About") {
        step(p, 1, [&] {
            if (showAbout) showAbout();
        });
    } else if (key == "Suspend") {
        step(p, 2, [&] { power().setSuspendState(false, chkForce.checked(), false); });
    } else if (key == "Hibernate") {
        step(p, 3, [&] { power().setSuspendState(true, chkForce.checked(), false); });
    } else if (key == "LockPC") {
        step(p, 4, [&] { lockComputer(); });
    } else if (key == "Nocturo" || key == "PowerOff" || key == "LogOff") {
        step(p, 5, [&] { ShutDown_Action(key); });
    } else if (key == "Restart") {
        step(p, 6, [&] { ShutDown_Action("Reboot"); });
    } else if (key == "open") {
        step(p, 7, [&] { RestoreFromTray(); });
    } else if (key == "varn") {
        step(p, 8, [&] { processes().openDocument(links::HomePage); });
    } else if (key == "home") {
        step(p, 9, [&] { RestoreFromTray(); });
        step(p, 10, [&] { Form_Click(); });
    }
}

void FrmMain::m_frmSysTray_SysTrayDoubleClick(int button) {
    const std::string p = proc("m_frmSysTray_SysTrayDoubleClick");
    if (button != mouse::Left) return;
    step(p, 1, [&] { RestoreFromTray(); });
    step(p, 2, [&] { ShutDown_Action(""); });
}

void FrmMain::m_frmSysTray_SysTrayMouseDown(int button) {
    step(proc("m_frmSysTray_SysTrayMouseDown"), 1, [&] {
        if (button == mouse::Right && m_frmSysTray) m_frmSysTray->ShowMenu();
    });
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
        {"chkStartInSysTray", &FrmMain::chkStartInSysTray_Click},
        {"chkTimeSync", &FrmMain::chkTimeSync_Click},
        {"chkAllowRemoteControl", &FrmMain::chkAllowRemoteControl_Click},
        {"chkWinOnTop", &FrmMain::chkWinOnTop_Click},
    };
    for (const auto& [name, handler] : clicks) on(std::string(name) + ".Click", [this, h = handler] { (this->*h)(); });
    on("ImgStop.DblClick", [this] { ImgStop_DblClick(); });
    onArg("Image1.MouseDown", [this](int button) { Image1_MouseDown(button); });
    on("txtHour.LostFocus", [this] { txtHour_LostFocus(); });
    on("txtMinute.LostFocus", [this] { txtMinute_LostFocus(); });
    on("txtSEC.LostFocus", [this] { txtSEC_LostFocus(); });
    on("txtCounter.LostFocus", [this] { txtCounter_LostFocus(); });
    on("txtStartActionIn.Change", [this] { txtStartActionIn_Change(); });
    onKey("txtStartActionIn", [this](std::int16_t key) { return txtStartActionIn_KeyPress(key); });
    on("Form.Close", [this] { Form_Unload(); });
    on("Program.Unload", [this] { UnloadProgram(); });
}

}  // namespace nocturo

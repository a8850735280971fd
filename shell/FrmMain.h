#pragma once
// The main window as a model: every control's state and every handler. A
// view (desktop or terminal) renders the state and calls the handlers.
//
// The class is written in parts, each in a file of its own:
//   FrmMain.cpp          the controls, their layout, the named events, the
//                        window's sizes, the option boxes, time fields, logs
//   FrmMainLifecycle.cpp loading the window and ending the program
//   FrmMainSettings.cpp  Load_Registry and Save_Registry
//   FrmMainSchedule.cpp  the main timer's tick and the schedule modes
//   FrmMainAction.cpp    the action run (ShutDown_Action) and the ready state
//   FrmMainTray.cpp      the tray icon and its menu
//   FrmMainService.cpp   start at login and the system service
//
// Long work - the action run with its program wait, cleaning and countdown,
// and the end of the program with its goodbye - runs as tasks on the event
// loop (base/Task.h); no handler pumps the loop. One action runs at a time.
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/Task.h"
#include "base/Variant.h"
#include "controls/Controls.h"
#include "platform/IClock.h"
#include "platform/IControl.h"
#include "platform/IEventLoop.h"
#include "shell/ActionNotices.h"

namespace nocturo {

// Action codes: exactly one is held at a time.
namespace action {
inline constexpr std::int32_t Shutdown = 1, Restart = 2, Logoff = 4, PowerOff = 8, StartProgram = 16, Alarm = 32,
                              Hibernate = 64, Suspend = 128, LockPC = 256;
}

// Window sizes in twips.
namespace twips {
inline constexpr int NormalHeight = 1725, NormalWidth = 4140, OptionsHeight = 9270, OptionsWidth = 6255,
                     SmallClockHeight = 185;
}

class frmCleanNow;
class frmSysTray;
class frmCleanHDSetup;

class FrmMain : public Form {
public:
    FrmMain();
    ~FrmMain() override;
    void onControlChanged(const std::string& what) override;

    // ---- controls -------------------------------------------------------
    CommandButton cmdGo{this, "cmdGo"};
    CommandButton cmdExit{this, "cmdExit"};
    CommandButton cmdOptions{this, "cmdOptions"};
    CommandButton cmdResetCounter{this, "cmdResetCounter"};
    CommandButton cmdSelectProgram{this, "cmdSelectProgram"};
    CommandButton cmdSelectPathLog{this, "cmdSelectPathLog"};
    CommandButton cmdShowLog{this, "cmdShowLog"};
    CommandButton cmdResetLog{this, "cmdResetLog"};
    CommandButton cmdSetupNocturoTime{this, "cmdSetupNocturoTime"};
    CommandButton cmdSetupTimeWindow{this, "cmdSetupTimeWindow"};
    CommandButton cmdSpeakTime{this, "cmdSpeakTime"};
    CommandButton cmdSetupHDclean{this, "cmdSetupHDclean"};
    CommandButton cmdNewVersion{this, "cmdNewVersion"};
    CommandButton cmdTimeSync{this, "cmdTimeSync"};
    Label LblStatus{this, "LblStatus"};

    Label lblAction{this, "lblAction"};
    Label lblTime{this, "lblTime"};
    Label lblDate{this, "lblDate"};
    Label lblTimeHeader{this, "lblTimeHeader"};
    Label lblShutdownTimeHeader{this, "lblShutdownTimeHeader"};
    Label lblNocturoInfo{this, "lblNocturoInfo"};
    Label lblError{this, "lblError"};
    Label ErrorIndicator{this, "ErrorIndicator"};

    std::vector<OptionButton*> actionGroup;
    std::vector<OptionButton*> modeGroup;
    std::array<std::unique_ptr<OptionButton>, 8> optActions;
    std::array<std::unique_ptr<OptionButton>, 4> optShutdownTime;

    TextBox txtHour{this, "txtHour"};
    TextBox txtMinute{this, "txtMinute"};
    TextBox txtSEC{this, "txtSEC"};
    TextBox txtStartActionIn{this, "txtStartActionIn"};
    TextBox txtCounter{this, "txtCounter"};
    TextBox txtStartProgram{this, "txtStartProgram"};
    TextBox txtProgramParameters{this, "txtProgramParameters"};
    TextBox txtPathLog{this, "txtPathLog"};
    TextBox txtLockTime{this, "txtLockTime"};
    TextBox txtOptionsMenuPW{this, "txtOptionsMenuPW"};

    ComboBox cmbTimeUnit{this, "cmbTimeUnit"};
    ComboBox Combo1{this, "Combo1"};

    CheckBox chkForce{this, "chkForce"};
    CheckBox chkPowerOff{this, "chkPowerOff"};
    CheckBox chkStartProgram{this, "chkStartProgram"};
    CheckBox chkCleanHD{this, "chkCleanHD"};
    CheckBox chkDisableCancel{this, "chkDisableCancel"};
    CheckBox chkSound{this, "chkSound"};
    CheckBox chkStartInSysTray{this, "chkStartInSysTray"};
    CheckBox chkTimeSync{this, "chkTimeSync"};
    CheckBox chkVoice{this, "chkVoice"};
    CheckBox chkAllowRemoteControl{this, "chkAllowRemoteControl"};
    CheckBox chkWinOnTop{this, "chkWinOnTop"};
    CheckBox chkStartWithWindow{this, "chkStartWithWindow"};
    CheckBox chkNtService{this, "chkNtService"};
    CheckBox chkDT{this, "chkDT"};
    CheckBox chkSCR{this, "chkSCR"};
    CheckBox chkPCLock{this, "chkPCLock"};
    // Ticked: the schedule acts when it is due; unticked it waits, shown
    // but idle. A store in which no schedule was ever chosen starts unticked.
    CheckBox chkArmed{this, "chkArmed"};

    Image imgCountdown{this, "imgCountdown"};
    Image imgCounter0{this, "imgCounter0"};
    Image imgCounter1{this, "imgCounter1"};
    Image ImgStop{this, "ImgStop"};
    Image imgMinimize{this, "imgMinimize"};
    Image imgHome{this, "imgHome"};
    Image imgSysTray{this, "imgSysTray"};
    Image imgTimeUp{this, "imgTimeUp"};
    Image imgTimeDown{this, "imgTimeDown"};
    Image Image1{this, "Image1"};
    Image Image2{this, "Image2"};

    // The options panel's links and the about window.
    Label lblHelp{this, "lblHelp"};
    Label lblVarnHome{this, "lblVarnHome"};
    Label Label7{this, "Label7"};
    Label Label18{this, "Label18"};
    Label lblShowAbout{this, "lblShowAbout"};

    // Captions of the options panel's sections and fields.
    Label lblParametersHeader{this, "lblParametersHeader"};
    Label lblVoiceUnit{this, "lblVoiceUnit"};
    Label lblLockUnit{this, "lblLockUnit"};
    Label lblCounterHeader{this, "lblCounterHeader"};
    Label lblPasswordHeader{this, "lblPasswordHeader"};
    Label lblLogHeader{this, "lblLogHeader"};

    // Shown while a countdown or a final count runs: move it by 5 minutes,
    // 15 minutes or an hour. They lie over the right end of the information
    // line (whose texts are short then), so they come after it.
    CommandButton cmdPostpone5{this, "cmdPostpone5"};
    CommandButton cmdPostpone15{this, "cmdPostpone15"};
    CommandButton cmdPostpone60{this, "cmdPostpone60"};

    Timer Timer2{this, "Timer2"};

    // ---- window-level state ---------------------------------------------
    std::int32_t actionCode = action::Shutdown;
    std::int32_t countdownSeconds = 0;  // mode "Start Action in"
    std::string targetTime = "00:00:00";
    bool hourSelected = false, minuteSelected = false, secSelected = false;
    bool inTray = false;  // the window lives in the tray (icon shown, window hidden)

    // The program's life: loading its window, running, ending (the timer is
    // off, nothing acts any more, the settings are being saved), ended.
    enum class Life { Loading, Running, Ending, Ended };
    Life life() const { return life_; }
    // An action is under way: from its start to its end or its cancel (the
    // program wait and the cleaning included, not only the countdown).
    bool actionRunning() const { return run_.active(); }
    // A session call (shut down, restart, log off, power off) was accepted:
    // the program calls nothing more and waits for the session to end.
    bool sessionEnding() const { return sessionEnding_; }

    // The hidden window behind the tray icon and its menu; none while the
    // main window is shown.
    std::unique_ptr<frmSysTray> m_frmSysTray;

    // ---- hooks for the parts that come with the service, cleaner, time
    // synchronisation and dialogs; unset means "not available here".
    // Shows the cleaning run window while it runs before an action, and the
    // cleaner's setup window modally; unset: they run without being shown.
    std::function<void(frmCleanNow&)> showCleaningRun;
    std::function<void(frmCleanHDSetup&)> showCleanerSetup;
    std::function<void()> showTimeSetup;      // the weekday dialog, modal
    std::function<void()> showWindowSetup;    // the time-window dialog, modal
    std::function<bool()> serviceRunning;
    std::function<void()> stopService;
    // The service's state as the service manager reports it, and whether it
    // is installed (for the window beside a service on Linux).
    std::function<std::string()> serviceState;
    std::function<bool()> serviceInstalled;
    // This program is the system service itself (started by the service
    // manager); otherwise a window beside an installed service on Linux
    // shows the service's state instead of running the schedule a second time.
    bool asSystemService = false;
    bool watchingService() const { return serviceWatch_; }
    // The system service's control channel, for the window beside it: the
    // window shows the service's state and hands its changes (Go, "Armed",
    // cancel, postpone) to the service. Unset, or when the service does not
    // answer, the window shows what the service manager says.
    using ServiceCall = std::function<bool(const platform::ControlRequest&, platform::ControlReply&, std::string& why)>;
    ServiceCall callService;
    // The last state the service told (valid while serviceAnswered()).
    const platform::ControlState& serviceControlState() const { return serviceShown_; }
    bool serviceAnswered() const { return serviceAnswered_; }

    // ---- start-up and shut-down -----------------------------------------
    void Form_Load();
    // Returns true when the unload went ahead (false: the close box only minimised).
    bool Form_Unload();
    void Form_QueryUnload() {}
    void UnloadProgram();
    void cmdExit_Click();
    bool unloaded() const { return life_ == Life::Ended; }
    // Form_Load has finished: the controls hold the stored settings.
    bool ready() const { return ready_; }
    // Every named event goes through here; once the program is ending, none
    // is handled any more.
    bool fireEvent(const std::string& event, int arg = 0) override;
    std::function<void()> onUnloaded;  // the program ends its loop here

    // ---- settings -----------------------------------------------------------
    void Load_Registry();
    void Save_Registry();
    // What the last Save_Registry could not store: the names of settings
    // the store refused (no right to write the machine tree), and whether
    // any other write failed. Such a setting is written again at the next save.
    struct SaveProblems {
        std::vector<std::string> refused;
        bool failed = false;
    };
    const SaveProblems& lastSaveProblems() const { return lastSave_; }

    // ---- actions and schedule ------------------------------------------------
    void optActions_Click(int index);
    void reset_Action_Status();
    void optShutdownTime_Click(int index);
    void Timer2_Timer();
    void cmdGo_Click();
    void cmdResetCounter_Click();
    // "" carries out the action chosen in the window, with its countdown. A
    // name ("Nocturo", "PowerOff", "LogOff", "Reboot", "Suspend", "Hibernate",
    // "LockPC", "StartProgram", "Alarm") carries out that action without the
    // countdown; the alarm, which is its countdown, sounds for the counter.
    void ShutDown_Action(const std::string& actionName);
    void ImgStop_DblClick();
    void imgCountdown_Click();
    static bool IsDigit(std::int16_t key);
    // Returns the key to insert, 0 when it is dropped. Enter loads the
    // count typed (as "Set" does) and goes no further.
    std::int16_t txtStartActionIn_KeyPress(std::int16_t key);
    void txtStartActionIn_Change();
    // Leaving the count's box loads a count typed since the last load; a
    // new unit loads the count in that unit.
    void txtStartActionIn_LostFocus();
    void cmbTimeUnit_Click();
    void txtCounter_LostFocus();

    // ---- option boxes -------------------------------------------------------
    void chkStartProgram_Click();
    void chkCleanHD_Click();
    void chkDisableCancel_Click();
    void chkSound_Click();
    void chkVoice_Click();
    void cmdSpeakTime_Click();
    // Start-up found no sound (no device, no sound server, no speech engine):
    // the sound boxes are off and disabled for this run. On Windows that is
    // stored at the end, as before; elsewhere a sound server that is missing
    // now (a start over SSH, autostart before the sound server) may be there
    // next time, so the stored choice stays.
    void soundOffForThisRun();
    void chkStartInSysTray_Click();
    void chkTimeSync_Click();
    void chkAllowRemoteControl_Click();
    void chkWinOnTop_Click();
    void cmdSelectProgram_Click();
    void cmdSetupHDclean_Click();
    // Starting with the system (FrmMainService.cpp).
    void chkStartWithWindow_Click();
    void chkNtService_Click();
    // The service manager's events while the program runs as the service:
    // start and continue run the main timer, pause holds it (not confirmed
    // while a tick still runs), stop ends the program.
    void NTService1_Start(bool& success);
    void NTService1_Stop();
    void NTService1_Pause(bool& success);
    void NTService1_Continue(bool& success);
    // The secured PC and its lock screen saver (FrmMainLock.cpp).
    void chkPCLock_Click();
    void chkSCR_Click();
    void txtLockTime_Change();
    // Arming and disarming the schedule (FrmMainSchedule.cpp): the "Armed"
    // box, the tray menu's item, choosing a mode, Go and "Save Options".
    void chkArmed_Click();
    bool scheduleArmed() const { return scheduleArmed_; }
    // say: the action log tells (the box, the tray menu, a cancelled count);
    // choosing a mode, Go and "Save Options" arm without a line of their own.
    void setScheduleArmed(bool on, bool say = true);
    // The main timer's look at the lock screen saver and the lock program.
    void LockWatcher();

    // ---- time fields ----------------------------------------------------------
    void txtHour_Click();
    void txtMinute_Click();
    void txtSEC_Click();
    void txtHour_LostFocus();
    void txtMinute_LostFocus();
    void txtSEC_LostFocus();
    void imgTimeUp_Click();
    void imgTimeDown_Click();
    void cmdSetupNocturoTime_Click();
    void cmdSetupTimeWindow_Click();

    // ---- logs -------------------------------------------------------------------
    void cmdSelectPathLog_Click();
    void cmdShowLog_Click();
    void cmdNewVersion_Click();
    void cmdTimeSync_Click();
    // Sets the clock from the time service; showMessages: the outcome in a box.
    void TimeSync(bool showMessages);
    bool timeSyncRunning() const { return timeSync_.active(); }
    void cmdResetLog_Click();

    // ---- window sizes, moving, links ----------------------------------------
    void cmdOptions_Click();
    void imgMinimize_Click();
    void Form_Click();
    void imgHome_Click();
    void Image1_MouseDown(int button);
    void lblHelp_Click();
    void lblVarnHome_Click();
    void Image2_Click();
    void Label7_Click();
    void Label18_Click();
    void lblShowAbout_Click();
    // The error indicator and "check Error log !": the error log in the
    // desktop's text editor.
    void lblError_Click();
    std::function<void()> showAbout;    // the about window, modal; unset: not shown

    // ---- tray and window ------------------------------------------------------
    void Send_to_SysTray();
    void RestoreFromTray();
    // A new tray window with the menu of actions (the previous one ends first).
    void Make_Popup_Menu();
    void imgSysTray_Click();
    void m_frmSysTray_MenuClick(std::int16_t index, const std::string& key);
    void m_frmSysTray_SysTrayDoubleClick(int button);
    void m_frmSysTray_SysTrayMouseDown(int button);
    void m_frmSysTray_SysTraySelect();
    void SetTopMostWindow();
    void ClearTopMostWindow();
    // A system-modal message box with the window taken out of the topmost
    // band while it shows.
    int MsgBox(const std::string& prompt, int style, const std::string& title);
    void ShowErrorIndicator();

    // ---- control from outside the window: the control channel, the
    // desktop's notifications, the postpone buttons and the tray menu
    // (FrmMainControl.cpp). Each goes through the window's own handlers, so
    // it logs, sounds and asks as they do, and is refused where they are.
    // Moves the next due moment, or a running final count, by seconds. False,
    // with the reason in why, when nothing is due or counting.
    bool Postpone(long long seconds, std::string& why);
    // Cancels the running action as the stop picture does. False, with the
    // reason in why, when nothing runs or "Disable Cancel button" is set.
    bool CancelRunning(std::string& why);
    // The state that the control channel reports.
    platform::ControlState controlState() const;
    // Called after a handler changed the state the channel reports (armed,
    // mode, action, the due moment, the phase of a run); unset: nobody listens.
    std::function<void()> onStateChanged;
    // Brings the postpone buttons and the tray menu's items up to date and
    // calls onStateChanged when the state differs from the one told last.
    // The main timer's tick and every handler call it; so does whoever
    // drives the window from outside.
    void stateMayHaveChanged();
    // The postpone buttons, by their minutes.
    void cmdPostpone_Click(int minutes);
    void cmdPostpone5_Click() { cmdPostpone_Click(5); }
    void cmdPostpone15_Click() { cmdPostpone_Click(15); }
    void cmdPostpone60_Click() { cmdPostpone_Click(60); }

    // The picture names of the countdown digits and images.
    static std::string DigitPicture(int digit);
    // Where the options panel's last row ends, in twips.
    int optionsBottom() const { return optionsBottom_; }


private:
    // Where a run came from: a schedule mode's due moment (its key: the due
    // moment in serial seconds, or the start of the time window), or -1 for
    // a start by hand, by the tray or from the command line.
    struct Origin {
        int mode = -1;
        long long key = 0;
    };

    void setTimer2Enabled(bool enabled);
    void syncTimer();
    void log(const std::string& text);
    void timeFieldLostFocus(TextBox& box, const std::string& bound, const char* proc);
    void rebuildTargetTime();
    int selectedMode() const;
    int selectedAction() const;
    void applyActionRow(int index, bool nowCaptions);
    void registerEvents();
    void applyServiceCaptions();
    void layoutControls();
    std::string smallClockActionTime();
    void showSmallClock(const std::string& actionTime);
    void showTrayMenuHere();  // Image1's right button: the tray menu without an icon

    // ---- the settings (FrmMainSettings.cpp) ----------------------------------
    struct StoredSetting {
        std::string app, name;
        Variant value;
    };
    // Every setting the window stores, with the value its control holds.
    std::vector<StoredSetting> settingsRecord() const;
    void rememberStored(const std::vector<StoredSetting>& record);
    // The options password as the store holds it (after a refused change).
    void rememberStoredPassword(const std::string& text);
    std::map<std::string, Variant> stored_;  // what the store holds, as this run read or wrote it
    SaveProblems lastSave_;
    bool soundHeld_ = false;                 // soundOffForThisRun keeps the stored choice
    int heldSound_ = 0, heldVoice_ = 0;

    // ---- the action run (FrmMainAction.cpp) --------------------------------
    void startAction(const std::string& actionName, Origin origin);
    void cancelAction();
    Task actionRun(std::string actionName);
    // The run's end: back to the ready state, unless the session is ending.
    void finishRun(bool refused);

    // ---- the schedule (FrmMainSchedule.cpp) ---------------------------------
    // A due moment of modes 0 and 1: the target time today, or one passed
    // since the previous tick when that tick is at most the catch-up window
    // of real time ago.
    bool dueMoment(const std::string& target, long long nowSerial, std::int64_t nowMono, long long& key) const;
    // Mode 3: the key of the time window now lies in (today's, or the one
    // that began yesterday, each by its own day's row).
    // The information label shows today's start.
    bool inTimeWindow(const platform::LocalTime& now, long long nowSerial, long long& key);
    void scheduleDue(Origin origin);
    void countDownSeconds(std::int64_t nowMono);
    void armCountdown(std::int32_t seconds);
    // Whether the store holds a schedule someone chose (with this program
    // or nocturoctl), for a store that does not say whether it is armed.
    bool scheduleEverChosen() const;
    // The information line and the tray's tip while nothing is armed.
    std::string notArmedText() const;
    void showArmedState();
    bool settingsUnusable_ = false;  // the store could not be read or written at start

    // ---- the desktop's notifications before an action that ends the
    // session (FrmMainNotify.cpp) ----------------------------------------------
    void noticesTick(long long nowSerial);
    void noticeChosen(const std::string& key);
    ActionNotices notices_;

    Task newVersionCheck();
    Task timeSyncRun(bool showMessages);
    void timeSyncSetUp();

    // ---- the program's life (FrmMainLifecycle.cpp) --------------------------
    void loadRest();
    Task serviceStartCheck();
    void showServiceState();
    // Hands a change to the system service; true when it was handled there
    // (done, or refused with the reason shown). False: no channel, the
    // window acts as it would without a service.
    bool forwardToService(const platform::ControlRequest& request);
    platform::ControlState serviceShown_;
    bool serviceAnswered_ = false;
    Task endProgram();
    void closeEverything();

    platform::TimerId timerId_ = 0;
    bool timerRegistered_ = false;
    bool ready_ = false;
    bool unloadPending_ = false;  // asked to end while still loading
    Life life_ = Life::Loading;
    bool sessionEnding_ = false;
    int optionsBottom_ = 0;  // where the options panel's last row ends, in twips

    // The schedule's memory.
    long long previousTick_ = -1;       // serial seconds of the previous tick's clock
    std::int64_t previousTickMono_ = 0;  // the same tick on the monotonic clock
    long long lastFired_ = -1;          // the due moment (modes 0, 1) last started or passed over
    long long windowSpent_ = -1;        // mode 3: a window whose action the system refused
    bool scheduleArmed_ = true;         // false: disarmed, never chosen, or the settings could not be used
    bool serviceWatch_ = false;         // the system service runs the schedule; the ticks only show it
    static constexpr std::int64_t kServiceLookMs = 5000;  // how often the ticks ask for the service's state
    std::int64_t serviceLookMono_ = -1;
    bool countdownFired_ = false;       // mode 2: the count has reached 0 since it was armed
    bool countEdited_ = false;          // mode 2: txtStartActionIn was typed into since the count was loaded
    std::int64_t countdownRefMono_ = -1;  // mode 2: the count is up to date to this moment
    std::int64_t countdownCarryMs_ = 0;  // mode 2: the part of a second counted already

    // The run under way (or done) and where it came from; the end of the
    // program; the wait for the service at start-up. The tasks come last, so
    // that they end before the controls they use.
    Origin runOrigin_;
    bool busyLogged_ = false;  // a schedule found this run under way and said so
    Task serviceCheck_;
    Task versionCheck_;
    Task timeSync_;
    Task end_;

    // ---- control from outside (FrmMainControl.cpp) ----------------------------
    // The phase of the run under way.
    enum class RunPhase { None, Waiting, Cleaning, FinalCount, Asking, Acting };
    void setPhase(RunPhase phase);
    void showPostponeButtons(bool on);
    // A postponement of the run: its final count waits until then (on the
    // monotonic clock, and the same moment on the program's clock).
    bool holdPending() const { return holdUntilMono_ >= 0; }
    void showHold();
    // One occurrence of a time-of-day, weekday or time-window schedule held
    // until a later moment: the regular occurrence `from` (a due moment in
    // serial seconds, or the start of a time window) is passed over and the
    // schedule is due at `to` instead, once. Dropped when the mode or the
    // time changes, or the schedule is disarmed.
    struct MovedMoment {
        int mode = -1;
        long long from = -1, to = -1;
        std::string target;  // mode 0: the time it was moved from
    };
    bool movedFor(int mode) const { return moved_.mode == mode; }
    // A moment of the clock passed at this tick (or since the previous one,
    // as dueMoment counts it).
    bool passedAt(long long moment, long long nowSerial, std::int64_t nowMono) const;
    // The next regular occurrence of mode 0, 1 or 3 at or after now, leaving
    // out `skip`; -1 when there is none within a week.
    long long nextOccurrence(int mode, long long nowSerial, long long skip) const;
    // The moment the schedule or the run is due next (serial seconds), -1 none.
    long long nextDueSerial(long long nowSerial) const;
    RunPhase phase_ = RunPhase::None;
    std::int64_t holdUntilMono_ = -1;
    long long holdUntilSerial_ = -1;
    long long countLeft_ = -1;  // the final count's seconds still to go
    MovedMoment moved_;
    platform::ControlState toldState_;
    bool stateTold_ = false;
    long long toldDue_ = -1;
    // The last regular occurrence worked out, kept while nothing it depends
    // on changed and its moment has not come (modes 1 and 3 read the
    // weekday rows from the store), and at most a minute.
    struct DueCache {
        int mode = -1;
        long long skip = 0, lastFired = 0, windowSpent = 0, computedAt = 0, value = -1;
        std::string target;
    };
    mutable DueCache dueCache_;

    Task run_;
};

}  // namespace nocturo

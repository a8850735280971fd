// The main window's action: choosing one, the ready state, and the run that
// carries it out (ShutDown_Action) as one task on the event loop.
//
// One run at a time. The run owns everything it does - the program it waits
// for, the cleaning window, the countdown - and cancelling it destroys it
// where it waits, so a cancelled run never acts later. A second start while a
// run is under way (the button, the tray, the stop picture) is the cancel; a
// schedule falling due meanwhile is passed over (FrmMainSchedule.cpp).
#include <limits>

#include "base/InstallLayout.h"
#include "base/Runtime.h"
#include "base/Strings.h"
#include "base/Variant.h"
#include "base/Varn_ErrorLog.h"
#include "base/Varn_File_Dir.h"
#include "base/Varn_WriteLogfile.h"
#include "cleaner/frmCleanNow.h"
#include "platform/IDialogs.h"
#include "platform/IFileSystem.h"
#include "platform/IProcesses.h"
#include "platform/ISessionPower.h"
#include "schedule/Varn_ShellAndWait.h"
#include "schedule/Varn_Time.h"
#include "schedule/Varn_modShutDown.h"
#include "shell/FrmMainParts.h"
#include "shell/Varn_LockPC.h"
#include "timevoice/Varn_PlaySound.h"

namespace nocturo {

using namespace frmmain;

namespace {

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
    // The alarm is its countdown: named, it still sounds for the counter.
    bool countdown = false;
};

const NamedAction kNamedActions[] = {
    {"Suspend", action::Suspend, "Suspend now!", "Suspend PC"},
    {"Hibernate", action::Hibernate, "Hibernate now!", "Hibernate PC"},
    {"LockPC", action::LockPC, "Lock PC now!", "Lock PC"},
    {"Nocturo", action::Shutdown, "Shut Down now!", "Shut Down"},
    {"Reboot", action::Restart, "Reboot now!", "Reboot"},
    {"LogOff", action::Logoff, "LogOff now!", "Log Off"},
    {"PowerOff", action::PowerOff, "PowerOff now!", "Power Off"},
    {"StartProgram", action::StartProgram, kActions[3].goCaption, kActions[3].label},
    {"Alarm", action::Alarm, kActions[4].goCaption, kActions[4].label, true},
};

// The cleaning before an action: however the run leaves it - at its end or
// cancelled in the middle - the cleaning window goes and the main window
// comes back.
class CleaningScope {
public:
    CleaningScope(FrmMain& main, frmCleanNow& cleaning) : main_(main), cleaning_(cleaning) {
        rt().cleanUnattended = true;
    }
    ~CleaningScope() {
        try {
            if (cleaning_.loaded()) cleaning_.Form_Unload();
            main_.setVisible(true);
        } catch (...) {
        }
        if (hasRuntime()) rt().cleanUnattended = false;
    }
    CleaningScope(const CleaningScope&) = delete;
    CleaningScope& operator=(const CleaningScope&) = delete;

private:
    FrmMain& main_;
    frmCleanNow& cleaning_;
};

// Whether a program the run waited for failed: it could not start, it
// answered -1, or it was ended by a signal or a crash.
bool programFailed(bool started, std::uint32_t pid, std::uint32_t code) {
    if (!started || code == 0xFFFFFFFFu) return true;
    try {
        return processes().endedAbnormally(pid);
    } catch (...) {
        return false;
    }
}

}  // namespace

bool frmmain::isWindowsStyle() { return files().pathStyle() == platform::PathStyle::Windows; }

void frmmain::lockComputer() {
    if (isWindowsStyle()) return StartLockProgram();
    // Without a desktop there is no window to lock with: the session's own
    // lock. A lock program that cannot be started is logged, and the
    // session's lock locks instead.
    if (!rt().headless && Step("StartLockProgram of Modul Varn_LockPC", 1, [] { StartLockProgram(); })) return;
    power().lockWorkstation();
}

// ---------------------------------------------------------------------------
// Choosing an action and the ready state

void FrmMain::applyActionRow(int index, bool nowCaptions) {
    const ActionRow& row = kActions[index];
    actionCode = row.code;
    cmdGo.setCaption(nowCaptions ? row.resetCaption : row.goCaption);
    lblAction.setCaption(row.label);
}

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
        // The timer stays off once the program is ending.
        if (life_ == Life::Running) setTimer2Enabled(true);
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

// ---------------------------------------------------------------------------
// Starting, cancelling and carrying out an action

void FrmMain::ShutDown_Action(const std::string& actionName) { startAction(actionName, Origin{}); }

void FrmMain::startAction(const std::string& actionName, Origin origin) {
    // Nothing acts once the end of the program has begun.
    if (life_ != Life::Running) return;
    // A call while an action is under way (or the session is ending) is the
    // cancel.
    if (run_.active() || sessionEnding_) {
        cancelAction();
        return;
    }
    runOrigin_ = origin;
    busyLogged_ = false;
    run_ = actionRun(actionName);
    run_.start("ShutDown_Action of Formular FrmMain");
}

void FrmMain::cancelAction() {
    // The run goes first: it never continues, whatever it waited for.
    run_.cancel();
    sessionEnding_ = false;
    holdUntilMono_ = holdUntilSerial_ = countLeft_ = -1;
    phase_ = RunPhase::None;
    step(proc("ShutDown_Action"), 2, [&] {
        reset_Action_Status();
        log("action canceled");
    });
    // A cancelled countdown stays cancelled: the count would otherwise start
    // again from the entered value and act once more.
    if (runOrigin_.mode == 2) setScheduleArmed(false);
}

void FrmMain::finishRun(bool refused) {
    // A time window whose action the system refused is not tried again until
    // it has closed: one entry in the error log, not one per tick.
    if (refused && runOrigin_.mode == 3) windowSpent_ = runOrigin_.key;
    holdUntilMono_ = holdUntilSerial_ = countLeft_ = -1;
    phase_ = RunPhase::None;
    step(proc("ShutDown_Action"), 14, [&] { reset_Action_Status(); });
}

Task FrmMain::actionRun(std::string actionName) {
    const std::string p = proc("ShutDown_Action");
    bool skipCountdown = false;
    std::string text;
    bool force = false;

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
                skipCountdown = !a.countdown;
            }
    });

    // The program first, waited for while the loop goes on. The button stays
    // off meanwhile; the tray, the stop picture or the end of the program
    // cancel the run, and the program is then left running.
    std::string program;
    bool runProgram = false;
    step(p, 5, [&] {
        program = Trim(txtStartProgram.text());
        runProgram = chkStartProgram.checked() && !rt().emergency && !program.empty();
    });
    if (runProgram) {
        step(p, 5, [&] {
            cmdGo.setEnabled(false);
            std::string shown = program.size() > 24 ? program.substr(program.size() - 24) : program;
            WriteToLog(txtPathLog.text(), StartProgramLogLine(shown), "");
        });
        if (FileExists(program)) {
            // The program is one argument however many blanks its path holds.
            // Its parameters are never run through a shell: on Windows they
            // are the program's command line as typed (the program takes it
            // apart itself), elsewhere they are split as a shell splits words.
            std::uint32_t pid = 0;
            const bool started = step(p, 5, [&] {
                const std::string parameters = txtProgramParameters.text();
                pid = processes().takesCommandLine()
                          ? processes().startCommandLine(program, parameters, platform::ws::NormalFocus)
                          : processes().start(program, SplitCommandLine(parameters), platform::ws::NormalFocus);
            });
            std::uint32_t code = 0;
            if (started) {
                setPhase(RunPhase::Waiting);
                code = co_await fWait(pid);
            }
            log(programFailed(started, pid, code) ? "Program Error" : "Program finished");
        } else {
            log("File doesn't exist");
        }
        step(p, 5, [&] { cmdGo.setEnabled(true); });
    }

    if (actionCode == action::StartProgram) {
        finishRun(false);
        co_return;
    }

    if (chkCleanHD.checked()) {
        frmCleanNow cleaning;
        CleaningScope scope(*this, cleaning);
        step(p, 7, [&] {
            setVisible(false);
            if (showCleaningRun) showCleaningRun(cleaning);
            cleaning.Form_Load();
        });
        setPhase(RunPhase::Cleaning);
        co_await cleaning.run();
    }

    step(p, 8, [&] {
        text = actionText(actionCode);
        cmdGo.setCaption(kCancelCaption);
        if (chkDisableCancel.checked()) cmdGo.setEnabled(false);
        log(text);
    });

    // A postponement (FrmMainControl.cpp) holds the run before its final
    // count: made during the program wait or the cleaning, it waits here
    // for the moved moment once that work is done; made during the final
    // count, the count stops, the run waits here and then counts again from
    // the start. Without a final count (a named action) the action itself
    // waits.
    for (;;) {
        while (holdPending()) {
            const std::int64_t left = holdUntilMono_ - clock().monotonicMs();
            if (left <= 0) break;
            setPhase(RunPhase::Waiting);
            step(p, 9, [&] { showHold(); });
            // A further postponement only moves the moment later: the loop
            // looks again when this wait ends.
            co_await Delay(left);
        }
        holdUntilMono_ = -1;
        holdUntilSerial_ = -1;
        if (skipCountdown) break;

        step(p, 10, [&] {
            imgCounter0.setVisible(true);
            imgCounter1.setVisible(true);
            lblNocturoInfo.setVisible(false);
            imgCountdown.setPicture("clock");
            if (chkSound.checked() && Val(txtCounter.text()) > 0 && rt().soundAvailable)
                Announce(text + " in " + txtCounter.text() + " seconds");
        });
        long long start = 0;
        step(p, 11, [&] {
            const double counter = Val(txtCounter.text());
            start = counter > 1e9 ? 1000000000LL : static_cast<long long>(counter);
        });
        bool postponed = false;
        const bool alarm = actionCode == action::Alarm;
        countLeft_ = start * (alarm ? 3 : 1);
        setPhase(RunPhase::FinalCount);
        for (long long i = start; i >= 0; --i) {
            countLeft_ = i * (alarm ? 3 : 1);
            step(p, 11, [&] {
                imgCounter0.setPicture(DigitPicture(static_cast<int>(i % 10)));
                // Counts of 100 and more show the last digit of the tens.
                imgCounter1.setPicture(DigitPicture(static_cast<int>((i / 10) % 10)));
            });
            step(p, 11, [&] {
                if (alarm) {
                    if (rt().soundAvailable)
                        PlaySoundOnce(JoinPath(JoinPath(Layout().dataFolder, "sound"), "alarm.wav"), false);
                } else if (chkSound.checked()) {
                    sound().beep();
                }
            });
            co_await Wait(alarm ? 3 : 1);
            if (holdPending()) {
                postponed = true;
                break;
            }
        }
        countLeft_ = -1;
        if (!postponed) break;
    }

    if (actionCode == action::Alarm) {
        finishRun(false);
        co_return;
    }
    if (actionCode == action::LockPC) {
        setPhase(RunPhase::Acting);
        finishRun(!step(p, 12, [&] { lockComputer(); }));
        co_return;
    }

    step(p, 13, [&] {
        imgCountdown.setPicture("stop");
        force = chkForce.checked();
    });
    if (actionCode == action::Suspend || actionCode == action::Hibernate) {
        const bool hibernate = actionCode == action::Hibernate;
        setPhase(RunPhase::Acting);
        // The call comes back after the resume: the window is ready again.
        finishRun(!step(p, 13, [&] { power().setSuspendState(hibernate, force, false); }));
        co_return;
    }

    bool confirmed = true;
    step(p, 13, [&] {
        if (rt().emergency) force = true;
        if (chkPowerOff.checked() && actionCode == action::Shutdown) actionCode = action::PowerOff;
        if (!force) {
            setPhase(RunPhase::Asking);
            confirmed = MsgBox("The Computer will " + text + " now.\n\nContinue?",
                               platform::mb::YesNo | platform::mb::Question | platform::mb::SystemModal,
                               "Exit Windows") == platform::mb::IdYes;
        }
    });
    // Cancelled while the question was open (the tray, the end of the
    // program): the run is over, whatever the answer.
    if (co_await Cancelled{}) co_return;
    if (!confirmed) {
        finishRun(false);
        // "No" to the countdown's action is a "no" to the countdown.
        if (runOrigin_.mode == 2) setScheduleArmed(false);
        co_return;
    }

    setPhase(RunPhase::Acting);
    step(p, 13, [&] { setTimer2Enabled(false); });
    step(p, 13, [&] { Save_Registry(); });
    bool accepted = false;
    step(p, 13, [&] { accepted = ExitWindowsSession(actionCode, force ? 1 : 0); });
    if (accepted) {
        // The session ends on its own time: nothing more is called, the timer
        // stays off, and a schedule falling due is passed over.
        sessionEnding_ = true;
        co_return;
    }
    finishRun(true);
}

void FrmMain::ImgStop_DblClick() {
    if (life_ != Life::Running) return;
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

}  // namespace nocturo

// The main window's life: loading it, and the one way the program ends.
//
// Ending is a state, not a flag. UnloadProgram stops the main timer first,
// cancels the action under way (a started program is left running, its wait
// ends), then the service and the window go: the settings are saved, "Nocturo
// ended" is logged, the goodbye is said and waited for, and the loop quits.
// From the first of these steps no event of the window is handled, nothing
// acts, and after the save no setting is written.
#include "base/Runtime.h"
#include "base/Variant.h"
#include "base/Varn_Registry.h"
#include "platform/IDialogs.h"
#include "platform/ISound.h"
#include "schedule/Varn_Time.h"
#include "shell/FrmMainParts.h"
#include "shell/frmSysTray.h"
#include "timevoice/Varn_PlaySound.h"

namespace nocturo {

using namespace frmmain;

namespace {
constexpr const char* kFormLoad = "Form_Load of Formular fMainForm";
}

bool FrmMain::fireEvent(const std::string& event, int arg) {
    if (life_ == Life::Ending || life_ == Life::Ended) return handles(event);
    const bool handled = Form::fireEvent(event, arg);
    // A handler may have changed what the schedule reads (a dialog's rows).
    dueCache_.mode = -1;
    stateMayHaveChanged();
    return handled;
}

void FrmMain::Form_Load() {
    const std::string p = kFormLoad;
    setLoaded(true);
    life_ = Life::Loading;
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
    bool waitForService = false;
    step(p, 3, [&] {
        if (rt().winVersionCode < 20) {
            setTimer2Enabled(true);
            chkNtService.setValue(0);
            chkNtService.setEnabled(false);
        } else if (!isWindowsStyle() && !asSystemService && serviceState &&
                   (chkNtService.checked() || (serviceInstalled && serviceInstalled()))) {
            // On Linux no start event reaches a window: the service runs the
            // schedule on its own, and the clock here keeps going beside it.
            serviceWatch_ = true;
            setTimer2Enabled(true);
            showServiceState();
        } else if (chkNtService.checked() && serviceRunning) {
            // The service's start and stop events switch the timer.
            waitForService = true;
        } else {
            setTimer2Enabled(true);
        }
    });
    if (waitForService) {
        // The rest of the load follows the service's two seconds.
        serviceCheck_ = serviceStartCheck();
        serviceCheck_.start(kFormLoad);
        return;
    }
    loadRest();
}

void FrmMain::showServiceState() {
    std::string state;
    try {
        state = serviceState();
    } catch (const std::exception& e) {
        state = std::string("unknown: ") + e.what();
    }
    lblNocturoInfo.setCaption("Run by the system service: " + state);
}

Task FrmMain::serviceStartCheck() {
    co_await Wait(2);
    step(kFormLoad, 3, [&] {
        if (serviceRunning()) cmdExit.setEnabled(true);
        else sound().beep();
    });
    loadRest();
}

void FrmMain::loadRest() {
    const std::string p = kFormLoad;
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
    step(p, 8, [&] {
        // Settings that could not be read are the defaults - a forced shut
        // down at midnight - and settings that cannot be written would come
        // back at the next start: no schedule is armed until the user chooses
        // one. Said once, here.
        if (rt().settingsProblem.empty() && !rt().settingsWriteFailing) return;
        scheduleArmed_ = false;
        settingsUnusable_ = true;
        log("Settings unusable, not armed");
    });
    // A first start, or a schedule the user disarmed: shown until the user
    // arms it.
    step(p, 8, [&] { showArmedState(); });
    ready_ = true;
    life_ = Life::Running;
    // Told to end while loading: now that the controls hold the stored
    // settings, saving them on the way out loses nothing.
    if (unloadPending_) {
        unloadPending_ = false;
        UnloadProgram();
    }
}

bool FrmMain::Form_Unload() {
    if (tag().empty()) {
        // The close box only minimises: the program keeps running.
        setWindowState(WindowState::Minimized);
        return false;
    }
    UnloadProgram();
    return true;
}

void FrmMain::UnloadProgram() {
    // Once is enough: a second request while the first one runs changes nothing.
    if (life_ == Life::Ending || life_ == Life::Ended) return;
    if (!ready_) {
        unloadPending_ = true;
        return;
    }
    life_ = Life::Ending;
    // The timer first: no tick, no schedule, no crash marker from here on.
    setTimer2Enabled(false);
    // An action under way is cancelled: the program never acts after it has
    // been told to end. A program it waited for is left running.
    if (run_.active()) cancelAction();
    sessionEnding_ = false;
    versionCheck_.cancel();
    setTag("stop");
    end_ = endProgram();
    end_.start("UnloadProgram of Formular FrmMain");
}

Task FrmMain::endProgram() {
    const std::string p = proc("UnloadProgram");
    bool serviceStopping = false;
    step(p, 2, [&] {
        // A window beside the service only watches it: the service goes on.
        if (serviceWatch_) return;
        if (rt().winVersionCode >= 20 && serviceRunning && serviceRunning()) {
            if (stopService) stopService();
            serviceStopping = true;
        }
    });
    while (serviceStopping) {
        co_await Delay(100);
        if (!step(p, 2, [&] { serviceStopping = serviceRunning(); })) serviceStopping = false;
    }

    // The window's unload.
    const std::string u = proc("Form_Unload");
    step(u, 2, [&] { Save_Registry(); });
    // Nothing writes a setting after this save: the crash marker stays clear.
    rt().settingsClosed = true;
    step(u, 3, [&] { log("Nocturo ended"); });
    bool goodbye = false;
    step(u, 4, [&] {
        if (chkSound.checked()) {
            if (rt().soundAvailable) Announce("goodbye and have a very nice day");
            goodbye = true;
        }
    });
    if (goodbye) co_await Wait(2);
    closeEverything();
}

void FrmMain::closeEverything() {
    step(proc("Form_Unload"), 5, [&] {
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
    life_ = Life::Ended;
    if (onUnloaded) onUnloaded();
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

}  // namespace nocturo

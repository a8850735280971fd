// The main window's heartbeat: the tick of Timer2 and the four schedule
// modes, the main button, the countdown entry.
//
// When a schedule is due:
//   - modes 0 and 1 fire at the first tick at or after the due moment, as
//     long as that tick comes at most the catch-up window of real time after
//     the previous one (a busy machine, a clock moved forward, the hour that
//     a change to summer time skips); after a longer gap (the computer slept
//     through the moment) the moment is missed. A due moment - a date and a
//     time - fires once, so a clock set back, or the hour a change to winter
//     time repeats, never fires it again;
//   - mode 2 counts the seconds that pass, not the ticks; a gap longer than
//     the catch-up window counts as one tick, so the count goes on where it
//     stood after the computer slept;
//   - mode 3 is due while now lies in a window, today's or the one that began
//     yesterday, each by the row of the day it began on.
// A schedule falling due while an action is under way is passed over and
// said once in the action log; it never cancels the action.
#include <limits>

#include "base/Runtime.h"
#include "base/Strings.h"
#include "base/TimeFormat.h"
#include "base/Variant.h"
#include "base/Varn_Registry.h"
#include "platform/Error.h"
#include "platform/IProcesses.h"
#include "platform/ISessionPower.h"
#include "platform/IWindows.h"
#include "shell/FrmMainParts.h"
#include "shell/Varn_LockPC.h"
#include "shell/frmSysTray.h"
#include "timevoice/Varn_PlaySound.h"
#include "timevoice/Varn_TimeSync.h"

namespace nocturo {

using namespace frmmain;

namespace {

long long dayOf(long long serial) { return serial - ((serial % 86400) + 86400) % 86400; }

}  // namespace

// ---------------------------------------------------------------------------
// Choosing and arming the schedule

int FrmMain::selectedMode() const {
    for (int i = 0; i < 4; ++i)
        if (optShutdownTime[static_cast<size_t>(i)]->value()) return i;
    return -1;
}

void FrmMain::optShutdownTime_Click(int index) {
    step(proc("optShutdownTime_Click"), 1, [&] {
        ClearTopMostWindow();
        if (chkWinOnTop.checked()) SetTopMostWindow();
        if (index >= 0 && index < 4) Timer2.setInterval(kModeIntervals[index]);
        if (index != moved_.mode) moved_ = {};
        // The count of mode 2 goes on from now, not from its last tick.
        if (index == 2 && hasRuntime() && rt().pf.clock) countdownRefMono_ = clock().monotonicMs();
    });
    // Choosing a schedule arms it, also after settings that could not be used.
    setScheduleArmed(true, false);
}

bool FrmMain::scheduleEverChosen() const {
    // A schedule's own values: the mode, the time of mode 0, the count, and
    // the rows of the weekday and time-window dialogs.
    std::vector<std::string> names = {"txtHour", "txtMinute", "txtSEC", "txtStartActionIn", "cmbTimeUnit"};
    for (int i = 0; i < 4; ++i) names.push_back("optShutdownTime" + std::to_string(i));
    for (int d = 0; d < 7; ++d)
        for (const char* field : {"txtHour", "txtMinute", "txtSEC", "txtHourTW", "txtMinuteTW", "txtSECTW", "txtTWDuration"})
            names.push_back(std::to_string(d) + field);
    const std::string u = UserApp();
    for (const std::string& name : names)
        if (RegKeyExists(SettingPath(u, kSettings, name))) return true;
    return false;
}

std::string FrmMain::notArmedText() const {
    if (settingsUnusable_) return "not armed: the settings cannot be used";
    return "not armed: tick Armed in Options";
}

void FrmMain::showArmedState() {
    // Beside the system service the box shows the service's schedule.
    const bool armed = serviceWatch_ && serviceAnswered_ ? serviceShown_.armed : scheduleArmed_;
    chkArmed.setValue(armed ? 1 : 0);
    if (!scheduleArmed_ && !serviceWatch_) lblNocturoInfo.setCaption(notArmedText());
    if (!m_frmSysTray) return;
    // The tray menu offers the other choice from now on.
    for (frmSysTray::MenuItem& item : m_frmSysTray->mnuSysTray)
        if (item.tag == "arm" || item.tag == "disarm") {
            item.tag = scheduleArmed_ ? "disarm" : "arm";
            item.caption = scheduleArmed_ ? "Disarm s&chedule" : "Arm s&chedule";
        }
    if (inTray)
        m_frmSysTray->ToolTip(scheduleArmed_ ? "DoubleClick to Shutdown" : "Not armed. DoubleClick to Shutdown");
}

void FrmMain::setScheduleArmed(bool on, bool say) {
    const std::string p = proc("setScheduleArmed");
    const bool changed = on != scheduleArmed_;
    scheduleArmed_ = on;
    // Armed again, the schedule acts as set: a postponement is forgotten.
    if (changed) moved_ = {};
    if (on) settingsUnusable_ = false;
    step(p, 1, [&] {
        if (!changed) return;
        // Armed again, the count starts from the entered value; disarmed it
        // holds still.
        if (on && optShutdownTime[2]->value()) cmdResetCounter_Click();
        if (hasRuntime() && rt().pf.clock) countdownRefMono_ = clock().monotonicMs();
        if (say) log(on ? "Schedule armed" : "Schedule disarmed");
    });
    step(p, 2, [&] {
        if (!changed) return;
        // Kept at once: a crash or a killed program does not bring back what
        // the user switched off.
        WriteSetting(UserApp(), kSettings, "Armed", on ? 1 : 0);
        stored_[UserApp() + "\\Armed"] = on ? 1 : 0;
    });
    step(p, 3, [&] { showArmedState(); });
    stateMayHaveChanged();
}

void FrmMain::chkArmed_Click() {
    if (serviceWatch_ && callService) {
        // The service's schedule is armed or disarmed; the box shows what it says.
        platform::ControlRequest r;
        r.op = chkArmed.checked() ? platform::ControlOp::Arm : platform::ControlOp::Disarm;
        if (forwardToService(r)) {
            if (serviceAnswered_) chkArmed.setValue(serviceShown_.armed ? 1 : 0);
            return;
        }
    }
    setScheduleArmed(chkArmed.checked());
}

void FrmMain::armCountdown(std::int32_t seconds) {
    countdownSeconds = seconds;
    countdownFired_ = false;
    countdownCarryMs_ = 0;
    countdownRefMono_ = hasRuntime() && rt().pf.clock ? clock().monotonicMs() : -1;
}

void FrmMain::cmdResetCounter_Click() {
    step("txtStartActionIn_Change of Formular FrmMain", 1, [&] {
        std::int32_t value = CLng(Trim(txtStartActionIn.text()));
        const std::string unit = cmbTimeUnit.text();
        long long total = value;
        if (unit == "minutes") total *= 60;
        else if (unit == "hours") total *= 3600;
        if (total > std::numeric_limits<std::int32_t>::max()) throw platform::Error(platform::err::Overflow, "Overflow");
        armCountdown(static_cast<std::int32_t>(total));
        countEdited_ = false;
    });
}

bool FrmMain::IsDigit(std::int16_t key) { return key == 8 || (key >= 48 && key <= 57); }

std::int16_t FrmMain::txtStartActionIn_KeyPress(std::int16_t key) {
    if (key == 13) {
        cmdResetCounter_Click();
        return 0;
    }
    return IsDigit(key) ? key : 0;
}

void FrmMain::txtStartActionIn_LostFocus() {
    if (countEdited_) cmdResetCounter_Click();
}

void FrmMain::cmbTimeUnit_Click() { cmdResetCounter_Click(); }

void FrmMain::txtStartActionIn_Change() {
    countEdited_ = true;
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

void FrmMain::cmdGo_Click() {
    // A button that is off takes no click (the program wait, "Disable Cancel
    // button" during the countdown).
    if (!cmdGo.enabled() || life_ != Life::Running) return;
    if (serviceWatch_ && callService) {
        // The service carries out the action, or cancels the one it runs.
        platform::ControlRequest r;
        if (!serviceShown_.running.empty()) {
            r.op = platform::ControlOp::Cancel;
        } else {
            r.op = platform::ControlOp::Now;
            r.action = ServiceActionName(actionCode);
        }
        if (forwardToService(r)) return;
    }
    const std::string p = proc("cmdGo_Click");
    step(p, 1, [&] {
        if (cmdGo.caption() != kCancelCaption) {
            if (chkSound.checked()) PlaySoundOnce("SystemHand", true);
            log("manual command");
            // Go is the user's choice of the schedule too.
            if (!scheduleArmed_) setScheduleArmed(true, false);
        } else if (chkSound.checked()) {
            PlaySoundOnce("close", true);
        }
    });
    step(p, 2, [&] { ShutDown_Action(""); });
}

// ---------------------------------------------------------------------------
// When the schedule is due

bool FrmMain::dueMoment(const std::string& target, long long nowSerial, std::int64_t nowMono,
                        long long& key) const {
    // Only a time written with two digits each matches the clock.
    if (!IsWellFormedTime(target)) return false;
    const long long targetSec = ((target[0] - '0') * 10 + (target[1] - '0')) * 3600LL +
                                ((target[3] - '0') * 10 + (target[4] - '0')) * 60LL + (target[6] - '0') * 10 +
                                (target[7] - '0');
    const long long today = dayOf(nowSerial);
    if (nowSerial - today == targetSec) {
        key = nowSerial;
        return true;
    }
    // Passed since the previous tick, which was not long ago in real time.
    if (previousTick_ < 0) return false;
    const std::int64_t realGap = nowMono - previousTickMono_;
    if (realGap < 0 || realGap > kCatchUpMs) return false;
    for (long long day : {today, today - 86400}) {
        const long long t = day + targetSec;
        if (t > previousTick_ && t <= nowSerial) {
            key = t;
            return true;
        }
    }
    return false;
}

bool FrmMain::inTimeWindow(const platform::LocalTime& now, long long nowSerial, long long& key) {
    const std::string u = UserApp();
    const long long today = dayOf(nowSerial);
    // A day's window: its start on that day and its length in minutes.
    auto windowOf = [&](int weekday, long long day, long long& start, long long& minutes) {
        const std::string d = std::to_string(weekday);
        const long long h = CInt(ReadSetting(u, kSettings, d + "txtHourTW", std::string("00")));
        const long long m = CInt(ReadSetting(u, kSettings, d + "txtMinuteTW", std::string("00")));
        const long long s = CInt(ReadSetting(u, kSettings, d + "txtSECTW", std::string("00")));
        minutes = CLng(ReadSetting(u, kSettings, d + "txtTWDuration", std::string("0")));
        start = day + h * 3600 + m * 60 + s;
    };
    long long start = 0, minutes = 0;
    windowOf(now.weekday, today, start, minutes);
    lblNocturoInfo.setCaption(" " + FormatStamp(FromSerialSeconds(start)));
    if (start <= nowSerial && nowSerial < start + minutes * 60) {
        key = start;
        return true;
    }
    // A window that began yesterday, by yesterday's row, may still be open.
    windowOf((now.weekday + 6) % 7, today - 86400, start, minutes);
    if (start <= nowSerial && nowSerial < start + minutes * 60) {
        key = start;
        return true;
    }
    return false;
}

void FrmMain::countDownSeconds(std::int64_t nowMono) {
    if (countdownRefMono_ < 0) countdownRefMono_ = nowMono;
    std::int64_t gap = nowMono - countdownRefMono_;
    if (gap < 0) gap = 0;
    // The computer slept or the program stood still: one tick, not the gap.
    if (gap > kCatchUpMs) gap = Timer2.interval();
    countdownRefMono_ = nowMono;
    // Whole seconds, rounded, with the rest carried to the next tick: a tick
    // that comes a little early or late neither stalls nor skips the count.
    countdownCarryMs_ += gap;
    const std::int64_t seconds = (countdownCarryMs_ + 500) / 1000;
    countdownCarryMs_ -= seconds * 1000;
    const std::int64_t left = static_cast<std::int64_t>(countdownSeconds) - seconds;
    countdownSeconds = static_cast<std::int32_t>(
        left < std::numeric_limits<std::int32_t>::min() ? std::numeric_limits<std::int32_t>::min() : left);
}

void FrmMain::scheduleDue(Origin origin) {
    if (!scheduleArmed_) return;
    if (origin.mode == 0 || origin.mode == 1) {
        // A due moment fires once.
        if (origin.key == lastFired_) return;
        lastFired_ = origin.key;
    } else if (origin.mode == 2) {
        countdownFired_ = true;  // until the count is armed again
    } else if (origin.mode == 3 && origin.key == windowSpent_) {
        return;
    }
    // The session is ending: nothing more is called.
    if (sessionEnding_) return;
    if (run_.active()) {
        // The action under way goes on; a schedule never cancels it. Its own
        // due moment seen again is no news.
        if (runOrigin_.mode == origin.mode && runOrigin_.key == origin.key) return;
        if (!busyLogged_) {
            busyLogged_ = true;
            log("Schedule due: action running");
        }
        return;
    }
    startAction("", origin);
}

void FrmMain::Timer2_Timer() {
    if (life_ != Life::Running || rt().tickBusy) return;  // never re-entered, never after the end began
    const std::string p = proc("Timer2_Timer");
    rt().tickBusy = true;
    platform::LocalTime now{};
    long long nowSerial = 0;
    std::int64_t nowMono = 0;
    step(p, 2, [&] {
        // Ctrl+Q brings the window back from the tray, wherever the focus is.
        if (!rt().pf.windows) return;
        if (windows().keyDown(platform::vk::Control) && windows().keyDown('Q')) RestoreFromTray();
    });
    step(p, 3, [&] {
        now = clock().now();
        nowMono = clock().monotonicMs();
        nowSerial = SerialSeconds(now);
        lblTime.setCaption(FormatTime(now));
        lblDate.setCaption(FormatDate(now));
        lblTimeHeader.setCaption(lblTime.caption());
    });
    const int mode = selectedMode();
    step(p, 4, [&] {
        // The system service runs the schedule; this window only shows it.
        if (serviceWatch_) return;
        const std::string u = UserApp();
        long long key = 0;
        switch (mode) {
        case 0: {
            targetTime = txtHour.text() + ":" + txtMinute.text() + ":" + txtSEC.text();
            lblNocturoInfo.setCaption(" at  " + targetTime);
            // A moved occurrence belongs to the time it was moved from.
            if (movedFor(0) && moved_.target != targetTime) moved_ = {};
            if (dueMoment(targetTime, nowSerial, nowMono, key) && !(movedFor(0) && key == moved_.from))
                scheduleDue({0, key});
            if (movedFor(0) && nowSerial >= moved_.to) {
                const long long to = moved_.to;
                const bool now = passedAt(to, nowSerial, nowMono);
                moved_ = {};
                if (now) scheduleDue({0, to});
            }
            break;
        }
        case 1: {
            const std::string d = std::to_string(now.weekday);
            const std::string target = CStr(ReadSetting(u, kSettings, d + "txtHour", std::string("00"))) + ":" +
                                       CStr(ReadSetting(u, kSettings, d + "txtMinute", std::string("00"))) + ":" +
                                       CStr(ReadSetting(u, kSettings, d + "txtSEC", std::string("00")));
            targetTime = target;
            lblNocturoInfo.setCaption(" at " + target);
            if (dueMoment(target, nowSerial, nowMono, key) && !(movedFor(1) && key == moved_.from))
                scheduleDue({1, key});
            if (movedFor(1) && nowSerial >= moved_.to) {
                const long long to = moved_.to;
                const bool now = passedAt(to, nowSerial, nowMono);
                moved_ = {};
                if (now) scheduleDue({1, to});
            }
            break;
        }
        case 2: {
            // The count waits while its own action runs, and starts again
            // from the entered value when that has ended.
            if (run_.active() && runOrigin_.mode == 2) break;
            // Not armed, the count holds still where it stands.
            if (!scheduleArmed_) {
                countdownRefMono_ = nowMono;
                break;
            }
            countDownSeconds(nowMono);
            lblNocturoInfo.setCaption("in " + std::to_string(countdownSeconds) + " sec.");
            if (countdownSeconds < 1 && !countdownFired_) scheduleDue({2, 0});
            break;
        }
        case 3: {
            const bool inWindow = inTimeWindow(now, nowSerial, key);
            // A held window acts once at its moved moment, open or not.
            if (movedFor(3)) {
                if (nowSerial >= moved_.to) {
                    const long long from = moved_.from;
                    moved_ = {};
                    scheduleDue({3, from});
                    break;
                }
                if (inWindow && key == moved_.from) break;
            }
            if (inWindow) scheduleDue({3, key});
            break;
        }
        default: break;
        }
    });
    // A postponed run says until when it waits.
    if (run_.active() && holdPending()) step(p, 4, [&] { showHold(); });
    if (serviceWatch_) {
        // Asking systemd takes a bus round trip: every few seconds is enough.
        if (serviceLookMono_ < 0 || nowMono - serviceLookMono_ >= kServiceLookMs) {
            serviceLookMono_ = nowMono;
            step(p, 4, [&] { showServiceState(); });
        }
    }
    else if (!scheduleArmed_) lblNocturoInfo.setCaption(notArmedText());
    // Another mode (or the count's own action) holds the count where it stands.
    if (mode != 2 || (run_.active() && runOrigin_.mode == 2)) countdownRefMono_ = nowMono;
    step(p, 5, [&] {
        if (chkVoice.checked()) VoiceTime(lblTime.caption(), Combo1.text(), false);
    });
    step(p, 7, [&] {
        if (chkPCLock.checked()) LockWatcher();
    });
    step(p, 7, [&] { RunScreenSaverWhenIdle(); });
    // The desktop's notifications before an action that ends the session.
    step(p, 8, [&] { noticesTick(nowSerial); });
    step(p, 6, [&] {
        if (++rt().tickCounter >= 10) {
            rt().tickCounter = 0;
            WriteSetting(UserApp(), kSettings, "Crashtime", FormatStamp(clock().now()));
        }
    });
    previousTick_ = nowSerial;
    previousTickMono_ = nowMono;
    rt().tickBusy = false;
    stateMayHaveChanged();
}

}  // namespace nocturo

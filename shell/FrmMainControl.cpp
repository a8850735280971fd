// Control from outside the window: postponing and cancelling for the control
// channel, the notifications, the postpone buttons and the tray menu, and
// the state the channel reports.
//
// A postponement moves the next due moment:
//   - the countdown of "Start Action in" gets the seconds added;
//   - a time of day, a weekday's time or a time window holds this one
//     occurrence until its due moment plus the seconds (MovedMoment in
//     FrmMain.h): the typed time, the weekday rows and the stored settings
//     stay as they are, the moved occurrence acts once, and the next regular
//     one comes as usual. A time window open now (its action cancelled, or
//     not yet started) is held from now; once its moved moment has come the
//     window, if still open, acts as any open window does;
//   - a run under way waits before its final count (FrmMainAction.cpp). In
//     the final count the count stops and the run waits until now plus the
//     seconds, then counts again from the start. During the wait for a
//     started program or the cleaning that work goes on - the program is
//     never started twice nor the disk cleaned twice - and the final count
//     waits for the moved moment once it is done. A run that asks its
//     question or has called the system cannot be moved any more.
// Several postponements add up. Each writes one action-log line with the
// new due time.
#include <algorithm>
#include <cstdio>
#include <limits>

#include "base/Duration.h"
#include "base/Runtime.h"
#include "base/Strings.h"
#include "base/TimeFormat.h"
#include "base/Variant.h"
#include "base/Varn_Registry.h"
#include "platform/IDialogs.h"
#include "shell/FrmMainParts.h"
#include "shell/frmSysTray.h"
#include "timevoice/Varn_PlaySound.h"

namespace nocturo {

using namespace frmmain;

namespace {

long long dayStart(long long serial) { return serial - ((serial % 86400) + 86400) % 86400; }

// "HH:mm:ss" as seconds of the day; -1 for a text the clock never shows.
long long secondsOfDay(const std::string& text) {
    if (!IsWellFormedTime(text)) return -1;
    return ((text[0] - '0') * 10 + (text[1] - '0')) * 3600LL + ((text[3] - '0') * 10 + (text[4] - '0')) * 60LL +
           (text[6] - '0') * 10 + (text[7] - '0');
}

std::string isoLocal(long long serial) {
    const platform::LocalTime t = FromSerialSeconds(serial);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return text;
}

constexpr const char* kModeNames[4] = {"time", "weekdays", "countdown", "window"};

constexpr const char* kPostponeKey = "postpone";
constexpr const char* kCancelKey = "cancel";

}  // namespace

// ---------------------------------------------------------------------------
// When the schedule is due next

bool FrmMain::passedAt(long long moment, long long nowSerial, std::int64_t nowMono) const {
    if (nowSerial == moment) return true;
    if (previousTick_ < 0 || !(moment > previousTick_ && moment <= nowSerial)) return false;
    const std::int64_t realGap = nowMono - previousTickMono_;
    return realGap >= 0 && realGap <= kCatchUpMs;
}

long long FrmMain::nextOccurrence(int mode, long long nowSerial, long long skip) const {
    const long long today = dayStart(nowSerial);
    const int weekday = FromSerialSeconds(nowSerial).weekday;
    const std::string u = UserApp();
    // A due moment at now counts until this tick has fired it.
    auto ahead = [&](long long t) { return t != skip && (t > nowSerial || (t == nowSerial && t != lastFired_)); };
    if (mode == 0) {
        const long long s = secondsOfDay(txtHour.text() + ":" + txtMinute.text() + ":" + txtSEC.text());
        if (s < 0) return -1;
        for (long long day : {today, today + 86400, today + 2 * 86400})
            if (ahead(day + s)) return day + s;
        return -1;
    }
    if (mode == 1) {
        for (int d = 0; d <= 7; ++d) {
            const std::string row = std::to_string((weekday + d) % 7);
            const long long s = secondsOfDay(CStr(ReadSetting(u, kSettings, row + "txtHour", std::string("00"))) +
                                             ":" + CStr(ReadSetting(u, kSettings, row + "txtMinute", std::string("00"))) +
                                             ":" + CStr(ReadSetting(u, kSettings, row + "txtSEC", std::string("00"))));
            if (s >= 0 && ahead(today + d * 86400LL + s)) return today + d * 86400LL + s;
        }
        return -1;
    }
    if (mode == 3) {
        // Yesterday's window may still be open; a window open now is due now.
        for (int d = -1; d <= 7; ++d) {
            const std::string row = std::to_string(((weekday + d) % 7 + 7) % 7);
            const long long h = CInt(ReadSetting(u, kSettings, row + "txtHourTW", std::string("00")));
            const long long m = CInt(ReadSetting(u, kSettings, row + "txtMinuteTW", std::string("00")));
            const long long s = CInt(ReadSetting(u, kSettings, row + "txtSECTW", std::string("00")));
            const long long minutes = CLng(ReadSetting(u, kSettings, row + "txtTWDuration", std::string("0")));
            if (minutes <= 0) continue;
            const long long start = today + d * 86400LL + h * 3600 + m * 60 + s;
            if (start == skip || start == windowSpent_) continue;
            if (start <= nowSerial && nowSerial < start + minutes * 60) return nowSerial;
            if (start > nowSerial) return start;
        }
        return -1;
    }
    return -1;
}

long long FrmMain::nextDueSerial(long long nowSerial) const {
    if (run_.active()) {
        if (holdPending()) return holdUntilSerial_;
        if (phase_ == RunPhase::FinalCount && countLeft_ >= 0) return nowSerial + countLeft_;
        return -1;
    }
    if (sessionEnding_ || !scheduleArmed_ || serviceWatch_) return -1;
    const int mode = selectedMode();
    if (mode == 2) return countdownFired_ ? -1 : nowSerial + std::max<std::int32_t>(countdownSeconds, 0);
    if (mode < 0) return -1;
    const long long skip = movedFor(mode) ? moved_.from : -1;
    const std::string target = txtHour.text() + ":" + txtMinute.text() + ":" + txtSEC.text();
    DueCache& c = dueCache_;
    if (c.mode != mode || c.skip != skip || c.lastFired != lastFired_ || c.windowSpent != windowSpent_ ||
        c.target != target || nowSerial < c.computedAt || nowSerial - c.computedAt >= 60 ||
        (c.value >= 0 && nowSerial >= c.value)) {
        c = {mode, skip, lastFired_, windowSpent_, nowSerial, nextOccurrence(mode, nowSerial, skip), target};
    }
    const long long regular = c.value;
    if (!movedFor(mode)) return regular;
    if (regular < 0) return moved_.to;
    return std::min(regular, moved_.to);
}

// ---------------------------------------------------------------------------
// Postponing and cancelling

void FrmMain::showHold() {
    imgCounter0.setVisible(false);
    imgCounter1.setVisible(false);
    lblNocturoInfo.setVisible(true);
    if (holdUntilSerial_ >= 0) lblNocturoInfo.setCaption("until " + FormatTime(FromSerialSeconds(holdUntilSerial_)));
}

bool FrmMain::Postpone(long long seconds, std::string& why) {
    if (seconds <= 0) {
        why = "A postponement takes at least one second.";
        return false;
    }
    // Beyond a year is a typing error, and keeps the sums below in range.
    if (seconds > 366LL * 86400) {
        why = "A postponement of more than a year is refused.";
        return false;
    }
    if (life_ != Life::Running) {
        why = "The program is ending.";
        return false;
    }
    if (sessionEnding_) {
        why = "The action has been called: the session is ending.";
        return false;
    }
    const std::string p = proc("Postpone");
    long long nowSerial = 0;
    std::int64_t nowMono = 0;
    if (!step(p, 1, [&] {
            nowSerial = SerialSeconds(clock().now());
            nowMono = clock().monotonicMs();
        })) {
        why = "The clock cannot be read.";
        return false;
    }
    long long due = -1;
    if (run_.active()) {
        switch (phase_) {
        case RunPhase::Asking: why = "The action is asking for confirmation: answer it first."; return false;
        case RunPhase::Acting: why = "The action has been called."; return false;
        default: break;
        }
        if (actionCode == action::StartProgram) {
            why = "Only the program runs: nothing comes after it to postpone.";
            return false;
        }
        // Held already: the moment moves on; otherwise the run waits from now.
        if (holdPending()) {
            holdUntilMono_ += seconds * 1000;
            holdUntilSerial_ += seconds;
        } else {
            holdUntilMono_ = nowMono + seconds * 1000;
            holdUntilSerial_ = nowSerial + seconds;
        }
        due = holdUntilSerial_;
        // In the final count the count stops at once; the run notices at
        // its next step and waits.
        if (phase_ == RunPhase::FinalCount) {
            setPhase(RunPhase::Waiting);
            countLeft_ = -1;
            step(p, 2, [&] { showHold(); });
        }
    } else {
        if (serviceWatch_) {
            why = "The system service runs the schedule.";
            return false;
        }
        if (!scheduleArmed_) {
            why = "Nothing is due: the schedule is not armed.";
            return false;
        }
        const int mode = selectedMode();
        if (mode == 2) {
            const long long left = std::max<long long>(countdownSeconds, 0) + seconds;
            if (left > std::numeric_limits<std::int32_t>::max()) {
                why = "The countdown would be too long.";
                return false;
            }
            countdownSeconds = static_cast<std::int32_t>(left);
            countdownFired_ = false;
            due = nowSerial + left;
            step(p, 3, [&] { lblNocturoInfo.setCaption("in " + std::to_string(countdownSeconds) + " sec."); });
        } else if (mode == 0 || mode == 1 || mode == 3) {
            long long regular = -1;
            step(p, 4, [&] { regular = nextOccurrence(mode, nowSerial, movedFor(mode) ? moved_.from : -1); });
            if (movedFor(mode) && (regular < 0 || moved_.to <= regular)) {
                moved_.to += seconds;
            } else if (regular < 0) {
                why = "Nothing is due: the schedule has no time to come.";
                return false;
            } else if (movedFor(mode)) {
                why = "An earlier postponement is still waiting; the next regular time comes before it.";
                return false;
            } else {
                moved_.mode = mode;
                // A window open now is held from now; its key is its start.
                long long key = regular;
                if (mode == 3 && regular == nowSerial) {
                    platform::LocalTime now{};
                    step(p, 4, [&] { now = FromSerialSeconds(nowSerial); });
                    long long start = -1;
                    if (inTimeWindow(now, nowSerial, start)) key = start;
                }
                moved_.from = key;
                moved_.to = regular + seconds;
                moved_.target = txtHour.text() + ":" + txtMinute.text() + ":" + txtSEC.text();
            }
            due = moved_.to;
        } else {
            why = "Nothing is due: no schedule is chosen.";
            return false;
        }
    }
    step(p, 5, [&] {
        const std::string at = dayStart(due) == dayStart(nowSerial) ? FormatTime(FromSerialSeconds(due))
                                                                    : FormatStamp(FromSerialSeconds(due));
        log("Postponed by " + DurationText(seconds) + ": " + lblAction.caption() + " is now due at " + at);
    });
    why.clear();
    stateMayHaveChanged();
    return true;
}

bool FrmMain::CancelRunning(std::string& why) {
    if (life_ != Life::Running || (!run_.active() && !sessionEnding_)) {
        why = "No action is running.";
        return false;
    }
    // The window refuses it too: "Disable Cancel button" takes the button's
    // cancel away.
    if (chkDisableCancel.checked()) {
        why = "Cancelling is disabled (\"Disable Cancel button\").";
        return false;
    }
    // The cancel that the button and the stop picture share while a run is
    // under way: a second start of ShutDown_Action. The stop picture's own
    // "Emergency Shut Down" line and sound are left out: nothing is shut
    // down here.
    const std::string p = proc("CancelRunning");
    step(p, 1, [&] {
        if (chkSound.checked()) PlaySoundOnce("close", true);
    });
    step(p, 2, [&] { ShutDown_Action(""); });
    if (run_.active()) {
        why = "The action could not be cancelled.";
        return false;
    }
    why.clear();
    stateMayHaveChanged();
    return true;
}

void FrmMain::cmdPostpone_Click(int minutes) {
    if (serviceWatch_ && callService) {
        platform::ControlRequest r;
        r.op = platform::ControlOp::Postpone;
        r.seconds = minutes * 60LL;
        if (forwardToService(r)) return;
    }
    const std::string p = proc("cmdPostpone_Click");
    std::string why;
    step(p, 1, [&] {
        if (chkSound.checked()) PlaySoundOnce("close", true);
    });
    step(p, 2, [&] {
        if (!Postpone(minutes * 60LL, why)) MsgBox(why, platform::mb::OkOnly | platform::mb::Exclamation, rt().appName);
    });
}

// ---------------------------------------------------------------------------
// The state

void FrmMain::showPostponeButtons(bool on) {
    for (CommandButton* b : {&cmdPostpone5, &cmdPostpone15, &cmdPostpone60}) b->setVisible(on);
}

void FrmMain::setPhase(RunPhase phase) {
    if (phase_ == phase) return;
    phase_ = phase;
    stateMayHaveChanged();
}

platform::ControlState FrmMain::controlState() const {
    platform::ControlState s;
    try {
        s.armed = scheduleArmed_;
        const int mode = selectedMode();
        if (mode >= 0) s.mode = kModeNames[mode];
        const int a = selectedAction();
        if (a >= 0) s.action = ServiceActionName(kActions[a].code);
        s.cancelDisabled = chkDisableCancel.checked();
        auto pw = stored_.find(MachineApp() + "\\poption");
        s.passwordSet = pw != stored_.end() && !CStr(pw->second).empty();
        s.service = asSystemService;
        if (run_.active() || sessionEnding_) {
            s.running = ServiceActionName(actionCode);
            switch (sessionEnding_ ? RunPhase::Acting : phase_) {
            case RunPhase::Waiting: s.phase = "waiting"; break;
            case RunPhase::Cleaning: s.phase = "cleaning"; break;
            case RunPhase::FinalCount: s.phase = "final-count"; break;
            case RunPhase::Asking: s.phase = "asking"; break;
            case RunPhase::Acting: s.phase = "acting"; break;
            case RunPhase::None: break;
            }
        }
        if (!hasRuntime() || !rt().pf.clock) return s;
        const long long nowSerial = SerialSeconds(clock().now());
        s.clock = isoLocal(nowSerial);
        const long long due = nextDueSerial(nowSerial);
        if (due >= 0) {
            s.due = isoLocal(due);
            s.secondsLeft = std::max(0LL, due - nowSerial);
        }
    } catch (...) {
    }
    return s;
}

void FrmMain::stateMayHaveChanged() {
    const std::string p = proc("stateMayHaveChanged");
    // The postpone buttons and the tray's items: while a countdown or a
    // final count runs (and while a postponed run waits for its count).
    bool counting = false;
    step(p, 1, [&] {
        const bool countdown = life_ == Life::Running && !serviceWatch_ && scheduleArmed_ && selectedMode() == 2 &&
                               !run_.active() && !sessionEnding_;
        const bool finalCount = run_.active() && (phase_ == RunPhase::FinalCount || holdPending());
        // Beside the system service: the service's count.
        const platform::ControlState& sv = serviceShown_;
        const bool serviceCounting = serviceWatch_ && serviceAnswered_ &&
                                     (sv.phase == "final-count" ||
                                      (sv.armed && sv.mode == "countdown" && sv.running.empty()));
        counting = countdown || finalCount || serviceCounting;
        if (cmdPostpone5.visible() != counting) showPostponeButtons(counting);
    });
    step(p, 2, [&] {
        if (!m_frmSysTray) return;
        auto& items = m_frmSysTray->mnuSysTray;
        auto has = std::find_if(items.begin(), items.end(), [](const auto& i) { return i.tag == kPostponeKey; });
        if (counting == (has != items.end())) return;
        if (!counting) {
            items.erase(std::remove_if(items.begin(), items.end(),
                                       [](const auto& i) { return i.tag == kPostponeKey || i.tag == kCancelKey; }),
                        items.end());
            return;
        }
        // After the schedule's own item.
        auto at = std::find_if(items.begin(), items.end(), [](const auto& i) { return i.tag == "arm" || i.tag == "disarm"; });
        at = at == items.end() ? items.end() : at + 1;
        at = items.insert(at, {"Postpone 10 minutes", kPostponeKey, true});
        items.insert(at + 1, {"Cancel", kCancelKey, true});
    });
    if (!onStateChanged) return;
    platform::ControlState now = controlState();
    // A due moment a second off is the count's rounding, not news.
    long long due = -1;
    step(p, 3, [&] { due = nextDueSerial(SerialSeconds(clock().now())); });
    if (stateTold_ && due >= 0 && toldDue_ >= 0 && due - toldDue_ >= -1 && due - toldDue_ <= 1) now.due = toldState_.due;
    // The clock and the seconds left change every second: they are news only
    // with the rest, so they are left out of the comparison.
    const platform::ControlState& b = toldState_;
    const bool same = stateTold_ && now.armed == b.armed && now.mode == b.mode && now.action == b.action &&
                      now.due == b.due && now.phase == b.phase && now.running == b.running &&
                      now.cancelDisabled == b.cancelDisabled && now.passwordSet == b.passwordSet &&
                      now.service == b.service;
    if (same) return;
    toldState_ = now;
    toldDue_ = due;
    stateTold_ = true;
    step(p, 3, [&] { onStateChanged(); });
}

}  // namespace nocturo

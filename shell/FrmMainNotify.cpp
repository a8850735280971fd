// The desktop's notifications before a scheduled action that ends the
// session: what the main timer's tick tells them, and what their buttons do.
//
// "Postpone 10 min" moves the due moment as the postpone buttons do.
// "Cancel" cancels the action when one runs (as the stop picture does);
// before the due moment it disarms the schedule, as the tray menu's
// "Disarm schedule" does, so that the occurrence told about does not come:
// the window and the tray say it is not armed, and one tick of Armed arms
// it again. Each refusal comes back as a notification with its reason.
#include "base/Runtime.h"
#include "base/Variant.h"
#include "base/Varn_Registry.h"
#include "shell/FrmMainParts.h"

namespace nocturo {

using namespace frmmain;

void FrmMain::noticesTick(long long nowSerial) {
    platform::INotifications* service = rt().pf.notifications;
    // The system service has no desktop to tell; a window beside it does
    // not run the schedule.
    if (!service || asSystemService || serviceWatch_) return;
    if (!notices_.onChoice) {
        notices_.readLeadTimes = [] {
            return CStr(ReadSetting(UserApp(), kSettings, kLeadTimesSetting, std::string(kDefaultLeadTimes)));
        };
        notices_.cancelAllowed = [this] { return !chkDisableCancel.checked(); };
        notices_.onChoice = [this](const std::string& key) { noticeChosen(key); };
    }
    const platform::ControlState state = controlState();
    ActionNotices::Upcoming upcoming;
    upcoming.now = nowSerial;
    if (!state.running.empty() && (state.phase == "final-count" || state.secondsLeft < 0)) {
        // The action runs: its notices stay, their Cancel cancels it.
        upcoming.running = true;
    } else if (state.secondsLeft >= 0 && (state.armed || !state.running.empty())) {
        // The schedule's next moment, or a run postponed before its final
        // count: that moment is told like a schedule's.
        upcoming.actionCode = actionCode;
        upcoming.due = nowSerial + state.secondsLeft;
    }
    notices_.update(service, rt().pf.loop, upcoming);
}

void FrmMain::noticeChosen(const std::string& key) {
    if (life_ != Life::Running) return;
    const std::string p = proc("noticeChosen");
    step(p, 1, [&] {
        if (key == "default") {
            if (!rt().headless) RestoreFromTray();
            return;
        }
        std::string why;
        if (key == "postpone") {
            if (!Postpone(kNoticePostponeSeconds, why)) notices_.tell("Not postponed: " + why);
            return;
        }
        if (key != "cancel") return;
        if (run_.active()) {
            if (!CancelRunning(why)) notices_.tell("Not cancelled: " + why);
            return;
        }
        if (chkDisableCancel.checked()) {
            notices_.tell("Not cancelled: \"Disable Cancel button\" is set.");
            return;
        }
        if (!scheduleArmed_) return;
        const std::int32_t code = notices_.occurrenceAction();
        const long long due = notices_.occurrenceDue();
        setScheduleArmed(false);
        notices_.closeAll();
        if (due >= 0) notices_.tell(DisarmedNoticeText(code, due));
    });
}

}  // namespace nocturo

// The main window's clock setting: the "Atomic Time" button and the silent
// synchronisation at start-up.
#include "base/Runtime.h"
#include "base/TimeFormat.h"
#include "shell/FrmMainParts.h"
#include "shell/Varn_MsgBox.h"
#include "timevoice/Varn_TimeSync.h"

namespace nocturo {

using namespace frmmain;

namespace {
constexpr const char* kIdleCaption = "&Atomic Time";
}  // namespace

void FrmMain::timeSyncSetUp() {
    cmdTimeSync.setCaption(kIdleCaption);
    cmdTimeSync.setToolTip("Synchronize the PC with an Atomic Time");
    // Where the clock runs in UTC and local time follows the zone rules,
    // daylight saving is the system's business.
    if (rt().pf.time && rt().pf.time->zoneRulesKeepLocalTime()) {
        chkDT.setEnabled(false);
        chkDT.setToolTip("The system keeps local time from its time zone data, daylight saving included");
    }
}

void FrmMain::cmdTimeSync_Click() { TimeSync(true); }

void FrmMain::TimeSync(bool showMessages) {
    if (!cmdTimeSync.enabled() || timeSync_.active()) return;  // one at a time
    timeSync_ = timeSyncRun(showMessages);
    timeSync_.start("TimeSync of Formular FrmMain");
}

Task FrmMain::timeSyncRun(bool showMessages) {
    const std::string p = proc("TimeSync");
    const std::string picture = imgCountdown.picture();
    step(p, 1, [&] {
        cmdTimeSync.setEnabled(false);
        cmdTimeSync.setCaption("please wait...");
        lblTime.setCaption("updating...");
        imgCountdown.setPicture("clock");
    });
    // However it ends (also when the program ends meanwhile), the button
    // and the picture come back.
    struct Restore {
        FrmMain& f;
        std::string picture;
        ~Restore() {
            try {
                f.cmdTimeSync.setCaption(kIdleCaption);
                f.imgCountdown.setPicture(picture);
                f.cmdTimeSync.setEnabled(true);
            } catch (...) {
            }
        }
    } restore{*this, picture};

    bool ntp = false;
    step(p, 2, [&] {
        platform::TimeZoneInformation zone = TimeZoneInfo();
        const std::uint32_t result = timeSettings().getTimeZoneInformation(zone);
        if (result == platform::tz::Invalid) return;
        TimeZoneInfo() = zone;
        if (result == platform::tz::Unknown) {
            LblStatus.setCaption(" Time Zone Unknown!");
            DaylightActive = false;
        } else if (result == platform::tz::Standard) {
            LblStatus.setCaption(" Standard Time...");
            DaylightActive = false;
        } else if (result == platform::tz::Daylight) {
            LblStatus.setCaption(" Daylight Savings Time...");
            DaylightActive = true;
        }
    });
    step(p, 3, [&] { ntp = timeSettings().ntpActive(); });
    AtomicTimeOutcome outcome;
    {
        // Where the system keeps the clock by network time, it is not fought:
        // the offset to the time server is only measured and shown.
        AtomicTimeRequest request;
        request.setClock = !ntp;
        request.mayAsk = showMessages;
        // The server's answer may bring a question (a jump of days): the
        // window leaves the topmost band before it.
        if (showMessages) step(p, 4, [&] { ClearTopMostWindow(); });
        Task atomic = DoAtomicTime(outcome, chkDT.checked(), request);
        co_await atomic;
    }
    step(p, 5, [&] { ClearTopMostWindow(); });
    step(p, 6, [&] {
        const std::string& server = outcome.server;
        if (ntp) {
            if (outcome.measured) {
                const std::string offset = ClockOffsetText(outcome.offsetUsec);
                const std::string is = "the clock is ";
                LblStatus.setCaption(" NTP keeps the clock (" + offset.substr(is.size()) + ")");
                if (showMessages)
                    ACmsgbox(5, "Against " + server + " " + offset + "; network time (NTP) keeps it.", 64, rt().appName,
                             "", 0);
            } else {
                LblStatus.setCaption(" Network time (NTP) keeps the clock");
                if (showMessages)
                    ACmsgbox(5, "The system clock is kept by network time (NTP) already; its offset to " + server +
                                    " is not known: " + outcome.problem + ".",
                             64, rt().appName, "", 0);
            }
        } else if (outcome.clockSet && !outcome.refusal.empty()) {
            LblStatus.setCaption(" The system refused to set the clock");
            if (showMessages) {
                ACmsgbox(5, "The system refused to set the clock: " + outcome.refusal, 16, rt().appName, "", 0);
                // Network time is the system's own way to keep the clock: offer it.
                if (dialogs().messageBox("Let the system keep the clock by network time (NTP) instead?",
                                         platform::mb::YesNo | platform::mb::Question, rt().appName) == 6)
                    timeSettings().setNtp(true);
            }
        } else if (outcome.clockSet) {
            const std::string moved = ClockMoveText(outcome.offsetUsec);
            if (showMessages)
                ACmsgbox(5, "Your system time was updated to " + FormatGeneral(clock().now()) + " from " + server +
                                ": " + moved + ".",
                         64, rt().appName, "", 0);
            log("PC System time synchronized");
        } else if (showMessages) {
            ACmsgbox(5, "The attempt to synchronize your system time failed: " + outcome.problem + ".", 64,
                     rt().appName, "", 0);
        }
    });
    step(p, 7, [&] {
        if (chkWinOnTop.checked()) SetTopMostWindow();
    });
}

}  // namespace nocturo

// The secured PC: "Enable Secure PC " takes the session's end away from the
// desktop, turns the program's own Exit button off and puts the lock screen
// saver in place; when that screen saver has run and ends, the lock program
// comes up and has to be passed to get back to the desktop.
//
// On Windows the start menu loses its shut down and log off entries through
// the Explorer policies (applied by Explorer at the next restart). On Linux
// the login manager blocks shut down, restart and suspend while the program
// holds its block; releasing it acts at once.
#include "base/Runtime.h"
#include "base/Strings.h"
#include "base/Variant.h"
#include "platform/IDialogs.h"
#include "platform/IProcesses.h"
#include "shell/FrmMainParts.h"
#include "shell/Nocturo_Sub.h"
#include "shell/Varn_LockPC.h"
#include "timevoice/Varn_PlaySound.h"

namespace nocturo {

using namespace frmmain;

namespace {

constexpr const char* kSecurityInfo = "Security Info";

std::string securedText() {
    const std::string nl = LineEnd();
    if (isWindowsStyle())
        return "For security reasons the shutdown and logoff " + nl + "button in Windows startmenu will be removed !";
    return "For security reasons shutting down, restarting and " + nl +
           "suspending this computer are blocked while Secure PC is on !";
}

std::string releasedText() {
    const std::string nl = LineEnd();
    if (isWindowsStyle())
        return "The shutdown and logoff button in Windows startmenu" + nl + "will be restored after the next PC restart !";
    return "Shutting down, restarting and suspending" + nl + "this computer are allowed again.";
}

// A screen-saver delay the system can take: a whole number of seconds, at
// least one. The text box takes anything typed.
std::optional<std::int32_t> lockSeconds(const std::string& text) {
    const std::string t = Trim(text);
    if (t.empty() || t.size() > 9) return std::nullopt;
    for (char c : t)
        if (c < '0' || c > '9') return std::nullopt;
    const long value = std::stol(t);
    if (value < 1) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

}  // namespace

void FrmMain::chkPCLock_Click() {
    const std::string p = proc("chkPCLock_Click");
    step(p, 1, [&] { ClearTopMostWindow(); });
    if (chkPCLock.checked()) {
        step(p, 2, [&] { log("enable LockPC"); });
        int answer = platform::mb::IdCancel;
        step(p, 3, [&] { answer = MsgBox(securedText(), 4097, kSecurityInfo); });
        if (answer == platform::mb::IdOk) {
            step(p, 4, [&] {
                if (rt().soundAvailable) Announce("security pc lock acctivated");
            });
            step(p, 5, [&] { disable_shutdown_startmenu_button(); });
            step(p, 6, [&] { disable_logoff_startmenu_button(); });
            step(p, 7, [&] { cmdExit.setEnabled(false); });
            step(p, 8, [&] { chkSCR_Click(); });
        }
    } else {
        step(p, 9, [&] {
            if (rt().soundAvailable) Announce("security pc lock de activated");
        });
        step(p, 10, [&] { rt().LockScreenSaverSeen = false; });
        step(p, 11, [&] { log("disable LockPC"); });
        step(p, 12, [&] { enable_shutdown_startmenu_button(); });
        step(p, 13, [&] { enable_logoff_startmenu_button(); });
        step(p, 14, [&] { cmdExit.setEnabled(true); });
        // The desktop's own lock comes back while the screen saver stays.
        step(p, 14, [&] {
            if (chkSCR.checked()) chkSCR_Click();
        });
        step(p, 15, [&] { MsgBox(releasedText(), 4160, kSecurityInfo); });
    }
    step(p, 16, [&] {
        if (chkWinOnTop.checked()) SetTopMostWindow();
    });
}

void FrmMain::chkSCR_Click() {
    const std::string p = proc("chkSCR_Click");
    step(p, 1, [&] { ClearTopMostWindow(); });
    step(p, 2, [&] {
        if (chkSCR.checked()) {
            EnableSCR(true, chkPCLock.checked());
            SetSceensaver(kLockScreenSaverName);
            if (auto seconds = lockSeconds(txtLockTime.text())) SetSceensaverTimeOut(*seconds);
            EnableSCR(true, chkPCLock.checked());
        } else {
            EnableSCR(false);
            SetSceensaver("");
            EnableSCR(false);
        }
    });
    step(p, 3, [&] {
        if (chkWinOnTop.checked()) SetTopMostWindow();
    });
}

void FrmMain::txtLockTime_Change() {
    step("txtLockTime_change of Formular FrmMain", 1, [&] {
        const std::optional<std::int32_t> seconds = lockSeconds(txtLockTime.text());
        if (!seconds) {
            MsgBox("No valid number, please try again", 4112, "Info");
            txtLockTime.setText("600");
            txtLockTime_Change();
            txtLockTime.select(0, static_cast<int>(txtLockTime.text().size()));
            return;
        }
        SetSceensaverTimeOut(*seconds);
    });
}

void FrmMain::LockWatcher() {
    step(proc("Timer2_Timer"), 7, [&] {
        auto& p = processes();
        if (p.findWindow(kLockScreenSaverTitle)) {
            rt().LockScreenSaverSeen = true;
            if (p.findWindow(kLockWindowTitle)) p.showWindow(kLockWindowTitle, false);
        } else if (rt().LockScreenSaverSeen) {
            // Seen once, whatever follows: a lock program that cannot be
            // started is logged once, not at every tick.
            rt().LockScreenSaverSeen = false;
            if (p.findWindow(kLockWindowTitle)) p.showWindow(kLockWindowTitle, true);
            else StartLockProgram();
        }
    });
}

void FrmMain::imgCountdown_Click() {
    step(proc("imgCountdown_Click"), 1, [&] { StartLockScreenSaver(); });
}

}  // namespace nocturo

#include "shell/frmLockPc.h"

#include <algorithm>

#include "base/InstallLayout.h"
#include "base/Runtime.h"
#include "base/Variant.h"
#include "base/Varn_ErrorLog.h"
#include "base/Varn_Registry.h"
#include "base/Varn_WriteLogfile.h"
#include "cipher/Varn_encryption3.h"

namespace nocturo {

namespace {
constexpr const char* kProc = " of Formular frmLockPc";
std::string proc(const char* handler) { return std::string(handler) + kProc; }

constexpr int kPanelWidth = 7200;  // the texts and the entry, centred on the screen
constexpr int kBlack = 0x000000, kWhite = 0xFFFFFF, kAmber = 0x00C0FF;

// The action log the main window writes to: its "txtPathLog" setting, the
// install's action-log folder by default.
std::string ActionLogFolder() {
    std::string folder = CStr(ReadSetting(UserApp(), kSettings, "txtPathLog", std::string()));
    if (folder.empty()) folder = Layout().actionLogFolder;
    return folder;
}
}  // namespace

frmLockPc::frmLockPc() : Form("frmLockPc") {
    setCaption(kCaption);
    lblInfo.setCaption(
        "This computer is locked by Nocturo.\n"
        "Type the options password of Nocturo and press Unlock to unlock it.");
    lblInfo.setFontSize(14);
    lblInfo.setBackColor(kBlack);
    lblInfo.setForeColor(kWhite);
    txtPassword.setPassword(true);
    cmdUnlock.setCaption("&Unlock");
    lblStatus.setBackColor(kBlack);
    lblStatus.setForeColor(kAmber);
    lblStatus.setFontSize(11);
    tmrWait.setInterval(1000);
    tmrWait.setEnabled(false);
    layOut(1024 * 15, 768 * 15);

    on("cmdUnlock.Click", [this] { cmdUnlock_Click(); });
}

frmLockPc::~frmLockPc() {
    if (timerRegistered_ && hasRuntime()) {
        try {
            loop().removeTimer(timerId_);
        } catch (...) {
        }
    }
}

void frmLockPc::layOut(int screenWidth, int screenHeight) {
    setLeft(0);
    setTop(0);
    setWidth(screenWidth);
    setHeight(screenHeight);
    const int left = std::max(0, (screenWidth - kPanelWidth) / 2);
    const int top = std::max(0, screenHeight / 2 - 1500);
    lblInfo.setGeometry(left, top, kPanelWidth, 1200);
    txtPassword.setGeometry(left, top + 1440, kPanelWidth - 1680, 375);
    cmdUnlock.setGeometry(left + kPanelWidth - 1560, top + 1440, 1560, 375);
    lblStatus.setGeometry(left, top + 2040, kPanelWidth, 720);
}

void frmLockPc::onControlChanged(const std::string& what) {
    if (what == "tmrWait") syncTimer();
}

void frmLockPc::syncTimer() {
    if (!hasRuntime() || !rt().pf.loop) return;
    if (!timerRegistered_) {
        timerId_ = loop().addTimer([this] { tmrWait_Timer(); });
        timerRegistered_ = true;
    }
    loop().setTimer(timerId_, tmrWait.interval(), tmrWait.enabled() && !ended_);
}

int frmLockPc::delaySecondsAfter(int failures) {
    if (failures <= 0) return 0;
    if (failures > 5) return kMaxDelaySeconds;
    return std::min(kMaxDelaySeconds, 1 << (failures - 1));
}

std::int64_t frmLockPc::waitLeftMs() {
    if (failures_ == 0) return 0;
    return std::max<std::int64_t>(0, nextTryAtMs_ - clock().monotonicMs());
}

void frmLockPc::showWaitLeft() {
    const std::int64_t left = waitLeftMs();
    if (left <= 0) {
        lblStatus.setCaption("Wrong password. Try again.");
        return;
    }
    const std::int64_t seconds = (left + 999) / 1000;
    lblStatus.setCaption("Wrong password. Next try in " + std::to_string(seconds) + " s.");
}

void frmLockPc::Form_Load() {
    const std::string p = proc("Form_Load");
    setLoaded(true);
    Step(p.c_str(), 1, [&] {
        if (rt().pf.windows) layOut(windows().screenWidthTwips(), windows().screenHeightTwips());
        setTopMost(true);
    });
    Step(p.c_str(), 2, [&] {
        stored_ = Decrypt3(CStr(ReadSetting(MachineApp(), kSettings, "poption", std::string())), "");
    });
    if (!guarded()) {
        // Nothing of ours can guard the session: the desktop's lock takes over.
        const bool locked = Step(p.c_str(), 3, [] { power().lockWorkstation(); });
        if (locked) {
            Step(p.c_str(), 4, [] { WriteToLog(ActionLogFolder(), ActionLogLine("LockPC: desktop lock"), ""); });
            Form_Unload();
            return;
        }
        Step(p.c_str(), 5, [&] {
            lblStatus.setCaption(
                "The session could not be locked. Set an options password in Nocturo to secure the PC.");
        });
    }
    Step(p.c_str(), 6, [&] {
        setVisible(true);
        setForeground(true);
    });
}

void frmLockPc::Form_Unload() {
    if (ended_) return;
    ended_ = true;
    Step(proc("Form_Unload").c_str(), 1, [&] {
        tmrWait.setEnabled(false);
        setVisible(false);
        setLoaded(false);
    });
    if (onUnloaded) onUnloaded();
}

void frmLockPc::cmdUnlock_Click() {
    const std::string p = proc("cmdUnlock_Click");
    if (ended_) return;
    if (!guarded()) {
        // The desktop's lock refused before: try it once more.
        bool locked = Step(p.c_str(), 1, [] { power().lockWorkstation(); });
        if (locked) {
            Step(p.c_str(), 2, [] { WriteToLog(ActionLogFolder(), ActionLogLine("LockPC: desktop lock"), ""); });
            Form_Unload();
        }
        return;
    }
    std::string entry;
    bool waiting = false;
    Step(p.c_str(), 3, [&] {
        entry = txtPassword.text();
        txtPassword.setText("");
        waiting = waitLeftMs() > 0;
    });
    if (waiting) {
        Step(p.c_str(), 4, [&] {
            const std::int64_t seconds = (waitLeftMs() + 999) / 1000;
            lblStatus.setCaption("Please wait " + std::to_string(seconds) + " s before the next try.");
        });
        return;
    }
    if (entry == stored_) {
        Step(p.c_str(), 5, [] { WriteToLog(ActionLogFolder(), ActionLogLine("unlock LockPC"), ""); });
        Form_Unload();
        return;
    }
    Step(p.c_str(), 6, [&] {
        ++failures_;
        nextTryAtMs_ = clock().monotonicMs() + 1000LL * delaySecondsAfter(failures_);
    });
    Step(p.c_str(), 7, [] { WriteToLog(ActionLogFolder(), ActionLogLine("LockPC: wrong password"), ""); });
    Step(p.c_str(), 8, [&] {
        showWaitLeft();
        tmrWait.setEnabled(true);
    });
}

void frmLockPc::tmrWait_Timer() {
    Step(proc("tmrWait_Timer").c_str(), 1, [&] {
        showWaitLeft();
        if (waitLeftMs() <= 0) tmrWait.setEnabled(false);
    });
}

void frmLockPc::HideLock() {
    if (ended_ || !loaded()) return;
    Step(proc("HideLock").c_str(), 1, [&] { setVisible(false); });
}

void frmLockPc::ShowLock() {
    if (ended_ || !loaded()) return;
    Step(proc("ShowLock").c_str(), 1, [&] {
        setVisible(true);
        setForeground(true);
    });
}

}  // namespace nocturo

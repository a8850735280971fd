#pragma once
// The lock window of the secured PC: a full-screen window on top of the
// desktop that only the options password takes away. Without an options
// password it hands the session over to the desktop's own lock at once.
//
// A wrong password makes the next try wait: 1 s after the first, then 2, 4,
// 8 ... up to 30 s, on the platform's monotonic clock. A try made while
// waiting is refused without being looked at.
#include <cstdint>
#include <functional>
#include <string>

#include "controls/Controls.h"

namespace nocturo {

class frmLockPc : public Form {
public:
    // The title the main program finds the window by.
    static constexpr const char* kCaption = "2LockPc2";
    static constexpr int kMaxDelaySeconds = 30;

    frmLockPc();
    ~frmLockPc() override;

    Label lblInfo{this, "lblInfo"};
    TextBox txtPassword{this, "txtPassword"};
    CommandButton cmdUnlock{this, "cmdUnlock"};  // the default button: Enter in the entry clicks it
    Label lblStatus{this, "lblStatus"};
    Timer tmrWait{this, "tmrWait"};  // counts the wait after a wrong password down

    // Fills the screen and shows the window; with no options password
    // stored, locks the session the desktop's way and ends instead.
    void Form_Load();
    void Form_Unload();
    void cmdUnlock_Click();
    void tmrWait_Timer();

    // The main program's screen saver runs in front of the lock: the window
    // hides meanwhile and comes back after it.
    void HideLock();
    void ShowLock();

    // The program is over: unlocked, or handed over to the desktop's lock.
    bool ended() const { return ended_; }
    // Whether an options password guards this lock (known after Form_Load).
    bool guarded() const { return !stored_.empty(); }
    int failedTries() const { return failures_; }
    // Milliseconds until the next try is looked at (0: now).
    std::int64_t waitLeftMs();
    // Seconds the next wrong password makes the one after wait.
    static int delaySecondsAfter(int failures);

    void onControlChanged(const std::string& what) override;

    // Called once when the window ends.
    std::function<void()> onUnloaded;

private:
    void layOut(int screenWidth, int screenHeight);
    void showWaitLeft();
    void syncTimer();

    std::string stored_;
    int failures_ = 0;
    std::int64_t nextTryAtMs_ = 0;
    bool ended_ = false;
    bool timerRegistered_ = false;
    int timerId_ = 0;
};

}  // namespace nocturo

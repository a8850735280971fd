#pragma once
// The screen saver of the secured PC: a black full-screen window with the
// time of day in large digits, moved to another place every few seconds so
// that nothing burns in. A key, a mouse button or a move of the pointer by
// more than a few pixels from where it was at the start ends it.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "controls/Controls.h"

namespace nocturo {

class frmLockPcScr : public Form {
public:
    // The title the main program finds the window by.
    static constexpr const char* kCaption = "LockPcScr";
    static constexpr int kMoveEveryMs = 5000;
    // The pointer may wander this far (pixels, each way) without ending the screen saver.
    static constexpr int kPointerSlack = 4;

    frmLockPcScr();
    ~frmLockPcScr() override;

    Label lblTime{this, "lblTime"};
    Timer tmrClock{this, "tmrClock"};  // each second: the time, and now and then a new place

    // Fills the screen, shows the time and starts the clock.
    void Form_Load();
    void Form_Unload();
    void tmrClock_Timer();
    void Form_KeyDown(int keyCode);
    void Form_MouseDown(int button);
    // The pointer's position on the screen, in pixels; the first report is
    // where it was at the start.
    void Form_MouseMove(int x, int y);

    bool ended() const { return ended_; }
    std::function<void()> onUnloaded;

    void onControlChanged(const std::string& what) override;

private:
    void showTime();
    void moveTime();
    void syncTimer();

    std::optional<std::pair<int, int>> pointerStart_;
    std::int64_t lastMoveMs_ = 0;
    std::uint32_t seed_ = 0x2545F491u;
    bool ended_ = false;
    bool timerRegistered_ = false;
    int timerId_ = 0;
};

}  // namespace nocturo

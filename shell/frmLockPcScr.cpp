#include "shell/frmLockPcScr.h"

#include <algorithm>
#include <cstdlib>

#include "base/Runtime.h"
#include "base/TimeFormat.h"
#include "base/Varn_ErrorLog.h"

namespace nocturo {

namespace {
constexpr const char* kProc = " of Formular frmLockPcScr";
std::string proc(const char* handler) { return std::string(handler) + kProc; }

constexpr int kTimeWidth = 7200, kTimeHeight = 1800;  // "HH:mm:ss" at 60 points, with room to spare
constexpr int kBlack = 0x000000, kWhite = 0xFFFFFF;
}  // namespace

frmLockPcScr::frmLockPcScr() : Form("frmLockPcScr") {
    setCaption(kCaption);
    setWidth(1024 * 15);
    setHeight(768 * 15);
    lblTime.setBackColor(kBlack);
    lblTime.setForeColor(kWhite);
    lblTime.setFontSize(60);
    lblTime.setGeometry((width() - kTimeWidth) / 2, (height() - kTimeHeight) / 2, kTimeWidth, kTimeHeight);
    tmrClock.setInterval(1000);
    tmrClock.setEnabled(false);

    onArg("Form.KeyDown", [this](int key) { Form_KeyDown(key); });
    onArg("Form.MouseDown", [this](int button) { Form_MouseDown(button); });
    onArg("lblTime.MouseDown", [this](int button) { Form_MouseDown(button); });
    on("Form.Close", [this] { Form_Unload(); });
}

frmLockPcScr::~frmLockPcScr() {
    if (timerRegistered_ && hasRuntime()) {
        try {
            loop().removeTimer(timerId_);
        } catch (...) {
        }
    }
}

void frmLockPcScr::onControlChanged(const std::string& what) {
    if (what == "tmrClock") syncTimer();
}

void frmLockPcScr::syncTimer() {
    if (!hasRuntime() || !rt().pf.loop) return;
    if (!timerRegistered_) {
        timerId_ = loop().addTimer([this] { tmrClock_Timer(); });
        timerRegistered_ = true;
    }
    loop().setTimer(timerId_, tmrClock.interval(), tmrClock.enabled() && !ended_);
}

void frmLockPcScr::Form_Load() {
    const std::string p = proc("Form_Load");
    setLoaded(true);
    Step(p.c_str(), 1, [&] {
        setLeft(0);
        setTop(0);
        if (rt().pf.windows) {
            setWidth(windows().screenWidthTwips());
            setHeight(windows().screenHeightTwips());
        }
        setTopMost(true);
        lblTime.setGeometry(std::max(0, (width() - kTimeWidth) / 2), std::max(0, (height() - kTimeHeight) / 2),
                            kTimeWidth, kTimeHeight);
    });
    Step(p.c_str(), 2, [&] {
        lastMoveMs_ = clock().monotonicMs();
        seed_ ^= static_cast<std::uint32_t>(lastMoveMs_);
        showTime();
    });
    Step(p.c_str(), 3, [&] { tmrClock.setEnabled(true); });
    Step(p.c_str(), 4, [&] {
        setVisible(true);
        setForeground(true);
    });
}

void frmLockPcScr::Form_Unload() {
    if (ended_) return;
    ended_ = true;
    Step(proc("Form_Unload").c_str(), 1, [&] {
        tmrClock.setEnabled(false);
        setVisible(false);
        setLoaded(false);
    });
    if (onUnloaded) onUnloaded();
}

void frmLockPcScr::showTime() { lblTime.setCaption(FormatTime(clock().now())); }

void frmLockPcScr::moveTime() {
    const int roomX = std::max(0, width() - lblTime.width());
    const int roomY = std::max(0, height() - lblTime.height());
    auto next = [this] {
        seed_ = seed_ * 1664525u + 1013904223u;
        return seed_ >> 8;
    };
    // Somewhere else each time; a screen with no room leaves it where it is.
    for (int attempt = 0; attempt < 8; ++attempt) {
        const int left = roomX > 0 ? static_cast<int>(next() % static_cast<std::uint32_t>(roomX + 1)) : 0;
        const int top = roomY > 0 ? static_cast<int>(next() % static_cast<std::uint32_t>(roomY + 1)) : 0;
        if (left != lblTime.left() || top != lblTime.top()) {
            lblTime.setGeometry(left, top, lblTime.width(), lblTime.height());
            return;
        }
    }
}

void frmLockPcScr::tmrClock_Timer() {
    const std::string p = proc("tmrClock_Timer");
    if (ended_) return;
    Step(p.c_str(), 1, [&] { showTime(); });
    Step(p.c_str(), 2, [&] {
        const std::int64_t now = clock().monotonicMs();
        if (now - lastMoveMs_ < kMoveEveryMs) return;
        lastMoveMs_ = now;
        moveTime();
    });
}

void frmLockPcScr::Form_KeyDown(int) {
    Step(proc("Form_KeyDown").c_str(), 1, [&] { Form_Unload(); });
}

void frmLockPcScr::Form_MouseDown(int) {
    Step(proc("Form_MouseDown").c_str(), 1, [&] { Form_Unload(); });
}

void frmLockPcScr::Form_MouseMove(int x, int y) {
    Step(proc("Form_MouseMove").c_str(), 1, [&] {
        if (ended_) return;
        if (!pointerStart_) {
            pointerStart_ = std::make_pair(x, y);
            return;
        }
        if (std::abs(x - pointerStart_->first) > kPointerSlack || std::abs(y - pointerStart_->second) > kPointerSlack)
            Form_Unload();
    });
}

}  // namespace nocturo

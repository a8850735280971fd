// The lock's screen saver: black, full screen, the time moving about, and
// ended by a key, a mouse button or a real move of the pointer.
#include <gtest/gtest.h>

#include <string>

#include "base/TimeFormat.h"
#include "shell/frmLockPcScr.h"
#include "support/SimWorld.h"

using namespace nocturo;
using nocturo::test::SimWorld;

namespace {

struct Saver {
    SimWorld w{platform::PathStyle::Posix};
    frmLockPcScr f;
    bool unloaded = false;
    Saver() {
        f.onUnloaded = [this] { unloaded = true; };
        f.Form_Load();
    }
};

}  // namespace

TEST(LockPcScr, TheWindowIsTitledForTheMainProgramToFindAndIsBlackAndFullScreen) {
    Saver s;
    EXPECT_EQ(s.f.caption(), "LockPcScr");
    EXPECT_TRUE(s.f.visible());
    EXPECT_TRUE(s.f.topMost());
    EXPECT_EQ(s.f.width(), s.w.screen.screenWidthTwips());
    EXPECT_EQ(s.f.height(), s.w.screen.screenHeightTwips());
    EXPECT_EQ(s.f.lblTime.backColor(), 0x000000);
    EXPECT_EQ(s.f.lblTime.caption(), FormatTime(s.w.clock.now()));
}

TEST(LockPcScr, TheTimeGoesOnAndMovesToAnotherPlaceEveryFewSeconds) {
    Saver s;
    const int left = s.f.lblTime.left(), top = s.f.lblTime.top();
    s.w.loop.runFor(1000);
    EXPECT_EQ(s.f.lblTime.caption(), FormatTime(s.w.clock.now()));
    EXPECT_EQ(s.f.lblTime.left(), left);
    EXPECT_EQ(s.f.lblTime.top(), top);

    int lastLeft = left, lastTop = top;
    for (int move = 0; move < 5; ++move) {
        s.w.loop.runFor(frmLockPcScr::kMoveEveryMs);
        EXPECT_TRUE(s.f.lblTime.left() != lastLeft || s.f.lblTime.top() != lastTop) << move;
        // Always whole on the screen.
        EXPECT_GE(s.f.lblTime.left(), 0);
        EXPECT_GE(s.f.lblTime.top(), 0);
        EXPECT_LE(s.f.lblTime.left() + s.f.lblTime.width(), s.f.width());
        EXPECT_LE(s.f.lblTime.top() + s.f.lblTime.height(), s.f.height());
        lastLeft = s.f.lblTime.left();
        lastTop = s.f.lblTime.top();
    }
    EXPECT_EQ(s.f.lblTime.caption(), FormatTime(s.w.clock.now()));
    EXPECT_FALSE(s.f.ended());
}

TEST(LockPcScr, AKeyOrAMouseButtonEndsIt) {
    struct Row {
        const char* event;
        int arg;
    };
    for (const Row& row : {Row{"Form.KeyDown", 65}, Row{"Form.KeyDown", 27}, Row{"Form.MouseDown", mouse::Left},
                           Row{"Form.MouseDown", mouse::Right}, Row{"lblTime.MouseDown", mouse::Middle}}) {
        Saver s;
        EXPECT_TRUE(s.f.fireEvent(row.event, row.arg)) << row.event;
        EXPECT_TRUE(s.f.ended()) << row.event;
        EXPECT_TRUE(s.unloaded) << row.event;
        EXPECT_FALSE(s.f.visible()) << row.event;
        EXPECT_FALSE(s.f.loaded()) << row.event;
    }
}

TEST(LockPcScr, OnlyAMoveOfMoreThanAFewPixelsFromTheStartEndsIt) {
    struct Row {
        int x, y;
        bool ends;
    };
    for (const Row& row : {Row{501, 300, false}, Row{499, 301, false}, Row{504, 296, false}, Row{505, 300, true},
                           Row{500, 290, true}, Row{800, 700, true}}) {
        Saver s;
        s.f.Form_MouseMove(500, 300);  // where the pointer was at the start
        s.f.Form_MouseMove(row.x, row.y);
        EXPECT_EQ(s.f.ended(), row.ends) << row.x << "," << row.y;
        EXPECT_EQ(s.unloaded, row.ends) << row.x << "," << row.y;
    }
}

TEST(LockPcScr, JitterAroundTheStartNeverAddsUpToAnEnd) {
    Saver s;
    s.f.Form_MouseMove(100, 100);
    for (int i = 0; i < 50; ++i) s.f.Form_MouseMove(100 + (i % 2), 100 - (i % 2));
    EXPECT_FALSE(s.f.ended());
    EXPECT_TRUE(s.f.visible());
}

TEST(LockPcScr, OnceEndedTheClockStops) {
    Saver s;
    s.f.fireEvent("Form.KeyDown", 32);
    const std::string shown = s.f.lblTime.caption();
    s.w.loop.runFor(3 * frmLockPcScr::kMoveEveryMs);
    EXPECT_EQ(s.f.lblTime.caption(), shown);
}

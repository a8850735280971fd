// The screen and keyboard on Windows: the arithmetic through a table of
// fakes, and the real calls once (wine's screen under wine).
#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "platform/win32/Win32Windows.h"

namespace {

using namespace nocturo::platform::win32;

struct FakeScreen {
    int width = 1024, height = 768, dpi = 96;
    std::vector<int> keysAsked;
    SHORT keyState = 0;
    std::vector<bool> cursors;

    WindowsCalls table() {
        WindowsCalls c;
        c.getSystemMetrics = [this](int index) {
            EXPECT_TRUE(index == SM_CXSCREEN || index == SM_CYSCREEN) << index;
            return index == SM_CXSCREEN ? width : height;
        };
        c.screenDpi = [this] { return dpi; };
        c.getAsyncKeyState = [this](int key) {
            keysAsked.push_back(key);
            return keyState;
        };
        c.showCursor = [this](bool busy) { cursors.push_back(busy); };
        return c;
    }
};

TEST(Win32Windows, TheScreenIsMeasuredInTwipsAtItsDpi) {
    struct Case {
        int width, height, dpi, widthTwips, heightTwips;
    } const cases[] = {
        {1024, 768, 96, 15360, 11520},
        {1920, 1080, 120, 23040, 12960},   // 125 %
        {2560, 1440, 144, 25600, 14400},   // 150 %
        {3840, 2160, 192, 28800, 16200},   // 200 %
        {1366, 768, 0, 20490, 11520},      // no screen DC: 96
        {1366, 768, -5, 20490, 11520},
        {1001, 1, 97, 14860, 15},          // rounded to the nearest twip
        {0, 0, 96, 0, 0},
        {-1, -1, 96, 0, 0},                // a failed GetSystemMetrics
        {100000, 100000, 1, 144000000, 144000000},
    };
    for (const auto& c : cases) {
        FakeScreen s;
        s.width = c.width, s.height = c.height, s.dpi = c.dpi;
        Win32Windows w(s.table());
        EXPECT_EQ(w.screenWidthTwips(), c.widthTwips) << c.width << " at " << c.dpi;
        EXPECT_EQ(w.screenHeightTwips(), c.heightTwips) << c.height << " at " << c.dpi;
    }
}

TEST(Win32Windows, AKeyIsDownOnlyWhileItsHighBitIsSet) {
    FakeScreen s;
    Win32Windows w(s.table());
    struct Case {
        SHORT state;
        bool down;
    } const cases[] = {{0, false}, {1, false}, {static_cast<SHORT>(0x8000), true}, {static_cast<SHORT>(0x8001), true},
                       {-1, true}, {0x7FFF, false}};
    for (const auto& c : cases) {
        s.keyState = c.state;
        EXPECT_EQ(w.keyDown('Q'), c.down) << c.state;
    }
    EXPECT_EQ(s.keysAsked.back(), 'Q');
    s.keyState = static_cast<SHORT>(0x8000);
    const auto asked = s.keysAsked.size();
    EXPECT_FALSE(w.keyDown(0));
    EXPECT_FALSE(w.keyDown(-16));
    EXPECT_FALSE(w.keyDown(255));
    EXPECT_FALSE(w.keyDown(0x10000 + 'Q'));
    EXPECT_EQ(s.keysAsked.size(), asked);  // no such keys: not asked
}

TEST(Win32Windows, TheBusyPointerIsOneFlagForTheWholeProcess) {
    FakeScreen s;
    Win32Windows one(s.table()), two(s.table());
    one.setBusyPointer(true);
    EXPECT_TRUE(BusyPointer());
    EXPECT_EQ(PointerCursor(), LoadCursorW(nullptr, IDC_WAIT));
    two.setBusyPointer(false);
    EXPECT_FALSE(BusyPointer());
    EXPECT_EQ(PointerCursor(), LoadCursorW(nullptr, IDC_ARROW));
    EXPECT_EQ(s.cursors, (std::vector<bool>{true, false}));
}

TEST(Win32Windows, TheRealScreenHasASize) {
    Win32Windows w;
    EXPECT_GT(w.screenWidthTwips(), 0);
    EXPECT_GT(w.screenHeightTwips(), 0);
    EXPECT_FALSE(w.keyDown(VK_F24));  // nobody holds F24 during a test run
}

}  // namespace

// The screen saver switches on Windows, through recorders: no test changes
// the user's settings.
#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "platform/Error.h"
#include "platform/win32/Win32ScreenSaver.h"

namespace {

using namespace nocturo::platform;
using namespace nocturo::platform::win32;

struct Call {
    UINT action, param;
    void* value;
    UINT flags;
};

struct Recorder {
    std::vector<Call> calls;
    DWORD failWith = 0;
    BOOL haveInput = TRUE;
    DWORD lastInput = 0, now = 0;

    ScreenSaverCalls table() {
        ScreenSaverCalls c;
        c.systemParametersInfo = [this](UINT action, UINT param, void* value, UINT flags) -> BOOL {
            calls.push_back({action, param, value, flags});
            if (failWith) {
                SetLastError(failWith);
                return FALSE;
            }
            return TRUE;
        };
        c.getLastInputInfo = [this](LASTINPUTINFO* info) -> BOOL {
            EXPECT_EQ(info->cbSize, sizeof(LASTINPUTINFO));
            info->dwTime = lastInput;
            return haveInput;
        };
        c.getTickCount = [this] { return now; };
        return c;
    }
};

TEST(Win32ScreenSaver, SwitchingAndTimeOutPassTheirValuesForThisSession) {
    Recorder r;
    Win32ScreenSaver s(r.table());
    s.setActive(true);
    s.setActive(false);
    s.setTimeout(600);
    s.setTimeout(0);
    ASSERT_EQ(r.calls.size(), 4u);
    EXPECT_EQ(r.calls[0].action, static_cast<UINT>(SPI_SETSCREENSAVEACTIVE));
    EXPECT_EQ(r.calls[0].param, static_cast<UINT>(TRUE));
    EXPECT_EQ(r.calls[1].action, static_cast<UINT>(SPI_SETSCREENSAVEACTIVE));
    EXPECT_EQ(r.calls[1].param, static_cast<UINT>(FALSE));
    EXPECT_EQ(r.calls[2].action, static_cast<UINT>(SPI_SETSCREENSAVETIMEOUT));
    EXPECT_EQ(r.calls[2].param, 600u);
    EXPECT_EQ(r.calls[3].param, 0u);
    for (const auto& c : r.calls) {
        EXPECT_EQ(c.value, nullptr);
        EXPECT_EQ(c.flags, static_cast<UINT>(SPIF_SENDCHANGE));
    }
    EXPECT_TRUE(s.runsScreenSaverProgram());
}

TEST(Win32ScreenSaver, ARefusalOrABadTimeOutIsAnError) {
    Recorder r;
    Win32ScreenSaver s(r.table());
    EXPECT_THROW(s.setTimeout(-1), Error);
    EXPECT_TRUE(r.calls.empty());  // not passed on as a huge unsigned value
    r.failWith = ERROR_ACCESS_DENIED;
    try {
        s.setActive(true);
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::PermissionDenied);
        EXPECT_NE(std::string(e.what()).find("SPI_SETSCREENSAVEACTIVE"), std::string::npos) << e.what();
    }
    try {
        s.setTimeout(60);
        FAIL();
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("SPI_SETSCREENSAVETIMEOUT 60"), std::string::npos) << e.what();
    }
}

TEST(Win32ScreenSaver, IdleTimeCountsInWholeSecondsAcrossTheTickWrap) {
    Recorder r;
    Win32ScreenSaver s(r.table());
    struct Case {
        DWORD lastInput, now;
        std::int64_t idle;
    } const cases[] = {
        {1000, 1000, 0},
        {1000, 1999, 0},
        {1000, 2000, 1},
        {0, 600000, 600},
        {0xFFFFF000u, 0x00001000u, 8},  // 8192 ms across the wrap
        {0, 0xFFFFFFFFu, 4294967},
    };
    for (const auto& c : cases) {
        r.lastInput = c.lastInput;
        r.now = c.now;
        EXPECT_EQ(s.idleSeconds(), c.idle) << c.lastInput << " " << c.now;
    }
    r.haveInput = FALSE;
    EXPECT_EQ(s.idleSeconds(), std::nullopt);
}

}  // namespace

// The splash window: what it shows, the start counter, and the three-second
// wait on the monotonic clock.
#include <gtest/gtest.h>

#include <vector>

#include "base/Varn_Registry.h"
#include "base/TimeFormat.h"
#include "base/Version.h"
#include "app/frmSplash.h"
#include "platform/Error.h"
#include "support/TestWorld.h"

using namespace nocturo;
using nocturo::test::TestWorld;

namespace {

std::string CounterPath() { return SettingPath(UserApp(), kSettings, "UseCounter"); }

// A world whose monotonic clock moves on by `stepMs` at every yield.
struct SplashWorld : TestWorld {
    explicit SplashWorld(std::int64_t stepMs = 100) {
        clk.monotonic = 987654321;
        evloop.onYield = [this, stepMs] { clk.monotonic += stepMs; };
        runtime.splashWait = true;
    }
};

// ---- what it shows ---------------------------------------------------------------

TEST(Splash, ShowsUserProductAndVersion) {
    SplashWorld w;
    w.runtime.userId = "JDOE";
    frmSplash s;
    s.Form_Load();
    const std::string v = "v. " + std::to_string(version::Major) + "." + std::to_string(version::Minor) + "." +
                          std::to_string(version::Revision);
    EXPECT_EQ(s.lblUserID.caption(), "JDOE");
    EXPECT_EQ(s.lblVersion.caption(), v);
    EXPECT_EQ(s.lblVersionShadow.caption(), v);
    EXPECT_EQ(s.lblTitle.caption(), "varn Nocturo");
    EXPECT_EQ(s.lblTitleShadow.caption(), "varn Nocturo");
    EXPECT_TRUE(s.visible());
    EXPECT_TRUE(s.loaded());
    EXPECT_EQ(w.errorLog(), "");
}

TEST(Splash, CentresOnTheDefaultScreenAndOnAGivenOne) {
    SplashWorld w;
    frmSplash s;
    EXPECT_EQ(s.screenWidth, 1024 * 15);
    EXPECT_EQ(s.screenHeight, 768 * 15);
    s.Form_Load();
    EXPECT_EQ(s.left(), (15360 - s.width()) / 2);
    EXPECT_EQ(s.top(), (11520 - s.height()) / 2);
    EXPECT_GT(s.left(), 0);

    frmSplash wide(1920 * 15, 1080 * 15);
    wide.Form_Load();
    EXPECT_EQ(wide.left() * 2 + wide.width(), 1920 * 15);
    EXPECT_EQ(wide.top() * 2 + wide.height(), 1080 * 15);

    frmSplash set;
    set.screenWidth = 800 * 15;
    set.screenHeight = 600 * 15;
    set.Form_Load();
    EXPECT_EQ(set.left(), (12000 - set.width()) / 2);
    EXPECT_EQ(set.top(), (9000 - set.height()) / 2);
}

TEST(Splash, ControlsFitInsideTheWindow) {
    SplashWorld w;
    frmSplash s;
    for (Control* c : s.controls()) {
        EXPECT_GE(c->left(), 0) << c->fullName();
        EXPECT_LE(c->left() + c->width(), s.width()) << c->fullName();
        EXPECT_LE(c->top() + c->height(), s.height()) << c->fullName();
    }
    EXPECT_EQ(s.findControl("ProgressBar1"), &s.ProgressBar1);
}

// ---- the start counter ---------------------------------------------------------------

TEST(SplashCounter, FirstStartCountsOne) {
    SplashWorld w;
    frmSplash s;
    s.Form_Load();
    EXPECT_EQ(s.useCounter(), 1);
    EXPECT_EQ(s.lblUseCounter.caption(), "1 times");
    EXPECT_EQ(ReadKey(CounterPath()), "1");
}

TEST(SplashCounter, EveryStartAddsOne) {
    SplashWorld w;
    WriteSetting(UserApp(), kSettings, "UseCounter", std::int32_t{41});
    {
        frmSplash s;
        s.Form_Load();
        EXPECT_EQ(s.lblUseCounter.caption(), "42 times");
    }
    frmSplash again;
    again.Form_Load();
    EXPECT_EQ(again.lblUseCounter.caption(), "43 times");
    EXPECT_EQ(ReadKey(CounterPath()), "43");
}

TEST(SplashCounter, CountsUnderTheCurrentUsersTree) {
    SplashWorld w;
    w.runtime.userId = "ALICE";
    WriteSetting(UserApp(), kSettings, "UseCounter", std::int32_t{7});
    w.runtime.userId = "BOB";
    frmSplash s;
    s.Form_Load();
    EXPECT_EQ(s.lblUseCounter.caption(), "1 times");
    w.runtime.userId = "ALICE";
    EXPECT_EQ(ReadKey(CounterPath()), "7");
}

TEST(SplashCounter, StopsAtTheLargestStorableCount) {
    SplashWorld w;
    WriteSetting(UserApp(), kSettings, "UseCounter", std::int32_t{2147483646});
    {
        frmSplash s;
        s.Form_Load();
        EXPECT_EQ(s.lblUseCounter.caption(), "2147483647 times");
    }
    frmSplash again;
    again.Form_Load();
    EXPECT_EQ(again.useCounter(), 2147483647);
    EXPECT_EQ(again.lblUseCounter.caption(), "2147483647 times");
    EXPECT_EQ(ReadKey(CounterPath()), "2147483647");
    EXPECT_EQ(w.errorLog(), "");
}

TEST(SplashCounter, ACountStoredAsTextIsReadToo) {
    SplashWorld w;
    WriteSetting(UserApp(), kSettings, "UseCounter", std::string("12"));
    frmSplash s;
    s.Form_Load();
    EXPECT_EQ(s.lblUseCounter.caption(), "13 times");
}

TEST(SplashCounter, AnUnreadableCountIsLoggedAndCountingStartsAgain) {
    SplashWorld w;
    WriteSetting(UserApp(), kSettings, "UseCounter", std::string("many"));
    frmSplash s;
    s.Form_Load();
    EXPECT_NE(w.errorLog().find("  varn Nocturo : 37 v.1.0.0  Form_Load of Formular frmSplash  3  13  Type mismatch"),
              std::string::npos)
        << w.errorLog();
    EXPECT_EQ(s.lblUseCounter.caption(), "1 times");
    EXPECT_EQ(ReadKey(CounterPath()), "1");
    EXPECT_FALSE(w.runtime.splashWait);
}

TEST(SplashCounter, AFailedWriteIsLoggedWithTheCountAndTheSplashGoesOn) {
    SplashWorld w;
    WriteSetting(UserApp(), kSettings, "UseCounter", std::int32_t{99});
    w.reg.failWrites = true;
    frmSplash s;
    s.Form_Load();
    const std::string log = w.errorLog();
    const std::string entry = "  Form_Load of Formular frmSplash  5  70  Permission denied\r\n";
    const size_t at = log.find(entry);
    ASSERT_NE(at, std::string::npos) << log;
    EXPECT_EQ(log.substr(at + entry.size()), "100\t\t\t\t\t\t\t\t\t\r\n");
    EXPECT_EQ(s.lblUseCounter.caption(), "100 times");
    EXPECT_EQ(w.errorIndicatorCount, 1);
    EXPECT_FALSE(w.runtime.splashWait);
}

// ---- the three-second wait ---------------------------------------------------------------

TEST(SplashWait, EndsOnceThreeSecondsHavePassedAndClearsTheFlag) {
    SplashWorld w(100);
    frmSplash s;
    bool shownBeforeWaiting = false;
    int repaints = 0;
    s.setChangeListener([&](const std::string& what) {
        if (what.empty()) ++repaints;
    });
    std::vector<std::int64_t> elapsed;
    w.evloop.onYield = [&] {
        if (s.visible()) {
            shownBeforeWaiting = true;
            elapsed.push_back(w.clk.monotonic - s.shownAt());
        }
        EXPECT_TRUE(w.runtime.splashWait);
        w.clk.monotonic += 100;
    };
    s.Form_Load();
    EXPECT_TRUE(shownBeforeWaiting);
    EXPECT_GT(repaints, 0);
    EXPECT_FALSE(w.runtime.splashWait);
    // It yields until exactly 3000 ms have passed and not once more.
    EXPECT_EQ(w.clk.monotonic - s.shownAt(), 3000);
    ASSERT_FALSE(elapsed.empty());
    EXPECT_EQ(elapsed.back(), 2900);
    EXPECT_EQ(s.ProgressBar1.value(), 100);
}

TEST(SplashWait, ProgressFillsSteadilyFromEmptyToFull) {
    SplashWorld w(250);
    frmSplash s;
    std::vector<int> values;
    w.evloop.onYield = [&] {
        if (s.visible()) values.push_back(s.ProgressBar1.value());
        w.clk.monotonic += 250;
    };
    s.Form_Load();
    ASSERT_GE(values.size(), 10u);
    EXPECT_EQ(values.front(), 0);
    for (size_t i = 1; i < values.size(); ++i) EXPECT_LE(values[i - 1], values[i]);
    EXPECT_GT(values[values.size() / 2], 0);
    EXPECT_LT(values.back(), 100);
    EXPECT_EQ(s.ProgressBar1.value(), 100);
    EXPECT_EQ(frmSplash::Progress(-5), 0);
    EXPECT_EQ(frmSplash::Progress(1500), 50);
    EXPECT_EQ(frmSplash::Progress(3000), 100);
    EXPECT_EQ(frmSplash::Progress(60000), 100);
}

TEST(SplashWait, MidnightDuringTheWaitNeitherEndsNorStretchesIt) {
    SplashWorld w;
    w.clk.time = {2026, 12, 31, 23, 59, 58, 0, 3};
    frmSplash s;
    int yields = 0;
    w.evloop.onYield = [&] {
        // The wall clock runs along, a second per five yields, and passes
        // midnight into the new year.
        w.clk.monotonic += 200;
        if (++yields % 5 == 0) w.clk.time = FromSerialSeconds(SerialSeconds(w.clk.time) + 1);
    };
    s.Form_Load();
    EXPECT_EQ(w.clk.time.year, 2027);
    EXPECT_EQ(w.clk.time.hour, 0);
    EXPECT_EQ(w.clk.monotonic - s.shownAt(), 3000);
    EXPECT_FALSE(w.runtime.splashWait);
}

TEST(SplashWait, AWallClockSetForwardOrBackDoesNotMatter) {
    SplashWorld w;
    frmSplash s;
    bool forward = true;
    w.evloop.onYield = [&] {
        w.clk.monotonic += 100;
        // Time synchronisation jumping the clock by hours either way.
        w.clk.time.hour = forward ? 23 : 0;
        forward = !forward;
    };
    s.Form_Load();
    EXPECT_EQ(w.clk.monotonic - s.shownAt(), 3000);
    EXPECT_FALSE(w.runtime.splashWait);
}

TEST(SplashWait, UnloadHidesTheWindow) {
    SplashWorld w;
    frmSplash s;
    s.Form_Load();
    s.Form_Unload();
    EXPECT_FALSE(s.visible());
    EXPECT_FALSE(s.loaded());
}

TEST(SplashProgressBar, RefusesValuesOutsideItsRange) {
    SplashWorld w;
    frmSplash s;
    s.ProgressBar1.setValue(100);
    EXPECT_EQ(s.ProgressBar1.value(), 100);
    EXPECT_THROW(s.ProgressBar1.setValue(101), platform::Error);
    EXPECT_THROW(s.ProgressBar1.setValue(-1), platform::Error);
    EXPECT_EQ(s.ProgressBar1.value(), 100);
}

}  // namespace

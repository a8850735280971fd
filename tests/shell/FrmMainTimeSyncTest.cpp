// The main window's clock setting: the button's states, the outcome in the
// window, the box and the action log, network time and a refused setting.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "app/Nocturo_Main.h"
#include "base/Links.h"
#include "platform/sim/SimHttp.h"
#include "shell/FrmMain.h"
#include "support/SimWorld.h"
#include "timevoice/Varn_TimeSync.h"

using namespace nocturo;
using nocturo::test::SimWorld;

namespace {

// Whether any journalled box showed a prompt containing text.
bool boxShown(const SimWorld& w, const std::string& text) {
    for (const auto& e : w.journal.entries()) {
        const platform::Json* prompt = e.find("prompt");
        if (prompt && prompt->isString() && prompt->asString().find(text) != std::string::npos)
            return true;
    }
    return false;
}

int syncLines(SimWorld& w) {
    int n = 0;
    for (const auto& line : w.actionLogLines())
        if (line == "PC System time synchronized") ++n;
    return n;
}

// A network that answers only after a few looks, so a sync is seen running.
class SlowHttp : public platform::IHttp {
public:
    explicit SlowHttp(platform::IHttp& answer) : answer_(answer) {}
    platform::HttpResponse get(const std::string& url, const WhileWaiting&) override { return answer_.get(url); }
    std::unique_ptr<platform::IHttpTransfer> begin(const std::string& url) override {
        class Slow : public platform::IHttpTransfer {
        public:
            Slow(platform::IHttp& h, std::string url) : h_(h), url_(std::move(url)) {}
            std::optional<platform::HttpResponse> poll() override {
                if (++looks_ < 3) return std::nullopt;
                return h_.get(url_);
            }

        private:
            platform::IHttp& h_;
            std::string url_;
            int looks_ = 0;
        };
        return std::make_unique<Slow>(answer_, url);
    }

private:
    platform::IHttp& answer_;
};

struct Syncing {
    SimWorld w;
    FrmMain f;
    Syncing() {
        f.Form_Load();
        platform::TimeZoneInformation z;
        z.bias = -60;
        z.daylightBias = -60;
        w.time.setZone(z, platform::tz::Standard);
        w.http.serve(links::TimePage, platform::TimePageFixture("19:59:00"));
    }
    void run(bool showMessages) {
        f.TimeSync(showMessages);
        EXPECT_TRUE(w.runUntil([&] { return !f.timeSyncRunning(); }, 60000));
    }
    void expectRestored() {
        EXPECT_TRUE(f.cmdTimeSync.enabled());
        EXPECT_EQ(f.cmdTimeSync.caption(), "&Atomic Time");
    }
};

}  // namespace

TEST(TimeSync, TheButtonAsDesigned) {
    Syncing s;
    EXPECT_EQ(s.f.cmdTimeSync.caption(), "&Atomic Time");
    EXPECT_EQ(s.f.cmdTimeSync.toolTip(), "Synchronize the PC with an Atomic Time");
    EXPECT_TRUE(s.f.chkDT.enabled());  // the simulated zone leaves daylight saving to the program
}

TEST(TimeSync, FromTheButtonSetsTheClockTellsAndLogs) {
    Syncing s;
    SlowHttp slow(s.w.http);
    s.w.runtime.pf.http = &slow;
    s.f.cmdTimeSync_Click();
    EXPECT_FALSE(s.f.cmdTimeSync.enabled());
    EXPECT_EQ(s.f.cmdTimeSync.caption(), "please wait...");
    EXPECT_TRUE(s.w.runUntil([&] { return !s.f.timeSyncRunning(); }, 60000));
    EXPECT_EQ(s.w.count("SetTime"), 1);
    EXPECT_EQ(s.f.LblStatus.caption(), " Standard Time...");
    EXPECT_TRUE(boxShown(s.w, "Your system time was updated to "));
    EXPECT_EQ(syncLines(s.w), 1);
    s.expectRestored();
}

TEST(TimeSync, SilentSyncStillLogs) {
    Syncing s;
    s.run(false);
    EXPECT_EQ(s.w.count("SetTime"), 1);
    EXPECT_FALSE(boxShown(s.w, "Your system time was updated to "));
    EXPECT_EQ(syncLines(s.w), 1);
    s.expectRestored();
}

TEST(TimeSync, DaylightTimeIsShown) {
    Syncing s;
    platform::TimeZoneInformation z;
    z.bias = -60;
    z.daylightBias = -60;
    s.w.time.setZone(z, platform::tz::Daylight);
    s.run(false);
    EXPECT_EQ(s.f.LblStatus.caption(), " Daylight Savings Time...");
    EXPECT_TRUE(DaylightActive);
}

TEST(TimeSync, InvalidZoneLeavesTheLabel) {
    Syncing s;
    s.f.LblStatus.setCaption("before");
    s.w.time.setZone({}, platform::tz::Invalid);
    s.run(false);
    EXPECT_EQ(s.f.LblStatus.caption(), "before");
}

TEST(TimeSync, NoNetworkFailsWithAMessageFromTheButtonOnly) {
    Syncing s;
    s.w.http.unreachable(links::TimePage);
    s.run(true);
    EXPECT_EQ(s.w.count("SetTime"), 0);
    EXPECT_TRUE(boxShown(s.w, "The attempt to synchronize your system time failed"));
    EXPECT_EQ(syncLines(s.w), 0);
    s.expectRestored();

    Syncing q;
    q.w.http.unreachable(links::TimePage);
    q.run(false);
    EXPECT_FALSE(boxShown(q.w, "The attempt to synchronize your system time failed"));
    q.expectRestored();
}

TEST(TimeSync, NetworkTimeKeepsTheClockSoItIsLeftAlone) {
    Syncing s;
    s.w.time.setNtpActive(true);
    s.run(true);
    EXPECT_EQ(s.w.count("SetTime"), 0);
    EXPECT_EQ(s.w.count("HttpGet"), 0);
    EXPECT_TRUE(boxShown(s.w, "network time (NTP)"));
    EXPECT_NE(s.f.LblStatus.caption().find("NTP"), std::string::npos);
    s.expectRestored();
}

TEST(TimeSync, RefusedSettingIsLoggedShownAndNetworkTimeOffered) {
    Syncing s;
    s.w.time.setRefuse(true);
    s.w.dialogs.pushAnswer(1);  // the refusal's box
    s.w.dialogs.pushAnswer(7);  // No to network time
    s.run(true);
    EXPECT_EQ(s.w.count("SetTime"), 1);
    EXPECT_NE(s.w.errorLog().find("DoAtomicTime of Modul Varn_TimeSync"), std::string::npos);
    EXPECT_TRUE(boxShown(s.w, "refused"));
    EXPECT_EQ(s.w.count("SetNTP"), 0);
    EXPECT_EQ(syncLines(s.w), 0);
    s.expectRestored();
}

TEST(TimeSync, YesToNetworkTimeSwitchesItOn) {
    Syncing s;
    s.w.time.setRefuse(true);
    s.w.dialogs.pushAnswer(1);
    s.w.dialogs.pushAnswer(6);
    s.run(true);
    EXPECT_EQ(s.w.count("SetNTP"), 1);
    s.expectRestored();
}

TEST(TimeSync, ASecondClickWhileRunningDoesNothing) {
    Syncing s;
    SlowHttp slow(s.w.http);
    s.w.runtime.pf.http = &slow;
    s.f.cmdTimeSync_Click();
    ASSERT_TRUE(s.f.timeSyncRunning());
    s.f.cmdTimeSync_Click();
    s.f.TimeSync(false);
    EXPECT_TRUE(s.w.runUntil([&] { return !s.f.timeSyncRunning(); }, 60000));
    EXPECT_EQ(s.w.count("SetTime"), 1);
    EXPECT_EQ(syncLines(s.w), 1);
}

TEST(TimeSync, StartUpHookSyncsSilently) {
    Syncing s;
    NocturoMain m(s.f);
    ASSERT_TRUE(m.timeSync);
    m.timeSync();
    EXPECT_TRUE(s.w.runUntil([&] { return !s.f.timeSyncRunning(); }, 60000));
    EXPECT_EQ(s.w.count("SetTime"), 1);
    EXPECT_FALSE(boxShown(s.w, "Your system time was updated to "));
    EXPECT_EQ(syncLines(s.w), 1);
}

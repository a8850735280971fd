// The main window's clock setting: the button's states, the outcome in the
// window, the box and the action log, the time server's refusals, network
// time, a refused setting, and a jump of days.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "app/Nocturo_Main.h"
#include "base/Sntp.h"
#include "base/Varn_Registry.h"
#include "support/LoopbackTimeServers.h"
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

// A time server that answers only after a few looks, so a sync is seen running.
class SlowSntp : public platform::ISntp {
public:
    explicit SlowSntp(platform::ISntp& answer) : answer_(answer) {}
    std::unique_ptr<platform::IUdpExchange> begin(const std::string& host, std::uint16_t port,
                                                  std::vector<std::uint8_t> question, int timeoutMs) override {
        class Slow : public platform::IUdpExchange {
        public:
            explicit Slow(std::unique_ptr<platform::IUdpExchange> inner) : inner_(std::move(inner)) {}
            std::optional<platform::UdpAnswer> poll() override {
                if (++looks_ < 3) return std::nullopt;
                return inner_->poll();
            }

        private:
            std::unique_ptr<platform::IUdpExchange> inner_;
            int looks_ = 0;
        };
        return std::make_unique<Slow>(answer_.begin(host, port, std::move(question), timeoutMs));
    }

private:
    platform::ISntp& answer_;
};

// The text of the last box whose prompt contains text ("" when none).
std::string boxText(const SimWorld& w, const std::string& text) {
    std::string found;
    for (const auto& e : w.journal.entries()) {
        const platform::Json* prompt = e.find("prompt");
        if (prompt && prompt->isString() && prompt->asString().find(text) != std::string::npos)
            found = prompt->asString();
    }
    return found;
}

struct Syncing {
    SimWorld w;
    FrmMain f;
    Syncing() {
        f.Form_Load();
        platform::TimeZoneInformation z;
        z.bias = -60;
        z.daylightBias = -60;
        w.time.setZone(z, platform::tz::Standard);
        w.sntp.serve(sntp::DefaultServer, 2500000);  // the server is 2.5 s ahead
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
    SlowSntp slow(s.w.sntp);
    s.w.runtime.pf.sntp = &slow;
    s.f.cmdTimeSync_Click();
    EXPECT_FALSE(s.f.cmdTimeSync.enabled());
    EXPECT_EQ(s.f.cmdTimeSync.caption(), "please wait...");
    EXPECT_TRUE(s.w.runUntil([&] { return !s.f.timeSyncRunning(); }, 60000));
    EXPECT_EQ(s.w.count("SetTime"), 1);
    EXPECT_EQ(s.f.LblStatus.caption(), " Standard Time...");
    EXPECT_TRUE(boxShown(s.w, "Your system time was updated to "));
    // The box says by how much the clock moved, and after whom.
    EXPECT_NE(boxText(s.w, "Your system time").find("from pool.ntp.org: the clock was moved 2.500 s forward."),
              std::string::npos)
        << boxText(s.w, "Your system time");
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

TEST(TimeSync, NoAnswerFailsWithTheReasonFromTheButtonOnly) {
    Syncing s;
    s.w.sntp.silent(sntp::DefaultServer);
    s.run(true);
    EXPECT_EQ(s.w.count("SetTime"), 0);
    EXPECT_EQ(boxText(s.w, "The attempt to synchronize your system time failed"),
              "The attempt to synchronize your system time failed: no answer from pool.ntp.org within 5.000 s.");
    EXPECT_EQ(syncLines(s.w), 0);
    s.expectRestored();

    // At start-up: no box, and one entry in the error log, not ten.
    Syncing q;
    q.w.sntp.silent(sntp::DefaultServer);
    q.run(false);
    EXPECT_FALSE(boxShown(q.w, "The attempt to synchronize your system time failed"));
    std::size_t entries = 0, pos = 0;
    const std::string log = q.w.errorLog();
    while ((pos = log.find("DoAtomicTime of Modul Varn_TimeSync", pos)) != std::string::npos) ++entries, ++pos;
    EXPECT_EQ(entries, 1u);
    q.expectRestored();
}

TEST(TimeSync, AKissOfDeathIsNamedInTheBox) {
    Syncing s;
    sntp::ServerAnswer kiss;
    kiss.stratum = 0;
    kiss.kissCode = "RATE";
    s.w.sntp.serve(sntp::DefaultServer, 0, kiss);
    s.run(true);
    EXPECT_EQ(s.w.count("SetTime"), 0);
    EXPECT_NE(boxText(s.w, "failed").find("pool.ntp.org refused to answer (kiss-of-death \"RATE\")"),
              std::string::npos)
        << boxText(s.w, "failed");
}

TEST(TimeSync, NetworkTimeKeepsTheClockAndTheOffsetIsShown) {
    Syncing s;
    s.w.time.setNtpActive(true);
    s.w.sntp.serve(sntp::DefaultServer, -12000);  // the clock is 12 ms fast
    s.run(true);
    EXPECT_EQ(s.w.count("SetTime"), 0);
    EXPECT_EQ(s.w.count("SntpQuery"), 1);
    EXPECT_EQ(boxText(s.w, "NTP"), "Against pool.ntp.org the clock is 0.012 s fast; network time (NTP) keeps it.");
    EXPECT_EQ(s.f.LblStatus.caption(), " NTP keeps the clock (0.012 s fast)");
    EXPECT_EQ(syncLines(s.w), 0);
    s.expectRestored();

    // At start-up the same is measured and shown in the window only.
    Syncing q;
    q.w.time.setNtpActive(true);
    q.run(false);
    EXPECT_EQ(q.w.count("SntpQuery"), 1);
    EXPECT_EQ(q.w.count("SetTime"), 0);
    EXPECT_EQ(q.f.LblStatus.caption(), " NTP keeps the clock (2.500 s slow)");
    EXPECT_FALSE(boxShown(q.w, "NTP"));

    // No answer: still true to what is known.
    Syncing u;
    u.w.time.setNtpActive(true);
    u.w.sntp.silent(sntp::DefaultServer);
    u.run(true);
    EXPECT_EQ(u.f.LblStatus.caption(), " Network time (NTP) keeps the clock");
    EXPECT_NE(boxText(u.w, "NTP").find("its offset to pool.ntp.org is not known: no answer"), std::string::npos)
        << boxText(u.w, "NTP");
}

TEST(TimeSync, AJumpOfMoreThanADayIsAskedFromTheButtonAndRefusedAtStartUp) {
    const std::int64_t threeDays = 3LL * 86400 * 1000000;
    Syncing s;
    s.w.sntp.serve(sntp::DefaultServer, threeDays);
    s.w.dialogs.pushAnswer(platform::mb::IdNo);  // not set
    s.w.dialogs.pushAnswer(platform::mb::IdOk);  // the failure's box
    s.run(true);
    EXPECT_NE(boxText(s.w, "Set the clock anyway?").find("259200.000 s ahead of this computer's clock"),
              std::string::npos);
    EXPECT_EQ(s.w.count("SetTime"), 0);
    EXPECT_NE(boxText(s.w, "failed").find("more than a day: the clock was left alone"), std::string::npos)
        << boxText(s.w, "failed");

    Syncing yes;
    yes.w.sntp.serve(sntp::DefaultServer, threeDays);
    yes.w.dialogs.pushAnswer(platform::mb::IdYes);
    yes.run(true);
    EXPECT_EQ(yes.w.count("SetTime"), 1);
    EXPECT_EQ(syncLines(yes.w), 1);

    Syncing q;
    q.w.sntp.serve(sntp::DefaultServer, threeDays);
    q.run(false);
    EXPECT_EQ(q.w.count("SetTime"), 0);
    EXPECT_FALSE(boxShown(q.w, "Set the clock anyway?"));
    EXPECT_NE(q.w.errorLog().find("more than a day"), std::string::npos);
}

TEST(TimeSync, FromAServerOnLoopbackNamedByTheSetting) {
    Syncing s;
    s.w.loop.setPacing(1.0);
    test::SntpTestServer server;
    const std::int64_t serverTime = s.w.time.utcNowUsec() + 42 * 1000000LL;
    server.setTime(serverTime);
    WriteSetting(UserApp(), kSettings, "TimeServer", server.address());
    s.run(true);
    ASSERT_EQ(s.w.count("SetTime"), 1);
    EXPECT_NEAR(s.w.last("SetTime")->at("usec_utc").asNumber(), static_cast<double>(serverTime), 200000.0);
    const std::string box = boxText(s.w, "Your system time was updated to ");
    EXPECT_NE(box.find("from " + server.address() + ": the clock was moved 4"), std::string::npos) << box;
    EXPECT_NE(box.find(" s forward."), std::string::npos) << box;
    EXPECT_EQ(server.questions(), 1);
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
    SlowSntp slow(s.w.sntp);
    s.w.runtime.pf.sntp = &slow;
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

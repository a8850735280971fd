// Setting the clock from time servers on 127.0.0.1 over the real network:
// an SNTP server answering well, with a kiss-of-death, for someone else's
// question, from the era after 2036, or not at all; and time pages with
// their status and a redirect.
#include <gtest/gtest.h>

#include <string>

#include "base/Sntp.h"
#include "base/Varn_Registry.h"
#include "platform/sim/SimHttp.h"
#include "support/LoopbackTimeServers.h"
#include "support/SimWorld.h"
#include "timevoice/Varn_TimeSync.h"

#ifdef NOCTURO_HAVE_CURL
#include "platform/posix/CurlHttp.h"
#endif

using namespace nocturo;
using nocturo::test::SimWorld;
using nocturo::test::SntpTestServer;
using nocturo::test::WebTestServer;

namespace {

constexpr std::int64_t kSec = 1000000;

// The simulated machine, its virtual time kept in step with real time while
// the server on the loopback interface answers.
struct Networked {
    SimWorld w;
    explicit Networked(platform::LocalTime start = {2026, 12, 8, 20, 59, 50, 0, 1})
        : w(platform::PathStyle::Windows, start) {
        w.loop.setPacing(1.0);
    }
    void timeServer(const std::string& name) { WriteSetting(UserApp(), kSettings, "TimeServer", name); }
    AtomicTimeOutcome run(AtomicTimeRequest request = {}) {
        AtomicTimeOutcome outcome;
        Task t = DoAtomicTime(outcome, true, request);
        t.start("DoAtomicTime of Modul Varn_TimeSync");
        EXPECT_TRUE(w.runUntil([&] { return t.done(); }, 20000));
        return outcome;
    }
    double setTo() const { return w.last("SetTime")->at("usec_utc").asNumber(); }
};

}  // namespace

TEST(SntpOnLoopback, AGoodAnswerSetsTheClockToTheServersTime) {
    Networked n;
    SntpTestServer server;
    const std::int64_t serverTime = n.w.time.utcNowUsec() + 3 * kSec + 250000;
    server.setTime(serverTime);
    n.timeServer(server.address());
    const AtomicTimeOutcome o = n.run();
    ASSERT_TRUE(o.measured) << o.problem;
    EXPECT_TRUE(o.clockSet);
    EXPECT_EQ(server.questions(), 1);
    // Its clock stands still while we ask: the offset is its time less ours
    // at the midpoint of the round trip.
    EXPECT_NEAR(static_cast<double>(o.offsetUsec), 3.25 * kSec, 0.2 * kSec);
    ASSERT_EQ(n.w.count("SetTime"), 1);
    EXPECT_NEAR(n.setTo(), static_cast<double>(serverTime), 0.2 * kSec);
    EXPECT_TRUE(n.w.last("SntpQuery")->at("network").asBool());
    EXPECT_EQ(n.w.errorLog().find("DoAtomicTime"), std::string::npos) << n.w.errorLog();
}

TEST(SntpOnLoopback, KissOfDeathWrongOriginateAndUnsynchronisedAreRefused) {
    struct Case {
        sntp::ServerAnswer how;
        const char* says;
    };
    sntp::ServerAnswer kiss, wrong, unsynchronised;
    kiss.stratum = 0;
    kiss.kissCode = "RATE";
    wrong.echoOriginate = false;
    unsynchronised.leap = 3;
    for (const Case& c : {Case{kiss, "kiss-of-death \"RATE\""}, Case{wrong, "originate"},
                          Case{unsynchronised, "not synchronised"}}) {
        Networked n;
        SntpTestServer server;
        server.setTime(n.w.time.utcNowUsec() + 10 * kSec);
        server.setAnswer(c.how);
        n.timeServer(server.address());
        const AtomicTimeOutcome o = n.run();
        EXPECT_FALSE(o.measured) << c.says;
        EXPECT_NE(o.problem.find(c.says), std::string::npos) << o.problem;
        EXPECT_EQ(n.w.count("SetTime"), 0) << c.says;
        EXPECT_EQ(server.questions(), 1) << c.says;  // not asked again
        EXPECT_NE(n.w.errorLog().find(c.says), std::string::npos) << c.says;
    }
}

TEST(SntpOnLoopback, AfterTheEraOf2036) {
    // 2036-02-07 06:30:00 UTC, a little after the NTP seconds wrapped to 0.
    Networked n({2036, 2, 7, 6, 30, 0, 0, 4});
    SntpTestServer server;
    const std::int64_t serverTime = n.w.time.utcNowUsec() + 1500000;
    server.setTime(serverTime);
    n.timeServer(server.address());
    const AtomicTimeOutcome o = n.run();
    ASSERT_TRUE(o.measured) << o.problem;
    EXPECT_NEAR(static_cast<double>(o.offsetUsec), 1.5 * kSec, 0.2 * kSec);
    EXPECT_NEAR(n.setTo(), static_cast<double>(serverTime), 0.2 * kSec);
}

TEST(SntpOnLoopback, SilenceEndsAfterTheTimeOut) {
    Networked n;
    SntpTestServer server;
    server.setSilent(true);
    n.timeServer(server.address());
    AtomicTimeRequest request;
    request.timeoutMs = 400;
    const AtomicTimeOutcome o = n.run(request);
    EXPECT_FALSE(o.measured);
    EXPECT_EQ(o.problem, "no answer from " + server.address() + " within 0.400 s");
    EXPECT_EQ(server.questions(), 1);
    EXPECT_EQ(n.w.count("SetTime"), 0);
}

TEST(SntpOnLoopback, APortWithoutServerIsNamed) {
    Networked n;
    std::uint16_t closed = 0;
    {
        SntpTestServer gone;  // its port, free again
        closed = gone.port();
    }
    n.timeServer("127.0.0.1:" + std::to_string(closed));
    AtomicTimeRequest request;
    request.timeoutMs = 1000;
    const AtomicTimeOutcome o = n.run(request);
    EXPECT_FALSE(o.measured);
    // Refused at once where the system reports it, else silence.
    EXPECT_EQ(o.problem.rfind("no answer from 127.0.0.1:" + std::to_string(closed), 0), 0u) << o.problem;
    EXPECT_EQ(n.w.count("SetTime"), 0);
    EXPECT_NE(n.w.errorLog().find("DoAtomicTime of Modul Varn_TimeSync"), std::string::npos);
}

#ifdef NOCTURO_HAVE_CURL

TEST(TimePageOnLoopback, StatusRedirectAndPage) {
    Networked n;
    platform::CurlHttp curl;
    n.w.runtime.pf.http = &curl;
    WebTestServer web;
    // A missing page showing a time is refused by its status.
    web.serve("/timezone.cgi?UTC", 404, platform::TimePageFixture("20:59:55"));
    n.timeServer(web.url(""));
    AtomicTimeOutcome o = n.run();
    EXPECT_FALSE(o.measured);
    EXPECT_EQ(o.problem, "HTTP status 404 from " + web.url("/timezone.cgi?UTC"));
    EXPECT_EQ(n.w.count("SetTime"), 0);
    EXPECT_EQ(web.requests(), 1);

    // A redirect is followed to the page.
    web.serve("/timezone.cgi?UTC", 302, "", "Location: /utc.html\r\n");
    web.serve("/utc.html", 200, platform::TimePageFixture("20:59:55"));
    o = n.run();
    ASSERT_TRUE(o.measured) << o.problem;
    EXPECT_TRUE(o.clockSet);
    ASSERT_EQ(n.w.count("SetTime"), 1);
    EXPECT_EQ(n.w.last("SetTime")->at("utc").asString(), "2026-12-08T20:59:56");
}

#endif

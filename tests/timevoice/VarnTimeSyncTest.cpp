// Setting the clock from the time service's page: reading the time, the
// instant set (also around midnight), the attempts, and a refused setting.
#include <gtest/gtest.h>

#include <string>

#include "base/Sntp.h"
#include "base/Varn_Registry.h"
#include "platform/sim/SimHttp.h"
#include "support/SimWorld.h"
#include "timevoice/Varn_TimeSync.h"

using namespace nocturo;
using nocturo::test::SimWorld;

namespace {

constexpr std::int64_t kSec = 1000000;

AtomicTimeOutcome RunAtomicTime(SimWorld& w, bool adjustDaylight = true, AtomicTimeRequest request = {}) {
    AtomicTimeOutcome outcome;
    Task t = DoAtomicTime(outcome, adjustDaylight, request);
    t.start("DoAtomicTime of Modul Varn_TimeSync");
    EXPECT_TRUE(w.runUntil([&] { return t.done(); }, 60000));
    return outcome;
}

}  // namespace

TEST(AtomicTimeParse, ReadsTheTimeBehindTheMarker) {
    std::string problem;
    EXPECT_EQ(ParseAtomicTime(platform::TimePageFixture("23:30:10"), problem), 23 * 3600 + 30 * 60 + 10);
}

TEST(AtomicTimeParse, ShortPageOrMarkerBeforePosition1000IsNoTime) {
    std::string problem;
    EXPECT_FALSE(ParseAtomicTime("<font color=\"white\"><b>12:00:00</b>", problem));
    std::string early = "<font color=\"white\"><b>12:00:00</b>" + std::string(1200, ' ');
    EXPECT_FALSE(ParseAtomicTime(early, problem));
    // Exactly at position 1000 (index 999) it counts.
    std::string atLimit = std::string(999, ' ') + "white\"><b>01:02:03";
    EXPECT_EQ(ParseAtomicTime(atLimit, problem), 3723);
    std::string justBefore = std::string(998, ' ') + "white\"><b>01:02:03";
    EXPECT_FALSE(ParseAtomicTime(justBefore, problem));
}

TEST(AtomicTimeParse, RejectsWhatIsNoTimeOfDay) {
    for (const char* bad : {"24:00:00", "12:60:00", "12:00:61", "ab:cd:ef", "1:2:3   ", "12:00"}) {
        std::string problem;
        EXPECT_FALSE(ParseAtomicTime(platform::TimePageFixture(bad), problem)) << bad;
        EXPECT_FALSE(problem.empty());
    }
}

TEST(AtomicTimeInstant, TodayPlusOneSecond) {
    const std::int64_t day = 20000LL * 86400 * kSec;
    EXPECT_EQ(AtomicTimeInstant(day + 12 * 3600 * kSec, 12 * 3600 + 5), day + (12 * 3600 + 6) * kSec);
}

TEST(AtomicTimeInstant, AroundMidnightTheNearestDay) {
    const std::int64_t day = 20000LL * 86400 * kSec;
    // The clock is a little past midnight, the page still says 23:30:10 of the day before.
    EXPECT_EQ(AtomicTimeInstant(day + 10 * 60 * kSec, 23 * 3600 + 30 * 60 + 10),
              day - 86400 * kSec + (23 * 3600 + 30 * 60 + 11) * kSec);
    // The clock is behind, at 23:50; the page says 00:05:00 of the next day.
    EXPECT_EQ(AtomicTimeInstant(day - 10 * 60 * kSec, 5 * 60), day + (5 * 60 + 1) * kSec);
}

TEST(AtomicTimeBias, DaylightOnlyWhenAdjustingAndInForce) {
    platform::TimeZoneInformation z;
    z.bias = -60;
    z.standardBias = 0;
    z.daylightBias = -60;
    EXPECT_EQ(AtomicTimeBias(z, true, true), -120);
    EXPECT_EQ(AtomicTimeBias(z, false, true), -60);
    EXPECT_EQ(AtomicTimeBias(z, true, false), -60);
}

// ---- by the time page, when "TimeServer" is a web address -------------------

namespace {
constexpr const char* kPageHost = "http://time.nocturo.test";
const std::string kPage = std::string(kPageHost) + "/timezone.cgi?UTC";

void useTimePage(const std::string& address = kPageHost) {
    WriteSetting(UserApp(), kSettings, "TimeServer", address);
}
int errorEntries(SimWorld& w) {
    std::size_t entries = 0, pos = 0;
    const std::string log = w.errorLog();
    while ((pos = log.find("DoAtomicTime of Modul Varn_TimeSync", pos)) != std::string::npos) ++entries, ++pos;
    return static_cast<int>(entries);
}
}  // namespace

TEST(TimePageAddress, PathAddedOnlyWhereNoneIsGiven) {
    EXPECT_TRUE(IsTimePageAddress("HTTP://x"));
    EXPECT_TRUE(IsTimePageAddress("https://x/y"));
    EXPECT_FALSE(IsTimePageAddress("pool.ntp.org"));
    EXPECT_FALSE(IsTimePageAddress("http.example:123"));
    EXPECT_EQ(TimePageUrl("http://h"), "http://h/timezone.cgi?UTC");
    EXPECT_EQ(TimePageUrl("http://h:8080/"), "http://h:8080/timezone.cgi?UTC");
    EXPECT_EQ(TimePageUrl("https://h/utc/now"), "https://h/utc/now");
}

TEST(DoAtomicTime, TimePageSetsTheClockToTheUtcInstant) {
    SimWorld w(platform::PathStyle::Windows, {2026, 12, 8, 23, 40, 0, 0, 1});
    platform::TimeZoneInformation z;  // UTC
    w.time.setZone(z, platform::tz::Standard);
    useTimePage();
    w.http.serve(kPage, platform::TimePageFixture("23:30:10"));
    const AtomicTimeOutcome o = RunAtomicTime(w);
    EXPECT_TRUE(o.clockSet);
    EXPECT_TRUE(o.refusal.empty());
    EXPECT_TRUE(o.measured);
    EXPECT_EQ(o.offsetUsec, -(9 * 60 + 49) * kSec);
    const auto* set = w.last("SetTime");
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->at("utc").asString(), "2026-12-08T23:30:11");
    EXPECT_EQ(w.clock.now().day, 8);
    EXPECT_EQ(w.count("HttpGet"), 1);
    EXPECT_EQ(w.count("SntpQuery"), 0);
}

TEST(DoAtomicTime, TimePageInALocalZoneAheadCrossingMidnightKeepsTheRightDate) {
    // Local 00:35 on the 9th in a zone two hours ahead: UTC is 22:35 on the 8th.
    SimWorld w(platform::PathStyle::Windows, {2026, 12, 9, 0, 35, 0, 0, 2});
    platform::TimeZoneInformation z;
    z.bias = -120;
    w.time.setZone(z, platform::tz::Standard);
    useTimePage("http://time.nocturo.test/");
    w.http.serve(kPage, platform::TimePageFixture("23:30:10"));
    EXPECT_TRUE(RunAtomicTime(w).clockSet);
    EXPECT_EQ(w.last("SetTime")->at("utc").asString(), "2026-12-08T23:30:11");
    const auto now = w.clock.now();
    EXPECT_EQ(now.day, 9);
    EXPECT_EQ(now.hour, 1);
    EXPECT_EQ(now.minute, 30);
}

TEST(DoAtomicTime, TimePageUnreachableTenAttemptsThenNoClockChange) {
    SimWorld w;
    useTimePage();
    w.http.unreachable(kPage);
    const AtomicTimeOutcome o = RunAtomicTime(w);
    EXPECT_FALSE(o.clockSet);
    EXPECT_EQ(w.count("SetTime"), 0);
    EXPECT_EQ(errorEntries(w), 10);
    EXPECT_NE(o.problem.find("no answer from " + kPage), std::string::npos) << o.problem;
}

TEST(DoAtomicTime, TimePageOfAnErrorStatusIsNeverRead) {
    // A missing page that happens to show a time is not the time.
    SimWorld w;
    useTimePage();
    w.http.serve(kPage, platform::TimePageFixture("12:00:00"), 404);
    const AtomicTimeOutcome o = RunAtomicTime(w);
    EXPECT_FALSE(o.clockSet);
    EXPECT_FALSE(o.measured);
    EXPECT_EQ(w.count("SetTime"), 0);
    EXPECT_EQ(w.count("HttpGet"), 1);
    EXPECT_EQ(o.problem, "HTTP status 404 from " + kPage);
    EXPECT_EQ(errorEntries(w), 1);
    // An unfollowed redirect is no page either.
    w.http.serve(kPage, platform::TimePageFixture("12:00:00"), 302);
    EXPECT_EQ(RunAtomicTime(w).problem, "HTTP status 302 from " + kPage);
    EXPECT_EQ(w.count("SetTime"), 0);
}

TEST(DoAtomicTime, TimePageTooShortIsTriedTenTimes) {
    SimWorld w;
    useTimePage();
    w.http.serve(kPage, "<font color=\"white\"><b>12:00:00</b>");
    const AtomicTimeOutcome o = RunAtomicTime(w);
    EXPECT_FALSE(o.clockSet);
    EXPECT_EQ(w.count("SetTime"), 0);
    EXPECT_EQ(w.count("HttpGet"), 10);
    EXPECT_NE(o.problem.find("time not found"), std::string::npos) << o.problem;
}

TEST(DoAtomicTime, TimePageWithBadTimesNeverSetsTheClock) {
    for (const char* bad : {"24:00:00", "12:60:00", "12:00:61", "ab:cd:ef"}) {
        SimWorld w;
        useTimePage();
        w.http.serve(kPage, platform::TimePageFixture(bad));
        EXPECT_FALSE(RunAtomicTime(w).clockSet) << bad;
        EXPECT_EQ(w.count("SetTime"), 0) << bad;
        EXPECT_NE(w.errorLog().find(bad), std::string::npos) << bad;
    }
}

// ---- by SNTP, the default ----------------------------------------------------

TEST(DoAtomicTime, DefaultServerSetsTheClockByItsOffset) {
    SimWorld w(platform::PathStyle::Windows, {2026, 12, 8, 23, 40, 0, 0, 1});
    w.sntp.serve(sntp::DefaultServer, 2500000);  // 2.5 s ahead of the simulated clock
    const std::int64_t before = w.time.utcNowUsec();
    const AtomicTimeOutcome o = RunAtomicTime(w);
    EXPECT_EQ(o.server, "pool.ntp.org");
    EXPECT_TRUE(o.measured);
    EXPECT_NEAR(static_cast<double>(o.offsetUsec), 2500000.0, 2.0);
    EXPECT_TRUE(o.clockSet);
    ASSERT_EQ(w.count("SetTime"), 1);
    EXPECT_NEAR(static_cast<double>(w.last("SetTime")->at("usec_utc").asNumber()), before + 2500000.0, 2000.0);
    EXPECT_EQ(w.last("SntpQuery")->at("server").asString(), "pool.ntp.org");
    EXPECT_EQ(w.count("HttpGet"), 0);
}

TEST(DoAtomicTime, MeasuringOnlyLeavesTheClock) {
    SimWorld w;
    w.sntp.serve(sntp::DefaultServer, -12000);
    AtomicTimeRequest request;
    request.setClock = false;
    const AtomicTimeOutcome o = RunAtomicTime(w, true, request);
    EXPECT_TRUE(o.measured);
    EXPECT_NEAR(static_cast<double>(o.offsetUsec), -12000.0, 2.0);
    EXPECT_FALSE(o.clockSet);
    EXPECT_EQ(w.count("SetTime"), 0);
    EXPECT_EQ(ClockOffsetText(o.offsetUsec), "the clock is 0.012 s fast");
    EXPECT_EQ(ClockOffsetText(-o.offsetUsec), "the clock is 0.012 s slow");
}

TEST(DoAtomicTime, AKissOfDeathIsOneQuestionAndOneEntry) {
    SimWorld w;
    sntp::ServerAnswer kiss;
    kiss.stratum = 0;
    kiss.kissCode = "DENY";
    w.sntp.serve(sntp::DefaultServer, 0, kiss);
    const AtomicTimeOutcome o = RunAtomicTime(w);
    EXPECT_FALSE(o.measured);
    EXPECT_FALSE(o.clockSet);
    EXPECT_EQ(w.count("SntpQuery"), 1);
    EXPECT_EQ(w.count("SetTime"), 0);
    EXPECT_NE(o.problem.find("kiss-of-death \"DENY\""), std::string::npos) << o.problem;
    EXPECT_EQ(errorEntries(w), 1);
}

TEST(DoAtomicTime, AJumpOfMoreThanADayIsRefusedUnlessConfirmed) {
    const std::int64_t twoDays = 2 * 86400 * kSec;
    {  // Nobody to ask: refused and logged.
        SimWorld w;
        w.sntp.serve(sntp::DefaultServer, twoDays);
        const AtomicTimeOutcome o = RunAtomicTime(w);
        EXPECT_TRUE(o.measured);
        EXPECT_FALSE(o.clockSet);
        EXPECT_EQ(w.count("SetTime"), 0);
        EXPECT_EQ(w.count("MessageBox"), 0);
        EXPECT_NE(o.problem.find("172800.000 s ahead of this computer's clock, more than a day"), std::string::npos)
            << o.problem;
        EXPECT_EQ(errorEntries(w), 1);
    }
    AtomicTimeRequest ask;
    ask.mayAsk = true;
    {  // The user says No.
        SimWorld w;
        w.sntp.serve(sntp::DefaultServer, -twoDays);
        w.dialogs.pushAnswer(platform::mb::IdNo);
        const AtomicTimeOutcome o = RunAtomicTime(w, true, ask);
        EXPECT_FALSE(o.clockSet);
        EXPECT_EQ(w.count("SetTime"), 0);
        EXPECT_NE(o.problem.find("behind this computer's clock"), std::string::npos) << o.problem;
        EXPECT_EQ(errorEntries(w), 0);
    }
    {  // The user says Yes.
        SimWorld w;
        w.sntp.serve(sntp::DefaultServer, twoDays);
        w.dialogs.pushAnswer(platform::mb::IdYes);
        const std::int64_t before = w.time.utcNowUsec();
        const AtomicTimeOutcome o = RunAtomicTime(w, true, ask);
        EXPECT_TRUE(o.clockSet);
        ASSERT_EQ(w.count("SetTime"), 1);
        EXPECT_NEAR(static_cast<double>(w.last("SetTime")->at("usec_utc").asNumber()),
                    static_cast<double>(before + twoDays), 2000.0);
    }
    {  // Just under a day needs no question.
        SimWorld w;
        w.sntp.serve(sntp::DefaultServer, 86400 * kSec - kSec);
        EXPECT_TRUE(RunAtomicTime(w).clockSet);
        EXPECT_EQ(w.count("MessageBox"), 0);
    }
}

TEST(DoAtomicTime, RefusedSettingIsLoggedAndReported) {
    SimWorld w;
    w.time.setRefuse(true);
    const AtomicTimeOutcome o = RunAtomicTime(w);
    EXPECT_EQ(w.count("SetTime"), 1);
    EXPECT_FALSE(o.refusal.empty());
    EXPECT_NE(w.errorLog().find("DoAtomicTime of Modul Varn_TimeSync"), std::string::npos);
}

TEST(DoAtomicTime, ANameThatIsNoServerIsNotAsked) {
    SimWorld w;
    WriteSetting(UserApp(), kSettings, "TimeServer", std::string("time server"));
    const AtomicTimeOutcome o = RunAtomicTime(w);
    EXPECT_FALSE(o.measured);
    EXPECT_EQ(w.count("SntpQuery"), 0);
    EXPECT_NE(o.problem.find("\"time server\" is no time server's name"), std::string::npos) << o.problem;
    // Blank is the default.
    WriteSetting(UserApp(), kSettings, "TimeServer", std::string("  "));
    EXPECT_EQ(TimeServerSetting(), "pool.ntp.org");
}

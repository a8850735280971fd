// Setting the clock from the time service's page: reading the time, the
// instant set (also around midnight), the attempts, and a refused setting.
#include <gtest/gtest.h>

#include <string>

#include "base/Links.h"
#include "platform/sim/SimHttp.h"
#include "support/SimWorld.h"
#include "timevoice/Varn_TimeSync.h"

using namespace nocturo;
using nocturo::test::SimWorld;

namespace {

constexpr std::int64_t kSec = 1000000;

AtomicTimeOutcome RunAtomicTime(SimWorld& w, bool adjustDaylight = true) {
    AtomicTimeOutcome outcome;
    Task t = DoAtomicTime(outcome, adjustDaylight);
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

TEST(DoAtomicTime, SetsTheClockToTheUtcInstant) {
    SimWorld w(platform::PathStyle::Windows, {2026, 12, 8, 23, 40, 0, 0, 1});
    platform::TimeZoneInformation z;  // UTC
    w.time.setZone(z, platform::tz::Standard);
    w.http.serve(links::TimePage, platform::TimePageFixture("23:30:10"));
    const AtomicTimeOutcome o = RunAtomicTime(w);
    EXPECT_TRUE(o.clockSet);
    EXPECT_TRUE(o.refusal.empty());
    const auto* set = w.last("SetTime");
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->at("utc").asString(), "2026-12-08T23:30:11");
    EXPECT_EQ(w.clock.now().hour, 23);
    EXPECT_EQ(w.clock.now().minute, 30);
    EXPECT_EQ(w.clock.now().day, 8);
    EXPECT_EQ(w.count("HttpGet"), 1);
}

TEST(DoAtomicTime, LocalZoneAheadCrossingMidnightKeepsTheRightDate) {
    // Local 00:35 on the 9th in a zone two hours ahead: UTC is 22:35 on the 8th.
    SimWorld w(platform::PathStyle::Windows, {2026, 12, 9, 0, 35, 0, 0, 2});
    platform::TimeZoneInformation z;
    z.bias = -120;
    w.time.setZone(z, platform::tz::Standard);
    w.http.serve(links::TimePage, platform::TimePageFixture("23:30:10"));
    EXPECT_TRUE(RunAtomicTime(w).clockSet);
    EXPECT_EQ(w.last("SetTime")->at("utc").asString(), "2026-12-08T23:30:11");
    const auto now = w.clock.now();
    EXPECT_EQ(now.day, 9);
    EXPECT_EQ(now.hour, 1);
    EXPECT_EQ(now.minute, 30);
}

TEST(DoAtomicTime, TenFailedAttemptsThenNoClockChange) {
    SimWorld w;
    w.http.unreachable(links::TimePage);
    const AtomicTimeOutcome o = RunAtomicTime(w);
    EXPECT_FALSE(o.clockSet);
    EXPECT_EQ(w.count("SetTime"), 0);
    std::size_t entries = 0, pos = 0;
    const std::string log = w.errorLog();
    while ((pos = log.find("DoAtomicTime of Modul Varn_TimeSync", pos)) != std::string::npos) ++entries, ++pos;
    EXPECT_EQ(entries, 10u);
}

TEST(DoAtomicTime, ShortPageIsTriedTenTimes) {
    SimWorld w;
    w.http.serve(links::TimePage, "<font color=\"white\"><b>12:00:00</b>");
    EXPECT_FALSE(RunAtomicTime(w).clockSet);
    EXPECT_EQ(w.count("SetTime"), 0);
    EXPECT_EQ(w.count("HttpGet"), 10);
}

TEST(DoAtomicTime, BadTimesNeverSetTheClock) {
    for (const char* bad : {"24:00:00", "12:60:00", "12:00:61", "ab:cd:ef"}) {
        SimWorld w;
        w.http.serve(links::TimePage, platform::TimePageFixture(bad));
        EXPECT_FALSE(RunAtomicTime(w).clockSet) << bad;
        EXPECT_EQ(w.count("SetTime"), 0) << bad;
        EXPECT_NE(w.errorLog().find(bad), std::string::npos) << bad;
    }
}

TEST(DoAtomicTime, RefusedSettingIsLoggedAndReported) {
    SimWorld w;
    w.time.setRefuse(true);
    w.http.serve(links::TimePage, platform::TimePageFixture("12:00:00"));
    const AtomicTimeOutcome o = RunAtomicTime(w);
    EXPECT_EQ(w.count("SetTime"), 1);
    EXPECT_FALSE(o.refusal.empty());
    EXPECT_NE(w.errorLog().find("DoAtomicTime of Modul Varn_TimeSync"), std::string::npos);
}

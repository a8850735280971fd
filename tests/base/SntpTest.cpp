// The network time protocol's client side on its own: timestamps and their
// eras, the request, the checks an answer must pass, the offset it gives,
// and server names with ports.
#include <gtest/gtest.h>

#include <vector>

#include "base/Sntp.h"

using namespace nocturo;

namespace {

constexpr std::int64_t kSec = 1000000;
// 2036-02-07 06:28:16 UTC: the NTP seconds wrap to 0 here.
constexpr std::int64_t kEra1Usec = 2085978496LL * kSec;
// 2026-12-08 21:00:00 UTC
constexpr std::int64_t kDecember2026 = 1796763600LL * kSec;

std::vector<std::uint8_t> bytes(const sntp::Packet& p) { return {p.begin(), p.end()}; }

struct Exchange {
    std::uint64_t transmit;
    std::vector<std::uint8_t> request;
    explicit Exchange(std::int64_t t1) : transmit(sntp::ToNtp(t1)) { request = bytes(sntp::BuildRequest(transmit)); }
};

}  // namespace

TEST(SntpTimestamp, KnownInstantsAndTheEraOf2036) {
    EXPECT_EQ(sntp::ToNtp(0) >> 32, 2208988800u);
    EXPECT_EQ(sntp::ToNtp(kSec / 2) & 0xFFFFFFFFu, 0x80000000u);
    EXPECT_EQ(sntp::ToNtp(kEra1Usec - kSec) >> 32, 0xFFFFFFFFu);
    EXPECT_EQ(sntp::ToNtp(kEra1Usec) >> 32, 0u);
    for (std::int64_t t : {std::int64_t{0}, kDecember2026 + 123456, kEra1Usec - 1, kEra1Usec, kEra1Usec + 86400 * kSec + 999999,
                           std::int64_t{-10} * kSec})
        EXPECT_NEAR(static_cast<double>(sntp::FromNtp(sntp::ToNtp(t))), static_cast<double>(t), 1.0) << t;
}

TEST(SntpRequest, VersionFourClientCarryingItsTime) {
    const sntp::Packet p = sntp::BuildRequest(0x0102030405060708ULL);
    EXPECT_EQ(p[0], 0x23);  // LI 0, VN 4, mode 3
    EXPECT_EQ(p[40], 0x01);
    EXPECT_EQ(p[47], 0x08);
    for (std::size_t i = 1; i < 40; ++i) EXPECT_EQ(p[i], 0) << i;
}

TEST(SntpAnswer, OffsetFromTheFourTimestamps) {
    // The server is 2.5 s ahead; the round trip takes 40 ms, 20 ms each way.
    const std::int64_t t1 = kDecember2026, t4 = t1 + 40000;
    const std::int64_t server = t1 + 2500000 + 20000;
    Exchange e(t1);
    std::string problem;
    auto m = sntp::CheckAnswer(bytes(sntp::BuildAnswer(e.request, server)), e.transmit, t1, t4, "s", problem);
    ASSERT_TRUE(m) << problem;
    EXPECT_NEAR(static_cast<double>(m->offsetUsec), 2500000.0, 2.0);
    EXPECT_NEAR(static_cast<double>(m->delayUsec), 40000.0, 2.0);
    // Behind: a negative offset.
    m = sntp::CheckAnswer(bytes(sntp::BuildAnswer(e.request, t1 - 3 * kSec)), e.transmit, t1, t1, "s", problem);
    ASSERT_TRUE(m);
    EXPECT_NEAR(static_cast<double>(m->offsetUsec), -3.0 * kSec, 2.0);
    // Broadcast answers count as well.
    sntp::ServerAnswer broadcast;
    broadcast.mode = 5;
    EXPECT_TRUE(sntp::CheckAnswer(bytes(sntp::BuildAnswer(e.request, t1, broadcast)), e.transmit, t1, t1, "s", problem));
}

TEST(SntpAnswer, AcrossTheEraOf2036TheOffsetStaysSmall) {
    // The clock just before the wrap, the server just after it.
    const std::int64_t t1 = kEra1Usec - 500000;
    Exchange e(t1);
    std::string problem;
    auto m = sntp::CheckAnswer(bytes(sntp::BuildAnswer(e.request, kEra1Usec + 500000)), e.transmit, t1, t1, "s",
                               problem);
    ASSERT_TRUE(m) << problem;
    EXPECT_NEAR(static_cast<double>(m->offsetUsec), 1.0 * kSec, 2.0);
    // Both well inside the second era.
    const std::int64_t later = kEra1Usec + 3650LL * 86400 * kSec;
    Exchange f(later);
    m = sntp::CheckAnswer(bytes(sntp::BuildAnswer(f.request, later + 250000)), f.transmit, later, later, "s", problem);
    ASSERT_TRUE(m) << problem;
    EXPECT_NEAR(static_cast<double>(m->offsetUsec), 250000.0, 2.0);
}

TEST(SntpAnswer, RefusedAnswersSayWhy) {
    const std::int64_t t1 = kDecember2026;
    Exchange e(t1);
    auto refused = [&](const std::vector<std::uint8_t>& data, std::uint64_t sent = 0) {
        std::string problem;
        EXPECT_FALSE(sntp::CheckAnswer(data, sent ? sent : e.transmit, t1, t1, "time.test", problem));
        return problem;
    };
    sntp::ServerAnswer kiss;
    kiss.stratum = 0;
    kiss.kissCode = "RATE";
    std::string why = refused(bytes(sntp::BuildAnswer(e.request, t1, kiss)));
    EXPECT_NE(why.find("kiss-of-death \"RATE\""), std::string::npos) << why;
    EXPECT_NE(why.find("time.test"), std::string::npos) << why;

    sntp::ServerAnswer unsynchronised;
    unsynchronised.leap = 3;
    EXPECT_NE(refused(bytes(sntp::BuildAnswer(e.request, t1, unsynchronised))).find("not synchronised"),
              std::string::npos);
    sntp::ServerAnswer stratum16;
    stratum16.stratum = 16;
    EXPECT_NE(refused(bytes(sntp::BuildAnswer(e.request, t1, stratum16))).find("not synchronised"), std::string::npos);
    // A leap second announced (LI 1) is a sound answer.
    sntp::ServerAnswer leap;
    leap.leap = 1;
    std::string problem;
    EXPECT_TRUE(sntp::CheckAnswer(bytes(sntp::BuildAnswer(e.request, t1, leap)), e.transmit, t1, t1, "s", problem));

    sntp::ServerAnswer wrong;
    wrong.echoOriginate = false;
    EXPECT_NE(refused(bytes(sntp::BuildAnswer(e.request, t1, wrong))).find("originate"), std::string::npos);
    // An answer to someone else's question, even a kiss-of-death, is not taken.
    EXPECT_NE(refused(bytes(sntp::BuildAnswer(e.request, t1, kiss)), e.transmit + 1).find("originate"),
              std::string::npos);

    sntp::ServerAnswer client;
    client.mode = 3;
    EXPECT_NE(refused(bytes(sntp::BuildAnswer(e.request, t1, client))).find("mode 3"), std::string::npos);

    std::vector<std::uint8_t> shortAnswer = bytes(sntp::BuildAnswer(e.request, t1));
    shortAnswer.resize(47);
    EXPECT_NE(refused(shortAnswer).find("too short"), std::string::npos);

    std::vector<std::uint8_t> noTime = bytes(sntp::BuildAnswer(e.request, t1));
    std::fill(noTime.begin() + 40, noTime.end(), 0);
    EXPECT_NE(refused(noTime).find("no time"), std::string::npos);
}

TEST(SntpServerName, HostsPortsAndWhatIsNoName) {
    auto a = sntp::ParseServer("pool.ntp.org");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->host, "pool.ntp.org");
    EXPECT_EQ(a->port, 123);
    a = sntp::ParseServer("127.0.0.1:40123");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->host, "127.0.0.1");
    EXPECT_EQ(a->port, 40123);
    a = sntp::ParseServer("[::1]:5");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->host, "::1");
    EXPECT_EQ(a->port, 5);
    a = sntp::ParseServer("fe80::1");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->host, "fe80::1");
    EXPECT_EQ(a->port, 123);
    for (const char* bad : {"", "host:", "host:0", "host:65536", "host:12x", "a b", "[::1", "[]:5", "[::1]x", ":123",
                            "host/path"})
        EXPECT_FALSE(sntp::ParseServer(bad)) << bad;
}

TEST(SntpSeconds, MillisecondsOfEitherSign) {
    EXPECT_EQ(sntp::SecondsText(12345), "0.012 s");
    EXPECT_EQ(sntp::SecondsText(-1500000), "1.500 s");
    EXPECT_EQ(sntp::SecondsText(499), "0.000 s");
    EXPECT_EQ(sntp::SecondsText(86400LL * 1000000 + 1000), "86400.001 s");
}

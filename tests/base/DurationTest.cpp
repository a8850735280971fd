// Durations as people type them for nocturoctl.
#include <gtest/gtest.h>

#include <string>

#include "base/Duration.h"

using nocturo::DurationText;
using nocturo::ParseDuration;

TEST(ParseDuration, ReadsUnitsInOrderAndBareSeconds) {
    const std::pair<const char*, long long> cases[] = {
        {"90s", 90},       {"45m", 2700},      {"1h30m", 5400}, {"2h", 7200},   {"1h2m3s", 3723},
        {"90", 90},        {"1", 1},           {"0h1s", 1},     {"1H30M", 5400}, {"100m", 6000},
        {"1h0m", 3600},    {"007s", 7},        {"2m30s", 150},  {"1h5s", 3605},
        {"2562047788015215h", 2562047788015215LL * 3600},
    };
    for (const auto& [text, seconds] : cases) {
        long long got = -7;
        EXPECT_TRUE(ParseDuration(text, got)) << text;
        EXPECT_EQ(got, seconds) << text;
    }
}

TEST(ParseDuration, RefusesEmptyZeroOverflowAndJunkAndLeavesTheValueAlone) {
    const char* bad[] = {
        "", "0", "0s", "0h0m0s", "00", "-5", "+5", "5 m", " 5m", "5m ", "1.5h", "1h30", "h", "m5", "5x", "5d",
        "1m1h", "1s1m", "1h1h", "5ms", "1h2m3s4", "9223372036854775808", "2562047788015216h",
        "9223372036854775807s1", "99999999999999999999m", "1h:30m",
    };
    for (const char* text : bad) {
        long long got = -7;
        EXPECT_FALSE(ParseDuration(text, got)) << text;
        EXPECT_EQ(got, -7) << text;
    }
    // The largest that fits, and one second beyond it summed from parts.
    long long got = 0;
    EXPECT_TRUE(ParseDuration("9223372036854775807", got));
    EXPECT_EQ(got, 9223372036854775807LL);
    EXPECT_FALSE(ParseDuration("1m9223372036854775748s", got));
}

TEST(DurationText, NamesTheUnitsALogLineShows) {
    EXPECT_EQ(DurationText(45), "45 s");
    EXPECT_EQ(DurationText(600), "10 min");
    EXPECT_EQ(DurationText(7200), "2 h");
    EXPECT_EQ(DurationText(5400), "1 h 30 min");
    EXPECT_EQ(DurationText(3605), "1 h 0 min 5 s");
    EXPECT_EQ(DurationText(90), "1 min 30 s");
}

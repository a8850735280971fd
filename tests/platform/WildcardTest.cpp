#include <gtest/gtest.h>

#include "platform/common/Wildcard.h"

using nocturo::platform::WildcardMatch;

TEST(Wildcard, StarAndQuestionMarkIgnoreCase) {
    EXPECT_TRUE(WildcardMatch("*.bak", "Report.BAK"));
    EXPECT_TRUE(WildcardMatch("a?c.txt", "ABC.txt"));
    EXPECT_FALSE(WildcardMatch("a?c.txt", "ac.txt"));
    EXPECT_FALSE(WildcardMatch("*.bak", "report.bak2"));
    EXPECT_TRUE(WildcardMatch("*b*k*", "aabxxk"));
}

TEST(Wildcard, StarDotStarMatchesEverythingIncludingDotEntries) {
    for (const char* name : {"plain", "a.b", ".", "..", ".hidden", "x.y.z"}) EXPECT_TRUE(WildcardMatch("*.*", name)) << name;
    EXPECT_TRUE(WildcardMatch("readme.*", "README"));
    EXPECT_FALSE(WildcardMatch("*.bak", "."));
}

TEST(Wildcard, TrailingDotMatchesNamesWithoutExtension) {
    EXPECT_TRUE(WildcardMatch("*.", "Makefile"));
    EXPECT_FALSE(WildcardMatch("*.", "a.txt"));
}

TEST(Wildcard, EmptySpecMatchesNothing) { EXPECT_FALSE(WildcardMatch("", "a")); }

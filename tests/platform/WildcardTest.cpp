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

TEST(Wildcard, AQuestionMarkIsOneCharacterNotOneByte) {
    struct Case {
        const char* spec;
        const char* name;
        bool match;
    };
    const Case cases[] = {
        {"?.bak", "é.bak", true},           // two bytes, one character
        {"?.bak", "€.bak", true},           // three bytes
        {"?.bak", "\xF0\x9F\x98\x80.bak", true},  // four bytes
        {"??.bak", "é.bak", false},
        {"?.bak", "ab.bak", false},
        {"*?.bak", "é.bak", true},
        {"*??.bak", "é.bak", false},
        {"?é?.txt", "aéb.txt", true},
        {"*é*", "caféteria", true},
        {"?.bak", "\xFF.bak", true},        // not UTF-8: a byte is a character
        {"?.bak", "\xC3.bak", true},        // a lone lead byte
        {"???.bak", "\xC3\xA9\xA9.bak", false},  // é and a stray continuation byte: two characters
        {"??.bak", "\xC3\xA9\xA9.bak", true},
    };
    for (const Case& c : cases) EXPECT_EQ(WildcardMatch(c.spec, c.name), c.match) << c.spec << " vs " << c.name;
}

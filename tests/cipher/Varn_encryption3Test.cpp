// The stored password form: UTF-16LE text hex around the cipher container.
#include <gtest/gtest.h>

#include <string>

#include "CipherTestRuntime.h"
#include "cipher/Varn_encryption3.h"
#include "cipher/clsBlowfish.h"

namespace {

using nocturo::Decrypt3;
using nocturo::DecryptBF;
using nocturo::Encrypt3;
using nocturo::EncryptBF;
using nocturo::FromHex;
using nocturo::ToHex;
using nocturo::test::CipherTestRuntime;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

bool IsUpperHex(const std::string& s) { return s.find_first_not_of("0123456789ABCDEF") == std::string::npos; }

// ---- text <-> UTF-16LE hex --------------------------------------------------------------

TEST(TextHex, TwoBytesPerCharacterLowByteFirst) {
    EXPECT_EQ(ToHex("a"), "6100");
    EXPECT_EQ(ToHex("ab"), "61006200");
    EXPECT_EQ(ToHex("ä"), "E400");
    EXPECT_EQ(ToHex("€"), "AC20");
    EXPECT_EQ(ToHex(""), "");
    EXPECT_EQ(ToHex(std::string(1, '\0')), "0000");
}

TEST(TextHex, CharactersBeyondTheBmpBecomeSurrogatePairs) {
    EXPECT_EQ(ToHex("😀"), "3DD800DE");         // U+1F600 = D83D DE00
    EXPECT_EQ(ToHex("\xF4\x8F\xBF\xBF"), "FFDBFFDF");  // U+10FFFF
}

TEST(TextHex, MalformedUtf8BecomesReplacementCharacters) {
    EXPECT_EQ(ToHex("\xFF"), "FDFF");
    EXPECT_EQ(ToHex("a\xC3"), "6100FDFF");                // cut-off sequence at the end
    EXPECT_EQ(ToHex("\xC3" "a"), "FDFF6100");             // the next character survives
    EXPECT_EQ(ToHex("\xC0\xAF"), "FDFFFDFF");             // overlong "/"
    EXPECT_EQ(ToHex("\xED\xA0\x80"), "FDFFFDFFFDFF");     // an encoded surrogate
    EXPECT_EQ(ToHex("\xF4\x90\x80\x80"), "FDFFFDFFFDFFFDFF");  // above U+10FFFF
}

TEST(TextHex, FromHexReversesToHex) {
    for (const std::string text : {"a", "Passwort", "ä€😀", "mixed 😀 text ü", ""}) EXPECT_EQ(FromHex(ToHex(text)), text);
}

TEST(TextHex, FromHexReplacesWhatIsNoValidUtf16) {
    const std::string replacement = "\xEF\xBF\xBD";
    EXPECT_EQ(FromHex("610062"), "a" + replacement);                  // odd last byte
    EXPECT_EQ(FromHex("3DD8"), replacement);                          // high surrogate at the end
    EXPECT_EQ(FromHex("3DD86100"), replacement + "a");                // high surrogate, then no low one
    EXPECT_EQ(FromHex("00DE6100"), replacement + "a");                // low surrogate alone
    EXPECT_EQ(FromHex("3DD83DD800DE"), replacement + "😀");           // second high one pairs
    EXPECT_EQ(FromHex("61006200").size(), 2u);
}

TEST(TextHex, FromHexOfInvalidHexIsLoggedAndEmpty) {
    CipherTestRuntime runtime;
    EXPECT_EQ(FromHex("61Z0"), "");
    EXPECT_EQ(FromHex("610"), "");
    EXPECT_EQ(runtime.errorEntries, 2);
    EXPECT_TRUE(Contains(runtime.errorLog(), "FromHex of Modul Varn_encryption3"));
}

// ---- stored form --------------------------------------------------------------------------

TEST(StoredPassword, SizeFollowsTheUtf16Length) {
    EXPECT_EQ(Encrypt3("x", "").size(), 32u);         // 2 + 12 -> 16 bytes
    EXPECT_EQ(Encrypt3("abcdefgh", "").size(), 64u);  // 16 + 12 -> 32 bytes
    EXPECT_EQ(Encrypt3("abcdefghij", "").size(), 64u);  // 20 + 12 -> 32 bytes
    EXPECT_EQ(Encrypt3("abcdefghijk", "").size(), 80u);
    EXPECT_EQ(Encrypt3("😀", "").size(), 32u);        // one character, two UTF-16 units
    EXPECT_TRUE(IsUpperHex(Encrypt3("abc", "")));
}

TEST(StoredPassword, BlankTextOrStoredFormGivesEmptyText) {
    CipherTestRuntime runtime;
    EXPECT_EQ(Encrypt3("", ""), "");
    EXPECT_EQ(Encrypt3("   ", ""), "");
    EXPECT_EQ(Decrypt3("", ""), "");
    EXPECT_EQ(Decrypt3("    ", ""), "");
    EXPECT_EQ(EncryptBF("  ", ""), "");
    EXPECT_EQ(DecryptBF("", ""), "");
    EXPECT_EQ(runtime.errorEntries, 0);
}

TEST(StoredPassword, TextWithBlanksInsideOrAroundIsKept) {
    for (const std::string text : {" a", "a ", " pass word ", "\t"}) EXPECT_EQ(Decrypt3(Encrypt3(text, ""), ""), text);
}

TEST(StoredPassword, RoundTripIncludingCharactersBeyondAnsi) {
    for (const std::string text : {"a", "geheim", "Passwörter ä ö ü ß", "€ 100", "😀", "日本語のパスワード", "12345678"})
        EXPECT_EQ(Decrypt3(Encrypt3(text, ""), ""), text) << text;
}

TEST(StoredPassword, SameTextTwiceGivesDifferentStoredForms) {
    EXPECT_NE(Encrypt3("secret", ""), Encrypt3("secret", ""));
}

TEST(StoredPassword, StoredFormIsTheContainerOfTheUtf16Bytes) {
    // The empty key reaches the cipher as empty text: a plain instance opens it.
    nocturo::clsBlowfish bf;
    EXPECT_EQ(bf.DecryptString(Encrypt3("ab", ""), "", true), std::string("a\0b\0", 4));
}

TEST(StoredPassword, KeyIsPassedAsItsTextHex) {
    const std::string stored = Encrypt3("pw", "ä");
    EXPECT_EQ(Decrypt3(stored, "ä"), "pw");
    EXPECT_NE(Decrypt3(stored, ""), "pw");
    EXPECT_EQ(nocturo::clsBlowfish().DecryptString(stored, "E400", true), std::string("p\0w\0", 4));
}

TEST(StoredPassword, HexLevelRoundTrip) {
    const std::string stored = EncryptBF("00FF10ab", "");
    EXPECT_EQ(stored.size(), 32u);
    EXPECT_EQ(DecryptBF(stored, ""), "00FF10AB");
}

// ---- stored forms that are not ours ---------------------------------------------------------

TEST(StoredPassword, NonHexStoredFormIsLoggedWithInputAndPosition) {
    CipherTestRuntime runtime;
    EXPECT_EQ(Decrypt3("0011zz33", ""), "");
    EXPECT_EQ(runtime.errorEntries, 1);
    const std::string log = runtime.errorLog();
    EXPECT_TRUE(Contains(log, "DecryptBF of Modul Varn_encryption3"));
    EXPECT_TRUE(Contains(log, "0011zz33\t5\t"));  // the argument entry: input, then the pair that failed
}

TEST(StoredPassword, EncryptBFOfInvalidHexIsLoggedAndEmpty) {
    CipherTestRuntime runtime;
    EXPECT_EQ(EncryptBF("abc", ""), "");  // half a byte at the end
    EXPECT_EQ(runtime.errorEntries, 1);
    const std::string log = runtime.errorLog();
    EXPECT_TRUE(Contains(log, "EncryptBF of Modul Varn_encryption3"));
    EXPECT_TRUE(Contains(log, "abc\t3\t"));
}

TEST(StoredPassword, GarbageNeverCrashesAndGivesEmptyOrUnreadableText) {
    CipherTestRuntime runtime;
    const std::string samples[] = {
        "not hex at all", "Z", "0", "00", "0000000000000000", "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF",
        "0123456789ABCDEF0123456789ABCDEF0", std::string(64, 'A'), "€€€€", std::string(5, '\0'),
        Encrypt3("truncated", "").substr(0, 40), Encrypt3("cut", "").substr(0, 16),
    };
    for (const std::string& s : samples) {
        const std::string text = Decrypt3(s, "");
        EXPECT_NE(text, "truncated");
        EXPECT_NE(text, "cut");
    }
}

TEST(StoredPassword, WorksWithoutARuntime) {
    EXPECT_EQ(Decrypt3(Encrypt3("no runtime", ""), ""), "no runtime");
    EXPECT_EQ(Decrypt3("xyz", ""), "");
}

}  // namespace

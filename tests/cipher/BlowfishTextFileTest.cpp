// The text, hex, buffer and file conveniences of clsBlowfish.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "CipherTestRuntime.h"
#include "cipher/clsBlowfish.h"
#include "support/TestSupport.h"

namespace {

using nocturo::clsBlowfish;
using nocturo::test::CipherTestRuntime;
using nocturo::test::ReadWholeFile;
using nocturo::test::WriteWholeFile;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A literal with its embedded NULs.
template <std::size_t N>
std::string Raw(const char (&literal)[N]) {
    return std::string(literal, N - 1);
}

// ---- hex and the text buffer ---------------------------------------------------------

TEST(BlowfishHex, TwoUpperCaseDigitsPerCharacterWithLeadingZero) {
    clsBlowfish bf;
    EXPECT_EQ(bf.EnHex(Raw("\x00\x0A\x7F\x80\xFF" "a")), "000A7F80FF61");
    EXPECT_EQ(bf.EnHex(""), "");
}

TEST(BlowfishHex, DeHexReversesEnHexForEveryByteValue) {
    clsBlowfish bf;
    std::string all;
    for (int c = 0; c < 256; ++c) all += char(c);
    const std::string hex = bf.EnHex(all);
    EXPECT_EQ(hex.size(), 512u);
    EXPECT_EQ(bf.DeHex(hex), all);
}

TEST(BlowfishHex, DeHexAcceptsLowerCase) {
    clsBlowfish bf;
    EXPECT_EQ(bf.DeHex("6a4B"), "jK");
}

TEST(BlowfishHex, DeHexOfInvalidTextIsLoggedAndEmpty) {
    CipherTestRuntime runtime;
    clsBlowfish bf;
    EXPECT_EQ(bf.DeHex("41G2"), "");
    EXPECT_EQ(bf.DeHex("414"), "");  // half a pair at the end
    EXPECT_EQ(bf.DeHex("41 42"), "");
    EXPECT_EQ(runtime.errorEntries, 3);
    EXPECT_TRUE(Contains(runtime.errorLog(), "DeHex of Klassenmodul clsBlowfish"));
}

TEST(BlowfishHex, EachConversionStartsWithAnEmptyBuffer) {
    clsBlowfish bf;
    bf.Append("left over");
    EXPECT_EQ(bf.EnHex("A"), "41");
    EXPECT_EQ(bf.DeHex("42"), "B");
}

TEST(BlowfishBuffer, AppendCollectsGDataReadsResetEmpties) {
    clsBlowfish bf;
    EXPECT_EQ(bf.GData(), "");
    bf.Append("ab");
    bf.Append("");
    bf.Append(Raw("c\0d"));
    EXPECT_EQ(bf.GData(), Raw("abc\0d"));
    EXPECT_EQ(bf.GData(), Raw("abc\0d"));  // reading does not consume
    bf.Reset();
    EXPECT_EQ(bf.GData(), "");
}

// ---- strings ------------------------------------------------------------------------

TEST(BlowfishString, RoundTripKeepsTheBytesAsTheyAre) {
    const std::string text = Raw("Grüße, 😀 and a NUL \0 inside");
    for (bool hex : {false, true}) {
        clsBlowfish writer, reader;
        const std::string sealed = writer.EncryptString(text, "pw", hex);
        EXPECT_EQ(reader.DecryptString(sealed, "pw", hex), text) << "hex " << hex;
    }
}

TEST(BlowfishString, HexOutputIsTwiceTheContainerInUpperCaseDigits) {
    clsBlowfish bf;
    const std::string hex = bf.EncryptString("12345", "", true);  // 5 + 12 -> 24 bytes
    EXPECT_EQ(hex.size(), 48u);
    EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    EXPECT_EQ(bf.EncryptString("12345", "", false).size(), 24u);
}

TEST(BlowfishString, WrongKeyGivesOtherBytesNotAnError) {
    CipherTestRuntime runtime;
    const std::string sealed = clsBlowfish().EncryptString("hello", "one", true);
    EXPECT_NE(clsBlowfish().DecryptString(sealed, "two", true), "hello");
    EXPECT_EQ(runtime.errorEntries, 0);
}

// ---- files ------------------------------------------------------------------------

class BlowfishFile : public testing::Test {
protected:
    CipherTestRuntime runtime;
    std::string plain = runtime.path("plain.txt");
    std::string sealed = runtime.path("sealed.txt");
    std::string opened = runtime.path("opened.txt");
    std::string content = Raw("line one\r\nline two \xC3\xA4\n\0binary");

    void SetUp() override { WriteWholeFile(plain, content); }
};

TEST_F(BlowfishFile, EncryptThenDecryptGivesTheOriginalFile) {
    for (bool hex : {false, true}) {
        clsBlowfish bf;
        ASSERT_TRUE(bf.EncryptFile(plain, sealed, true, "file key", hex));
        ASSERT_TRUE(bf.DecryptFile(sealed, opened, true, "file key", hex));
        EXPECT_EQ(ReadWholeFile(opened), content) << "hex " << hex;
    }
    EXPECT_EQ(runtime.errorEntries, 0);
}

TEST_F(BlowfishFile, HexFileHoldsOnlyHexDigits) {
    ASSERT_TRUE(clsBlowfish().EncryptFile(plain, sealed, false, "", true));
    const std::string written = ReadWholeFile(sealed);
    EXPECT_EQ(written.size(), 2 * ((content.size() + 12 + 7) / 8 * 8));
    EXPECT_EQ(written.find_first_not_of("0123456789ABCDEF"), std::string::npos);
}

TEST_F(BlowfishFile, ExistingDestinationIsKeptUnlessOverwriteIsSet) {
    WriteWholeFile(sealed, "keep me");
    clsBlowfish bf;
    EXPECT_FALSE(bf.EncryptFile(plain, sealed, false, "k", false));
    EXPECT_EQ(ReadWholeFile(sealed), "keep me");

    EXPECT_TRUE(bf.EncryptFile(plain, sealed, true, "k", false));
    EXPECT_NE(ReadWholeFile(sealed), "keep me");
    EXPECT_EQ(runtime.errorEntries, 0);
}

TEST_F(BlowfishFile, MissingSourceIsLoggedAndFalse) {
    EXPECT_FALSE(clsBlowfish().EncryptFile(runtime.path("none.txt"), sealed, true, "k", false));
    EXPECT_FALSE(std::filesystem::exists(sealed));
    EXPECT_EQ(runtime.errorEntries, 1);
    const std::string log = runtime.errorLog();
    EXPECT_TRUE(Contains(log, "EncryptFile of Klassenmodul clsBlowfish"));
    EXPECT_TRUE(Contains(log, "  53  File not found"));
}

TEST_F(BlowfishFile, UnwritableDestinationIsLoggedAndFalse) {
    ASSERT_TRUE(clsBlowfish().EncryptFile(plain, sealed, true, "k", false));
    EXPECT_FALSE(clsBlowfish().DecryptFile(sealed, runtime.path("no/such/folder/out.txt"), true, "k", false));
    EXPECT_FALSE(clsBlowfish().DecryptFile(sealed, runtime.temp.path(), true, "k", false));  // a folder
    EXPECT_EQ(runtime.errorEntries, 2);
    EXPECT_TRUE(Contains(runtime.errorLog(), "DecryptFile of Klassenmodul clsBlowfish"));
}

TEST(BlowfishFileWithoutRuntime, ReturnsFalseInsteadOfFailing) {
    EXPECT_FALSE(clsBlowfish().EncryptFile("a", "b", true, "", false));
    EXPECT_FALSE(clsBlowfish().DecryptFile("a", "b", true, "", false));
}

}  // namespace

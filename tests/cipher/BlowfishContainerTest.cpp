// The container EncryptByte writes and DecryptByte reads: layout, sizes,
// keys, damaged input, progress and yielding.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "CipherTestRuntime.h"
#include "cipher/clsBlowfish.h"

namespace {

using nocturo::clsBlowfish;
using Bytes = std::vector<std::uint8_t>;

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

std::uint32_t BigEndian(const Bytes& b, std::size_t at) {
    return std::uint32_t(b[at]) << 24 | std::uint32_t(b[at + 1]) << 16 | std::uint32_t(b[at + 2]) << 8 | b[at + 3];
}

void PutBigEndian(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = std::uint8_t(v >> (24 - 8 * i));
}

// Deciphers a container block by block with the block functions alone,
// undoing the chaining, so the header can be looked at as it was written.
Bytes OpenByHand(const clsBlowfish& bf, const Bytes& container) {
    Bytes plain(container.size());
    std::uint32_t prevL = 0, prevR = 0;
    for (std::size_t o = 0; o < container.size(); o += 8) {
        std::uint32_t l = BigEndian(container, o), r = BigEndian(container, o + 4);
        const std::uint32_t cl = l, cr = r;
        bf.DecryptBlock(l, r);
        PutBigEndian(plain, o, l ^ prevL);
        PutBigEndian(plain, o + 4, r ^ prevR);
        prevL = cl;
        prevR = cr;
    }
    return plain;
}

// The reverse: chains and enciphers an arbitrary plaintext array.
Bytes SealByHand(const clsBlowfish& bf, const Bytes& plain) {
    Bytes sealed(plain.size());
    std::uint32_t prevL = 0, prevR = 0;
    for (std::size_t o = 0; o < plain.size(); o += 8) {
        std::uint32_t l = BigEndian(plain, o) ^ prevL, r = BigEndian(plain, o + 4) ^ prevR;
        bf.EncryptBlock(l, r);
        PutBigEndian(sealed, o, l);
        PutBigEndian(sealed, o + 4, r);
        prevL = l;
        prevR = r;
    }
    return sealed;
}

// ---- layout and sizes ------------------------------------------------------------

TEST(BlowfishContainer, HeaderHoldsLengthLittleEndianThenDataThenZeroFill) {
    clsBlowfish writer, reader;
    Bytes data = Text("abcde");
    writer.EncryptByte(data, "key");
    ASSERT_EQ(data.size(), 24u);

    reader.Key("key");
    const Bytes plain = OpenByHand(reader, data);
    EXPECT_EQ(Bytes(plain.begin() + 8, plain.begin() + 12), (Bytes{5, 0, 0, 0}));
    EXPECT_EQ(Bytes(plain.begin() + 12, plain.begin() + 17), Text("abcde"));
    EXPECT_EQ(Bytes(plain.begin() + 17, plain.end()), Bytes(7, 0));
}

TEST(BlowfishContainer, LengthAboveOneByteIsStoredLittleEndian) {
    clsBlowfish writer, reader;
    Bytes data(0x0203, 0xAB);
    writer.EncryptByte(data);
    const Bytes plain = OpenByHand(reader, data);
    EXPECT_EQ(Bytes(plain.begin() + 8, plain.begin() + 12), (Bytes{0x03, 0x02, 0, 0}));
}

struct SizeCase {
    std::size_t plain, container;
};

class ContainerSize : public testing::TestWithParam<SizeCase> {};

TEST_P(ContainerSize, IsLengthPlus12RoundedUpTo8AndRoundTripsExactly) {
    const SizeCase c = GetParam();
    Bytes original(c.plain);
    for (std::size_t i = 0; i < c.plain; ++i) original[i] = std::uint8_t(i * 7 + 1);

    Bytes data = original;
    clsBlowfish().EncryptByte(data);
    EXPECT_EQ(data.size(), c.container);
    clsBlowfish().DecryptByte(data);
    EXPECT_EQ(data, original);
}

INSTANTIATE_TEST_SUITE_P(Lengths, ContainerSize,
                         testing::Values(SizeCase{0, 16}, SizeCase{1, 16}, SizeCase{4, 16}, SizeCase{5, 24},
                                         SizeCase{12, 24}, SizeCase{13, 32}, SizeCase{20, 32}, SizeCase{21, 40},
                                         SizeCase{1000, 1016}),
                         [](const testing::TestParamInfo<SizeCase>& info) {
                             return "Plain" + std::to_string(info.param.plain);
                         });

TEST(BlowfishContainer, EqualPlainBlocksGiveDifferentCipherBlocks) {
    Bytes data(16, 0);  // header block, then a zero block (4 data + 4 fill), then another
    clsBlowfish().EncryptByte(data);
    ASSERT_EQ(data.size(), 32u);
    EXPECT_NE(Bytes(data.begin() + 16, data.begin() + 24), Bytes(data.begin() + 24, data.end()));
}

// ---- randomness and keys ----------------------------------------------------------

TEST(BlowfishContainer, SameDataTwiceGivesDifferentContainersThatBothDecrypt) {
    clsBlowfish bf;
    Bytes first = Text("password"), second = Text("password");
    bf.EncryptByte(first, "k");
    bf.EncryptByte(second, "k");
    EXPECT_NE(first, second);
    EXPECT_NE(Bytes(first.begin(), first.begin() + 8), Bytes(second.begin(), second.begin() + 8));

    bf.DecryptByte(first, "k");
    bf.DecryptByte(second, "k");
    EXPECT_EQ(first, Text("password"));
    EXPECT_EQ(second, Text("password"));
}

TEST(BlowfishContainer, FirstBlocksDoNotRepeatOverManyEncryptions) {
    clsBlowfish writer, reader;
    std::set<std::vector<std::uint8_t>> seen;
    for (int i = 0; i < 500; ++i) {
        Bytes data = Text("x");
        writer.EncryptByte(data);
        const Bytes plain = OpenByHand(reader, data);
        EXPECT_TRUE(seen.insert(Bytes(plain.begin(), plain.begin() + 8)).second) << "repeated at " << i;
    }
}

TEST(BlowfishContainer, EmptyKeyContainerOpensInAnotherFreshInstance) {
    Bytes data = Text("shared");
    clsBlowfish().EncryptByte(data, "");
    clsBlowfish().DecryptByte(data, "");
    EXPECT_EQ(data, Text("shared"));
}

TEST(BlowfishContainer, KeyedContainerOpensOnlyWithTheSameKey) {
    Bytes sealed = Text("top secret");
    clsBlowfish().EncryptByte(sealed, "right");

    Bytes withRight = sealed, withWrong = sealed, withNone = sealed;
    clsBlowfish().DecryptByte(withRight, "right");
    clsBlowfish().DecryptByte(withWrong, "wrong");
    clsBlowfish().DecryptByte(withNone, "");
    EXPECT_EQ(withRight, Text("top secret"));
    EXPECT_NE(withWrong, Text("top secret"));
    EXPECT_NE(withNone, Text("top secret"));
}

TEST(BlowfishContainer, KeySetBeforehandIsUsedWhenTheCallPassesNone) {
    clsBlowfish writer, reader;
    writer.Key("preset");
    reader.Key("preset");
    Bytes data = Text("abc");
    writer.EncryptByte(data);
    reader.DecryptByte(data);
    EXPECT_EQ(data, Text("abc"));
}

// ---- input that is not a sound container ----------------------------------------------

TEST(BlowfishContainer, StoredLengthThatDoesNotFitLeavesTheDecipheredArrayUnshortened) {
    clsBlowfish bf;
    Bytes plain(24, 0x11);
    plain[8] = 100;  // claims 100 bytes in a 24-byte container
    plain[9] = plain[10] = plain[11] = 0;
    Bytes data = SealByHand(bf, plain);

    bf.DecryptByte(data);
    EXPECT_EQ(data, plain);
}

TEST(BlowfishContainer, StoredLengthFittingWithTooMuchFillIsNotShortened) {
    clsBlowfish bf;
    Bytes plain(32, 0);
    plain[8] = 4;  // 4 + 12 = 16, but 16 bytes of fill: not a container of this size
    Bytes data = SealByHand(bf, plain);
    bf.DecryptByte(data);
    EXPECT_EQ(data.size(), 32u);
}

TEST(BlowfishContainer, CutOffContainerDecryptsWithoutShortening) {
    Bytes data(40, 'z');
    clsBlowfish().EncryptByte(data);
    data.resize(data.size() - 8);
    clsBlowfish().DecryptByte(data);
    EXPECT_EQ(data.size(), 48u);
}

TEST(BlowfishContainer, ArraysWithoutAWholeHeaderAreLeftAlone) {
    for (std::size_t n : {0u, 1u, 5u, 7u}) {
        Bytes data(n, 0x5A);
        clsBlowfish().DecryptByte(data);
        EXPECT_EQ(data, Bytes(n, 0x5A)) << n;
    }
}

TEST(BlowfishContainer, TrailingPartialBlockIsLeftAsItIs) {
    Bytes data = Text("x");
    clsBlowfish().EncryptByte(data);
    const Bytes tail{0xE0, 0xE1, 0xE2, 0xE3, 0xE4};
    data.insert(data.end(), tail.begin(), tail.end());  // 21 bytes: 8 more than "x" needs, so no fit

    clsBlowfish().DecryptByte(data);
    ASSERT_EQ(data.size(), 21u);
    EXPECT_EQ(data[12], 'x');
    EXPECT_EQ(Bytes(data.begin() + 16, data.end()), tail);
}

TEST(BlowfishContainer, ExtraBytesWithinTheFillToleranceAreCutWithTheFill) {
    Bytes data = Text("0123456789");  // 22 bytes used of 24
    clsBlowfish().EncryptByte(data);
    data.push_back(0xEE);  // 25 - 10 - 12 = 3: still counts as fill
    clsBlowfish().DecryptByte(data);
    EXPECT_EQ(data, Text("0123456789"));
}

// ---- progress and yielding ------------------------------------------------------------

std::vector<int> ProgressOf(bool encrypt, Bytes& data) {
    clsBlowfish bf;
    std::vector<int> seen;
    bf.Progress = [&seen](int percent) { seen.push_back(percent); };
    if (encrypt)
        bf.EncryptByte(data);
    else
        bf.DecryptByte(data);
    return seen;
}

void ExpectRisingTo100(const std::vector<int>& seen) {
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), 0);
    EXPECT_EQ(seen.back(), 100);
    for (std::size_t i = 1; i < seen.size(); ++i) EXPECT_LT(seen[i - 1], seen[i]) << "at " << i;
}

TEST(BlowfishProgress, LargeArrayReportsEveryPercentOnceInOrder) {
    Bytes data(100 * 1024, 0x42);
    std::vector<int> expected;
    for (int p = 0; p <= 100; ++p) expected.push_back(p);

    EXPECT_EQ(ProgressOf(true, data), expected);
    EXPECT_EQ(ProgressOf(false, data), expected);
    EXPECT_EQ(data, Bytes(100 * 1024, 0x42));
}

TEST(BlowfishProgress, SmallContainersStillEndAt100) {
    for (std::size_t n : {0u, 1u, 5u, 30u, 333u}) {
        Bytes data(n, 1);
        SCOPED_TRACE(n);
        ExpectRisingTo100(ProgressOf(true, data));
        ExpectRisingTo100(ProgressOf(false, data));
    }
    Bytes data = Text("x");
    EXPECT_EQ(ProgressOf(true, data), (std::vector<int>{0, 50, 100}));
}

TEST(BlowfishProgress, EmptyArrayToDecryptReports100Only) {
    Bytes data;
    EXPECT_EQ(ProgressOf(false, data), std::vector<int>{100});
}

TEST(BlowfishProgress, FailingHandlerIsLoggedAndTheWorkCompletes) {
    nocturo::test::CipherTestRuntime runtime;
    clsBlowfish bf;
    bf.Progress = [](int percent) {
        if (percent == 50) throw std::runtime_error("handler failed");
    };
    Bytes data = Text("abc");
    bf.EncryptByte(data);
    bf.Progress = nullptr;
    bf.DecryptByte(data);
    EXPECT_EQ(data, Text("abc"));
    EXPECT_EQ(runtime.errorEntries, 1);
    EXPECT_NE(runtime.errorLog().find("EncryptByte of Klassenmodul clsBlowfish"), std::string::npos);
}

TEST(BlowfishYield, ByteFunctionsNeverLetOtherEventsRun) {
    nocturo::test::CipherTestRuntime runtime;
    clsBlowfish bf;
    bf.Key("setting a key does not yield");
    EXPECT_EQ(runtime.loop.yields, 0);

    Bytes data(100, 7);  // 112 + fill = 112 bytes = 14 blocks
    bf.EncryptByte(data);
    EXPECT_EQ(runtime.loop.yields, 0);
    bf.DecryptByte(data);
    EXPECT_EQ(runtime.loop.yields, 0);
    EXPECT_EQ(data, Bytes(100, 7));
    EXPECT_EQ(runtime.errorEntries, 0);
}

}  // namespace

// The block cipher and the key schedule against the published Blowfish data.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "cipher/BlowfishTables.h"
#include "cipher/clsBlowfish.h"

namespace {

using nocturo::clsBlowfish;

// "0123456789ABCDEF" -> the 8 raw bytes, NULs included.
std::string RawBytes(const std::string& hex) {
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) bytes += char(std::stoul(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

struct Block {
    std::uint32_t left, right;
};

Block Words(const std::string& hex16) {
    return {std::uint32_t(std::stoul(hex16.substr(0, 8), nullptr, 16)),
            std::uint32_t(std::stoul(hex16.substr(8, 8), nullptr, 16))};
}

struct Vector {
    const char* key;
    const char* plain;
    const char* cipher;
};

// Eric Young's ECB test set for 8-byte keys.
constexpr Vector kEcbVectors[] = {
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
    {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
    {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
    {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
    {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
    {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
    {"0131D9619DC1376E", "5CD54CA83DEF57DA", "B1B8CC0B250F09A0"},
    {"07A1133E4A0B2686", "0248D43806F67172", "1730E5778BEA1DA4"},
    {"3849674C2602319E", "51454B582DDF440A", "A25E7856CF2651EB"},
    {"04B915BA43FEB5B6", "42FD443059577FA2", "353882B109CE8F1A"},
    {"0113B970FD34F2CE", "059B5E0851CF143A", "48F4D0884C379918"},
    {"0170F175468FB5E6", "0756D8E0774761D2", "432193B78951FC98"},
    {"43297FAD38E373FE", "762514B829BF486A", "13F04154D69D1AE5"},
    {"07A7137045DA2A16", "3BDD119049372802", "2EEDDA93FFD39C79"},
    {"04689104C2FD3B2F", "26955F6835AF609A", "D887E0393C2DA6E3"},
    {"37D06BB516CB7546", "164D5E404F275232", "5F99D04F5B163969"},
    {"1F08260D1AC2465E", "6B056E18759F5CCA", "4A057A3B24D3977B"},
    {"584023641ABA6176", "004BD6EF09176062", "452031C1E4FADA8E"},
    {"025816164629B007", "480D39006EE762F2", "7555AE39F59B87BD"},
    {"49793EBC79B3258F", "437540C8698F3CFA", "53C55F9CB49FC019"},
    {"4FB05E1515AB73A7", "072D43A077075292", "7A8E7BFA937E89A3"},
    {"49E95D6D4CA229BF", "02FE55778117F12A", "CF9C5D7A4986ADB5"},
    {"018310DC409B26D6", "1D9D5C5018F728C2", "D1ABB290658BC778"},
    {"1C587F1C13924FEF", "305532286D6F295A", "55CB3774D13EF201"},
    {"0101010101010101", "0123456789ABCDEF", "FA34EC4847B268B2"},
    {"1F1F1F1F0E0E0E0E", "0123456789ABCDEF", "A790795108EA3CAE"},
    {"E0FEE0FEF1FEF1FE", "0123456789ABCDEF", "C39E072D9FAC631D"},
    {"0000000000000000", "FFFFFFFFFFFFFFFF", "014933E0CDAFF6E4"},
    {"FFFFFFFFFFFFFFFF", "0000000000000000", "F21E9A77B71C49BC"},
    {"0123456789ABCDEF", "0000000000000000", "245946885754369A"},
    {"FEDCBA9876543210", "FFFFFFFFFFFFFFFF", "6B5C5A9C5D9E0A5A"},
};
static_assert(std::size(kEcbVectors) == 34);

TEST(BlowfishTables, StartWithThePublishedPiWords) {
    using nocturo::blowfish::kPiP;
    using nocturo::blowfish::kPiS;
    EXPECT_EQ(kPiP[0], 0x243F6A88u);
    EXPECT_EQ(kPiP[1], 0x85A308D3u);
    EXPECT_EQ(kPiP[17], 0x8979FB1Bu);
    EXPECT_EQ(kPiS[0][0], 0xD1310BA6u);
    EXPECT_EQ(kPiS[1][0], 0x4B7A70E9u);
    EXPECT_EQ(kPiS[2][0], 0xE93D5A68u);
    EXPECT_EQ(kPiS[3][0], 0x3A39CE37u);
    EXPECT_EQ(kPiS[3][255], 0x3AC372E6u);
}

class EcbVector : public testing::TestWithParam<Vector> {};

TEST_P(EcbVector, EncryptsAndDecryptsTheBlock) {
    const Vector& v = GetParam();
    clsBlowfish bf;
    bf.Key(RawBytes(v.key));

    Block b = Words(v.plain);
    bf.EncryptBlock(b.left, b.right);
    const Block expected = Words(v.cipher);
    EXPECT_EQ(b.left, expected.left);
    EXPECT_EQ(b.right, expected.right);

    bf.DecryptBlock(b.left, b.right);
    const Block plain = Words(v.plain);
    EXPECT_EQ(b.left, plain.left);
    EXPECT_EQ(b.right, plain.right);
}

INSTANTIATE_TEST_SUITE_P(EricYoungSet, EcbVector, testing::ValuesIn(kEcbVectors),
                         [](const testing::TestParamInfo<Vector>& info) {
                             return "No" + std::to_string(info.index + 1) + "_" + info.param.key;
                         });

// The same set's variable-length keys: the first 1..24 bytes of one key on a
// fixed block; covers the cycling of short and long keys over the P-array.
TEST(BlowfishKey, KeysOfEveryLengthFromOneTo24Bytes) {
    const std::string key = RawBytes("F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677");
    const char* expected[24] = {
        "F9AD597C49DB005E", "E91D21C1D961A6D6", "E9C2B70A1BC65CF3", "BE1E639408640F05", "B39E44481BDB1E6E",
        "9457AA83B1928C0D", "8BB77032F960629D", "E87A244E2CC85E82", "15750E7A4F4EC577", "122BA70B3AB64AE0",
        "3A833C9AFFC537F6", "9409DA87A90F6BF2", "884F80625060B8B4", "1F85031C19E11968", "79D9373A714CA34F",
        "93142887EE3BE15C", "03429E838CE2D14B", "A4299E27469FF67B", "AFD5AED1C1BC96A8", "10851C0E3858DA9F",
        "E6F51ED79B9DB21F", "64A6E14AFD36B46F", "80C7D7D45A5479AD", "05044B62FA52D080",
    };
    for (std::size_t n = 1; n <= key.size(); ++n) {
        clsBlowfish bf;
        bf.Key(key.substr(0, n));
        Block b = Words("FEDCBA9876543210");
        bf.EncryptBlock(b.left, b.right);
        const Block want = Words(expected[n - 1]);
        EXPECT_EQ(b.left, want.left) << n << " key bytes";
        EXPECT_EQ(b.right, want.right) << n << " key bytes";
    }
}

Block EncipherZero(const clsBlowfish& bf) {
    Block b{0, 0};
    bf.EncryptBlock(b.left, b.right);
    return b;
}

bool operator==(const Block& a, const Block& b) { return a.left == b.left && a.right == b.right; }

TEST(BlowfishKey, SettingTheSameKeyAgainChangesNothing) {
    clsBlowfish once, twice;
    once.Key("secret");
    twice.Key("secret");
    twice.Key("secret");
    EXPECT_TRUE(EncipherZero(once) == EncipherZero(twice));
}

TEST(BlowfishKey, ASecondKeyIsScheduledOnTopOfTheFirst) {
    clsBlowfish layered, fresh;
    layered.Key("first");
    layered.Key("second");
    fresh.Key("second");
    EXPECT_FALSE(EncipherZero(layered) == EncipherZero(fresh));
}

TEST(BlowfishKey, EmptyKeyKeepsThePiTablesWhileAZeroKeyDoesNot) {
    clsBlowfish untouched, emptyKey, zeroKey;
    emptyKey.Key("");
    zeroKey.Key(std::string(8, '\0'));
    EXPECT_TRUE(EncipherZero(untouched) == EncipherZero(emptyKey));
    EXPECT_FALSE(EncipherZero(untouched) == EncipherZero(zeroKey));
}

TEST(BlowfishKey, ANulByteInsideTheKeyCounts) {
    clsBlowfish withNul, cutAtNul;
    withNul.Key(std::string("ab\0cd", 5));
    cutAtNul.Key("ab");
    EXPECT_FALSE(EncipherZero(withNul) == EncipherZero(cutAtNul));
}

TEST(BlowfishArithmetic, WrapsModulo2To32) {
    EXPECT_EQ(clsBlowfish::UnsignedAdd(0xFFFFFFFFu, 1u), 0u);
    EXPECT_EQ(clsBlowfish::UnsignedAdd(0x80000000u, 0x80000001u), 1u);
    EXPECT_EQ(clsBlowfish::UnsignedDel(0u, 1u), 0xFFFFFFFFu);
    EXPECT_EQ(clsBlowfish::UnsignedDel(0x12345678u, 0x12345679u), 0xFFFFFFFFu);
    EXPECT_EQ(clsBlowfish::UnsignedDel(clsBlowfish::UnsignedAdd(0xDEADBEEFu, 0xCAFEBABEu), 0xCAFEBABEu), 0xDEADBEEFu);
}

}  // namespace

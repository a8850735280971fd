#include <gtest/gtest.h>

#include "base/Variant.h"
#include "platform/Error.h"

using namespace nocturo;

namespace {
long errorNumber(const std::function<void()>& f) {
    try {
        f();
    } catch (const platform::Error& e) {
        return e.number();
    }
    return 0;
}
}  // namespace

TEST(Variant, ConversionsFollowTheClassicRules) {
    EXPECT_EQ(CInt(std::string("12")), 12);
    EXPECT_EQ(CInt(std::string(" 0021 ")), 21);
    EXPECT_EQ(CInt(2.5), 2);  // half to even
    EXPECT_EQ(CInt(3.5), 4);
    EXPECT_EQ(CLng(true), -1);
    EXPECT_EQ(CStr(true), "True");
    EXPECT_EQ(CStr(1000.0), "1000");
    EXPECT_EQ(CStr(std::int32_t{-1}), "-1");
    EXPECT_TRUE(CBool(std::int32_t{-1}));
    EXPECT_FALSE(CBool(std::string("0")));
}

TEST(Variant, BadTextIsATypeMismatchAndBigNumbersOverflow) {
    EXPECT_EQ(errorNumber([] { CInt(std::string("12\tx")); }), 13);
    EXPECT_EQ(errorNumber([] { CInt(std::string("")); }), 13);
    EXPECT_EQ(errorNumber([] { CInt(std::int32_t{40000}); }), 6);
    EXPECT_EQ(errorNumber([] { CLng(std::string("99999999999")); }), 6);
}

TEST(Variant, ValReadsTheLeadingNumberAndIsNumericTheWholeText) {
    EXPECT_EQ(Val("  42abc"), 42);
    EXPECT_EQ(Val("abc"), 0);
    EXPECT_TRUE(IsNumeric(" 9 "));
    EXPECT_FALSE(IsNumeric("9a"));
    EXPECT_FALSE(IsNumeric(""));
}

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "platform/common/Json.h"

using nocturo::platform::Json;
using nocturo::platform::JsonArray;
using nocturo::platform::JsonObject;
using nocturo::platform::JsonParseError;
using nocturo::platform::JsonTypeError;

namespace {

// Position of the parse failure of text, or {0,0} when it parses.
std::pair<std::size_t, std::size_t> FailurePosition(const std::string& text) {
    try {
        Json::parse(text);
    } catch (const JsonParseError& e) {
        return {e.line(), e.column()};
    }
    return {0, 0};
}

}  // namespace

TEST(JsonWrite, ScalarsAndIntegersStayIntegers) {
    EXPECT_EQ(Json().dump(), "null");
    EXPECT_EQ(Json(true).dump(), "true");
    EXPECT_EQ(Json(false).dump(), "false");
    EXPECT_EQ(Json(13).dump(), "13");
    EXPECT_EQ(Json(std::uint32_t{4294967295u}).dump(), "4294967295");
    EXPECT_EQ(Json(-7).dump(), "-7");
    EXPECT_EQ(Json(-0.0).dump(), "0");
    EXPECT_EQ(Json(9007199254740992.0).dump(), "9007199254740992");
    EXPECT_EQ(Json(std::int64_t{-9007199254740992}).dump(), "-9007199254740992");
    EXPECT_EQ(Json(0.5).dump(), "0.5");
    EXPECT_EQ(Json(0.1).dump(), "0.1");
    EXPECT_EQ(Json(1e300).dump(), "1e+300");
    EXPECT_EQ(Json(std::numeric_limits<double>::infinity()).dump(), "null");
    EXPECT_EQ(Json(std::nan("")).dump(), "null");
}

TEST(JsonWrite, ObjectsKeepInsertionOrderAndReplaceInPlace) {
    JsonObject o{{"call", "ExitWindowsEx"}, {"flags", 13}, {"reserved", 4294967295u}};
    EXPECT_EQ(Json(o).dump(), R"({"call":"ExitWindowsEx","flags":13,"reserved":4294967295})");
    o.set("flags", 9);
    o.set("extra", JsonArray{1, "two", nullptr});
    EXPECT_EQ(Json(o).dump(), R"({"call":"ExitWindowsEx","flags":9,"reserved":4294967295,"extra":[1,"two",null]})");
    EXPECT_TRUE(o.erase("reserved"));
    EXPECT_FALSE(o.erase("reserved"));
    EXPECT_EQ(o.keys(), (std::vector<std::string>{"call", "flags", "extra"}));
    EXPECT_EQ(Json(JsonObject{}).dump(), "{}");
    EXPECT_EQ(Json(JsonArray{}).dump(), "[]");
}

TEST(JsonWrite, EscapesQuotesBackslashesAndControlCharacters) {
    EXPECT_EQ(Json("a\"b\\c/d").dump(), R"("a\"b\\c/d")");
    EXPECT_EQ(Json("tab\there\nline\rcr\bbs\fff").dump(), R"("tab\there\nline\rcr\bbs\fff")");
    EXPECT_EQ(Json(std::string("nul\0x", 5)).dump(), R"("nul\u0000x")");
    EXPECT_EQ(Json("\x01\x1f\x7f").dump(), R"("\u0001\u001f\u007f")");
}

TEST(JsonWrite, Utf8IsPassedThroughAndBrokenBytesBecomeReplacementCharacters) {
    EXPECT_EQ(Json("Grüße € 😀").dump(), "\"Grüße € 😀\"");
    // A Latin-1 byte, a stray continuation byte, a truncated sequence and an
    // encoded surrogate are not UTF-8.
    EXPECT_EQ(Json("a\xE9z").dump(), "\"a\xEF\xBF\xBDz\"");
    EXPECT_EQ(Json("\x80").dump(), "\"\xEF\xBF\xBD\"");
    EXPECT_EQ(Json("\xE2\x82").dump(), "\"\xEF\xBF\xBD\xEF\xBF\xBD\"");
    EXPECT_EQ(Json("\xED\xA0\x80").dump(), "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"");
    // The result always parses again.
    EXPECT_NO_THROW(Json::parse(Json("\xC0\xAF\xFF").dump()));
}

TEST(JsonParse, RoundTripsNestedDocuments) {
    const std::string text =
        R"({"call":"StartProgram","program":"/usr/bin/true","arguments":["-a","b c",""],"windowStyle":1,)"
        R"("nested":{"empty":[],"obj":{},"t":true,"f":false,"n":null,"x":-1.25e-3}})";
    Json v = Json::parse(text);
    EXPECT_EQ(v.dump(), R"({"call":"StartProgram","program":"/usr/bin/true","arguments":["-a","b c",""],"windowStyle":1,)"
                        R"("nested":{"empty":[],"obj":{},"t":true,"f":false,"n":null,"x":-0.00125}})");
    EXPECT_EQ(Json::parse(v.dump()), v);
    EXPECT_EQ(v.asObject().at("arguments").asArray().size(), 3u);
    EXPECT_EQ(v.asObject().at("windowStyle").asInt64(), 1);
    EXPECT_EQ(v.asObject().at("nested").asObject().at("x").asNumber(), -0.00125);
}

TEST(JsonParse, AcceptsWhiteSpaceAndAllEscapes) {
    Json v = Json::parse(" \t\r\n [ 1 , \"\\\"\\\\\\/\\b\\f\\n\\r\\t\\u0041\\u00e9\\u20AC\\ud83d\\ude00\" ] \n");
    ASSERT_TRUE(v.isArray());
    EXPECT_EQ(v.asArray()[1].asString(), "\"\\/\b\f\n\r\tAé€😀");
}

TEST(JsonParse, NumbersAndIntegerExactness) {
    EXPECT_EQ(Json::parse("0").asInt64(), 0);
    EXPECT_EQ(Json::parse("-0").asNumber(), 0.0);
    EXPECT_EQ(Json::parse("4294967295").asInt64(), 4294967295);
    EXPECT_EQ(Json::parse("9007199254740993").dump(), "9007199254740992");  // beyond 2^53: nearest double
    EXPECT_TRUE(Json::parse("9007199254740992").isInteger());
    EXPECT_FALSE(Json::parse("18014398509481984").isInteger());
    EXPECT_TRUE(Json::parse("1E3").isInteger());
    EXPECT_EQ(Json::parse("1E3").dump(), "1000");
    EXPECT_EQ(Json::parse("2.50").dump(), "2.5");
    EXPECT_FALSE(Json::parse("2.5").isInteger());
    EXPECT_EQ(Json::parse("1e-400").asNumber(), 0.0);
    EXPECT_EQ(Json::parse("0.000000000000000000000000000000000000000000000000000000000000000000000000000000"
                          "00000000000000000000000000000000000000000000000000000000000000000000000000000000"
                          "00000000000000000000000000000000000000000000000000000000000000000000000000000000"
                          "00000000000000000000000000000000000000000000000000000000000000000000000000000000"
                          "0000000000000000000000000000000000000000000000000000000000000000000000000000001")
                  .asNumber(),
              0.0);
    EXPECT_THROW(Json::parse("1e400"), JsonParseError);
    EXPECT_THROW(Json::parse("-1e99999999999"), JsonParseError);
}

TEST(JsonParse, RejectsWhatStrictJsonForbids) {
    for (const char* bad : {"", " ", "[1,]", "{\"a\":1,}", "[01]", "[1.]", "[.5]", "[+1]", "[1e]", "[-]", "[0x10]",
                            "'x'", "[\"a\tb\"]", "[\"\\x41\"]", "[\"\\u12\"]", "[\"\\ud800\"]", "[\"\\udc00\"]",
                            "[\"\\ud800\\u0041\"]", "{a:1}", "{\"a\" 1}", "[1 2]", "tru", "nul", "[true false]",
                            "[NaN]", "[Infinity]", "1 2", "[1] x", "// c\n1", "[\"\xE9\"]", "\"abc", "[", "{"}) {
        EXPECT_THROW(Json::parse(bad), JsonParseError) << bad;
    }
}

TEST(JsonParse, ErrorsNameLineAndColumn) {
    EXPECT_EQ(FailurePosition("[1,\n  2,\n  ]"), std::make_pair(std::size_t{3}, std::size_t{3}));
    EXPECT_EQ(FailurePosition("{\"a\":1 \"b\":2}"), std::make_pair(std::size_t{1}, std::size_t{8}));
    try {
        Json::parse("[1, 02]");
        FAIL();
    } catch (const JsonParseError& e) {
        EXPECT_EQ(e.offset(), 5u);
        EXPECT_NE(std::string(e.what()).find("line 1, column 6"), std::string::npos) << e.what();
    }
}

TEST(JsonParse, DeepNestingFailsCleanly) {
    std::string deep(100000, '[');
    EXPECT_THROW(Json::parse(deep), JsonParseError);
    std::string ok = std::string(200, '[') + std::string(200, ']');
    EXPECT_NO_THROW(Json::parse(ok));
}

TEST(JsonParse, DuplicateKeysKeepTheFirstPositionAndTheLastValue) {
    EXPECT_EQ(Json::parse(R"({"a":1,"b":2,"a":3})").dump(), R"({"a":3,"b":2})");
}

TEST(JsonAccess, WrongTypeThrows) {
    Json n(5);
    EXPECT_THROW(n.asString(), JsonTypeError);
    EXPECT_THROW(Json("x").asNumber(), JsonTypeError);
    EXPECT_THROW(Json(2.5).asInt64(), JsonTypeError);
    EXPECT_THROW(Json().asArray(), JsonTypeError);
    EXPECT_THROW(Json(true).asObject(), JsonTypeError);
    EXPECT_THROW(JsonObject{}.at("missing"), std::out_of_range);
    EXPECT_EQ(JsonObject{}.find("missing"), nullptr);
}

TEST(JsonAccess, EqualityComparesStructure) {
    EXPECT_EQ(Json::parse(R"({"a":[1,2,{"b":null}]})"), Json(JsonObject{{"a", JsonArray{1, 2, JsonObject{{"b", nullptr}}}}}));
    EXPECT_NE(Json::parse(R"({"a":1,"b":2})"), Json::parse(R"({"b":2,"a":1})"));  // order is part of the value
    EXPECT_NE(Json(1), Json(true));
    EXPECT_NE(Json(""), Json());
}

// Hostile settings files: keys deeper or longer than the registry allows,
// and files whose size must not grow when written back.
#include <gtest/gtest.h>

#include <string>

#include "platform/Error.h"
#include "platform/common/RegStore.h"

using nocturo::platform::Error;
using nocturo::platform::RegParseError;
using nocturo::platform::RegStore;
using nocturo::platform::RegValue;
namespace reglimit = nocturo::platform::reglimit;

namespace {

const std::string kHeader = "Windows Registry Editor Version 5.00\n\n";

// "HKEY_CURRENT_USER\name\name..." with `levels` key names below the root.
std::string DeepPath(std::size_t levels, const std::string& name = "k") {
    std::string path = "HKEY_CURRENT_USER";
    path.reserve(path.size() + levels * (name.size() + 1));
    for (std::size_t i = 0; i < levels; ++i) path += "\\" + name;
    return path;
}

// The reason of the parse error, or "" when the text parses.
std::string ParseFailure(const std::string& text) {
    try {
        RegStore::parse(text);
    } catch (const RegParseError& e) {
        return e.reason();
    }
    return "";
}

std::string Repeat(const std::string& s, std::size_t n) {
    std::string out;
    for (std::size_t i = 0; i < n; ++i) out += s;
    return out;
}

}  // namespace

TEST(RegStoreLimits, KeyDepthAndNameLengthAsTheRegistryAllows) {
    struct Case {
        const char* what;
        std::string keyPath;
        bool accepted;
    };
    const Case cases[] = {
        {"512 levels", DeepPath(512), true},
        {"513 levels", DeepPath(513), false},
        {"a 255-character name", "HKEY_CURRENT_USER\\" + std::string(255, 'n'), true},
        {"a 256-character name", "HKEY_CURRENT_USER\\" + std::string(256, 'n'), false},
        // Characters, not bytes: 255 two-byte letters fit, 128 surrogate pairs do not.
        {"255 umlauts", "HKEY_CURRENT_USER\\" + Repeat("ä", 255), true},
        {"128 characters beyond the BMP", "HKEY_CURRENT_USER\\" + Repeat("𝄞", 128), false},
        {"512 levels of 255 characters", DeepPath(512, std::string(255, 'x')), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // In a file: a parse error, so the file is set aside as corrupt.
        const std::string file = kHeader + "[" + c.keyPath + "]\n\"v\"=\"1\"\n";
        EXPECT_EQ(ParseFailure(file).empty(), c.accepted) << ParseFailure(file);
        const std::string deletion = kHeader + "[-" + c.keyPath + "]\n";
        EXPECT_EQ(ParseFailure(deletion).empty(), c.accepted);
        // Written by the program: refused, and nothing half-created.
        RegStore s;
        if (c.accepted) {
            EXPECT_TRUE(s.writeString(c.keyPath + "\\v", "1"));
            EXPECT_EQ(s.read(c.keyPath + "\\v"), RegValue{std::string("1")});
            EXPECT_TRUE(RegStore::parse(s.exportFile()).sameTree(s));
        } else {
            EXPECT_THROW(s.writeString(c.keyPath + "\\v", "1"), Error);
            EXPECT_THROW(s.createKey(c.keyPath), Error);
            EXPECT_THROW(s.deleteKey(c.keyPath), Error);
            EXPECT_TRUE(s.empty());
            EXPECT_FALSE(s.exists(c.keyPath + "\\v"));
        }
    }
}

TEST(RegStoreLimits, ParseErrorsNameTheLimit) {
    EXPECT_NE(ParseFailure(kHeader + "[" + DeepPath(513) + "]\n").find("512 levels"), std::string::npos);
    EXPECT_NE(ParseFailure(kHeader + "[HKCU\\" + std::string(256, 'n') + "]\n").find("255 characters"),
              std::string::npos);
    try {
        RegStore::parse(kHeader + "[HKCU\\a]\n\n[" + DeepPath(600) + "]\n");
        FAIL() << "no error";
    } catch (const RegParseError& e) {
        EXPECT_EQ(e.line(), 5);
        EXPECT_LT(std::string(e.what()).size(), 200u);  // the key is shortened, not quoted whole
    }
}

TEST(RegStoreLimits, ValueNamesUpTo16383Characters) {
    const std::string key = "HKEY_CURRENT_USER\\V\\";
    RegStore s;
    EXPECT_TRUE(s.writeString(key + std::string(reglimit::ValueNameLength, 'v'), "1"));
    EXPECT_THROW(s.writeString(key + std::string(reglimit::ValueNameLength + 1, 'v'), "1"), Error);
    EXPECT_FALSE(ParseFailure(kHeader + "[" + key + "]\n\"" + std::string(16384, 'v') + "\"=\"1\"\n").empty());
    EXPECT_TRUE(RegStore::parse(s.exportFile()).sameTree(s));
}

TEST(RegStoreLimits, FiftyThousandLevelsAreRefusedWithoutCrashing) {
    // One line, 100 KB: once it took the whole stack.
    const std::string file = kHeader + "[" + DeepPath(50000) + "]\n\"v\"=\"1\"\n";
    EXPECT_THROW(RegStore::parse(file), RegParseError);
    // Sub-keys written one level at a time stop at the limit too.
    RegStore s;
    std::string path = "HKEY_CURRENT_USER";
    std::size_t levels = 0;
    for (; levels < 50000; ++levels) {
        try {
            s.createKey(path + "\\k");
        } catch (const Error&) {
            break;
        }
        path += "\\k";
    }
    EXPECT_EQ(levels, reglimit::KeyDepth);
    s.clear();  // a tree at the limit is taken apart without recursion, too
    EXPECT_TRUE(s.empty());
}

TEST(RegStoreLimits, WritingAFileKeepsItsSize) {
    struct Case {
        const char* what;
        std::string file;
    };
    std::string flat = kHeader;
    for (int i = 0; i < 20000; ++i) flat += "[HKEY_CURRENT_USER\\Flat\\key" + std::to_string(i) + "]\n\n";
    std::string values = kHeader + "[HKEY_CURRENT_USER\\Values]\n";
    for (int i = 0; i < 20000; ++i) values += "\"v" + std::to_string(i) + "\"=dword:0000002a\n";
    values += "\n";
    // A leaf at the deepest level with the longest names: each key on the
    // way would repeat the whole path, 64 MB in all.
    const std::string deep = kHeader + "[" + DeepPath(512, std::string(255, 'd')) + "]\n\"v\"=\"1\"\n\n";
    std::string chain = kHeader;  // the same depth, one line per key
    for (std::size_t i = 1; i <= 512; ++i) chain += "[" + DeepPath(i) + "]\n\n";
    const Case cases[] = {{"20,000 sibling keys", flat},
                          {"20,000 values", values},
                          {"one leaf 512 levels down", deep},
                          {"512 nested keys, each with its line", chain}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RegStore s = RegStore::parse(c.file);
        s.writeString("HKEY_CURRENT_USER\\Values\\set", "x");  // as `nocturoctl settings set` does
        const std::string text = s.serialize();
        // The file and one more value: nothing repeated along the way.
        EXPECT_GE(text.size(), c.file.size());
        EXPECT_LE(text.size(), c.file.size() + 64);
        EXPECT_LE(s.exportFile().size(), 4 * text.size());  // UTF-16 with CR LF
        EXPECT_TRUE(RegStore::parse(text).sameTree(s));
    }
}

TEST(RegStoreLimits, DeletingManyValuesAndKeysKeepsTheRest) {
    // Deletions take constant time each; what is left keeps its order.
    std::string file = kHeader + "[HKEY_CURRENT_USER\\D]\n";
    for (int i = 0; i < 20000; ++i) file += "\"v" + std::to_string(i) + "\"=\"x\"\n";
    for (int i = 0; i < 20000; i += 2) file += "\"v" + std::to_string(i) + "\"=-\n";
    for (int i = 0; i < 20000; ++i) file += "[HKEY_CURRENT_USER\\D\\k" + std::to_string(i) + "]\n";
    for (int i = 1; i < 20000; i += 2) file += "[-HKEY_CURRENT_USER\\D\\k" + std::to_string(i) + "]\n";
    const RegStore s = RegStore::parse(file);
    EXPECT_EQ(s.valueCount(), 10000u);
    const auto names = s.valueNames("HKCU\\D");
    ASSERT_EQ(names.size(), 10000u);
    EXPECT_EQ(names.front(), "v1");
    EXPECT_EQ(names.back(), "v19999");
    const auto keys = s.subKeyNames("HKCU\\D");
    ASSERT_EQ(keys.size(), 10000u);
    EXPECT_EQ(keys.front(), "k0");
    EXPECT_EQ(keys.back(), "k19998");
}

#include <gtest/gtest.h>

#include <string>

#include "platform/Error.h"
#include "platform/common/RegStore.h"

using nocturo::platform::Error;
using nocturo::platform::MemoryRegistry;
using nocturo::platform::RegData;
using nocturo::platform::RegParseError;
using nocturo::platform::RegStore;
using nocturo::platform::RegValue;
namespace regtype = nocturo::platform::regtype;

namespace {

const std::string kSettings = "HKEY_LOCAL_MACHINE\\Software\\Varn\\Nocturo\\ADMIN\\Settings\\";

std::u16string ToUtf16(const std::string& utf8) {
    std::u16string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        const int len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        char32_t cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
        for (int k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]) & 0x3F);
        i += static_cast<std::size_t>(len);
        if (cp >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string Utf16Le(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

int ParseErrorLine(const std::string& text) {
    try {
        RegStore::parse(text);
    } catch (const RegParseError& e) {
        return e.line();
    }
    return 0;
}

}  // namespace

TEST(RegStore, WritesAndReadsStringsAndNumbersWithTheirTypes) {
    RegStore s;
    EXPECT_TRUE(s.writeString(kSettings + "txtName", "00"));
    EXPECT_TRUE(s.writeDword(kSettings + "chkSound", 1));
    EXPECT_TRUE(s.writeDword(kSettings + "optMode", 0xFFFFFFFFu));
    EXPECT_EQ(s.read(kSettings + "txtName"), RegValue{std::string("00")});
    EXPECT_EQ(s.read(kSettings + "chkSound"), RegValue{1u});
    EXPECT_EQ(s.read(kSettings + "optMode"), RegValue{0xFFFFFFFFu});
    EXPECT_FALSE(s.read(kSettings + "missing"));
    EXPECT_FALSE(s.exists(kSettings + "missing"));
    // Writing the same value again changes nothing; a new type replaces the old.
    EXPECT_FALSE(s.writeDword(kSettings + "chkSound", 1));
    EXPECT_TRUE(s.writeString(kSettings + "chkSound", "1"));
    EXPECT_EQ(s.read(kSettings + "chkSound"), RegValue{std::string("1")});
}

TEST(RegStore, NamesIgnoreCaseAndKeepTheirFirstSpelling) {
    RegStore s;
    s.writeString("HKEY_CURRENT_USER\\Software\\MyKey\\Value", "a");
    s.writeString("hkey_current_user\\SOFTWARE\\mykey\\VALUE", "b");
    s.writeString("HKCU\\software\\Ärger\\x", "1");
    EXPECT_EQ(s.read("HKCU\\Software\\MYKEY\\value"), RegValue{std::string("b")});
    EXPECT_TRUE(s.exists("HKEY_CURRENT_USER\\SOFTWARE\\äRGER\\X"));
    EXPECT_EQ(s.subKeyNames("HKEY_CURRENT_USER\\software"), (std::vector<std::string>{"MyKey", "Ärger"}));
    EXPECT_EQ(s.valueNames("HKEY_CURRENT_USER\\Software\\MyKey"), std::vector<std::string>{"Value"});
    EXPECT_NE(s.serialize().find("[HKEY_CURRENT_USER\\Software\\MyKey]\n\"Value\"=\"b\"\n"), std::string::npos);
}

TEST(RegStore, DeletesValuesAndWholeKeysWithSubKeys) {
    RegStore s;
    s.writeString("HKCU\\A\\B\\C\\v", "1");
    s.writeString("HKCU\\A\\B\\w", "2");
    s.writeString("HKCU\\A\\keep", "3");
    EXPECT_TRUE(s.deleteValue("HKCU\\A\\B\\w"));
    EXPECT_FALSE(s.deleteValue("HKCU\\A\\B\\w"));          // already gone: not an error
    EXPECT_FALSE(s.deleteValue("HKCU\\No\\Such\\value"));
    EXPECT_TRUE(s.deleteKey("HKCU\\a\\b"));
    EXPECT_FALSE(s.keyExists("HKCU\\A\\B"));
    EXPECT_FALSE(s.exists("HKCU\\A\\B\\C\\v"));
    EXPECT_TRUE(s.exists("HKCU\\A\\keep"));
    EXPECT_FALSE(s.deleteKey("HKCU\\A\\B"));
    EXPECT_TRUE(s.createKey("HKCU\\A\\B\\"));
    EXPECT_TRUE(s.keyExists("HKCU\\A\\B"));
    EXPECT_FALSE(s.createKey("HKCU\\A\\B"));
    EXPECT_THROW(s.deleteKey("HKEY_CURRENT_USER"), Error);
}

TEST(RegStore, KeepsInsertionOrderAfterDeletes) {
    RegStore s;
    for (const char* n : {"c", "a", "b", "d"}) s.writeString(std::string("HKCU\\K\\") + n, n);
    s.deleteValue("HKCU\\K\\a");
    s.writeString("HKCU\\K\\e", "e");
    s.writeString("HKCU\\K\\B", "changed");
    EXPECT_EQ(s.valueNames("HKCU\\K"), (std::vector<std::string>{"c", "b", "d", "e"}));
    EXPECT_EQ(s.read("HKCU\\K\\d"), RegValue{std::string("d")});
}

TEST(RegStore, RejectsBadPathsOnWriteAndFindsNothingOnRead) {
    RegStore s;
    EXPECT_THROW(s.writeString("HKEY_NOWHERE\\a\\b", "x"), Error);
    EXPECT_THROW(s.writeString("chkSound", "x"), Error);
    EXPECT_THROW(s.writeString("HKCU\\a\\\\b\\v", "x"), Error);
    EXPECT_THROW(s.writeString("HKCU\\a\\bad\nkey\\v", "x"), Error);
    EXPECT_THROW(s.writeString(std::string("HKCU\\a\\nul\0name", 15), "x"), Error);
    try {
        s.writeDword("HKEY_NOWHERE\\a", 1);
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), nocturo::platform::err::RegistryInvalidRoot);
    }
    EXPECT_FALSE(s.exists("HKEY_NOWHERE\\a\\b"));
    EXPECT_FALSE(s.read("chkSound"));
    EXPECT_TRUE(s.empty());  // nothing half-created
}

TEST(RegStore, SerializesInTheExportFormat) {
    RegStore s;
    s.writeString(kSettings + "txtPath", "C:\\Program Files\\\"quoted\"");
    s.writeDword(kSettings + "chkSound", 1);
    s.writeDword(kSettings + "Top", 0xFFFFFFFFu);
    s.createKey("HKEY_LOCAL_MACHINE\\Software\\Varn\\Nocturo\\ADMIN\\Empty");
    s.createKey("HKEY_LOCAL_MACHINE\\Software\\Varn\\Listed");
    s.createKey("HKEY_LOCAL_MACHINE\\Software\\Varn\\Listed\\Below");
    // Keys on the way to another one need no line of their own: importing
    // a key creates its parents. A key created as such keeps its line.
    EXPECT_EQ(s.serialize(),
              "Windows Registry Editor Version 5.00\n"
              "\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Varn\\Nocturo\\ADMIN\\Settings]\n"
              "\"txtPath\"=\"C:\\\\Program Files\\\\\\\"quoted\\\"\"\n"
              "\"chkSound\"=dword:00000001\n"
              "\"Top\"=dword:ffffffff\n"
              "\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Varn\\Nocturo\\ADMIN\\Empty]\n\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Varn\\Listed]\n\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Varn\\Listed\\Below]\n\n");
    EXPECT_EQ(RegStore().serialize(), "Windows Registry Editor Version 5.00\n\n");
    // The file itself is what regedit writes: UTF-16LE, BOM, CR LF.
    EXPECT_EQ(RegStore().exportFile(), "\xFF\xFE" + Utf16Le(u"Windows Registry Editor Version 5.00\r\n\r\n"));
    EXPECT_EQ(s.exportFile(), "\xFF\xFE" + Utf16Le(ToUtf16(s.serialize("\r\n"))));
}

TEST(RegStore, RoundTripsEveryKindOfTextAsQuotedStrings) {
    RegStore s;
    struct Case {
        std::string text;
        std::string written;  // between the quotes
    };
    const Case cases[] = {
        {"", ""},
        {"plain", "plain"},
        {"back\\slash and \"quotes\" \\\"", "back\\\\slash and \\\"quotes\\\" \\\\\\\""},
        {"line one\r\nline two\n", "line one\\r\\nline two\\n"},
        {"tab\there", "tab\there"},
        {"Umlaute äöü ß – € 𝄞", "Umlaute äöü ß – € 𝄞"},
        {"trailing backslash\\", "trailing backslash\\\\"},
        {"literally \\n, not a line end", "literally \\\\n, not a line end"},
        {std::string(300, 'x') + "\n", std::string(300, 'x') + "\\n"},  // long texts stay on one line
    };
    int i = 0;
    for (const auto& c : cases) s.writeString("HKCU\\Texts\\v" + std::to_string(i++), c.text);
    s.writeString("HKCU\\Texts\\", "default value");
    const std::string file = s.serialize();
    EXPECT_EQ(file.find("hex(1)"), std::string::npos) << file;
    EXPECT_NE(file.find("@=\"default value\""), std::string::npos);
    i = 0;
    for (const auto& c : cases) {
        const std::string line = "\"v" + std::to_string(i++) + "\"=\"" + c.written + "\"\n";
        EXPECT_NE(file.find(line), std::string::npos) << line;
    }

    RegStore back = RegStore::parse(file);
    i = 0;
    for (const auto& c : cases) EXPECT_EQ(back.read("HKCU\\Texts\\v" + std::to_string(i++)), RegValue{c.text}) << i;
    EXPECT_EQ(back.read("HKCU\\Texts\\"), RegValue{std::string("default value")});
    EXPECT_TRUE(back.sameTree(s));
    EXPECT_EQ(back.serialize(), file);  // stable: the same tree gives the same file
    EXPECT_TRUE(RegStore::parse(s.exportFile()).sameTree(s));
}

TEST(RegStore, TextsEndAtTheirFirstNulAndMalformedUtf8IsReplaced) {
    RegStore s;
    s.writeString("HKCU\\T\\nul", std::string("embedded\0nul", 12));
    s.writeString("HKCU\\T\\bad", "a\xFF\xC3" "b");
    s.writeString("HKCU\\T\\n\xE9" "me", "x");  // Latin-1 by mistake
    EXPECT_EQ(s.read("HKCU\\T\\nul"), RegValue{std::string("embedded")});
    EXPECT_EQ(s.read("HKCU\\T\\bad"), RegValue{std::string("a\uFFFD\uFFFDb")});
    EXPECT_EQ(s.valueNames("HKCU\\T").back(), "n\uFFFDme");
    EXPECT_TRUE(s.exists("HKCU\\T\\n\xE9" "me"));  // looked up the same way
    EXPECT_TRUE(RegStore::parse(s.exportFile()).sameTree(s));
}

TEST(RegStore, ValueNamesMayHoldLineEndsAndQuotes) {
    RegStore s;
    s.writeString("HKCU\\N\\two\nlines \"quoted\"", "1");
    const std::string file = s.serialize();
    EXPECT_NE(file.find("\"two\\nlines \\\"quoted\\\"\"=\"1\""), std::string::npos) << file;
    EXPECT_EQ(RegStore::parse(file).read("HKCU\\N\\two\nlines \"quoted\""), RegValue{std::string("1")});
}

TEST(RegStore, ReadsRegeditExportsInUtf16AndUtf8WithBom) {
    const std::u16string text =
        u"Windows Registry Editor Version 5.00\r\n"
        u"\r\n"
        u"[HKEY_CURRENT_USER\\Control panel\\Desktop]\r\n"
        u"\"SCRNSAVE.EXE\"=\"C:\\\\Windows\\\\LockPcScr.scr\"\r\n"
        u"\"Wallpaper\"=\"Straße\"\r\n"
        u"\"Multi\"=hex(1):61,00,0d,00,0a,00,62,00,00,00\r\n"
        u"\"Path\"=hex(2):25,00,53,00,79,00,73,00,25,00,00,00\r\n"
        u"\"Blob\"=hex:01,02,ff\r\n"
        u"\"List\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
        u"\"Count\"=dword:0000002A\r\n";
    const std::string utf16 = std::string("\xFF\xFE") + Utf16Le(text);
    RegStore s = RegStore::parse(utf16);
    EXPECT_EQ(s.read("HKCU\\Control Panel\\desktop\\SCRNSAVE.EXE"), RegValue{std::string("C:\\Windows\\LockPcScr.scr")});
    EXPECT_EQ(s.read("HKCU\\Control panel\\Desktop\\Wallpaper"), RegValue{std::string("Straße")});
    EXPECT_EQ(s.read("HKCU\\Control panel\\Desktop\\Multi"), RegValue{std::string("a\r\nb")});
    EXPECT_EQ(s.read("HKCU\\Control panel\\Desktop\\Path"), RegValue{std::string("%Sys%")});
    EXPECT_EQ(s.read("HKCU\\Control panel\\Desktop\\Count"), RegValue{42u});
    // Types the program does not use are kept, and are not numbers or texts.
    EXPECT_TRUE(s.exists("HKCU\\Control panel\\Desktop\\Blob"));
    EXPECT_THROW(s.read("HKCU\\Control panel\\Desktop\\Blob"), Error);
    const std::string out = s.serialize();
    EXPECT_NE(out.find("\"Blob\"=hex:01,02,ff\n"), std::string::npos);
    EXPECT_NE(out.find("\"List\"=hex(7):61,00,00,00,62,00,00,00,00,00\n"), std::string::npos);
    EXPECT_NE(out.find("\"Path\"=hex(2):25,00,53,00,79,00,73,00,25,00,00,00\n"), std::string::npos);
    // A text in hex(1) form is written back as a quoted string.
    EXPECT_NE(out.find("\"Multi\"=\"a\\r\\nb\"\n"), std::string::npos) << out;

    RegStore fromUtf8 = RegStore::parse("\xEF\xBB\xBF" + s.serialize("\r\n"));
    EXPECT_EQ(fromUtf8.serialize(), out);
}

TEST(RegStore, ReadsContinuedHexLinesCommentsAndDeletions) {
    RegStore s = RegStore::parse(
        "Windows Registry Editor Version 5.00\n"
        "; a comment\n"
        "[HKEY_CURRENT_USER\\A]\n"
        "\"long\"=hex(1):41,00,42,00,\\\n"
        "  43,00,00,00\n"
        "\"gone\"=\"x\"\n"
        "\"gone\"=-\n"
        "  \"spaced\" = dword:7\n"
        "[HKEY_CURRENT_USER\\A\\Sub]\n"
        "\"v\"=\"1\"\n"
        "[-HKEY_CURRENT_USER\\A\\Sub]\n"
        "\"ignored\"=\"inside a deleted key\"\n");
    EXPECT_EQ(s.read("HKCU\\A\\long"), RegValue{std::string("ABC")});
    EXPECT_FALSE(s.exists("HKCU\\A\\gone"));
    EXPECT_EQ(s.read("HKCU\\A\\spaced"), RegValue{7u});
    EXPECT_FALSE(s.keyExists("HKCU\\A\\Sub"));
    EXPECT_EQ(s.valueCount(), 2u);
}

TEST(RegStore, EmptyFileIsAnEmptyStore) {
    EXPECT_TRUE(RegStore::parse("").empty());
    EXPECT_TRUE(RegStore::parse("\n  \n").empty());
    EXPECT_TRUE(RegStore::parse("REGEDIT4\n\n[HKEY_USERS\\x]\n").keyExists("HKEY_USERS\\x"));
}

TEST(RegStore, ParseErrorsNameTheLine) {
    const std::string h = "Windows Registry Editor Version 5.00\n\n";
    EXPECT_EQ(ParseErrorLine("not a registry file\n"), 1);
    EXPECT_EQ(ParseErrorLine("\n\nWindows Registry Editor\n"), 3);
    EXPECT_EQ(ParseErrorLine(h + "\"v\"=\"value before any key\"\n"), 3);
    EXPECT_EQ(ParseErrorLine(h + "[HKEY_CURRENT_USER\\A]\n\"v\"=\"unterminated\n"), 4);
    EXPECT_EQ(ParseErrorLine(h + "[HKEY_CURRENT_USER\\A]\n\"v\"=\"x\" trailing\n"), 4);
    EXPECT_EQ(ParseErrorLine(h + "[HKEY_CURRENT_USER\\A]\n\"v\"=dword:123456789\n"), 4);
    EXPECT_EQ(ParseErrorLine(h + "[HKEY_CURRENT_USER\\A]\n\"v\"=dword:xyz\n"), 4);
    EXPECT_EQ(ParseErrorLine(h + "[HKEY_CURRENT_USER\\A]\n\"v\"=word:1\n"), 4);
    EXPECT_EQ(ParseErrorLine(h + "[HKEY_NOWHERE\\A]\n"), 3);
    EXPECT_EQ(ParseErrorLine(h + "[HKEY_CURRENT_USER\\A\n"), 3);
    EXPECT_EQ(ParseErrorLine(h + "[HKEY_CURRENT_USER\\A]\n\"v\"=hex(1):41,00,\\\n  4g,00\n"), 5);
    EXPECT_EQ(ParseErrorLine(h + "[HKEY_CURRENT_USER\\A]\n\"v\"=hex(1):41,00,\\\n"), 4);
    EXPECT_EQ(ParseErrorLine(h + "[HKEY_CURRENT_USER\\A]\n\"v\"=hex(1):41\n"), 4);  // odd UTF-16
    EXPECT_EQ(ParseErrorLine(h + "[HKEY_CURRENT_USER\\A]\n\n\ngarbage\n"), 6);
    try {
        RegStore::parse(h + "[HKEY_CURRENT_USER\\A]\r\n\"v\"=dword:zz\r\n");
        FAIL() << "no error";
    } catch (const RegParseError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("line 4: ", 0), 0u) << e.what();
    }
}

TEST(MemoryRegistry, ImplementsTheRegistryInterface) {
    MemoryRegistry r;
    nocturo::platform::IRegistry& reg = r;
    reg.writeString(kSettings + "txtName", "x");
    reg.writeDword(kSettings + "chkSound", 0xFFFFFFFFu);
    EXPECT_TRUE(reg.exists(kSettings + "TXTNAME"));
    EXPECT_EQ(reg.read(kSettings + "chkSound"), RegValue{0xFFFFFFFFu});
    reg.deleteValue(kSettings + "txtName");
    reg.deleteValue(kSettings + "txtName");
    EXPECT_FALSE(reg.exists(kSettings + "txtName"));
    reg.deleteKey("HKEY_LOCAL_MACHINE\\Software\\Varn");
    EXPECT_FALSE(reg.exists(kSettings + "chkSound"));
    reg.createKey("HKCU\\New\\Key");
    EXPECT_TRUE(r.store().keyExists("HKEY_CURRENT_USER\\new\\key"));
    EXPECT_EQ(reg.storeId().rfind("memory:", 0), 0u);
    MemoryRegistry other;
    EXPECT_NE(reg.storeId(), other.storeId());
}

// The settings file in the form regedit exports and imports: files built
// byte by byte as regedit writes them (UTF-16LE with BOM, CR LF, hex values
// wrapped at 80 columns with two-blank continuation lines).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Error.h"
#include "platform/common/RegStore.h"

using nocturo::platform::Error;
using nocturo::platform::RegData;
using nocturo::platform::RegFileText;
using nocturo::platform::RegStore;
using nocturo::platform::RegValue;
namespace regtype = nocturo::platform::regtype;

namespace {

const std::string kSettings = "HKEY_LOCAL_MACHINE\\Software\\Varn\\Nocturo\\ADMIN\\Settings\\";

std::string Utf16LeWithBom(const std::u16string& s) {
    std::string out = "\xFF\xFE";
    for (char16_t c : s) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

// An export of HKEY_LOCAL_MACHINE\Software\Varn as regedit writes it.
const std::u16string kExport =
    u"Windows Registry Editor Version 5.00\r\n"
    u"\r\n"
    u"[HKEY_LOCAL_MACHINE\\Software\\Varn]\r\n"
    u"\r\n"
    u"[HKEY_LOCAL_MACHINE\\Software\\Varn\\Nocturo]\r\n"
    u"\r\n"
    u"[HKEY_LOCAL_MACHINE\\Software\\Varn\\Nocturo\\ADMIN]\r\n"
    u"\r\n"
    u"[HKEY_LOCAL_MACHINE\\Software\\Varn\\Nocturo\\ADMIN\\Settings]\r\n"
    u"\"txtHour\"=\"03\"\r\n"
    u"\"poption\"=\"P\u00e4sswort \u20ac\"\r\n"
    u"\"txtProgram\"=\"C:\\\\Program Files\\\\\\\"Nocturo\\\"\\\\run.exe\"\r\n"
    u"\"txtNote\"=\"line one\\nline two\"\r\n"
    u"\"optActions1\"=dword:ffffffff\r\n"
    u"\"chkSound\"=dword:00000001\r\n"
    u"\"ShellState\"=hex:24,00,00,00,30,28,00,00,00,00,00,00,00,00,00,00,00,00,00,00,\\\r\n"
    u"  01,00,00,00,13,00,00,00,00,00,00,00,72,00,00,00\r\n"
    u"\"Path\"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,74,\\\r\n"
    u"  00,25,00,5c,00,73,00,79,00,73,00,74,00,65,00,6d,00,33,00,32,00,00,00\r\n"
    u"\"Folders\"=hex(7):43,00,3a,00,5c,00,54,00,65,00,6d,00,70,00,00,00,44,00,3a,00,\\\r\n"
    u"  5c,00,44,00,61,00,74,00,65,00,6e,00,00,00,00,00\r\n"
    u"\"Stamp\"=hex(b):00,80,3e,d5,de,b1,9d,01\r\n"
    u"@=\"default\"\r\n"
    u"\r\n"
    u"[HKEY_LOCAL_MACHINE\\Software\\Varn\\Nocturo\\ADMIN\\Settings\\Long]\r\n"
    u"\"Blob\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\r\n"
    u"  16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,\\\r\n"
    u"  2f,30,31,32,33,34,35,36,37,38,39,3a,3b,3c,3d,3e,3f,40,41,42,43,44,45,46,47,\\\r\n"
    u"  48,49,4a,4b,4c,4d,4e,4f,50,51,52,53,54,55,56,57,58,59,5a,5b,5c,5d,5e,5f,60,\\\r\n"
    u"  61,62,63\r\n"
    u"\r\n";

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t pos = 0;
    for (std::size_t end; (end = text.find('\n', pos)) != std::string::npos; pos = end + 1)
        out.push_back(text.substr(pos, end - pos));
    if (pos < text.size()) out.push_back(text.substr(pos));
    return out;
}

std::string Bytes(std::initializer_list<int> bytes) {
    std::string out;
    for (int b : bytes) out += static_cast<char>(b);
    return out;
}

}  // namespace

TEST(RegStoreRegedit, ReadsAnExportWithEveryValueAsRegeditMeansIt) {
    const RegStore s = RegStore::parse(Utf16LeWithBom(kExport));
    EXPECT_EQ(s.read(kSettings + "txtHour"), RegValue{std::string("03")});
    EXPECT_EQ(s.read(kSettings + "poption"), RegValue{std::string("Pässwort €")});
    EXPECT_EQ(s.read(kSettings + "txtProgram"), RegValue{std::string("C:\\Program Files\\\"Nocturo\"\\run.exe")});
    EXPECT_EQ(s.read(kSettings + "txtNote"), RegValue{std::string("line one\nline two")});
    EXPECT_EQ(s.read(kSettings + "optActions1"), RegValue{0xFFFFFFFFu});
    EXPECT_EQ(s.read(kSettings + "Path"), RegValue{std::string("%SystemRoot%\\system32")});
    EXPECT_EQ(s.read(kSettings), RegValue{std::string("default")});

    struct Kept {
        std::string name;
        std::uint32_t type;
        std::string bytes;
    };
    const Kept kept[] = {
        {"ShellState", regtype::Binary,
         Bytes({0x24, 0, 0, 0, 0x30, 0x28, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                0x01, 0, 0, 0, 0x13, 0, 0, 0, 0, 0, 0, 0, 0x72, 0, 0, 0})},
        {"Folders", regtype::MultiString,
         Bytes({'C', 0, ':', 0, '\\', 0, 'T', 0, 'e', 0, 'm', 0, 'p', 0, 0, 0,
                'D', 0, ':', 0, '\\', 0, 'D', 0, 'a', 0, 't', 0, 'e', 0, 'n', 0, 0, 0, 0, 0})},
        {"Stamp", regtype::Qword, Bytes({0x00, 0x80, 0x3e, 0xd5, 0xde, 0xb1, 0x9d, 0x01})},
    };
    for (const auto& k : kept) {
        const RegData* d = s.find(kSettings + k.name);
        ASSERT_NE(d, nullptr) << k.name;
        EXPECT_EQ(d->type, k.type) << k.name;
        EXPECT_EQ(d->raw, k.bytes) << k.name;
        EXPECT_THROW(s.read(kSettings + k.name), Error) << k.name;  // neither text nor number
    }
    const RegData* blob = s.find(kSettings + "Long\\Blob");
    ASSERT_NE(blob, nullptr);
    ASSERT_EQ(blob->raw.size(), 100u);
    for (std::size_t i = 0; i < 100; ++i) EXPECT_EQ(static_cast<unsigned char>(blob->raw[i]), i);
}

TEST(RegStoreRegedit, WritesTheExportBackByteForByte) {
    const std::string file = Utf16LeWithBom(kExport);
    const RegStore s = RegStore::parse(file);
    EXPECT_EQ(s.exportFile(), file);
}

TEST(RegStoreRegedit, ASetChangesOnlyThatValuesLine) {
    const std::string before = RegFileText(Utf16LeWithBom(kExport));
    struct Case {
        std::string name;
        RegData data;
        std::string line;  // the value's line afterwards
    };
    const Case cases[] = {
        {"txtHour", RegData::String("04"), "\"txtHour\"=\"04\"\r"},
        {"poption", RegData::String("neu: \"€\"\\"), "\"poption\"=\"neu: \\\"€\\\"\\\\\"\r"},
        {"txtNote", RegData::String("a\nb"), "\"txtNote\"=\"a\\nb\"\r"},
        {"chkSound", RegData::Dword(0), "\"chkSound\"=dword:00000000\r"},
    };
    for (const auto& c : cases) {
        RegStore s = RegStore::parse(Utf16LeWithBom(kExport));
        ASSERT_TRUE(s.write(kSettings + c.name, c.data)) << c.name;
        const std::string after = RegFileText(s.exportFile());
        const auto a = Lines(before), b = Lines(after);
        ASSERT_EQ(a.size(), b.size()) << c.name;
        int changed = 0;
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (a[i] == b[i]) continue;
            ++changed;
            EXPECT_EQ(a[i].rfind("\"" + c.name + "\"=", 0), 0u) << a[i];
            EXPECT_EQ(b[i], c.line);
        }
        EXPECT_EQ(changed, 1) << c.name;
        // And read back, every other value is as it was.
        const RegStore back = RegStore::parse(s.exportFile());
        EXPECT_TRUE(back.sameTree(s)) << c.name;
    }

    // A new value is one line more, after the key's last value.
    RegStore s = RegStore::parse(Utf16LeWithBom(kExport));
    s.writeString(kSettings + "txtMinute", "30");
    const std::string after = RegFileText(s.exportFile());
    const std::string anchor = "\"Stamp\"=hex(b):00,80,3e,d5,de,b1,9d,01\r\n@=\"default\"\r\n";
    ASSERT_NE(before.find(anchor), std::string::npos);
    std::string expected = before;
    expected.insert(before.find(anchor) + anchor.size(), "\"txtMinute\"=\"30\"\r\n");
    EXPECT_EQ(after, expected);
}

TEST(RegStoreRegedit, ReadsTheSameExportInUtf8WithAndWithoutBomAndWithLf) {
    const RegStore reference = RegStore::parse(Utf16LeWithBom(kExport));
    const std::string crlf = RegFileText(Utf16LeWithBom(kExport));
    std::string lf;
    for (char c : crlf)
        if (c != '\r') lf += c;
    for (const std::string& text : {crlf, lf, "\xEF\xBB\xBF" + crlf, "\xEF\xBB\xBF" + lf}) {
        const RegStore s = RegStore::parse(text);
        EXPECT_TRUE(s.sameTree(reference));
        EXPECT_EQ(s.exportFile(), Utf16LeWithBom(kExport));
    }
}

TEST(RegStoreRegedit, AFileWithoutBomThatIsNotUtf8ReadsAsWindows1252) {
    // What a Windows editor saves as "ANSI", and regedit reads that way.
    const std::string ansi =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Varn\\Nocturo\\ADMIN\\Settings]\r\n"
        "\"poption\"=\"P\xE4sswort \x80\"\r\n"
        "\"quotes\"=\"\x84low\x93 \x96 \x81\"\r\n";
    const RegStore s = RegStore::parse(ansi);
    EXPECT_EQ(s.read(kSettings + "poption"), RegValue{std::string("Pässwort €")});
    EXPECT_EQ(s.read(kSettings + "quotes"), RegValue{std::string("„low“ – \u0081")});
}

TEST(RegStoreRegedit, Regedit4FilesHoldEightBitStrings) {
    const std::string text =
        "REGEDIT4\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Old]\r\n"
        "\"Name\"=hex(1):53,74,72,61,df,65,00\r\n"
        "\"Path\"=hex(2):25,80,25,00\r\n";
    const RegStore s = RegStore::parse(text);
    EXPECT_EQ(s.read("HKCU\\Software\\Old\\Name"), RegValue{std::string("Straße")});
    EXPECT_EQ(s.read("HKCU\\Software\\Old\\Path"), RegValue{std::string("%€%")});
    // Written as a version 5 file, the expandable string is UTF-16.
    EXPECT_EQ(s.find("HKCU\\Software\\Old\\Path")->raw, Bytes({0x25, 0, 0xAC, 0x20, 0x25, 0, 0, 0}));
}

TEST(RegStoreRegedit, QuotedStringEscapes) {
    struct Case {
        std::string inFile;  // between the quotes
        std::string text;
    };
    const Case cases[] = {
        {"a\\\\b", "a\\b"},
        {"say \\\"hi\\\"", "say \"hi\""},
        {"one\\ntwo", "one\ntwo"},
        {"cr\\rlf\\n", "cr\rlf\n"},
        {"C:\\Temp", "C:\\Temp"},      // a backslash before anything else stands for itself
        {"C:\\\\new", "C:\\new"},      // an escaped backslash before n is no line end
        {"tab\there", "tab\there"},
        {"nul\\0 is no escape", "nul\\0 is no escape"},
    };
    for (const auto& c : cases) {
        const std::string file =
            "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\E]\n\"v\"=\"" + c.inFile + "\"\n";
        const std::string& expected = c.text;
        RegStore s;
        ASSERT_NO_THROW(s = RegStore::parse(file)) << c.inFile;
        EXPECT_EQ(s.read("HKCU\\E\\v"), RegValue{expected}) << c.inFile;
        EXPECT_TRUE(RegStore::parse(s.exportFile()).sameTree(s)) << c.inFile;
    }
}

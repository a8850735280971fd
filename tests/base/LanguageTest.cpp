#include <gtest/gtest.h>

#include "base/Varn_Language.h"
#include "support/TestWorld.h"

using namespace nocturo;
using nocturo::test::TestWorld;

namespace {
const std::string kFile = "C:\\Program Files\\Nocturo\\Common\\language\\english.lng";
}

TEST(Language, EntriesAreIndexedByNumberAndTheTableGrowsToTheHighest) {
    TestWorld w;
    w.fs.addFile(kFile, "T0021\tHello\r\nT0005\tA\r\n");
    ASSERT_TRUE(set_language("english.lng"));
    EXPECT_EQ(LanguageTable().size(), 22u);
    EXPECT_EQ(LangText(21), "Hello");
    EXPECT_EQ(LangText(5), "A");
    EXPECT_EQ(LangText(6), "");
    EXPECT_EQ(LangText(500), "");
}

TEST(Language, LinesAreTrimmedAndNonTextLinesSkipped) {
    TestWorld w;
    w.fs.addFile(kFile,
                 "  T0100\t  spaced text  \n"
                 "t0001\tlower case t\n"
                 "T0002\t\n"
                 "T0003 no tab\n"
                 "# comment\n"
                 "\n"
                 "T0004\tfirst\n"
                 "T0004\tsecond\n");
    ASSERT_TRUE(set_language("english.lng"));
    EXPECT_EQ(LangText(100), "spaced text");
    EXPECT_EQ(LangText(1), "");
    EXPECT_EQ(LangText(2), "");
    EXPECT_EQ(LangText(3), "");
    EXPECT_EQ(LangText(4), "second");
}

TEST(Language, AMalformedIndexStopsTheReadingWithOneErrorEntryAndNoMessage) {
    TestWorld w;
    w.fs.addFile(kFile, "T0001\tok\nT21\tHello\n");
    EXPECT_FALSE(set_language("english.lng"));
    std::string log = w.errorLog();
    EXPECT_NE(log.find("set_language of Modul Varn_Language  2  13"), std::string::npos) << log;
    EXPECT_TRUE(w.dlg.shown.empty());
}

TEST(Language, ANegativeIndexIsAFailureToo) {
    TestWorld w;
    w.fs.addFile(kFile, "T-001\tminus\n");
    EXPECT_FALSE(set_language("english.lng"));
    EXPECT_NE(w.errorLog().find("set_language of Modul Varn_Language"), std::string::npos);
}

TEST(Language, AMissingFileNamesItselfInTheMessage) {
    TestWorld w;
    EXPECT_FALSE(set_language("klingon.lng"));
    ASSERT_EQ(w.dlg.shown.size(), 1u);
    EXPECT_EQ(w.dlg.shown[0].prompt,
              "The language file klingon.lng is missing!\nPlease install the Varn language package.\nThe program will be terminated now.");
    EXPECT_EQ(w.dlg.shown[0].title, "Nocturo");
    EXPECT_EQ(w.dlg.shown[0].style, 4096);
}

TEST(Language, ABigSortedFileIsReadInOnePass) {
    TestWorld w;
    std::string text;
    for (int i = 0; i < 9000; ++i) {
        char line[32];
        std::snprintf(line, sizeof line, "T%04d\ttext %d\n", i, i);
        text += line;
    }
    w.fs.addFile(kFile, text);
    ASSERT_TRUE(set_language("english.lng"));
    EXPECT_EQ(LanguageTable().size(), 9000u);
    EXPECT_EQ(LangText(8999), "text 8999");
}

TEST(Language, TheShippedEnglishFileDefinesEveryEntryTheProgramUses) {
    TestWorld w;
    const char* src = NOCTURO_SOURCE_DIR;
    FILE* f = std::fopen((std::string(src) + "/Common/language/english.lng").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    std::fclose(f);
    int line = 0;
    auto table = ParseLanguageText(text, line);
    for (int i : {16, 21, 22, 23, 42, 43, 44, 45, 46, 47, 48, 49, 52, 53, 54, 55, 56, 57, 127, 306}) {
        ASSERT_LT(static_cast<size_t>(i), table.size());
        EXPECT_FALSE(table[static_cast<size_t>(i)].empty()) << "entry " << i;
    }
}

#include <gtest/gtest.h>

#include "cleaner/Varn_Del2RecycleBin.h"
#include "base/Varn_File_Dir.h"
#include "support/TestWorld.h"

using namespace nocturo;
using nocturo::platform::PathStyle;
using nocturo::test::TestWorld;

TEST(FileDir, FixDirStringAddsExactlyOneSeparator) {
    TestWorld w;
    EXPECT_EQ(sFixDirString("C:\\temp"), "C:\\temp\\");
    EXPECT_EQ(sFixDirString("C:\\temp\\"), "C:\\temp\\");
    EXPECT_EQ(sFixDirString(""), "\\");
    EXPECT_EQ(sFixDirString("/tmp", PathStyle::Posix), "/tmp/");
    EXPECT_EQ(sFixDirString("", PathStyle::Posix), "/");
}

TEST(FileDir, ParseFileTakesTheNameAfterEitherSeparator) {
    EXPECT_EQ(sParseFile("C:\\a\\b.txt"), "b.txt");
    EXPECT_EQ(sParseFile("x/y/z.zip"), "z.zip");
    EXPECT_EQ(sParseFile("plain"), "plain");
    EXPECT_EQ(sParseFile("C:\\dir\\"), "");
}

TEST(FileDir, FileExistsSeesHiddenAndSystemFilesButNotFolders) {
    TestWorld w;
    w.fs.addFile("C:\\temp\\hidden.sys", "x", platform::attr::Hidden | platform::attr::System);
    w.fs.addFolder("C:\\temp\\sub");
    EXPECT_TRUE(FileExists("C:\\temp\\hidden.sys"));
    EXPECT_TRUE(FileExists("C:\\temp\\*.SYS"));
    EXPECT_FALSE(FileExists("C:\\temp\\sub"));
    EXPECT_FALSE(FileExists("C:\\temp\\missing.txt"));
}

TEST(FileDir, FileExistsTrimsTheCallersPathAndNeverLooksAtAFolderPath) {
    TestWorld w;
    w.fs.addFile("C:\\temp\\a.txt");
    std::string path = "  C:\\temp\\a.txt ";
    EXPECT_TRUE(FileExists(path));
    EXPECT_EQ(path, "C:\\temp\\a.txt");
    int before = w.fs.enumerations;
    std::string folder = "C:\\temp\\";
    EXPECT_FALSE(FileExists(folder));
    std::string empty = "   ";
    EXPECT_FALSE(FileExists(empty));
    EXPECT_EQ(w.fs.enumerations, before);
}

TEST(FileDir, FileExistsOfAMalformedPathIsFalseWithTwoErrorEntries) {
    TestWorld w;
    EXPECT_FALSE(FileExists("nodrive"));
    std::string log = w.errorLog();
    EXPECT_NE(log.find("FileExists of Modul Varn_File_Dir"), std::string::npos);
    EXPECT_NE(log.find("nodrive\t"), std::string::npos);
}

TEST(FileDir, CreateDirectoryStructBuildsTheChainInOrderAndNeverTheDrive) {
    TestWorld w;
    CreateDirectoryStruct("C:\\a\\b\\c");
    EXPECT_EQ(w.fs.created, (std::vector<std::string>{"C:\\a", "C:\\a\\b", "C:\\a\\b\\c"}));
    w.fs.created.clear();
    CreateDirectoryStruct("C:\\a\\b\\c\\");
    EXPECT_TRUE(w.fs.created.empty());
}

TEST(FileDir, CreateDirectoryStructOnAShareCreatesOnlyBelowTheShare) {
    TestWorld w;
    w.fs.addRoot("\\\\srv\\share");
    CreateDirectoryStruct("\\\\srv\\share\\x\\");
    EXPECT_EQ(w.fs.created, (std::vector<std::string>{"\\\\srv\\share\\x"}));
    EXPECT_TRUE(w.fs.folderExists("\\\\srv\\share\\x"));
}

TEST(FileDir, CreateDirectoryStructFailureIsLoggedWithThePath) {
    TestWorld w;
    w.fs.failCreateBelow("C:\\locked");
    CreateDirectoryStruct("C:\\locked\\deeper");
    std::string log = w.errorLog();
    EXPECT_NE(log.find("CreateDirectoryStruct of Modul Varn_File_Dir"), std::string::npos);
    EXPECT_NE(log.find("C:\\locked\\deeper\t"), std::string::npos);
}

TEST(FileDir, PosixPathsStartBelowTheRoot) {
    TestWorld w(PathStyle::Posix);
    CreateDirectoryStruct("/var/log/nocturo");
    EXPECT_EQ(w.fs.created, (std::vector<std::string>{"/var", "/var/log", "/var/log/nocturo"}));
}

TEST(SplitList, SplitsAtDelimitersAndKeepsEmptyItems) {
    std::string delims = ";";
    std::vector<std::string> list;
    EXPECT_EQ(SplitList("a;b;", delims, list), 1);
    EXPECT_EQ(list, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(SplitList("a;;b", delims, list), 2);
    EXPECT_EQ(list, (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(SplitList(";C:\\temp;", delims, list), 1);
    EXPECT_EQ(list, (std::vector<std::string>{"", "C:\\temp"}));
    EXPECT_EQ(SplitList(" a ;", delims, list), 0);
    EXPECT_EQ(list[0], " a ");
}

TEST(SplitList, EmptyTextOrALoneDelimiterHoldsNothing) {
    std::string delims = ";";
    std::vector<std::string> list;
    EXPECT_EQ(SplitList("", delims, list), -1);
    EXPECT_EQ(SplitList(";", delims, list), -1);
}

TEST(SplitList, EmptyDelimitersBecomeTheDefaultsInTheCallersVariable) {
    std::string delims;
    std::vector<std::string> list;
    EXPECT_EQ(SplitList("C:\\a;C:\\b", delims, list), 1);
    EXPECT_EQ(list, (std::vector<std::string>{"C:\\a", "C:\\b"}));
    EXPECT_EQ(delims, std::string(";\0\t\n\r", 5));
    EXPECT_EQ(SplitList("x\ty\nz", delims, list), 2);
}

TEST(RecycleBin, FailuresAreIgnoredSilently) {
    TestWorld w;
    w.fs.addFile("C:\\t\\a.tmp");
    Delete2RecycleBin("C:\\t\\a.tmp");
    Delete2RecycleBin("C:\\t\\missing.tmp");
    EXPECT_EQ(w.fs.recycled, (std::vector<std::string>{"C:\\t\\a.tmp"}));
    EXPECT_EQ(w.errorLog(), "");
}

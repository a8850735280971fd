#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "support/EnvOverride.h"
#include "platform/Error.h"
#include "platform/posix/PosixFileSystem.h"
#include "support/OrdinaryUser.h"
#include "support/TestSupport.h"

using nocturo::platform::DirEntry;
using nocturo::platform::Error;
using nocturo::platform::PercentEncodePath;
using nocturo::platform::PosixFileSystem;
using nocturo::test::EnvOverride;
using nocturo::test::ReadWholeFile;
using nocturo::test::TempDir;
using nocturo::test::WriteWholeFile;
namespace attr = nocturo::platform::attr;
namespace err = nocturo::platform::err;
namespace fs = std::filesystem;

namespace {

std::vector<DirEntry> List(PosixFileSystem& files, const std::string& pattern) {
    std::vector<DirEntry> out;
    auto e = files.enumerate(pattern);
    while (auto entry = e->next()) out.push_back(*entry);
    return out;
}

std::vector<std::string> Names(const std::vector<DirEntry>& entries) {
    std::vector<std::string> names;
    for (const auto& e : entries) names.push_back(e.name);
    return names;
}

std::map<std::string, DirEntry> ByName(const std::vector<DirEntry>& entries) {
    std::map<std::string, DirEntry> m;
    for (const auto& e : entries) m[e.name] = e;
    return m;
}

long ErrorNumber(const std::function<void()>& f) {
    try {
        f();
    } catch (const Error& e) {
        return e.number();
    }
    return 0;
}

// A folder with one of each kind of entry.
struct Tree {
    TempDir dir;
    Tree() {
        WriteWholeFile(dir / "a.txt", "12345");
        WriteWholeFile(dir / "Report.BAK", "");
        WriteWholeFile(dir / ".hidden", "h");
        fs::create_directory(dir / "sub");
        fs::create_symlink(dir / "a.txt", dir / "filelink");
        fs::create_directory_symlink(dir / "sub", dir / "dirlink");
        fs::create_symlink(dir / "nowhere", dir / "dangling");
    }
};

}  // namespace

TEST(PosixFileSystem, EnumerationReportsDotEntriesFirstAndMatchesLikeWindows) {
    Tree t;
    PosixFileSystem files;
    EXPECT_EQ(files.pathStyle(), nocturo::platform::PathStyle::Posix);
    EXPECT_EQ(files.separator(), '/');

    const auto all = List(files, t.dir / "*.*");
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(all[0].name, ".");
    EXPECT_EQ(all[1].name, "..");
    auto names = Names(all);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", ".hidden", "Report.BAK", "a.txt", "dangling", "dirlink",
                                                "filelink", "sub"}));
    const auto* noDots = "*.bak";
    EXPECT_EQ(Names(List(files, t.dir / noDots)), std::vector<std::string>{"Report.BAK"});
    EXPECT_EQ(Names(List(files, t.dir / "A.T?T")), std::vector<std::string>{"a.txt"});
    EXPECT_EQ(Names(List(files, t.dir / "A.TXT")), std::vector<std::string>{"a.txt"});  // no exact spelling
    EXPECT_EQ(Names(List(files, t.dir / "a.txt")), std::vector<std::string>{"a.txt"});
    EXPECT_EQ(Names(List(files, t.dir / "*.")).size(), 6u);  // names without a dot, "." and ".." too
    EXPECT_TRUE(List(files, t.dir / "*.zip").empty());
}

TEST(PosixFileSystem, EnumerationAttributesComeFromTheEntryNotTheLinkTarget) {
    Tree t;
    PosixFileSystem files;
    fs::permissions(t.dir / "Report.BAK", fs::perms::owner_read);
    const auto m = ByName(List(files, t.dir / "*"));
    EXPECT_EQ(m.at(".").attributes, attr::Directory);
    EXPECT_EQ(m.at("..").attributes & attr::Directory, attr::Directory);
    EXPECT_EQ(m.at("a.txt").attributes, attr::Archive);
    EXPECT_EQ(m.at("a.txt").size, 5u);
    EXPECT_EQ(m.at("Report.BAK").attributes, attr::Archive | attr::ReadOnly);
    EXPECT_EQ(m.at(".hidden").attributes, attr::Archive | attr::Hidden);
    EXPECT_EQ(m.at("sub").attributes, attr::Directory);
    EXPECT_EQ(m.at("sub").size, 0u);
    EXPECT_EQ(m.at("filelink").attributes, attr::ReparsePoint);
    EXPECT_EQ(m.at("filelink").size, (t.dir / "a.txt").size());  // the link's own size
    EXPECT_EQ(m.at("dirlink").attributes, attr::ReparsePoint | attr::Directory);
    EXPECT_EQ(m.at("dangling").attributes, attr::ReparsePoint);

    EXPECT_EQ(files.attributes(t.dir / "dirlink/"), attr::ReparsePoint | attr::Directory);
    EXPECT_EQ(files.attributes(t.dir / ".hidden"), attr::Archive | attr::Hidden);
    EXPECT_EQ(files.attributes(t.dir / "sub/."), attr::Directory);
    EXPECT_EQ(files.attributes(t.dir / "missing"), std::nullopt);
    EXPECT_EQ(files.attributes(t.dir / "a.txt/below"), std::nullopt);
    EXPECT_EQ(files.length(t.dir / "a.txt"), 5u);
    EXPECT_EQ(files.length(t.dir / "sub"), 0u);
    EXPECT_EQ(files.length(t.dir / "missing"), std::nullopt);
}

TEST(PosixFileSystem, EnumerationOfMissingRootAndCurrentFolders) {
    Tree t;
    PosixFileSystem files;
    EXPECT_TRUE(List(files, t.dir / "missing/*.*").empty());
    EXPECT_TRUE(List(files, t.dir / "a.txt/*.*").empty());
    EXPECT_TRUE(List(files, t.dir / "").empty());  // an empty wildcard matches nothing
    EXPECT_THROW(files.enumerate(""), Error);

    const auto root = Names(List(files, "/*.*"));
    EXPECT_FALSE(root.empty());
    EXPECT_EQ(std::count(root.begin(), root.end(), "."), 0);
    EXPECT_EQ(std::count(root.begin(), root.end(), ".."), 0);
    EXPECT_TRUE(List(files, "/.").empty());

    const auto cwd = fs::current_path();
    fs::current_path(t.dir.path());
    const auto here = Names(List(files, "*.txt"));
    fs::current_path(cwd);
    EXPECT_EQ(here, std::vector<std::string>{"a.txt"});
}

TEST(PosixFileSystem, EnumerationIsLazyOverALargeFolder) {
    TempDir dir;
    for (int i = 0; i < 3000; ++i) WriteWholeFile(dir / ("f" + std::to_string(i) + ".tmp"), "");
    WriteWholeFile(dir / "one.bak", "x");
    PosixFileSystem files;
    auto e = files.enumerate(dir / "*.tmp");
    int n = 0;
    while (e->next()) ++n;
    EXPECT_EQ(n, 3000);
    EXPECT_FALSE(e->next());  // stays at its end
    EXPECT_EQ(Names(List(files, dir / "*.bak")), std::vector<std::string>{"one.bak"});
}

TEST(PosixFileSystem, FolderExistsFollowsLinks) {
    Tree t;
    PosixFileSystem files;
    EXPECT_TRUE(files.folderExists(t.dir.path()));
    EXPECT_TRUE(files.folderExists(t.dir / "sub/"));
    EXPECT_TRUE(files.folderExists(t.dir / "dirlink"));
    EXPECT_FALSE(files.folderExists(t.dir / "a.txt"));
    EXPECT_FALSE(files.folderExists(t.dir / "missing"));
    EXPECT_FALSE(files.folderExists(""));
}

TEST(PosixFileSystem, CreateFolderReportsClassicErrors) {
    TempDir dir;
    PosixFileSystem files;
    files.createFolder(dir / "new");
    EXPECT_TRUE(fs::is_directory(dir / "new"));
    files.createFolder(dir / "new");  // already there: fine
    EXPECT_EQ(ErrorNumber([&] { files.createFolder(dir / "no/parent"); }), err::PathNotFound);
    WriteWholeFile(dir / "file", "");
    EXPECT_EQ(ErrorNumber([&] { files.createFolder(dir / "file"); }), err::PathFileAccess);
    EXPECT_EQ(ErrorNumber([&] { files.createFolder(dir / "file/below"); }), err::PathNotFound);
    if (geteuid() != 0) {
        fs::create_directory(dir / "locked");
        fs::permissions(dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_EQ(ErrorNumber([&] { files.createFolder(dir / "locked/x"); }), err::PermissionDenied);
        fs::permissions(dir / "locked", fs::perms::owner_all);
    }
}

TEST(PosixFileSystem, DeleteFileRemovesLinksNotTheirTargets) {
    Tree t;
    PosixFileSystem files;
    files.deleteFile(t.dir / "filelink");
    EXPECT_FALSE(fs::exists(fs::symlink_status(t.dir / "filelink")));
    EXPECT_EQ(ReadWholeFile(t.dir / "a.txt"), "12345");
    files.deleteFile(t.dir / "dirlink");
    EXPECT_TRUE(fs::is_directory(t.dir / "sub"));
    files.deleteFile(t.dir / "dangling");
    files.deleteFile(t.dir / "a.txt");
    EXPECT_FALSE(fs::exists(t.dir / "a.txt"));
    EXPECT_EQ(ErrorNumber([&] { files.deleteFile(t.dir / "a.txt"); }), err::FileNotFound);
    EXPECT_EQ(ErrorNumber([&] { files.deleteFile(t.dir / "sub"); }), err::PathFileAccess);
    EXPECT_TRUE(fs::is_directory(t.dir / "sub"));
    try {
        files.deleteFile(t.dir / "a.txt");
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("No such file or directory"), std::string::npos) << e.what();
    }
}

TEST(PosixFileSystem, ReadWriteAndAppendWholeFiles) {
    TempDir dir;
    PosixFileSystem files;
    const std::string path = dir / "log.txt";
    EXPECT_EQ(files.readFile(path), std::nullopt);
    EXPECT_EQ(files.readFile(dir / "missing/log.txt"), std::nullopt);
    files.appendFile(path, "one\n");
    files.appendFile(path, std::string("two\0\n", 5));
    EXPECT_EQ(files.readFile(path), std::string("one\ntwo\0\n", 9));
    files.writeFile(path, "new");
    EXPECT_EQ(files.readFile(path), "new");
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all, static_cast<fs::perms>(0644 & ~mask));
    EXPECT_EQ(ErrorNumber([&] { files.writeFile(dir / "missing/x", "y"); }), err::PathNotFound);
    EXPECT_EQ(ErrorNumber([&] { files.appendFile(dir.path(), "y"); }), err::PathFileAccess);
    EXPECT_THROW(files.readFile(dir.path()), Error);
}

TEST(PosixFileSystem, PercentEncodingForTrashInfo) {
    EXPECT_EQ(PercentEncodePath("/home/u/My File ü%.txt"), "/home/u/My%20File%20%C3%BC%25.txt");
    EXPECT_EQ(PercentEncodePath("a-b_c.d~e!f*g'h(i)"), "a-b_c.d~e!f*g'h(i)");
    EXPECT_EQ(PercentEncodePath("#?&=+;"), "%23%3F%26%3D%2B%3B");
}

TEST(PosixFileSystem, MoveToRecycleBinUsesTheHomeTrash) {
    TempDir dir;
    EnvOverride data("XDG_DATA_HOME", dir / "data");
    PosixFileSystem files;
    fs::create_directory(dir / "src");
    const std::string name = "my file ü.txt";
    const std::string trash = dir / "data/Trash";
    const std::regex info("\\[Trash Info\\]\nPath=(.*)\nDeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n");

    WriteWholeFile(dir / ("src/" + name), "first");
    files.moveToRecycleBin(dir / ("src/" + name));
    EXPECT_FALSE(fs::exists(dir / ("src/" + name)));
    EXPECT_EQ(ReadWholeFile(trash + "/files/" + name), "first");
    std::smatch m;
    const std::string text = ReadWholeFile(trash + "/info/" + name + ".trashinfo");
    ASSERT_TRUE(std::regex_match(text, m, info)) << text;
    const std::string real = fs::canonical(dir.path()).string();
    EXPECT_EQ(m[1].str(), PercentEncodePath(real) + "/src/my%20file%20%C3%BC.txt");
    EXPECT_EQ(fs::status(trash).permissions() & fs::perms::all, fs::perms::owner_all);

    // The same name again, and a name already taken by an entry without info.
    WriteWholeFile(dir / ("src/" + name), "second");
    files.moveToRecycleBin(dir / ("src/" + name));
    EXPECT_EQ(ReadWholeFile(trash + "/files/" + name + ".2"), "second");
    EXPECT_TRUE(fs::exists(trash + "/info/" + name + ".2.trashinfo"));
    WriteWholeFile(trash + "/files/" + name + ".3", "orphan");
    WriteWholeFile(dir / ("src/" + name), "third");
    files.moveToRecycleBin(dir / ("src/" + name));
    EXPECT_EQ(ReadWholeFile(trash + "/files/" + name + ".3"), "orphan");
    EXPECT_EQ(ReadWholeFile(trash + "/files/" + name + ".4"), "third");
    EXPECT_FALSE(fs::exists(trash + "/info/" + name + ".3.trashinfo"));

    // A relative path; a link goes as a link.
    fs::create_symlink(dir / "src/target", dir / "src/link");
    WriteWholeFile(dir / "src/target", "t");
    const auto cwd = fs::current_path();
    fs::current_path(dir / "src");
    files.moveToRecycleBin("link");
    fs::current_path(cwd);
    EXPECT_TRUE(fs::is_symlink(trash + "/files/link"));
    EXPECT_EQ(ReadWholeFile(dir / "src/target"), "t");
    const std::string linkInfo = ReadWholeFile(trash + "/info/link.trashinfo");
    ASSERT_TRUE(std::regex_match(linkInfo, m, info)) << linkInfo;
    EXPECT_EQ(m[1].str(), PercentEncodePath(real) + "/src/link");

    // Nothing to move: an error, and no info file left behind.
    const auto infos = std::distance(fs::directory_iterator(trash + "/info"), fs::directory_iterator{});
    EXPECT_EQ(ErrorNumber([&] { files.moveToRecycleBin(dir / "src/missing"); }), err::FileNotFound);
    EXPECT_EQ(std::distance(fs::directory_iterator(trash + "/info"), fs::directory_iterator{}), infos);
}

TEST(PosixFileSystem, MoveToRecycleBinRemovesTheInfoFileWhenTheMoveFails) {
    // As an ordinary user: root may move files out of read-only folders.
    TempDir dir;
    fs::create_directory(dir / "ro");
    WriteWholeFile(dir / "ro/stuck.txt", "x");
    fs::create_directories(dir / "data");
    auto outcome = nocturo::test::RunAsOrdinaryUser(dir.path(), [&] {
        setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
        fs::permissions(dir / "ro", fs::perms::owner_read | fs::perms::owner_exec);
        PosixFileSystem files;
        files.moveToRecycleBin(dir / "ro/stuck.txt");
    });
    ASSERT_TRUE(outcome) << "no ordinary user to run as";
    fs::permissions(dir / "ro", fs::perms::owner_all);
    EXPECT_TRUE(outcome->threw);
    EXPECT_EQ(outcome->number, err::PermissionDenied) << outcome->message;
    EXPECT_TRUE(fs::exists(dir / "ro/stuck.txt"));
    EXPECT_FALSE(fs::exists(dir / "data/Trash/info/stuck.txt.trashinfo"));
}

TEST(PosixFileSystem, MoveToRecycleBinOnAnotherDeviceUsesThatMountsTrash) {
    // /dev/shm is its own mount on most systems; the home trash is set to a
    // folder on the temp folder's device.
    TempDir dir;
    struct stat shm {}, tmp {};
    if (stat("/dev/shm", &shm) != 0 || stat(dir.path().c_str(), &tmp) != 0 || shm.st_dev == tmp.st_dev)
        GTEST_SKIP() << "no separate /dev/shm mount";
    struct stat root {};
    if (stat("/dev", &root) != 0 || root.st_dev == shm.st_dev) GTEST_SKIP() << "/dev/shm is not a mount's top";
    const std::string own = "/dev/shm/.Trash-" + std::to_string(geteuid());
    struct stat sharedTrash {};
    if (lstat("/dev/shm/.Trash", &sharedTrash) == 0) GTEST_SKIP() << "/dev/shm has a shared trash";
    if (fs::exists(fs::symlink_status(own))) GTEST_SKIP() << own << " exists already";

    EnvOverride data("XDG_DATA_HOME", dir / "data");
    char folder[] = "/dev/shm/nocturo-test-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string name = std::string(folder).substr(9) + "/gone file";
    WriteWholeFile(std::string(folder) + "/gone file", "x");
    PosixFileSystem files;
    files.moveToRecycleBin(std::string(folder) + "/gone file");

    const std::string stored = own + "/files/gone file";
    const std::string info = ReadWholeFile(own + "/info/gone file.trashinfo");
    const bool moved = fs::exists(stored);
    fs::remove_all(folder);
    fs::remove_all(own);
    EXPECT_TRUE(moved);
    EXPECT_FALSE(fs::exists(dir / "data/Trash"));
    EXPECT_EQ(info.rfind("[Trash Info]\nPath=" + PercentEncodePath(name) + "\nDeletionDate=", 0), 0u) << info;
}

TEST(PosixFileSystemNames, NamesOnlyEnumerationGivesTheSameEntriesAndKinds) {
    TempDir dir;
    PosixFileSystem files;
    std::filesystem::create_directories(dir / "sub");
    std::ofstream(dir / "a.bak") << "x";
    std::ofstream(dir / ".hidden.bak") << "x";
    std::filesystem::create_directory_symlink(dir / "sub", dir / "link.bak");
    std::map<std::string, std::uint32_t> full, names;
    for (auto e = files.enumerate(dir / "*.*"); auto x = e->next();) full[x->name] = x->attributes;
    for (auto e = files.enumerateNames(dir / "*.*"); auto x = e->next();) names[x->name] = x->attributes;
    ASSERT_EQ(full.size(), names.size());
    const std::uint32_t kind = attr::Directory | attr::ReparsePoint | attr::Hidden;
    for (const auto& [name, attributes] : full) {
        ASSERT_TRUE(names.count(name)) << name;
        if (name == "link.bak") {
            EXPECT_TRUE(names[name] & attr::ReparsePoint);  // a link is never taken for a folder to walk into
            continue;
        }
        EXPECT_EQ(names[name] & kind, attributes & kind) << name;
    }
}

// The program's own files are read and written without ever waiting: a
// FIFO, a device or an over-size file in their place is refused at once.
TEST(PosixFileSystem, OwnFilesThatAreNoRegularFilesAreRefusedWithoutWaiting) {
    TempDir dir;
    PosixFileSystem fs;
    const std::string fifo = dir / "fifo", zero = dir / "zero", big = dir / "big", good = dir / "link";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", zero);
    WriteWholeFile(big, "");
    std::filesystem::resize_file(big, (8u << 20) + 1);
    WriteWholeFile(dir / "text", "words");
    std::filesystem::create_symlink(dir / "text", good);
    alarm(60);  // a call that waits would otherwise never end
    for (const auto& [path, says] : std::vector<std::pair<std::string, std::string>>{
             {fifo, "it is a FIFO, not a regular file"},
             {zero, "it is a device, not a regular file"},
             {big, "it is larger than 8 MiB"},
             {dir.path(), "it is a folder, not a regular file"}}) {
        SCOPED_TRACE(path);
        try {
            fs.readFile(path);
            ADD_FAILURE() << "read";
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(path + ": " + says), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(fs.readFile(good), "words");  // a link to a regular file is followed
    EXPECT_EQ(fs.readFile(dir / "none"), std::nullopt);
    // A FIFO without a reader as a log: the append fails, it does not wait.
    EXPECT_THROW(fs.appendFile(fifo, "line\n"), Error);
    alarm(0);
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
}

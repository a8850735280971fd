// Files and folders on Windows, on real temporary trees (wine's file system
// under wine). The recycle bin and the recent documents go through recorders,
// except for one real move of a temporary file to the bin.
#include <gtest/gtest.h>

#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/WinText.h"

namespace {

using namespace nocturo::platform;
using namespace nocturo::platform::win32;

// Removes a tree without following links, read-only entries included.
void removeEntry(const std::wstring& path, DWORD a) {
    if (a & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(path.c_str(), a & ~DWORD{FILE_ATTRIBUTE_READONLY});
    if ((a & FILE_ATTRIBUTE_DIRECTORY) && !(a & FILE_ATTRIBUTE_REPARSE_POINT)) {
        WIN32_FIND_DATAW d{};
        HANDLE f = FindFirstFileExW((path + L"\\*").c_str(), FindExInfoBasic, &d, FindExSearchNameMatch, nullptr,
                                    FIND_FIRST_EX_LARGE_FETCH);
        if (f != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = d.cFileName;
                if (name != L"." && name != L"..") removeEntry(path + L"\\" + name, d.dwFileAttributes);
            } while (FindNextFileW(f, &d));
            FindClose(f);
        }
    }
    if (a & FILE_ATTRIBUTE_DIRECTORY) RemoveDirectoryW(path.c_str());
    else DeleteFileW(path.c_str());
}

void removeTree(const std::wstring& path) {
    const DWORD a = GetFileAttributesW(path.c_str());
    if (a != INVALID_FILE_ATTRIBUTES) removeEntry(path, a);
}

// A fresh folder below GetTempPathW, with backslashes, removed at the end.
class Tree {
public:
    Tree() {
        wchar_t temp[MAX_PATH + 1];
        const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
        std::random_device seed;
        root_ = std::wstring(temp, n) + L"nocturo-fs-" + std::to_wstring(seed()) + L"-" +
                std::to_wstring(GetCurrentProcessId());
        if (!CreateDirectoryW(root_.c_str(), nullptr)) throw std::runtime_error("cannot create the test folder");
        path_ = Narrow(root_);
    }
    ~Tree() { removeTree(root_); }
    Tree(const Tree&) = delete;
    Tree& operator=(const Tree&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }
    std::wstring wide(const std::string& name) const { return Widen(*this / name); }

    void file(const std::string& name, const std::string& bytes = "") const {
        HANDLE h = CreateFileW(wide(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << name;
        DWORD written = 0;
        if (!bytes.empty()) WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(h);
    }
    void folder(const std::string& name) const { ASSERT_TRUE(CreateDirectoryW(wide(name).c_str(), nullptr)) << name; }
    bool exists(const std::string& name) const { return GetFileAttributesW(wide(name).c_str()) != INVALID_FILE_ATTRIBUTES; }

private:
    std::wstring root_;
    std::string path_;
};

std::vector<std::string> names(IDirEnumerator& e) {
    std::vector<std::string> out;
    while (auto d = e.next()) out.push_back(d->name);
    return out;
}

std::set<std::string> nameSet(IDirEnumerator& e) {
    auto v = names(e);
    return {v.begin(), v.end()};
}

// Makes folder a junction (a mount point) to target; false where the system
// cannot.
bool makeJunction(const std::wstring& folder, const std::wstring& target) {
    HANDLE h = CreateFileW(folder.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const std::wstring substitute = L"\\??\\" + target;
    std::vector<BYTE> buffer(1024, 0);
    struct MountPoint {
        DWORD tag;
        WORD dataLength, reserved;
        WORD substituteOffset, substituteLength, printOffset, printLength;
        WCHAR path[1];
    };
    auto* m = reinterpret_cast<MountPoint*>(buffer.data());
    m->tag = IO_REPARSE_TAG_MOUNT_POINT;
    const WORD subBytes = static_cast<WORD>(substitute.size() * sizeof(wchar_t));
    const WORD printBytes = static_cast<WORD>(target.size() * sizeof(wchar_t));
    m->substituteOffset = 0;
    m->substituteLength = subBytes;
    m->printOffset = static_cast<WORD>(subBytes + sizeof(wchar_t));
    m->printLength = printBytes;
    std::copy(substitute.begin(), substitute.end(), m->path);
    std::copy(target.begin(), target.end(), m->path + substitute.size() + 1);
    m->dataLength = static_cast<WORD>(8 + subBytes + printBytes + 2 * sizeof(wchar_t));
    DWORD returned = 0;
    const BOOL ok = DeviceIoControl(h, FSCTL_SET_REPARSE_POINT, buffer.data(), m->dataLength + 8, nullptr, 0,
                                    &returned, nullptr);
    CloseHandle(h);
    return ok && (GetFileAttributesW(folder.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
}

// ---- listing -----------------------------------------------------------------------

struct WildcardCase {
    const char* wildcard;
    std::set<std::string> expected;
};

TEST(Win32FileSystem, WildcardsMatchAsTheProgramExpects) {
    Tree t;
    for (const char* n : {"a.txt", "b.TXT", "noext", "x.tar.gz", "with space.log", "Ünïcødé ☃.txt", "page.html"})
        t.file(n);
    t.folder("sub");
    Win32FileSystem fs;
    const std::set<std::string> all = {".", "..", "a.txt", "b.TXT", "noext", "x.tar.gz", "with space.log",
                                       "Ünïcødé ☃.txt", "page.html", "sub"};
    const std::vector<WildcardCase> cases = {
        {"*", all},
        {"*.*", all},
        {"*.txt", {"a.txt", "b.TXT", "Ünïcødé ☃.txt"}},
        {"*.TXT", {"a.txt", "b.TXT", "Ünïcødé ☃.txt"}},
        {"?.txt", {"a.txt", "b.TXT"}},
        {"*.htm", {}},  // the system's matcher would take "page.html" by its short name
        {"*.gz", {"x.tar.gz"}},
        {"*.tar", {}},
        {"noext.", {"noext"}},
        {"A.TXT", {"a.txt"}},
        {"with *", {"with space.log"}},
        {"Ünïcødé*", {"Ünïcødé ☃.txt"}},
        {"*☃*", {"Ünïcødé ☃.txt"}},
        {"missing.txt", {}},
        {"s?b", {"sub"}},
        {".", {"."}},
        {"..", {".."}},
    };
    for (const auto& c : cases) {
        auto e = fs.enumerate(t / c.wildcard);
        EXPECT_EQ(nameSet(*e), c.expected) << c.wildcard;
        auto n = fs.enumerateNames(t.path() + "/" + c.wildcard);  // forward slash too
        EXPECT_EQ(nameSet(*n), c.expected) << c.wildcard;
    }
}

TEST(Win32FileSystem, DotsComeFirstInAFolderAndNeverInARoot) {
    Tree t;
    t.file("a");
    Win32FileSystem fs;
    auto list = names(*fs.enumerate(t / "*"));
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0], ".");
    EXPECT_EQ(list[1], "..");
    auto dot = fs.enumerate(t / "*")->next();
    ASSERT_TRUE(dot);
    EXPECT_EQ(dot->kind, EntryKind::Folder);
    EXPECT_TRUE(dot->attributes & attr::Directory);

    for (const char* root : {"C:\\*", "C:/*"}) {
        const auto rootNames = names(*fs.enumerate(root));
        EXPECT_FALSE(rootNames.empty()) << root;
        EXPECT_EQ(std::count(rootNames.begin(), rootNames.end(), "."), 0) << root;
        EXPECT_EQ(std::count(rootNames.begin(), rootNames.end(), ".."), 0) << root;
    }
}

TEST(Win32FileSystem, EntriesCarryAttributesSizesAndKinds) {
    Tree t;
    t.file("hidden.txt", "12345");
    t.file("readonly.txt", "x");
    t.folder("sub");
    ASSERT_TRUE(SetFileAttributesW(t.wide("hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(SetFileAttributesW(t.wide("readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    Win32FileSystem fs;
    auto e = fs.enumerate(t / "*");
    int seen = 0;
    while (auto d = e->next()) {
        if (d->name == "hidden.txt") {
            ++seen;
            EXPECT_TRUE(d->attributes & attr::Hidden);
            EXPECT_FALSE(d->attributes & attr::ReadOnly);
            EXPECT_EQ(d->size, 5u);
            EXPECT_EQ(d->kind, EntryKind::File);
        } else if (d->name == "readonly.txt") {
            ++seen;
            EXPECT_TRUE(d->attributes & attr::ReadOnly);
            EXPECT_EQ(d->kind, EntryKind::File);
        } else if (d->name == "sub") {
            ++seen;
            EXPECT_TRUE(d->attributes & attr::Directory);
            EXPECT_EQ(d->kind, EntryKind::Folder);
            EXPECT_EQ(d->size, 0u);
        }
    }
    EXPECT_EQ(seen, 3);
    EXPECT_EQ(fs.attributes(t / "hidden.txt").value_or(0) & attr::Hidden, attr::Hidden);
    EXPECT_EQ(fs.attributes(t / "readonly.txt").value_or(0) & attr::ReadOnly, attr::ReadOnly);
    EXPECT_EQ(fs.attributes(t / "sub\\").value_or(0) & attr::Directory, attr::Directory);
    EXPECT_EQ(fs.length(t / "hidden.txt"), 5u);
    EXPECT_EQ(fs.length(t / "sub"), 0u);
    EXPECT_FALSE(fs.attributes(t / "missing"));
    EXPECT_FALSE(fs.attributes(t / "missing\\deeper"));
    EXPECT_FALSE(fs.length(t / "missing"));
    EXPECT_FALSE(fs.attributes(""));
    EXPECT_TRUE(fs.folderExists(t.path()));
    EXPECT_TRUE(fs.folderExists(t / "sub"));
    EXPECT_FALSE(fs.folderExists(t / "hidden.txt"));
    EXPECT_FALSE(fs.folderExists(t / "missing"));
    SetFileAttributesW(t.wide("readonly.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(Win32FileSystem, AMissingFolderListsNothingAndABadPatternThrows) {
    Tree t;
    Win32FileSystem fs;
    EXPECT_EQ(fs.enumerate(t / "missing\\*")->next(), std::nullopt);
    EXPECT_EQ(fs.enumerate(t / "missing\\*.txt")->next(), std::nullopt);
    EXPECT_EQ(fs.enumerate(t / "")->next(), std::nullopt);  // no wildcard: nothing
    EXPECT_THROW(fs.enumerate(""), Error);
    // A drive letter the system does not have.
    std::string free;
    for (char letter = 'Y'; letter >= 'H'; --letter) {
        const wchar_t root[] = {static_cast<wchar_t>(letter), L':', L'\\', 0};
        if (GetDriveTypeW(root) == DRIVE_NO_ROOT_DIR) {
            free = std::string(1, letter);
            break;
        }
    }
    ASSERT_FALSE(free.empty());
    try {
        fs.enumerate(free + ":\\temp\\*.bak");
        FAIL() << "no error for drive " << free;
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::PathNotFound);
        EXPECT_NE(std::string(e.what()).find(free + ":"), std::string::npos) << e.what();
    }
    EXPECT_THROW(fs.enumerate("1:\\*"), Error);
}

TEST(Win32FileSystem, AListingOfFiveThousandFilesIsComplete) {
    Tree t;
    for (int i = 0; i < 5000; ++i) t.file("f" + std::to_string(i) + ".dat");
    t.file("other.txt");
    Win32FileSystem fs;
    auto e = fs.enumerate(t / "*.dat");
    std::set<std::string> seen;
    std::size_t count = 0;
    while (auto d = e->next()) {
        ++count;
        seen.insert(d->name);
    }
    EXPECT_EQ(count, 5000u);
    EXPECT_EQ(seen.size(), 5000u);
    EXPECT_TRUE(seen.count("f0.dat") && seen.count("f4999.dat"));
    EXPECT_FALSE(seen.count("other.txt"));
}

TEST(Win32FileSystem, EveryReparsePointIsALinkFromTheListing) {
    WIN32_FIND_DATAW d{};
    wcscpy(d.cFileName, L"Ünï");
    d.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_HIDDEN;
    d.dwReserved0 = IO_REPARSE_TAG_MOUNT_POINT;
    d.nFileSizeLow = 77;
    DirEntry e = EntryFromFindData(d);
    EXPECT_EQ(e.name, "Ünï");
    EXPECT_EQ(e.kind, EntryKind::Link);
    EXPECT_EQ(e.attributes, d.dwFileAttributes);  // bits as the system gives them
    EXPECT_EQ(e.size, 0u);
    d.dwFileAttributes = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_ARCHIVE;  // a file symlink
    d.nFileSizeHigh = 1;
    e = EntryFromFindData(d);
    EXPECT_EQ(e.kind, EntryKind::Link);
    EXPECT_EQ(e.size, (1ull << 32) + 77);
    struct {
        DWORD attributes;
        EntryKind kind;
    } const kinds[] = {
        {FILE_ATTRIBUTE_ARCHIVE, EntryKind::File},
        {FILE_ATTRIBUTE_NORMAL, EntryKind::File},
        {FILE_ATTRIBUTE_DIRECTORY, EntryKind::Folder},
        {FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_SYSTEM, EntryKind::Folder},
        {FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, EntryKind::Link},
        {FILE_ATTRIBUTE_REPARSE_POINT, EntryKind::Link},
        {FILE_ATTRIBUTE_DEVICE, EntryKind::Other},
    };
    for (const auto& k : kinds) EXPECT_EQ(KindOfAttributes(k.attributes), k.kind) << k.attributes;
}

TEST(Win32FileSystem, AJunctionIsNeverEnteredAndIsDeletedAsItself) {
    Tree t;
    t.folder("target");
    t.file("target\\keep.txt", "keep");
    t.folder("link");
    if (!makeJunction(t.wide("link"), t.wide("target")))
        GTEST_SKIP() << "no junctions here; the decision is tested on find data above";
    Win32FileSystem fs;
    auto e = fs.enumerate(t / "l*");
    auto link = e->next();
    ASSERT_TRUE(link);
    EXPECT_EQ(link->kind, EntryKind::Link);
    EXPECT_TRUE(link->attributes & attr::ReparsePoint);
    EXPECT_TRUE(fs.attributes(t / "link").value_or(0) & attr::ReparsePoint);
    auto folder = fs.openFolder(t.path());
    EXPECT_EQ(folder->openFolder("link"), nullptr);
    EXPECT_NE(folder->openFolder("target"), nullptr);
    auto looked = folder->look("link");
    ASSERT_TRUE(looked);
    EXPECT_EQ(looked->kind, EntryKind::Link);
    folder->deleteEntry("link", looked->id);
    EXPECT_FALSE(t.exists("link"));
    EXPECT_TRUE(t.exists("target\\keep.txt"));
}

// ---- files -------------------------------------------------------------------------

TEST(Win32FileSystem, FilesAreReadAndWrittenByteForByte) {
    Tree t;
    Win32FileSystem fs;
    const std::string bytes = std::string("line\r\nnext\nlone\r\0end\xff\xfe", 20);
    for (const char* n : {"plain.bin", "with space.log", "Ünïcødé ☃.txt"}) {
        const std::string p = t / n;
        fs.writeFile(p, bytes);
        EXPECT_EQ(fs.readFile(p), bytes) << n;
        fs.appendFile(p, "\n+");
        EXPECT_EQ(fs.readFile(p), bytes + "\n+") << n;
        fs.writeFile(p, "short");  // truncates
        EXPECT_EQ(fs.readFile(p), "short") << n;
        EXPECT_EQ(fs.length(p), 5u);
    }
    fs.appendFile(t / "new.log", "a");  // created when missing
    fs.appendFile(t / "new.log", "b");
    EXPECT_EQ(fs.readFile(t / "new.log"), "ab");
    fs.writeFile(t / "empty", "");
    EXPECT_EQ(fs.readFile(t / "empty"), "");
    EXPECT_EQ(fs.readFile(t / "missing"), std::nullopt);
    EXPECT_EQ(fs.readFile(t / "missing\\deeper"), std::nullopt);
    EXPECT_TRUE(t.exists("Ünïcødé ☃.txt"));  // the name as it is on disk

    // A hidden file is rewritten in place (CREATE_ALWAYS would refuse it).
    ASSERT_TRUE(SetFileAttributesW(t.wide("plain.bin").c_str(), FILE_ATTRIBUTE_HIDDEN));
    fs.writeFile(t / "plain.bin", "again");
    EXPECT_EQ(fs.readFile(t / "plain.bin"), "again");

    // A read-only file is not written, and says why.
    t.file("ro.txt", "old");
    ASSERT_TRUE(SetFileAttributesW(t.wide("ro.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    try {
        fs.writeFile(t / "ro.txt", "new");
        FAIL() << "a read-only file was written";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::PermissionDenied) << e.what();
        EXPECT_NE(std::string(e.what()).find("ro.txt"), std::string::npos);
    }
    EXPECT_EQ(fs.readFile(t / "ro.txt"), "old");
    SetFileAttributesW(t.wide("ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_THROW(fs.writeFile(t / "missing\\x.txt", "x"), Error);
}

TEST(Win32FileSystem, LongPathsGetTheExtendedPrefix) {
    EXPECT_EQ(SystemPath("C:/temp/a.txt"), L"C:\\temp\\a.txt");
    EXPECT_EQ(SystemPath("relative\\x"), L"relative\\x");
    const std::string longName(120, 'n');
    const std::string longPath = "C:\\" + longName + "\\" + longName + "\\..\\" + longName + "\\x.txt";
    EXPECT_EQ(SystemPath(longPath), Widen("\\\\?\\C:\\" + longName + "\\" + longName + "\\x.txt"));
    const std::string unc = "\\\\server\\share\\" + longName + "\\" + longName + "\\y";
    EXPECT_EQ(SystemPath(unc), Widen("\\\\?\\UNC\\server\\share\\" + longName + "\\" + longName + "\\y"));
    EXPECT_EQ(SystemPath("\\\\?\\C:\\x/y"), L"\\\\?\\C:\\x\\y");
    const std::string longRelative(300, 'r');
    EXPECT_EQ(SystemPath(longRelative), Widen(longRelative));

    // And the calls work past MAX_PATH.
    Tree t;
    Win32FileSystem fs;
    std::string deep = t.path();
    for (int i = 0; i < 4; ++i) {
        deep += "\\" + std::string(80, static_cast<char>('a' + i));
        fs.createFolder(deep);
    }
    ASSERT_GT(deep.size(), 300u);
    const std::string file = deep + "\\long ☃.txt";
    fs.writeFile(file, "deep");
    EXPECT_EQ(fs.readFile(file), "deep");
    EXPECT_EQ(fs.length(file), 4u);
    EXPECT_TRUE(fs.folderExists(deep));
    EXPECT_EQ(names(*fs.enumerate(deep + "\\*.txt")), std::vector<std::string>{"long ☃.txt"});
    auto folder = fs.openFolder(deep);
    auto e = folder->look("long ☃.txt");
    ASSERT_TRUE(e);
    folder->deleteEntry("long ☃.txt", e->id);
    EXPECT_EQ(fs.readFile(file), std::nullopt);
}

TEST(Win32FileSystem, CreateFolderMakesOneAndAcceptsAnExistingOne) {
    Tree t;
    Win32FileSystem fs;
    fs.createFolder(t / "new");
    EXPECT_TRUE(fs.folderExists(t / "new"));
    fs.createFolder(t / "new");  // there already: fine
    fs.createFolder(t / "new\\");
    t.file("file");
    try {
        fs.createFolder(t / "file");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::PathFileAccess) << e.what();
    }
    try {
        fs.createFolder(t / "no\\parent");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::PathNotFound) << e.what();
    }
    EXPECT_THROW(fs.createFolder(""), Error);
}

TEST(Win32FileSystem, DeleteFileRemovesFilesOnlyAndFailsCleanly) {
    Tree t;
    Win32FileSystem fs;
    t.file("gone.txt", "x");
    fs.deleteFile(t / "gone.txt");
    EXPECT_FALSE(t.exists("gone.txt"));
    t.file("hidden.txt");
    SetFileAttributesW(t.wide("hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    fs.deleteFile(t / "hidden.txt");
    EXPECT_FALSE(t.exists("hidden.txt"));

    t.file("ro.txt", "x");
    ASSERT_TRUE(SetFileAttributesW(t.wide("ro.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    try {
        fs.deleteFile(t / "ro.txt");
        FAIL() << "a read-only file was deleted";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::PermissionDenied) << e.what();
        EXPECT_NE(std::string(e.what()).find("ro.txt"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("("), std::string::npos) << "no system text: " << e.what();
    }
    EXPECT_TRUE(t.exists("ro.txt"));
    SetFileAttributesW(t.wide("ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL);

    t.folder("sub");
    try {
        fs.deleteFile(t / "sub");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::PathFileAccess) << e.what();
    }
    EXPECT_TRUE(t.exists("sub"));
    try {
        fs.deleteFile(t / "missing");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::FileNotFound) << e.what();
    }
}

// ---- open folders ----------------------------------------------------------------

TEST(Win32FileSystem, AnOpenFolderListsLooksAndDeletesByIdentity) {
    Tree t;
    t.file("a.txt", "abc");
    t.file("b.txt");
    t.folder("sub");
    t.file("sub\\inner.txt");
    Win32FileSystem fs;
    auto folder = fs.openFolder(t.path());
    EXPECT_EQ(folder->path(), t.path() + "\\");
    EXPECT_EQ(nameSet(*folder->list("*.txt", false)), (std::set<std::string>{"a.txt", "b.txt"}));
    EXPECT_EQ(folder->list("sub\\*", true)->next(), std::nullopt);  // entries of this folder only
    const auto all = names(*folder->list("*.*", false));
    ASSERT_EQ(all.size(), 5u) << ::testing::PrintToString(all);
    EXPECT_EQ(all[0], ".");
    EXPECT_EQ(all[1], "..");
    // The dots can be looked at as the listing reports them.
    auto self = folder->look(".");
    ASSERT_TRUE(self);
    EXPECT_EQ(self->kind, EntryKind::Folder);
    EXPECT_EQ(self->name, ".");
    auto parent = folder->look("..");
    ASSERT_TRUE(parent);
    EXPECT_EQ(parent->kind, EntryKind::Folder);
    EXPECT_NE(parent->id, self->id);
    EXPECT_FALSE(fs.openFolder("C:\\")->look(".."));

    auto a = folder->look("a.txt");
    ASSERT_TRUE(a);
    EXPECT_TRUE(a->id.known());
    EXPECT_EQ(a->size, 3u);
    EXPECT_EQ(a->kind, EntryKind::File);
    auto b = folder->look("B.TXT");
    ASSERT_TRUE(b);
    EXPECT_NE(a->id, b->id);
    EXPECT_EQ(folder->look("a.txt")->id, a->id);
    EXPECT_FALSE(folder->look("missing"));
    EXPECT_FALSE(folder->look("*.txt"));
    EXPECT_FALSE(folder->look("sub\\inner.txt"));

    EXPECT_EQ(folder->openFolder("a.txt"), nullptr);
    EXPECT_EQ(folder->openFolder(".."), nullptr);
    EXPECT_EQ(folder->openFolder("missing"), nullptr);
    auto sub = folder->openFolder("sub");
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub->path(), t.path() + "\\sub\\");
    EXPECT_EQ(names(*sub->list("*.txt", true)), std::vector<std::string>{"inner.txt"});

    // Another entry by the same name now: refused, and left alone. (The
    // first is kept under another name, so that its file index cannot be
    // handed to the new one.)
    ASSERT_TRUE(MoveFileW(t.wide("a.txt").c_str(), t.wide("a.old").c_str()));
    t.file("a.txt", "new");
    EXPECT_THROW(folder->deleteEntry("a.txt", a->id), Error);
    EXPECT_TRUE(t.exists("a.txt"));
    EXPECT_THROW(folder->deleteEntry("b.txt", a->id), Error);
    EXPECT_TRUE(t.exists("b.txt"));

    folder->deleteEntry("b.txt", b->id);
    EXPECT_FALSE(t.exists("b.txt"));
    try {
        folder->deleteEntry("b.txt", b->id);
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::FileNotFound) << e.what();
    }
    EXPECT_THROW(folder->deleteEntry("sub", folder->look("sub")->id), Error);  // a folder
    EXPECT_THROW(folder->deleteEntry("..", FileId{}), Error);
    EXPECT_THROW(folder->deleteEntry("sub\\inner.txt", FileId{}), Error);
    EXPECT_TRUE(t.exists("sub\\inner.txt"));
    EXPECT_THROW(fs.openFolder(t / "missing"), Error);
    EXPECT_THROW(fs.openFolder(t / "a.txt"), Error);
}

TEST(Win32FileSystem, AFolderSwappedAfterItWasOpenedIsRefused) {
    Tree t;
    t.folder("sub");
    t.file("sub\\victim.txt", "mine");
    Win32FileSystem fs;
    auto top = fs.openFolder(t.path());
    auto sub = top->openFolder("sub");
    ASSERT_NE(sub, nullptr);
    auto victim = sub->look("victim.txt");
    ASSERT_TRUE(victim);

    // Renamed away and replaced by another folder with a file of that name.
    ASSERT_TRUE(MoveFileW(t.wide("sub").c_str(), t.wide("moved").c_str())) << GetLastError();
    t.folder("sub");
    t.file("sub\\victim.txt", "someone else's");
    for (const FileId& expected : {victim->id, FileId{}}) {
        try {
            sub->deleteEntry("victim.txt", expected);
            FAIL() << "deleted in the folder put in its place";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), err::PathFileAccess) << e.what();
        }
        EXPECT_THROW(sub->trashEntry("victim.txt", expected, ""), Error);
    }
    EXPECT_TRUE(t.exists("sub\\victim.txt"));
    EXPECT_TRUE(t.exists("moved\\victim.txt"));
    EXPECT_FALSE(sub->look("victim.txt"));
    EXPECT_EQ(sub->openFolder("anything"), nullptr);
    EXPECT_EQ(sub->list("*", true)->next(), std::nullopt);
}

// A folder opened again by its path is the same one only with the same
// identity (volume serial and file ID): what a list was made in can be told
// from another folder put in its place, and a junction in its place is
// refused, never followed.
TEST(Win32FileSystem, AChosenFolderIsKnownByIdentityAndNeverThroughALink) {
    Tree t;
    t.folder("chosen");
    t.file("chosen\\a.bak", "mine");
    Win32FileSystem fs;
    auto first = fs.openFolder(t / "chosen");
    const FileId listed = first->id();
    ASSERT_TRUE(listed.known());
    auto parent = fs.openFolder(t.path());
    auto looked = parent->look("chosen");
    ASSERT_TRUE(looked);
    EXPECT_EQ(looked->id, listed);  // the same identity by either way
    first.reset();
    EXPECT_EQ(fs.openFolder(t / "chosen\\")->id(), listed);  // opened again: the same folder

    // Swapped for another folder of the same name: another identity.
    ASSERT_TRUE(MoveFileW(t.wide("chosen").c_str(), t.wide("chosen.old").c_str())) << GetLastError();
    t.folder("chosen");
    t.file("chosen\\a.bak", "someone else's");
    auto again = fs.openFolder(t / "chosen");
    EXPECT_NE(again->id(), listed);
    EXPECT_EQ(fs.openFolder(t / "chosen.old")->id(), listed);
    again.reset();

    // Swapped for a junction to the folder that was listed: refused as a link.
    ASSERT_TRUE(DeleteFileW(t.wide("chosen\\a.bak").c_str())) << GetLastError();
    ASSERT_TRUE(RemoveDirectoryW(t.wide("chosen").c_str())) << GetLastError();
    t.folder("chosen");
    if (!makeJunction(t.wide("chosen"), t.wide("chosen.old")))
        GTEST_SKIP() << "no junctions here; the identity check is tested above";
    try {
        fs.openFolder(t / "chosen");
        FAIL() << "a junction was opened as the chosen folder";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::PathNotFound) << e.what();
        EXPECT_NE(std::string(e.what()).find("it is a link, which is not followed"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(t.exists("chosen.old\\a.bak"));
}

TEST(Win32FileSystem, OpenFoldersUseExactPaths) {
    EXPECT_EQ(ExactPath("C:\\a\\..\\b\\"), L"\\\\?\\C:\\b");
    EXPECT_EQ(ExactPath("C:/x/y"), L"\\\\?\\C:\\x\\y");
    EXPECT_EQ(ExactPath("C:\\"), L"\\\\?\\C:\\");
    EXPECT_EQ(ExactPath("C:/"), L"\\\\?\\C:\\");
    EXPECT_EQ(ExactPath("\\\\srv\\share"), L"\\\\?\\UNC\\srv\\share\\");
    EXPECT_EQ(ExactPath("\\\\srv\\share\\d\\"), L"\\\\?\\UNC\\srv\\share\\d");
    EXPECT_EQ(ExactPath("\\\\?\\C:\\as is"), L"\\\\?\\C:\\as is");
}

TEST(Win32FileSystem, NamesThatWouldLeadToAnotherEntryAreRefused) {
    Tree t;
    t.file("plain", "abc");
    Win32FileSystem fs;
    auto folder = fs.openFolder(t.path());
    ASSERT_TRUE(folder->look("plain"));
    // "plain." and "plain " would reach "plain", "plain::$DATA" its stream.
    for (const char* n : {"plain.", "plain ", "plain::$DATA", "pl*", "pl?in", "a\\plain", "a/plain", "<plain", ".",
                          "..", ""}) {
        if (std::string(n) != "." && std::string(n) != "..") {
            EXPECT_FALSE(folder->look(n)) << n;
        }
        EXPECT_EQ(folder->openFolder(n), nullptr) << n;
        EXPECT_THROW(folder->deleteEntry(n, FileId{}), Error) << n;
    }
    EXPECT_EQ(fs.readFile(t / "plain"), "abc");
}

// ---- the shell ---------------------------------------------------------------------

struct ShellRecorder {
    std::vector<std::wstring> fromLists;  // pFrom up to and including its double NUL
    std::vector<UINT> functions;
    std::vector<FILEOP_FLAGS> flags;
    int fileResult = 0;
    bool aborted = false;
    std::vector<DWORD> emptyFlags;
    std::vector<bool> emptyRootNull;
    HRESULT emptyResult = S_OK;
    std::vector<std::pair<UINT, const void*>> recent;

    ShellCalls table() {
        ShellCalls c;
        c.fileOperation = [this](SHFILEOPSTRUCTW* op) {
            std::wstring list;
            for (const wchar_t* p = op->pFrom;; ++p) {
                list += *p;
                if (p[0] == 0 && p[1] == 0) {
                    list += L'\0';
                    break;
                }
            }
            fromLists.push_back(list);
            functions.push_back(op->wFunc);
            flags.push_back(op->fFlags);
            EXPECT_EQ(op->pTo, nullptr);
            op->fAnyOperationsAborted = aborted;
            return fileResult;
        };
        c.emptyRecycleBin = [this](const wchar_t* root, DWORD f) {
            emptyRootNull.push_back(root == nullptr);
            emptyFlags.push_back(f);
            return emptyResult;
        };
        c.addToRecentDocs = [this](UINT f, const void* item) { recent.emplace_back(f, item); };
        return c;
    }
};

constexpr FILEOP_FLAGS kBinFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;

TEST(Win32FileSystemShell, MoveToRecycleBinPassesOneFullPathDoubleNulTerminated) {
    Tree t;
    t.file("Ünï ☃.txt");
    ShellRecorder r;
    Win32FileSystem fs(r.table());
    fs.moveToRecycleBin(t.path() + "/Ünï ☃.txt");
    ASSERT_EQ(r.fromLists.size(), 1u);
    EXPECT_EQ(r.fromLists[0], t.wide("Ünï ☃.txt") + std::wstring(2, L'\0'));
    EXPECT_EQ(r.functions[0], static_cast<UINT>(FO_DELETE));
    EXPECT_EQ(r.flags[0], kBinFlags);
    EXPECT_EQ(DoubleNulTerminated(L"C:\\a"), std::wstring(L"C:\\a\0\0", 6));

    // A relative path is made full: the bin needs it to allow undo.
    wchar_t cwd[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, cwd);
    ASSERT_TRUE(SetCurrentDirectoryW(Widen(t.path()).c_str()));
    fs.moveToRecycleBin("Ünï ☃.txt");
    SetCurrentDirectoryW(cwd);
    ASSERT_EQ(r.fromLists.size(), 2u);
    EXPECT_EQ(r.fromLists[1], t.wide("Ünï ☃.txt") + std::wstring(2, L'\0'));

    try {
        fs.moveToRecycleBin(t / "missing");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::FileNotFound);
    }
    EXPECT_EQ(r.fromLists.size(), 2u);  // the shell was not asked

    r.fileResult = ERROR_ACCESS_DENIED;
    try {
        fs.moveToRecycleBin(t / "Ünï ☃.txt");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::PermissionDenied) << e.what();
        EXPECT_NE(std::string(e.what()).find("Ünï ☃.txt"), std::string::npos) << e.what();
    }
    // The shell's own codes, which mean something else as system errors.
    struct Code {
        int code;
        long number;
        const char* text;
    } const codes[] = {{0x78, err::PermissionDenied, "access to the source is denied"},
                       {0x7C, err::FileNotFound, "not valid"},
                       {0x75, err::SystemCallFailed, "cancelled"},
                       {ERROR_SHARING_VIOLATION, err::FileAlreadyOpen, ""}};
    for (const auto& c : codes) {
        r.fileResult = c.code;
        try {
            fs.moveToRecycleBin(t / "Ünï ☃.txt");
            FAIL() << c.code;
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), c.number) << c.code << " " << e.what();
            EXPECT_NE(std::string(e.what()).find(c.text), std::string::npos) << e.what();
        }
    }
    r.fileResult = 0;
    r.aborted = true;
    EXPECT_THROW(fs.moveToRecycleBin(t / "Ünï ☃.txt"), Error);
}

TEST(Win32FileSystemShell, TrashEntryChecksTheEntryBeforeTheShellMovesIt) {
    Tree t;
    t.file("old.tmp");
    t.file("other.tmp");
    t.folder("sub");
    ShellRecorder r;
    Win32FileSystem fs(r.table());
    auto folder = fs.openFolder(t.path());
    const auto old = folder->look("old.tmp");
    ASSERT_TRUE(old);
    EXPECT_THROW(folder->trashEntry("other.tmp", old->id, ""), Error);
    EXPECT_THROW(folder->trashEntry("sub", FileId{}, ""), Error);
    EXPECT_THROW(folder->trashEntry("missing", FileId{}, ""), Error);
    EXPECT_TRUE(r.fromLists.empty());
    folder->trashEntry("old.tmp", old->id, t / "old.tmp");
    ASSERT_EQ(r.fromLists.size(), 1u);
    EXPECT_EQ(r.fromLists[0], t.wide("old.tmp") + std::wstring(2, L'\0'));
    EXPECT_EQ(r.flags[0], kBinFlags);
}

TEST(Win32FileSystemShell, EmptyingTheBinAndTheRecentListUseTheQuietFlags) {
    ShellRecorder r;
    Win32FileSystem fs(r.table());
    fs.emptyRecycleBin();
    ASSERT_EQ(r.emptyFlags.size(), 1u);
    EXPECT_TRUE(r.emptyRootNull[0]);
    EXPECT_EQ(r.emptyFlags[0], static_cast<DWORD>(SHERB_NOCONFIRMATION | SHERB_NOPROGRESSUI | SHERB_NOSOUND));
    r.emptyResult = E_UNEXPECTED;  // an empty bin, on some versions
    EXPECT_NO_THROW(fs.emptyRecycleBin());
    r.emptyResult = HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    EXPECT_THROW(fs.emptyRecycleBin(), Error);
    r.emptyResult = E_FAIL;
    EXPECT_THROW(fs.emptyRecycleBin(), Error);

    fs.clearRecentDocuments();
    ASSERT_EQ(r.recent.size(), 1u);
    EXPECT_EQ(r.recent[0].first, 0u);
    EXPECT_EQ(r.recent[0].second, nullptr);
}

// The Linux path of a Windows one, under wine; empty on Windows.
std::string unixPathOf(const std::wstring& path) {
    using ToUnix = char*(__cdecl*)(const wchar_t*);
    const auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix) return {};
    char* unix = toUnix(path.c_str());
    if (!unix) return {};
    std::string out = unix;
    HeapFree(GetProcessHeap(), 0, unix);
    return out;
}

TEST(Win32FileSystemShell, ARealMoveToTheBinTakesTheFileOutOfItsFolder) {
    Tree t;
    t.file("bin me ☃.tmp", "x");
    // wine's bin is the freedesktop trash below XDG_DATA_HOME: one inside the
    // test's folder, so that no real trash gets the file.
    const std::string unixRoot = unixPathOf(Widen(t.path()));
    if (!unixRoot.empty()) {
        t.folder("data");
        ASSERT_TRUE(SetEnvironmentVariableW(L"XDG_DATA_HOME", Widen(unixRoot + "/data").c_str()));
    }
    Win32FileSystem fs;  // the real shell
    fs.moveToRecycleBin(t / "bin me ☃.tmp");
    SetEnvironmentVariableW(L"XDG_DATA_HOME", nullptr);
    EXPECT_FALSE(t.exists("bin me ☃.tmp"));
    if (!unixRoot.empty()) {
        EXPECT_TRUE(t.exists("data\\Trash\\files\\bin me ☃.tmp"));
    }
}

}  // namespace

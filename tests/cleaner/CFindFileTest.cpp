#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/Runtime.h"
#include "cleaner/CFindFile.h"
#ifdef _WIN32
#include "platform/win32/Win32FileSystem.h"
#else
#include "platform/posix/PosixFileSystem.h"
#endif
#include "support/TestSupport.h"
#include "support/TestWorld.h"

using namespace nocturo;
using nocturo::test::CountingLoop;
using nocturo::test::FakeSystemInfo;
using nocturo::test::TempDir;
using nocturo::test::TestWorld;
using nocturo::test::WriteWholeFile;
namespace fs = std::filesystem;
namespace attr = nocturo::platform::attr;

namespace {

// The real file system of the platform the tests run on.
#ifdef _WIN32
using NativeFileSystem = platform::win32::Win32FileSystem;
#else
using NativeFileSystem = platform::PosixFileSystem;
#endif

// A path below a walked folder as the walk reports it: the finder joins
// folders with the file system's own separator.
std::string Below(const std::string& relative) {
    std::string out = relative;
    std::replace(out.begin(), out.end(), '/', NativeFileSystem().separator());
    return out;
}

// A runtime on the real file system with a loop that counts yields.
// The error log goes to a folder of its own, outside every walked tree.
class DiskWorld {
public:
    DiskWorld() {
        fs::create_directories(programDir_.path() + "/bin");
        fs::create_directories(programDir_.path() + "/Common");
        sys.programDir = programDir_.path() + "/bin";
        runtime.pf.files = &files;
        runtime.pf.loop = &loop;
        runtime.pf.system = &sys;
        runtime.errorIndicator = [this] { ++errors; };
        scope_ = std::make_unique<RuntimeScope>(runtime);
    }
    std::string errorLog() const { return test::ReadWholeFile(programDir_.path() + "/Common/error.log"); }

    NativeFileSystem files;
    CountingLoop loop;
    FakeSystemInfo sys;
    Runtime runtime;
    int errors = 0;

private:
    TempDir programDir_;
    std::unique_ptr<RuntimeScope> scope_;
};

// Records every event of a finder.
struct Recorder {
    explicit Recorder(CFindFile& finder) {
        finder.BeginFindFiles = [this] { ++begins; };
        finder.EndFindFiles = [this](std::int32_t& count) {
            ++ends;
            counts.push_back(count);
        };
        finder.FoundFile = [this](std::string& name, bool& cancel) {
            hits.push_back(name);
            if (onHit) onHit(name, cancel);
        };
    }
    std::vector<std::string> hits;
    int begins = 0;
    int ends = 0;
    std::vector<std::int32_t> counts;
    std::function<void(std::string&, bool&)> onHit;
};

void Touch(const std::string& path, const std::string& content = "data") { WriteWholeFile(path, content); }

// The folder of a reported path (up to and including the last separator).
std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of("/\\") + 1); }
std::string NameOf(const std::string& path) { return path.substr(path.find_last_of("/\\") + 1); }

std::multiset<std::string> AsSet(const std::vector<std::string>& v) { return {v.begin(), v.end()}; }

bool Walk(CFindFile& finder, const std::string& path, const std::string& patterns, bool subDirs, bool zero = false) {
    finder.Path(path);
    finder.FileSpec(patterns);
    finder.InclSubDir(subDirs);
    finder.InclZeroFiles(zero);
    std::vector<std::string> list;
    return finder.FindAll(list);
}

}  // namespace

// ---- starting a walk ------------------------------------------------------------

TEST(CFindFile, EmptyFileSpecOrPathStartsNoWalkAndRaisesNothing) {
    DiskWorld w;
    TempDir tree;
    Touch(tree / "a.bak");
    CFindFile finder;
    Recorder rec(finder);
    std::vector<std::string> list{"untouched"};

    finder.Path(tree.path() + "/");
    EXPECT_FALSE(finder.FindAll(list));
    finder.FileSpec("*.bak");
    finder.Path("");
    EXPECT_FALSE(finder.FindAll(list));

    EXPECT_EQ(rec.begins, 0);
    EXPECT_EQ(rec.ends, 0);
    EXPECT_TRUE(rec.hits.empty());
    EXPECT_EQ(list, std::vector<std::string>{"untouched"});
    EXPECT_FALSE(finder.Searching());
}

TEST(CFindFile, PropertiesAreStoredAndNoneLetsOtherEventsRun) {
    TestWorld w;
    CFindFile finder;
    const int before = w.evloop.yields;
    finder.InclZeroFiles(true);
    finder.InclSubDir(true);
    finder.Path("C:\\temp\\");
    finder.FileSpec("*.bak");
    finder.Recursive(true);
    finder.RecursiveLevels(7);
    EXPECT_EQ(w.evloop.yields - before, 0);
    EXPECT_TRUE(finder.InclZeroFiles());
    EXPECT_TRUE(finder.InclSubDir());
    EXPECT_EQ(finder.Path(), "C:\\temp\\");
    EXPECT_EQ(finder.FileSpec(), "*.bak");
    EXPECT_TRUE(finder.Recursive());
    EXPECT_EQ(finder.RecursiveLevels(), 7);
    EXPECT_FALSE(finder.Searching());
    EXPECT_EQ(w.evloop.yields - before, 0);
}

TEST(CFindFile, ANewFinderStartsFalseZeroAndEmpty) {
    TestWorld w;
    CFindFile finder;
    EXPECT_FALSE(finder.InclZeroFiles());
    EXPECT_FALSE(finder.InclSubDir());
    EXPECT_EQ(finder.Path(), "");
    EXPECT_EQ(finder.FileSpec(), "");
    EXPECT_FALSE(finder.Searching());
    EXPECT_FALSE(finder.Recursive());
    EXPECT_EQ(finder.RecursiveLevels(), 0);
}

TEST(CFindFile, AMissingStartFolderIsAWalkWithoutHitsAndWithoutMessage) {
    DiskWorld w;
    TempDir tree;
    CFindFile finder;
    Recorder rec(finder);
    EXPECT_TRUE(Walk(finder, tree / "missing/", "*.*", true, true));
    EXPECT_TRUE(rec.hits.empty());
    EXPECT_EQ(rec.begins, 1);
    EXPECT_EQ(rec.ends, 1);
    EXPECT_EQ(rec.counts, std::vector<std::int32_t>{0});
    EXPECT_EQ(w.errors, 0);
    EXPECT_EQ(w.errorLog(), "");
}

TEST(CFindFile, AWalkLeavesOneEmptyEntryInTheList) {
    DiskWorld w;
    TempDir tree;
    Touch(tree / "a.bak");
    CFindFile finder;
    finder.Path(tree.path() + "/");
    finder.FileSpec("*.bak");
    std::vector<std::string> list{"x", "y"};
    EXPECT_TRUE(finder.FindAll(list));
    EXPECT_EQ(list, std::vector<std::string>{""});
}

// ---- what is reported, and in which order -----------------------------------------

TEST(CFindFile, WithoutSubfoldersOnlyTheStartFolderAndEveryPatternInListOrder) {
    DiskWorld w;
    TempDir tree;
    const std::string root = tree.path() + "/";
    for (const char* n : {"one.tmp", "a.bak", "two.TMP", "B.BAK", "keep.txt", "c.bak"}) Touch(tree / n);
    fs::create_directory(tree / "sub");
    Touch(tree / "sub/deep.bak");
    Touch(tree / "sub/deep.tmp");

    CFindFile finder;
    Recorder rec(finder);
    ASSERT_TRUE(Walk(finder, root, "*.bak;*.tmp", false));

    ASSERT_EQ(rec.hits.size(), 5u);
    std::vector<std::string> bak(rec.hits.begin(), rec.hits.begin() + 3);
    std::vector<std::string> tmp(rec.hits.begin() + 3, rec.hits.end());
    EXPECT_EQ(AsSet(bak), AsSet({root + "a.bak", root + "B.BAK", root + "c.bak"}));
    EXPECT_EQ(AsSet(tmp), AsSet({root + "one.tmp", root + "two.TMP"}));
    EXPECT_EQ(rec.counts, std::vector<std::int32_t>{5});
}

TEST(CFindFile, PatternsAreTrimmedBlankOnesSkippedAndEachMatchReported) {
    DiskWorld w;
    TempDir tree;
    const std::string root = tree.path() + "/";
    Touch(tree / "x.bak");
    Touch(tree / "y.log");
    CFindFile finder;
    Recorder rec(finder);
    ASSERT_TRUE(Walk(finder, root, std::string(" *.bak ;  ;\t;x.*\r\n*.LOG\0", 24), false));
    EXPECT_EQ(rec.hits, (std::vector<std::string>{root + "x.bak", root + "x.bak", root + "y.log"}));
    EXPECT_EQ(rec.counts, std::vector<std::int32_t>{3});
}

TEST(CFindFile, WithSubfoldersAFoldersHitsComeBeforeThoseOfItsSubfolders) {
    DiskWorld w;
    TempDir tree;
    const std::string root = tree.path() + "/";
    fs::create_directories(tree / "a/aa");
    fs::create_directories(tree / "b/bb/bbb");
    fs::create_directories(tree / "c");
    for (const char* f : {"r.bak", "r.tmp", "a/a.bak", "a/aa/aa.tmp", "a/aa/aa.bak", "b/b.tmp", "b/bb/bb.bak",
                          "b/bb/bbb/bbb.bak", "c/c.bak", "c/c.tmp"})
        Touch(tree / f);

    CFindFile finder;
    Recorder rec(finder);
    ASSERT_TRUE(Walk(finder, root, "*.bak;*.tmp", true));
    ASSERT_EQ(rec.hits.size(), 10u);
    EXPECT_EQ(rec.counts, std::vector<std::int32_t>{10});

    // The start folder's two hits first.
    EXPECT_EQ(AsSet({rec.hits[0], rec.hits[1]}), AsSet({root + "r.bak", root + "r.tmp"}));
    // Each folder's hits are contiguous, and a folder comes before everything
    // below it (pre-order).
    std::vector<std::string> order;
    for (const auto& h : rec.hits)
        if (order.empty() || order.back() != FolderOf(h)) order.push_back(FolderOf(h));
    EXPECT_EQ(order.size(), 7u) << "a folder's hits were split";
    for (size_t i = 0; i < order.size(); ++i)
        for (size_t j = 0; j < i; ++j)
            EXPECT_FALSE(order[j].starts_with(order[i])) << order[j] << " below " << order[i] << " came first";
    // Subtrees are not interleaved: once the walk leaves a folder's subtree it
    // never returns to it.
    for (size_t i = 1; i < order.size(); ++i)
        for (size_t j = i + 1; j < order.size(); ++j)
            if (order[j].starts_with(order[i - 1]) && !order[i].starts_with(order[i - 1]))
                ADD_FAILURE() << order[j] << " reported after leaving " << order[i - 1];
}

TEST(CFindFile, ExactPreOrderOnWindowsPaths) {
    TestWorld w;
    w.fs.addFile("C:\\tree\\top.bak");
    w.fs.addFile("C:\\tree\\top.tmp");
    w.fs.addFile("C:\\tree\\alpha\\a.tmp");
    w.fs.addFile("C:\\tree\\alpha\\a.bak");
    w.fs.addFile("C:\\tree\\alpha\\inner\\i.bak");
    w.fs.addFile("C:\\tree\\beta\\b.bak");
    w.fs.addFile("C:\\tree\\.dot\\d.bak");
    CFindFile finder;
    Recorder rec(finder);
    ASSERT_TRUE(Walk(finder, "C:\\tree\\", "*.bak;*.tmp", true));
    EXPECT_EQ(rec.hits, (std::vector<std::string>{"C:\\tree\\top.bak", "C:\\tree\\top.tmp", "C:\\tree\\alpha\\a.bak",
                                                  "C:\\tree\\alpha\\a.tmp", "C:\\tree\\alpha\\inner\\i.bak",
                                                  "C:\\tree\\beta\\b.bak"}));
    EXPECT_EQ(w.errorIndicatorCount, 0);
}

TEST(CFindFile, DotFoldersAreNotEnteredButDotFilesAreMatched) {
    DiskWorld w;
    TempDir tree;
    const std::string root = tree.path() + "/";
    fs::create_directories(tree / ".cache/inner");
    Touch(tree / ".cache/x.bak");
    Touch(tree / ".cache/inner/y.bak");
    Touch(tree / ".hidden.bak");
    fs::create_directory(tree / "sub");
    Touch(tree / "sub/.also.bak");

    CFindFile finder;
    Recorder rec(finder);
    ASSERT_TRUE(Walk(finder, root, "*.bak", true));
    EXPECT_EQ(rec.hits, (std::vector<std::string>{root + ".hidden.bak", root + Below("sub/.also.bak")}));
}

TEST(CFindFile, StarDotStarReportsTheDotEntriesAndFoldersOfEveryWalkedFolder) {
    DiskWorld w;
    TempDir tree;
    const std::string root = tree.path() + "/";
    fs::create_directories(tree / "sub/deeper");
    fs::create_directories(tree / ".skip");
    Touch(tree / "f.txt");
    Touch(tree / "sub/g");

    CFindFile finder;
    Recorder rec(finder);
    ASSERT_TRUE(Walk(finder, root, "*.*", true));

    std::map<std::string, std::multiset<std::string>> byFolder;
    for (const auto& h : rec.hits) byFolder[FolderOf(h)].insert(NameOf(h));
    ASSERT_EQ(byFolder.size(), 3u) << ::testing::PrintToString(rec.hits);
    EXPECT_EQ(byFolder[root], (std::multiset<std::string>{".", "..", ".skip", "f.txt", "sub"}));
    EXPECT_EQ(byFolder[root + Below("sub/")], (std::multiset<std::string>{".", "..", "deeper", "g"}));
    EXPECT_EQ(byFolder[root + Below("sub/deeper/")], (std::multiset<std::string>{".", ".."}));
    EXPECT_EQ(rec.counts, std::vector<std::int32_t>{static_cast<std::int32_t>(rec.hits.size())});
}

// ---- zero-length files ---------------------------------------------------------------

TEST(CFindFile, ZeroLengthFilesAreReportedWithoutMatchingExceptTheSwapFileAndDotFiles) {
    DiskWorld w;
    TempDir tree;
    const std::string root = tree.path() + "/";
    Touch(tree / "empty.txt", "");
    Touch(tree / "full.txt", "x");
    Touch(tree / "pagefile.sys", "");
    Touch(tree / "PageFile.SYS.old", "");
    Touch(tree / ".empty", "");
    Touch(tree / "x.bak", "");
    fs::create_directory(tree / "emptyfolder");
    fs::create_directory(tree / "sub");
    Touch(tree / "sub/inner.txt", "");

    CFindFile finder;
    Recorder rec(finder);
    ASSERT_TRUE(Walk(finder, root, "*.bak", true, true));

    // Zero-length pass first, then the pattern pass, per folder.
    ASSERT_GE(rec.hits.size(), 4u);
    std::multiset<std::string> rootHits;
    for (size_t i = 0; i < 4; ++i) rootHits.insert(rec.hits[i]);
    EXPECT_EQ(rootHits, AsSet({root + "empty.txt", root + "PageFile.SYS.old", root + "x.bak", root + "x.bak"}));
    EXPECT_EQ(rec.hits[3], root + "x.bak");  // the pattern pass comes last
    EXPECT_EQ(rec.hits.size(), 5u);
    EXPECT_EQ(rec.hits.back(), root + Below("sub/inner.txt"));
    EXPECT_EQ(rec.counts, std::vector<std::int32_t>{5});
}

TEST(CFindFile, ZeroLengthPassOnWindowsPathsSkipsPagefileInAnyCase) {
    TestWorld w;
    w.fs.addFile("C:\\tree\\PAGEFILE.SYS", "");
    w.fs.addFile("C:\\tree\\empty.log", "");
    w.fs.addFile("C:\\tree\\data.log", "abc");
    w.fs.addFolder("C:\\tree\\folder");
    CFindFile finder;
    Recorder rec(finder);
    ASSERT_TRUE(Walk(finder, "C:\\tree\\", "*.none", false, true));
    EXPECT_EQ(rec.hits, std::vector<std::string>{"C:\\tree\\empty.log"});
}

// ---- cancelling ----------------------------------------------------------------------

TEST(CFindFile, CancelInTheFirstFoundFileStopsTheWalk) {
    DiskWorld w;
    TempDir tree;
    for (const char* n : {"a.bak", "b.bak", "c.tmp"}) Touch(tree / n);
    fs::create_directory(tree / "sub");
    Touch(tree / "sub/d.bak");
    CFindFile finder;
    Recorder rec(finder);
    bool searchingInside = false;
    rec.onHit = [&](std::string&, bool& cancel) {
        searchingInside = finder.Searching();
        cancel = true;
    };
    EXPECT_TRUE(Walk(finder, tree.path() + "/", "*.bak;*.tmp", true, true));
    EXPECT_EQ(rec.hits.size(), 1u);
    EXPECT_EQ(rec.begins, 1);
    EXPECT_EQ(rec.ends, 1);
    EXPECT_EQ(rec.counts, std::vector<std::int32_t>{1});
    EXPECT_TRUE(searchingInside);
    EXPECT_FALSE(finder.Searching());
}

TEST(CFindFile, EnteringFindAllDuringAWalkStopsItAndReturnsFalse) {
    DiskWorld w;
    TempDir tree;
    for (const char* n : {"a.bak", "b.bak", "c.bak"}) Touch(tree / n);
    fs::create_directory(tree / "sub");
    Touch(tree / "sub/d.bak");
    CFindFile finder;
    Recorder rec(finder);
    std::vector<bool> innerResults;
    rec.onHit = [&](std::string&, bool&) {
        std::vector<std::string> list;
        innerResults.push_back(finder.FindAll(list));
    };
    EXPECT_TRUE(Walk(finder, tree.path() + "/", "*.bak", true));
    EXPECT_EQ(innerResults, std::vector<bool>{false});
    EXPECT_EQ(rec.hits.size(), 1u);
    EXPECT_EQ(rec.begins, 1);
    EXPECT_EQ(rec.ends, 1);
    EXPECT_FALSE(finder.Searching());
}

TEST(CFindFile, AWalkInStepsGivesTheSameHitsAsOneWalkAndNeverYieldsItself) {
    DiskWorld w;
    TempDir tree;
    for (int i = 0; i < 20; ++i) Touch(tree / ("f" + std::to_string(i) + ".bak"));
    fs::create_directory(tree / "sub");
    for (int i = 0; i < 7; ++i) Touch(tree / ("sub/g" + std::to_string(i) + ".bak"));
    Touch(tree / "sub/empty.log", "");
    CFindFile finder;
    Recorder rec(finder);
    finder.Path(tree.path() + "/");
    finder.FileSpec("*.bak;*.none");
    finder.InclSubDir(true);
    finder.InclZeroFiles(true);

    std::vector<std::string> list;
    ASSERT_TRUE(finder.FindAll(list));
    const auto whole = rec.hits;
    EXPECT_EQ(whole.size(), 28u);
    EXPECT_EQ(w.loop.yields, 0);

    for (int budget : {1, 2, 3, 5, 64}) {
        SCOPED_TRACE(budget);
        rec.hits.clear();
        ASSERT_TRUE(finder.StartFind());
        int steps = 0;
        while (finder.FindSome(budget)) {
            ++steps;
            EXPECT_TRUE(finder.Searching());
        }
        EXPECT_EQ(rec.hits, whole);
        if (budget == 1) {
            EXPECT_GT(steps, 28);
        }
        EXPECT_FALSE(finder.Searching());
        EXPECT_FALSE(finder.FindSome(budget));  // over: nothing more, no second end
    }
    EXPECT_EQ(rec.ends, 6);
    EXPECT_EQ(rec.begins, 6);
    EXPECT_EQ(w.loop.yields, 0);
}

TEST(CFindFile, StoppingAWalkBetweenStepsEndsItOnceWithItsCount) {
    TestWorld w;
    for (int i = 0; i < 10; ++i) w.fs.addFile("C:\\tree\\f" + std::to_string(i) + ".bak");
    CFindFile finder;
    Recorder rec(finder);
    finder.Path("C:\\tree\\");
    finder.FileSpec("*.bak");
    ASSERT_TRUE(finder.StartFind());
    while (rec.hits.size() < 3 && finder.FindSome(1)) {
    }
    ASSERT_EQ(rec.hits.size(), 3u);
    // The owner's Stop button between two steps: FindAll again stops it...
    std::vector<std::string> inner;
    EXPECT_FALSE(finder.FindAll(inner));
    EXPECT_FALSE(finder.FindSome(5));
    EXPECT_EQ(rec.hits.size(), 3u);
    EXPECT_EQ(rec.ends, 1);
    EXPECT_EQ(rec.counts, std::vector<std::int32_t>{3});
    // ...and so does StopFind, once.
    ASSERT_TRUE(finder.StartFind());
    finder.FindSome(2);
    finder.StopFind();
    finder.StopFind();
    EXPECT_FALSE(finder.FindSome(5));
    EXPECT_EQ(rec.ends, 2);
    EXPECT_FALSE(finder.Searching());
}

// ---- links ---------------------------------------------------------------------------

TEST(CFindFile, SymbolicLinksAreNeverWalkedIntoButMatchingLinksAreReportedThemselves) {
    DiskWorld w;
    TempDir tree, outside;
    const std::string root = tree.path() + "/";
    Touch(outside / "x.bak");
    fs::create_directory(outside / "nested");
    Touch(outside / "nested/y.bak");
    fs::create_directory_symlink(outside.path(), tree / "dirlink");
    fs::create_directory_symlink(outside.path(), tree / "link.bak");
    fs::create_symlink(outside / "x.bak", tree / "filelink.bak");
    fs::create_directory(tree / "real");
    Touch(tree / "real/r.bak");
    fs::create_directory_symlink(outside / "nested", tree / "real/back");

    CFindFile finder;
    Recorder rec(finder);
    // A receiver as the cleaning run has one: folders are left alone, every
    // other hit is deleted (a link itself, never its target).
    rec.onHit = [&](std::string& name, bool&) {
        const auto a = files().attributes(name);
        if (a && !(*a & attr::Directory)) files().deleteFile(name);
    };
    ASSERT_TRUE(Walk(finder, root, "*.bak", true));

    EXPECT_EQ(AsSet(rec.hits), AsSet({root + "link.bak", root + "filelink.bak", root + Below("real/r.bak")}));
    for (const auto& h : rec.hits) EXPECT_EQ(h.find(outside.path()), std::string::npos) << h;
    // The targets are untouched.
    EXPECT_TRUE(fs::exists(outside / "x.bak"));
    EXPECT_TRUE(fs::exists(outside / "nested/y.bak"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(tree / "filelink.bak")));
    EXPECT_TRUE(fs::is_symlink(tree / "link.bak"));
    EXPECT_EQ(w.errors, 0);
}

TEST(CFindFile, ASubfolderReplacedByALinkDuringTheWalkIsNotEntered) {
    DiskWorld w;
    TempDir tree, outside;
    const std::string root = tree.path() + "/";
    Touch(outside / "x.bak");
    Touch(tree / "a.bak");
    fs::create_directory(tree / "sub");
    Touch(tree / "sub/s.bak");
    CFindFile finder;
    Recorder rec(finder);
    // While the start folder's hits are raised its subfolders are already
    // listed; now "sub" is swapped for a link to a folder outside the tree.
    rec.onHit = [&](std::string& name, bool&) {
        if (name != root + "a.bak") return;
        fs::rename(tree / "sub", tree / "moved");
        fs::create_directory_symlink(outside.path(), tree / "sub");
    };
    ASSERT_TRUE(Walk(finder, root, "*.bak", true));
    EXPECT_EQ(rec.hits, std::vector<std::string>{root + "a.bak"});
}

TEST(CFindFile, LinksAreNotEnteredWithZeroLengthFilesEither) {
    DiskWorld w;
    TempDir tree, outside;
    Touch(outside / "empty.txt", "");
    fs::create_directory_symlink(outside.path(), tree / "dirlink");
    CFindFile finder;
    Recorder rec(finder);
    ASSERT_TRUE(Walk(finder, tree.path() + "/", "*.none", true, true));
    EXPECT_TRUE(rec.hits.empty());
}

// ---- failures and reuse --------------------------------------------------------------

TEST(CFindFile, FailuresAreLoggedUnderTheProcedureAndTheWalkGoesOn) {
    TestWorld w;
    w.fs.addFile("C:\\tree\\a.bak");
    w.fs.addFile("C:\\tree\\b.bak");
    CFindFile finder;
    Recorder rec(finder);
    rec.onHit = [&](std::string&, bool&) { throw std::runtime_error("handler failed"); };
    ASSERT_TRUE(Walk(finder, "C:\\tree\\", "*.bak", false));
    EXPECT_EQ(rec.hits.size(), 2u);
    EXPECT_NE(w.errorLog().find("SearchFileSpec of Klassenmodul CFindFile"), std::string::npos);

    // A start folder the file system cannot enumerate at all.
    rec.onHit = nullptr;
    rec.hits.clear();
    ASSERT_TRUE(Walk(finder, "nodrive", "*.bak", true));
    EXPECT_TRUE(rec.hits.empty());
    EXPECT_NE(w.errorLog().find("SearchDirs of Klassenmodul CFindFile"), std::string::npos);
    EXPECT_EQ(rec.ends, 2);
}

TEST(CFindFile, TheFinderIsReusableWithNewProperties) {
    DiskWorld w;
    TempDir one, two;
    Touch(one / "a.bak");
    Touch(two / "b.tmp");
    fs::create_directory(two / "sub");
    Touch(two / "sub/c.tmp");
    CFindFile finder;
    Recorder rec(finder);
    ASSERT_TRUE(Walk(finder, one.path() + "/", "*.bak", false));
    ASSERT_TRUE(Walk(finder, two.path() + "/", "*.tmp", true));
    ASSERT_TRUE(Walk(finder, two.path() + "/", "*.tmp", false));
    EXPECT_EQ(rec.hits, (std::vector<std::string>{one / "a.bak", two / "b.tmp", two / Below("sub/c.tmp"), two / "b.tmp"}));
    EXPECT_EQ(rec.begins, 3);
    EXPECT_EQ(rec.ends, 3);
    EXPECT_EQ(rec.counts, (std::vector<std::int32_t>{1, 2, 1}));
}

TEST(CFindFile, ChangingPathDuringAWalkDoesNotDisturbIt) {
    DiskWorld w;
    TempDir tree;
    Touch(tree / "a.bak");
    fs::create_directory(tree / "sub");
    Touch(tree / "sub/b.bak");
    CFindFile finder;
    Recorder rec(finder);
    rec.onHit = [&](std::string&, bool&) { finder.Path("/nonexistent-elsewhere/"); };
    ASSERT_TRUE(Walk(finder, tree.path() + "/", "*.bak", true));
    EXPECT_EQ(rec.hits, (std::vector<std::string>{tree / "a.bak", tree / Below("sub/b.bak")}));
}

// The unattended run on a real folder tree: only what the user chose goes.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include <filesystem>
#include <fstream>

#include "base/Runtime.h"
#include "base/Task.h"
#include "base/Varn_Registry.h"
#include "cleaner/Varn_CleanSettings.h"
#include "cleaner/frmCleanNow.h"
#include "platform/posix/PosixFileSystem.h"
#include "support/EnvOverride.h"
#include "support/TestSupport.h"
#include "support/TestWorld.h"

using namespace nocturo;
namespace fs = std::filesystem;

namespace {

struct RealTree {
    test::TempDir dir;
    test::EnvOverride dataHome{"XDG_DATA_HOME", dir / "share"};
    platform::PosixFileSystem files;
    test::MapRegistry reg;
    test::FakeSystemInfo sys;
    test::FixedClock clk;
    test::CountingLoop loop;
    Runtime runtime;
    std::unique_ptr<RuntimeScope> scope;
    std::string clean, outside;

    RealTree() {
        sys.programDir = dir / "bin";
        fs::create_directories(sys.programDir);
        fs::create_directories(dir / "Common");  // a self-contained copy
        runtime.pf.files = &files;
        runtime.pf.registry = &reg;
        runtime.pf.system = &sys;
        runtime.pf.clock = &clk;
        runtime.pf.loop = &loop;
        runtime.cleanUnattended = true;
        scope = std::make_unique<RuntimeScope>(runtime);
        clean = dir / "clean/";
        outside = dir / "outside/";
        for (const auto& f : {clean + "a.bak", clean + ".hidden.bak", clean + "keep.txt", clean + "ro.bak",
                              clean + ".dotdir/inner.bak", clean + "sub/deep.bak", outside + "x.bak",
                              outside + "target.bak"}) {
            fs::create_directories(fs::path(f).parent_path());
            std::ofstream(f) << "data";
        }
        chmod((clean + "ro.bak").c_str(), 0444);
        fs::create_directory_symlink(outside, clean + "linkdir");
        fs::create_symlink(outside + "target.bak", clean + "link.bak");
        WriteSetting(CleanerApp(), kSettings, "CleanDirs", ";" + clean + ";");
        WriteSetting(FolderApp(clean), kSettings, "chkInclSubDirs", 1);
    }
    bool exists(const std::string& p) { return fs::symlink_status(p).type() != fs::file_type::not_found; }
};

}  // namespace

TEST(CleanNowOnDisk, DeletesMatchesForGoodButNeverFollowsALinkOutOfTheTree) {
    RealTree t;
    WriteSetting(FolderApp(t.clean), kSettings, "chkDelType", 0);
    frmCleanNow f;
    f.Form_Load();
    EXPECT_FALSE(t.exists(t.clean + "a.bak"));
    EXPECT_FALSE(t.exists(t.clean + ".hidden.bak"));
    EXPECT_FALSE(t.exists(t.clean + "ro.bak"));  // read-only is no protection from the owner
    EXPECT_FALSE(t.exists(t.clean + "sub/deep.bak"));
    EXPECT_FALSE(t.exists(t.clean + "link.bak"));         // the link itself goes ...
    EXPECT_TRUE(t.exists(t.outside + "target.bak"));      // ... never its target
    EXPECT_TRUE(t.exists(t.outside + "x.bak"));           // the linked folder is not entered
    EXPECT_TRUE(t.exists(t.clean + "linkdir"));
    EXPECT_TRUE(t.exists(t.clean + ".dotdir/inner.bak"));  // dot folders are not entered
    EXPECT_TRUE(t.exists(t.clean + "keep.txt"));
    EXPECT_TRUE(t.exists(t.clean + "sub"));
    const std::string log = test::ReadWholeFile(t.dir / "bin/DiskCleaner.log");
    EXPECT_NE(log.find("deleted : " + t.clean + "a.bak\n"), std::string::npos) << log;
    EXPECT_EQ(f.FilesDeleted, 5);
}

TEST(CleanNowOnDisk, TheRecycleBinKeepsWhatCanBeRestored) {
    RealTree t;
    frmCleanNow f;
    f.Form_Load();
    EXPECT_FALSE(t.exists(t.clean + "a.bak"));
    EXPECT_TRUE(t.exists(t.dir / "share/Trash/files/a.bak"));
    const std::string info = test::ReadWholeFile(t.dir / "share/Trash/info/a.bak.trashinfo");
    EXPECT_NE(info.find("Path=" + t.clean + "a.bak"), std::string::npos) << info;
    EXPECT_TRUE(t.exists(t.outside + "x.bak"));
    EXPECT_TRUE(t.exists(t.outside + "target.bak"));
}

// ---- a tree that changes under the run ----------------------------------------------

namespace {

// Runs the cleaning to its end (its steps wait for turns of the loop).
void RunToEnd(RealTree& t, frmCleanNow& f) {
    f.Form_Load();
    for (int i = 0; i < 100000 && f.running(); ++i) t.loop.yield();
    ASSERT_FALSE(f.running());
}

// clean/sub with files, and outside/ holding files of the same names.
void SubAndOutside(RealTree& t, int files) {
    fs::create_directories(t.clean + "sub");
    for (int i = 0; i < files; ++i) {
        std::ofstream(t.clean + "sub/f" + std::to_string(i) + ".bak") << "mine";
        std::ofstream(t.outside + "f" + std::to_string(i) + ".bak") << "not mine";
    }
    std::ofstream(t.outside + "victim.bak") << "not mine";
}

// Each file of outside/ with what it holds.
std::vector<std::string> OutsideContents(RealTree& t) {
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(t.outside))
        files.push_back(e.path().filename().string() + "=" + test::ReadWholeFile(e.path().string()));
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::string> OutsideFiles(RealTree& t) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(t.outside)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(CleanNowOnDisk, AFolderSwappedForALinkAfterTheSearchLeadsNowhereElse) {
    for (const int toBin : {0, 1}) {
        SCOPED_TRACE(toBin ? "into the trash" : "for good");
        RealTree t;
        SubAndOutside(t, 20);
        WriteSetting(FolderApp(t.clean), kSettings, "chkDelType", toBin);
        const auto before = OutsideFiles(t);
        frmCleanNow f;
        // Right after the first deletion, sub becomes a link to outside/.
        bool swapped = false;
        f.setChangeListener([&](const std::string& what) {
            if (what != "LblStatus" || swapped || f.LblStatus.caption().rfind("Deleted", 0) != 0) return;
            swapped = true;
            fs::rename(t.clean + "sub", t.dir / "sub.gone");
            fs::create_directory_symlink(t.outside, t.clean + "sub");
        });
        RunToEnd(t, f);
        ASSERT_TRUE(swapped);
        EXPECT_EQ(OutsideFiles(t), before);  // nothing outside changed
        // The files behind the swapped folder could not be reached: each is
        // a failure, logged with its reason, and counted.
        EXPECT_GT(f.FilesFailed, 15);
        EXPECT_EQ(f.FilesDeleted + f.FilesFailed, f.FilesFound);
        const std::string log = test::ReadWholeFile(t.dir / "bin/DiskCleaner.log");
        EXPECT_NE(log.find("not deleted : " + t.clean + "sub/f"), std::string::npos) << log;
        EXPECT_NE(log.find("is no longer the folder it was found as"), std::string::npos) << log;
        EXPECT_NE(test::ReadWholeFile(t.dir / "Common/error.log").find("DeleteFiles of Formular frmCleanNow"),
                  std::string::npos);
        EXPECT_NE(f.LblStatus.caption().find(" failed"), std::string::npos);
    }
}

TEST(CleanNowOnDisk, ARacingSwapOfTheFolderNeverReachesOutside) {
    // A second thread swaps sub for a link and back as fast as it can while
    // the run deletes; whatever the moment, nothing outside may go.
    for (int attempt = 0; attempt < 200; ++attempt) {
        RealTree t;
        SubAndOutside(t, 12);
        WriteSetting(FolderApp(t.clean), kSettings, "chkDelType", attempt % 2);
        const auto before = OutsideFiles(t);
        std::atomic<bool> stop{false};
        std::thread swapper([&] {
            const std::string sub = t.clean + "sub", kept = t.dir / "sub.kept";
            for (int i = 0; !stop; ++i) {
                std::error_code ec;
                if (i % 2 == 0) {
                    fs::rename(sub, kept, ec);
                    fs::create_directory_symlink(t.outside, sub, ec);
                } else {
                    fs::remove(sub, ec);  // the link
                    fs::rename(kept, sub, ec);
                }
            }
            std::error_code ec;
            if (fs::is_symlink(fs::symlink_status(sub, ec))) fs::remove(sub, ec);
            if (fs::exists(kept, ec)) fs::rename(kept, sub, ec);
        });
        frmCleanNow f;
        RunToEnd(t, f);
        stop = true;
        swapper.join();
        ASSERT_EQ(OutsideFiles(t), before) << "attempt " << attempt;
    }
}

// The confirmed run (nocturoctl clean): the list is made, the folders let
// go, a question waits; meanwhile the chosen folder is swapped. What is then
// deleted is what was listed and nothing else, through folders that are
// still the ones listed.
TEST(CleanNowOnDisk, TheChosenFolderSwappedBetweenListAndDeleteLosesNothingOutside) {
    const struct {
        const char* what;
        bool link;  // a link to outside/, or outside/ itself renamed into its place
    } swaps[] = {{"for a link", true}, {"for another real folder", false}};
    for (const auto& swap : swaps) {
        SCOPED_TRACE(swap.what);
        RealTree t;
        SubAndOutside(t, 30);
        WriteSetting(FolderApp(t.clean), kSettings, "chkDelType", 0);
        // outside/ holds files of every listed name.
        for (const char* name : {"a.bak", "ro.bak", "link.bak", ".hidden.bak"}) std::ofstream(t.outside + name) << "not mine";
        frmCleanNow f;
        f.TxtPaths.setText(";" + t.clean + ";");
        Task search = f.SearchFiles(false, false);
        search.start("DeleteFiles of Formular frmCleanNow");
        ASSERT_EQ(f.FilesFound, 35);  // a, .hidden, ro, link and sub's 30 plus deep.bak
        // One record per folder on the way, not per file.
        EXPECT_EQ(f.folders().size(), 2u);
        const auto before = OutsideContents(t);
        const std::string top = t.dir / "clean", kept = t.dir / "clean.kept";
        fs::rename(top, kept);
        if (swap.link) {
            fs::create_directory_symlink(t.outside, top);
        } else {
            fs::rename(t.dir / "outside", top);
            fs::create_directory_symlink(top, t.dir / "outside");  // outside/ still shows what it holds
        }
        std::vector<std::string> refused;
        f.onNotDeleted = [&](const std::string& file, const std::string& reason) {
            refused.push_back(file);
            EXPECT_NE(reason.find(t.clean + " is no longer the folder it was found as"), std::string::npos) << reason;
        };
        Task removal = f.RemoveListed(false);
        removal.start("DeleteFiles of Formular frmCleanNow");
        EXPECT_EQ(OutsideContents(t), before);
        EXPECT_EQ(f.FilesDeleted, 0);
        EXPECT_EQ(f.FilesFailed, 35);
        EXPECT_EQ(refused.size(), 35u);
        EXPECT_TRUE(t.exists(kept + "/a.bak"));  // and what was listed is not lost either
        EXPECT_TRUE(t.exists(kept + "/sub/f0.bak"));
    }
}

TEST(CleanNowOnDisk, AChosenFolderThatIsALinkIsNotSearched) {
    RealTree t;
    fs::create_directory_symlink(t.outside, t.dir / "via-link");
    const std::string chosen = t.dir / "via-link/";
    WriteSetting(CleanerApp(), kSettings, "CleanDirs", ";" + chosen + ";");
    WriteSetting(FolderApp(chosen), kSettings, "chkDelType", 0);
    frmCleanNow f;
    std::string said;
    f.onFolderNotSearched = [&](const std::string& folder, const std::string& reason) { said = folder + ": " + reason; };
    RunToEnd(t, f);
    EXPECT_EQ(f.FilesFound, 0);
    EXPECT_TRUE(t.exists(t.outside + "x.bak"));
    EXPECT_TRUE(t.exists(t.outside + "target.bak"));
    EXPECT_EQ(said, chosen + ": it is a symbolic link, which is not followed");
}

TEST(CleanNowOnDisk, TheUnattendedRunWorksThroughTheChosenFolderItOpenedOnce) {
    // The chosen folder itself swapped for a link and back as fast as can
    // be while the unattended run searches and deletes: nothing outside goes.
    for (int attempt = 0; attempt < 60; ++attempt) {
        RealTree t;
        SubAndOutside(t, 12);
        for (const char* name : {"a.bak", "ro.bak"}) std::ofstream(t.outside + name) << "not mine";
        WriteSetting(FolderApp(t.clean), kSettings, "chkDelType", attempt % 2);
        const auto before = OutsideContents(t);
        std::atomic<bool> stop{false};
        const std::string top = t.dir / "clean", kept = t.dir / "clean.kept";
        std::thread swapper([&] {
            for (int i = 0; !stop; ++i) {
                std::error_code ec;
                if (i % 2 == 0) {
                    fs::rename(top, kept, ec);
                    fs::create_directory_symlink(t.outside, top, ec);
                } else {
                    fs::remove(top, ec);  // the link
                    fs::rename(kept, top, ec);
                }
            }
            std::error_code ec;
            if (fs::is_symlink(fs::symlink_status(top, ec))) fs::remove(top, ec);
            if (fs::exists(kept, ec)) fs::rename(kept, top, ec);
        });
        frmCleanNow f;
        RunToEnd(t, f);
        stop = true;
        swapper.join();
        ASSERT_EQ(OutsideContents(t), before) << "attempt " << attempt;
    }
}

TEST(CleanNowOnDisk, AFileReplacedAfterTheSearchIsNotDeletedAndTheLogsSayWhy) {
    RealTree t;
    WriteSetting(FolderApp(t.clean), kSettings, "chkDelType", 0);
    frmCleanNow f;
    bool replaced = false;
    f.setChangeListener([&](const std::string& what) {
        if (what != "LblStatus" || replaced || f.LblStatus.caption().rfind("Found", 0) != 0) return;
        if (f.ListView1.listCount() < 3) return;
        // The search has listed a.bak; another file now takes its name.
        replaced = true;
        // (made beside it first: a file made after the removal could get the
        // old one's inode number again)
        std::ofstream(t.clean + "a.bak.new") << "a new file of the same name";
        fs::rename(t.clean + "a.bak.new", t.clean + "a.bak");
    });
    RunToEnd(t, f);
    ASSERT_TRUE(replaced);
    EXPECT_TRUE(t.exists(t.clean + "a.bak"));
    EXPECT_EQ(f.FilesFailed, 1);
    const std::string log = test::ReadWholeFile(t.dir / "bin/DiskCleaner.log");
    EXPECT_NE(log.find("not deleted : " + t.clean + "a.bak (" ), std::string::npos) << log;
    EXPECT_NE(log.find("not the file that was found"), std::string::npos) << log;
    EXPECT_EQ(log.find("deleted : " + t.clean + "a.bak\n"), std::string::npos) << log;
}

TEST(CleanNowOnDisk, TheZeroLengthPassTakesRegularFilesOnly) {
    RealTree t;
    WriteSetting(FolderApp(t.clean), kSettings, "chkDelType", 0);
    WriteSetting(FolderApp(t.clean), kSettings, "chkZeroFiles", 1);
    WriteSetting(FolderApp(t.clean), kSettings, "ExtList", std::string("*.none;"));
    std::ofstream(t.clean + "empty.txt").flush();
    ASSERT_EQ(mkfifo((t.clean + "pipe").c_str(), 0600), 0);
    const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string socketPath = t.clean + "agent.sock";
    ASSERT_LT(socketPath.size(), sizeof addr.sun_path);
    std::strcpy(addr.sun_path, socketPath.c_str());
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    std::ofstream(t.outside + "empty-target").flush();
    fs::create_symlink(t.outside + "empty-target", t.clean + "emptylink");
    frmCleanNow f;
    RunToEnd(t, f);
    close(sock);
    EXPECT_FALSE(t.exists(t.clean + "empty.txt"));
    EXPECT_TRUE(t.exists(t.clean + "pipe"));
    EXPECT_TRUE(t.exists(socketPath));
    EXPECT_TRUE(t.exists(t.clean + "emptylink"));
    EXPECT_TRUE(t.exists(t.outside + "empty-target"));
}

TEST(CleanNowOnDisk, ATreeDeeperThanAPathCanSayIsCleanedToItsBottom) {
    RealTree t;
    WriteSetting(FolderApp(t.clean), kSettings, "chkDelType", 0);
    // 300 levels of 20-character names: paths of 6,300 bytes, beyond PATH_MAX.
    int fd = open(t.clean.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    const std::string name(20, 'd');
    int files = 0;
    for (int level = 0; level < 300; ++level) {
        ASSERT_EQ(mkdirat(fd, name.c_str(), 0700), 0) << level;
        const int sub = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
        close(fd);
        fd = sub;
        ASSERT_GE(fd, 0);
        if (level % 50 == 49 || level == 299) {
            const int file = openat(fd, "deep.bak", O_WRONLY | O_CREAT, 0600);
            ASSERT_GE(file, 0);
            close(file);
            ++files;
        }
    }
    frmCleanNow f;
    RunToEnd(t, f);
    // The bottom one too.
    EXPECT_EQ(faccessat(fd, "deep.bak", F_OK, 0), -1);
    close(fd);
    EXPECT_EQ(f.FilesFailed, 0);
    EXPECT_EQ(f.FilesDeleted, 5 + files);  // a.bak, .hidden.bak, ro.bak, link.bak, sub/deep.bak, the deep ones
}

TEST(CleanNowOnDisk, ANewlineInANameCannotForgeALogLine) {
    RealTree t;
    WriteSetting(FolderApp(t.clean), kSettings, "chkDelType", 0);
    const std::string evil = "x\ndeleted : passwd\n.bak";
    std::ofstream(t.clean + evil) << "data";
    frmCleanNow f;
    RunToEnd(t, f);
    EXPECT_FALSE(t.exists(t.clean + evil));
    const std::string log = test::ReadWholeFile(t.dir / "bin/DiskCleaner.log");
    EXPECT_EQ(log.find("\ndeleted : passwd"), std::string::npos) << log;
    EXPECT_NE(log.find("deleted : " + t.clean + "x\\ndeleted : passwd\\n.bak\n"), std::string::npos) << log;
}

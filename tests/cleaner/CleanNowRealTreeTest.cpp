// The unattended run on a real folder tree: only what the user chose goes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "base/Runtime.h"
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

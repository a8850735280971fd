// The cleaning run: its steps, questions, the files it lists and deletes.
#include <gtest/gtest.h>

#include "base/Varn_Registry.h"
#include "cleaner/Varn_CleanSettings.h"
#include "cleaner/frmCleanNow.h"
#include "platform/IDialogs.h"
#include "shell/FrmMain.h"
#include "support/SimWorld.h"

using namespace nocturo;
using nocturo::test::SimWorld;

namespace {

const char* kTemp = "C:\\Windows\\temp\\";

struct Cleaning {
    SimWorld w;
    Cleaning() {
        w.fs.addFile("C:\\Windows\\temp\\a.bak", "x");
        w.fs.addFile("C:\\Windows\\temp\\b.BAK", "xy");
        w.fs.addFile("C:\\Windows\\temp\\keep.txt", "z");
        w.fs.addFile("C:\\Windows\\temp\\sub\\deep.bak", "z");
    }
    std::vector<std::string> questions() const {
        std::vector<std::string> q;
        for (const auto& e : w.journal.entries())
            if (e.at("call").asString() == "MessageBox") q.push_back(e.at("prompt").asString());
        return q;
    }
    std::string cleanerLog() { return w.fs.readFile("C:\\Program Files\\Nocturo\\bin\\DiskCleaner.log").value_or(""); }
};

std::vector<long> markers(const frmCleanNow& f) {
    std::vector<long> out;
    for (const auto& s : f.shpSteps) out.push_back(s->fillColor());
    return out;
}

}  // namespace

TEST(CleanNow, InteractiveWithNoOptionAsksOnlyAboutTheFilteredFilesAndListsNothingOnNo) {
    Cleaning r;
    r.w.dialogs.pushAnswer(platform::mb::IdNo);
    frmCleanNow f;
    f.Form_Load();
    r.w.loop.runFor(0);  // the run goes on as the loop turns
    EXPECT_EQ(r.questions(), (std::vector<std::string>{"Do you really want to delete filtered files?"}));
    EXPECT_EQ(r.w.last("MessageBox")->at("buttons").asNumber(), 0x1023);
    EXPECT_EQ(f.ListView1.listCount(), 0);
    EXPECT_EQ(f.shpSteps[9]->fillColor(), frmCleanNow::kGreen);
    EXPECT_TRUE(f.lblSteps[9]->bold());
    EXPECT_EQ(f.shpSteps[4]->fillColor(), frmCleanNow::kGrey);
    EXPECT_FALSE(f.busy);
}

TEST(CleanNow, InteractiveYesListsTheFilesAndDeletesNothing) {
    Cleaning r;
    r.w.dialogs.pushAnswer(platform::mb::IdYes);
    frmCleanNow f;
    f.Form_Load();
    r.w.loop.runFor(0);  // the run goes on as the loop turns
    EXPECT_EQ(f.ListView1.items(), (std::vector<std::string>{"C:\\Windows\\temp\\a.bak", "C:\\Windows\\temp\\b.BAK"}));
    EXPECT_EQ(f.LblStatus.caption(), "Found 2 Files");
    EXPECT_TRUE(r.w.fs.exists("C:\\Windows\\temp\\a.bak"));
    EXPECT_EQ(r.w.count("DeleteFile") + static_cast<int>(r.w.fs.recycled.size()), 0);
}

TEST(CleanNow, CancelToAQuestionJumpsToFinishKeepingTheAskingStepGreen) {
    Cleaning r;
    WriteSetting(CleanerApp(), kSettings, "chkEmptyRecycleBin", 1);
    WriteSetting(CleanerApp(), kSettings, "chkDelRunHistory", 1);
    r.w.dialogs.pushAnswer(platform::mb::IdCancel);
    frmCleanNow f;
    f.Form_Load();
    r.w.loop.runFor(0);  // the run goes on as the loop turns
    EXPECT_EQ(r.questions().size(), 1u);
    auto m = markers(f);
    EXPECT_EQ(m[1], frmCleanNow::kGreen);
    EXPECT_EQ(m[9], frmCleanNow::kGreen);
    EXPECT_EQ(m[2], frmCleanNow::kGrey);
    EXPECT_EQ(r.w.fs.recycleBinEmptied, 0);
}

TEST(CleanNow, UnattendedDeletesTheMatchesIntoTheRecycleBinAndLogsEach) {
    Cleaning r;
    r.w.runtime.cleanUnattended = true;
    frmCleanNow f;
    f.Form_Load();
    r.w.loop.runFor(0);  // the run goes on as the loop turns
    EXPECT_TRUE(r.questions().empty());
    EXPECT_EQ(r.w.fs.recycled, (std::vector<std::string>{"C:\\Windows\\temp\\a.bak", "C:\\Windows\\temp\\b.BAK"}));
    EXPECT_TRUE(r.w.fs.exists("C:\\Windows\\temp\\sub\\deep.bak"));  // subfolders are not searched
    EXPECT_TRUE(r.w.fs.exists("C:\\Windows\\temp\\keep.txt"));
    EXPECT_EQ(r.cleanerLog(), "deleted : C:\\Windows\\temp\\a.bak\r\ndeleted : C:\\Windows\\temp\\b.BAK\r\n");
    EXPECT_EQ(f.LblStatus.caption(), "Deleted 2 of 2 Files");
    EXPECT_EQ(f.lblActualSearchPath.caption(), "All files deleted");
}

TEST(CleanNow, EachFolderUsesItsOwnSpecificationsSubfoldersAndDeleteType) {
    Cleaning r;
    r.w.fs.addFile("D:\\junk\\x.tmp", "1");
    r.w.fs.addFile("D:\\junk\\inner\\y.tmp", "1");
    r.w.fs.addFile("D:\\junk\\z.bak", "1");
    WriteSetting(CleanerApp(), kSettings, "CleanDirs", std::string(";C:\\Windows\\temp\\; ;;D:\\junk\\;"));
    WriteSetting(FolderApp("D:\\junk\\"), kSettings, "ExtList", std::string(";*.tmp;"));
    WriteSetting(FolderApp("D:\\junk\\"), kSettings, "chkInclSubDirs", 1);
    WriteSetting(FolderApp("D:\\junk\\"), kSettings, "chkDelType", 0);
    WriteSetting(CleanerApp(), kSettings, "chkLog", 0);
    r.w.runtime.cleanUnattended = true;
    frmCleanNow f;
    f.Form_Load();
    r.w.loop.runFor(0);  // the run goes on as the loop turns
    EXPECT_EQ(r.w.fs.recycled, (std::vector<std::string>{"C:\\Windows\\temp\\a.bak", "C:\\Windows\\temp\\b.BAK"}));
    EXPECT_FALSE(r.w.fs.exists("D:\\junk\\x.tmp"));        // deleted for good
    EXPECT_FALSE(r.w.fs.exists("D:\\junk\\inner\\y.tmp"));
    EXPECT_TRUE(r.w.fs.exists("D:\\junk\\z.bak"));          // not a specification of that folder
    EXPECT_EQ(r.cleanerLog(), "");
}

TEST(CleanNow, ZeroLengthFilesMatchedTwiceAreCountedTwice) {
    Cleaning r;
    r.w.fs.addFile("C:\\Windows\\temp\\empty.bak", "");
    WriteSetting(FolderApp(kTemp), kSettings, "chkZeroFiles", 1);
    r.w.runtime.cleanUnattended = true;
    frmCleanNow f;
    f.Form_Load();
    r.w.loop.runFor(0);  // the run goes on as the loop turns
    EXPECT_EQ(f.FilesFound, 4);
    EXPECT_EQ(f.FilesDeleted, 4);
    EXPECT_EQ(f.LblStatus.caption(), "Deleted 4 of 4 Files");
}

TEST(CleanNow, FoldersAndDotEntriesAreNeverListed) {
    Cleaning r;
    WriteSetting(FolderApp(kTemp), kSettings, "ExtList", std::string("*.*;"));
    r.w.runtime.cleanUnattended = true;
    frmCleanNow f;
    f.Form_Load();
    r.w.loop.runFor(0);  // the run goes on as the loop turns
    for (const auto& path : r.w.fs.recycled) {
        EXPECT_NE(path.substr(path.size() - 2), "\\.") << path;
        EXPECT_NE(path, "C:\\Windows\\temp\\sub");
    }
    EXPECT_TRUE(r.w.fs.folderExists("C:\\Windows\\temp\\sub"));
    EXPECT_EQ(r.w.fs.recycled.size(), 3u);
}

TEST(CleanNow, TheSystemStepsClearTheirKeysAndTheBinWhenTicked) {
    Cleaning r;
    for (const char* o : {"chkEmptyRecycleBin", "chkDelRecentDocuList", "chkDelRunHistory", "chkClearIEhistory",
                          "chkEmptyIEcache", "chkEmptyWindowsTemp"})
        WriteSetting(CleanerApp(), kSettings, o, 1);
    CreateKey("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU\\a", "notepad");
    CreateKey("HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\TypedURLs\\url1", "http://x");
    r.w.runtime.cleanUnattended = true;
    frmCleanNow f;
    f.Form_Load();
    r.w.loop.runFor(0);  // the run goes on as the loop turns
    EXPECT_EQ(r.w.fs.recycleBinEmptied, 1);
    EXPECT_EQ(r.w.fs.recentDocumentsCleared, 1);
    EXPECT_FALSE(r.w.reg.exists("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU\\a"));
    EXPECT_FALSE(r.w.reg.exists("HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\TypedURLs\\url1"));
}

// On Linux the steps that only Windows has, or that Linux does not do yet,
// are skipped even when a stored setting has them on: no question, no mark.
TEST(CleanNow, OnLinuxTheStepsItDoesNotDoAreNeitherAskedNorMarked) {
    SimWorld w(platform::PathStyle::Posix);
    for (const char* o : {"chkDelRunHistory", "chkClearIEhistory", "chkEmptyIEcache", "chkEmptyWindowsTemp"})
        WriteSetting(CleanerApp(), kSettings, o, 1);
    WriteSetting(FolderApp("/tmp/"), kSettings, "chkDelEmptyDir", 1);
    w.dialogs.pushAnswer(platform::mb::IdNo);  // the filtered files
    frmCleanNow f;
    f.Form_Load();
    w.loop.runFor(0);
    std::vector<std::string> asked;
    for (const auto& e : w.journal.entries())
        if (e.at("call").asString() == "MessageBox") asked.push_back(e.at("prompt").asString());
    EXPECT_EQ(asked, (std::vector<std::string>{"Do you really want to delete filtered files?"}));
    for (int step : {3, 5, 6, 7, 8}) EXPECT_EQ(f.shpSteps[static_cast<size_t>(step)]->fillColor(), frmCleanNow::kGrey) << step;
}

TEST(CleanNow, CancelDuringTheSearchStopsItButListedFilesAreStillDeleted) {
    Cleaning r;
    r.w.runtime.cleanUnattended = true;
    frmCleanNow f;
    // Cancel as soon as the first file is listed.
    f.setChangeListener([&](const std::string& what) {
        if (what == "ListView1" && f.ListView1.listCount() == 1 && !f.CancelRequested) f.cmdCancel_Click();
    });
    f.Form_Load();
    r.w.loop.runFor(0);  // the run goes on as the loop turns
    EXPECT_EQ(r.w.fs.recycled.size(), 1u);
    EXPECT_EQ(f.shpSteps[9]->fillColor(), frmCleanNow::kGreen);
}

TEST(CleanNow, TheMainWindowRunsTheCleanerBeforeTheActionUnattended) {
    Cleaning r;
    FrmMain main;
    main.Form_Load();
    main.chkCleanHD.setValue(1);
    main.txtCounter.setText("0");
    main.cmdGo_Click();
    EXPECT_TRUE(main.actionRunning());
    r.w.loop.runFor(5000);
    EXPECT_EQ(r.w.fs.recycled.size(), 2u);
    EXPECT_FALSE(r.w.runtime.cleanUnattended);
    EXPECT_EQ(r.w.count("ExitWindowsEx"), 1);
    EXPECT_TRUE(main.visible());
}

TEST(CleanNow, OnLinuxTheWindowsHistoriesAreNotPretendedToBeCleared) {
    SimWorld w(platform::PathStyle::Posix);
    for (const char* o : {"chkDelRunHistory", "chkClearIEhistory", "chkEmptyRecycleBin"})
        WriteSetting(CleanerApp(), kSettings, o, 1);
    CreateKey("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU\\a", "notepad");
    w.runtime.cleanUnattended = true;
    frmCleanNow f;
    f.Form_Load();
    w.loop.runFor(0);
    EXPECT_EQ(w.fs.recycleBinEmptied, 1);
    EXPECT_TRUE(w.reg.exists("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU\\a"));
}

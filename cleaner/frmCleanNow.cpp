#include "cleaner/frmCleanNow.h"

#include <algorithm>
#include <set>

#include "base/InstallLayout.h"
#include "base/Runtime.h"
#include "base/Strings.h"
#include "base/Variant.h"
#include "base/Varn_ErrorLog.h"
#include "base/Varn_Registry.h"
#include "base/Varn_WriteLogfile.h"
#include "cleaner/CFindFile.h"
#include "cleaner/Varn_CleanSettings.h"
#include "cleaner/Varn_Del2RecycleBin.h"
#include "base/Varn_File_Dir.h"
#include "platform/IDialogs.h"
#include "platform/Error.h"
#include "platform/IFileSystem.h"

namespace nocturo {

namespace {

struct StepInfo {
    const char* caption;
    const char* option;  // "" : always active
    const char* question;
    void (*operation)();
};

void deleteFilesPlaceholder() {}

const StepInfo kStepInfo[frmCleanNow::kSteps] = {
    {"Start", "", "", nullptr},
    {"Empty recycle bin", "chkEmptyRecycleBin", "Do you really want to empty the recycle bin?", &frmCleanNow::EmptyRecycleBin},
    {"Clear recent document list", "chkDelRecentDocuList", "Do you really want to clear recent document list?",
     &frmCleanNow::ClearDocuments},
    {"Clear run history", "chkDelRunHistory", "Do you really want to clear run history list?", &frmCleanNow::ClearRunHistory},
    {"Delete filtered files", "", "Do you really want to delete filtered files?", &deleteFilesPlaceholder},
    {"Delete empty folders", "chkDelEmptyDir", "Do you really want to delete empty folders?", &frmCleanNow::DeleteEmptyFolders},
    {"Empty internet cache", "chkEmptyIEcache", "Do you really want to empty the internet cache?",
     &frmCleanNow::EmptyInternetCache},
    {"Clear IE history", "chkClearIEhistory", "Do you really want to the internet explorer history?",
     &frmCleanNow::ClearIEHistory},
    {"Empty Windows temp dir", "chkEmptyWindowsTemp", "Do you really want to the Windows temp directory?",
     &frmCleanNow::EmptyWindowsTemp},
    {"Finish", "", "", nullptr},
};

constexpr const char* kRunMRU = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU";
constexpr const char* kTypedURLs = "HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\TypedURLs";

void clearKey(const char* key) {
    try {
        registry().deleteKey(key);
        registry().createKey(key);
    } catch (...) {
    }
}

std::string proc(const char* name) { return std::string(name) + " of Formular frmCleanNow"; }

}  // namespace

frmCleanNow::frmCleanNow() : Form("frmCleanNow") {
    setCaption("Nocturo Disk Cleaner");
    setWidth(7200);
    setHeight(6000);
    for (int i = 0; i < kSteps; ++i) {
        shpSteps[static_cast<size_t>(i)] = std::make_unique<Shape>(this, "shpSteps", i);
        lblSteps[static_cast<size_t>(i)] = std::make_unique<BoldLabel>(this, "lblSteps", i);
        lblSteps[static_cast<size_t>(i)]->setCaption(kStepInfo[i].caption);
    }
    lblFileFilter.setCaption("File Filter");
    lblStartDir.setCaption("Search in Path");
    lblSearchResults.setCaption("Search Results");
    LblStatus.setCaption("Total: 0 Results");
    cmdCancel.setCaption("Cancel");

    // In twips: the steps down the left, where the search is on the right,
    // the files found below, the total and Cancel at the bottom.
    constexpr int line = 255, pitch = 315;
    for (int i = 0; i < kSteps; ++i) {
        const int top = 150 + i * pitch;
        shpSteps[static_cast<size_t>(i)]->setGeometry(150, top + 45, 165, 165);
        lblSteps[static_cast<size_t>(i)]->setGeometry(420, top, 2580, line);
    }
    constexpr int left = 3120, width = 7200 - 120 - left;
    lblFileFilter.setGeometry(left, 150, width, line);
    lblActualFileFilter.setGeometry(left + 150, 420, width - 150, line);
    lblStartDir.setGeometry(left, 780, width, line);
    TxtPaths.setGeometry(left + 150, 1050, width - 150, 330);
    lblActualStartDir.setGeometry(left + 150, 1440, width - 150, line);
    lblSearchResults.setGeometry(left, 1800, width, line);
    lblActualSearchPath.setGeometry(left + 150, 2070, width - 150, line);
    ListView1.setGeometry(150, 3420, 7200 - 270, 1800);
    LblStatus.setGeometry(150, 5340, 4500, line);
    cmdCancel.setGeometry(7200 - 120 - 1260, 5310, 1260, 345);
    TxtPaths.setEnabled(false);

    on("cmdCancel.Click", [this] { cmdCancel_Click(); });
    on("Form.Close", [this] { cmdCancel_Click(); });
}

void frmCleanNow::Form_Load() {
    const std::string p = "Form_Load of Formular Form1";
    setLoaded(true);
    Step(p.c_str(), 1, [&] { TxtPaths.setText(CStr(ReadSetting(CleanerApp(), kSettings, "CleanDirs", DefaultCleanDirs()))); });
    Step(p.c_str(), 2, [&] {
        lblActualFileFilter.setCaption(
            Trim(CStr(ReadSetting(CleanerApp(), kSettings, "ExtList", std::string(kDefaultExtList)))));
    });
    Step(p.c_str(), 3, [&] { setVisible(true); });
    CancelRequested = false;
    busy = true;
    run_ = DiskCleanNow();
    run_.start("DiskCleanNow of Formular frmCleanNow");
}

void frmCleanNow::Form_Unload() {
    setVisible(false);
    setLoaded(false);
}

void frmCleanNow::cmdCancel_Click() {
    // The run stops at its next step: between two files, never inside one.
    CancelRequested = true;
    Form_Unload();
}

bool frmCleanNow::stepActive(int index) const {
    const std::string option = kStepInfo[index].option;
    if (option.empty()) return true;
    // The run history and the Internet Explorer history are Windows's own.
    // The run history and the Internet Explorer history are Windows's own;
    // empty folders, the browser caches and the temp folder are not done on
    // Linux yet.
    if ((option == "chkDelRunHistory" || option == "chkClearIEhistory" || option == "chkDelEmptyDir" ||
         option == "chkEmptyIEcache" || option == "chkEmptyWindowsTemp") &&
        files().pathStyle() == platform::PathStyle::Posix)
        return false;
    if (option == "chkDelEmptyDir") {
        // A folder option: on when any listed folder has it on.
        for (const auto& folder : ListItems(TxtPaths.text()))
            if (CleanerOption(FolderApp(Trim(folder)), option, 0) == 1) return true;
        return false;
    }
    return CleanerOption(CleanerApp(), option, 0) == 1;
}

Task frmCleanNow::DiskCleanNow() {
    const std::string p = proc("DiskCleanNow");
    for (int index = 1; index <= 8; ++index) {
        if (CancelRequested) break;
        MoveIndex(index - 1, index);
        bool active = false;
        Step(p.c_str(), 3, [&] { active = stepActive(index); });
        if (!active) continue;
        if (!rt().cleanUnattended) {
            int answer = platform::mb::IdYes;
            Step(p.c_str(), 4, [&] {
                answer = dialogs().messageBox(
                    kStepInfo[index].question,
                    platform::mb::YesNoCancel | platform::mb::Question | platform::mb::SystemModal, "Warning");
            });
            if (answer == platform::mb::IdCancel || CancelRequested) break;
            if (answer != platform::mb::IdYes) continue;
        }
        if (index == 4) {
            Task deletion = DeleteFiles();
            co_await deletion;
        } else {
            try {
                kStepInfo[index].operation();
            } catch (...) {
                // The step operations ignore their failures.
            }
        }
        co_await NextTurn();
    }
    MoveIndex(8, 9);
    busy = false;
    if (onFinished) onFinished();
}

void frmCleanNow::MoveIndex(int from, int to) {
    Step(proc("MoveIndex").c_str(), 1, [&] {
        shpSteps.at(static_cast<size_t>(from))->setFillColor(kGrey);
        lblSteps.at(static_cast<size_t>(from))->setBold(false);
        shpSteps.at(static_cast<size_t>(to))->setFillColor(kGreen);
        lblSteps.at(static_cast<size_t>(to))->setBold(true);
    });
}

void frmCleanNow::listFile(const std::string& name, const CFindFile& finder) {
    const CFindFile::Hit& hit = finder.LastHit();
    // The records of the folders on its way, made for each folder once, when
    // its first file is listed.
    const std::size_t depth = finder.HitDepth();
    std::size_t same = 0;
    while (same < walkChain_.size() && same <= depth && walkChain_[same].first == finder.HitFolder(same).serial) ++same;
    walkChain_.resize(same);
    for (std::size_t i = same; i <= depth; ++i) {
        const CFindFile::FolderStep step = finder.HitFolder(i);
        const std::uint32_t parent = i == 0 ? kNone : walkChain_[i - 1].second;
        folders_.push_back(ListedFolder{step.id, parent, static_cast<std::uint32_t>(chosen_.size() - 1), step.name});
        walkChain_.emplace_back(step.serial, static_cast<std::uint32_t>(folders_.size() - 1));
    }
    const std::size_t nameAt = name.size() >= hit.entry.size() ? name.size() - hit.entry.size() : 0;
    listed_.push_back(Listed{hit.id, walkChain_.back().second, static_cast<std::uint32_t>(nameAt)});
    ListView1.addItem(name);
    lblActualSearchPath.setCaption("Found File: " + name);
    ++FilesFound;
    LblStatus.setCaption("Found " + std::to_string(FilesFound) + " Files");
}

Task frmCleanNow::SearchFiles(bool inSteps, bool holdFolders) {
    const std::string p = proc("DeleteFiles");
    auto step = [&](long line, auto&& f) { Step(p.c_str(), line, f); };
    CFindFile finder;
    step(1, [&] {
        ListView1.clear();
        listed_.clear();
        folders_.clear();
        chosen_.clear();
        walkChain_.clear();
        LblStatus.setCaption("Found 0 Files");
        FilesFound = 0;
        FilesDeleted = 0;
        FilesFailed = 0;
    });
    finder.FoundFile = [&](std::string& name, bool& cancel) {
        try {
            // Folders (and the "." and ".." entries) are never listed, so
            // never deleted; a link is listed as itself.
            if (finder.LastHit().kind != platform::EntryKind::Folder) listFile(name, finder);
        } catch (...) {
        }
        if (CancelRequested) cancel = true;
    };

    std::vector<std::string> folders;
    step(2, [&] {
        std::string delimiters;
        SplitList(TxtPaths.text(), delimiters, folders);
    });
    for (const auto& entry : folders) {
        const std::string folder = Trim(entry);
        if (folder.empty()) continue;
        if (CancelRequested) break;
        bool walking = false;
        step(2, [&] {
            // Each folder is searched with its own specifications and options.
            const std::string app = FolderApp(folder);
            chosen_.push_back(ChosenFolder{folder, CleanerOption(app, "chkDelType", 1) == 1, nullptr});
            walkChain_.clear();
            finder.Path(sFixDirString(folder));
            finder.FileSpec(Trim(CStr(ReadSetting(app, kSettings, "ExtList", std::string(kDefaultExtList)))));
            lblActualStartDir.setCaption(finder.Path());
            lblActualFileFilter.setCaption(finder.FileSpec());
            finder.InclSubDir(CleanerOption(app, "chkInclSubDirs", 0) != 0);
            finder.InclZeroFiles(CleanerOption(app, "chkZeroFiles", 0) != 0);
            walking = finder.StartFind();
            // Opened once, a link in its place refused: the deletion works
            // through this very folder.
            if (holdFolders) chosen_.back().held = finder.StartFolder();
            if (walking && !finder.StartFolder() && onFolderNotSearched) {
                const auto a = files().attributes(finder.Path().substr(0, finder.Path().size() - 1));
                if (a && (*a & platform::attr::ReparsePoint))
                    onFolderNotSearched(folder, "it is a symbolic link, which is not followed");
                else if (a)
                    onFolderNotSearched(folder, "it cannot be opened");
            }
        });
        // A few hundred entries at a time, the loop's turn in between.
        while (walking) {
            step(2, [&] { walking = finder.FindSome(inSteps ? kSearchBatch : 1 << 30); });
            if (!walking) break;
            co_await NextTurn();
            if (CancelRequested) finder.StopFind();
        }
    }
    walkChain_.clear();
}

bool frmCleanNow::toRecycleBin(int entry) const {
    const Listed& listed = listed_.at(static_cast<size_t>(entry));
    return chosen_.at(folders_.at(listed.folder).chosen).toBin;
}

platform::IFolder& frmCleanNow::reach(std::uint32_t folder) {
    // The way from the chosen folder down; the part shared with the last
    // file's way is not opened again.
    std::vector<std::uint32_t> way;
    for (std::uint32_t f = folder; f != kNone; f = folders_.at(f).parent) way.push_back(f);
    std::reverse(way.begin(), way.end());
    std::size_t same = 0;
    while (same < reached_.size() && same < way.size() && reached_[same].folder == way[same]) ++same;
    reached_.resize(same);
    for (std::size_t i = same; i < way.size(); ++i) {
        const ListedFolder& listed = folders_[way[i]];
        Reached r{way[i], nullptr, {}};
        if (i > 0 && !reached_[i - 1].open) {
            r.refused = reached_[i - 1].refused;  // what is below a refused folder is refused with it
        } else {
            const std::string shown = i == 0 ? listed.name : reached_[i - 1].open->path() + listed.name;
            try {
                std::shared_ptr<platform::IFolder> open;
                if (i == 0) {
                    open = chosen_.at(listed.chosen).held;
                    if (!open) open = files().openFolder(listed.name);  // never through a link
                } else {
                    open = reached_[i - 1].open->openFolder(listed.name);  // never through a link
                }
                const bool same = open && (!listed.id.known() || !open->id().known() || open->id() == listed.id);
                if (same) r.open = std::move(open);
                else r.refused = "Path not found: " + shown + " is no longer the folder it was found as";
            } catch (const std::exception& e) {
                std::string why = e.what();
                const std::string prefix = "Path not found: cannot open folder " + shown + ": ";
                if (why.rfind(prefix, 0) == 0) why.erase(0, prefix.size());
                r.refused = "Path not found: " + shown + " is no longer the folder it was found as (" + why + ")";
            }
        }
        reached_.push_back(std::move(r));
    }
    if (!reached_.back().open) throw platform::Error(platform::err::PathNotFound, reached_.back().refused);
    return *reached_.back().open;
}

Task frmCleanNow::DeleteFiles() {
    {
        Task search = SearchFiles(true, rt().cleanUnattended);
        co_await search;
    }
    if (rt().cleanUnattended) {
        Task removal = RemoveListed();
        co_await removal;
    }
    for (auto& c : chosen_) c.held.reset();
}

Task frmCleanNow::RemoveListed(bool inSteps) {
    const std::string p = proc("DeleteFiles");
    bool log = true;
    Step(p.c_str(), 3, [&] { log = CleanerOption(CleanerApp(), "chkLog", 1) == 1; });
    reached_.clear();
    // A file listed twice (empty and matching a pattern, both in its own
    // folder) is gone at its second turn: that is no failure.
    std::set<std::string> removedHere;
    std::uint32_t lastFolder = kNone;
    const int count = ListView1.listCount();
    // The files listed are deleted, even after a Cancel during the search.
    for (int k = 0; k < count && ListView1.listCount() > 0 && !listed_.empty(); ++k) {
        const std::string file = ListView1.item(0);
        const Listed entry = listed_.front();
        const std::string shown = EscapeControlChars(file);
        lblActualSearchPath.setCaption(file);
        try {
            const std::string name = file.substr(std::min<std::size_t>(entry.nameAt, file.size()));
            if (entry.folder != lastFolder) {
                removedHere.clear();
                lastFolder = entry.folder;
            }
            const std::string key =
                entry.id.known() ? std::to_string(entry.id.device) + ":" + std::to_string(entry.id.inode) : name;
            if (removedHere.count(key) == 0) {
                platform::IFolder& folder = reach(entry.folder);
                if (chosen_.at(folders_.at(entry.folder).chosen).toBin) folder.trashEntry(name, entry.id, file);
                else folder.deleteEntry(name, entry.id);
                removedHere.insert(key);
                if (log) WriteToLog(Layout().cleanerLogFolder, "deleted : " + shown, "DiskCleaner");
            }
            ++FilesDeleted;
        } catch (...) {
            // Gone, in use, read-only, or no longer the file that was
            // found (or behind a folder that is no longer the one): it
            // stays, and the logs say why.
            ++FilesFailed;
            const auto [number, reason] = CurrentErrorInfo();
            try {
                WriteToLog(Layout().cleanerLogFolder,
                           "not deleted : " + shown + " (" + EscapeControlChars(reason) + ")", "DiskCleaner");
            } catch (...) {
            }
            WriteErrorLog(kProductSource, p, 4, number, EscapeControlChars(reason));
            if (onNotDeleted) onNotDeleted(file, reason);
        }
        ListView1.removeItem(0);
        listed_.pop_front();
        std::string status = "Deleted " + std::to_string(FilesDeleted) + " of " + std::to_string(FilesFound) + " Files";
        if (FilesFailed > 0) status += ", " + std::to_string(FilesFailed) + " failed";
        LblStatus.setCaption(status);
        if (inSteps && (k + 1) % kDeleteBatch == 0) co_await NextTurn();
    }
    reached_.clear();
    for (auto& c : chosen_) c.held.reset();
    lblActualSearchPath.setCaption(FilesFailed > 0 ? "Some files could not be deleted" : "All files deleted");
}

void frmCleanNow::EmptyRecycleBin() {
    try {
        files().emptyRecycleBin();
    } catch (...) {
    }
}

void frmCleanNow::ClearDocuments() {
    try {
        files().clearRecentDocuments();
    } catch (...) {
    }
}

void frmCleanNow::ClearRunHistory() { clearKey(kRunMRU); }
void frmCleanNow::ClearIEHistory() { clearKey(kTypedURLs); }

}  // namespace nocturo

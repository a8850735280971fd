#pragma once
// The cleaning run window: eight steps between "Start" and "Finish", shown as
// a step indicator, with the list of the files found. Loading the window
// starts the run, a task on the event loop that goes on in small steps (a
// folder's entries a few hundred at a time, the deletions a few dozen at a
// time), so the window and its Cancel button stay alive meanwhile.
// Unattended (before a power action) nothing is asked and the files found are
// deleted; interactive, every step asks first and the files are only listed.
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Task.h"
#include "cleaner/CFindFile.h"
#include "controls/Controls.h"
#include "platform/IFileSystem.h"

namespace nocturo {

class frmCleanNow : public Form {
public:
    static constexpr int kSteps = 10;
    static constexpr long kGrey = 0x808080, kGreen = 0x00FF00;

    frmCleanNow();

    std::array<std::unique_ptr<Shape>, kSteps> shpSteps;
    std::array<std::unique_ptr<BoldLabel>, kSteps> lblSteps;
    TextBox TxtPaths{this, "TxtPaths"};
    ListBox ListView1{this, "ListView1"};
    Label lblFileFilter{this, "lblFileFilter"};
    Label lblActualFileFilter{this, "lblActualFileFilter"};
    Label lblStartDir{this, "lblStartDir"};
    Label lblActualStartDir{this, "lblActualStartDir"};
    Label lblSearchResults{this, "lblSearchResults"};
    Label lblActualSearchPath{this, "lblActualSearchPath"};
    Label LblStatus{this, "LblStatus"};
    CommandButton cmdCancel{this, "cmdCancel"};

    bool CancelRequested = false;
    std::int32_t FilesFound = 0;
    std::int32_t FilesDeleted = 0;
    std::int32_t FilesFailed = 0;  // listed files that could not be deleted (or were refused)
    bool busy = false;  // the busy mouse pointer

    // Shows the window and starts the run.
    void Form_Load();
    void Form_Unload();
    // The run Form_Load started; an owner may co_await it.
    Task& run() { return run_; }
    bool running() const { return run_.active(); }
    // Called when the run has ended, also after a Cancel.
    std::function<void()> onFinished;

    Task DiskCleanNow();
    void MoveIndex(int from, int to);
    // The search, then (unattended) the deletion of what it listed, the
    // chosen folders held open from the one to the other.
    Task DeleteFiles();
    // The search of DeleteFiles: lists every file of the configured folders
    // that matches its folder's specifications, with who it is and who each
    // folder on its way is. inSteps false: the whole search at once, ended
    // when the task is started (for a command line). holdFolders: the chosen
    // folders stay open for RemoveListed; otherwise it opens them again and
    // deletes nothing in one that is no longer the folder listed.
    Task SearchFiles(bool inSteps = true, bool holdFolders = false);
    // Deletes exactly the listed entries (the confirmed list), each through
    // the folders it was found in, each folder opened as itself (never a
    // link) relative to the one above and checked to be the folder that was
    // listed, each file checked to be the file that was listed. What is not
    // is left alone, counted in FilesFailed, logged, and told to
    // onNotDeleted. Never searches again.
    Task RemoveListed(bool inSteps = true);
    // Called for a chosen folder that exists but is not searched (a link in
    // its place), with the reason.
    std::function<void(const std::string& folder, const std::string& reason)> onFolderNotSearched;
    // Called for each listed file that is not deleted, with the reason.
    std::function<void(const std::string& file, const std::string& reason)> onNotDeleted;
    // Whether a listed entry goes to the recycle bin (its folder's delete
    // type, as it was when the entry was listed).
    bool toRecycleBin(int entry) const;
    void cmdCancel_Click();

    // The step operations.
    static void EmptyRecycleBin();
    static void ClearDocuments();
    static void ClearRunHistory();
    static void ClearIEHistory();
    static void DeleteEmptyFolders() {}
    static void EmptyInternetCache() {}
    static void EmptyWindowsTemp() {}

    // What the search listed, besides the names in ListView1: per chosen
    // folder and per folder on the way to a listed file one record, per
    // listed file a small fixed one.
    struct ChosenFolder {
        std::string folder;  // as the folder list has it (its settings' section)
        bool toBin = true;   // its delete type when it was searched
        std::shared_ptr<platform::IFolder> held;  // open from search to deletion (unattended)
    };
    struct ListedFolder {
        platform::FileId id;
        std::uint32_t parent;  // kNone for a chosen folder
        std::uint32_t chosen;  // its chosen folder
        std::string name;      // in the folder above; a chosen folder: its path
    };
    struct Listed {
        platform::FileId id;
        std::uint32_t folder;  // in folders()
        std::uint32_t nameAt;  // where its name in the folder starts in its ListView1 text
    };
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
    const std::deque<Listed>& listed() const { return listed_; }
    const std::vector<ListedFolder>& folders() const { return folders_; }
    const std::vector<ChosenFolder>& chosen() const { return chosen_; }

    // Entries a search step looks at, and files a deletion step removes,
    // before the loop has its turn.
    static constexpr int kSearchBatch = 256;
    static constexpr int kDeleteBatch = 32;

private:
    bool stepActive(int index) const;
    void listFile(const std::string& name, const CFindFile& finder);
    // The open folder of a listed folder, reached from its chosen folder
    // down, each checked; throws platform::Error with the reason when a
    // folder on the way is not the one that was listed.
    platform::IFolder& reach(std::uint32_t folder);

    std::deque<Listed> listed_;
    std::vector<ListedFolder> folders_;
    std::vector<ChosenFolder> chosen_;
    // The walk's folders from the chosen one down to the last hit's: their
    // serial in the walk and their record.
    std::vector<std::pair<std::uint64_t, std::uint32_t>> walkChain_;
    // The folders the last deletion went through, kept for the next one: the
    // record, and the open folder (nullptr with the reason when refused).
    struct Reached {
        std::uint32_t folder;
        std::shared_ptr<platform::IFolder> open;
        std::string refused;
    };
    std::vector<Reached> reached_;
    Task run_;  // last: it ends before the controls it uses
};

}  // namespace nocturo

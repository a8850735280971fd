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
    std::int32_t FilesFailed = 0;  // listed files that could not be deleted
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
    Task DeleteFiles();
    // The search of DeleteFiles: lists every file of the configured folders
    // that matches its folder's specifications. inSteps false: the whole
    // search at once, ended when the task is started (for a command line).
    Task SearchFiles(bool inSteps = true);
    // Whether a listed entry would go to the recycle bin (its folder's delete type).
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

    // The folder each entry of ListView1 was found in (its delete type is
    // that folder's).
    const std::deque<std::string>& entryFolders() const { return entryFolders_; }

    // Who a listed entry is, to be deleted through the folders it was found in.
    struct Found {
        std::string start;                    // the searched folder, as opened
        std::vector<std::string> subFolders;  // below it
        std::string entry;                    // the name in its folder
        platform::FileId id;
    };
    const std::deque<Found>& found() const { return found_; }

    // Entries a search step looks at, and files a deletion step removes,
    // before the loop has its turn.
    static constexpr int kSearchBatch = 256;
    static constexpr int kDeleteBatch = 32;

private:
    bool stepActive(int index) const;
    void listFile(const std::string& name, const std::string& folder, const CFindFile& finder);
    // Deletes (or moves to the recycle bin) the first listed entry through
    // its folders; throws platform::Error with the reason when it cannot.
    void removeFound(const Found& f, bool toBin, const std::string& shown);

    std::deque<std::string> entryFolders_;
    std::deque<Found> found_;
    // The folders the last deletion went through, kept for the next one.
    std::string chainStart_;
    std::vector<std::string> chainPath_;
    std::vector<std::unique_ptr<platform::IFolder>> chain_;
    Task run_;  // last: it ends before the controls it uses
};

}  // namespace nocturo

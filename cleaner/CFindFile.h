#pragma once
// CFindFile walks one start folder, optionally with all its subfolders, and
// raises FoundFile for every entry that matches one of the file
// patterns ("*.bak;*.tmp") and, optionally, for every zero-length file.
// It never deletes anything and never collects the hits: the owner decides
// what to do with each one and may cancel the walk.
//
// The walk is pre-order: a folder's own hits come before those of its
// subfolders, which are entered in the order the file system lists them.
// Per folder there is one reading that gives the subfolder names and each
// pattern's matches, then (with InclZeroFiles) the empty files are reported,
// then each pattern's matches in list order, each in the order the folder
// lists them. Every matching entry is reported, "." and ".." (for "*.*") and
// folders included; receivers filter what they do not want. A zero-length file that also matches a pattern is reported
// twice, a file matching several patterns once per pattern.
//
// Safety: the walk holds each folder open and reaches everything below it
// relative to that folder (IFolder), so a folder swapped for a link while the
// walk runs leads nowhere else. Symbolic links are never walked into, not even
// those pointing at a folder; a link whose name matches is reported as the
// link itself. Folders whose name begins with "." are not entered either.
// The zero-length pass reports regular files only (never sockets, pipes or
// device nodes). Each hit carries who it is (LastHit), so that its owner can
// later act on that very file through the same folders.
//
// The walk never lets other events run: FindAll goes through the whole tree
// at once. An owner that must stay responsive (a window with a Cancel button)
// walks in steps instead: StartFind, then FindSome with a budget of entries
// per step until it answers false, letting the loop run in between.
// Cancelling is either the FoundFile handler's cancel argument, StopFind, or
// calling FindAll again while a walk runs; each makes the walk stop at its
// next entry, and EndFindFiles is still raised once.
//
// Failures follow the error-log convention under "<member> of Klassenmodul
// CFindFile"; a folder that does not exist simply has no hits.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/IFileSystem.h"

namespace nocturo {

// Whether a file specification is a name pattern only ("*.bak", "temp.*"):
// no folder part, no "/" or "\\", not "." or "..".
bool IsPlainFileSpec(const std::string& spec);

class CFindFile {
public:
    CFindFile() = default;
    CFindFile(const CFindFile&) = delete;
    CFindFile& operator=(const CFindFile&) = delete;

    // ---- events -----------------------------------------------------------
    // Once when a walk starts.
    std::function<void()> BeginFindFiles;
    // Once when a walk has ended, also after a cancel; count is the number of
    // FoundFile events raised by this walk.
    std::function<void(std::int32_t& count)> EndFindFiles;
    // For every hit: name is the folder path followed by the entry name;
    // setting cancel to true stops the walk.
    std::function<void(std::string& name, bool& cancel)> FoundFile;

    // The hit FoundFile is raised for: its name in its folder, its kind and
    // who it is.
    struct Hit {
        std::string start;  // the walk's start folder (Path)
        std::string entry;  // its name in its folder
        platform::EntryKind kind = platform::EntryKind::File;
        platform::FileId id;
    };
    const Hit& LastHit() const { return hit_; }

    // While FoundFile runs: the folders from the start folder (0) down to the
    // hit's own (HitDepth()), each with its name in the folder above (the
    // start folder: Path), who it is, and a number that differs for every
    // folder a walk enters, so that an owner can tell a new folder from the
    // last one without comparing names.
    struct FolderStep {
        const std::string& name;
        platform::FileId id;
        std::uint64_t serial;
    };
    std::size_t HitDepth() const { return levels_.empty() ? 0 : levels_.size() - 1; }
    FolderStep HitFolder(std::size_t depth) const;
    // The start folder of the walk, as it was opened (nullptr when it could
    // not be): an owner may keep it to act there later through the very same
    // folder.
    std::shared_ptr<platform::IFolder> StartFolder() const { return start_; }

    // ---- properties -------------------------------------------------------
    void InclZeroFiles(bool value);
    bool InclZeroFiles();
    void InclSubDir(bool value);
    bool InclSubDir();
    // The start folder, ending with the path separator (sFixDirString).
    void Path(const std::string& value);
    std::string Path();
    // Patterns separated by ";" (or TAB, CR, LF, NUL); each is trimmed
    // and blank ones are ignored.
    void FileSpec(const std::string& value);
    std::string FileSpec();
    // True while a walk runs; set only by the class itself.
    bool Searching();

    // Walks Path with the current settings. False when no walk was started:
    // FileSpec or Path is empty, or a walk was already running (which this
    // call then stops). The hits are delivered through FoundFile only; a walk
    // leaves fileList holding one empty entry.
    bool FindAll(std::vector<std::string>& fileList);

    // The same walk in steps. StartFind raises BeginFindFiles and answers as
    // FindAll would; FindSome goes on for about budget entries and answers
    // true while there is more to do (the step that ends the walk raises
    // EndFindFiles). StopFind ends a walk at once, EndFindFiles included.
    bool StartFind();
    bool FindSome(int budget);
    void StopFind();

    // Stored and returned only; the walk has no depth limit.
    void Recursive(bool value);
    bool Recursive();
    void RecursiveLevels(std::int32_t value);
    std::int32_t RecursiveLevels();

private:
    using PatternList = std::vector<std::string>;

    // One folder of the walk: its subfolder names, where its passes stand.
    struct Level {
        enum Stage { ListFolders, ZeroPass, PatternPass, SubFolders };
        std::string folder;  // its path, ending with the separator
        std::shared_ptr<platform::IFolder> handle;
        std::string name;  // in the folder above; the start folder: its path
        std::uint64_t serial = 0;
        Stage stage = ListFolders;
        std::vector<std::string> subFolders;
        std::size_t nextSub = 0;
        std::size_t nextPattern = 0;
        std::size_t nextInBucket = 0;
        bool matched = false;                        // the folder was scanned once for every pattern
        std::vector<std::vector<std::string>> buckets;  // the names each pattern matched, in listing order
        std::shared_ptr<const PatternList> patterns;
        std::unique_ptr<platform::IDirEnumerator> scan;  // the pass under way
    };

    // One piece of work on the deepest folder; false when the walk is over.
    bool Advance(int& budget);
    void ListFolders(Level& level);
    void ZeroPassEntry(Level& level, int& budget);
    void PatternPassEntry(Level& level, int& budget);
    void EnterNextSubFolder();
    void FinishFind();
    // The trimmed patterns of FileSpec (blank ones kept, they are
    // skipped by the walk). Split again only when FileSpec has changed; a
    // handler that changes FileSpec mid-walk affects the next folder.
    std::shared_ptr<const PatternList> Patterns();
    void Raise(std::string& name, const Level& level, const platform::DirEntry& entry);

    bool inclZeroFiles_ = false;
    bool inclSubDir_ = false;
    std::string path_;
    std::string fileSpec_;
    bool searching_ = false;
    bool walkOpen_ = false;  // from StartFind to EndFindFiles
    bool recursive_ = false;
    std::int32_t recursiveLevels_ = 0;

    std::vector<Level> levels_;  // the walk's folders, the start folder first
    std::int32_t hits_ = 0;      // the running walk's FoundFile count
    std::string name_;           // the reported path; one buffer for every hit
    Hit hit_;
    std::shared_ptr<platform::IFolder> start_;
    std::uint64_t serials_ = 0;  // folders entered so far, over all walks
    std::string patternsFrom_;   // the FileSpec text patterns_ was made of
    std::shared_ptr<const PatternList> patterns_;
};

}  // namespace nocturo

#include "cleaner/CFindFile.h"

#include <optional>
#include <string_view>

#include "base/Runtime.h"
#include "base/Strings.h"
#include "base/Varn_ErrorLog.h"
#include "cleaner/Varn_Del2RecycleBin.h"
#include "platform/IFileSystem.h"

namespace nocturo {

namespace {

constexpr const char* kPath = "Path of Klassenmodul CFindFile";
constexpr const char* kFileSpec = "FileSpec of Klassenmodul CFindFile";
constexpr const char* kSearchDirs = "SearchDirs of Klassenmodul CFindFile";
constexpr const char* kSearchFileSpec = "SearchFileSpec of Klassenmodul CFindFile";

using platform::DirEntry;
using platform::IDirEnumerator;
namespace attr = platform::attr;

// FindAll's statements: a failure there is ignored without an entry.
template <class F>
void Quietly(F&& statement) noexcept {
    try {
        statement();
    } catch (...) {
    }
}

// A folder the walk may enter: a real folder (never a symbolic link, whatever
// it points at) whose name does not begin with "." ("." and ".." included).
bool IsWalkable(const DirEntry& entry) {
    return (entry.attributes & attr::Directory) && !(entry.attributes & attr::ReparsePoint) && !entry.name.empty() &&
           entry.name[0] != '.';
}

// The file-name part of a path as sParseFile takes it: after the last "\",
// then after the last "/".
std::string_view FileNamePart(std::string_view path) {
    if (auto p = path.rfind('\\'); p != std::string_view::npos) path.remove_prefix(p + 1);
    if (auto p = path.rfind('/'); p != std::string_view::npos) path.remove_prefix(p + 1);
    return path;
}

// Names the zero-length pass never reports: the swap file, and "?", which
// is what an enumeration gives for a name it cannot represent.
bool IsExcludedFromZeroPass(std::string_view fullName) {
    const std::string_view part = FileNamePart(fullName);
    return part == "?" || EqualsNoCase(part, "pagefile.sys");
}

// The next entry of an enumeration; nothing when it has ended or failed (a
// failure is logged and ends that enumeration).
std::optional<DirEntry> NextEntry(IDirEnumerator& e, const char* procedure, long line) {
    std::optional<DirEntry> entry;
    Step(procedure, line, [&] { entry = e.next(); });
    return entry;
}

}  // namespace

// ---- properties ---------------------------------------------------------------

void CFindFile::InclZeroFiles(bool value) { inclZeroFiles_ = value; }
bool CFindFile::InclZeroFiles() { return inclZeroFiles_; }
void CFindFile::InclSubDir(bool value) { inclSubDir_ = value; }
bool CFindFile::InclSubDir() { return inclSubDir_; }

void CFindFile::Path(const std::string& value) {
    Step(kPath, 1, [&] { path_ = value; });
}

std::string CFindFile::Path() {
    std::string value;
    Step(kPath, 1, [&] { value = path_; });
    return value;
}

void CFindFile::FileSpec(const std::string& value) {
    Step(kFileSpec, 1, [&] { fileSpec_ = value; });
}

std::string CFindFile::FileSpec() {
    std::string value;
    Step(kFileSpec, 1, [&] { value = fileSpec_; });
    return value;
}

bool CFindFile::Searching() { return searching_; }
void CFindFile::Recursive(bool value) { recursive_ = value; }
bool CFindFile::Recursive() { return recursive_; }
void CFindFile::RecursiveLevels(std::int32_t value) { recursiveLevels_ = value; }
std::int32_t CFindFile::RecursiveLevels() { return recursiveLevels_; }

// ---- the walk -------------------------------------------------------------------

bool CFindFile::FindAll(std::vector<std::string>& fileList) {
    if (!StartFind()) return false;
    while (FindSome(1 << 30)) {
    }
    Quietly([&] { fileList.assign(1, std::string()); });
    return true;
}

bool CFindFile::StartFind() {
    // Entered while a walk runs (from a handler, or by the owner between two
    // steps): that walk stops at its next entry.
    if (searching_) {
        searching_ = false;
        return false;
    }
    if (fileSpec_.empty() || path_.empty()) return false;
    levels_.clear();
    hits_ = 0;
    searching_ = true;
    walkOpen_ = true;
    Quietly([&] {
        if (BeginFindFiles) BeginFindFiles();
    });
    // The walk's own copy: a handler may set Path while it runs.
    Quietly([&] {
        levels_.emplace_back();
        levels_.back().folder = path_;
    });
    return true;
}

bool CFindFile::FindSome(int budget) {
    if (!walkOpen_) return false;
    if (budget < 1) budget = 1;
    bool more = true;
    while (searching_ && more && budget > 0) {
        try {
            more = Advance(budget);
        } catch (...) {
            more = false;  // what cannot go on ends the walk
        }
    }
    if (searching_ && more) return true;
    FinishFind();
    return false;
}

void CFindFile::StopFind() {
    if (walkOpen_) FinishFind();
}

void CFindFile::FinishFind() {
    searching_ = false;
    walkOpen_ = false;
    levels_.clear();
    std::int32_t count = hits_;
    Quietly([&] {
        if (EndFindFiles) EndFindFiles(count);
    });
}

bool CFindFile::Advance(int& budget) {
    if (levels_.empty()) return false;
    Level& level = levels_.back();
    switch (level.stage) {
    case Level::ListFolders:
        ListFolders(level);
        --budget;
        level.stage = inclZeroFiles_ ? Level::ZeroPass : Level::PatternPass;
        if (level.stage == Level::PatternPass) Step(kSearchFileSpec, 6, [&] { level.patterns = Patterns(); });
        return true;
    case Level::ZeroPass:
        ZeroPassEntry(level, budget);
        return true;
    case Level::PatternPass:
        PatternPassEntry(level, budget);
        return true;
    case Level::SubFolders:
        EnterNextSubFolder();
        return !levels_.empty();
    }
    return false;
}

void CFindFile::ListFolders(Level& level) {
    // The subfolder names, collected and the scan closed before this
    // folder's files are matched and before any subfolder is entered.
    Step(kSearchDirs, 2, [&] {
        auto e = files().enumerateNames(level.folder + "*.*");
        while (auto entry = NextEntry(*e, kSearchDirs, 2)) {
            if (IsWalkable(*entry)) level.subFolders.push_back(std::move(entry->name));
        }
    });
}

void CFindFile::ZeroPassEntry(Level& level, int& budget) {
    if (!level.scan) {
        Step(kSearchFileSpec, 1, [&] { level.scan = files().enumerate(level.folder + "*.*"); });
        if (!level.scan) {
            level.stage = Level::PatternPass;
            Step(kSearchFileSpec, 6, [&] { level.patterns = Patterns(); });
            return;
        }
    }
    auto entry = NextEntry(*level.scan, kSearchFileSpec, 2);
    --budget;
    if (!entry) {
        level.scan.reset();
        level.stage = Level::PatternPass;
        Step(kSearchFileSpec, 6, [&] { level.patterns = Patterns(); });
        return;
    }
    bool empty = false;
    Step(kSearchFileSpec, 5, [&] {
        name_.assign(level.folder).append(entry->name);
        if (IsExcludedFromZeroPass(name_)) return;
        if (entry->name.empty() || entry->name[0] == '.') return;
        // The listing rules out folders and files with content; a
        // candidate is confirmed against the file system, so one that
        // vanished or changed since it was listed is skipped.
        if ((entry->attributes & attr::Directory) || entry->size != 0) return;
        const auto attributes = files().attributes(name_);
        if (!attributes || (*attributes & attr::Directory)) return;
        const auto length = files().length(name_);
        empty = length && *length == 0;
    });
    if (empty) Raise(name_);
}

void CFindFile::PatternPassEntry(Level& level, int& budget) {
    // Pattern pass: every matching entry, in list order.
    if (!level.patterns || level.nextPattern >= level.patterns->size()) {
        level.scan.reset();
        level.stage = Level::SubFolders;
        return;
    }
    if (!level.scan) {
        const std::string& wildcard = (*level.patterns)[level.nextPattern];
        if (wildcard.empty()) {
            ++level.nextPattern;
            return;
        }
        Step(kSearchFileSpec, 8, [&] { level.scan = files().enumerateNames(level.folder + wildcard); });
        if (!level.scan) {
            ++level.nextPattern;
            return;
        }
    }
    auto entry = NextEntry(*level.scan, kSearchFileSpec, 9);
    --budget;
    if (!entry) {
        level.scan.reset();
        ++level.nextPattern;
        return;
    }
    bool built = false;
    Step(kSearchFileSpec, 12, [&] {
        name_.assign(level.folder).append(entry->name);
        built = true;
    });
    if (built) Raise(name_);
}

void CFindFile::EnterNextSubFolder() {
    Level& level = levels_.back();
    if (!inclSubDir_ || level.nextSub >= level.subFolders.size()) {
        levels_.pop_back();
        return;
    }
    std::string sub;
    bool enter = false;
    Step(kSearchDirs, 5, [&] {
        sub.assign(level.folder).append(level.subFolders[level.nextSub]);
        // Time has passed since the scan: a folder that has meanwhile been
        // replaced by a link (or removed) is left alone.
        const auto now = files().attributes(sub);
        if (!now || !(*now & attr::Directory) || (*now & attr::ReparsePoint)) return;
        sub += files().separator();
        enter = true;
    });
    ++level.nextSub;
    if (!enter) return;
    Level next;
    next.folder = std::move(sub);
    levels_.push_back(std::move(next));
}

void CFindFile::Raise(std::string& name) {
    ++hits_;
    bool cancel = false;
    Step(kSearchFileSpec, 14, [&] {
        if (FoundFile) FoundFile(name, cancel);
    });
    // Only a cancel changes the state: a handler that entered FindAll has
    // already stopped the walk, and that must stay so.
    if (cancel) searching_ = false;
}

std::shared_ptr<const CFindFile::PatternList> CFindFile::Patterns() {
    if (!patterns_ || patternsFrom_ != fileSpec_) {
        std::string delimiters;  // the defaults
        PatternList items;
        SplitList(fileSpec_, delimiters, items);
        for (auto& item : items) item = Trim(item);
        patterns_ = std::make_shared<const PatternList>(std::move(items));
        patternsFrom_ = fileSpec_;
    }
    return patterns_;
}

}  // namespace nocturo

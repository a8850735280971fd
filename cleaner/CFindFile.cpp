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
    return entry.kind == platform::EntryKind::Folder && !(entry.attributes & attr::ReparsePoint) &&
           !entry.name.empty() && entry.name[0] != '.';
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

bool IsPlainFileSpec(const std::string& spec) {
    if (spec.find('/') != std::string::npos || spec.find('\\') != std::string::npos) return false;
    return spec != "." && spec != "..";
}

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
    // The walk's own copy: a handler may set Path while it runs. A start
    // folder that cannot be opened is a walk without hits.
    hit_.start = path_;
    start_.reset();
    std::shared_ptr<platform::IFolder> handle;
    Step(kSearchDirs, 2, [&] {
        // A folder that does not exist simply has no hits; a path that is
        // no path at all (no such drive) is a failure.
        if (!files().folderExists(path_)) {
            files().enumerateNames(path_ + "*.*");
            return;
        }
        handle = files().openFolder(path_);
    });
    Quietly([&] {
        levels_.emplace_back();
        levels_.back().folder = path_;
        levels_.back().name = path_;
        levels_.back().serial = ++serials_;
        levels_.back().handle = handle;
        start_ = std::move(handle);
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
        if (!level.handle) {  // the start folder could not be opened
            levels_.pop_back();
            return !levels_.empty();
        }
        ListFolders(level);
        --budget;
        level.stage = inclZeroFiles_ ? Level::ZeroPass : Level::PatternPass;
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
    // One reading of the folder gives the subfolder names and what each
    // pattern matches (in listing order, as a scan per pattern would give
    // them); the scan is closed before any hit is raised and before any
    // subfolder is entered.
    Step(kSearchFileSpec, 6, [&] { level.patterns = Patterns(); });
    const PatternList none;
    const PatternList& patterns = level.patterns ? *level.patterns : none;
    level.buckets.assign(patterns.size(), {});
    level.matched = true;
    Step(kSearchDirs, 2, [&] {
        auto e = level.handle->list("*", true);
        while (auto entry = NextEntry(*e, kSearchDirs, 2)) {
            for (std::size_t i = 0; i < patterns.size(); ++i)
                if (!patterns[i].empty() && files().wildcardMatch(patterns[i], entry->name))
                    level.buckets[i].push_back(entry->name);
            if (IsWalkable(*entry)) level.subFolders.push_back(std::move(entry->name));
        }
    });
}

void CFindFile::ZeroPassEntry(Level& level, int& budget) {
    if (!level.scan) {
        Step(kSearchFileSpec, 1, [&] { level.scan = level.handle->list("*.*", false); });
        if (!level.scan) {
            level.stage = Level::PatternPass;
            return;
        }
    }
    auto entry = NextEntry(*level.scan, kSearchFileSpec, 2);
    --budget;
    if (!entry) {
        level.scan.reset();
        level.stage = Level::PatternPass;
        return;
    }
    bool empty = false;
    std::optional<DirEntry> now;
    Step(kSearchFileSpec, 5, [&] {
        name_.assign(level.folder).append(entry->name);
        if (IsExcludedFromZeroPass(name_)) return;
        if (entry->name.empty() || entry->name[0] == '.') return;
        // Regular files only: never a folder, a link, a socket, a pipe or a
        // device node. The listing rules out the rest and files with content;
        // a candidate is confirmed in its folder, so one that vanished or
        // changed since it was listed is skipped.
        if (entry->kind != platform::EntryKind::File || entry->size != 0) return;
        now = level.handle->look(entry->name);
        empty = now && now->kind == platform::EntryKind::File && now->size == 0 &&
                (!entry->id.known() || now->id == entry->id);
    });
    if (empty) Raise(name_, level, *now);
}

void CFindFile::PatternPassEntry(Level& level, int& budget) {
    // Pattern pass: every matching entry, pattern by pattern in list order,
    // from what the folder's reading gave (ListFolders).
    while (level.nextPattern < level.buckets.size()) {
        const auto& bucket = level.buckets[level.nextPattern];
        if (level.nextInBucket >= bucket.size()) {
            ++level.nextPattern;
            level.nextInBucket = 0;
            continue;
        }
        const std::string& entryName = bucket[level.nextInBucket++];
        --budget;
        // Who it is now, in its folder; one gone since the scan has no hit.
        std::optional<DirEntry> entry;
        Step(kSearchFileSpec, 12, [&] {
            entry = level.handle->look(entryName);
            if (!entry) return;
            entry->name = entryName;
            name_.assign(level.folder).append(entryName);
        });
        if (entry) Raise(name_, level, *entry);
        return;
    }
    level.buckets.clear();
    level.stage = Level::SubFolders;
}

void CFindFile::EnterNextSubFolder() {
    Level& level = levels_.back();
    if (!inclSubDir_ || level.nextSub >= level.subFolders.size()) {
        levels_.pop_back();
        return;
    }
    const std::string& name = level.subFolders[level.nextSub++];
    std::unique_ptr<platform::IFolder> sub;
    // Entered through this folder, never through a link: a folder that has
    // meanwhile been replaced by one (or removed) is left alone.
    Step(kSearchDirs, 5, [&] { sub = level.handle->openFolder(name); });
    if (!sub) return;
    Level next;
    Step(kSearchDirs, 4, [&] {
        next.folder = level.folder + name + files().separator();
        next.name = name;
        next.serial = ++serials_;
    });
    next.handle = std::move(sub);
    levels_.push_back(std::move(next));
}

void CFindFile::Raise(std::string& name, const Level&, const DirEntry& entry) {
    ++hits_;
    hit_.entry = entry.name;
    hit_.kind = entry.kind;
    hit_.id = entry.id;
    bool cancel = false;
    Step(kSearchFileSpec, 14, [&] {
        if (FoundFile) FoundFile(name, cancel);
    });
    // Only a cancel changes the state: a handler that entered FindAll has
    // already stopped the walk, and that must stay so.
    if (cancel) searching_ = false;
}

CFindFile::FolderStep CFindFile::HitFolder(std::size_t depth) const {
    const Level& level = levels_.at(depth);
    return FolderStep{level.name, level.handle ? level.handle->id() : platform::FileId{}, level.serial};
}

std::shared_ptr<const CFindFile::PatternList> CFindFile::Patterns() {
    if (!patterns_ || patternsFrom_ != fileSpec_) {
        std::string delimiters;  // the defaults
        PatternList items;
        SplitList(fileSpec_, delimiters, items);
        // A pattern names entries of the folder searched, nothing else: one
        // with a folder part ("../x/*.bak", "sub/*.tmp") is left out.
        for (auto& item : items) {
            item = Trim(item);
            if (!IsPlainFileSpec(item)) item.clear();
        }
        patterns_ = std::make_shared<const PatternList>(std::move(items));
        patternsFrom_ = fileSpec_;
    }
    return patterns_;
}

}  // namespace nocturo

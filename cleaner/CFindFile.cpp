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

constexpr const char* kInclZeroFiles = "InclZeroFiles of Klassenmodul CFindFile";
constexpr const char* kInclSubDir = "InclSubDir of Klassenmodul CFindFile";
constexpr const char* kPath = "Path of Klassenmodul CFindFile";
constexpr const char* kFileSpec = "FileSpec of Klassenmodul CFindFile";
constexpr const char* kSearching = "Searching of Klassenmodul CFindFile";
constexpr const char* kRecursive = "Recursive of Klassenmodul CFindFile";
constexpr const char* kRecursiveLevels = "RecursiveLevels of Klassenmodul CFindFile";
constexpr const char* kSearchDirs = "SearchDirs of Klassenmodul CFindFile";
constexpr const char* kSearchFileSpec = "SearchFileSpec of Klassenmodul CFindFile";

using platform::DirEntry;
using platform::IDirEnumerator;
namespace attr = platform::attr;

// Lets pending events run once; a failure of the loop is the procedure's.
void Yield(const char* procedure, long line) {
    Step(procedure, line, [] { DoEvents(); });
}

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

void CFindFile::InclZeroFiles(bool value) {
    inclZeroFiles_ = value;
    Yield(kInclZeroFiles, 2);
}

bool CFindFile::InclZeroFiles() {
    const bool value = inclZeroFiles_;
    Yield(kInclZeroFiles, 2);
    return value;
}

void CFindFile::InclSubDir(bool value) {
    inclSubDir_ = value;
    Yield(kInclSubDir, 2);
}

bool CFindFile::InclSubDir() {
    const bool value = inclSubDir_;
    Yield(kInclSubDir, 2);
    return value;
}

void CFindFile::Path(const std::string& value) {
    Step(kPath, 1, [&] { path_ = value; });
    Yield(kPath, 2);
}

std::string CFindFile::Path() {
    std::string value;
    Step(kPath, 1, [&] { value = path_; });
    Yield(kPath, 2);
    return value;
}

void CFindFile::FileSpec(const std::string& value) {
    Step(kFileSpec, 1, [&] { fileSpec_ = value; });
    Yield(kFileSpec, 2);
}

std::string CFindFile::FileSpec() {
    std::string value;
    Step(kFileSpec, 1, [&] { value = fileSpec_; });
    Yield(kFileSpec, 2);
    return value;
}

bool CFindFile::Searching() {
    const bool value = searching_;
    Yield(kSearching, 2);
    return value;
}

void CFindFile::Recursive(bool value) {
    recursive_ = value;
    Yield(kRecursive, 2);
}

bool CFindFile::Recursive() {
    const bool value = recursive_;
    Yield(kRecursive, 2);
    return value;
}

void CFindFile::RecursiveLevels(std::int32_t value) {
    recursiveLevels_ = value;
    Yield(kRecursiveLevels, 2);
}

std::int32_t CFindFile::RecursiveLevels() {
    const std::int32_t value = recursiveLevels_;
    Yield(kRecursiveLevels, 2);
    return value;
}

// ---- the walk -------------------------------------------------------------------

bool CFindFile::FindAll(std::vector<std::string>& fileList) {
    // Entered while a walk runs (from a handler or from a yield): that walk
    // stops at its next check.
    if (searching_) {
        searching_ = false;
        return false;
    }
    if (fileSpec_.empty() || path_.empty()) return false;

    // The walk's own copy: a handler may set Path while it runs.
    std::string start;
    Quietly([&] { start = path_; });
    std::int32_t count = 0;
    // A handler may start another walk once this one is cancelled; each walk
    // counts its own hits.
    std::int32_t* const outerHits = hits_;
    hits_ = &count;

    searching_ = true;
    Quietly([&] {
        if (BeginFindFiles) BeginFindFiles();
    });
    Quietly([&] { SearchDirs(start); });
    searching_ = false;
    hits_ = outerHits;

    Quietly([&] { fileList.assign(1, std::string()); });
    Quietly([&] {
        if (EndFindFiles) EndFindFiles(count);
    });
    return true;
}

void CFindFile::SearchDirs(const std::string& folder) {
    Yield(kSearchDirs, 1);
    if (!searching_) return;  // cancelled: every remaining folder ends here

    // The subfolder names, collected and the scan closed before this
    // folder's files are matched and before any subfolder is entered.
    std::vector<std::string> subFolders;
    Step(kSearchDirs, 2, [&] {
        auto e = files().enumerateNames(folder + "*.*");
        while (auto entry = NextEntry(*e, kSearchDirs, 2)) {
            if (IsWalkable(*entry)) subFolders.push_back(std::move(entry->name));
        }
    });

    Step(kSearchDirs, 3, [&] { SearchFileSpec(folder); });

    if (inclSubDir_) {
        char separator = '\\';
        Step(kSearchDirs, 4, [&] { separator = files().separator(); });
        std::string sub;
        for (const std::string& name : subFolders) {
            Step(kSearchDirs, 5, [&] {
                sub.assign(folder).append(name);
                // The walk has yielded since the scan: a folder that has
                // meanwhile been replaced by a link (or removed) is left alone.
                const auto now = files().attributes(sub);
                if (!now || !(*now & attr::Directory) || (*now & attr::ReparsePoint)) return;
                sub += separator;
                SearchDirs(sub);
            });
        }
    }

    Yield(kSearchDirs, 6);
}

void CFindFile::SearchFileSpec(const std::string& folder) {
    // The reported path; one buffer for every hit of this folder.
    std::string name;

    // Zero-length pass.
    if (inclZeroFiles_) {
        std::unique_ptr<IDirEnumerator> e;
        Step(kSearchFileSpec, 1, [&] { e = files().enumerate(folder + "*.*"); });
        while (e) {
            auto entry = NextEntry(*e, kSearchFileSpec, 2);
            if (!entry) break;
            Yield(kSearchFileSpec, 3);
            if (!searching_) {
                Yield(kSearchFileSpec, 4);
                return;
            }
            bool empty = false;
            Step(kSearchFileSpec, 5, [&] {
                name.assign(folder).append(entry->name);
                if (IsExcludedFromZeroPass(name)) return;
                if (entry->name.empty() || entry->name[0] == '.') return;
                // The listing rules out folders and files with content; a
                // candidate is confirmed against the file system, so one that
                // vanished or changed since it was listed is skipped.
                if ((entry->attributes & attr::Directory) || entry->size != 0) return;
                const auto attributes = files().attributes(name);
                if (!attributes || (*attributes & attr::Directory)) return;
                const auto length = files().length(name);
                empty = length && *length == 0;
            });
            if (empty) Raise(name);
        }
    }

    // Pattern pass: every matching entry, in list order.
    std::shared_ptr<const PatternList> patterns;
    Step(kSearchFileSpec, 6, [&] { patterns = Patterns(); });
    if (patterns) {
        std::string pattern;
        for (const std::string& wildcard : *patterns) {
            Yield(kSearchFileSpec, 7);
            if (wildcard.empty()) continue;
            std::unique_ptr<IDirEnumerator> e;
            Step(kSearchFileSpec, 8, [&] { e = files().enumerateNames(pattern.assign(folder).append(wildcard)); });
            while (e) {
                auto entry = NextEntry(*e, kSearchFileSpec, 9);
                if (!entry) break;
                Yield(kSearchFileSpec, 10);
                if (!searching_) {
                    Yield(kSearchFileSpec, 11);
                    return;
                }
                bool built = false;
                Step(kSearchFileSpec, 12, [&] {
                    name.assign(folder).append(entry->name);
                    built = true;
                });
                if (built) Raise(name);
            }
        }
    }

    Yield(kSearchFileSpec, 13);
}

void CFindFile::Raise(std::string& name) {
    if (hits_) ++*hits_;
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

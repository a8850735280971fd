#include "platform/win32/Win32FileSystem.h"

#include <shlobj.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/Error.h"
#include "platform/common/Wildcard.h"
#include "platform/win32/WinText.h"

namespace nocturo::platform::win32 {

ShellCalls SystemShellCalls() {
    ShellCalls c;
    c.fileOperation = [](SHFILEOPSTRUCTW* op) { return SHFileOperationW(op); };
    c.emptyRecycleBin = [](const wchar_t* root, DWORD flags) { return SHEmptyRecycleBinW(nullptr, root, flags); };
    c.addToRecentDocs = [](UINT flags, const void* item) { SHAddToRecentDocs(flags, item); };
    return c;
}

namespace {

// Sharing everything: the program never stands in the way of another
// program's work on the files it only looks at.
constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Folders need backup semantics to be opened at all; the entry itself, never
// what a reparse point leads to.
constexpr DWORD OwnEntry = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

bool isSeparator(char c) { return c == '\\' || c == '/'; }
bool isSeparatorW(wchar_t c) { return c == L'\\' || c == L'/'; }

bool isMissing(DWORD code) {
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND || code == ERROR_INVALID_NAME ||
           code == ERROR_BAD_NETPATH || code == ERROR_BAD_NET_NAME || code == ERROR_DIRECTORY ||
           code == ERROR_INVALID_DRIVE;
}

bool isDotName(const std::string& name) { return name == "." || name == ".."; }

// A name of one entry: no folder in it, no wildcard, not "." or "..".
bool isEntryName(const std::string& name) {
    if (name.empty() || isDotName(name)) return false;
    // ':' would name a stream of a file; a trailing dot or blank is one the
    // system drops from a name, so the name would lead to another entry.
    for (char c : name)
        if (isSeparator(c) || c == '*' || c == '?' || c == ':' || c == '<' || c == '>' || c == '"' || c == '|')
            return false;
    return name.back() != '.' && name.back() != ' ';
}

// Closes a handle however the scope is left.
class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() { reset(); }
    Handle(Handle&& other) noexcept : h_(std::exchange(other.h_, INVALID_HANDLE_VALUE)) {}
    Handle& operator=(Handle&& other) noexcept {
        if (this != &other) {
            reset();
            h_ = std::exchange(other.h_, INVALID_HANDLE_VALUE);
        }
        return *this;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return h_; }
    explicit operator bool() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    void reset() {
        if (*this) CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE h_ = INVALID_HANDLE_VALUE;
};

Handle openEntry(const std::wstring& path, DWORD access, DWORD flags) {
    return Handle(CreateFileW(path.c_str(), access, ShareAll, nullptr, OPEN_EXISTING, flags, nullptr));
}

struct Identity {
    FileId id;
    DWORD attributes = 0;
    std::uint64_t size = 0;
};

bool identify(HANDLE h, Identity& out) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info)) return false;
    out.id = FileId{info.dwVolumeSerialNumber,
                    (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    out.attributes = info.dwFileAttributes;
    out.size = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                   ? 0
                   : (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    return true;
}

bool isRealFolder(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::wstring withoutTrailingSeparators(std::wstring path) {
    // "C:\" and "\" keep theirs: without it they name something else.
    while (path.size() > 1 && isSeparatorW(path.back()) && !(path.size() == 3 && path[1] == L':')) path.pop_back();
    return path;
}

std::wstring fullPath(const std::wstring& path) {
    DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (n == 0) return path;
    std::wstring out(n, L'\0');
    n = GetFullPathNameW(path.c_str(), n, out.data(), nullptr);
    if (n == 0 || n >= out.size()) return path;
    out.resize(n);
    return out;
}

// Whether the folder is the root of its volume ("C:\", "\\server\share\"),
// which has no "." and "..".
bool isVolumeRoot(const std::wstring& folder) {
    std::wstring full = fullPath(folder.empty() ? L"." : folder);
    if (full.empty() || !isSeparatorW(full.back())) full += L'\\';
    std::vector<wchar_t> volume(full.size() + 2, L'\0');
    if (!GetVolumePathNameW(full.c_str(), volume.data(), static_cast<DWORD>(volume.size()))) return false;
    return CompareStringOrdinal(full.c_str(), -1, volume.data(), -1, TRUE) == CSTR_EQUAL;
}

// The drive letter a path starts with and whether the system knows it.
void checkDrive(const std::string& path) {
    if (path.size() < 2 || path[1] != ':') return;
    const char letter = path[0];
    if (!((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z')))
        throw Error(err::PathNotFound, "Path not found: " + path + " (no such drive)");
    const wchar_t root[] = {static_cast<wchar_t>(letter), L':', L'\\', L'\0'};
    if (GetDriveTypeW(root) == DRIVE_NO_ROOT_DIR)
        throw Error(err::PathNotFound,
                    "Path not found: " + path + " (drive " + std::string(1, letter) + ": does not exist)");
}

DirEntry dotEntry(const std::wstring& folder, const char* name) {
    DirEntry e;
    e.name = name;
    e.kind = EntryKind::Folder;
    e.attributes = FILE_ATTRIBUTE_DIRECTORY;
    std::wstring path = withoutTrailingSeparators(folder.empty() ? L"." : folder);
    if (name[1]) {
        // Behind "\\?\" the system takes ".." literally: the parent by hand.
        if (path.rfind(L"\\\\?\\", 0) == 0) {
            const auto cut = path.find_last_of(L'\\');
            if (cut != std::wstring::npos && cut > 4) path.resize(cut);
            if (path.back() == L':') path += L'\\';  // "\\?\C:\", not the volume
        } else {
            path += L"\\..";
        }
    }
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) e.attributes = data.dwFileAttributes;
    return e;
}

class Win32DirEnumerator : public IDirEnumerator {
public:
    // folder: as given, empty for the current folder.
    Win32DirEnumerator(const std::string& folder, std::string wildcard)
        : Win32DirEnumerator(folder.empty() ? std::wstring() : SystemPath(folder), std::nullopt, folder,
                             std::move(wildcard)) {}
    // folderW: the system's path of the folder; root: whether it is the
    // root of its volume, when that is known already.
    Win32DirEnumerator(std::wstring folderW, std::optional<bool> root, const std::string& folder, std::string wildcard)
        : wildcard_(std::move(wildcard)), folderW_(std::move(folderW)) {
        std::wstring search = folderW_;
        if (!search.empty() && !isSeparatorW(search.back()) && search.back() != L':') search += L'\\';
        // A plain name is looked up directly; anything else lists the whole
        // folder and matches here.
        const bool plain = !HasWildcard(wildcard_) && !wildcard_.empty() && wildcard_.back() != '.';
        search += plain ? Widen(wildcard_) : L"*";
        if (!plain && (WildcardMatch(wildcard_, ".") || WildcardMatch(wildcard_, "..")) &&
            !(root ? *root : isVolumeRoot(folderW_)))
            dots_ = 0;
        find_ = FindFirstFileExW(search.c_str(), FindExInfoBasic, &data_, FindExSearchNameMatch, nullptr,
                                 FIND_FIRST_EX_LARGE_FETCH);
        if (find_ == INVALID_HANDLE_VALUE) {
            const DWORD code = GetLastError();
            if (code == ERROR_INVALID_NAME && !isMissingFolder(folder))
                throw ErrorFromCode(code, "cannot list " + folder + " for " + wildcard_);
            // Missing, empty, or not to be read: nothing, and no "." and ".."
            // for a folder that is not there.
            if (dots_ < 2) {
                const DWORD a = GetFileAttributesW(folderW_.empty() ? L"." : folderW_.c_str());
                if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY)) dots_ = 2;
            }
            return;
        }
        pending_ = true;
    }
    ~Win32DirEnumerator() override { close(); }
    Win32DirEnumerator(const Win32DirEnumerator&) = delete;
    Win32DirEnumerator& operator=(const Win32DirEnumerator&) = delete;

    std::optional<DirEntry> next() override {
        while (dots_ < 2) {
            const char* name = dots_++ == 0 ? "." : "..";
            if (WildcardMatch(wildcard_, name)) return dotEntry(folderW_, name);
        }
        while (find_ != INVALID_HANDLE_VALUE) {
            if (!pending_ && !FindNextFileW(find_, &data_)) {
                close();
                break;
            }
            pending_ = false;
            DirEntry e = EntryFromFindData(data_);
            // The system's own "." and ".." are left out: they were reported
            // first above where they belong (not in a root).
            if (isDotName(e.name) || !WildcardMatch(wildcard_, e.name)) continue;
            return e;
        }
        return std::nullopt;
    }

private:
    // An invalid name for a folder that is not there at all is a missing
    // folder (no entries), not a malformed pattern.
    static bool isMissingFolder(const std::string& folder) {
        if (folder.empty()) return false;
        return GetFileAttributesW(SystemPath(folder).c_str()) == INVALID_FILE_ATTRIBUTES &&
               GetLastError() != ERROR_INVALID_NAME;
    }
    void close() {
        if (find_ != INVALID_HANDLE_VALUE) FindClose(find_);
        find_ = INVALID_HANDLE_VALUE;
    }

    std::string wildcard_;
    std::wstring folderW_;
    HANDLE find_ = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAW data_{};
    bool pending_ = false;  // data_ holds an entry not yet looked at
    int dots_ = 2;          // "." and ".." reported so far (2: none to report)
};

class EmptyEnumerator : public IDirEnumerator {
public:
    std::optional<DirEntry> next() override { return std::nullopt; }
};

// Splits "folder\wildcard" (either separator; "C:*.txt" is the wildcard
// in C:'s current folder).
std::pair<std::string, std::string> splitPattern(const std::string& pattern) {
    std::size_t cut = std::string::npos;
    for (std::size_t i = pattern.size(); i-- > 0;)
        if (isSeparator(pattern[i])) {
            cut = i;
            break;
        }
    if (cut == std::string::npos) {
        if (pattern.size() >= 2 && pattern[1] == ':') return {pattern.substr(0, 2), pattern.substr(2)};
        return {std::string(), pattern};
    }
    // The root keeps its separator ("\x" is in "\", "C:\x" in "C:\").
    std::string folder = pattern.substr(0, cut);
    if (folder.empty() || (folder.size() == 2 && folder[1] == ':')) folder += '\\';
    return {folder, pattern.substr(cut + 1)};
}

// Deletes the entry open in h (opened with DELETE access) through the
// handle itself, so the entry deleted is the one that was checked, whatever
// has happened to its name since.
//
// FileDispositionInfo on the handle is the strongest form Windows and wine
// both offer: the name is not looked up again. (Windows 10's
// FileDispositionInfoEx with POSIX semantics would also take it out of the
// folder at once, but wine 8 and older systems refuse it; the plain form
// removes the name when the last handle closes, which is ours, here.) Where
// even that is refused, DeleteFileW / RemoveDirectoryW on the path is the
// fallback, still only after the identity check.
void deleteOpenEntry(Handle& h, const std::wstring& path, DWORD attributes, const std::string& shown) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    if (SetFileInformationByHandle(h.get(), FileDispositionInfo, &disposition, sizeof disposition)) {
        h.reset();
        return;
    }
    const DWORD code = GetLastError();
    if (code != ERROR_INVALID_PARAMETER && code != ERROR_NOT_SUPPORTED && code != ERROR_CALL_NOT_IMPLEMENTED &&
        code != ERROR_INVALID_FUNCTION)
        throw ErrorFromCode(code, "cannot delete " + shown);
    h.reset();
    const BOOL ok = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(path.c_str()) : DeleteFileW(path.c_str());
    if (!ok) throw LastError("cannot delete " + shown);
}

// Opens an entry for deletion, its own self (a link, not its target).
Handle openForDelete(const std::wstring& path, const std::string& shown, Identity& found) {
    Handle h = openEntry(path, DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, OwnEntry);
    if (!h) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
            throw Error(err::FileNotFound, "File not found: cannot delete " + shown);
        throw ErrorFromCode(code, "cannot delete " + shown);
    }
    if (!identify(h.get(), found)) throw LastError("cannot examine " + shown);
    return h;
}

// SHFileOperationW answers with codes of its own from the days of Windows
// 3.1 (DE_*), which overlap the system's error codes and mean something
// else; the system's text is used only for the others.
Error shellOperationError(int code, const std::string& what) {
    struct Known {
        int code;
        long number;
        const char* text;
    };
    static constexpr Known known[] = {
        {0x71, err::PathFileAccess, "the source and destination are the same file"},
        {0x74, err::PathFileAccess, "a root folder cannot be moved"},
        {0x75, err::SystemCallFailed, "the operation was cancelled"},
        {0x78, err::PermissionDenied, "access to the source is denied"},
        {0x79, err::PathNotFound, "the path is too deep"},
        {0x7C, err::FileNotFound, "the path is not valid"},
        {0x81, err::PathNotFound, "the name is too long"},
        {0x85, err::PathFileAccess, "the file is too large"},
        {0xB7, err::PathFileAccess, "the path is too long"},
        {0x402, err::SystemCallFailed, "an unknown error"},
        {0x10000, err::PathFileAccess, "an error at the destination"},
    };
    for (const auto& k : known)
        if (k.code == code) return Error(k.number, what + " (" + k.text + ")");
    return ErrorFromCode(static_cast<DWORD>(code), what);
}

void recycle(ShellCalls& shell, const std::wstring& path, const std::string& shown) {
    // The shell takes a list of paths ended by an empty one, and no "\\?\"
    // paths: the plain full path.
    std::wstring list = DoubleNulTerminated(path);
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = list.c_str();
    op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    const int code = shell.fileOperation(&op);
    if (code != 0) throw shellOperationError(code, "cannot move " + shown + " to the recycle bin");
    if (op.fAnyOperationsAborted)
        throw Error(err::SystemCallFailed, "cannot move " + shown + " to the recycle bin: the shell stopped");
}

std::wstring plainFullPath(const std::string& path) {
    std::wstring w = Widen(path);
    for (auto& c : w)
        if (c == L'/') c = L'\\';
    return withoutTrailingSeparators(fullPath(w));
}

// A folder held open. While the handle is open the folder's file index
// cannot pass to another folder, so its identity stays a sound test; the
// handle shares renaming and deleting (another program may tidy up
// meanwhile), so before each change in it the path is opened again and must
// still lead to this same folder, by identity.
class Win32Folder : public IFolder {
public:
    // openPath: the exact path the folder was opened by ("\\?\" form), which
    // later checks open again.
    Win32Folder(Handle h, FileId id, std::string path, std::wstring openPath, bool root, DWORD openFlags,
                ShellCalls& shell)
        : handle_(std::move(h)), id_(id), openFlags_(openFlags), shell_(shell), path_(std::move(path)),
          openPathW_(std::move(openPath)), root_(root) {
        if (path_.empty() || !isSeparator(path_.back())) path_ += '\\';
        pathW_ = openPathW_;
        if (!pathW_.empty() && !isSeparatorW(pathW_.back())) pathW_ += L'\\';
    }

    const std::string& path() const override { return path_; }
    FileId id() const override { return id_; }

    std::unique_ptr<IDirEnumerator> list(const std::string& wildcard, bool) override {
        for (char c : wildcard)
            if (isSeparator(c) || c == ':') return std::make_unique<EmptyEnumerator>();
        if (!stillHere()) return std::make_unique<EmptyEnumerator>();
        return std::make_unique<Win32DirEnumerator>(pathW_, root_, path_, wildcard);
    }

    std::unique_ptr<IFolder> openFolder(const std::string& name) override {
        if (!isEntryName(name)) return nullptr;
        const std::wstring sub = pathW_ + Widen(name);
        Handle h = openEntry(sub, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE, OwnEntry);
        Identity found;
        if (!h || !identify(h.get(), found) || !isRealFolder(found.attributes)) return nullptr;
        // Opened by path: only good while this folder is still where it was.
        if (!stillHere()) return nullptr;
        return std::make_unique<Win32Folder>(std::move(h), found.id, path_ + name, sub, false, OwnEntry, shell_);
    }

    std::optional<DirEntry> look(const std::string& name) override {
        std::wstring target;
        if (name == ".") {
            target = openPathW_;
        } else if (name == "..") {
            // The listing reports it, so it can be looked at; a root has none.
            if (root_) return std::nullopt;
            const auto cut = openPathW_.find_last_of(L'\\');
            if (cut == std::wstring::npos) return std::nullopt;
            target = openPathW_.substr(0, cut);
            if (!target.empty() && target.back() == L':') target += L'\\';
        } else if (isEntryName(name)) {
            target = pathW_ + Widen(name);
        } else {
            return std::nullopt;
        }
        Handle h = openEntry(target, FILE_READ_ATTRIBUTES | SYNCHRONIZE, OwnEntry);
        if (!h) {
            const DWORD code = GetLastError();
            if (isMissing(code)) return std::nullopt;
            throw ErrorFromCode(code, "cannot examine " + path_ + name);
        }
        Identity found;
        if (!identify(h.get(), found)) throw LastError("cannot examine " + path_ + name);
        if (!stillHere()) return std::nullopt;
        DirEntry e;
        e.name = name;
        e.attributes = found.attributes;
        e.size = found.size;
        e.kind = KindOfAttributes(found.attributes);
        e.id = found.id;
        return e;
    }

    void deleteEntry(const std::string& name, const FileId& expected) override {
        const std::string shown = path_ + name;
        const std::wstring entry = pathW_ + Widen(name);
        Identity found;
        Handle h = checked(name, expected, "cannot delete " + shown, found, true);
        if (isRealFolder(found.attributes))
            throw Error(err::PathFileAccess, "Path/File access error: cannot delete " + shown + ": it is a folder");
        deleteOpenEntry(h, entry, found.attributes, shown);
    }

    void trashEntry(const std::string& name, const FileId& expected, const std::string& originalPath) override {
        const std::string shown = path_ + name;
        Identity found;
        // The shell moves by path; there is no handle-based way into the
        // recycle bin. The entry is checked just before, with a handle of
        // ours that still lets the shell move it.
        Handle h = checked(name, expected, "cannot move " + shown + " to the recycle bin", found, false);
        if (isRealFolder(found.attributes))
            throw Error(err::PathFileAccess,
                        "Path/File access error: cannot move " + shown + " to the recycle bin: it is a folder");
        h.reset();
        (void)originalPath;  // the bin records where the file was, which is where it is
        recycle(shell_, plainFullPath(shown), shown);
    }

private:
    // Whether the folder's path still leads to the folder that is open.
    bool stillHere() {
        Handle again = openEntry(openPathW_, FILE_READ_ATTRIBUTES | SYNCHRONIZE, openFlags_);
        Identity now;
        return again && identify(again.get(), now) && now.id == id_;
    }

    Handle checked(const std::string& name, const FileId& expected, const std::string& what, Identity& found,
                   bool forDelete) {
        if (!isEntryName(name))
            throw Error(err::InvalidProcedureCall, "Invalid procedure call or argument: " + what + ": not an entry name");
        const std::wstring entry = pathW_ + Widen(name);
        Handle h = forDelete ? openEntry(entry, DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, OwnEntry)
                             : openEntry(entry, FILE_READ_ATTRIBUTES | SYNCHRONIZE, OwnEntry);
        if (!h) {
            const DWORD code = GetLastError();
            if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
                throw Error(err::FileNotFound, "File not found: " + what + ": it is gone");
            throw ErrorFromCode(code, what);
        }
        if (!identify(h.get(), found)) throw LastError(what);
        // The entry is open first, then the folder checked: a folder swapped
        // before the entry was opened is still swapped now and is noticed;
        // one swapped afterwards no longer matters, the handle is the entry.
        if (!stillHere())
            throw Error(err::PathFileAccess,
                        "Path/File access error: " + what + ": its folder is not the one that was opened");
        if (expected.known() && !(found.id == expected))
            throw Error(err::PathFileAccess, "Path/File access error: " + what + ": it is not the file that was found");
        return h;
    }

    Handle handle_;  // keeps the folder from going away while it is walked
    FileId id_;
    DWORD openFlags_;
    ShellCalls& shell_;
    std::string path_;
    std::wstring openPathW_;
    bool root_;
    std::wstring pathW_;  // openPathW_ with a separator at its end
};

HANDLE openForWriting(const std::string& path, DWORD access) {
    // OPEN_ALWAYS, not CREATE_ALWAYS: that one refuses an existing hidden file.
    HANDLE h = CreateFileW(SystemPath(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw LastError("cannot open " + path + " for writing");
    return h;
}

// Windows refuses to open a read-only file for writing; a program run with
// the rights to ignore that (wine as root) still must not change it.
void refuseReadOnly(HANDLE h, const std::string& path) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileInformationByHandle(h, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY))
        throw ErrorFromCode(ERROR_ACCESS_DENIED, "cannot open " + path + " for writing");
}

void writeAll(HANDLE h, const std::string& bytes, const std::string& path) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 24));
        DWORD written = 0;
        if (!WriteFile(h, bytes.data() + done, chunk, &written, nullptr)) throw LastError("cannot write " + path);
        done += written;
    }
}

}  // namespace

// ---- free functions ------------------------------------------------------------

std::wstring SystemPath(const std::string& utf8Path) {
    std::wstring w = Widen(utf8Path);
    for (auto& c : w)
        if (c == L'/') c = L'\\';
    if (w.rfind(L"\\\\?\\", 0) == 0 || w.rfind(L"\\\\.\\", 0) == 0) return w;  // already the system's own form
    const bool drive = w.size() >= 3 && w[1] == L':' && w[2] == L'\\';
    const bool unc = w.size() >= 2 && w[0] == L'\\' && w[1] == L'\\';
    // CreateDirectoryW's limit is 248 (room for an 8.3 name): the lower one
    // for everything.
    if ((!drive && !unc) || w.size() < 248) return w;
    const std::wstring full = fullPath(w);
    if (unc) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::wstring ExactPath(const std::string& utf8Path) {
    std::wstring w = Widen(utf8Path);
    for (auto& c : w)
        if (c == L'/') c = L'\\';
    if (w.rfind(L"\\\\?\\", 0) == 0) return w;
    std::wstring full = fullPath(w);
    // A root keeps its separator ("\\?\C:" would be the volume itself).
    const bool driveRoot = full.size() == 3 && full[1] == L':';
    if (!driveRoot) full = withoutTrailingSeparators(full);
    if (full.rfind(L"\\\\.\\", 0) == 0) return full;  // a device: as it is
    if (full.rfind(L"\\\\", 0) == 0) {
        std::wstring unc = L"\\\\?\\UNC\\" + full.substr(2);
        // A share's root, like a drive's, keeps its separator.
        if (std::count(unc.begin() + 8, unc.end(), L'\\') == 1) unc += L'\\';
        return unc;
    }
    return L"\\\\?\\" + full;
}

EntryKind KindOfAttributes(DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return EntryKind::Link;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return EntryKind::Folder;
    if (attributes & FILE_ATTRIBUTE_DEVICE) return EntryKind::Other;
    return EntryKind::File;
}

DirEntry EntryFromFindData(const WIN32_FIND_DATAW& data) {
    DirEntry e;
    e.name = Narrow(data.cFileName);
    e.attributes = data.dwFileAttributes;
    e.kind = KindOfAttributes(data.dwFileAttributes);
    e.size = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                 ? 0
                 : (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return e;
}

std::wstring DoubleNulTerminated(const std::wstring& path) {
    std::wstring list = path;
    list.push_back(L'\0');
    list.push_back(L'\0');  // c_str() adds a third, which does no harm
    return list;
}

// ---- Win32FileSystem -------------------------------------------------------------

Win32FileSystem::Win32FileSystem(ShellCalls shell) : shell_(std::move(shell)) {}

std::unique_ptr<IDirEnumerator> Win32FileSystem::enumerate(const std::string& pattern) {
    if (pattern.empty()) throw Error(err::InvalidProcedureCall, "Invalid procedure call or argument: empty search pattern");
    auto [folder, wildcard] = splitPattern(pattern);
    checkDrive(folder);
    if (wildcard.empty()) return std::make_unique<EmptyEnumerator>();
    return std::make_unique<Win32DirEnumerator>(folder, wildcard);
}

bool Win32FileSystem::folderExists(const std::string& path) {
    if (path.empty()) return false;
    const DWORD a = GetFileAttributesW(SystemPath(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<std::uint32_t> Win32FileSystem::attributes(const std::string& path) {
    if (path.empty()) return std::nullopt;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(withoutTrailingSeparators(SystemPath(path)).c_str(), GetFileExInfoStandard, &data)) {
        const DWORD code = GetLastError();
        if (isMissing(code)) return std::nullopt;
        throw ErrorFromCode(code, "cannot examine " + path);
    }
    return data.dwFileAttributes;
}

std::optional<std::uint64_t> Win32FileSystem::length(const std::string& path) {
    if (path.empty()) return std::nullopt;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(withoutTrailingSeparators(SystemPath(path)).c_str(), GetFileExInfoStandard, &data)) {
        const DWORD code = GetLastError();
        if (isMissing(code)) return std::nullopt;
        throw ErrorFromCode(code, "cannot examine " + path);
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return 0;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool Win32FileSystem::folderWritable(const std::string& path) {
    if (path.empty()) return false;
    std::wstring folder = withoutTrailingSeparators(SystemPath(path));
    const DWORD a = GetFileAttributesW(folder.c_str());
    if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY)) return false;
    const std::wstring probe = folder + L"\\.nocturo-write-check-" + std::to_wstring(GetCurrentProcessId()) + L".tmp";
    HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_EXISTS;  // another run is asking
    CloseHandle(h);
    return true;
}

void Win32FileSystem::createFolder(const std::string& path) {
    if (path.empty()) throw Error(err::PathNotFound, "Path not found: cannot create a folder without a name");
    const std::wstring w = withoutTrailingSeparators(SystemPath(path));
    if (CreateDirectoryW(w.c_str(), nullptr)) return;
    const DWORD code = GetLastError();
    if (code == ERROR_ALREADY_EXISTS) {
        const DWORD a = GetFileAttributesW(w.c_str());
        if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) return;
        throw Error(err::PathFileAccess,
                    "Path/File access error: cannot create folder " + path + ": a file of that name exists");
    }
    throw ErrorFromCode(code, "cannot create folder " + path);
}

void Win32FileSystem::deleteFile(const std::string& path) {
    const std::wstring w = withoutTrailingSeparators(SystemPath(path));
    Identity found;
    Handle h = openForDelete(w, path, found);
    if (isRealFolder(found.attributes))
        throw Error(err::PathFileAccess, "Path/File access error: cannot delete " + path + ": it is a folder");
    deleteOpenEntry(h, w, found.attributes, path);
}

void Win32FileSystem::moveToRecycleBin(const std::string& path) {
    if (!attributes(path)) throw Error(err::FileNotFound, "File not found: cannot move " + path + " to the recycle bin");
    recycle(shell_, plainFullPath(path), path);
}

void Win32FileSystem::emptyRecycleBin() {
    const HRESULT hr = shell_.emptyRecycleBin(nullptr, SHERB_NOCONFIRMATION | SHERB_NOPROGRESSUI | SHERB_NOSOUND);
    // An empty bin answers E_UNEXPECTED on some versions of Windows: nothing
    // was there to do, which is no failure.
    if (SUCCEEDED(hr) || hr == E_UNEXPECTED) return;
    throw ErrorFromCode(static_cast<DWORD>(hr), "cannot empty the recycle bin");
}

void Win32FileSystem::clearRecentDocuments() { shell_.addToRecentDocs(0, nullptr); }

std::unique_ptr<IFolder> Win32FileSystem::openFolder(const std::string& path) {
    if (path.empty()) throw Error(err::PathNotFound, "Path not found: cannot open a folder without a name");
    checkDrive(path);
    // The start folder itself, as every folder below it: a link or junction
    // in its place is opened as such and refused, never followed (the
    // folders leading to it may be links). A drive's root is no link.
    const DWORD flags = OwnEntry;
    const std::wstring plain = plainFullPath(path);
    const std::wstring exact = ExactPath(path);
    Handle h = openEntry(exact, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE, flags);
    if (!h) throw LastError("cannot open folder " + path);
    Identity found;
    if (!identify(h.get(), found)) throw LastError("cannot open folder " + path);
    if (found.attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        throw Error(err::PathNotFound,
                    "Path not found: cannot open folder " + path + ": it is a link, which is not followed");
    if (!(found.attributes & FILE_ATTRIBUTE_DIRECTORY))
        throw Error(err::PathNotFound, "Path not found: " + path + " is not a folder");
    return std::make_unique<Win32Folder>(std::move(h), found.id, path, exact, isVolumeRoot(plain), flags, shell_);
}

std::optional<std::string> Win32FileSystem::readFile(const std::string& path) {
    Handle h(CreateFileW(SystemPath(path).c_str(), GENERIC_READ, ShareAll, nullptr, OPEN_EXISTING,
                         FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!h) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return std::nullopt;
        throw ErrorFromCode(code, "cannot read " + path);
    }
    std::string bytes;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(h.get(), &size) && size.QuadPart > 0) bytes.reserve(static_cast<std::size_t>(size.QuadPart));
    char buf[65536];
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(h.get(), buf, sizeof buf, &n, nullptr)) throw LastError("cannot read " + path);
        if (n == 0) break;
        bytes.append(buf, n);
    }
    return bytes;
}

void Win32FileSystem::appendFile(const std::string& path, const std::string& bytes) {
    Handle h(openForWriting(path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE));
    refuseReadOnly(h.get(), path);
    writeAll(h.get(), bytes, path);
}

void Win32FileSystem::writeFile(const std::string& path, const std::string& bytes) {
    Handle h(openForWriting(path, GENERIC_WRITE | FILE_READ_ATTRIBUTES));
    refuseReadOnly(h.get(), path);
    if (!SetEndOfFile(h.get())) throw LastError("cannot write " + path);
    writeAll(h.get(), bytes, path);
}

}  // namespace nocturo::platform::win32

#pragma once
// Files and folders on Windows. Listings come from FindFirstFileExW, one
// entry at a time, matched by the program's own wildcard rules (the system's
// matcher also matches the 8.3 short names, so "*.htm" would find
// "page.html"). Open folders are held by handle and checked by identity
// (volume serial and file index) before anything in them is deleted, so a
// folder swapped meanwhile for another, or for a junction, is refused.
//
// The three shell calls that reach beyond the files themselves (the recycle
// bin and the recent documents list) go through ShellCalls, which the tests
// fill with recorders: no test empties a real recycle bin.
#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <string>

#include "platform/IFileSystem.h"

namespace nocturo::platform::win32 {

struct ShellCalls {
    // SHFileOperationW: 0 on success, else an error code; the operation's
    // fAnyOperationsAborted is set when the user (or the shell) cancelled.
    std::function<int(SHFILEOPSTRUCTW* operation)> fileOperation;
    std::function<HRESULT(const wchar_t* rootPath, DWORD flags)> emptyRecycleBin;
    std::function<void(UINT flags, const void* item)> addToRecentDocs;
};

// The table of the real shell calls.
ShellCalls SystemShellCalls();

class Win32FileSystem : public IFileSystem {
public:
    explicit Win32FileSystem(ShellCalls shell = SystemShellCalls());

    PathStyle pathStyle() const override { return PathStyle::Windows; }

    // "/" is accepted as a separator as well as "\". A missing folder, or
    // one that cannot be read, gives no entries; an empty pattern, a name
    // the system calls invalid or a drive that does not exist throws.
    std::unique_ptr<IDirEnumerator> enumerate(const std::string& pattern) override;
    // The listing has the names, kinds and sizes at no extra cost: the same.
    std::unique_ptr<IDirEnumerator> enumerateNames(const std::string& pattern) override { return enumerate(pattern); }
    bool folderExists(const std::string& path) override;
    // The entry's own FILE_ATTRIBUTE_* bits (a link's, not its target's).
    std::optional<std::uint32_t> attributes(const std::string& path) override;
    std::optional<std::uint64_t> length(const std::string& path) override;
    // An existing folder is accepted; an existing file in its place is not.
    void createFolder(const std::string& path) override;
    // A file created there and gone again when closed: what the folder's
    // access rules allow this user (Program Files refuses it).
    bool folderWritable(const std::string& path) override;
    // A file, or a link (symbolic link or junction) as itself; a real folder
    // is refused.
    void deleteFile(const std::string& path) override;
    // SHFileOperationW FO_DELETE with FOF_ALLOWUNDO, silently.
    void moveToRecycleBin(const std::string& path) override;
    // SHEmptyRecycleBinW on every drive, without confirmation, progress or sound.
    void emptyRecycleBin() override;
    // SHAddToRecentDocs with no item.
    void clearRecentDocuments() override;
    // The folder held open by handle (the last name in path may be a link,
    // followed as on Linux; below it no link is ever entered).
    std::unique_ptr<IFolder> openFolder(const std::string& path) override;

    // Binary: bytes pass unchanged, no line-end translation.
    std::optional<std::string> readFile(const std::string& path) override;
    void appendFile(const std::string& path, const std::string& bytes) override;
    void writeFile(const std::string& path, const std::string& bytes) override;  // truncates

private:
    ShellCalls shell_;
};

// The wide path for the file calls: "/" turned into "\", and an absolute
// path that is too long for the classic limit given the "\\?\" (or
// "\\?\UNC\") prefix, after the system has resolved "." and ".." in it
// (which it no longer does behind the prefix).
std::wstring SystemPath(const std::string& utf8Path);

// The exact form of a path, as the open folders use it: made full, then
// given the "\\?\" (or "\\?\UNC\") prefix whatever its length, so that
// names are taken as they are - no device names (CON, NUL), no trailing dots
// or blanks dropped. A root keeps its separator ("\\?\C:\").
std::wstring ExactPath(const std::string& utf8Path);

// A listed entry: attributes as the system gives them, the size (0 for a
// folder) and the kind - every reparse point is a Link, whatever it points
// at, so that nothing walks into one.
DirEntry EntryFromFindData(const WIN32_FIND_DATAW& data);
EntryKind KindOfAttributes(DWORD attributes);

// The path list SHFileOperationW takes: the path, then two NULs.
std::wstring DoubleNulTerminated(const std::wstring& path);

}  // namespace nocturo::platform::win32

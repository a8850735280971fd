#pragma once
// Files and folders, with the Windows enumeration rules the program was built
// around: case-insensitive "*" and "?", "*.*" also matching names without a
// dot, and "." and ".." reported for every folder but a root.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace nocturo::platform {

// Attribute bits as the program tests them.
namespace attr {
inline constexpr std::uint32_t ReadOnly = 0x1;
inline constexpr std::uint32_t Hidden = 0x2;
inline constexpr std::uint32_t System = 0x4;
inline constexpr std::uint32_t Directory = 0x10;
inline constexpr std::uint32_t Archive = 0x20;
inline constexpr std::uint32_t Normal = 0x80;
inline constexpr std::uint32_t ReparsePoint = 0x400;  // symbolic link on Linux
}  // namespace attr

// Who an entry is, whatever its name later: the device and inode (the volume
// serial and file index on Windows). Unknown (0, 0) where a backend cannot tell.
struct FileId {
    std::uint64_t device = 0, inode = 0;
    bool known() const { return device != 0 || inode != 0; }
    bool operator==(const FileId&) const = default;
};

// What kind of entry it is.
enum class EntryKind { File, Folder, Link, Other };  // Other: socket, pipe, device node

struct DirEntry {
    std::string name;          // entry name only, no folder
    std::uint32_t attributes = 0;
    std::uint64_t size = 0;
    EntryKind kind = EntryKind::File;
    FileId id;                 // known where the listing looked at the entry itself
};

// One open enumeration (FindFirstFile/FindNextFile/FindClose). Entries are
// produced lazily, so walking a large folder keeps memory flat.
class IDirEnumerator {
public:
    virtual ~IDirEnumerator() = default;
    virtual std::optional<DirEntry> next() = 0;
};

enum class PathStyle { Windows, Posix };

// An open folder. Its entries are examined, entered, deleted and moved to the
// trash through it - never through a path built again later - so a folder
// that is swapped for a link meanwhile leads nowhere else.
class IFolder {
public:
    virtual ~IFolder() = default;
    // The folder's path as it was reached (for messages and the trash's record).
    virtual const std::string& path() const = 0;
    // Who the open folder is (unknown where the backend cannot tell): a
    // folder opened again later is the same one only with the same id.
    virtual FileId id() const { return {}; }
    // Entries matching the wildcard (the enumeration rules of IFileSystem);
    // namesOnly: the name and kind are enough.
    virtual std::unique_ptr<IDirEnumerator> list(const std::string& wildcard, bool namesOnly) = 0;
    // A subfolder by name, entered only when it is a real folder now (not a
    // link, whatever it points at); nullptr otherwise.
    virtual std::unique_ptr<IFolder> openFolder(const std::string& name) = 0;
    // The entry now, links not followed; nullopt when there is none.
    virtual std::optional<DirEntry> look(const std::string& name) = 0;
    // Deletes the entry (a link as itself) when it is still the one found
    // (same id, where ids are known); throws platform::Error otherwise or
    // when the system refuses.
    virtual void deleteEntry(const std::string& name, const FileId& expected) = 0;
    // Moves it to the recycle bin the same way; the bin records
    // originalPath as where it came from.
    virtual void trashEntry(const std::string& name, const FileId& expected, const std::string& originalPath) = 0;
};

class IFileSystem {
public:
    virtual ~IFileSystem() = default;
    virtual PathStyle pathStyle() const = 0;
    char separator() const { return pathStyle() == PathStyle::Windows ? '\\' : '/'; }

    // pattern = folder + separator + wildcard spec ("C:\temp\*.bak").
    // A folder that cannot be read gives an enumerator that yields nothing;
    // a malformed pattern or missing drive throws platform::Error.
    virtual std::unique_ptr<IDirEnumerator> enumerate(const std::string& pattern) = 0;
    // The same entries, where only the name and the kind (Directory,
    // ReparsePoint, Hidden) are needed: a backend may take them from the
    // listing itself and leave out the size and the other bits.
    virtual std::unique_ptr<IDirEnumerator> enumerateNames(const std::string& pattern) { return enumerate(pattern); }
    virtual bool folderExists(const std::string& path) = 0;
    // nullopt when there is no such entry; symbolic links are reported with
    // ReparsePoint and are not followed.
    virtual std::optional<std::uint32_t> attributes(const std::string& path) = 0;
    virtual std::optional<std::uint64_t> length(const std::string& path) = 0;
    // Creates exactly one folder; its parent must exist. Throws on failure.
    virtual void createFolder(const std::string& path) = 0;
    // The same, readable and writable by the current user only (0700 on
    // Linux); by default an ordinary folder.
    virtual void createPrivateFolder(const std::string& path) { createFolder(path); }
    // Whether the current user may create files in the existing folder. One
    // cheap question (no file is left behind); by default whether it exists.
    virtual bool folderWritable(const std::string& path) { return folderExists(path); }
    // Permanent deletion of one file (a link itself, never its target).
    virtual void deleteFile(const std::string& path) = 0;
    // Moves one file to the recycle bin (freedesktop Trash on Linux).
    virtual void moveToRecycleBin(const std::string& path) = 0;
    // Empties the recycle bin: every one of the user's trash folders.
    virtual void emptyRecycleBin() = 0;
    // Clears the desktop's list of recently used documents.
    virtual void clearRecentDocuments() = 0;
    // The folder at path, opened; throws platform::Error when it is not a
    // folder that can be read, or when path itself is a link (the folders
    // leading to it may be links). By default the folder works with the path
    // calls above (no identities, no protection against a swap meanwhile).
    virtual std::unique_ptr<IFolder> openFolder(const std::string& path);
    // Whether a name matches a wildcard under the enumeration rules above.
    virtual bool wildcardMatch(const std::string& wildcard, const std::string& name) const;

    // Whole-file text access for the program's own files (logs, language
    // files). Bytes are passed through unchanged.
    virtual std::optional<std::string> readFile(const std::string& path) = 0;
    virtual void appendFile(const std::string& path, const std::string& bytes) = 0;
    virtual void writeFile(const std::string& path, const std::string& bytes) = 0;  // truncates
};

}  // namespace nocturo::platform

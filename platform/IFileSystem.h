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

struct DirEntry {
    std::string name;          // entry name only, no folder
    std::uint32_t attributes = 0;
    std::uint64_t size = 0;
};

// One open enumeration (FindFirstFile/FindNextFile/FindClose). Entries are
// produced lazily, so walking a large folder keeps memory flat.
class IDirEnumerator {
public:
    virtual ~IDirEnumerator() = default;
    virtual std::optional<DirEntry> next() = 0;
};

enum class PathStyle { Windows, Posix };

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
    // Permanent deletion of one file (a link itself, never its target).
    virtual void deleteFile(const std::string& path) = 0;
    // Moves one file to the recycle bin (freedesktop Trash on Linux).
    virtual void moveToRecycleBin(const std::string& path) = 0;
    // Empties the recycle bin: every one of the user's trash folders.
    virtual void emptyRecycleBin() = 0;
    // Clears the desktop's list of recently used documents.
    virtual void clearRecentDocuments() = 0;

    // Whole-file text access for the program's own files (logs, language
    // files). Bytes are passed through unchanged.
    virtual std::optional<std::string> readFile(const std::string& path) = 0;
    virtual void appendFile(const std::string& path, const std::string& bytes) = 0;
    virtual void writeFile(const std::string& path, const std::string& bytes) = 0;  // truncates
};

}  // namespace nocturo::platform

#pragma once
// Files and folders on Linux, with the enumeration rules the program expects
// from Windows: "." and ".." first (except in "/"), case-insensitive wildcard
// matching, and attributes derived from the file's mode and name.
#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "platform/IFileSystem.h"

namespace nocturo::platform {

class PosixFileSystem : public IFileSystem {
public:
    PathStyle pathStyle() const override { return PathStyle::Posix; }

    // Entries come one readdir at a time; symbolic links are reported with
    // ReparsePoint (and Directory when they point at a folder), never followed.
    std::unique_ptr<IDirEnumerator> enumerate(const std::string& pattern) override;
    // Kinds from the directory listing's own entry type: no lookup per entry.
    std::unique_ptr<IDirEnumerator> enumerateNames(const std::string& pattern) override;
    bool folderExists(const std::string& path) override;  // follows links
    std::optional<std::uint32_t> attributes(const std::string& path) override;
    std::optional<std::uint64_t> length(const std::string& path) override;
    // An existing folder is accepted; an existing file in its place is not.
    void createFolder(const std::string& path) override;
    void createPrivateFolder(const std::string& path) override;
    // access(W_OK): the permissions, and a file system mounted read-only.
    bool folderWritable(const std::string& path) override;
    void deleteFile(const std::string& path) override;
    // freedesktop.org trash: the home trash for files on its device, else
    // $topdir/.Trash/$uid or $topdir/.Trash-$uid on the file's own mount.
    void moveToRecycleBin(const std::string& path) override;
    // Every trash folder of the user: the home trash and those at the top of
    // each mount. Everything in files/ goes (folders as whole trees, links
    // as links, never followed), with the info files, expunged/ and the
    // folder size cache; files/ and info/ stay. All that can go goes; then
    // the first failure, if any, is thrown as error 1000.
    void emptyRecycleBin() override;
    // $XDG_DATA_HOME/recently-used.xbel (and the older ~/.recently-used.xbel)
    // replaced in one step by the empty bookmark list; a missing list stays
    // missing.
    void clearRecentDocuments() override;
    // The folder held open (the folders leading to it may be links, the
    // folder itself may not; below it, no link is ever entered): entries are examined with fstatat,
    // deleted with unlinkat and moved to the trash with renameat, each
    // relative to the folder it was found in.
    std::unique_ptr<IFolder> openFolder(const std::string& path) override;

    std::optional<std::string> readFile(const std::string& path) override;
    void appendFile(const std::string& path, const std::string& bytes) override;
    void writeFile(const std::string& path, const std::string& bytes) override;
};

// The most a whole-file read of the program's own files (settings, language
// files, lists) takes in: a file that is larger is refused, not read.
inline constexpr std::uint64_t kMaxTextFileBytes = 8u << 20;

// Opens path for reading a whole file without ever waiting: O_NONBLOCK, so a
// FIFO does not hang the open, and (followLink false) O_NOFOLLOW. Anything
// but a regular file (a FIFO, a device such as /dev/zero, a socket, a
// folder) and a file larger than maxBytes are refused with an error that
// names the file as what (e.g. "the settings file /x"). -1 with errno ENOENT
// or ENOTDIR when there is no such file; st is the open file's.
int OpenRegularFile(const std::string& path, const std::string& what, bool followLink, std::uint64_t maxBytes,
                    struct stat& st);
// All of the open file fd (closed here), at most maxBytes of it: a file that
// grows beyond that while being read is refused the same way.
std::string ReadOpenFile(int fd, const std::string& what, std::uint64_t maxBytes);
// "a FIFO", "a device", ... for a mode that is not a regular file's.
std::string KindOfNonRegular(unsigned mode);

// The attribute bits for a file's lstat mode and name (see attr::).
std::uint32_t AttributesFromMode(unsigned mode, const std::string& name, bool linkToFolder);

// A platform::Error for a failed system call: the classic error number for
// errno and a description naming what failed and the system's reason.
// notFound is the number reported for ENOENT (a missing path by default).
Error ErrorFromErrno(int errnum, const std::string& what, long notFound = err::PathNotFound);

// Percent-encoding of a path as a .trashinfo "Path=" holds it: every byte
// except unreserved characters and "/" as %XX.
std::string PercentEncodePath(const std::string& path);

// The mount points in a mount table as /proc/self/mounts gives it (escapes
// such as "\040" undone), in order and each once, leaving out kernel
// interfaces (proc, sysfs, cgroup ...) and read-only mounts: the places
// where a trash folder of the user's may need emptying.
std::vector<std::string> MountTopsIn(const std::string& mountTable);

}  // namespace nocturo::platform

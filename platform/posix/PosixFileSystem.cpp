#include "platform/posix/PosixFileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/common/Wildcard.h"

namespace nocturo::platform {

namespace {

std::string systemText(int errnum) { return std::generic_category().message(errnum); }

std::string classicText(long number) {
    switch (number) {
    case err::FileNotFound: return "File not found";
    case err::PathNotFound: return "Path not found";
    case err::PermissionDenied: return "Permission denied";
    case err::DiskFull: return "Disk full";
    case err::DeviceIo: return "Device I/O error";
    case err::InvalidProcedureCall: return "Invalid procedure call or argument";
    default: return "Path/File access error";
    }
}

Error makeError(long number, const std::string& what) { return Error(number, classicText(number) + ": " + what); }

std::string lastComponent(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "a/b/" names the same entry as "a/b"; without the slash a link is not
// resolved by lstat.
std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

bool isDotEntry(const char* name) { return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')); }

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

void writeAll(int fd, const std::string& bytes, const std::string& path) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int e = errno;
            close(fd);
            throw ErrorFromErrno(e, "cannot write " + path);
        }
        done += static_cast<std::size_t>(n);
    }
}

void writeWithFlags(const std::string& path, const std::string& bytes, int flags) {
    // O_NONBLOCK: a FIFO without a reader in a log's place fails at once
    // instead of holding the program in open(); regular files ignore it.
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK | flags, 0644);  // umask applies
    if (fd < 0) throw ErrorFromErrno(errno, "cannot open " + path + " for writing");
    writeAll(fd, bytes, path);
    if (close(fd) != 0) throw ErrorFromErrno(errno, "cannot write " + path);
}

EntryKind kindOfMode(mode_t mode) {
    if (S_ISREG(mode)) return EntryKind::File;
    if (S_ISDIR(mode)) return EntryKind::Folder;
    if (S_ISLNK(mode)) return EntryKind::Link;
    return EntryKind::Other;
}

EntryKind kindOfType(unsigned char dtype) {
    return dtype == DT_DIR ? EntryKind::Folder : dtype == DT_LNK ? EntryKind::Link : dtype == DT_REG ? EntryKind::File
                                                                                                  : EntryKind::Other;
}

FileId idOf(const struct stat& st) {
    return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

DirEntry entryFromStat(int dirFd, const char* name, const struct stat& st) {
    DirEntry e;
    e.name = name;
    bool linkToFolder = false;
    if (S_ISLNK(st.st_mode)) {
        struct stat target {};
        linkToFolder = fstatat(dirFd, name, &target, 0) == 0 && S_ISDIR(target.st_mode);
    }
    e.attributes = AttributesFromMode(st.st_mode, e.name, linkToFolder);
    e.size = S_ISDIR(st.st_mode) ? 0 : static_cast<std::uint64_t>(st.st_size);
    e.kind = kindOfMode(st.st_mode);
    e.id = idOf(st);
    return e;
}

DirEntry entryFor(int dirFd, const char* name, unsigned char dtype) {
    struct stat st {};
    if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0) return entryFromStat(dirFd, name, st);
    DirEntry e;
    e.name = name;
    e.kind = kindOfType(dtype);
    // Listed but not examinable (a folder with read but no search right):
    // the directory entry's own type is all there is.
    const unsigned mode = dtype == DT_DIR ? S_IFDIR | 0700 : dtype == DT_LNK ? S_IFLNK | 0777 : S_IFREG | 0600;
    e.attributes = AttributesFromMode(mode, e.name, false);
    return e;
}

// An entry from the listing's own type; an unknown type is looked up.
DirEntry kindFor(int dirFd, const char* name, unsigned char dtype) {
    if (dtype != DT_DIR && dtype != DT_LNK && dtype != DT_REG) return entryFor(dirFd, name, dtype);
    DirEntry e;
    e.name = name;
    e.kind = kindOfType(dtype);
    const unsigned mode = dtype == DT_DIR ? S_IFDIR | 0700 : dtype == DT_LNK ? S_IFLNK | 0777 : S_IFREG | 0600;
    e.attributes = AttributesFromMode(mode, e.name, false);
    return e;
}

class PosixDirEnumerator : public IDirEnumerator {
public:
    PosixDirEnumerator(const std::string& folder, std::string wildcard, bool namesOnly = false)
        : PosixDirEnumerator(opendir(folder.c_str()), std::move(wildcard), namesOnly) {}
    // A listing of an open folder, with its own position (fd is not taken).
    PosixDirEnumerator(int folderFd, std::string wildcard, bool namesOnly)
        : PosixDirEnumerator(openListing(folderFd), std::move(wildcard), namesOnly) {}

    PosixDirEnumerator(DIR* dir, std::string wildcard, bool namesOnly)
        : wildcard_(std::move(wildcard)), namesOnly_(namesOnly), dir_(dir) {
        if (!dir_) return;
        // "." and ".." come first when the wildcard matches them, except in
        // the root, which has neither. Most wildcards ("*.bak") match
        // neither; the root test is then not needed.
        dots_ = 2;
        if (WildcardMatch(wildcard_, ".") || WildcardMatch(wildcard_, "..")) {
            struct stat self {}, root {};
            isRoot_ = fstat(dirfd(dir_), &self) == 0 && stat("/", &root) == 0 && sameFile(self, root);
            dots_ = isRoot_ ? 2 : 0;
        }
        // A plain name (no wildcard) is looked up directly when it exists
        // with exactly that spelling; only otherwise is the folder scanned
        // for it without regard to case.
        if (!HasWildcard(wildcard_) && !wildcard_.empty() && wildcard_.back() != '.') {
            struct stat st {};
            if (fstatat(dirfd(dir_), wildcard_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) exact_ = true;
        }
    }
    ~PosixDirEnumerator() override {
        if (dir_) closedir(dir_);
    }
    PosixDirEnumerator(const PosixDirEnumerator&) = delete;
    PosixDirEnumerator& operator=(const PosixDirEnumerator&) = delete;

    std::optional<DirEntry> next() override {
        if (!dir_) return std::nullopt;
        if (exact_) {
            exact_ = false;
            auto e = entryFor(dirfd(dir_), wildcard_.c_str(), DT_UNKNOWN);
            close();
            if (isRoot_ && isDotEntry(wildcard_.c_str())) return std::nullopt;  // "/" has neither
            return e;
        }
        while (dots_ < 2) {
            const char* name = dots_++ == 0 ? "." : "..";
            if (WildcardMatch(wildcard_, name)) return entryFor(dirfd(dir_), name, DT_DIR);
        }
        while (const dirent* d = readdir(dir_)) {
            if (isDotEntry(d->d_name)) continue;  // reported first, above
            if (!WildcardMatch(wildcard_, d->d_name)) continue;
            return namesOnly_ ? kindFor(dirfd(dir_), d->d_name, d->d_type) : entryFor(dirfd(dir_), d->d_name, d->d_type);
        }
        close();
        return std::nullopt;
    }

private:
    static DIR* openListing(int folderFd) {
        const int fd = openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return nullptr;
        DIR* dir = fdopendir(fd);
        if (!dir) ::close(fd);
        return dir;
    }
    void close() {
        if (dir_) closedir(dir_);
        dir_ = nullptr;
    }

    std::string wildcard_;
    bool namesOnly_ = false;
    DIR* dir_ = nullptr;
    int dots_ = 0;  // "." and ".." looked at so far
    bool isRoot_ = false;
    bool exact_ = false;
};

// ---- trash ------------------------------------------------------------------

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

// $XDG_DATA_HOME when it is an absolute path, else ~/.local/share: where the
// home trash and the desktop's list of recent documents live.
std::string dataHomeFolder() {
    std::string dataHome = env("XDG_DATA_HOME");
    if (dataHome.empty() || dataHome.front() != '/') {
        std::string home = env("HOME");
        if (home.empty()) home = "/";
        dataHome = home + "/.local/share";
    }
    return dataHome;
}

std::string homeTrashFolder() { return dataHomeFolder() + "/Trash"; }

std::string parentOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// mkdir -p with the trash's private mode.
void makeFolders(const std::string& folder, mode_t mode) {
    struct stat st {};
    if (stat(folder.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode)) throw ErrorFromErrno(ENOTDIR, "cannot create " + folder);
        return;
    }
    if (folder != "/" && folder != ".") makeFolders(parentOf(folder), mode);
    if (mkdir(folder.c_str(), mode) != 0 && errno != EEXIST) throw ErrorFromErrno(errno, "cannot create " + folder);
}

// The device of the folder, or of its nearest existing parent.
dev_t deviceOf(std::string folder) {
    for (;;) {
        struct stat st {};
        if (stat(folder.c_str(), &st) == 0) return st.st_dev;
        if (folder == "/" || folder == ".") return 0;
        folder = parentOf(folder);
    }
}

// The top folder of the mount that holds folder (a real path).
std::string mountTop(const std::string& folder, dev_t dev) {
    std::string top = folder;
    while (top != "/") {
        const std::string up = parentOf(top);
        struct stat st {};
        if (stat(up.c_str(), &st) != 0 || st.st_dev != dev) break;
        top = up;
    }
    return top;
}

// A trash folder we may use: a real folder (not a link) owned by us.
bool isOwnTrash(const struct stat& st) { return S_ISDIR(st.st_mode) && st.st_uid == geteuid(); }

// The administrator's shared trash folder: a real folder with the sticky bit.
bool isSharedTrash(const struct stat& st) { return S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX); }

bool usableTrash(const std::string& folder) {
    struct stat st {};
    return lstat(folder.c_str(), &st) == 0 && isOwnTrash(st);
}

std::string topdirTrash(const std::string& top) {
    const std::string uid = std::to_string(geteuid());
    const std::string base = top == "/" ? "" : top;
    const std::string shared = base + "/.Trash";
    struct stat st {};
    if (lstat(shared.c_str(), &st) == 0 && isSharedTrash(st)) {
        const std::string mine = shared + "/" + uid;
        if (mkdir(mine.c_str(), 0700) == 0 || errno == EEXIST)
            if (usableTrash(mine)) return mine;
    }
    const std::string own = base + "/.Trash-" + uid;
    if (mkdir(own.c_str(), 0700) == 0 || errno == EEXIST)
        if (usableTrash(own)) return own;
    return "";
}

std::string deletionDate() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &tm);
    return buf;
}

// NAME, NAME.2, NAME.3 ...; shortened (at a character boundary) so that
// NAME.N.trashinfo still fits a file name.
std::string trashName(const std::string& name, int n) {
    const std::string suffix = n == 1 ? "" : "." + std::to_string(n);
    const std::size_t room = NAME_MAX - std::string(".trashinfo").size() - suffix.size();
    std::string base = name;
    if (base.size() > room) {
        base.resize(room);
        while (!base.empty() && (static_cast<unsigned char>(base.back()) & 0xC0) == 0x80) base.pop_back();
        if (!base.empty() && static_cast<unsigned char>(base.back()) >= 0xC0) base.pop_back();
    }
    return base + suffix;
}


// ---- emptying the trash -----------------------------------------------------

// What went wrong while emptying: one failure does not stop the rest; the
// first is reported, the others counted.
struct Failures {
    std::string first;
    std::size_t count = 0;
    void add(const std::string& text) {
        if (count++ == 0) first = text;
    }
    void add(int errnum, const std::string& what) { add(what + " (" + systemText(errnum) + ")"); }
};

// Folders inside a trash are only ever entered this way: a link in a
// folder's place makes the open fail, it is never followed.
constexpr int FolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

bool removeEntry(int dirFd, const char* name, const std::string& path, dev_t dev, Failures& failures);

// Removes everything in the open folder fd (taken over and closed). True
// when all of it went.
bool removeContents(int fd, const std::string& path, dev_t dev, Failures& failures) {
    DIR* dir = fdopendir(fd);
    if (!dir) {
        const int e = errno;
        close(fd);
        failures.add(e, "cannot read " + path);
        return false;
    }
    bool all = true;
    for (;;) {
        errno = 0;
        const dirent* d = readdir(dir);
        if (!d) {
            if (errno != 0) {
                failures.add(errno, "cannot read " + path);
                all = false;
            }
            break;
        }
        if (isDotEntry(d->d_name)) continue;
        if (!removeEntry(dirfd(dir), d->d_name, path + "/" + d->d_name, dev, failures)) all = false;
    }
    closedir(dir);
    return all;
}

// Removes one entry of the folder dirFd and, for a folder, the tree below
// it. A link is removed as a link. A folder on another file system than dev
// (something mounted inside the trash) is not entered. True when the entry
// is gone.
bool removeEntry(int dirFd, const char* name, const std::string& path, dev_t dev, Failures& failures) {
    // The entry may change between looking and acting (a folder replaced by
    // a link, a file by a folder, a folder refilled): each surprise means
    // looking again, a few times.
    for (int attempt = 0; attempt < 3; ++attempt) {
        struct stat st {};
        if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT) return true;
            failures.add(errno, "cannot examine " + path);
            return false;
        }
        if (!S_ISDIR(st.st_mode)) {
            if (unlinkat(dirFd, name, 0) == 0 || errno == ENOENT) return true;
            if (errno == EISDIR) continue;
            failures.add(errno, "cannot remove " + path);
            return false;
        }
        const int fd = openat(dirFd, name, FolderFlags);
        if (fd < 0) {
            if (errno == ENOENT) return true;
            if (errno == ELOOP || errno == ENOTDIR) continue;
            failures.add(errno, "cannot open " + path);
            return false;
        }
        struct stat opened {};
        if (fstat(fd, &opened) != 0) {
            const int e = errno;
            close(fd);
            failures.add(e, "cannot examine " + path);
            return false;
        }
        if (opened.st_dev != dev) {
            close(fd);
            failures.add("cannot remove " + path + ": another file system is mounted there");
            return false;
        }
        if (!removeContents(fd, path, dev, failures)) return false;
        if (unlinkat(dirFd, name, AT_REMOVEDIR) == 0 || errno == ENOENT) return true;
        if (errno == ENOTEMPTY || errno == EEXIST || errno == ENOTDIR) continue;
        failures.add(errno, "cannot remove " + path);
        return false;
    }
    failures.add("cannot remove " + path + ": it keeps changing");
    return false;
}

// Removes the info files of the trash whose entries are no longer in files/
// (filesFd, or -1 when there is no files/ folder). An entry that could not be
// removed keeps its info file, so it can still be seen and restored.
void removeInfoFiles(int trashFd, int filesFd, const std::string& trash, Failures& failures) {
    static constexpr std::string_view suffix = ".trashinfo";
    const std::string infoPath = trash + "/info";
    const int fd = openat(trashFd, "info", FolderFlags);
    if (fd < 0) {
        if (errno != ENOENT) failures.add(errno, "cannot open " + infoPath);
        return;
    }
    DIR* dir = fdopendir(fd);
    if (!dir) {
        const int e = errno;
        close(fd);
        failures.add(e, "cannot read " + infoPath);
        return;
    }
    for (;;) {
        errno = 0;
        const dirent* d = readdir(dir);
        if (!d) {
            if (errno != 0) failures.add(errno, "cannot read " + infoPath);
            break;
        }
        const std::string_view name = d->d_name;
        if (name.size() <= suffix.size() || name.substr(name.size() - suffix.size()) != suffix) continue;
        const std::string entry(name.substr(0, name.size() - suffix.size()));
        struct stat st {};
        if (filesFd >= 0 && (fstatat(filesFd, entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT))
            continue;  // still in the trash (or unknown): the info file stays
        if (unlinkat(dirfd(dir), d->d_name, 0) != 0 && errno != ENOENT)
            failures.add(errno, "cannot remove " + infoPath + "/" + d->d_name);
    }
    closedir(dir);
}

// Empties one trash folder (trashFd, taken over and closed): everything in
// files/, the info files of what went, the leftovers in expunged/ and the
// cache of folder sizes. files/ and info/ themselves stay.
void emptyTrash(int trashFd, const std::string& trash, Failures& failures) {
    const std::string filesPath = trash + "/files";
    const int filesFd = openat(trashFd, "files", FolderFlags);
    if (filesFd < 0 && errno != ENOENT) {
        // Without a readable files/ nothing is known to be gone: the info
        // files all stay.
        failures.add(errno, "cannot open " + filesPath);
    } else {
        if (filesFd >= 0) {
            struct stat st {};
            const int walk = fcntl(filesFd, F_DUPFD_CLOEXEC, 0);
            if (fstat(filesFd, &st) != 0 || walk < 0) {
                failures.add(errno, "cannot read " + filesPath);
                if (walk >= 0) close(walk);
            } else {
                removeContents(walk, filesPath, st.st_dev, failures);
            }
        }
        removeInfoFiles(trashFd, filesFd, trash, failures);
        if (filesFd >= 0) close(filesFd);
    }
    struct stat self {};
    if (fstat(trashFd, &self) == 0) removeEntry(trashFd, "expunged", trash + "/expunged", self.st_dev, failures);
    if (unlinkat(trashFd, "directorysizes", 0) != 0 && errno != ENOENT)
        failures.add(errno, "cannot remove " + trash + "/directorysizes");
    close(trashFd);
}

// Octal escapes of the mount table ("\040" for a space) back to their bytes.
std::string unescapeMountField(std::string_view field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const auto octal = [&](std::size_t k) { return k < field.size() && field[k] >= '0' && field[k] <= '7'; };
        if (field[i] == '\\' && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
            out += static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) | (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

// File systems that never hold a user's files: kernel interfaces, and
// views of other file systems that have their own trash handling.
bool isPseudoFileSystem(std::string_view type) {
    static constexpr std::string_view pseudo[] = {
        "proc",        "sysfs",      "cgroup",     "cgroup2",         "devpts",      "devtmpfs",
        "debugfs",     "tracefs",    "securityfs", "pstore",          "bpf",         "configfs",
        "fusectl",     "mqueue",     "hugetlbfs",  "binfmt_misc",     "autofs",      "efivarfs",
        "nsfs",        "rpc_pipefs", "selinuxfs",  "smackfs",         "rootfs",      "binder",
        "fuse.lxcfs",  "fuse.gvfsd-fuse", "fuse.portal",
    };
    for (const auto p : pseudo)
        if (type == p) return true;
    return false;
}

// ---- recent documents ------------------------------------------------------

constexpr std::string_view EmptyBookmarkList =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<xbel version=\"1.0\" xmlns:bookmark=\"http://www.freedesktop.org/standards/desktop-bookmarks\""
    " xmlns:mime=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
    "</xbel>\n";

// Replaces a bookmark file by the empty list, in one step (a reader sees the
// old list or the empty one, never a part), keeping its permissions and
// owner. Nothing is done where there is no plain file to clear: no file, a
// link to nothing, or a link to something else such as /dev/null (how some
// users turn the list off); a link to a file keeps the link and clears the
// file.
void clearBookmarkFile(const std::string& path) {
    std::string target = path;
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return;
        throw ErrorFromErrno(errno, "cannot clear " + path);
    }
    if (S_ISLNK(st.st_mode)) {
        char* real = realpath(path.c_str(), nullptr);
        if (!real) {
            if (errno == ENOENT || errno == ENOTDIR || errno == ELOOP) return;
            throw ErrorFromErrno(errno, "cannot clear " + path);
        }
        target = real;
        std::free(real);
        if (lstat(target.c_str(), &st) != 0) {
            if (errno == ENOENT || errno == ENOTDIR) return;
            throw ErrorFromErrno(errno, "cannot clear " + path);
        }
    }
    if (!S_ISREG(st.st_mode)) return;

    std::string temp = parentOf(target) + "/." + lastComponent(target) + ".XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);  // 0600 until the mode is copied
    if (fd < 0) throw ErrorFromErrno(errno, "cannot clear " + path);
    const auto fail = [&](int e) {
        close(fd);
        unlink(temp.c_str());
        return ErrorFromErrno(e, "cannot clear " + path);
    };
    try {
        writeAll(fd, std::string(EmptyBookmarkList), temp);
    } catch (...) {
        unlink(temp.c_str());  // writeAll has closed it
        throw;
    }
    // Run as root for another user's home, the file stays theirs; an owner
    // we cannot give it is not worth failing for.
    if (st.st_uid != geteuid() || st.st_gid != getegid()) {
        if (fchown(fd, st.st_uid, st.st_gid) != 0) {
            // kept as ours
        }
    }
    if (fchmod(fd, st.st_mode & 07777) != 0) throw fail(errno);
    if (fsync(fd) != 0) throw fail(errno);
    if (close(fd) != 0) {
        const int e = errno;
        unlink(temp.c_str());
        throw ErrorFromErrno(e, "cannot clear " + path);
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const int e = errno;
        unlink(temp.c_str());
        throw ErrorFromErrno(e, "cannot clear " + path);
    }
    // The rename itself made durable.
    const int folder = open(parentOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        fsync(folder);
        close(folder);
    }
}

}  // namespace

// ---- free functions ---------------------------------------------------------------

std::uint32_t AttributesFromMode(unsigned mode, const std::string& name, bool linkToFolder) {
    std::uint32_t a = 0;
    if (S_ISLNK(mode)) {
        a |= attr::ReparsePoint;
        if (linkToFolder) a |= attr::Directory;
    } else if (S_ISDIR(mode)) {
        a |= attr::Directory;
    } else if (S_ISREG(mode)) {
        a |= attr::Archive;
    } else {
        a |= attr::System;  // devices, pipes, sockets
    }
    if (!name.empty() && name[0] == '.' && name != "." && name != "..") a |= attr::Hidden;
    if (!S_ISLNK(mode) && !(mode & S_IWUSR)) a |= attr::ReadOnly;
    return a;
}

Error ErrorFromErrno(int errnum, const std::string& what, long notFound) {
    long number = err::PathFileAccess;
    switch (errnum) {
    case ENOENT: number = notFound; break;
    case ENOTDIR: number = err::PathNotFound; break;
    case EACCES:
    case EPERM:
    case EROFS: number = err::PermissionDenied; break;
    case ENOSPC:
    case EDQUOT: number = err::DiskFull; break;
    case EIO: number = err::DeviceIo; break;
    default: break;
    }
    return makeError(number, what + " (" + systemText(errnum) + ")");
}

std::string PercentEncodePath(const std::string& path) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                          std::string_view("-_.!~*'()/").find(ch) != std::string_view::npos;
        if (keep) {
            out += ch;
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0xF];
        }
    }
    return out;
}

std::vector<std::string> MountTopsIn(const std::string& mountTable) {
    std::vector<std::string> tops;
    std::size_t start = 0;
    while (start < mountTable.size()) {
        std::size_t end = mountTable.find('\n', start);
        if (end == std::string::npos) end = mountTable.size();
        const std::string_view line(mountTable.data() + start, end - start);
        start = end + 1;
        // device, mount point, type, options, ...: separated by blanks,
        // which the fields themselves hold only as escapes.
        std::vector<std::string_view> fields;
        std::size_t i = 0;
        while (i < line.size()) {
            while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
            const std::size_t from = i;
            while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
            if (i > from) fields.push_back(line.substr(from, i - from));
        }
        if (fields.size() < 4 || isPseudoFileSystem(fields[2])) continue;
        // Nothing in a read-only mount's trash could be removed.
        bool readOnly = false;
        for (std::size_t p = 0; p <= fields[3].size();) {
            std::size_t comma = fields[3].find(',', p);
            if (comma == std::string_view::npos) comma = fields[3].size();
            if (fields[3].substr(p, comma - p) == "ro") readOnly = true;
            p = comma + 1;
        }
        if (readOnly) continue;
        std::string top = unescapeMountField(fields[1]);
        if (top.empty() || top.front() != '/') continue;
        if (std::find(tops.begin(), tops.end(), top) == tops.end()) tops.push_back(std::move(top));
    }
    return tops;
}

// ---- PosixFileSystem ----------------------------------------------------------------

namespace {
std::unique_ptr<IDirEnumerator> openEnumerator(const std::string& pattern, bool namesOnly);
}  // namespace

std::unique_ptr<IDirEnumerator> PosixFileSystem::enumerate(const std::string& pattern) {
    return openEnumerator(pattern, false);
}

std::unique_ptr<IDirEnumerator> PosixFileSystem::enumerateNames(const std::string& pattern) {
    return openEnumerator(pattern, true);
}

namespace {
std::unique_ptr<IDirEnumerator> openEnumerator(const std::string& pattern, bool namesOnly) {
    if (pattern.empty()) throw makeError(err::InvalidProcedureCall, "empty search pattern");
    const auto slash = pattern.rfind('/');
    std::string folder, wildcard;
    if (slash == std::string::npos) {
        folder = ".";
        wildcard = pattern;
    } else {
        folder = slash == 0 ? "/" : pattern.substr(0, slash);
        wildcard = pattern.substr(slash + 1);
    }
    return std::make_unique<PosixDirEnumerator>(folder, wildcard, namesOnly);
}
}  // namespace

bool PosixFileSystem::folderExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<std::uint32_t> PosixFileSystem::attributes(const std::string& path) {
    const std::string p = withoutTrailingSlashes(path);
    struct stat st {};
    if (p.empty() || lstat(p.c_str(), &st) != 0) {
        if (p.empty() || errno == ENOENT || errno == ENOTDIR) return std::nullopt;
        throw ErrorFromErrno(errno, "cannot examine " + path);
    }
    bool linkToFolder = false;
    if (S_ISLNK(st.st_mode)) {
        struct stat target {};
        linkToFolder = stat(p.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
    }
    return AttributesFromMode(st.st_mode, lastComponent(p), linkToFolder);
}

std::optional<std::uint64_t> PosixFileSystem::length(const std::string& path) {
    const std::string p = withoutTrailingSlashes(path);
    struct stat st {};
    if (p.empty() || lstat(p.c_str(), &st) != 0) {
        if (p.empty() || errno == ENOENT || errno == ENOTDIR) return std::nullopt;
        throw ErrorFromErrno(errno, "cannot examine " + path);
    }
    return S_ISDIR(st.st_mode) ? 0 : static_cast<std::uint64_t>(st.st_size);
}

namespace {
void makeFolder(const std::string& path, mode_t mode) {
    if (path.empty()) throw makeError(err::PathNotFound, "cannot create a folder without a name");
    if (mkdir(path.c_str(), mode) == 0) return;
    const int e = errno;
    if (e == EEXIST) {
        struct stat st {};
        if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return;
        throw makeError(err::PathFileAccess, "cannot create folder " + path + ": a file of that name exists");
    }
    throw ErrorFromErrno(e, "cannot create folder " + path);
}
}  // namespace

void PosixFileSystem::createFolder(const std::string& path) { makeFolder(path, 0777); }  // the umask gives 0755

void PosixFileSystem::createPrivateFolder(const std::string& path) { makeFolder(path, 0700); }

bool PosixFileSystem::folderWritable(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    return access(path.c_str(), W_OK | X_OK) == 0;
}

void PosixFileSystem::deleteFile(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) throw ErrorFromErrno(errno, "cannot delete " + path, err::FileNotFound);
    if (S_ISDIR(st.st_mode)) throw makeError(err::PathFileAccess, "cannot delete " + path + ": it is a folder");
    if (unlink(path.c_str()) != 0) throw ErrorFromErrno(errno, "cannot delete " + path, err::FileNotFound);
}

namespace {

bool renameNoReplaceAt(int fromFd, const std::string& from, int toFd, const std::string& to) {
#ifdef RENAME_NOREPLACE
    if (renameat2(fromFd, from.c_str(), toFd, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
#endif
    struct stat st {};
    if (fstatat(toFd, to.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return false;
    }
    return renameat(fromFd, from.c_str(), toFd, to.c_str()) == 0;
}

// Closes a descriptor however the scope is left.
struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) close(fd);
    }
};

// Moves the entry name of the folder fromFd (whose lstat is st) into the
// trash for its device. original is where the trash records it came from (an
// absolute path); shown names it in messages.
void moveIntoTrash(int fromFd, const std::string& name, const struct stat& st, const std::string& original,
                   const std::string& shown) {
    const std::string fail = "cannot move " + shown + " to the trash";
    // The home trash for its own device, else the trash of the file's mount.
    const std::string homeTrash = homeTrashFolder();
    std::string trash, infoPath;
    if (deviceOf(homeTrash) == st.st_dev) {
        trash = homeTrash;
        infoPath = original;
    } else {
        const std::string top = mountTop(parentOf(original), st.st_dev);
        trash = topdirTrash(top);
        if (trash.empty()) throw makeError(err::PermissionDenied, fail + ": no usable trash folder in " + top);
        infoPath = top == "/" ? original.substr(1) : original.substr(top.size() + 1);
    }
    makeFolders(trash + "/files", 0700);
    makeFolders(trash + "/info", 0700);
    Fd files{open((trash + "/files").c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)};
    Fd infos{open((trash + "/info").c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)};
    if (files.fd < 0 || infos.fd < 0) throw ErrorFromErrno(errno, fail);
    struct stat trashSt {};
    if (fstat(files.fd, &trashSt) != 0 || trashSt.st_dev != st.st_dev)
        throw makeError(err::PermissionDenied, fail + ": the trash folder is on another device");

    const std::string info = "[Trash Info]\nPath=" + PercentEncodePath(infoPath) + "\nDeletionDate=" + deletionDate() + "\n";
    for (int n = 1; n < 100000; ++n) {
        const std::string candidate = trashName(name, n);
        struct stat existing {};
        if (fstatat(files.fd, candidate.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) continue;  // no info file
        // The info file comes first and claims the name (O_EXCL): a trash
        // entry never exists without it.
        const std::string infoName = candidate + ".trashinfo";
        const int fd = openat(infos.fd, infoName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            throw ErrorFromErrno(errno, fail);
        }
        try {
            writeAll(fd, info, trash + "/info/" + infoName);
        } catch (...) {
            close(fd);
            unlinkat(infos.fd, infoName.c_str(), 0);
            throw;
        }
        if (close(fd) != 0) {
            const int e = errno;
            unlinkat(infos.fd, infoName.c_str(), 0);
            throw ErrorFromErrno(e, fail);
        }
        if (renameNoReplaceAt(fromFd, name, files.fd, candidate)) return;
        const int e = errno;
        unlinkat(infos.fd, infoName.c_str(), 0);
        if (e == EEXIST) continue;
        throw ErrorFromErrno(e, fail, err::FileNotFound);
    }
    throw makeError(err::PathFileAccess, fail + ": no free name");
}

// A folder held open: everything below it is reached relative to it.
class PosixFolder : public IFolder {
public:
    PosixFolder(int fd, std::string path) : fd_(fd), path_(std::move(path)) {
        if (path_.empty() || path_.back() != '/') path_ += '/';
        struct stat st {};
        if (fstat(fd_, &st) == 0) id_ = idOf(st);
    }
    ~PosixFolder() override { close(fd_); }
    PosixFolder(const PosixFolder&) = delete;
    PosixFolder& operator=(const PosixFolder&) = delete;

    const std::string& path() const override { return path_; }
    FileId id() const override { return id_; }

    std::unique_ptr<IDirEnumerator> list(const std::string& wildcard, bool namesOnly) override {
        // Entries of this folder only: a pattern with a folder part matches nothing.
        if (wildcard.find('/') != std::string::npos)
            return std::make_unique<PosixDirEnumerator>(static_cast<DIR*>(nullptr), wildcard, namesOnly);
        return std::make_unique<PosixDirEnumerator>(fd_, wildcard, namesOnly);
    }

    std::unique_ptr<IFolder> openFolder(const std::string& name) override {
        if (name.empty() || isDotEntry(name.c_str()) || name.find('/') != std::string::npos) return nullptr;
        // O_NOFOLLOW: a link in its place is not entered, whatever it points at.
        const int fd = openat(fd_, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) return nullptr;
        return std::make_unique<PosixFolder>(fd, path_ + name);
    }

    std::optional<DirEntry> look(const std::string& name) override {
        struct stat st {};
        if (!examine(name, st)) return std::nullopt;
        return entryFromStat(fd_, name.c_str(), st);
    }

    void deleteEntry(const std::string& name, const FileId& expected) override {
        const std::string shown = path_ + name;
        const struct stat st = found(name, expected, "cannot delete " + shown);
        if (S_ISDIR(st.st_mode)) throw makeError(err::PathFileAccess, "cannot delete " + shown + ": it is a folder");
        if (unlinkat(fd_, name.c_str(), 0) != 0) throw ErrorFromErrno(errno, "cannot delete " + shown, err::FileNotFound);
    }

    void trashEntry(const std::string& name, const FileId& expected, const std::string& originalPath) override {
        const std::string shown = path_ + name;
        const struct stat st = found(name, expected, "cannot move " + shown + " to the trash");
        moveIntoTrash(fd_, name, st, originalPath.empty() ? shown : originalPath, shown);
    }

private:
    bool examine(const std::string& name, struct stat& st) {
        if (name.empty() || name.find('/') != std::string::npos) return false;
        if (fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return true;
        if (errno == ENOENT || errno == ENOTDIR) return false;
        throw ErrorFromErrno(errno, "cannot examine " + path_ + name);
    }

    // The entry as it is now, when it is still the one that was found.
    struct stat found(const std::string& name, const FileId& expected, const std::string& what) {
        if (name.empty() || isDotEntry(name.c_str()) || name.find('/') != std::string::npos)
            throw makeError(err::InvalidProcedureCall, what + ": not an entry name");
        struct stat st {};
        if (!examine(name, st)) throw makeError(err::FileNotFound, what + ": it is gone");
        if (expected.known() && !(idOf(st) == expected))
            throw makeError(err::PathFileAccess, what + ": it is not the file that was found");
        return st;
    }

    int fd_;
    std::string path_;
    FileId id_;
};

}  // namespace

std::unique_ptr<IFolder> PosixFileSystem::openFolder(const std::string& path) {
    if (path.empty()) throw makeError(err::PathNotFound, "cannot open a folder without a name");
    // The folder itself, never what a link in its place points at: without
    // its trailing "/" the last name is not resolved through a link, and
    // O_NOFOLLOW refuses one.
    const std::string exact = withoutTrailingSlashes(path);
    const int fd = open(exact.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        struct stat st {};
        if ((e == ELOOP || e == ENOTDIR) && lstat(exact.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
            throw makeError(err::PathNotFound, "cannot open folder " + path + ": it is a symbolic link, which is not followed");
        throw ErrorFromErrno(e, "cannot open folder " + path);
    }
    return std::make_unique<PosixFolder>(fd, path);
}

void PosixFileSystem::moveToRecycleBin(const std::string& path) {
    // Where the entry really is: its folder resolved, its own name kept (a
    // link goes to the trash as a link).
    std::string full = withoutTrailingSlashes(path);
    if (!full.empty() && full.front() != '/') {
        char cwd[PATH_MAX];
        if (!getcwd(cwd, sizeof cwd)) throw ErrorFromErrno(errno, "cannot move " + path + " to the trash");
        full = std::string(cwd) + "/" + full;
    }
    const std::string name = lastComponent(full);
    if (name.empty() || name == "." || name == "..")
        throw makeError(err::InvalidProcedureCall, "cannot move " + path + " to the trash");
    char* real = realpath(parentOf(full).c_str(), nullptr);
    if (!real) throw ErrorFromErrno(errno, "cannot move " + path + " to the trash");
    const std::string folder = real;
    std::free(real);
    Fd from{open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (from.fd < 0) throw ErrorFromErrno(errno, "cannot move " + path + " to the trash");
    struct stat st {};
    if (fstatat(from.fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        throw ErrorFromErrno(errno, "cannot move " + path + " to the trash", err::FileNotFound);
    moveIntoTrash(from.fd, name, st, (folder == "/" ? "" : folder) + "/" + name, path);
}

std::string KindOfNonRegular(unsigned mode) {
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISLNK(mode)) return "a symbolic link";
    return "not a regular file";
}

int OpenRegularFile(const std::string& path, const std::string& what, bool followLink, std::uint64_t maxBytes,
                    struct stat& st) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW));
    if (fd < 0) {
        const int e = errno;
        if (e == ENOENT || e == ENOTDIR) return -1;
        if (e == ELOOP && !followLink)
            throw makeError(err::PathFileAccess, "cannot read " + what + ": it is a symbolic link, which is not followed");
        throw ErrorFromErrno(e, "cannot read " + what, err::FileNotFound);
    }
    if (fstat(fd, &st) != 0) {
        const int e = errno;
        close(fd);
        throw ErrorFromErrno(e, "cannot read " + what);
    }
    if (!S_ISREG(st.st_mode)) {
        close(fd);
        throw makeError(err::PathFileAccess,
                        "cannot read " + what + ": it is " + KindOfNonRegular(st.st_mode) + ", not a regular file");
    }
    if (static_cast<std::uint64_t>(st.st_size) > maxBytes) {
        close(fd);
        throw makeError(err::PathFileAccess, "cannot read " + what + ": it is larger than " +
                                                 std::to_string(maxBytes >> 20) + " MiB (" +
                                                 std::to_string(st.st_size) + " bytes)");
    }
    // A regular file never waits; reading it blocking is the plain way.
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) (void)fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

std::string ReadOpenFile(int fd, const std::string& what, std::uint64_t maxBytes) {
    std::string bytes;
    struct stat st {};
    if (fstat(fd, &st) == 0 && st.st_size > 0)
        bytes.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(static_cast<std::uint64_t>(st.st_size), maxBytes)));
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int e = errno;
            close(fd);
            throw ErrorFromErrno(e, "cannot read " + what);
        }
        if (n == 0) break;
        if (bytes.size() + static_cast<std::size_t>(n) > maxBytes) {
            close(fd);
            throw makeError(err::PathFileAccess,
                            "cannot read " + what + ": it is larger than " + std::to_string(maxBytes >> 20) + " MiB");
        }
        bytes.append(buf, static_cast<std::size_t>(n));
    }
    close(fd);
    return bytes;
}

std::optional<std::string> PosixFileSystem::readFile(const std::string& path) {
    // A link to a file of the program's is followed; a FIFO or a device in
    // its place (or at the link's end) is refused, never waited on.
    struct stat st {};
    const int fd = OpenRegularFile(path, path, true, kMaxTextFileBytes, st);
    if (fd < 0) return std::nullopt;
    return ReadOpenFile(fd, path, kMaxTextFileBytes);
}

void PosixFileSystem::appendFile(const std::string& path, const std::string& bytes) { writeWithFlags(path, bytes, O_APPEND); }

void PosixFileSystem::writeFile(const std::string& path, const std::string& bytes) { writeWithFlags(path, bytes, O_TRUNC); }

void PosixFileSystem::emptyRecycleBin() {
    Failures failures;
    std::vector<std::pair<dev_t, ino_t>> emptied;  // each trash once, however it was reached
    const auto empty = [&](int fd, const std::string& trash) {
        struct stat st {};
        if (fstat(fd, &st) != 0) {
            failures.add(errno, "cannot examine " + trash);
            close(fd);
            return;
        }
        const std::pair<dev_t, ino_t> id{st.st_dev, st.st_ino};
        if (std::find(emptied.begin(), emptied.end(), id) != emptied.end()) {
            close(fd);
            return;
        }
        emptied.push_back(id);
        emptyTrash(fd, trash, failures);
    };
    // The user's own trash folder may be reached through a link of theirs.
    const std::string home = homeTrashFolder();
    const int homeFd = open(home.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (homeFd >= 0)
        empty(homeFd, home);
    else if (errno != ENOENT && errno != ENOTDIR)
        failures.add(errno, "cannot open " + home);

    // The trash folders at the top of the other mounts: only real folders
    // that belong to us, and the per-user folder of the shared .Trash only
    // when that has the sticky bit (as when moving files there).
    std::string table;
    try {
        table = readFile("/proc/self/mounts").value_or("");
    } catch (const Error&) {
        // No mount list: only the home trash is known.
    }
    const std::string uid = std::to_string(geteuid());
    for (const auto& top : MountTopsIn(table)) {
        // Searching the top is enough (a 0711 top still has our trash).
        const int topFd = open(top.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (topFd < 0) continue;  // out of our reach: no trash of ours there
        const std::string base = top == "/" ? "" : top;
        const auto openOwn = [&](int parentFd, const std::string& name, const std::string& trash) {
            const int fd = openat(parentFd, name.c_str(), FolderFlags);
            if (fd < 0) return;
            struct stat st {};
            if (fstat(fd, &st) == 0 && isOwnTrash(st))
                empty(fd, trash);
            else
                close(fd);
        };
        const int sharedFd = openat(topFd, ".Trash", O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sharedFd >= 0) {
            struct stat st {};
            if (fstat(sharedFd, &st) == 0 && isSharedTrash(st)) openOwn(sharedFd, uid, base + "/.Trash/" + uid);
            close(sharedFd);
        }
        openOwn(topFd, ".Trash-" + uid, base + "/.Trash-" + uid);
        close(topFd);
    }

    if (failures.count > 0) {
        std::string text = "cannot empty the trash: " + failures.first;
        if (failures.count > 1) text += " (and " + std::to_string(failures.count - 1) + " more)";
        throw Error(err::SystemCallFailed, text);
    }
}

void PosixFileSystem::clearRecentDocuments() {
    // The list the desktop keeps now, and the one older GTK 2 programs kept
    // in the home folder; a failure with one does not spare the other.
    std::string home = env("HOME");
    if (home.empty()) home = "/";
    std::optional<Error> first;
    for (const std::string& path : {dataHomeFolder() + "/recently-used.xbel", home + "/.recently-used.xbel"}) {
        try {
            clearBookmarkFile(path);
        } catch (const Error& e) {
            if (!first) first = e;
        }
    }
    if (first) throw *first;
}

}  // namespace nocturo::platform

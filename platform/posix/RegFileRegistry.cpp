#include "platform/posix/RegFileRegistry.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "platform/Error.h"
#include "platform/posix/PosixFileSystem.h"

namespace nocturo::platform {

namespace {

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::string homeFolder() {
    std::string home = env("HOME");
    if (!home.empty()) return home;
    std::vector<char> buf(16384);
    passwd pw{};
    passwd* result = nullptr;
    if (getpwuid_r(geteuid(), &pw, buf.data(), buf.size(), &result) == 0 && result && result->pw_dir)
        return result->pw_dir;
    return ".";
}

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Creates the folder and its missing parents (0700: settings are private).
void createFolders(const std::string& folder) {
    if (folder.empty() || folder == "/" || folder == ".") return;
    struct stat st {};
    if (stat(folder.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode)) throw ErrorFromErrno(ENOTDIR, "cannot create the settings folder " + folder);
        return;
    }
    createFolders(folderOf(folder));
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        throw ErrorFromErrno(errno, "cannot create the settings folder " + folder);
}

void writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw std::system_error(errno, std::generic_category());
        }
        done += static_cast<std::size_t>(n);
    }
}

// Makes a rename in the folder durable; a file system that cannot sync a
// folder has nothing to sync.
void syncFolder(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    (void)fsync(fd);
    close(fd);
}

std::string timeStamp() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y%m%d-%H%M%S", &tm);
    return buf;
}

std::int64_t nanoseconds(const timespec& t) { return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec; }

bool pathExists(const std::string& p) {
    struct stat st {};
    return lstat(p.c_str(), &st) == 0;
}

}  // namespace

std::string DefaultRegistryPath() {
    if (std::string path = env("NOCTURO_REGISTRY"); !path.empty()) return path;
    // Relative XDG folders are invalid and to be ignored.
    if (std::string config = env("XDG_CONFIG_HOME"); !config.empty() && config.front() == '/')
        return config + "/nocturo/registry.reg";
    return homeFolder() + "/.config/nocturo/registry.reg";
}

// An advisory lock on the lock file beside the settings file. The settings
// file itself cannot carry the lock: every write replaces it by a new inode.
class RegFileRegistry::FileLock {
public:
    FileLock(const std::string& path, bool exclusive, bool mayFail) : exclusive_(exclusive) {
        fd_ = open(path.c_str(), (exclusive ? O_RDWR : O_RDONLY) | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ < 0 && !exclusive) fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) {
            if (mayFail) return;
            throw ErrorFromErrno(errno, "cannot lock the settings file (" + path + ")");
        }
        take(exclusive ? LOCK_EX : LOCK_SH);
    }
    ~FileLock() {
        if (fd_ >= 0) close(fd_);  // closing releases the lock
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool held() const { return fd_ >= 0; }
    bool exclusive() const { return held() && exclusive_; }
    void upgrade() {
        if (!held() || exclusive_) return;
        take(LOCK_EX);
        exclusive_ = true;
    }

private:
    void take(int op) {
        while (flock(fd_, op) != 0) {
            if (errno == EINTR) continue;
            // A file system without flock: go on unlocked rather than not at all.
            if (errno == ENOLCK || errno == EOPNOTSUPP) return;
            const int e = errno;
            close(fd_);
            fd_ = -1;
            throw ErrorFromErrno(e, "cannot lock the settings file");
        }
    }

    int fd_ = -1;
    bool exclusive_ = false;
};

RegFileRegistry::RegFileRegistry(std::string path, CorruptHandler onCorrupt) : onCorrupt_(std::move(onCorrupt)) {
    // Fix the file's real place once, so that a later change of the current
    // folder does not move the store and a symbolic link to the file keeps
    // pointing at it (the rename replaces the file, not the link).
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(path, ec);
    if (ec) p = path;
    auto canonical = std::filesystem::weakly_canonical(p, ec);
    path_ = ec ? p.lexically_normal().string() : canonical.string();
    givenPath_ = p.lexically_normal().string();
    lockPath_ = path_ + ".lock";
    tempPath_ = path_ + ".tmp";
}

void RegFileRegistry::setOnCorrupt(CorruptHandler onCorrupt) {
    std::lock_guard guard(mutex_);
    onCorrupt_ = std::move(onCorrupt);
}

std::string RegFileRegistry::storeId() const { return path_; }

std::uint64_t RegFileRegistry::parseCount() const {
    std::lock_guard guard(mutex_);
    return parses_;
}

RegFileRegistry::Stamp RegFileRegistry::stampOf(const struct stat& st) {
    Stamp s;
    s.exists = true;
    s.dev = st.st_dev;
    s.ino = st.st_ino;
    s.size = static_cast<std::uint64_t>(st.st_size);
    s.mode = st.st_mode;
    s.mtimeNs = nanoseconds(st.st_mtim);
    s.ctimeNs = nanoseconds(st.st_ctim);
    return s;
}

RegFileRegistry::Stamp RegFileRegistry::stampOfPath() const {
    struct stat st {};
    if (stat(path_.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return Stamp{};
        throw ErrorFromErrno(errno, "cannot read the settings file " + path_);
    }
    return stampOf(st);
}

std::string RegFileRegistry::shown() const {
    return "the settings file " + (givenPath_ == path_ ? path_ : givenPath_ + " (" + path_ + ")");
}

void RegFileRegistry::refuseSpecialFile() const {
    // Before any lock file is made beside it: a FIFO or a device is no
    // settings file, and nothing is created, read or moved next to it.
    struct stat st {};
    if (stat(path_.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        throw Error(err::PathFileAccess, "Path/File access error: cannot read " + shown() + ": it is " +
                                             KindOfNonRegular(st.st_mode) + ", not a regular file");
}

void RegFileRegistry::refreshForRead() {
    if (valid_ && stampOfPath() == stamp_) return;
    refuseSpecialFile();
    FileLock lock(lockPath_, false, true);
    load(&lock, false);
}

void RegFileRegistry::load(FileLock* lock, bool forWrite) {
    for (;;) {
        // Never waits on the file: a FIFO or a device in its place (a link
        // to /dev/zero is resolved to it already) is refused as it is, not
        // read and not moved aside, and so is a file beyond any settings.
        struct stat st {};
        const std::string what = shown();
        const int fd = OpenRegularFile(path_, what, false, kMaxSettingsFileBytes, st);
        if (fd < 0) {
            // No file: an empty store, created by the first write.
            store_.clear();
            bytes_.clear();
            stamp_ = Stamp{};
            valid_ = true;
            corruptKept_ = false;
            return;
        }
        const Stamp stamp = stampOf(st);
        std::string bytes = ReadOpenFile(fd, what, kMaxSettingsFileBytes);

        // Same content as last time (a touched file, or our own write seen
        // again): nothing to parse. A corrupt file that could not be moved
        // aside is tried again only when a write needs the file.
        if (valid_ && bytes == bytes_ && !(corruptKept_ && forWrite)) {
            stamp_ = stamp;
            return;
        }

        ++parses_;
        try {
            RegStore parsed = RegStore::parse(bytes);
            store_ = std::move(parsed);
            bytes_ = std::move(bytes);
            stamp_ = stamp;
            valid_ = true;
            corruptKept_ = false;
            return;
        } catch (const RegParseError& e) {
            // Moving the file aside needs the exclusive lock; with it, look
            // again: another process may have replaced the file meanwhile.
            if (lock && lock->held() && !lock->exclusive()) {
                lock->upgrade();
                continue;
            }
            const bool canMove = lock && lock->exclusive();
            handleCorrupt(e, canMove, forWrite, stamp, std::move(bytes));
            return;
        }
    }
}

void RegFileRegistry::handleCorrupt(const RegParseError& e, bool canMove, bool forWrite, const Stamp& stamp,
                                    std::string bytes) {
    const std::string what = "The settings file " + path_ + " could not be read (line " + std::to_string(e.line()) +
                             ": " + e.reason() + ").";
    std::string aside;
    int moveError = EPERM;
    if (canMove) {
        // Under the exclusive lock no other process of ours renames here, so
        // testing for a free name first is safe.
        const std::string base = path_ + ".corrupt-" + timeStamp();
        aside = base;
        for (int n = 2; pathExists(aside); ++n) aside = base + "-" + std::to_string(n);
        moveError = ::rename(path_.c_str(), aside.c_str()) == 0 ? 0 : errno;
    }

    store_.clear();
    valid_ = true;
    if (moveError == 0) {
        syncFolder(folderOf(path_));
        bytes_.clear();
        stamp_ = Stamp{};
        corruptKept_ = false;
        pendingNotice_ = what + " It was renamed to " + aside + "; the settings start again from their defaults.";
        return;
    }

    // Left where it is: reads see the defaults, and writes refuse to replace
    // the file, so that nothing the user might still rescue is lost.
    const bool reported = corruptKept_ && stamp == stamp_;
    bytes_ = std::move(bytes);
    stamp_ = stamp;
    corruptKept_ = true;
    const std::string reason = canMove ? std::system_category().message(moveError) : "it is in use or not writable";
    if (!reported)
        pendingNotice_ = what + " It could not be renamed (" + reason + ") and is left as it is; the settings start from their defaults.";
    if (forWrite)
        throw ErrorFromErrno(canMove ? moveError : EACCES,
                             "the settings file " + path_ + " cannot be read and cannot be moved aside");
}

void RegFileRegistry::writeFileLocked() {
    const std::string text = store_.exportFile();
    // What could not be read back is not written.
    if (text.size() > kMaxSettingsFileBytes)
        throw Error(err::PathFileAccess, "Path/File access error: cannot write " + shown() +
                                             ": the settings would be larger than " +
                                             std::to_string(kMaxSettingsFileBytes >> 20) + " MiB");
    ::unlink(tempPath_.c_str());  // left by a writer that was killed; we hold the lock
    const int fd = open(tempPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) throw ErrorFromErrno(errno, "cannot write the settings file " + path_);
    int e = 0;
    try {
        if (stamp_.exists) (void)fchmod(fd, stamp_.mode & 07777);  // keep the permissions the user gave it
        writeAll(fd, text);
        if (fsync(fd) != 0) e = errno;
    } catch (const std::system_error& x) {
        e = x.code().value();
    }
    if (close(fd) != 0 && e == 0) e = errno;
    if (e == 0 && ::rename(tempPath_.c_str(), path_.c_str()) != 0) e = errno;
    if (e != 0) {
        ::unlink(tempPath_.c_str());
        throw ErrorFromErrno(e, "cannot write the settings file " + path_);
    }
    syncFolder(folderOf(path_));
    bytes_ = text;
    stamp_ = stampOfPath();
    valid_ = true;
    corruptKept_ = false;
}

RegFileRegistry::CorruptHandler RegFileRegistry::takeNotice(std::string& message) {
    if (pendingNotice_.empty()) return {};
    message.swap(pendingNotice_);
    pendingNotice_.clear();
    return onCorrupt_;
}

template <typename Change>
void RegFileRegistry::modify(Change change) {
    std::exception_ptr failure;
    std::string notice;
    CorruptHandler handler;
    {
        std::lock_guard guard(mutex_);
        try {
            std::unique_ptr<FileLock> lock;
            refuseSpecialFile();
            try {
                lock = std::make_unique<FileLock>(lockPath_, true, false);
            } catch (const Error&) {
                // The folder may not exist yet. The first write that changes
                // something creates it; a deletion in an empty store does not.
                struct stat st {};
                if (stat(folderOf(path_).c_str(), &st) == 0) throw;
                RegStore scratch;
                if (!change(scratch)) return;
                createFolders(folderOf(path_));
                lock = std::make_unique<FileLock>(lockPath_, true, false);
            }
            load(lock.get(), true);  // merges what other processes wrote
            if (change(store_)) writeFileLocked();
        } catch (...) {
            // The store may now hold a change the file does not: read the
            // file again before the next use.
            valid_ = false;
            failure = std::current_exception();
        }
        handler = takeNotice(notice);
    }
    // Outside the lock: the handler may well use the registry itself.
    if (handler) handler(notice);
    if (failure) std::rethrow_exception(failure);
}

template <typename Query>
auto RegFileRegistry::query(Query q) {
    std::string notice;
    CorruptHandler handler;
    std::exception_ptr failure;
    decltype(q(store_)) result{};
    {
        std::lock_guard guard(mutex_);
        try {
            refreshForRead();
            result = q(store_);
        } catch (...) {
            failure = std::current_exception();
        }
        handler = takeNotice(notice);
    }
    if (handler) handler(notice);
    if (failure) std::rethrow_exception(failure);
    return result;
}

void RegFileRegistry::submit(std::function<bool(RegStore&)> change) {
    if (batchDepth_ > 0) {
        batched_.push_back(std::move(change));
        return;
    }
    modify([&](RegStore& s) { return change(s); });
}

void RegFileRegistry::beginBatch() { ++batchDepth_; }

void RegFileRegistry::endBatch() {
    if (batchDepth_ == 0 || --batchDepth_ > 0 || batched_.empty()) return;
    auto changes = std::move(batched_);
    batched_.clear();
    modify([&](RegStore& s) {
        bool changed = false;
        for (auto& c : changes) changed = c(s) || changed;
        return changed;
    });
}

void RegFileRegistry::writeString(const std::string& path, const std::string& text) {
    submit([path, text](RegStore& s) { return s.writeString(path, text); });
}

void RegFileRegistry::writeDword(const std::string& path, std::uint32_t value) {
    submit([path, value](RegStore& s) { return s.writeDword(path, value); });
}

void RegFileRegistry::deleteValue(const std::string& path) {
    submit([path](RegStore& s) { return s.deleteValue(path); });
}

void RegFileRegistry::deleteKey(const std::string& keyPath) {
    submit([keyPath](RegStore& s) { return s.deleteKey(keyPath); });
}

void RegFileRegistry::createKey(const std::string& keyPath) {
    submit([keyPath](RegStore& s) { return s.createKey(keyPath); });
}

std::optional<RegValue> RegFileRegistry::read(const std::string& path) {
    return query([&](const RegStore& s) { return s.read(path); });
}

std::vector<std::pair<std::string, RegValue>> RegFileRegistry::values(const std::string& keyPath) {
    return query([&](const RegStore& s) { return s.values(keyPath); });
}

std::vector<std::string> RegFileRegistry::subKeys(const std::string& keyPath) {
    return query([&](const RegStore& s) { return s.subKeyNames(keyPath); });
}

bool RegFileRegistry::exists(const std::string& path) {
    return query([&](const RegStore& s) { return s.exists(path); });
}

}  // namespace nocturo::platform

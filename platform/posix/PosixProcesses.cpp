#include "platform/posix/PosixProcesses.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "platform/Error.h"

extern char** environ;

namespace nocturo::platform {

namespace {

long errorNumberFor(int e) {
    switch (e) {
        case ENOENT:
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
            return err::FileNotFound;
        case EACCES:
        case EPERM:
        case ENOEXEC:
        case EISDIR:
        case ETXTBSY:
            return err::PermissionDenied;
        default:
            return err::SystemCallFailed;
    }
}

[[noreturn]] void fail(int e, const std::string& what) {
    throw Error(errorNumberFor(e), what + ": " + std::strerror(e));
}

bool hasNul(const std::string& s) { return s.find('\0') != std::string::npos; }

// Spawn attributes for a clean child: nothing blocked, every handler at its
// default (an ignored SIGPIPE or a blocked SIGINT of ours must not leak into
// the programs we start).
class CleanSpawnAttr {
public:
    explicit CleanSpawnAttr(short extraFlags = 0) {
        posix_spawnattr_init(&attr_);
        sigset_t none;
        sigemptyset(&none);
        sigset_t all;
        sigfillset(&all);
        posix_spawnattr_setsigmask(&attr_, &none);
        posix_spawnattr_setsigdefault(&attr_, &all);
        posix_spawnattr_setflags(&attr_, static_cast<short>(POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | extraFlags));
    }
    ~CleanSpawnAttr() { posix_spawnattr_destroy(&attr_); }
    CleanSpawnAttr(const CleanSpawnAttr&) = delete;
    CleanSpawnAttr& operator=(const CleanSpawnAttr&) = delete;
    posix_spawnattr_t* get() { return &attr_; }

private:
    posix_spawnattr_t attr_;
};

std::vector<char*> makeArgv(std::vector<std::string>& storage) {
    std::vector<char*> argv;
    argv.reserve(storage.size() + 1);
    for (auto& s : storage) argv.push_back(s.data());
    argv.push_back(nullptr);
    return argv;
}

// kill(pid, 0) also succeeds for a zombie, which for our purposes has ended.
bool isZombie(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return false;
    // "pid (command name) S ...": the name may itself hold ") ".
    auto close = line.rfind(')');
    if (close == std::string::npos || close + 2 >= line.size()) return false;
    return line[close + 2] == 'Z';
}

bool processExists(pid_t pid) {
    if (kill(pid, 0) != 0 && errno != EPERM) return false;  // EPERM: exists, not ours to signal
    return !isZombie(pid);
}

}  // namespace

PosixProcesses::~PosixProcesses() {
    reapOpeners();
    releaseInstanceLocks();
}

std::uint32_t PosixProcesses::start(const std::string& program, const std::vector<std::string>& arguments,
                                    int /*windowStyle*/) {
    reapOpeners();
    if (program.empty()) throw Error(err::FileNotFound, "cannot start a program without a name");
    if (hasNul(program)) throw Error(err::InvalidProcedureCall, "program name holds a NUL character");
    std::vector<std::string> storage;
    storage.reserve(arguments.size() + 1);
    storage.push_back(program);
    for (const auto& a : arguments) {
        if (hasNul(a)) throw Error(err::InvalidProcedureCall, "argument for \"" + program + "\" holds a NUL character");
        storage.push_back(a);
    }
    auto argv = makeArgv(storage);

    CleanSpawnAttr attr;
    pid_t pid = 0;
    int rc = program.find('/') != std::string::npos
                 ? posix_spawn(&pid, program.c_str(), nullptr, attr.get(), argv.data(), environ)
                 : posix_spawnp(&pid, program.c_str(), nullptr, attr.get(), argv.data(), environ);
    if (rc != 0) fail(rc, "cannot start \"" + program + "\"");
    children_[pid] = std::nullopt;
    return static_cast<std::uint32_t>(pid);
}

bool PosixProcesses::endedAbnormally(std::uint32_t id) {
    if (id == 0 || id > static_cast<std::uint32_t>(INT_MAX)) return false;
    const auto pid = static_cast<pid_t>(id);
    auto code = exitCode(id);
    return code && *code != StillActive && signalled_.count(pid) > 0;
}

std::optional<std::uint32_t> PosixProcesses::exitCode(std::uint32_t id) {
    reapOpeners();
    // 0 and anything beyond pid_t would make kill() and waitpid() address
    // process groups.
    if (id == 0 || id > static_cast<std::uint32_t>(INT_MAX)) return std::nullopt;
    const auto pid = static_cast<pid_t>(id);

    if (auto it = children_.find(pid); it != children_.end()) {
        if (it->second) return it->second;
        int status = 0;
        pid_t r;
        do r = waitpid(pid, &status, WNOHANG);
        while (r < 0 && errno == EINTR);
        if (r == 0) return StillActive;
        if (r < 0) {
            // Reaped behind our back (SIGCHLD ignored): the code is lost.
            it->second = 0;
        } else if (WIFEXITED(status)) {
            it->second = static_cast<std::uint32_t>(WEXITSTATUS(status));
        } else if (WIFSIGNALED(status)) {
            // The shell's way of telling it; endedAbnormally tells it apart
            // from a program that exits with such a code itself.
            it->second = 128u + static_cast<std::uint32_t>(WTERMSIG(status));
            signalled_.insert(pid);
        } else {
            return StillActive;
        }
        return it->second;
    }

    if (processExists(pid)) {
        othersSeenAlive_.insert(pid);
        return StillActive;
    }
    if (othersSeenAlive_.count(pid)) return 0u;
    return std::nullopt;
}

void PosixProcesses::openDocument(const std::string& pathOrUrl) {
    reapOpeners();
    if (pathOrUrl.empty()) throw Error(err::FileNotFound, "nothing to open");
    if (hasNul(pathOrUrl)) throw Error(err::InvalidProcedureCall, "document name holds a NUL character");
    // A name beginning with '-' would be taken for an option of xdg-open.
    std::string target = pathOrUrl.front() == '-' ? "./" + pathOrUrl : pathOrUrl;
    std::vector<std::string> storage{"xdg-open", target};
    auto argv = makeArgv(storage);

    // Its own session: the viewer must neither get our terminal's Ctrl-C nor
    // end with us.
#ifdef POSIX_SPAWN_SETSID
    CleanSpawnAttr attr(POSIX_SPAWN_SETSID);
#else
    CleanSpawnAttr attr(POSIX_SPAWN_SETPGROUP);
#endif
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, "xdg-open", &actions, attr.get(), argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc == ENOENT) throw Error(err::FileNotFound, "cannot open \"" + pathOrUrl + "\": xdg-open not found");
    if (rc != 0) fail(rc, "cannot open \"" + pathOrUrl + "\" with xdg-open");
    openers_.push_back(pid);  // reaped on a later call, never waited for
}

namespace {

// The companion program whose window has this title; null for any other.
const char* companionOf(const std::string& title) {
    if (title == "2LockPc2") return "lockpc";
    if (title == "LockPcScr") return "lockpcscr";
    return nullptr;
}

// Whether both the real and the effective user of the process are ours.
bool ownedByUs(const std::string& procDir) {
    std::ifstream status(procDir + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Uid:", 0) != 0) continue;
        unsigned long real = 0, effective = 0;
        if (std::sscanf(line.c_str(), "Uid: %lu %lu", &real, &effective) != 2) return false;
        return real == getuid() && effective == getuid();
    }
    return false;
}

// The other processes of this user running the program `name` (the base
// name of their executable, also when it has been deleted or replaced
// since it started).
std::vector<pid_t> processesRunning(const char* name) {
    std::vector<pid_t> found;
    DIR* proc = opendir("/proc");
    if (!proc) return found;
    const std::string deleted = " (deleted)";
    while (dirent* entry = readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0' || pid > INT_MAX || pid == getpid()) continue;
        const std::string dir = std::string("/proc/") + entry->d_name;
        // Only a process of our own user shows its executable to us anyway.
        char target[PATH_MAX];
        const ssize_t n = readlink((dir + "/exe").c_str(), target, sizeof target - 1);
        if (n <= 0) continue;
        std::string exe(target, static_cast<std::size_t>(n));
        if (exe.size() > deleted.size() && exe.compare(exe.size() - deleted.size(), deleted.size(), deleted) == 0)
            exe.resize(exe.size() - deleted.size());
        if (exe.substr(exe.rfind('/') + 1) != name || !ownedByUs(dir)) continue;
        found.push_back(static_cast<pid_t>(pid));
    }
    closedir(proc);
    return found;
}

}  // namespace

bool PosixProcesses::findWindow(const std::string& title) {
    if (desktop_.findWindow(title)) return true;
    const char* companion = companionOf(title);
    return companion && !processesRunning(companion).empty();
}

bool PosixProcesses::showWindow(const std::string& title, bool show) {
    if (desktop_.showWindow(title, show)) return true;
    const char* companion = companionOf(title);
    if (!companion) return false;
    bool told = false;
    for (pid_t pid : processesRunning(companion))
        if (kill(pid, show ? SIGUSR2 : SIGUSR1) == 0) told = true;
    return told;
}

std::uint64_t PosixProcesses::fnv1a64(const std::string& text) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : text) {
        h ^= c;
        h *= 0x100000001b3ull;
    }
    return h;
}

std::string PosixProcesses::instanceLockPath(const std::string& key) {
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(fnv1a64(key)));
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && runtime[0] == '/') {
        struct stat st {};
        if (stat(runtime, &st) == 0 && S_ISDIR(st.st_mode)) return std::string(runtime) + "/nocturo-" + hex + ".lock";
    }
    // Without a runtime folder (no login session): beside the settings file
    // the key names, where only its user writes.
    if (!key.empty() && key.front() == '/' && key.back() != '/') return key + ".instance.lock";
    return std::string("/tmp/nocturo-") + std::to_string(geteuid()) + "-" + hex + ".lock";
}

namespace {

// Creates the lock file's folder when it is missing (the settings folder
// before the first setting is written), private as the settings are.
void createFolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0) return;
    const std::string folder = path.substr(0, slash);
    struct stat st {};
    if (stat(folder.c_str(), &st) == 0) return;
    createFolderOf(folder);
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) fail(errno, "cannot create the folder \"" + folder + "\"");
}

}  // namespace

bool PosixProcesses::acquireInstanceLock(const std::string& key) {
    if (locks_.count(key)) return true;
    const std::string path = instanceLockPath(key);
    createFolderOf(path);
    // The holder removes the file when it ends, so a file opened here may be
    // gone, or replaced by a newer one, by the time its lock is ours: the
    // lock counts only while the path still names the locked file.
    for (;;) {
        int fd;
        do fd = open(path.c_str(), O_CREAT | O_RDWR | O_CLOEXEC | O_NOFOLLOW, 0600);
        while (fd < 0 && errno == EINTR);
        if (fd < 0) fail(errno, "cannot open the instance lock \"" + path + "\"");
        int rc;
        do rc = flock(fd, LOCK_EX | LOCK_NB);
        while (rc != 0 && errno == EINTR);
        if (rc != 0) {
            int e = errno;
            close(fd);
            if (e == EWOULDBLOCK) return false;
            fail(e, "cannot lock the instance lock \"" + path + "\"");
        }
        struct stat held {}, named {};
        if (fstat(fd, &held) != 0) {
            int e = errno;
            close(fd);
            fail(e, "cannot lock the instance lock \"" + path + "\"");
        }
        if (lstat(path.c_str(), &named) != 0 || named.st_dev != held.st_dev || named.st_ino != held.st_ino) {
            close(fd);  // removed by the holder that just ended: try the file there now
            continue;
        }
        // Our pid in the file, for whoever wonders which process holds it.
        if (ftruncate(fd, 0) == 0) {
            std::string pid = std::to_string(getpid()) + "\n";
            ssize_t written = pwrite(fd, pid.data(), pid.size(), 0);
            static_cast<void>(written);
        }
        locks_[key] = HeldLock{fd, path};
        return true;
    }
}

void PosixProcesses::releaseInstanceLocks() {
    for (auto& [key, lock] : locks_) {
        // Removed while still locked, and only when it is still our file:
        // whoever opened it meanwhile finds it gone and starts again.
        struct stat held {}, named {};
        if (fstat(lock.fd, &held) == 0 && lstat(lock.path.c_str(), &named) == 0 && named.st_dev == held.st_dev &&
            named.st_ino == held.st_ino)
            ::unlink(lock.path.c_str());
        close(lock.fd);
    }
    locks_.clear();
}

void PosixProcesses::reapOpeners() {
    for (auto it = openers_.begin(); it != openers_.end();) {
        int status = 0;
        pid_t r = waitpid(*it, &status, WNOHANG);
        if (r == 0 || (r < 0 && errno == EINTR)) {
            ++it;
        } else {
            it = openers_.erase(it);
        }
    }
}

}  // namespace nocturo::platform

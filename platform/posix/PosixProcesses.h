#pragma once
// Starting programs, reading their exit codes and the single-instance lock on
// Linux and other POSIX systems.
#include <sys/types.h>

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/IProcesses.h"
#include "platform/posix/X11Desktop.h"

namespace nocturo::platform {

class PosixProcesses : public IProcesses {
public:
    PosixProcesses() = default;
    // Children still running are left alone (they keep running after we go);
    // the instance locks are released and their files removed.
    ~PosixProcesses() override;
    PosixProcesses(const PosixProcesses&) = delete;
    PosixProcesses& operator=(const PosixProcesses&) = delete;

    // posix_spawn, never a shell: argv is [program, arguments...]. A program
    // with a '/' is that path, blanks and all; a bare name is looked up in
    // PATH. The window style means nothing here and is ignored. The child
    // starts with an empty signal mask and default signal handlers.
    std::uint32_t start(const std::string& program, const std::vector<std::string>& arguments,
                        int windowStyle) override;
    // For our own children: StillActive while running, then the exit status
    // (128 + signal number when killed by a signal), the same on every later
    // call. For any other process: nullopt when no such process exists,
    // StillActive while it does, and 0 once it has gone (the exit code of a
    // process that is not our child cannot be read).
    std::optional<std::uint32_t> exitCode(std::uint32_t pid) override;
    bool endedAbnormally(std::uint32_t pid) override;
    // Hands the path or address to xdg-open, detached; never waits for it.
    void openDocument(const std::string& pathOrUrl) override;
    // On an X11 desktop (or under XWayland) the top-level windows, as
    // X11Desktop finds them. Where X11 finds nothing (Wayland, no desktop)
    // the two companion programs stand for their windows: "2LockPc2" is a
    // running `lockpc`, "LockPcScr" a running `lockpcscr`, either of this
    // user only.
    bool findWindow(const std::string& title) override;
    // X11: unmaps or maps and raises the window. A companion program found
    // instead gets SIGUSR1 to hide its window and SIGUSR2 to show it.
    bool showWindow(const std::string& title, bool show) override;
    // flock() on the file instanceLockPath names. The descriptor stays open,
    // and the lock held, until releaseInstanceLocks or the process's end; a
    // process killed leaves the file behind, unlocked, for the next one.
    bool acquireInstanceLock(const std::string& key) override;
    // Removes the lock files (while still holding them) and releases the
    // locks; the destructor does it at an orderly end.
    void releaseInstanceLocks();

    // Where acquireInstanceLock keeps the lock file for this key:
    // "nocturo-<hash>.lock" in $XDG_RUNTIME_DIR; without one, beside the
    // settings file the key names ("<key>.instance.lock"), or, for a key that
    // is no absolute path, "/tmp/nocturo-<uid>-<hash>.lock".
    static std::string instanceLockPath(const std::string& key);
    // FNV-1a, 64 bits: the stable hash that names the lock file.
    static std::uint64_t fnv1a64(const std::string& text);

private:
    void reapOpeners();

    std::map<pid_t, std::optional<std::uint32_t>> children_;  // nullopt while running
    std::set<pid_t> signalled_;  // children ended by a signal
    std::set<pid_t> othersSeenAlive_;
    std::vector<pid_t> openers_;  // xdg-open processes not yet reaped
    struct HeldLock {
        int fd = -1;  // holds the lock
        std::string path;
    };
    std::map<std::string, HeldLock> locks_;  // by key
    X11Desktop desktop_;
};

}  // namespace nocturo::platform

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Error.h"
#include "platform/posix/PosixProcesses.h"
#include "schedule/Varn_ShellAndWait.h"
#include "support/EnvOverride.h"
#include "support/TestSupport.h"

using nocturo::platform::Error;
using nocturo::platform::PosixProcesses;
using nocturo::platform::StillActive;
using nocturo::test::ReadWholeFile;
using nocturo::test::TempDir;
using nocturo::test::WriteWholeFile;
namespace err = nocturo::platform::err;
namespace fs = std::filesystem;

namespace {

using namespace std::chrono_literals;

// Polls until the process has ended; StillActive when it has not within the time.
std::optional<std::uint32_t> waitForExit(PosixProcesses& p, std::uint32_t pid,
                                         std::chrono::milliseconds timeout = 3000ms) {
    auto until = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        auto code = p.exitCode(pid);
        if (code != StillActive || std::chrono::steady_clock::now() > until) return code;
        std::this_thread::sleep_for(2ms);
    }
}

bool waitForFile(const std::string& path, std::chrono::milliseconds timeout = 3000ms) {
    auto until = std::chrono::steady_clock::now() + timeout;
    while (!fs::exists(path)) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

void writeScript(const std::string& path, const std::string& body) {
    WriteWholeFile(path, "#!/bin/sh\n" + body + "\n");
    fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
}

// Sets an environment variable for the life of the object.
class EnvOverride {
public:
    EnvOverride(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~EnvOverride() {
        if (old_) setenv(name_, old_->c_str(), 1);
        else unsetenv(name_);
    }
    EnvOverride(const EnvOverride&) = delete;
    EnvOverride& operator=(const EnvOverride&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

long errorNumberOf(PosixProcesses& p, const std::string& program) {
    try {
        p.start(program, {}, 1);
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find(program), std::string::npos) << e.what();
        return e.number();
    }
    return 0;
}

std::string hash16(const std::string& key) {
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(PosixProcesses::fnv1a64(key)));
    return hex;
}

std::string uniqueKey(const std::string& name) {
    return "test:" + name + ":" + std::to_string(getpid()) + ":" +
           std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
}

}  // namespace

// ---- start and exitCode -----------------------------------------------------

TEST(PosixProcessesStart, ExitCodeOfShellIsReadAndKept) {
    PosixProcesses p;
    auto pid = p.start("/bin/sh", {"-c", "exit 3"}, 1);
    EXPECT_GT(pid, 0u);
    EXPECT_EQ(waitForExit(p, pid), 3u);
    EXPECT_EQ(p.exitCode(pid), 3u);  // asked again after the child was reaped
}

TEST(PosixProcessesStart, StillActiveWhileRunningThenZero) {
    PosixProcesses p;
    auto pid = p.start("sleep", {"0.3"}, 0);  // found in PATH
    EXPECT_EQ(p.exitCode(pid), StillActive);
    EXPECT_EQ(waitForExit(p, pid), 0u);
}

TEST(PosixProcessesStart, KilledBySignalGives128PlusSignalAndCountsAsAbnormal) {
    PosixProcesses p;
    auto pid = p.start("sleep", {"10"}, 0);
    ASSERT_EQ(p.exitCode(pid), StillActive);
    EXPECT_FALSE(p.endedAbnormally(pid));
    ASSERT_EQ(kill(static_cast<pid_t>(pid), SIGTERM), 0);
    EXPECT_EQ(waitForExit(p, pid), 128u + SIGTERM);
    EXPECT_TRUE(p.endedAbnormally(pid));
    // A program that exits with the same code by itself ended normally.
    auto same = p.start("sh", {"-c", "exit 143"}, 0);
    EXPECT_EQ(waitForExit(p, same), 143u);
    EXPECT_FALSE(p.endedAbnormally(same));
}

TEST(PosixProcessesStart, ProgramPathWithBlankIsOneArgument) {
    TempDir dir;
    fs::create_directory(dir / "my tools");
    const std::string tool = dir / "my tools/tool";
    const std::string out = dir / "out.txt";
    writeScript(tool, "echo ran > \"$1\"");
    PosixProcesses p;
    auto pid = p.start(tool, {out}, 1);
    EXPECT_EQ(waitForExit(p, pid), 0u);
    EXPECT_EQ(ReadWholeFile(out), "ran\n");

    fs::create_symlink("/bin/true", dir / "my tools/true link");
    pid = p.start(dir / "my tools/true link", {}, 1);
    EXPECT_EQ(waitForExit(p, pid), 0u);
}

TEST(PosixProcessesStart, ArgumentsArriveVerbatim) {
    TempDir dir;
    const std::string out = dir / "args.txt";
    PosixProcesses p;
    const std::vector<std::string> args{"arg1", "a b", "$HOME", "it's \"quoted\"", "*", "", "semi;colon | pipe"};
    std::vector<std::string> all{"-c", "printf '%s\\n' \"$@\" > '" + out + "'", "sh"};
    all.insert(all.end(), args.begin(), args.end());
    auto pid = p.start("/bin/sh", all, 1);
    ASSERT_EQ(waitForExit(p, pid), 0u);
    std::string expected;
    for (const auto& a : args) expected += a + "\n";
    EXPECT_EQ(ReadWholeFile(out), expected);
}

// The start program's parameters as a user types them, split as a shell
// would split them, reach a real program as these arguments.
TEST(PosixProcessesStart, TypedParametersArriveSplitAsAShellSplitsThem) {
    TempDir dir;
    const std::string out = dir / "args.txt";
    PosixProcesses p;
    ASSERT_FALSE(p.takesCommandLine());
    const std::string typed =
        "'C:\\temp\\x.log' \"D:\\My Files\\a.txt\" it\\'s \"say \\\"hi\\\"\" '$HOME' C:\\\\x back\\";
    std::vector<std::string> all{"-c", "printf '%s\\n' \"$@\" > '" + out + "'", "sh"};
    const auto split = nocturo::SplitCommandLine(typed);
    all.insert(all.end(), split.begin(), split.end());
    auto pid = p.start("/bin/sh", all, 1);
    ASSERT_EQ(waitForExit(p, pid), 0u);
    EXPECT_EQ(ReadWholeFile(out),
              "C:\\temp\\x.log\nD:\\My Files\\a.txt\nit's\nsay \"hi\"\n$HOME\nC:\\x\nback\\\n");
}

TEST(PosixProcessesStart, FailuresToStartThrow) {
    TempDir dir;
    PosixProcesses p;
    EXPECT_EQ(errorNumberOf(p, dir / "missing/program"), err::FileNotFound);
    EXPECT_EQ(errorNumberOf(p, "nocturo-no-such-program-anywhere"), err::FileNotFound);

    const std::string plain = dir / "not executable";
    WriteWholeFile(plain, "#!/bin/sh\nexit 0\n");
    fs::permissions(plain, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(errorNumberOf(p, plain), err::PermissionDenied);  // no execute bit: not even root may run it
    EXPECT_EQ(errorNumberOf(p, dir.path()), err::PermissionDenied);  // a folder

    EXPECT_THROW(p.start("", {}, 1), Error);
}

TEST(PosixProcessesStart, ChildGetsCleanSignalStateAndNoLockDescriptor) {
    TempDir dir;
    EnvOverride runtime("XDG_RUNTIME_DIR", dir.path());
    PosixProcesses p;
    const std::string key = uniqueKey("inherit");
    ASSERT_TRUE(p.acquireInstanceLock(key));

    sigset_t usr1, oldMask;
    sigemptyset(&usr1);
    sigaddset(&usr1, SIGUSR1);
    ASSERT_EQ(sigprocmask(SIG_BLOCK, &usr1, &oldMask), 0);
    struct sigaction ignore {}, oldPipe {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(sigaction(SIGPIPE, &ignore, &oldPipe), 0);

    const std::string status = dir / "status.txt";
    const std::string fds = dir / "fds.txt";
    // cp reads its own status (no shell in between: sh clears its mask).
    auto copier = p.start("cp", {"/proc/self/status", status}, 1);
    auto lister = p.start("/bin/sh", {"-c", "ls -l /proc/$$/fd > '" + fds + "'"}, 1);

    sigprocmask(SIG_SETMASK, &oldMask, nullptr);
    sigaction(SIGPIPE, &oldPipe, nullptr);
    ASSERT_EQ(waitForExit(p, copier), 0u);
    ASSERT_EQ(waitForExit(p, lister), 0u);

    auto bits = [&](const std::string& field) {
        std::string text = ReadWholeFile(status);
        auto at = text.find(field + ":");
        EXPECT_NE(at, std::string::npos) << field;
        return std::stoull(text.substr(at + field.size() + 1), nullptr, 16);
    };
    EXPECT_EQ(bits("SigBlk") & (1ull << (SIGUSR1 - 1)), 0u);
    EXPECT_EQ(bits("SigIgn") & (1ull << (SIGPIPE - 1)), 0u);
    std::string fdList = ReadWholeFile(fds);
    EXPECT_FALSE(fdList.empty());
    EXPECT_EQ(fdList.find(".lock"), std::string::npos) << fdList;
}

// ---- processes we did not start --------------------------------------------

TEST(PosixProcessesOthers, UnknownPidIsNullAndForeignProcessIsWatched) {
    PosixProcesses p;
    EXPECT_EQ(p.exitCode(0), std::nullopt);           // would address our process group
    EXPECT_EQ(p.exitCode(0xFFFFFFFFu), std::nullopt);  // would address every process
    EXPECT_EQ(p.exitCode(static_cast<std::uint32_t>(getpid())), StillActive);

    // A pid that existed and has been reaped: nothing there any more.
    pid_t gone = fork();
    if (gone == 0) _exit(0);
    ASSERT_GT(gone, 0);
    waitpid(gone, nullptr, 0);
    EXPECT_EQ(p.exitCode(static_cast<std::uint32_t>(gone)), std::nullopt);

    // A process not started through PosixProcesses: running, then a zombie
    // (ended), then reaped: StillActive, then 0 for good.
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    pid_t other = fork();
    if (other == 0) {
        close(pipeFds[1]);
        char c;
        while (read(pipeFds[0], &c, 1) < 0 && errno == EINTR) {
        }
        _exit(5);
    }
    ASSERT_GT(other, 0);
    close(pipeFds[0]);
    const auto id = static_cast<std::uint32_t>(other);
    EXPECT_EQ(p.exitCode(id), StillActive);
    close(pipeFds[1]);  // lets it end
    auto code = waitForExit(p, id);
    EXPECT_EQ(code, 0u);  // ended, not yet reaped: a zombie counts as gone
    waitpid(other, nullptr, 0);
    EXPECT_EQ(p.exitCode(id), 0u);
}

TEST(PosixProcessesOthers, WithoutADesktopFindWindowFindsNothing) {
    nocturo::test::EnvOverride display("DISPLAY", nullptr);
    PosixProcesses p;
    EXPECT_FALSE(p.findWindow("Nocturo"));
    EXPECT_FALSE(p.findWindow(""));
}

// ---- openDocument -----------------------------------------------------------

TEST(PosixProcessesOpenDocument, HandsThePathToXdgOpen) {
    TempDir dir;
    fs::create_directory(dir / "bin");
    const std::string out = dir / "opened.txt";
    writeScript(dir / "bin/xdg-open", "printf '%s\\n' \"$@\" > '" + out + ".part'; mv '" + out + ".part' '" + out + "'");
    EnvOverride path("PATH", dir / "bin" + ":/usr/bin:/bin");
    PosixProcesses p;

    p.openDocument("/home/user/my file.txt");
    ASSERT_TRUE(waitForFile(out));
    EXPECT_EQ(ReadWholeFile(out), "/home/user/my file.txt\n");

    fs::remove(out);
    p.openDocument("-help.txt");  // must not read as an option
    ASSERT_TRUE(waitForFile(out));
    EXPECT_EQ(ReadWholeFile(out), "./-help.txt\n");
}

TEST(PosixProcessesOpenDocument, MissingXdgOpenThrowsFileNotFound) {
    TempDir dir;
    EnvOverride path("PATH", dir.path());
    PosixProcesses p;
    try {
        p.openDocument("https://example.invalid/");
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::FileNotFound);
        EXPECT_NE(std::string(e.what()).find("xdg-open"), std::string::npos);
    }
    EXPECT_THROW(p.openDocument(""), Error);
}

// ---- instance lock ------------------------------------------------------------

TEST(PosixProcessesInstanceLock, LockFileNameFromStableHash) {
    EXPECT_EQ(PosixProcesses::fnv1a64(""), 0xcbf29ce484222325ull);
    EXPECT_EQ(PosixProcesses::fnv1a64("a"), 0xaf63dc4c8601ec8cull);
    EXPECT_EQ(PosixProcesses::fnv1a64("foobar"), 0x85944171f73967e8ull);

    TempDir dir;
    {
        EnvOverride runtime("XDG_RUNTIME_DIR", dir.path());
        EXPECT_EQ(PosixProcesses::instanceLockPath("a"), dir / "nocturo-af63dc4c8601ec8c.lock");
        EXPECT_EQ(PosixProcesses::instanceLockPath("/home/u/.config/nocturo/registry.reg"),
                  dir / "nocturo-" + hash16("/home/u/.config/nocturo/registry.reg") + ".lock");
    }
    // Without a runtime folder: beside the settings file, never in /tmp for
    // everyone to share.
    const std::string uid = std::to_string(geteuid());
    for (const std::optional<std::string>& runtime : {std::optional<std::string>(dir / "does-not-exist"),
                                                      std::optional<std::string>("relative/run"),
                                                      std::optional<std::string>()}) {
        nocturo::test::EnvOverride env("XDG_RUNTIME_DIR", runtime);
        EXPECT_EQ(PosixProcesses::instanceLockPath("/home/u/.config/nocturo/registry.reg"),
                  "/home/u/.config/nocturo/registry.reg.instance.lock");
        EXPECT_EQ(PosixProcesses::instanceLockPath("a"), "/tmp/nocturo-" + uid + "-af63dc4c8601ec8c.lock");
        EXPECT_EQ(PosixProcesses::instanceLockPath("memory:0x1234"),
                  "/tmp/nocturo-" + uid + "-" + hash16("memory:0x1234") + ".lock");
    }
}

TEST(PosixProcessesInstanceLock, RemovedAtAnOrderlyEnd) {
    TempDir dir;
    EnvOverride runtime("XDG_RUNTIME_DIR", dir.path());
    const std::string key = uniqueKey("orderly");
    const std::string other = uniqueKey("orderly-other");
    {
        PosixProcesses p;
        ASSERT_TRUE(p.acquireInstanceLock(key));
        ASSERT_TRUE(p.acquireInstanceLock(other));
        EXPECT_TRUE(fs::exists(PosixProcesses::instanceLockPath(key)));
        EXPECT_TRUE(fs::exists(PosixProcesses::instanceLockPath(other)));
    }
    EXPECT_FALSE(fs::exists(PosixProcesses::instanceLockPath(key)));
    EXPECT_FALSE(fs::exists(PosixProcesses::instanceLockPath(other)));

    PosixProcesses p;
    ASSERT_TRUE(p.acquireInstanceLock(key));
    p.releaseInstanceLocks();
    EXPECT_FALSE(fs::exists(PosixProcesses::instanceLockPath(key)));
    PosixProcesses next;
    EXPECT_TRUE(next.acquireInstanceLock(key));  // free again
    EXPECT_FALSE(p.acquireInstanceLock(key));  // held by next now
}

TEST(PosixProcessesInstanceLock, WithoutRuntimeFolderBesideTheSettingsFile) {
    TempDir dir;
    nocturo::test::EnvOverride runtime("XDG_RUNTIME_DIR", std::nullopt);
    const std::string store = dir / "config/nocturo/registry.reg";  // not written yet: no folder
    {
        PosixProcesses p;
        ASSERT_TRUE(p.acquireInstanceLock(store));
        EXPECT_TRUE(fs::exists(store + ".instance.lock"));
        EXPECT_EQ(fs::status(dir / "config/nocturo").permissions() & fs::perms::all, fs::perms::owner_all);
        PosixProcesses second;
        EXPECT_FALSE(second.acquireInstanceLock(store));
    }
    EXPECT_FALSE(fs::exists(store + ".instance.lock"));
    EXPECT_TRUE(fs::is_empty(dir / "config/nocturo"));
}

TEST(PosixProcessesInstanceLock, AKilledHoldersFileIsTakenOverAndRemovedLater) {
    TempDir dir;
    EnvOverride runtime("XDG_RUNTIME_DIR", dir.path());
    const std::string key = uniqueKey("killed");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        PosixProcesses mine;
        _exit(mine.acquireInstanceLock(key) ? (raise(SIGKILL), 0) : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_TRUE(fs::exists(PosixProcesses::instanceLockPath(key)));  // left behind, unlocked
    {
        PosixProcesses p;
        EXPECT_TRUE(p.acquireInstanceLock(key));
        EXPECT_EQ(ReadWholeFile(PosixProcesses::instanceLockPath(key)), std::to_string(getpid()) + "\n");
    }
    EXPECT_FALSE(fs::exists(PosixProcesses::instanceLockPath(key)));
}

TEST(PosixProcessesInstanceLock, AFileReplacedMeanwhileIsNotRemoved) {
    TempDir dir;
    EnvOverride runtime("XDG_RUNTIME_DIR", dir.path());
    const std::string key = uniqueKey("replaced");
    const std::string path = PosixProcesses::instanceLockPath(key);
    {
        PosixProcesses p;
        ASSERT_TRUE(p.acquireInstanceLock(key));
        WriteWholeFile(dir / "newer", "someone else's\n");
        fs::rename(dir / "newer", path);
    }
    EXPECT_EQ(ReadWholeFile(path), "someone else's\n");
}

TEST(PosixProcessesInstanceLock, NeverTwoHoldersWhileFilesComeAndGo) {
    // Processes take the lock, hold it a moment and end the orderly way
    // (which removes the file), over and over. A process that opened the
    // file just before it was removed must not count as a holder beside the
    // one that created the next file.
    TempDir dir;
    EnvOverride runtime("XDG_RUNTIME_DIR", dir.path());
    const std::string key = uniqueKey("race");
    struct Shared {
        std::atomic<int> holders;
        std::atomic<int> overlaps;
        std::atomic<int> taken;
    };
    void* mem = mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(mem, MAP_FAILED);
    auto* shared = new (mem) Shared{};
    constexpr int kProcesses = 4;
    const auto until = std::chrono::steady_clock::now() + 1500ms;
    std::vector<pid_t> children;
    for (int i = 0; i < kProcesses; ++i) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            while (std::chrono::steady_clock::now() < until) {
                PosixProcesses p;
                bool mine = false;
                try {
                    mine = p.acquireInstanceLock(key);
                } catch (...) {
                    _exit(2);
                }
                if (!mine) continue;
                if (shared->holders.fetch_add(1) != 0) shared->overlaps.fetch_add(1);
                shared->taken.fetch_add(1);
                std::this_thread::sleep_for(std::chrono::microseconds(50));
                shared->holders.fetch_sub(1);
            }  // the destructor removes the file
            _exit(0);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(shared->overlaps.load(), 0);
    EXPECT_GT(shared->taken.load(), 100);
    EXPECT_FALSE(fs::exists(PosixProcesses::instanceLockPath(key)));
    munmap(mem, sizeof(Shared));
}

TEST(PosixProcessesInstanceLock, HeldByOtherProcessUntilItEnds) {
    TempDir dir;
    EnvOverride runtime("XDG_RUNTIME_DIR", dir.path());
    const std::string key = uniqueKey("held");

    int ready[2], done[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(done), 0);
    pid_t child = fork();
    if (child == 0) {
        close(ready[0]);
        close(done[1]);
        PosixProcesses mine;
        char ok = mine.acquireInstanceLock(key) ? 'y' : 'n';
        if (write(ready[1], &ok, 1) != 1) _exit(2);
        char c;
        while (read(done[0], &c, 1) < 0 && errno == EINTR) {
        }
        _exit(0);
    }
    ASSERT_GT(child, 0);
    close(ready[1]);
    close(done[0]);
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 'y');

    PosixProcesses p;
    EXPECT_FALSE(p.acquireInstanceLock(key));
    EXPECT_FALSE(p.acquireInstanceLock(key));  // a failed attempt is not remembered
    EXPECT_TRUE(p.acquireInstanceLock(key + "-other"));

    close(done[1]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(p.acquireInstanceLock(key));
    EXPECT_TRUE(p.acquireInstanceLock(key));  // again in the same process

    struct stat st {};
    ASSERT_EQ(stat(PosixProcesses::instanceLockPath(key).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(ReadWholeFile(PosixProcesses::instanceLockPath(key)), std::to_string(getpid()) + "\n");
    close(ready[0]);
}

TEST(PosixProcessesInstanceLock, SymlinkedLockFileIsRefused) {
    TempDir dir;
    EnvOverride runtime("XDG_RUNTIME_DIR", dir.path());
    const std::string key = uniqueKey("symlink");
    fs::create_symlink(dir / "elsewhere", PosixProcesses::instanceLockPath(key));
    PosixProcesses p;
    EXPECT_THROW(p.acquireInstanceLock(key), Error);
    EXPECT_FALSE(fs::exists(dir / "elsewhere"));
}

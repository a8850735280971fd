// nocturoctl as an administrator runs it: on a terminal of its own, with a
// pipe on its input, and what each failure says on standard error.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "cipher/Varn_encryption3.h"
#include "support/RunCommand.h"
#include "support/TestSupport.h"

using nocturo::test::ReadWholeFile;
using nocturo::test::TempDir;

namespace {
using Result = nocturo::test::CommandResult;
Result run(const std::string& command) { return nocturo::test::RunCommand(command); }

std::string ctl() { return std::string(NOCTURO_BUILD_DIR) + "/bin/nocturoctl"; }

// Standard output and standard error apart.
using Output = nocturo::test::SplitOutput;
Output runApart(const std::string& command, const TempDir& dir) {
    return nocturo::test::RunCommandApart(command, dir.path());
}

// What nocturoctl wrote on its terminal and how it ended, each line of
// `typed` typed once a question waits with the echo off.
struct TerminalSession {
    int code = -1;
    std::string screen;
    bool typedWhileEchoing = false;
    bool echoAtEnd = false;  // the terminal's echo once the program has ended
};
// How the answers are typed: after which prompt, whether only once the echo
// is off, and what happens first (the world changing while a question waits).
struct Typing {
    std::string prompt = "> ";
    bool echoOff = true;
    std::function<void()> before;
};
TerminalSession onTerminal(const std::string& registry, const std::vector<std::string>& args,
                           const std::vector<std::string>& typed, const std::string& stdoutFile = "",
                           const Typing& how = {}) {
    TerminalSession session;
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid < 0) return session;
    if (pid == 0) {
        if (!stdoutFile.empty()) {
            const int out = open(stdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (out < 0 || dup2(out, STDOUT_FILENO) < 0) _exit(126);
            close(out);
        }
        setenv("NOCTURO_REGISTRY", registry.c_str(), 1);
        unsetenv("NOCTURO_PLATFORM");
        const std::string program = ctl();
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    size_t answered = 0;
    for (;;) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            break;
        }
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 20) > 0) {
            char buffer[256];
            const ssize_t n = read(master, buffer, sizeof buffer);
            if (n <= 0) break;  // the program has ended: its terminal is gone
            session.screen.append(buffer, static_cast<size_t>(n));
        }
        // A question ends with "> "; the line is typed once the echo is off.
        size_t asked = 0;
        for (size_t at = session.screen.find(how.prompt); at != std::string::npos;
             at = session.screen.find(how.prompt, at + 1))
            ++asked;
        if (answered < typed.size() && asked > answered) {
            termios t{};
            tcgetattr(master, &t);
            if (how.echoOff && (t.c_lflag & ECHO)) {
                // Not switched off yet: look again shortly; typed now it
                // would show.
                if (std::chrono::steady_clock::now() + std::chrono::seconds(15) < deadline) continue;
                session.typedWhileEchoing = true;
            }
            // Ctrl-C is a key, not a line.
            const std::string line = typed[answered] == "\x03" ? typed[answered] : typed[answered] + "\n";
            if (how.before) how.before();
            ++answered;
            if (write(master, line.data(), line.size()) != static_cast<ssize_t>(line.size())) break;
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    termios end{};
    session.echoAtEnd = tcgetattr(master, &end) == 0 && (end.c_lflag & ECHO);
    close(master);
    session.code = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
    return session;
}

std::string storedPassword(const std::string& registry) {
    Result r = run("NOCTURO_REGISTRY=" + registry + " " + ctl() + " settings get machine poption");
    return r.out.substr(0, r.out.find('\n'));
}
}  // namespace

TEST(CtlOnTheTerminal, ThePasswordIsTypedTwiceUnseenAndSaved) {
    TempDir dir;
    const std::string registry = dir / "r.reg";
    TerminalSession s = onTerminal(registry, {"password", "set"}, {"s3cret pass", "s3cret pass"});
    EXPECT_EQ(s.code, 0) << s.screen;
    EXPECT_FALSE(s.typedWhileEchoing);
    EXPECT_EQ(s.screen.find("s3cret"), std::string::npos) << s.screen;
    EXPECT_NE(s.screen.find("New options password"), std::string::npos) << s.screen;
    EXPECT_NE(s.screen.find("The same password again"), std::string::npos) << s.screen;
    EXPECT_NE(s.screen.find("Password saved"), std::string::npos) << s.screen;
    EXPECT_EQ(nocturo::Decrypt3(storedPassword(registry), ""), "s3cret pass");

    // The questions go to standard error: standard output holds the result only.
    TerminalSession redirected =
        onTerminal(registry, {"password", "set"}, {"other pass", "other pass"}, dir / "stdout");
    EXPECT_EQ(redirected.code, 0) << redirected.screen;
    EXPECT_NE(redirected.screen.find("New options password"), std::string::npos) << redirected.screen;
    EXPECT_EQ(ReadWholeFile(dir / "stdout"), "Password saved\n");
    EXPECT_EQ(nocturo::Decrypt3(storedPassword(registry), ""), "other pass");

    // Two different passwords change nothing, and say so.
    TerminalSession differ = onTerminal(registry, {"password", "set"}, {"new one", "new 0ne"});
    EXPECT_EQ(differ.code, 1) << differ.screen;
    EXPECT_NE(differ.screen.find("nocturoctl: the two passwords differ"), std::string::npos) << differ.screen;
    EXPECT_EQ(differ.screen.find("Password saved"), std::string::npos) << differ.screen;
    EXPECT_EQ(nocturo::Decrypt3(storedPassword(registry), ""), "other pass");

    // Ctrl-C at the question ends the program with the echo back on.
    TerminalSession interrupted = onTerminal(registry, {"password", "set"}, {"\x03"});
    EXPECT_EQ(interrupted.code, 128 + SIGINT) << interrupted.screen;
    EXPECT_TRUE(interrupted.echoAtEnd);
    EXPECT_EQ(nocturo::Decrypt3(storedPassword(registry), ""), "other pass");
}

TEST(CtlOnTheTerminal, WithoutATerminalThePasswordComesFromStandardInputOrNotAtAll) {
    TempDir dir;
    const std::string env = "NOCTURO_REGISTRY=" + dir / "r.reg" + " ";
    Output piped = runApart("printf 'from pipe\\nsecond\\n' | " + env + ctl() + " password set --stdin", dir);
    EXPECT_EQ(piped.code, 0) << piped.err;
    EXPECT_EQ(piped.out, "Password saved\n");
    EXPECT_EQ(piped.err, "");
    EXPECT_EQ(nocturo::Decrypt3(storedPassword(dir / "r.reg"), ""), "from pipe");

    // No --stdin and no terminal: nothing is read from the pipe.
    for (const char* input : {"printf 'x\\nx\\n' | ", "true | "}) {
        SCOPED_TRACE(input);
        Output none = runApart(std::string(input) + env + ctl() + " password set", dir);
        EXPECT_EQ(none.code, 2);
        EXPECT_EQ(none.out, "");
        EXPECT_EQ(none.err,
                  "nocturoctl: no terminal to ask for the password on; --stdin reads it from standard input\n");
        EXPECT_EQ(nocturo::Decrypt3(storedPassword(dir / "r.reg"), ""), "from pipe");
    }
}

TEST(CtlFailures, EachFailureIsOneLineOnStandardErrorWithItsStatus) {
    TempDir dir;
    const std::string env = "NOCTURO_REGISTRY=" + dir / "r.reg" + " ";
    run("mkdir -p " + dir / "empty");
    struct Case {
        std::string args;
        int code;
        std::string err;
    };
    const Case cases[] = {
        {"settings get user nosuch", 1, "nocturoctl: no setting nosuch in the user tree\n"},
        {"find /nonexistent '*.bak'", 1, "nocturoctl: /nonexistent: no such folder\n"},
        {"decrypt3 ZZZ", 1, "nocturoctl: 'ZZZ' is no stored form\n"},
        {"lang check " + dir / "empty", 1,
         "nocturoctl: Path/File access error: cannot read " + dir / "empty" + ": it is a folder, not a regular file\n"},
        {"lang check " + dir / "none.lng", 1, "nocturoctl: " + dir / "none.lng" + ": no such file\n"},
        {"--version 2", 2, "nocturoctl: unexpected argument 2 (try --help)\n"},
        {"password set --stdn", 2, "nocturoctl: unknown option --stdn (a password beginning with -- goes by --stdin)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        Output o = runApart(env + ctl() + " " + c.args + " </dev/null", dir);
        EXPECT_EQ(o.code, c.code);
        EXPECT_EQ(o.out, "");
        EXPECT_EQ(o.err, c.err);
    }
}

TEST(CtlFailures, NothingToCleanIsSaidAndASettingsFileThatCannotBeReadIsNoSuccess) {
    TempDir dir;
    const std::string env = "NOCTURO_REGISTRY=" + dir / "r.reg" + " ";
    run("mkdir -p " + dir / "empty");
    ASSERT_EQ(run(env + ctl() + " settings set user CleanDirs ';" + dir / "empty" + "/;'").code, 0);
    Output o = runApart(env + ctl() + " clean --dry-run", dir);
    EXPECT_EQ(o.code, 0);
    EXPECT_EQ(o.out, "Nothing to clean\n");
    EXPECT_EQ(o.err, "");

    // A settings file that is no settings file is set aside, and said to be.
    run("printf 'no settings\\001' > " + dir / "bad.reg");
    Output bad = runApart("NOCTURO_REGISTRY=" + dir / "bad.reg" + " " + ctl() + " settings set user txtHour 05", dir);
    EXPECT_EQ(bad.code, 1);
    EXPECT_EQ(bad.out, "");
    EXPECT_NE(bad.err.rfind("nocturoctl: ", 0), std::string::npos) << bad.err;
    EXPECT_NE(bad.err.find("bad.reg"), std::string::npos) << bad.err;
    EXPECT_EQ(std::count(bad.err.begin(), bad.err.end(), '\n'), 1) << bad.err;
}

namespace {

namespace fs = std::filesystem;

// A cleaned folder top/ (files and a subfolder sub/ with files) and, beside
// it, other/ with files of the same names, which the cleaning must never
// reach.
struct CleanTree {
    TempDir dir;
    std::string registry = dir / "r.reg", top = dir / "top", other = dir / "other";
    CleanTree() {
        for (const std::string& base : {top, other})
            for (const char* f : {"/a.bak", "/b.bak", "/keep.txt", "/sub/c.bak", "/sub/d.bak"}) {
                fs::create_directories(fs::path(base + f).parent_path());
                std::ofstream(base + f) << "data of " << base << f;
            }
        const std::string env = "NOCTURO_REGISTRY=" + registry + " " + ctl();
        EXPECT_EQ(run(env + " settings set user CleanDirs ';" + top + "/;'").code, 0);
        EXPECT_EQ(run(env + " settings set user chkInclSubDirs 1 --dword --folder " + top + "/").code, 0);
        EXPECT_EQ(run(env + " settings set user chkDelType 0 --dword --folder " + top + "/").code, 0);
    }
    std::vector<std::string> filesIn(const std::string& folder) {
        std::vector<std::string> names;
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(folder, ec); it != fs::recursive_directory_iterator(); ++it)
            if (!it->is_directory()) names.push_back(it->path().string() + "=" + ReadWholeFile(it->path().string()));
        std::sort(names.begin(), names.end());
        return names;
    }
};

}  // namespace

// While "Delete or recycle these N files?" waits, the world changes; "y"
// then deletes only files that are still the ones listed, through folders
// that are still the ones listed, and says which were refused.
TEST(CtlOnTheTerminal, CleanDeletesOnlyWhatWasListedWhateverIsSwappedWhileTheQuestionWaits) {
    struct Case {
        const char* what;
        std::function<void(CleanTree&)> swap;
        int deleted;  // of the 4 listed
        const char* refused;  // a file named in the refusals
    };
    const Case cases[] = {
        {"the chosen folder swapped for a link to another",
         [](CleanTree& t) {
             fs::rename(t.top, t.dir / "top.old");
             fs::create_directory_symlink(t.other, t.top);
         },
         0, "/a.bak"},
        {"the chosen folder swapped for another real folder",
         [](CleanTree& t) {
             fs::rename(t.top, t.dir / "top.old");
             fs::rename(t.other, t.top);
             fs::create_directory_symlink(t.top, t.other);  // other/ still shows what it holds
         },
         0, "/a.bak"},
        {"a subfolder swapped for a link to another",
         [](CleanTree& t) {
             fs::rename(t.top + "/sub", t.dir / "sub.old");
             fs::create_directory_symlink(t.other + "/sub", t.top + "/sub");
         },
         2, "/sub/c.bak"},
        {"a listed file swapped for another of the same name",
         [](CleanTree& t) {
             fs::rename(t.other + "/a.bak", t.top + "/a.bak");
             fs::create_symlink(t.top + "/a.bak", t.other + "/a.bak");
         },
         3, "/a.bak"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CleanTree t;
        const auto outside = t.filesIn(t.other);
        TerminalSession s = onTerminal(t.registry, {"clean"}, {"y"}, "", Typing{"[no]: ", false, [&] { c.swap(t); }});
        EXPECT_EQ(s.code, 1) << s.screen;
        EXPECT_NE(s.screen.find("Delete or recycle these 4 files?"), std::string::npos) << s.screen;
        EXPECT_EQ(t.filesIn(t.other), outside) << s.screen;  // nothing that was not listed is touched
        EXPECT_NE(s.screen.find("Deleted " + std::to_string(c.deleted) + " of 4 files, " +
                                std::to_string(4 - c.deleted) + " failed"),
                  std::string::npos)
            << s.screen;
        EXPECT_NE(s.screen.find("nocturoctl: not deleted: " + t.top + c.refused), std::string::npos) << s.screen;
    }
}

// A FIFO, a link to /dev/zero or an over-size file as the settings file or
// as a language file: nocturoctl ends at once with one line naming the file
// and a failure status, and the file stays what it was.
TEST(CtlFailures, ASettingsOrLanguageFileThatIsAFifoADeviceOrTooBigEndsPromptlyAndStays) {
    TempDir dir;
    run("mkfifo " + dir / "fifo && ln -s /dev/zero " + dir / "zero && truncate -s 9M " + dir / "big");
    const struct {
        std::string file;
        std::string says;
    } kinds[] = {
        {dir / "fifo", ": it is a FIFO, not a regular file"},
        {dir / "zero", ": it is a device, not a regular file"},
        {dir / "big", ": it is larger than 8 MiB"},
    };
    for (const auto& k : kinds) {
        for (const std::string& command :
             {"NOCTURO_REGISTRY=" + k.file + " " + ctl() + " settings get user chkSound",
              "NOCTURO_REGISTRY=" + k.file + " " + ctl() + " settings set user chkSound 1 --dword",
              "NOCTURO_REGISTRY=" + k.file + " " + ctl() + " clean --dry-run",
              "NOCTURO_REGISTRY=" + dir / "r.reg" + " " + ctl() + " lang check " + k.file}) {
            SCOPED_TRACE(command);
            const auto started = std::chrono::steady_clock::now();
            Output o = runApart("timeout -s KILL 20 env " + command + " </dev/null", dir);
            EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
            EXPECT_EQ(o.code, 1);
            EXPECT_EQ(o.out, "");
            EXPECT_EQ(o.err.rfind("nocturoctl: ", 0), 0u) << o.err;
            EXPECT_NE(o.err.find(k.file), std::string::npos) << o.err;
            EXPECT_NE(o.err.find(k.says), std::string::npos) << o.err;
            EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
        }
    }
    // Nothing moved aside, replaced or made beside them.
    EXPECT_TRUE(fs::is_fifo(dir / "fifo"));
    EXPECT_TRUE(fs::is_symlink(dir / "zero"));
    EXPECT_TRUE(fs::is_character_file("/dev/zero"));
    EXPECT_FALSE(fs::exists("/dev/zero.lock"));
    EXPECT_FALSE(fs::exists("/dev/zero.tmp"));
    EXPECT_EQ(fs::file_size(dir / "big"), 9u << 20);
    for (const auto& e : fs::directory_iterator(dir.path()))
        EXPECT_EQ(e.path().filename().string().find(".corrupt"), std::string::npos) << e.path();
}

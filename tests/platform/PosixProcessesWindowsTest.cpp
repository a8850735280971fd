// Finding, hiding and showing windows by their titles: on a private X
// server (Xvfb) with windows of the test's own, and, without X, through the
// companion programs, played here by copies of /bin/sleep under their names
// (sleep ends on SIGUSR1 and SIGUSR2, which shows which signal came; each
// companion's name is used by one test only, as ctest runs tests side by
// side). The real display is never touched: DISPLAY names the private
// server or is unset.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/posix/PosixProcesses.h"
#include "support/EnvOverride.h"
#include "support/OrdinaryUser.h"
#include "support/PrivateBus.h"
#include "support/PrivateXServer.h"
#include "support/TestSupport.h"
#include "support/X11TestClient.h"

extern char** environ;

using nocturo::platform::PosixProcesses;
using nocturo::test::EnvOverride;
using nocturo::test::TempDir;
namespace fs = std::filesystem;

namespace {

using namespace std::chrono_literals;

// ---- X11 ----------------------------------------------------------------------

class X11Windows : public ::testing::Test {
protected:
    void SetUp() override {
        if (!nocturo::test::FindInPath("Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
        server_ = std::make_unique<nocturo::test::PrivateXServer>();
        ASSERT_TRUE(server_->ready()) << "Xvfb did not start";
        display_ = std::make_unique<EnvOverride>("DISPLAY", server_->display().c_str());
        wayland_ = std::make_unique<EnvOverride>("WAYLAND_DISPLAY", nullptr);
        client_ = std::make_unique<nocturo::test::X11TestClient>(server_->display());
        ASSERT_TRUE(client_->connected()) << "cannot open the private display";
    }
    void TearDown() override {
        client_.reset();
        wayland_.reset();
        display_.reset();
        server_.reset();
    }

    std::unique_ptr<nocturo::test::PrivateXServer> server_;
    std::unique_ptr<EnvOverride> display_, wayland_;
    std::unique_ptr<nocturo::test::X11TestClient> client_;
};

// Bare Xvfb has no window manager: the windows are the root's children.
TEST_F(X11Windows, FindsHidesAndShowsATopLevelWindowByItsExactTitle) {
    const auto window = client_->createWindow("2LockPc2", "");
    client_->createWindow("Nocturo", "");
    PosixProcesses p;
    EXPECT_TRUE(p.findWindow("2LockPc2"));
    EXPECT_TRUE(p.findWindow("Nocturo"));
    EXPECT_FALSE(p.findWindow("2LockPc"));
    EXPECT_FALSE(p.findWindow("2lockpc2"));
    EXPECT_FALSE(p.findWindow("2LockPc2 "));
    EXPECT_FALSE(p.findWindow(""));

    ASSERT_TRUE(client_->mapped(window));
    EXPECT_TRUE(p.showWindow("2LockPc2", false));
    EXPECT_FALSE(client_->mapped(window));
    EXPECT_TRUE(p.findWindow("2LockPc2"));  // hidden, but still there
    EXPECT_TRUE(p.showWindow("2LockPc2", false));
    EXPECT_FALSE(client_->mapped(window));

    EXPECT_TRUE(p.showWindow("2LockPc2", true));
    EXPECT_TRUE(client_->mapped(window));
    EXPECT_FALSE(p.showWindow("No such window", false));
    EXPECT_FALSE(p.showWindow("No such window", true));
}

// A window manager lists its clients on the root window and puts each in a
// frame of its own, so the client is no child of the root.
TEST_F(X11Windows, TheWindowManagersClientListAndUtf8Titles) {
    const auto frame = client_->createWindow("", "");
    const auto window = client_->createWindow("", "Nocturo – Überwachung", frame);
    PosixProcesses p;
    EXPECT_FALSE(p.findWindow("Nocturo – Überwachung"));  // not listed yet
    client_->setClientList({window});
    EXPECT_TRUE(p.findWindow("Nocturo – Überwachung"));
    EXPECT_FALSE(p.findWindow("Nocturo"));

    EXPECT_TRUE(p.showWindow("Nocturo – Überwachung", false));
    EXPECT_FALSE(client_->mapped(window));
    EXPECT_TRUE(client_->mapped(frame));
    EXPECT_TRUE(p.showWindow("Nocturo – Überwachung", true));
    EXPECT_TRUE(client_->mapped(window));
}

TEST_F(X11Windows, TheUtf8TitleWinsOverTheOldOne) {
    client_->createWindow("old title", "new title");
    PosixProcesses p;
    EXPECT_TRUE(p.findWindow("new title"));
    EXPECT_FALSE(p.findWindow("old title"));
}

TEST_F(X11Windows, AServerThatIsGoneFindsNothing) {
    client_->createWindow("Nocturo", "");
    PosixProcesses p;
    EXPECT_TRUE(p.findWindow("Nocturo"));
    client_.reset();
    server_->stop();
    EXPECT_FALSE(p.findWindow("Nocturo"));
    EXPECT_FALSE(p.showWindow("Nocturo", true));
}

// ---- the companion programs, without X ---------------------------------------------

// A copy of /bin/sleep named as a companion program, started from a
// temporary folder; it ends by the first signal it gets.
class Companion {
public:
    Companion(const TempDir& dir, const std::string& name) : path_(dir / name) {
        fs::copy_file("/bin/sleep", path_, fs::copy_options::overwrite_existing);
        fs::permissions(path_, fs::perms::owner_all);
        std::string seconds = "30";
        char* argv[] = {path_.data(), seconds.data(), nullptr};
        if (posix_spawn(&pid_, path_.c_str(), nullptr, nullptr, argv, environ) != 0) pid_ = -1;
    }
    ~Companion() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    Companion(const Companion&) = delete;
    Companion& operator=(const Companion&) = delete;

    bool started() const { return pid_ > 0; }
    const std::string& path() const { return path_; }
    // The signal that ended it within `wait`; 0 when it still runs or ended
    // otherwise.
    int endingSignal(std::chrono::milliseconds wait = 5s) {
        const auto until = std::chrono::steady_clock::now() + wait;
        while (std::chrono::steady_clock::now() < until) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
            }
            std::this_thread::sleep_for(5ms);
        }
        return 0;
    }

private:
    std::string path_;
    pid_t pid_ = -1;
};

class CompanionPrograms : public ::testing::Test {
protected:
    EnvOverride display_{"DISPLAY", nullptr};
    EnvOverride wayland_{"WAYLAND_DISPLAY", nullptr};
    TempDir dir_;
};

TEST_F(CompanionPrograms, TheLockProgramStandsForItsWindowAndHidesOnSigusr1) {
    PosixProcesses p;
    {
        // Only the exact name counts.
        Companion longer(dir_, "lockpc2");
        Companion prefixed(dir_, "xlockpc");
        ASSERT_TRUE(longer.started() && prefixed.started());
        EXPECT_FALSE(p.findWindow("2LockPc2"));
        EXPECT_FALSE(p.showWindow("2LockPc2", false));
        EXPECT_EQ(longer.endingSignal(300ms), 0);  // still running, never signalled
    }
    {
        Companion lockpc(dir_, "lockpc");
        ASSERT_TRUE(lockpc.started());
        EXPECT_TRUE(p.findWindow("2LockPc2"));
        EXPECT_FALSE(p.findWindow("Nocturo"));  // only the two companions stand for windows
        EXPECT_FALSE(p.showWindow("Nocturo", false));
        EXPECT_TRUE(p.showWindow("2LockPc2", false));
        EXPECT_EQ(lockpc.endingSignal(), SIGUSR1);
        EXPECT_FALSE(p.findWindow("2LockPc2"));
        EXPECT_FALSE(p.showWindow("2LockPc2", true));
    }
    {
        // Its program file deleted (or replaced by an update) while it runs.
        Companion lockpc(dir_, "lockpc");
        ASSERT_TRUE(lockpc.started());
        fs::remove(lockpc.path());
        EXPECT_TRUE(p.findWindow("2LockPc2"));
        EXPECT_TRUE(p.showWindow("2LockPc2", true));
        EXPECT_EQ(lockpc.endingSignal(), SIGUSR2);
    }
}

// A companion of another user's, which only root can start here.
class OtherUsersCompanion {
public:
    OtherUsersCompanion(const TempDir& dir, const std::string& name) {
        if (geteuid() != 0) return;
        fs::create_directory(dir / "nobody");
        const std::string path = dir / "nobody/" + name;
        fs::copy_file("/bin/sleep", path);
        fs::permissions(path, fs::perms::all);
        fs::permissions(dir.path(), fs::perms::all);
        fs::permissions(dir / "nobody", fs::perms::all);
        pid_ = fork();
        if (pid_ == 0) {
            if (setgid(nocturo::test::Nobody) != 0 || setuid(nocturo::test::Nobody) != 0) _exit(126);
            execl(path.c_str(), name.c_str(), "30", static_cast<char*>(nullptr));
            _exit(127);
        }
        std::this_thread::sleep_for(200ms);  // it has become nobody and exec'd by now
    }
    ~OtherUsersCompanion() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    OtherUsersCompanion(const OtherUsersCompanion&) = delete;
    OtherUsersCompanion& operator=(const OtherUsersCompanion&) = delete;

    bool started() const { return pid_ > 0; }
    bool running() {
        int status = 0;
        return pid_ > 0 && waitpid(pid_, &status, WNOHANG) == 0;
    }

private:
    pid_t pid_ = -1;
};

// Also: a companion of another user is neither found nor signalled (tried
// where the tests run as root).
TEST_F(CompanionPrograms, TheScreenSaverProgramShowsOnSigusr2) {
    PosixProcesses p;
    OtherUsersCompanion others(dir_, "lockpcscr");
    if (others.started()) {
        ASSERT_TRUE(others.running());
        EXPECT_FALSE(p.findWindow("LockPcScr"));
        EXPECT_FALSE(p.showWindow("LockPcScr", false));
    }
    Companion lockpcscr(dir_, "lockpcscr");
    ASSERT_TRUE(lockpcscr.started());
    EXPECT_TRUE(p.findWindow("LockPcScr"));
    EXPECT_TRUE(p.showWindow("LockPcScr", true));
    EXPECT_EQ(lockpcscr.endingSignal(), SIGUSR2);
    EXPECT_FALSE(p.findWindow("LockPcScr"));
    if (others.started()) {
        EXPECT_TRUE(others.running());
    }
}

}  // namespace

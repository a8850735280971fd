// LogindSessionPower against a stand-in for systemd-logind.
//
// Each test starts its own dbus-daemon on a socket in a temporary folder and,
// where needed, a fake org.freedesktop.login1 service on it that records the
// calls it receives and answers them without doing anything (and, for the
// lock, a fake desktop screen saver on the same bus). The real system and
// session buses are never contacted: DBUS_SYSTEM_BUS_ADDRESS and
// DBUS_SESSION_BUS_ADDRESS point at sockets that do not exist for the whole
// test, and SetUp checks that this holds.
#include <gtest/gtest.h>

#include <string>

#include "platform/Error.h"
#include "platform/posix/LogindSessionPower.h"

using nocturo::platform::Error;
using nocturo::platform::LogindSessionPower;

// Without libsystemd the class is still there and says so on every action.
TEST(LogindSessionPowerUnsupported, EveryActionFailsWhenBuiltWithoutLibsystemd) {
    if (LogindSessionPower::supported()) GTEST_SKIP() << "built with systemd-logind support";
    LogindSessionPower power("unix:path=/nonexistent");
    power.enableShutdownPrivilege();
    power.terminateShell();
    auto expectNotBuilt = [](auto&& call) {
        try {
            call();
            ADD_FAILURE() << "no error raised";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), 1000);
            EXPECT_STREQ(e.what(), "systemd-logind support not built");
        }
    };
    expectNotBuilt([&] { power.exitWindowsEx(13, 0xFFFFFFFF); });
    expectNotBuilt([&] { power.setSuspendState(false, true, false); });
    expectNotBuilt([&] { power.lockWorkstation(); });
    expectNotBuilt([&] { power.blockSessionEnd(true); });
}

#if __has_include(<systemd/sd-bus.h>)

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include "support/EnvOverride.h"
#include "support/FakeScreenSaver.h"
#include "support/PrivateBus.h"
#include "support/TestSupport.h"

namespace {

using namespace std::chrono_literals;
using Calls = std::vector<std::string>;


// org.freedesktop.login1 on a private bus, served from its own thread. Every
// Manager method call is recorded as "Method(args)" and answered; a method can
// be told to fail with a given D-Bus error instead.
class FakeLogind : public nocturo::test::CallRecorder {
public:
    static constexpr const char* kSessionPath = "/org/freedesktop/login1/session/_31";

    explicit FakeLogind(const std::string& address)
        : service_(address, [this](sd_bus* bus) -> std::string {
              if (sd_bus_add_object_vtable(bus, nullptr, "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                                           kManagerVtable, this) < 0)
                  return "add Manager";
              if (sd_bus_add_object_vtable(bus, nullptr, kSessionPath, "org.freedesktop.login1.Session",
                                           kSessionVtable, this) < 0)
                  return "add Session";
              if (sd_bus_request_name(bus, "org.freedesktop.login1", 0) < 0) return "sd_bus_request_name";
              return {};
          }) {}

    ~FakeLogind() {
        for (int fd : readEnds_) close(fd);
    }

    // The read end of the pipe whose write end answered the n-th Inhibit:
    // it reads end of file once every copy of the inhibitor is closed.
    int inhibitor(std::size_t n) const {
        std::lock_guard lock(mutex_);
        return n < readEnds_.size() ? readEnds_[n] : -1;
    }
    std::size_t inhibitors() const {
        std::lock_guard lock(mutex_);
        return readEnds_.size();
    }

private:
    static int OnBool(sd_bus_message* m, void* self, sd_bus_error* error) {
        int value = 0;
        int r = sd_bus_message_read(m, "b", &value);
        if (r < 0) return r;
        r = static_cast<FakeLogind*>(self)->record(m, value ? "true" : "false", error);
        return r < 0 ? r : sd_bus_reply_method_return(m, "");
    }

    static int OnString(sd_bus_message* m, void* self, sd_bus_error* error) {
        const char* value = nullptr;
        int r = sd_bus_message_read(m, "s", &value);
        if (r < 0) return r;
        r = static_cast<FakeLogind*>(self)->record(m, "\"" + std::string(value) + "\"", error);
        return r < 0 ? r : sd_bus_reply_method_return(m, "");
    }

    static int OnSessionByPid(sd_bus_message* m, void* self, sd_bus_error* error) {
        std::uint32_t pid = 0;
        int r = sd_bus_message_read(m, "u", &pid);
        if (r < 0) return r;
        r = static_cast<FakeLogind*>(self)->record(m, std::to_string(pid), error);
        return r < 0 ? r : sd_bus_reply_method_return(m, "o", kSessionPath);
    }

    static int OnInhibit(sd_bus_message* m, void* self, sd_bus_error* error) {
        const char *what = nullptr, *who = nullptr, *why = nullptr, *mode = nullptr;
        int r = sd_bus_message_read(m, "ssss", &what, &who, &why, &mode);
        if (r < 0) return r;
        auto* fake = static_cast<FakeLogind*>(self);
        r = fake->record(m, "\"" + std::string(what) + "\", \"" + who + "\", \"" + why + "\", \"" + mode + "\"", error);
        if (r < 0) return r;
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return -errno;
        {
            // Kept before the reply goes: the caller may look for it at once.
            std::lock_guard lock(fake->mutex_);
            fake->readEnds_.push_back(fds[0]);
        }
        r = sd_bus_reply_method_return(m, "h", fds[1]);  // the message takes a copy
        close(fds[1]);
        return r;
    }

    static int GetId(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*, sd_bus_error*) {
        return sd_bus_message_append(reply, "s", "1");
    }

    static const sd_bus_vtable kManagerVtable[];
    static const sd_bus_vtable kSessionVtable[];

    mutable std::mutex mutex_;
    std::vector<int> readEnds_;
    // Last: it stops serving before the recorder goes.
    nocturo::test::BusServiceThread service_;
};

const sd_bus_vtable FakeLogind::kManagerVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("PowerOff", "b", "", OnBool, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Reboot", "b", "", OnBool, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Suspend", "b", "", OnBool, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Hibernate", "b", "", OnBool, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("TerminateSession", "s", "", OnString, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("LockSession", "s", "", OnString, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("GetSessionByPID", "u", "o", OnSessionByPid, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Inhibit", "ssss", "h", OnInhibit, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

const sd_bus_vtable FakeLogind::kSessionVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("Id", "s", GetId, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_VTABLE_END,
};

using ScopedEnv = nocturo::test::EnvOverride;

using nocturo::test::ErrorText;

class LogindSessionPowerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!LogindSessionPower::supported()) GTEST_SKIP() << "built without systemd-logind support";
        auto daemon = nocturo::test::FindInPath("dbus-daemon");
        if (!daemon) GTEST_SKIP() << "dbus-daemon is not installed";

        // The socket folder is short-lived and short-named: unix socket paths
        // are limited to about 100 characters.
        folder_ = std::make_unique<nocturo::test::TempDir>();
        noSystemBus_ = "unix:path=" + folder_->path() + "/no-system-bus";
        noSessionBus_ = "unix:path=" + folder_->path() + "/no-session-bus";
        env_.emplace_back(std::make_unique<ScopedEnv>("DBUS_SYSTEM_BUS_ADDRESS", noSystemBus_.c_str()));
        env_.emplace_back(std::make_unique<ScopedEnv>("DBUS_SESSION_BUS_ADDRESS", noSessionBus_.c_str()));
        env_.emplace_back(std::make_unique<ScopedEnv>("NOCTURO_LOGIND_BUS", nullptr));
        env_.emplace_back(std::make_unique<ScopedEnv>("NOCTURO_SCREENSAVER_BUS", nullptr));
        env_.emplace_back(std::make_unique<ScopedEnv>("XDG_SESSION_ID", nullptr));
        env_.emplace_back(std::make_unique<ScopedEnv>("SYSTEMD_BUS_TIMEOUT", "5"));  // seconds; no call may hang

        // Refuse to go on unless the system bus is out of reach from here.
        sd_bus* system = nullptr;
        int r = sd_bus_open_system(&system);
        sd_bus_flush_close_unref(system);
        ASSERT_LT(r, 0) << "the system bus is reachable; not running these tests";
        sd_bus* session = nullptr;
        r = sd_bus_open_user(&session);
        sd_bus_flush_close_unref(session);
        ASSERT_LT(r, 0) << "the session bus is reachable; not running these tests";

        bus_ = std::make_unique<nocturo::test::PrivateBus>(*daemon, folder_->path());
    }

    void TearDown() override {
        saver_.reset();
        logind_.reset();
        bus_.reset();
        // Newest first, so that a variable set twice ends up as it was.
        while (!env_.empty()) env_.pop_back();
        folder_.reset();
    }

    // Start the fake only after the test has set its environment, so that the
    // service thread never reads the environment while it is being changed.
    FakeLogind& StartLogind() {
        logind_ = std::make_unique<FakeLogind>(bus_->address());
        return *logind_;
    }

    nocturo::test::FakeScreenSaver& StartScreenSaver() {
        saver_ = std::make_unique<nocturo::test::FakeScreenSaver>(bus_->address());
        return *saver_;
    }

    void SetEnv(const char* name, const char* value) { env_.emplace_back(std::make_unique<ScopedEnv>(name, value)); }

    LogindSessionPower Power() const { return LogindSessionPower(bus_->address()); }

    static std::string Pid() { return std::to_string(getpid()); }

    std::unique_ptr<nocturo::test::TempDir> folder_;
    std::string noSystemBus_;
    std::string noSessionBus_;
    std::vector<std::unique_ptr<ScopedEnv>> env_;
    std::unique_ptr<nocturo::test::PrivateBus> bus_;
    std::unique_ptr<FakeLogind> logind_;
    std::unique_ptr<nocturo::test::FakeScreenSaver> saver_;
};

// Whether the pipe's write ends are all closed within `wait`.
bool ClosedWithin(int readEnd, std::chrono::milliseconds wait) {
    pollfd p{readEnd, POLLIN, 0};
    int r;
    do r = poll(&p, 1, static_cast<int>(wait.count()));
    while (r < 0 && errno == EINTR);
    if (r <= 0) return false;
    char byte;
    return (p.revents & POLLHUP) || read(readEnd, &byte, 1) == 0;
}

const std::string kInhibitCall =
    "Inhibit(\"shutdown:sleep:handle-power-key:handle-suspend-key\", \"Nocturo\", \"Secure PC is on\", \"block\")";

TEST_F(LogindSessionPowerTest, ForcedPowerOffIsNotInteractive) {
    auto& logind = StartLogind();
    Power().exitWindowsEx(13, 0xFFFFFFFF);  // shutdown + force + power off
    EXPECT_EQ(logind.calls(), (Calls{"PowerOff(false)"}));
}

TEST_F(LogindSessionPowerTest, UnforcedShutdownIsInteractive) {
    auto& logind = StartLogind();
    auto power = Power();
    power.exitWindowsEx(1, 0xFFFFFFFF);     // shutdown
    power.exitWindowsEx(9, 0xFFFFFFFF);     // shutdown + power off
    power.exitWindowsEx(0x11, 0xFFFFFFFF);  // shutdown + force if hung
    power.exitWindowsEx(8, 0xFFFFFFFF);     // power off alone
    power.exitWindowsEx(5, 0xFFFFFFFF);     // shutdown + force
    EXPECT_EQ(logind.calls(),
              (Calls{"PowerOff(true)", "PowerOff(true)", "PowerOff(true)", "PowerOff(true)", "PowerOff(false)"}));
}

TEST_F(LogindSessionPowerTest, RestartTakesPrecedenceOverShutdown) {
    auto& logind = StartLogind();
    auto power = Power();
    power.exitWindowsEx(7, 0xFFFFFFFF);     // shutdown + reboot + force
    power.exitWindowsEx(3, 0xFFFFFFFF);     // shutdown + reboot
    power.exitWindowsEx(0x13, 0xFFFFFFFF);  // shutdown + reboot + force if hung
    EXPECT_EQ(logind.calls(), (Calls{"Reboot(false)", "Reboot(true)", "Reboot(true)"}));
}

TEST_F(LogindSessionPowerTest, LogOffEndsOwnSessionFoundThroughLogind) {
    auto& logind = StartLogind();
    auto power = Power();
    power.exitWindowsEx(0, 0xFFFFFFFF);
    EXPECT_EQ(logind.calls(), (Calls{"GetSessionByPID(" + Pid() + ")", "TerminateSession(\"1\")"}));
    logind.clear();
    power.exitWindowsEx(4, 0xFFFFFFFF);  // forced log off
    EXPECT_EQ(logind.calls(), (Calls{"GetSessionByPID(" + Pid() + ")", "TerminateSession(\"1\")"}));
}

TEST_F(LogindSessionPowerTest, LogOffUsesXdgSessionIdWhenSet) {
    SetEnv("XDG_SESSION_ID", "7");
    auto& logind = StartLogind();
    auto power = Power();
    power.exitWindowsEx(0, 0xFFFFFFFF);
    power.exitWindowsEx(4, 0xFFFFFFFF);
    EXPECT_EQ(logind.calls(), (Calls{"TerminateSession(\"7\")", "TerminateSession(\"7\")"}));
}

TEST_F(LogindSessionPowerTest, EmptyXdgSessionIdCountsAsUnset) {
    SetEnv("XDG_SESSION_ID", "");
    auto& logind = StartLogind();
    Power().exitWindowsEx(0, 0xFFFFFFFF);
    EXPECT_EQ(logind.calls(), (Calls{"GetSessionByPID(" + Pid() + ")", "TerminateSession(\"1\")"}));
}

TEST_F(LogindSessionPowerTest, SuspendAndHibernateAreInteractiveUnlessForced) {
    auto& logind = StartLogind();
    auto power = Power();
    power.setSuspendState(false, false, false);
    power.setSuspendState(false, true, false);
    power.setSuspendState(true, false, false);
    power.setSuspendState(true, true, true);
    EXPECT_EQ(logind.calls(), (Calls{"Suspend(true)", "Suspend(false)", "Hibernate(true)", "Hibernate(false)"}));
}

TEST_F(LogindSessionPowerTest, LockLocksOwnSession) {
    auto& logind = StartLogind();
    Power().lockWorkstation();
    EXPECT_EQ(logind.calls(), (Calls{"GetSessionByPID(" + Pid() + ")", "LockSession(\"1\")"}));
}

TEST_F(LogindSessionPowerTest, LockUsesXdgSessionIdWhenSet) {
    SetEnv("XDG_SESSION_ID", "7");
    auto& logind = StartLogind();
    Power().lockWorkstation();
    EXPECT_EQ(logind.calls(), (Calls{"LockSession(\"7\")"}));
}

TEST_F(LogindSessionPowerTest, PrivilegeAndShellCallsDoNothing) {
    auto& logind = StartLogind();
    auto power = Power();
    EXPECT_NO_THROW(power.enableShutdownPrivilege());
    EXPECT_NO_THROW(power.terminateShell());
    EXPECT_TRUE(logind.calls().empty());
    // Not even a bus is needed for them.
    LogindSessionPower nowhere("unix:path=" + folder_->path() + "/nothing-here");
    EXPECT_NO_THROW(nowhere.enableShutdownPrivilege());
    EXPECT_NO_THROW(nowhere.terminateShell());
}

TEST_F(LogindSessionPowerTest, EnvironmentVariableChoosesTheBus) {
    SetEnv("NOCTURO_LOGIND_BUS", bus_->address().c_str());
    auto& logind = StartLogind();
    LogindSessionPower power;
    power.exitWindowsEx(13, 0xFFFFFFFF);
    EXPECT_EQ(logind.calls(), (Calls{"PowerOff(false)"}));
}

TEST_F(LogindSessionPowerTest, ExplicitAddressWinsOverEnvironment) {
    SetEnv("NOCTURO_LOGIND_BUS", noSystemBus_.c_str());
    auto& logind = StartLogind();
    Power().setSuspendState(false, true, false);
    EXPECT_EQ(logind.calls(), (Calls{"Suspend(false)"}));
}

TEST_F(LogindSessionPowerTest, RefusedCallRaisesErrorWithDbusError) {
    auto& logind = StartLogind();
    logind.refuse("PowerOff", "org.freedesktop.DBus.Error.AccessDenied", "Permission denied");
    long number = 0;
    std::string text = ErrorText([&] { Power().exitWindowsEx(13, 0xFFFFFFFF); }, &number);
    EXPECT_EQ(number, 1000);
    EXPECT_EQ(text, "org.freedesktop.login1.Manager.PowerOff: org.freedesktop.DBus.Error.AccessDenied: Permission denied");
    EXPECT_EQ(logind.calls(), (Calls{"PowerOff(false)"}));
}

TEST_F(LogindSessionPowerTest, RefusedSleepAndSessionLookupAreReported) {
    auto& logind = StartLogind();
    logind.refuse("Hibernate", "org.freedesktop.login1.SleepVerbNotSupported", "Sleep verb not supported");
    logind.refuse("GetSessionByPID", "org.freedesktop.login1.NoSessionForPID", "PID does not belong to any session");
    long number = 0;
    EXPECT_EQ(ErrorText([&] { Power().setSuspendState(true, false, false); }, &number),
              "org.freedesktop.login1.Manager.Hibernate: org.freedesktop.login1.SleepVerbNotSupported: "
              "Sleep verb not supported");
    EXPECT_EQ(number, 1000);
    number = 0;
    EXPECT_EQ(ErrorText([&] { Power().lockWorkstation(); }, &number),
              "org.freedesktop.login1.Manager.GetSessionByPID: org.freedesktop.login1.NoSessionForPID: "
              "PID does not belong to any session");
    EXPECT_EQ(number, 1000);
    // The lock itself was never asked for.
    EXPECT_EQ(logind.calls(), (Calls{"Hibernate(true)", "GetSessionByPID(" + Pid() + ")"}));
}

TEST_F(LogindSessionPowerTest, NoLogindOnTheBus) {
    long number = 0;
    std::string text = ErrorText([&] { Power().exitWindowsEx(1, 0xFFFFFFFF); }, &number);
    EXPECT_EQ(number, 1000);
    EXPECT_NE(text.find("org.freedesktop.login1.Manager.PowerOff: "), std::string::npos) << text;
    EXPECT_NE(text.find("org.freedesktop.DBus.Error.ServiceUnknown"), std::string::npos) << text;
    EXPECT_NE(text.find("org.freedesktop.login1 "), std::string::npos) << text;  // the bus names the service
}

TEST_F(LogindSessionPowerTest, NoBusAtTheAddress) {
    long number = 0;
    std::string address = "unix:path=" + folder_->path() + "/nothing-here";
    std::string text = ErrorText([&] { LogindSessionPower(address).lockWorkstation(); }, &number);
    EXPECT_EQ(number, 1000);
    EXPECT_EQ(text, "org.freedesktop.login1.Manager.LockSession: cannot connect to " + address +
                        ": No such file or directory");
}

TEST_F(LogindSessionPowerTest, NoSystemBus) {
    // Empty address and no NOCTURO_LOGIND_BUS: the system bus, which SetUp
    // has pointed at a socket that does not exist.
    long number = 0;
    std::string text = ErrorText([&] { LogindSessionPower().setSuspendState(false, false, false); }, &number);
    EXPECT_EQ(number, 1000);
    EXPECT_EQ(text, "org.freedesktop.login1.Manager.Suspend: cannot connect to the system bus: No such file or directory");
}

TEST_F(LogindSessionPowerTest, InvalidAddress) {
    long number = 0;
    std::string text = ErrorText([&] { LogindSessionPower("not an address").exitWindowsEx(0, 0); }, &number);
    EXPECT_EQ(number, 1000);
    EXPECT_NE(text.find("org.freedesktop.login1.Manager.TerminateSession: "), std::string::npos) << text;
}

TEST_F(LogindSessionPowerTest, LockPrefersTheDesktopsScreenSaver) {
    auto& logind = StartLogind();
    auto& saver = StartScreenSaver();
    LogindSessionPower(bus_->address(), bus_->address()).lockWorkstation();
    EXPECT_EQ(saver.calls(), (Calls{"Lock()"}));
    EXPECT_EQ(saver.paths(), (Calls{"/org/freedesktop/ScreenSaver"}));
    EXPECT_TRUE(logind.calls().empty());
}

TEST_F(LogindSessionPowerTest, ScreenSaverBusComesFromTheEnvironment) {
    SetEnv("NOCTURO_SCREENSAVER_BUS", bus_->address().c_str());
    auto& logind = StartLogind();
    auto& saver = StartScreenSaver();
    Power().lockWorkstation();
    EXPECT_EQ(saver.calls(), (Calls{"Lock()"}));
    EXPECT_TRUE(logind.calls().empty());
}

TEST_F(LogindSessionPowerTest, WithoutTheScreenSaverServiceTheLockGoesToLogind) {
    auto& logind = StartLogind();
    LogindSessionPower(bus_->address(), bus_->address()).lockWorkstation();
    EXPECT_EQ(logind.calls(), (Calls{"GetSessionByPID(" + Pid() + ")", "LockSession(\"1\")"}));
}

TEST_F(LogindSessionPowerTest, RefusedScreenSaverLockIsReported) {
    auto& logind = StartLogind();
    auto& saver = StartScreenSaver();
    saver.refuse("Lock", "org.freedesktop.DBus.Error.AccessDenied", "Locking is disabled");
    long number = 0;
    EXPECT_EQ(ErrorText([&] { LogindSessionPower(bus_->address(), bus_->address()).lockWorkstation(); }, &number),
              "org.freedesktop.ScreenSaver.Lock: org.freedesktop.DBus.Error.AccessDenied: Locking is disabled");
    EXPECT_EQ(number, 1000);
    EXPECT_TRUE(logind.calls().empty());
}

TEST_F(LogindSessionPowerTest, BlockingTheSessionEndHoldsOneInhibitorUntilLifted) {
    auto& logind = StartLogind();
    auto power = Power();
    power.blockSessionEnd(true);
    power.blockSessionEnd(true);  // held already: nothing more
    EXPECT_EQ(logind.calls(), (Calls{kInhibitCall}));
    ASSERT_EQ(logind.inhibitors(), 1u);
    EXPECT_FALSE(ClosedWithin(logind.inhibitor(0), 200ms));

    power.blockSessionEnd(false);
    EXPECT_TRUE(ClosedWithin(logind.inhibitor(0), 5s));
    EXPECT_NO_THROW(power.blockSessionEnd(false));  // nothing held: nothing to do

    power.blockSessionEnd(true);
    EXPECT_EQ(logind.calls(), (Calls{kInhibitCall, kInhibitCall}));
    ASSERT_EQ(logind.inhibitors(), 2u);
    EXPECT_FALSE(ClosedWithin(logind.inhibitor(1), 200ms));
    power.blockSessionEnd(false);
    EXPECT_TRUE(ClosedWithin(logind.inhibitor(1), 5s));
}

TEST_F(LogindSessionPowerTest, TheEndOfTheObjectLiftsTheBlock) {
    auto& logind = StartLogind();
    {
        auto power = Power();
        power.blockSessionEnd(true);
        ASSERT_EQ(logind.inhibitors(), 1u);
        EXPECT_FALSE(ClosedWithin(logind.inhibitor(0), 200ms));
    }
    EXPECT_TRUE(ClosedWithin(logind.inhibitor(0), 5s));
}

TEST_F(LogindSessionPowerTest, TheInhibitorIsNotPassedToStartedPrograms) {
    auto& logind = StartLogind();
    auto power = Power();
    power.blockSessionEnd(true);
    ASSERT_EQ(logind.inhibitors(), 1u);
    // A child that execs keeps none of our descriptors marked close-on-exec.
    const pid_t child = fork();
    if (child == 0) {
        execl("/bin/sleep", "sleep", "2", static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(child, 0);
    std::this_thread::sleep_for(200ms);  // it has exec'd by now
    power.blockSessionEnd(false);
    EXPECT_TRUE(ClosedWithin(logind.inhibitor(0), 1s));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
}

TEST_F(LogindSessionPowerTest, RefusedBlockRaisesErrorWithDbusError) {
    auto& logind = StartLogind();
    logind.refuse("Inhibit", "org.freedesktop.DBus.Error.AccessDenied", "Permission denied");
    auto power = Power();
    long number = 0;
    EXPECT_EQ(ErrorText([&] { power.blockSessionEnd(true); }, &number),
              "org.freedesktop.login1.Manager.Inhibit: org.freedesktop.DBus.Error.AccessDenied: Permission denied");
    EXPECT_EQ(number, 1000);
    EXPECT_EQ(logind.calls(), (Calls{kInhibitCall}));
    EXPECT_EQ(logind.inhibitors(), 0u);
    EXPECT_NO_THROW(power.blockSessionEnd(false));
}

TEST_F(LogindSessionPowerTest, BlockWithoutLogindIsReported) {
    long number = 0;
    std::string text = ErrorText([&] { Power().blockSessionEnd(true); }, &number);
    EXPECT_EQ(number, 1000);
    EXPECT_NE(text.find("org.freedesktop.login1.Manager.Inhibit: org.freedesktop.DBus.Error.ServiceUnknown"),
              std::string::npos)
        << text;
}

}  // namespace

#endif

// DesktopScreenSaver against a stand-in for the desktop's screen saver
// service on a dbus-daemon of the test's own. The real session bus and the
// real display are never contacted: DBUS_SESSION_BUS_ADDRESS points at a
// socket that does not exist and DISPLAY is unset for each test.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "platform/posix/DesktopScreenSaver.h"
#include "support/EnvOverride.h"
#include "support/PrivateBus.h"
#include "support/PrivateXServer.h"
#include "support/TestSupport.h"

using nocturo::platform::DesktopScreenSaver;
using nocturo::platform::Error;
using nocturo::test::EnvOverride;

TEST(DesktopScreenSaver, TheProgramRunsItsOwnScreenSaverAndKeepsTheTimeout) {
    EnvOverride noDisplay("DISPLAY", nullptr);
    DesktopScreenSaver saver("unix:path=/nonexistent");
    EXPECT_FALSE(saver.runsScreenSaverProgram());
    saver.setTimeout(300);
    EXPECT_EQ(saver.timeout(), 300);
    saver.setTimeout(0);
    EXPECT_EQ(saver.timeout(), 0);
}

TEST(DesktopScreenSaver, IdleTimeComesFromTheXServer) {
    if (!nocturo::test::FindInPath("Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
    nocturo::test::PrivateXServer server;
    if (!server.ready()) GTEST_SKIP() << "no private X server could start";
    EnvOverride display("DISPLAY", server.display().c_str());
    DesktopScreenSaver saver("unix:path=/nonexistent");
    auto idle = saver.idleSeconds();
    ASSERT_TRUE(idle.has_value());
    EXPECT_GE(*idle, 0);
    EXPECT_LT(*idle, 600);  // the server has just started
}

#if NOCTURO_HAVE_SDBUS

#include <systemd/sd-bus.h>

#include "support/FakeScreenSaver.h"

namespace {

using Calls = std::vector<std::string>;
using nocturo::test::FakeScreenSaver;

const std::string kInhibit = "Inhibit(\"Nocturo\", \"Secure PC screen saver\")";

using nocturo::test::ErrorText;

class DesktopScreenSaverTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto daemon = nocturo::test::FindInPath("dbus-daemon");
        if (!daemon) GTEST_SKIP() << "dbus-daemon is not installed";
        folder_ = std::make_unique<nocturo::test::TempDir>();
        noSessionBus_ = "unix:path=" + folder_->path() + "/no-session-bus";
        SetEnv("DBUS_SESSION_BUS_ADDRESS", noSessionBus_.c_str());
        SetEnv("NOCTURO_SCREENSAVER_BUS", nullptr);
        SetEnv("DISPLAY", nullptr);
        SetEnv("SYSTEMD_BUS_TIMEOUT", "5");  // seconds; no call may hang

        // Refuse to go on unless the session bus is out of reach from here.
        sd_bus* session = nullptr;
        int r = sd_bus_open_user(&session);
        sd_bus_flush_close_unref(session);
        ASSERT_LT(r, 0) << "the session bus is reachable; not running these tests";

        bus_ = std::make_unique<nocturo::test::PrivateBus>(*daemon, folder_->path());
    }

    void TearDown() override {
        fake_.reset();
        bus_.reset();
        while (!env_.empty()) env_.pop_back();
        folder_.reset();
    }

    FakeScreenSaver& StartFake(std::vector<std::string> paths = {"/org/freedesktop/ScreenSaver", "/ScreenSaver"}) {
        fake_ = std::make_unique<FakeScreenSaver>(bus_->address(), std::move(paths));
        return *fake_;
    }

    void SetEnv(const char* name, const char* value) { env_.emplace_back(std::make_unique<EnvOverride>(name, value)); }

    std::unique_ptr<nocturo::test::TempDir> folder_;
    std::string noSessionBus_;
    std::vector<std::unique_ptr<EnvOverride>> env_;
    std::unique_ptr<nocturo::test::PrivateBus> bus_;
    std::unique_ptr<FakeScreenSaver> fake_;
};

TEST_F(DesktopScreenSaverTest, SwitchingOnInhibitsOnceAndOffHandsTheCookieBack) {
    auto& fake = StartFake();
    DesktopScreenSaver saver(bus_->address());
    EXPECT_FALSE(saver.inhibited());
    saver.setActive(true);
    EXPECT_TRUE(saver.inhibited());
    saver.setActive(true);  // already inhibited: nothing more
    EXPECT_EQ(fake.calls(), (Calls{kInhibit}));

    saver.setActive(false);
    EXPECT_FALSE(saver.inhibited());
    saver.setActive(false);  // nothing inhibited: nothing to do
    EXPECT_EQ(fake.calls(), (Calls{kInhibit, "UnInhibit(41)"}));
    EXPECT_EQ(fake.paths(), (Calls{"/org/freedesktop/ScreenSaver", "/org/freedesktop/ScreenSaver"}));
    // Released on the connection that asked: an inhibition belongs to it.
    const auto senders = fake.senders();
    ASSERT_EQ(senders.size(), 2u);
    EXPECT_EQ(senders[0], senders[1]);

    saver.setActive(true);
    saver.setActive(false);
    EXPECT_EQ(fake.calls(), (Calls{kInhibit, "UnInhibit(41)", kInhibit, "UnInhibit(42)"}));
}

TEST_F(DesktopScreenSaverTest, TheEndOfTheObjectReleasesTheInhibition) {
    auto& fake = StartFake();
    {
        DesktopScreenSaver saver(bus_->address());
        saver.setActive(true);
    }
    EXPECT_EQ(fake.calls(), (Calls{kInhibit, "UnInhibit(41)"}));
}

TEST_F(DesktopScreenSaverTest, OlderDesktopsServeItAtTheShortPath) {
    auto& fake = StartFake({"/ScreenSaver"});
    fake.setIdleSeconds(12);
    DesktopScreenSaver saver(bus_->address());
    saver.setActive(true);
    saver.setActive(false);
    EXPECT_EQ(saver.idleSeconds(), 12);
    EXPECT_EQ(fake.calls(), (Calls{kInhibit, "UnInhibit(41)", "GetSessionIdleTime()"}));
    EXPECT_EQ(fake.paths(), (Calls{"/ScreenSaver", "/ScreenSaver", "/ScreenSaver"}));
}

TEST_F(DesktopScreenSaverTest, RefusedInhibitRaisesTheDbusError) {
    auto& fake = StartFake();
    fake.refuse("Inhibit", "org.freedesktop.DBus.Error.AccessDenied", "Not now");
    DesktopScreenSaver saver(bus_->address());
    long number = 0;
    EXPECT_EQ(ErrorText([&] { saver.setActive(true); }, &number),
              "org.freedesktop.ScreenSaver.Inhibit: org.freedesktop.DBus.Error.AccessDenied: Not now");
    EXPECT_EQ(number, 1000);
    EXPECT_FALSE(saver.inhibited());
    EXPECT_NO_THROW(saver.setActive(false));
    EXPECT_EQ(fake.calls(), (Calls{kInhibit}));
}

TEST_F(DesktopScreenSaverTest, RefusedUnInhibitIsToldAndNothingStaysInhibited) {
    auto& fake = StartFake();
    fake.refuse("UnInhibit", "org.freedesktop.DBus.Error.Failed", "Unknown cookie");
    DesktopScreenSaver saver(bus_->address());
    saver.setActive(true);
    EXPECT_EQ(ErrorText([&] { saver.setActive(false); }),
              "org.freedesktop.ScreenSaver.UnInhibit: org.freedesktop.DBus.Error.Failed: Unknown cookie");
    EXPECT_FALSE(saver.inhibited());
    EXPECT_EQ(fake.calls(), (Calls{kInhibit, "UnInhibit(41)"}));
}

TEST_F(DesktopScreenSaverTest, WithoutTheServiceSwitchingOnSucceedsWithNothingInhibited) {
    DesktopScreenSaver saver(bus_->address());
    EXPECT_NO_THROW(saver.setActive(true));
    EXPECT_FALSE(saver.inhibited());
    EXPECT_NO_THROW(saver.setActive(false));
    EXPECT_EQ(saver.idleSeconds(), std::nullopt);
}

TEST_F(DesktopScreenSaverTest, WithoutASessionBusNothingFails) {
    DesktopScreenSaver saver;  // the session bus, which SetUp has put out of reach
    EXPECT_NO_THROW(saver.setActive(true));
    EXPECT_FALSE(saver.inhibited());
    EXPECT_NO_THROW(saver.setActive(false));
    EXPECT_EQ(saver.idleSeconds(), std::nullopt);
    EXPECT_FALSE(DesktopScreenSaver::lockScreen());
}

TEST_F(DesktopScreenSaverTest, IdleTimeFromTheServiceWithoutADisplay) {
    auto& fake = StartFake();
    DesktopScreenSaver saver(bus_->address());
    EXPECT_EQ(saver.idleSeconds(), 0);
    fake.setIdleSeconds(75);
    EXPECT_EQ(saver.idleSeconds(), 75);
    EXPECT_EQ(fake.calls(), (Calls{"GetSessionIdleTime()", "GetSessionIdleTime()"}));
}

TEST_F(DesktopScreenSaverTest, RefusedIdleTimeIsUnknown) {
    auto& fake = StartFake();
    fake.refuse("GetSessionIdleTime", "org.freedesktop.DBus.Error.NotSupported", "This method is not implemented");
    DesktopScreenSaver saver(bus_->address());
    EXPECT_EQ(saver.idleSeconds(), std::nullopt);
}

TEST_F(DesktopScreenSaverTest, EnvironmentVariableChoosesTheBus) {
    SetEnv("NOCTURO_SCREENSAVER_BUS", bus_->address().c_str());
    auto& fake = StartFake();
    DesktopScreenSaver saver;
    saver.setActive(true);
    EXPECT_TRUE(saver.inhibited());
    EXPECT_TRUE(DesktopScreenSaver::lockScreen());
    EXPECT_EQ(fake.calls(), (Calls{kInhibit, "Lock()"}));
}

TEST_F(DesktopScreenSaverTest, LockScreenAsksTheService) {
    auto& fake = StartFake();
    EXPECT_TRUE(DesktopScreenSaver::lockScreen(bus_->address()));
    EXPECT_EQ(fake.calls(), (Calls{"Lock()"}));
    fake.refuse("Lock", "org.freedesktop.DBus.Error.AccessDenied", "Locking is disabled");
    EXPECT_EQ(ErrorText([&] { DesktopScreenSaver::lockScreen(bus_->address()); }),
              "org.freedesktop.ScreenSaver.Lock: org.freedesktop.DBus.Error.AccessDenied: Locking is disabled");
}

TEST_F(DesktopScreenSaverTest, LockScreenWithoutTheServiceSaysSo) {
    EXPECT_FALSE(DesktopScreenSaver::lockScreen(bus_->address()));
    EXPECT_FALSE(DesktopScreenSaver::lockScreen("unix:path=" + folder_->path() + "/nothing-here"));
}

}  // namespace

#endif

// DesktopNotifications against a stand-in for the desktop's notification
// service on a dbus-daemon of the test's own. The real session bus is never
// contacted: DBUS_SESSION_BUS_ADDRESS points at a socket that does not exist.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/Error.h"
#include "platform/posix/DesktopNotifications.h"
#include "platform/posix/PosixEventLoop.h"
#include "support/EnvOverride.h"
#include "support/PrivateBus.h"
#include "support/TestSupport.h"

using nocturo::platform::DesktopNotifications;
using nocturo::platform::NotificationAction;
using nocturo::platform::PosixEventLoop;
using nocturo::test::EnvOverride;
using nocturo::test::ErrorText;

namespace {
const std::vector<NotificationAction> kButtons = {{"postpone", "Postpone 10 min"}, {"cancel", "Cancel"}};
}  // namespace

#if NOCTURO_HAVE_SDBUS

#include <systemd/sd-bus.h>

#include "support/FakeNotifications.h"

TEST(DesktopNotifications, WithoutASessionBusTheFirstNotificationFailsAndTheRestAreQuietlyOff) {
    nocturo::test::TempDir dir;
    EnvOverride noBus("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + dir / "no-bus").c_str());
    DesktopNotifications notes;
    const std::string first = ErrorText([&] { notes.show("Nocturo", "text", kButtons); });
    EXPECT_NE(first.find("org.freedesktop.Notifications"), std::string::npos) << first;
    EXPECT_TRUE(notes.off());
    std::uint32_t id = 1;
    EXPECT_EQ(ErrorText([&] { id = notes.show("Nocturo", "text", kButtons); }), "<no error>");
    EXPECT_EQ(id, 0u);
    EXPECT_FALSE(notes.supportsActions());
    EXPECT_EQ(ErrorText([&] { notes.close(5); }), "<no error>");
}

namespace {

using nocturo::test::FakeNotifications;

class DesktopNotificationsTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto daemon = nocturo::test::FindInPath("dbus-daemon");
        if (!daemon) GTEST_SKIP() << "dbus-daemon is not installed";
        folder_ = std::make_unique<nocturo::test::TempDir>();
        noSession_ = std::make_unique<EnvOverride>(
            "DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + folder_->path() + "/no-session-bus").c_str());
        timeout_ = std::make_unique<EnvOverride>("SYSTEMD_BUS_TIMEOUT", "5");
        sd_bus* session = nullptr;
        int r = sd_bus_open_user(&session);
        sd_bus_flush_close_unref(session);
        ASSERT_LT(r, 0) << "the session bus is reachable; not running these tests";
        bus_ = std::make_unique<nocturo::test::PrivateBus>(*daemon, folder_->path());
    }

    // Turns the loop until done() holds or a few seconds passed.
    bool turnUntil(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            loop_.idle(20);
        }
        return true;
    }

    const std::string& address() const { return bus_->address(); }

    std::unique_ptr<nocturo::test::TempDir> folder_;
    std::unique_ptr<EnvOverride> noSession_, timeout_;
    std::unique_ptr<nocturo::test::PrivateBus> bus_;
    PosixEventLoop loop_;
};

}  // namespace

TEST_F(DesktopNotificationsTest, NotifyCarriesTheProgramTheTextTheButtonsAndTheUrgency) {
    FakeNotifications fake(address());
    DesktopNotifications notes(address(), "nocturo");
    notes.setActionHandler([](std::uint32_t, const std::string&) {}, &loop_);
    EXPECT_TRUE(notes.supportsActions());
    const std::uint32_t first = notes.show("Nocturo", "The computer shuts down at 22:30 (in 5 minutes).", kButtons);
    const std::uint32_t second = notes.show("Nocturo", "last", kButtons, true);
    EXPECT_EQ(first, FakeNotifications::kFirstId);
    EXPECT_EQ(second, FakeNotifications::kFirstId + 1);
    auto got = fake.notified();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].appName, "Nocturo");
    EXPECT_EQ(got[0].replacesId, 0u);
    EXPECT_EQ(got[0].appIcon, "nocturo");
    EXPECT_EQ(got[0].summary, "Nocturo");
    EXPECT_EQ(got[0].body, "The computer shuts down at 22:30 (in 5 minutes).");
    EXPECT_EQ(got[0].actions, (std::vector<std::string>{"postpone", "Postpone 10 min", "cancel", "Cancel"}));
    EXPECT_EQ(got[0].urgency, 1);
    EXPECT_EQ(got[0].desktopEntry, "nocturo");
    EXPECT_EQ(got[0].timeout, -1);
    EXPECT_EQ(got[1].urgency, 2);
    EXPECT_EQ(notes.open(), (std::set<std::uint32_t>{first, second}));
}

TEST_F(DesktopNotificationsTest, AChosenButtonReachesTheHandlerFromTheLoopAndOnlyForOurs) {
    FakeNotifications fake(address());
    DesktopNotifications notes(address());
    std::vector<std::pair<std::uint32_t, std::string>> chosen;
    bool inside = false;
    notes.setActionHandler([&](std::uint32_t id, const std::string& key) {
        EXPECT_FALSE(inside);
        chosen.emplace_back(id, key);
    }, &loop_);
    inside = true;
    const std::uint32_t id = notes.show("Nocturo", "text", kButtons);
    inside = false;
    // Another program's notification: its signal is not ours to tell.
    fake.invoke(id + 100, "cancel");
    fake.invoke(id, "postpone");
    ASSERT_TRUE(turnUntil([&] { return !chosen.empty(); }));
    EXPECT_EQ(chosen, (std::vector<std::pair<std::uint32_t, std::string>>{{id, "postpone"}}));
    // The loop is woken by the descriptor, with nothing else to do.
    fake.invoke(id, "cancel");
    ASSERT_TRUE(turnUntil([&] { return chosen.size() == 2; }));
    EXPECT_EQ(chosen.back().second, "cancel");
}

TEST_F(DesktopNotificationsTest, ClosingAsksTheServiceOnceAndNotForOnesTheDesktopClosed) {
    FakeNotifications fake(address());
    DesktopNotifications notes(address());
    notes.setActionHandler([](std::uint32_t, const std::string&) {}, &loop_);
    const std::uint32_t a = notes.show("Nocturo", "a", kButtons);
    const std::uint32_t b = notes.show("Nocturo", "b", kButtons);
    notes.close(a);
    notes.close(a);
    EXPECT_EQ(fake.closed(), (std::vector<std::uint32_t>{a}));
    fake.closeFromDesktop(b);
    ASSERT_TRUE(turnUntil([&] { return notes.open().empty(); }));
    notes.close(b);
    EXPECT_EQ(fake.closed(), (std::vector<std::uint32_t>{a}));
    // A choice on one that is gone is not told.
    std::vector<std::string> keys;
    notes.setActionHandler([&](std::uint32_t, const std::string& key) { keys.push_back(key); }, &loop_);
    fake.invoke(b, "cancel");
    const std::uint32_t c = notes.show("Nocturo", "c", kButtons);
    fake.invoke(c, "postpone");
    ASSERT_TRUE(turnUntil([&] { return !keys.empty(); }));
    EXPECT_EQ(keys, (std::vector<std::string>{"postpone"}));
}

TEST_F(DesktopNotificationsTest, AServiceWithoutButtonsOrALoopGetsNoButtons) {
    FakeNotifications fake(address(), {"body"});
    DesktopNotifications notes(address());
    notes.setActionHandler([](std::uint32_t, const std::string&) {}, &loop_);
    EXPECT_FALSE(notes.supportsActions());
    notes.show("Nocturo", "text", kButtons);

    {
        // With buttons on the service, but nobody to read the choices.
        DesktopNotifications unwatched(address());
        EXPECT_FALSE(unwatched.supportsActions());
        unwatched.show("Nocturo", "unwatched", kButtons);
    }
    auto got = fake.notified();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_TRUE(got[0].actions.empty());
    EXPECT_TRUE(got[1].actions.empty());
}

TEST_F(DesktopNotificationsTest, ABusWithoutTheServiceSwitchesNotificationsOffAfterOneFailure) {
    DesktopNotifications notes(address());
    const std::string first = ErrorText([&] { notes.show("Nocturo", "text", kButtons); });
    EXPECT_NE(first.find("org.freedesktop.Notifications.GetCapabilities"), std::string::npos) << first;
    EXPECT_TRUE(notes.off());
    EXPECT_EQ(ErrorText([&] { notes.show("Nocturo", "text", kButtons); }), "<no error>");
    // A service that comes later is not looked for again in this run.
    FakeNotifications fake(address());
    EXPECT_EQ(notes.show("Nocturo", "text", kButtons), 0u);
    EXPECT_TRUE(fake.notified().empty());
}

TEST_F(DesktopNotificationsTest, ALoopGivenLaterWatchesTheConnectionFromThen) {
    FakeNotifications fake(address());
    DesktopNotifications notes(address());
    const std::uint32_t quiet = notes.show("Nocturo", "before", kButtons);
    EXPECT_TRUE(fake.notified().at(0).actions.empty());
    std::vector<std::string> keys;
    notes.setActionHandler([&](std::uint32_t, const std::string& key) { keys.push_back(key); }, &loop_);
    EXPECT_TRUE(notes.supportsActions());
    const std::uint32_t id = notes.show("Nocturo", "after", kButtons);
    fake.invoke(id, "postpone");
    ASSERT_TRUE(turnUntil([&] { return !keys.empty(); }));
    EXPECT_EQ(keys, (std::vector<std::string>{"postpone"}));
    (void)quiet;
}

#endif

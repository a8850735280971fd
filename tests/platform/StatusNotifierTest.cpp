// Telling a StatusNotifierItem desktop from an X11 system tray, on a private
// session bus of the test's own.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>
#include <string>

#include "platform/posix/StatusNotifier.h"
#include "support/EnvOverride.h"
#include "support/PrivateBus.h"
#include "support/TestSupport.h"

using nocturo::platform::StatusNotifierHostPresent;
using nocturo::test::EnvOverride;

TEST(StatusNotifierHost, TheEnvironmentDecidesWhenSet) {
    {
        EnvOverride sni("NOCTURO_TRAY_SNI", "1");
        EXPECT_TRUE(StatusNotifierHostPresent("unix:path=/nonexistent"));
    }
    EnvOverride sni("NOCTURO_TRAY_SNI", "0");
    EXPECT_FALSE(StatusNotifierHostPresent("unix:path=/nonexistent"));
}

TEST(StatusNotifierHost, NoBusMeansASystemTray) {
    EnvOverride sni("NOCTURO_TRAY_SNI", std::nullopt);
    EXPECT_FALSE(StatusNotifierHostPresent("unix:path=/nonexistent/bus"));
}

#if NOCTURO_HAVE_SDBUS
TEST(StatusNotifierHost, AWatcherOnTheBusMeansStatusNotifierItems) {
    auto daemon = nocturo::test::FindInPath("dbus-daemon");
    if (!daemon) GTEST_SKIP() << "dbus-daemon is not installed";
    EnvOverride sni("NOCTURO_TRAY_SNI", std::nullopt);
    nocturo::test::TempDir folder;
    nocturo::test::PrivateBus bus(*daemon, folder.path());
    EXPECT_FALSE(StatusNotifierHostPresent(bus.address()));
    {
        nocturo::test::BusServiceThread watcher(bus.address(), [](sd_bus* b) -> std::string {
            return sd_bus_request_name(b, "org.kde.StatusNotifierWatcher", 0) < 0 ? "request name" : "";
        });
        EXPECT_TRUE(StatusNotifierHostPresent(bus.address()));
    }
    // The bus lets the name go once it has seen the watcher leave.
    bool gone = false;
    for (int i = 0; i < 200 && !(gone = !StatusNotifierHostPresent(bus.address())); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(gone);
}
#endif

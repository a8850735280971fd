// TimedateSettings against a stand-in for systemd-timedated on a private bus.
// The real system bus is never contacted: DBUS_SYSTEM_BUS_ADDRESS points at a
// socket that does not exist, and SetUp checks that this holds.
#include <gtest/gtest.h>

#include <string>

#include "platform/Error.h"
#include "platform/posix/TimedateSettings.h"

using nocturo::platform::Error;
using nocturo::platform::TimedateSettings;

TEST(TimedateSettingsZone, TheZoneComesFromTheCLibrary) {
    TimedateSettings settings("unix:path=/nonexistent");
    nocturo::platform::TimeZoneInformation zone;
    const std::uint32_t result = settings.getTimeZoneInformation(zone);
    EXPECT_LE(result, 2u);
    EXPECT_TRUE(settings.zoneRulesKeepLocalTime());
}

#if NOCTURO_HAVE_SDBUS && __has_include(<systemd/sd-bus.h>)

#include <systemd/sd-bus.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

#include "support/PrivateBus.h"
#include "support/TestSupport.h"

namespace {

// org.freedesktop.timedate1 on a private bus: records SetTime and SetNTP,
// keeps the NTP property.
class FakeTimedate : public nocturo::test::CallRecorder {
public:
    explicit FakeTimedate(const std::string& address, bool ntp)
        : ntp_(ntp), service_(address, [this](sd_bus* bus) -> std::string {
              if (sd_bus_add_object_vtable(bus, nullptr, "/org/freedesktop/timedate1", "org.freedesktop.timedate1",
                                           kVtable, this) < 0)
                  return "add timedate1";
              if (sd_bus_request_name(bus, "org.freedesktop.timedate1", 0) < 0) return "sd_bus_request_name";
              return {};
          }) {}

private:
    static int OnSetTime(sd_bus_message* m, void* self, sd_bus_error* error) {
        int64_t usec = 0;
        int relative = 0, interactive = 0;
        int r = sd_bus_message_read(m, "xbb", &usec, &relative, &interactive);
        if (r < 0) return r;
        r = static_cast<FakeTimedate*>(self)->record(
            m, std::to_string(usec) + "," + (relative ? "true" : "false") + "," + (interactive ? "true" : "false"),
            error);
        return r < 0 ? r : sd_bus_reply_method_return(m, "");
    }
    static int OnSetNtp(sd_bus_message* m, void* self, sd_bus_error* error) {
        int enable = 0, interactive = 0;
        int r = sd_bus_message_read(m, "bb", &enable, &interactive);
        if (r < 0) return r;
        auto* fake = static_cast<FakeTimedate*>(self);
        r = fake->record(m, std::string(enable ? "true" : "false") + "," + (interactive ? "true" : "false"), error);
        if (r < 0) return r;
        fake->ntp_ = enable != 0;
        return sd_bus_reply_method_return(m, "");
    }
    static int GetNtp(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void* self,
                      sd_bus_error*) {
        return sd_bus_message_append(reply, "b", static_cast<FakeTimedate*>(self)->ntp_ ? 1 : 0);
    }
    static const sd_bus_vtable kVtable[];

    bool ntp_;
    nocturo::test::BusServiceThread service_;  // last: stops before the rest goes
};

const sd_bus_vtable FakeTimedate::kVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("SetTime", "xbb", "", OnSetTime, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("SetNTP", "bb", "", OnSetNtp, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_PROPERTY("NTP", "b", GetNtp, 0, 0),
    SD_BUS_VTABLE_END,
};

class TimedateSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto daemon = nocturo::test::FindInPath("dbus-daemon");
        if (!daemon) GTEST_SKIP() << "dbus-daemon is not installed";
        folder_ = std::make_unique<nocturo::test::TempDir>();
        const std::string noSystemBus = "unix:path=" + folder_->path() + "/no-system-bus";
        saved_ = std::getenv("DBUS_SYSTEM_BUS_ADDRESS") ? std::optional<std::string>(std::getenv("DBUS_SYSTEM_BUS_ADDRESS"))
                                                        : std::nullopt;
        setenv("DBUS_SYSTEM_BUS_ADDRESS", noSystemBus.c_str(), 1);
        unsetenv("NOCTURO_TIMEDATE_BUS");
        setenv("SYSTEMD_BUS_TIMEOUT", "5", 1);
        sd_bus* system = nullptr;
        int r = sd_bus_open_system(&system);
        sd_bus_flush_close_unref(system);
        ASSERT_LT(r, 0) << "the system bus is reachable; not running these tests";
        bus_ = std::make_unique<nocturo::test::PrivateBus>(*daemon, folder_->path());
    }
    void TearDown() override {
        fake_.reset();
        bus_.reset();
        if (saved_) setenv("DBUS_SYSTEM_BUS_ADDRESS", saved_->c_str(), 1);
        else unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
        unsetenv("SYSTEMD_BUS_TIMEOUT");
        folder_.reset();
    }
    FakeTimedate& Start(bool ntp = false) {
        fake_ = std::make_unique<FakeTimedate>(bus_->address(), ntp);
        return *fake_;
    }
    TimedateSettings Settings() const { return TimedateSettings(bus_->address()); }

    std::unique_ptr<nocturo::test::TempDir> folder_;
    std::optional<std::string> saved_;
    std::unique_ptr<nocturo::test::PrivateBus> bus_;
    std::unique_ptr<FakeTimedate> fake_;
};

}  // namespace

TEST_F(TimedateSettingsTest, SetTimeSendsTheAbsoluteUtcInstant) {
    FakeTimedate& fake = Start();
    Settings().setTimeUtc(1796772611000000LL);
    EXPECT_EQ(fake.calls(), std::vector<std::string>{"SetTime(1796772611000000,false,true)"});
}

TEST_F(TimedateSettingsTest, NtpIsReadAndSwitched) {
    FakeTimedate& fake = Start(false);
    TimedateSettings s = Settings();
    EXPECT_FALSE(s.ntpActive());
    s.setNtp(true);
    EXPECT_TRUE(s.ntpActive());
    EXPECT_EQ(fake.calls(), std::vector<std::string>{"SetNTP(true,true)"});
}

TEST_F(TimedateSettingsTest, APolkitRefusalIsAPlatformError) {
    FakeTimedate& fake = Start();
    fake.refuse("SetTime", "org.freedesktop.PolicyKit1.Error.NotAuthorized", "Not authorized");
    try {
        Settings().setTimeUtc(1);
        ADD_FAILURE() << "no error raised";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), 1000);
        EXPECT_NE(std::string(e.what()).find("org.freedesktop.timedate1.SetTime"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("NotAuthorized"), std::string::npos) << e.what();
    }
}

TEST_F(TimedateSettingsTest, NoServiceIsAPlatformError) {
    EXPECT_THROW(Settings().setTimeUtc(1), Error);
}

#endif

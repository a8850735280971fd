// SystemdServiceControl: the autostart entry in a temporary XDG_CONFIG_HOME,
// and the unit against a stand-in for systemd on a private bus, with the unit
// folder a temporary folder. The real system bus is never contacted:
// DBUS_SYSTEM_BUS_ADDRESS points at a socket that does not exist.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "platform/posix/SystemdServiceControl.h"
#include "support/EnvOverride.h"
#include "support/PrivateBus.h"
#include "support/TestSupport.h"

using nocturo::platform::Error;
using nocturo::platform::SystemdServiceControl;

namespace {

using Calls = std::vector<std::string>;

using ScopedEnv = nocturo::test::EnvOverride;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool Exists(const std::string& path) { return std::ifstream(path).good(); }

}  // namespace

TEST(Autostart, EntryIsWrittenAndRemovedInXdgConfigHome) {
    nocturo::test::TempDir dir;
    ScopedEnv config("XDG_CONFIG_HOME", dir.path().c_str());
    SystemdServiceControl control("/opt/nocturo/bin", "unix:path=/nonexistent", dir / "units");
    const std::string entry = dir / "autostart/nocturo.desktop";
    EXPECT_EQ(SystemdServiceControl::autostartPath(), entry);
    EXPECT_FALSE(control.autostartPresent());
    control.writeAutostart("Nocturo", "/opt/nocturo/bin/nocturo");
    ASSERT_TRUE(control.autostartPresent());
    const std::string text = ReadAll(entry);
    EXPECT_NE(text.find("\nExec=/opt/nocturo/bin/nocturo\n"), std::string::npos) << text;
    EXPECT_EQ(text.rfind("[Desktop Entry]\n", 0), 0u);
    EXPECT_NE(text.find("\nType=Application\n"), std::string::npos);
    EXPECT_NE(text.find("\nName=Nocturo\n"), std::string::npos);
    if (auto validate = nocturo::test::FindInPath("desktop-file-validate")) {
        const std::string cmd = *validate + " '" + entry + "' >/dev/null 2>&1";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << text;
    }
    control.removeAutostart();
    EXPECT_FALSE(control.autostartPresent());
    EXPECT_NO_THROW(control.removeAutostart());  // none left: nothing to do
}

TEST(Autostart, FallsBackToDotConfigInHome) {
    nocturo::test::TempDir dir;
    ScopedEnv config("XDG_CONFIG_HOME", nullptr);
    ScopedEnv home("HOME", dir.path().c_str());
    EXPECT_EQ(SystemdServiceControl::autostartPath(), dir / ".config/autostart/nocturo.desktop");
}

TEST(Autostart, ExecQuotesPathsWithReservedCharacters) {
    EXPECT_EQ(SystemdServiceControl::execArgument("/usr/bin/nocturo"), "/usr/bin/nocturo");
    EXPECT_EQ(SystemdServiceControl::execArgument("/opt/my apps/nocturo"), "\"/opt/my apps/nocturo\"");
    EXPECT_EQ(SystemdServiceControl::execArgument("/a$b/nocturo"), "\"/a\\\\$b/nocturo\"");
    EXPECT_EQ(SystemdServiceControl::execArgument("/a\\b"), "\"/a\\\\\\\\b\"");
    EXPECT_EQ(SystemdServiceControl::execArgument("/100%/n"), "/100%%/n");
    nocturo::test::TempDir dir;
    ScopedEnv config("XDG_CONFIG_HOME", dir.path().c_str());
    SystemdServiceControl control("/x", "unix:path=/nonexistent", dir / "units");
    control.writeAutostart("Nocturo", "/opt/my apps/$HOME/nocturo");
    if (auto validate = nocturo::test::FindInPath("desktop-file-validate")) {
        const std::string cmd = *validate + " '" + SystemdServiceControl::autostartPath() + "' >/dev/null 2>&1";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << ReadAll(SystemdServiceControl::autostartPath());
    }
}

TEST(Autostart, UnwritableFolderRaisesError) {
    nocturo::test::TempDir dir;
    std::ofstream(dir / "file") << "x";
    ScopedEnv config("XDG_CONFIG_HOME", (dir / "file").c_str());
    SystemdServiceControl control("/x", "unix:path=/nonexistent", dir / "units");
    EXPECT_THROW(control.writeAutostart("Nocturo", "/x/nocturo"), Error);
}

TEST(SystemdUnit, TextRunsTheHeadlessProgramWithTheMachineSettings) {
    SystemdServiceControl control("/opt/nocturo/bin", "unix:path=/nonexistent", "/tmp/units");
    const std::string text = control.unitText();
    for (const char* line : {"\nType=notify\n", "\nExecStart=/opt/nocturo/bin/nocturo --headless\n",
                             "\nEnvironment=NOCTURO_REGISTRY=/var/lib/nocturo/registry.reg\n",
                             "\nStateDirectory=nocturo\n", "\nKillSignal=SIGTERM\n", "\nWantedBy=multi-user.target\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    EXPECT_EQ(control.unitPath(), "/tmp/units/nocturo.service");
}

#if __has_include(<systemd/sd-bus.h>)
#include <systemd/sd-bus.h>

namespace {

constexpr const char* kUnitObject = "/org/freedesktop/systemd1/unit/nocturo_2eservice";

// org.freedesktop.systemd1 on a private bus: the Manager methods the program
// uses are recorded and answered; the unit's ActiveState follows Start and Stop.
class FakeSystemd : public nocturo::test::CallRecorder {
public:
    explicit FakeSystemd(const std::string& address)
        : service_(address, [this](sd_bus* bus) -> std::string {
              if (sd_bus_add_object_vtable(bus, nullptr, "/org/freedesktop/systemd1",
                                           "org.freedesktop.systemd1.Manager", kManagerVtable, this) < 0)
                  return "add Manager";
              if (sd_bus_add_object_vtable(bus, nullptr, kUnitObject, "org.freedesktop.systemd1.Unit", kUnitVtable,
                                           this) < 0)
                  return "add Unit";
              if (sd_bus_request_name(bus, "org.freedesktop.systemd1", 0) < 0) return "sd_bus_request_name";
              return {};
          }) {}

    std::atomic<bool> active{false};
    std::atomic<bool> loaded{true};

private:
    static FakeSystemd* Self(void* p) { return static_cast<FakeSystemd*>(p); }

    static std::string ReadFiles(sd_bus_message* m) {
        char** files = nullptr;
        if (sd_bus_message_read_strv(m, &files) < 0) return "?";
        std::string out = "[";
        for (char** f = files; f && *f; ++f) {
            out += std::string(f == files ? "" : ", ") + "\"" + *f + "\"";
            std::free(*f);
        }
        std::free(files);
        return out + "]";
    }

    static int OnEnable(sd_bus_message* m, void* self, sd_bus_error* error) {
        std::string files = ReadFiles(m);
        int runtime = 0, force = 0;
        int r = sd_bus_message_read(m, "bb", &runtime, &force);
        if (r < 0) return r;
        r = Self(self)->record(m, files + ", " + (runtime ? "true" : "false") + ", " + (force ? "true" : "false"), error);
        return r < 0 ? r : sd_bus_reply_method_return(m, "ba(sss)", 1, 0);
    }

    static int OnDisable(sd_bus_message* m, void* self, sd_bus_error* error) {
        std::string files = ReadFiles(m);
        int runtime = 0;
        int r = sd_bus_message_read(m, "b", &runtime);
        if (r < 0) return r;
        r = Self(self)->record(m, files + ", " + (runtime ? "true" : "false"), error);
        return r < 0 ? r : sd_bus_reply_method_return(m, "a(sss)", 0);
    }

    static int OnReload(sd_bus_message* m, void* self, sd_bus_error* error) {
        int r = Self(self)->record(m, "", error);
        return r < 0 ? r : sd_bus_reply_method_return(m, "");
    }

    static int OnJob(sd_bus_message* m, void* self, sd_bus_error* error) {
        const char *name = nullptr, *mode = nullptr;
        int r = sd_bus_message_read(m, "ss", &name, &mode);
        if (r < 0) return r;
        r = Self(self)->record(m, "\"" + std::string(name) + "\", \"" + mode + "\"", error);
        if (r < 0) return r;
        Self(self)->active = std::string(sd_bus_message_get_member(m)) == "StartUnit";
        return sd_bus_reply_method_return(m, "o", "/org/freedesktop/systemd1/job/1");
    }

    static int OnGetUnit(sd_bus_message* m, void* self, sd_bus_error* error) {
        const char* name = nullptr;
        int r = sd_bus_message_read(m, "s", &name);
        if (r < 0) return r;
        r = Self(self)->record(m, "\"" + std::string(name) + "\"", error);
        if (r < 0) return r;
        if (!Self(self)->loaded)
            return sd_bus_error_set(error, "org.freedesktop.systemd1.NoSuchUnit", "Unit nocturo.service not loaded.");
        return sd_bus_reply_method_return(m, "o", kUnitObject);
    }

    static int GetActiveState(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void* self,
                              sd_bus_error*) {
        return sd_bus_message_append(reply, "s", Self(self)->active ? "active" : "inactive");
    }

    static const sd_bus_vtable kManagerVtable[];
    static const sd_bus_vtable kUnitVtable[];

    nocturo::test::BusServiceThread service_;
};

const sd_bus_vtable FakeSystemd::kManagerVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("EnableUnitFiles", "asbb", "ba(sss)", OnEnable, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("DisableUnitFiles", "asb", "a(sss)", OnDisable, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Reload", "", "", OnReload, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("StartUnit", "ss", "o", OnJob, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("StopUnit", "ss", "o", OnJob, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("GetUnit", "s", "o", OnGetUnit, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

const sd_bus_vtable FakeSystemd::kUnitVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("ActiveState", "s", GetActiveState, 0, 0),
    SD_BUS_VTABLE_END,
};

class SystemdServiceControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!SystemdServiceControl::supported()) GTEST_SKIP() << "built without systemd support";
        auto daemon = nocturo::test::FindInPath("dbus-daemon");
        if (!daemon) GTEST_SKIP() << "dbus-daemon is not installed";
        folder_ = std::make_unique<nocturo::test::TempDir>();
        noSystemBus_ = "unix:path=" + folder_->path() + "/no-system-bus";
        env_.push_back(std::make_unique<ScopedEnv>("DBUS_SYSTEM_BUS_ADDRESS", noSystemBus_.c_str()));
        env_.push_back(std::make_unique<ScopedEnv>("NOCTURO_SYSTEMD_BUS", nullptr));
        env_.push_back(std::make_unique<ScopedEnv>("NOCTURO_UNIT_DIR", nullptr));
        env_.push_back(std::make_unique<ScopedEnv>("SYSTEMD_BUS_TIMEOUT", "5"));
        sd_bus* system = nullptr;
        int r = sd_bus_open_system(&system);
        sd_bus_flush_close_unref(system);
        ASSERT_LT(r, 0) << "the system bus is reachable; not running these tests";
        bus_ = std::make_unique<nocturo::test::PrivateBus>(*daemon, folder_->path());
        systemd_ = std::make_unique<FakeSystemd>(bus_->address());
    }
    void TearDown() override {
        systemd_.reset();
        bus_.reset();
        while (!env_.empty()) env_.pop_back();
        folder_.reset();
    }
    SystemdServiceControl Control() const {
        return SystemdServiceControl("/opt/nocturo/bin", bus_->address(), folder_->path() + "/units");
    }

    std::unique_ptr<nocturo::test::TempDir> folder_;
    std::string noSystemBus_;
    std::vector<std::unique_ptr<ScopedEnv>> env_;
    std::unique_ptr<nocturo::test::PrivateBus> bus_;
    std::unique_ptr<FakeSystemd> systemd_;
};

TEST_F(SystemdServiceControlTest, InstallWritesTheUnitEnablesReloadsAndStarts) {
    auto control = Control();
    EXPECT_FALSE(control.serviceInstalled());
    control.installService();
    EXPECT_TRUE(control.serviceInstalled());
    EXPECT_EQ(ReadAll(control.unitPath()), control.unitText());
    const std::string unit = folder_->path() + "/units/nocturo.service";
    EXPECT_EQ(systemd_->calls(), (Calls{"EnableUnitFiles([\"" + unit + "\"], false, true)", "Reload()",
                                        "StartUnit(\"nocturo.service\", \"replace\")"}));
    EXPECT_EQ(control.installCalls(), (Calls{"EnableUnitFiles([\"" + unit + "\"], false, true)", "Reload()",
                                             "StartUnit(\"nocturo.service\", \"replace\")"}));
    EXPECT_TRUE(control.serviceRunning());
}

TEST_F(SystemdServiceControlTest, UninstallStopsDisablesRemovesAndReloads) {
    auto control = Control();
    control.installService();
    systemd_->clear();
    control.uninstallService();
    EXPECT_FALSE(control.serviceInstalled());
    EXPECT_FALSE(Exists(control.unitPath()));
    EXPECT_EQ(systemd_->calls(), (Calls{"StopUnit(\"nocturo.service\", \"replace\")",
                                        "DisableUnitFiles([\"nocturo.service\"], false)", "Reload()"}));
    EXPECT_EQ(control.uninstallCalls(), systemd_->calls());
    EXPECT_FALSE(control.serviceRunning());
}

TEST_F(SystemdServiceControlTest, RunningFollowsActiveStateAndAnUnloadedUnit) {
    auto control = Control();
    systemd_->active = true;
    EXPECT_TRUE(control.serviceRunning());
    systemd_->active = false;
    EXPECT_FALSE(control.serviceRunning());
    systemd_->loaded = false;
    EXPECT_FALSE(control.serviceRunning());
    control.startService();
    control.stopService();
    EXPECT_EQ(systemd_->calls(), (Calls{"GetUnit(\"nocturo.service\")", "GetUnit(\"nocturo.service\")",
                                        "GetUnit(\"nocturo.service\")", "StartUnit(\"nocturo.service\", \"replace\")",
                                        "StopUnit(\"nocturo.service\", \"replace\")"}));
}

TEST_F(SystemdServiceControlTest, RefusedEnableIsReportedWithTheDbusError) {
    systemd_->refuse("EnableUnitFiles", "org.freedesktop.DBus.Error.InteractiveAuthorizationRequired",
                     "Interactive authentication required.");
    auto control = Control();
    try {
        control.installService();
        ADD_FAILURE() << "no error raised";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), 1000);
        EXPECT_STREQ(e.what(),
                     "org.freedesktop.systemd1.Manager.EnableUnitFiles: "
                     "org.freedesktop.DBus.Error.InteractiveAuthorizationRequired: Interactive authentication required.");
    }
    const std::string unit = folder_->path() + "/units/nocturo.service";
    EXPECT_EQ(systemd_->calls(), (Calls{"EnableUnitFiles([\"" + unit + "\"], false, true)"}));  // nothing started
}

TEST_F(SystemdServiceControlTest, EnvironmentChoosesBusAndUnitFolder) {
    env_.push_back(std::make_unique<ScopedEnv>("NOCTURO_SYSTEMD_BUS", bus_->address().c_str()));
    const std::string units = folder_->path() + "/env-units";
    env_.push_back(std::make_unique<ScopedEnv>("NOCTURO_UNIT_DIR", units.c_str()));
    SystemdServiceControl control("/opt/nocturo/bin");
    EXPECT_EQ(control.unitPath(), units + "/nocturo.service");
    control.startService();
    EXPECT_EQ(systemd_->calls(), (Calls{"StartUnit(\"nocturo.service\", \"replace\")"}));
}

TEST_F(SystemdServiceControlTest, NoSystemBusIsReported) {
    SystemdServiceControl control("/opt/nocturo/bin", "", folder_->path() + "/units");
    try {
        control.startService();
        ADD_FAILURE() << "no error raised";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "org.freedesktop.systemd1.Manager.StartUnit: cannot connect to the system bus: No such file or directory");
    }
}

}  // namespace

#endif

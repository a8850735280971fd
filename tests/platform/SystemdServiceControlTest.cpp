// SystemdServiceControl: the autostart entry in a temporary XDG_CONFIG_HOME,
// and the unit against a stand-in for systemd on a private bus, with the unit
// folder a temporary folder. The real system bus is never contacted:
// DBUS_SYSTEM_BUS_ADDRESS points at a socket that does not exist.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
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
#include "support/RunCommand.h"
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

// A program folder as the packages make one: root's, writable by nobody else.
std::string RootsProgram(const nocturo::test::TempDir& dir) {
    const std::string folder = dir / "bin";
    ::mkdir(folder.c_str(), 0755);
    std::ofstream(folder + "/nocturo") << "#!/bin/sh\n";
    ::chmod((folder + "/nocturo").c_str(), 0755);
    return folder;
}

TEST(SystemdUnit, TextRunsTheServiceWithTheSystemStore) {
    ScopedEnv store("NOCTURO_SYSTEM_REGISTRY", nullptr);
    SystemdServiceControl control("/opt/nocturo/bin", "unix:path=/nonexistent", "/tmp/units");
    const std::string text = control.unitText();
    for (const char* line : {"\nType=notify\n", "\nExecStart=/opt/nocturo/bin/nocturo --service\n",
                             "\nEnvironment=NOCTURO_REGISTRY=/var/lib/nocturo/registry.reg "
                             "NOCTURO_SYSTEM_REGISTRY=/var/lib/nocturo/registry.reg\n",
                             "\nStateDirectory=nocturo\n", "\nLogsDirectory=nocturo\n", "\nKillSignal=SIGTERM\n",
                             "\nWants=network-online.target\n", "\nAfter=network-online.target\n",
                             "\nProtectSystem=strict\n", "\nProtectHome=read-only\n", "\nPrivateTmp=yes\n",
                             "\nNoNewPrivileges=yes\n", "\nWantedBy=multi-user.target\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    // The store lies in the state folder: nothing more to open for it.
    EXPECT_EQ(text.find("ReadWritePaths=-/var/lib"), std::string::npos) << text;
    EXPECT_EQ(control.unitPath(), "/tmp/units/nocturo.service");
    EXPECT_EQ(control.serviceStorePath(), "/var/lib/nocturo/registry.reg");
    EXPECT_EQ(control.serviceLogFolder(), "/var/log/nocturo");
}

TEST(SystemdUnit, CleanedFoldersAndAnotherStoreAreWritableAndQuoted) {
    nocturo::test::TempDir dir;
    const std::string store = dir / "state/registry.reg";
    ScopedEnv env("NOCTURO_SYSTEM_REGISTRY", store.c_str());
    SystemdServiceControl control("/opt/my apps/bin", "unix:path=/nonexistent", "/tmp/units");
    ASSERT_FALSE(std::filesystem::exists("/opt/my apps"));
    control.setServiceFolders({"/home/ann/tmp/", "/home/ann/100% done", "relative/"});
    const std::string text = control.unitText();
    EXPECT_NE(text.find("\nExecStart=\"/opt/my apps/bin/nocturo\" --service\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nEnvironment=NOCTURO_REGISTRY=" + store + " NOCTURO_SYSTEM_REGISTRY=" + store + "\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\nReadWritePaths=-" + dir.path() + "/state\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nReadWritePaths=-/home/ann/tmp/\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nReadWritePaths=\"-/home/ann/100%% done\"\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("relative"), std::string::npos) << text;
    // Not a self-contained copy (no Common beside the program folder): its
    // error log and downloads go to the logs directory.
    EXPECT_EQ(text.find("/opt/my apps/Common"), std::string::npos) << text;
    EXPECT_EQ(text.find("/opt/my apps/temp"), std::string::npos) << text;
}

// A self-contained copy keeps its error log in Common and its downloads in
// temp beside the program folder: the service may write both. A system
// install writes them to its logs directory, which systemd opens anyway.
TEST(SystemdUnit, TheErrorLogAndDownloadsBesideASelfContainedCopyAreWritable) {
    nocturo::test::TempDir dir;
    ScopedEnv store("NOCTURO_SYSTEM_REGISTRY", nullptr);
    std::filesystem::create_directories(dir / "my apps/bin");
    std::filesystem::create_directories(dir / "usr/bin");
    SystemdServiceControl fhs(dir / "usr/bin", "unix:path=/nonexistent", dir / "units");
    EXPECT_EQ(fhs.unitText().find("ReadWritePaths"), std::string::npos) << fhs.unitText();

    std::filesystem::create_directories(dir / "my apps/Common");
    SystemdServiceControl copy(dir / "my apps/bin", "unix:path=/nonexistent", dir / "units");
    const std::string text = copy.unitText();
    EXPECT_NE(text.find("\nReadWritePaths=\"-" + dir.path() + "/my apps/Common\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nReadWritePaths=\"-" + dir.path() + "/my apps/temp\"\n"), std::string::npos) << text;
}

// systemd's own judgement of the unit: it verifies clean and its exposure
// is rated 5 or below.
TEST(SystemdUnit, VerifiesCleanAndIsRatedSafe) {
    auto analyze = nocturo::test::FindInPath("systemd-analyze");
    if (!analyze) GTEST_SKIP() << "systemd-analyze is not installed";
    nocturo::test::TempDir dir;
    SystemdServiceControl control(RootsProgram(dir), "unix:path=/nonexistent", dir / "units");
    control.setServiceFolders({"/home/ann/tmp/", "/tmp/", "/home/ann/./a//b/../c"});
    const std::string unit = dir / "nocturo.service";
    std::ofstream(unit) << control.unitText();
    auto verify = nocturo::test::RunCommand(*analyze + " verify '" + unit + "'");
    EXPECT_EQ(verify.code, 0) << verify.out;
    EXPECT_EQ(verify.out, "") << verify.out;
    auto security = nocturo::test::RunCommand(*analyze + " security --offline=yes --no-pager '" + unit + "'");
    ASSERT_EQ(security.code, 0) << security.out;
    const std::string& report = security.out;
    const std::string marker = "Overall exposure level for nocturo.service: ";
    const auto at = report.find(marker);
    ASSERT_NE(at, std::string::npos) << report;
    const double score = std::stod(report.substr(at + marker.size()));
    EXPECT_LE(score, 5.0) << report;
}

TEST(ProgramSafety, RootsProgramInRootsFoldersIsSafe) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to own the files";
    nocturo::test::TempDir dir;
    const std::string program = RootsProgram(dir) + "/nocturo";
    // /tmp lets everybody write, but its sticky bit keeps root's folder root's.
    EXPECT_EQ(SystemdServiceControl::UnsafeProgramReason(program), "");
    SystemdServiceControl control(dir / "bin", "unix:path=/nonexistent", dir / "units");
    EXPECT_EQ(control.serviceInstallProblem(), "");
}

TEST(ProgramSafety, AnotherOwnerOrAWritableFolderAnywhereAboveIsRefused) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give files away";
    nocturo::test::TempDir dir;
    const std::string folder = RootsProgram(dir);
    const std::string program = folder + "/nocturo";
    ASSERT_EQ(::chown(program.c_str(), 1000, 1000), 0);
    EXPECT_EQ(SystemdServiceControl::UnsafeProgramReason(program), program + " is owned by user 1000, not by root");
    ASSERT_EQ(::chown(program.c_str(), 0, 0), 0);
    ::chmod(program.c_str(), 0775);
    EXPECT_EQ(SystemdServiceControl::UnsafeProgramReason(program),
              program + " can be written by its group or by others");
    ::chmod(program.c_str(), 0755);
    // A folder above it, not the program's own: its owner could swap the folder.
    ::chmod(dir.path().c_str(), 0777);
    EXPECT_EQ(SystemdServiceControl::UnsafeProgramReason(program),
              dir.path() + " can be written by its group or by others");
    ::chmod(dir.path().c_str(), 0700);
    ASSERT_EQ(::chown(dir.path().c_str(), 1000, 1000), 0);
    EXPECT_EQ(SystemdServiceControl::UnsafeProgramReason(program),
              dir.path() + " is owned by user 1000, not by root");
    ASSERT_EQ(::chown(dir.path().c_str(), 0, 0), 0);
    // A link in a safe place to a program in an unsafe one.
    nocturo::test::TempDir other;
    ::chmod(other.path().c_str(), 0755);
    const std::string unsafe = RootsProgram(other);
    ASSERT_EQ(::chown(unsafe.c_str(), 1000, 1000), 0);
    const std::string link = dir / "bin/linked";
    ASSERT_EQ(::symlink((unsafe + "/nocturo").c_str(), link.c_str()), 0);
    EXPECT_EQ(SystemdServiceControl::UnsafeProgramReason(link), unsafe + " is owned by user 1000, not by root");
    EXPECT_NE(SystemdServiceControl::UnsafeProgramReason(dir / "bin/missing").find("No such file"), std::string::npos);
}

TEST(ProgramSafety, TheRefusalNamesThePackagedProgram) {
    nocturo::test::TempDir dir;
    const std::string folder = RootsProgram(dir);
    ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
    SystemdServiceControl control(folder, "unix:path=/nonexistent", dir / "units");
    const std::string problem = control.serviceInstallProblem();
    EXPECT_EQ(problem, "root would run " + folder + "/nocturo, which another user could replace (" + folder +
                           " can be written by its group or by others); install the packaged program "
                           "(/usr/bin/nocturo) and install the service from it");
    try {
        control.installService();
        ADD_FAILURE() << "installed";
    } catch (const Error& e) {
        EXPECT_EQ(e.what(), problem);
    }
    EXPECT_FALSE(Exists(control.unitPath()));  // refused before anything was written
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
        Self(self)->active = std::string(sd_bus_message_get_member(m)) != "StopUnit";
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

    static int GetSubState(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void* self,
                           sd_bus_error*) {
        return sd_bus_message_append(reply, "s", Self(self)->active ? "running" : "dead");
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
    SD_BUS_METHOD("RestartUnit", "ss", "o", OnJob, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("StopUnit", "ss", "o", OnJob, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("GetUnit", "s", "o", OnGetUnit, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

const sd_bus_vtable FakeSystemd::kUnitVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("ActiveState", "s", GetActiveState, 0, 0),
    SD_BUS_PROPERTY("SubState", "s", GetSubState, 0, 0),
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
        return SystemdServiceControl(RootsProgram(*folder_), bus_->address(), folder_->path() + "/units");
    }

    std::unique_ptr<nocturo::test::TempDir> folder_;
    std::string noSystemBus_;
    std::vector<std::unique_ptr<ScopedEnv>> env_;
    std::unique_ptr<nocturo::test::PrivateBus> bus_;
    std::unique_ptr<FakeSystemd> systemd_;
};

TEST_F(SystemdServiceControlTest, InstallWritesTheUnitEnablesReloadsAndStarts) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to own the program";
    auto control = Control();
    EXPECT_FALSE(control.serviceInstalled());
    control.installService();
    EXPECT_TRUE(control.serviceInstalled());
    EXPECT_EQ(ReadAll(control.unitPath()), control.unitText());
    const std::string unit = folder_->path() + "/units/nocturo.service";
    EXPECT_EQ(systemd_->calls(), (Calls{"EnableUnitFiles([\"" + unit + "\"], false, true)", "Reload()",
                                        "RestartUnit(\"nocturo.service\", \"replace\")"}));
    EXPECT_EQ(control.installCalls(), systemd_->calls());
    EXPECT_TRUE(control.serviceRunning());
    EXPECT_EQ(control.serviceState(), "active (running)");
}

TEST_F(SystemdServiceControlTest, UninstallStopsDisablesRemovesAndReloads) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to own the program";
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
    EXPECT_EQ(control.serviceState(), "inactive (dead)");
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

TEST_F(SystemdServiceControlTest, StateIsActiveAndSubStateAsSystemctlShowsThem) {
    auto control = Control();
    systemd_->active = true;
    EXPECT_EQ(control.serviceState(), "active (running)");
    systemd_->active = false;
    EXPECT_EQ(control.serviceState(), "inactive (dead)");
    systemd_->loaded = false;  // as systemctl shows a unit it has not loaded
    EXPECT_EQ(control.serviceState(), "inactive (dead)");
    EXPECT_EQ(systemd_->calls(), (Calls{"GetUnit(\"nocturo.service\")", "GetUnit(\"nocturo.service\")",
                                        "GetUnit(\"nocturo.service\")"}));
}

// nocturoctl as an administrator runs it, against the stand-in for systemd
// and a root-like layout in a temporary folder.
TEST_F(SystemdServiceControlTest, CtlInstallCopiesTheUsersScheduleIntoTheSystemStore) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to own the program";
    const std::string bin = std::string(NOCTURO_BUILD_DIR) + "/bin";
    if (!Exists(bin + "/nocturoctl") || !Exists(bin + "/nocturo")) GTEST_SKIP() << "nocturoctl is not built";
    if (!SystemdServiceControl::UnsafeProgramReason(bin + "/nocturo").empty())
        GTEST_SKIP() << "the build folder is not root's alone";
    const std::string root = folder_->path();
    const std::string store = root + "/var/lib/nocturo/registry.reg";
    const std::string env = "SUDO_USER= NOCTURO_SYSTEMD_BUS='" + bus_->address() + "' NOCTURO_UNIT_DIR='" + root +
                            "/etc/systemd/system' NOCTURO_SYSTEM_REGISTRY='" + store + "' NOCTURO_REGISTRY='" + root +
                            "/user.reg' ";
    const std::string ctl = env + bin + "/nocturoctl ";
    for (const char* set : {"settings set user txtHour 22", "settings set user CleanDirs ';/home/ann/tmp/;'",
                            "settings set user chkSound 1 --dword"}) {
        auto r = nocturo::test::RunCommand(ctl + set);
        ASSERT_EQ(r.code, 0) << set << ": " << r.out;
    }
    auto install = nocturo::test::RunCommand(ctl + "service install");
    ASSERT_EQ(install.code, 0) << install.out;
    EXPECT_EQ(install.out, "nocturo.service installed\nsettings of the service: " + store +
                               " (a copy of the schedule in " + root + "/user.reg)\n");
    const std::string unit = ReadAll(root + "/etc/systemd/system/nocturo.service");
    EXPECT_NE(unit.find("\nExecStart=" + bin + "/nocturo --service\n"), std::string::npos) << unit;
    EXPECT_NE(unit.find("\nEnvironment=NOCTURO_REGISTRY=" + store + " NOCTURO_SYSTEM_REGISTRY=" + store + "\n"),
              std::string::npos)
        << unit;
    EXPECT_NE(unit.find("\nReadWritePaths=-/home/ann/tmp/\n"), std::string::npos) << unit;
    EXPECT_EQ(systemd_->calls(),
              (Calls{"EnableUnitFiles([\"" + root + "/etc/systemd/system/nocturo.service\"], false, true)", "Reload()",
                     "RestartUnit(\"nocturo.service\", \"replace\")"}));
    // The service reads the machine tree of the system store.
    const std::string service = "SUDO_USER= NOCTURO_REGISTRY='" + store + "' NOCTURO_SYSTEM_REGISTRY='" + store +
                                "' " + bin + "/nocturoctl settings get ";
    for (const auto& [name, value] : std::vector<std::pair<std::string, std::string>>{
             {"user txtHour", "22\n"}, {"user chkSound", "1\n"}, {"machine chkNtService", "1\n"},
             {"user txtPathLog", "/var/log/nocturo\n"}}) {
        auto r = nocturo::test::RunCommand(service + name);
        EXPECT_EQ(r.out, value) << name;
    }
    auto status = nocturo::test::RunCommand(ctl + "service status");
    EXPECT_EQ(status.out, "installed: yes\nrunning: yes\nstate: active (running)\n");
}

TEST_F(SystemdServiceControlTest, RefusedEnableIsReportedWithTheDbusError) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to own the program";
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

// nocturoctl autostart and service, on the simulated service control, and
// the dry run's plan.
#include <gtest/gtest.h>

#include <unistd.h>

#include <sstream>

#include "base/Runtime.h"
#include "base/Variant.h"
#include "base/Varn_GetSystemInfos.h"
#include "base/Varn_Registry.h"
#include "platform/sim/SimServiceControl.h"
#include "programs/support/Ctl.h"
#include "support/CtlRun.h"
#include "support/EnvOverride.h"

using namespace nocturo;
using nocturo::test::TestWorld;

namespace {
struct Ctl : nocturo::test::CtlRun {
    Ctl() { w.runtime.pf.service = &service; }
    platform::Journal journal;
    platform::SimServiceControl service{journal};
};
}  // namespace

TEST(CtlAutostart, OnOffStatusWriteTheEntryAndTheSetting) {
    Ctl c;
    EXPECT_EQ(c.run({"autostart", "status"}), 0);
    EXPECT_EQ(c.out.str(), "off\n");
    EXPECT_EQ(c.run({"autostart", "on"}), 0);
    EXPECT_EQ(c.service.autostartPath(), "/opt/nocturo/bin/nocturo");
    EXPECT_EQ(CLng(ReadSetting(UserApp(), kSettings, "chkStartWithWindow", -5)), 1);
    EXPECT_EQ(c.run({"autostart", "status"}), 0);
    EXPECT_EQ(c.out.str(), "on\n");
    EXPECT_EQ(c.run({"autostart", "off"}), 0);
    EXPECT_EQ(CLng(ReadSetting(UserApp(), kSettings, "chkStartWithWindow", -5)), 0);
    EXPECT_EQ(c.journal.calls(), (std::vector<std::string>{"AutostartPresent", "WriteAutostart", "AutostartPresent",
                                                           "RemoveAutostart"}));
}

TEST(CtlAutostart, RefusedInServiceModeAndBadUsage) {
    Ctl c;
    GetPCInfos();  // this computer's machine tree
    WriteSetting(MachineApp(), kSettings, "chkNtService", 1);
    EXPECT_EQ(c.run({"autostart", "on"}), 1);
    EXPECT_NE(c.err.str().find("system service"), std::string::npos);
    EXPECT_EQ(c.run({"autostart"}), 2);
    EXPECT_EQ(c.err.str(), "nocturoctl: usage: nocturoctl autostart on|off|status\n");
    EXPECT_EQ(c.run({"autostart", "maybe"}), 2);
}

TEST(CtlService, InstallAndUninstallStoreTheMachineSetting) {
    Ctl c;
    c.service.setState(true, false, false);
    EXPECT_EQ(c.run({"service", "install"}), 0);
    EXPECT_EQ(c.out.str(), "Test Service installed\n");
    EXPECT_EQ(CLng(ReadSetting(MachineApp(), kSettings, "chkNtService", 0)), 1);
    EXPECT_FALSE(c.service.autostartPresent());
    EXPECT_EQ(c.run({"service", "status"}), 0);
    EXPECT_EQ(c.out.str(), "installed: yes\nrunning: no\nstate: inactive (dead)\n");
    EXPECT_EQ(c.run({"service", "uninstall"}), 0);
    EXPECT_EQ(CLng(ReadSetting(MachineApp(), kSettings, "chkNtService", 1)), 0);
}

// Every nocturoctl run is a process of its own, which knows this computer's
// number only once it looks: the machine tree that uninstall and autostart
// read and write must be this computer's, with nothing run before them.
TEST(CtlService, UninstallAndAutostartUseThisComputersMachineTreeWhenRunFirst) {
    const std::string number = MachineNumberFromSerial(0x2A1B3C4Du);
    {
        Ctl c;
        c.w.sys.serial = 0x2A1B3C4Du;
        const std::string thisMachine = AppKeyFor(number);
        ASSERT_NE(MachineApp(), thisMachine);  // nothing has looked yet
        WriteSetting(thisMachine, kSettings, "chkNtService", 1);
        c.service.setState(false, true, true);
        EXPECT_EQ(c.run({"service", "uninstall"}), 0) << c.err.str();
        EXPECT_EQ(CLng(ReadSetting(thisMachine, kSettings, "chkNtService", -5)), 0);
    }
    {
        Ctl c;
        c.w.sys.serial = 0x2A1B3C4Du;
        const std::string thisMachine = AppKeyFor(number);
        WriteSetting(thisMachine, kSettings, "chkNtService", 1);
        EXPECT_EQ(c.run({"autostart", "on"}), 1);
        EXPECT_NE(c.err.str().find("system service"), std::string::npos);
        EXPECT_FALSE(c.service.autostartPresent());
    }
}

TEST(CtlService, InstallCopiesTheScheduleIntoTheServicesStoreAndSaysWhere) {
    Ctl c;
    nocturo::test::EnvOverride sudo("SUDO_USER", nullptr);
    nocturo::test::MapRegistry system;
    c.service.setStorePath("/var/lib/nocturo/registry.reg");
    c.service.setLogFolder("/var/log/nocturo");
    c.service.setStoreForTests(&system);
    ASSERT_EQ(c.run({"settings", "set", "user", "txtHour", "22"}), 0);
    ASSERT_EQ(c.run({"settings", "set", "user", "optShutdownTime0", "-1", "--dword"}), 0);
    EXPECT_EQ(c.run({"service", "install"}), 0) << c.err.str();
    EXPECT_EQ(c.out.str(), "Test Service installed\n"
                           "settings of the service: /var/lib/nocturo/registry.reg (a copy of the schedule in map)\n");
    const std::string m = "HKEY_LOCAL_MACHINE\\Software\\" + MachineApp() + "\\Settings\\";
    EXPECT_EQ(system.read(m + "txtHour"), platform::RegValue(std::string("22")));
    EXPECT_EQ(system.read(m + "optShutdownTime0"), platform::RegValue(std::uint32_t{0xffffffff}));
    EXPECT_EQ(system.read(m + "chkNtService"), platform::RegValue(std::uint32_t{1}));
    EXPECT_EQ(system.read(m + "txtPathLog"), platform::RegValue(std::string("/var/log/nocturo")));
    // The user's own tree stays the user's.
    EXPECT_EQ(c.run({"settings", "get", "user", "txtHour"}), 0);
    EXPECT_EQ(c.out.str(), "22\n");
    // Installed again, the service's tree is replaced by the new schedule.
    ASSERT_EQ(c.run({"settings", "set", "user", "txtHour", "23"}), 0);
    system.writeString(m + "Stale", "x");
    EXPECT_EQ(c.run({"service", "install"}), 0);
    EXPECT_EQ(system.read(m + "txtHour"), platform::RegValue(std::string("23")));
    EXPECT_FALSE(system.exists(m + "Stale"));
}

TEST(CtlService, AnUnsafeProgramIsRefusedBeforeAnythingChanges) {
    Ctl c;
    nocturo::test::MapRegistry system;
    c.service.setStorePath("/var/lib/nocturo/registry.reg");
    c.service.setStoreForTests(&system);
    c.service.setInstallProblem("root would run /home/ann/nocturo, which another user could replace");
    EXPECT_EQ(c.run({"service", "install"}), 1);
    EXPECT_EQ(c.err.str(), "nocturoctl: cannot install the service: root would run /home/ann/nocturo, which "
                           "another user could replace\n");
    EXPECT_EQ(c.journal.calls(), (std::vector<std::string>{"ServiceInstallProblem"}));
    EXPECT_TRUE(system.values("HKEY_LOCAL_MACHINE\\Software\\" + MachineApp() + "\\Settings").empty());
    EXPECT_EQ(CLng(ReadSetting(MachineApp(), kSettings, "chkNtService", 0)), 0);
}

TEST(CtlService, RefusalIsReportedAndFails) {
    Ctl c;
    c.service.setRefuse("InstallService");
    EXPECT_EQ(c.run({"service", "install"}), 1);
    EXPECT_EQ(c.err.str(), "nocturoctl: InstallService refused\n");
    EXPECT_EQ(CLng(ReadSetting(MachineApp(), kSettings, "chkNtService", 0)), 0);
}

// A Windows user without administrator rights: what needs the machine tree
// is refused with the reason, never reported as done; the user's own
// settings are stored below HKEY_CURRENT_USER.
TEST(CtlService, WithoutAdministratorRightsTheMachineTreeIsRefusedWithTheReason) {
    Ctl c;
    c.w.reg.actAsOrdinaryWindowsUser();
    c.service.setState(true, false, false);
    EXPECT_EQ(c.run({"service", "install"}), 1);
    EXPECT_EQ(c.out.str(), "");
    EXPECT_NE(c.err.str().find("chkNtService could not be stored: administrator rights are needed"),
              std::string::npos)
        << c.err.str();
    EXPECT_EQ(c.run({"settings", "set", "machine", "chkNtService", "1", "--dword"}), 1);
    EXPECT_NE(c.err.str().find("administrator rights are needed"), std::string::npos) << c.err.str();
    EXPECT_EQ(c.run({"password", "set", "s3cret"}), 1);
    EXPECT_EQ(c.out.str(), "");  // never "Password saved"
    EXPECT_NE(c.err.str().find("administrator rights are needed"), std::string::npos) << c.err.str();
    EXPECT_FALSE(c.w.reg.read(SettingPath(MachineApp(), kSettings, "poption")).has_value());

    EXPECT_EQ(c.run({"settings", "set", "user", "txtHour", "03"}), 0);
    EXPECT_EQ(c.w.reg.read("HKEY_CURRENT_USER\\Software\\Varn\\Nocturo\\" + rt().userId + "\\Settings\\txtHour"),
              platform::RegValue{std::string("03")});
    EXPECT_EQ(c.run({"settings", "list", "user"}), 0);
    EXPECT_EQ(c.out.str(), "txtHour=03\n");
}

TEST(CtlService, DryRunPrintsTheUnitAndTheCallsAndChangesNothing) {
    Ctl c;
    setenv("NOCTURO_UNIT_DIR", "/tmp/nocturo-units-dry", 1);
    nocturo::test::EnvOverride store("NOCTURO_SYSTEM_REGISTRY", nullptr);
    nocturo::test::EnvOverride sudo("SUDO_USER", nullptr);
    ASSERT_EQ(c.run({"settings", "set", "user", "CleanDirs", ";/home/ann/tmp/;"}), 0);
    EXPECT_EQ(c.run({"service", "install", "--dry-run"}), 0);
    const std::string o = c.out.str();
    // The program folder of this world is not on the disk: root would not run it.
    EXPECT_EQ(o.rfind("refuse: root would run /opt/nocturo/bin/nocturo, which another user could replace "
                      "(/opt/nocturo/bin/nocturo: No such file or directory); install the packaged program "
                      "(/usr/bin/nocturo) and install the service from it\n"
                      "copy the schedule in map to /var/lib/nocturo/registry.reg\n"
                      "write /tmp/nocturo-units-dry/nocturo.service:\n[Unit]\n",
                      0),
              0u)
        << o;
    EXPECT_NE(o.find("ExecStart=/opt/nocturo/bin/nocturo --service\n"), std::string::npos) << o;
    EXPECT_NE(o.find("ReadWritePaths=-/home/ann/tmp/\n"), std::string::npos) << o;
    EXPECT_NE(o.find("Type=notify\n"), std::string::npos);
    EXPECT_NE(o.find("call org.freedesktop.systemd1.Manager.EnableUnitFiles([\"/tmp/nocturo-units-dry/nocturo.service\"], "
                     "false, true)\ncall org.freedesktop.systemd1.Manager.Reload()\n"
                     "call org.freedesktop.systemd1.Manager.RestartUnit(\"nocturo.service\", \"replace\")\n"),
              std::string::npos)
        << o;
    if (::geteuid() == 0) {
        // Root through sudo: the schedule of the user who called sudo.
        nocturo::test::EnvOverride caller("SUDO_USER", "nobody");
        nocturo::test::EnvOverride file("NOCTURO_REGISTRY", nullptr);
        EXPECT_EQ(c.run({"service", "install", "--dry-run"}), 0);
        const std::string n = c.out.str();
        EXPECT_NE(n.find("\ncopy nobody's schedule in /nonexistent/.config/nocturo/registry.reg to "
                         "/var/lib/nocturo/registry.reg\n"),
                  std::string::npos)
            << n;
    }
    EXPECT_EQ(c.run({"service", "--dry-run", "uninstall"}), 0);
    EXPECT_EQ(c.out.str(),
              "call org.freedesktop.systemd1.Manager.StopUnit(\"nocturo.service\", \"replace\")\n"
              "call org.freedesktop.systemd1.Manager.DisableUnitFiles([\"nocturo.service\"], false)\n"
              "remove /tmp/nocturo-units-dry/nocturo.service\n"
              "call org.freedesktop.systemd1.Manager.Reload()\n");
    unsetenv("NOCTURO_UNIT_DIR");
    EXPECT_TRUE(c.journal.calls().empty());
    EXPECT_EQ(CLng(ReadSetting(MachineApp(), kSettings, "chkNtService", 0)), 0);
    EXPECT_EQ(c.run({"service", "restart"}), 2);
    EXPECT_EQ(c.err.str(), "nocturoctl: usage: nocturoctl service install|uninstall|status [--dry-run]\n");
}

// Start at login and the system service, on the simulated machine: the
// autostart entry and the service calls are journalled, nothing changes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Variant.h"
#include "base/Varn_Registry.h"
#include "platform/IDialogs.h"
#include "platform/sim/SimServiceControl.h"
#include "shell/FrmMain.h"
#include "shell/Varn_NTservice.h"
#include "support/SimWorld.h"

using namespace nocturo;
using nocturo::test::SimWorld;

namespace {

struct World {
    explicit World(platform::PathStyle style = platform::PathStyle::Windows) : w(style), service(w.journal) {
        w.runtime.pf.service = &service;
        w.power.setSessionEndHook([](std::uint32_t) {});
        w.runtime.machineNumber = "123456789";
    }
    int count(const std::string& call) const { return w.count(call); }
    std::vector<std::string> boxTitles() const {
        std::vector<std::string> titles;
        for (const auto& e : w.journal.entries())
            if (e.at("call").asString() == "MessageBox") titles.push_back(e.at("title").asString());
        return titles;
    }
    long storedService() const { return CLng(ReadSetting(MachineApp(), kSettings, "chkNtService", 0)); }

    SimWorld w;
    platform::SimServiceControl service;
};

}  // namespace

TEST(StartWithWindow, CheckedWritesTheEntryWithTheProgramPath) {
    World t(platform::PathStyle::Posix);
    FrmMain f;
    f.chkStartWithWindow.setValue(1);
    f.chkStartWithWindow_Click();
    ASSERT_EQ(t.count("WriteAutostart"), 1);
    const auto* e = t.w.last("WriteAutostart");
    EXPECT_EQ(e->at("path").asString(), t.w.programFolder() + "/nocturo");
    EXPECT_EQ(e->at("name").asString(), "Nocturo");
    EXPECT_EQ(f.chkStartWithWindow.caption(), "Start at login");
    EXPECT_EQ(f.chkNtService.caption(), "Run as system service");

    f.chkStartWithWindow.setValue(0);
    f.chkStartWithWindow_Click();
    EXPECT_EQ(t.count("RemoveAutostart"), 1);
    EXPECT_FALSE(t.service.autostartPresent());
    EXPECT_EQ(t.w.errorLog(), "");
}

TEST(StartWithWindow, WindowsKeepsItsCaptionsAndPath) {
    World t;
    FrmMain f;
    EXPECT_EQ(f.chkStartWithWindow.caption(), "Start with Windows");
    EXPECT_EQ(f.chkNtService.caption(), "Run as NT service");
    f.chkStartWithWindow.setValue(1);
    f.chkStartWithWindow_Click();
    EXPECT_EQ(t.w.last("WriteAutostart")->at("path").asString(), t.w.programFolder() + "\\Nocturo.exe");
}

TEST(StartWithWindow, WhileTheServiceBoxIsCheckedTheEntryIsRemoved) {
    World t;
    FrmMain f;
    f.chkNtService.setValue(1);
    f.chkStartWithWindow.setValue(1);
    f.chkStartWithWindow_Click();
    EXPECT_EQ(t.count("WriteAutostart"), 0);
    EXPECT_EQ(t.count("RemoveAutostart"), 1);
}

TEST(StartWithWindow, ARefusalIsLoggedUnderTheHandler) {
    World t;
    t.service.setRefuse("WriteAutostart");
    FrmMain f;
    f.chkStartWithWindow.setValue(1);
    EXPECT_NO_THROW(f.chkStartWithWindow_Click());
    EXPECT_NE(t.w.errorLog().find("chkStartWithWindow_Click of Formular FrmMain"), std::string::npos);
    EXPECT_NE(t.w.errorLog().find("WriteAutostart refused"), std::string::npos);
}

TEST(StartWithWindow, RestoringACheckedBoxWritesTheEntryAgainAndAFreshStoreWritesNone) {
    {
        World t;
        FrmMain f;
        f.Form_Load();
        ASSERT_TRUE(t.w.runUntil([&] { return f.ready(); }, 10000));
        EXPECT_FALSE(f.chkStartWithWindow.checked());  // the default: only the user enrols it
        EXPECT_EQ(t.count("WriteAutostart"), 0);
    }
    World t;
    WriteSetting(UserApp(), kSettings, "chkStartWithWindow", 1);
    FrmMain f;
    f.Form_Load();
    ASSERT_TRUE(t.w.runUntil([&] { return f.ready(); }, 10000));
    EXPECT_TRUE(f.chkStartWithWindow.checked());
    EXPECT_EQ(t.count("WriteAutostart"), 1);
}

TEST(NtService, SuccessfulInstallUnchecksAndDisablesStartWithWindowAndRemovesTheEntry) {
    World t;
    t.service.setState(true, false, false);
    t.w.dialogs.pushAnswer(platform::mb::IdCancel);
    FrmMain f;
    f.chkStartWithWindow.setValue(1);
    f.chkNtService.setValue(1);
    f.chkNtService_Click();
    EXPECT_EQ(t.count("InstallService"), 1);
    EXPECT_EQ(t.count("UninstallService"), 0);
    EXPECT_EQ(t.count("RemoveAutostart"), 1);
    EXPECT_FALSE(t.service.autostartPresent());
    EXPECT_FALSE(f.chkStartWithWindow.checked());
    EXPECT_FALSE(f.chkStartWithWindow.enabled());
    EXPECT_EQ(t.storedService(), 1);
    EXPECT_EQ(t.w.runtime.userId, "123456789");
    ASSERT_EQ(t.boxTitles(), (std::vector<std::string>{"Install Complete, Please Re-Start Application"}));
    const auto* box = t.w.last("MessageBox");
    EXPECT_EQ(box->at("buttons").asInt64(), 4161);
    EXPECT_EQ(box->at("prompt").asString(),
              "Result: Nocturo successfully installed as a Windows NT Service.\r\nService Name: Test Service\r\n"
              "Restart the Computer now !");
    EXPECT_EQ(t.count("ExitWindowsEx"), 0);  // Cancel: no emergency shut down
}

TEST(NtService, AlreadySavedOrRunningInstallsNothing) {
    World t;
    FrmMain f;
    WriteSetting(MachineApp(), kSettings, "chkNtService", 1);
    f.chkNtService.setValue(1);
    f.chkNtService_Click();  // restored at start-up: saved value already 1
    WriteSetting(MachineApp(), kSettings, "chkNtService", 0);
    t.service.setState(false, true, true);
    f.chkNtService_Click();  // the service runs already
    EXPECT_EQ(t.count("InstallService"), 0);
    EXPECT_EQ(t.count("UninstallService"), 0);
}

TEST(NtService, FailedInstallTriesOneUninstallAndStops) {
    World t;
    t.service.setRefuse("InstallService");
    t.service.setRefuse("UninstallService");
    FrmMain f;
    f.chkNtService.setValue(1);
    EXPECT_NO_THROW(f.chkNtService_Click());
    EXPECT_EQ(t.count("InstallService"), 1);
    EXPECT_EQ(t.count("UninstallService"), 1);
    EXPECT_EQ(t.boxTitles(), (std::vector<std::string>{"Install Failed, Please Re-Start Application",
                                                       "UnInstall Failed, Please Re-Start Application"}));
    EXPECT_EQ(t.w.last("MessageBox")->at("buttons").asInt64(), 4160);
    EXPECT_NE(t.w.errorLog().find("InstallService of Modul Varn_NTservice"), std::string::npos);
    EXPECT_NE(t.w.errorLog().find("UninstallService of Modul Varn_NTservice"), std::string::npos);
    EXPECT_NE(t.w.errorLog().find("InstallService refused"), std::string::npos);
    EXPECT_EQ(t.storedService(), 0);
}

TEST(NtService, FailedUninstallTriesOneInstallAndStops) {
    World t;
    t.service.setRefuse("InstallService");
    t.service.setRefuse("UninstallService");
    WriteSetting(MachineApp(), kSettings, "chkNtService", 1);
    FrmMain f;
    f.chkNtService.setValue(0);
    f.chkNtService_Click();
    EXPECT_EQ(t.count("UninstallService"), 1);
    EXPECT_EQ(t.count("InstallService"), 1);
    EXPECT_EQ(t.boxTitles(), (std::vector<std::string>{"UnInstall Failed, Please Re-Start Application",
                                                       "Install Failed, Please Re-Start Application"}));
}

TEST(NtService, SuccessfulUninstallEnablesStartWithWindowAndEndsTheProgram) {
    World t(platform::PathStyle::Posix);
    t.service.setState(false, true, true);
    WriteSetting(MachineApp(), kSettings, "chkNtService", 1);
    FrmMain f;
    f.Form_Load();
    ASSERT_TRUE(t.w.runUntil([&] { return f.ready(); }, 10000));
    EXPECT_FALSE(f.chkStartWithWindow.enabled());
    f.chkNtService.setValue(0);
    f.chkNtService_Click();
    EXPECT_EQ(t.count("UninstallService"), 1);
    EXPECT_EQ(t.count("InstallService"), 0);
    EXPECT_TRUE(f.chkStartWithWindow.enabled());
    EXPECT_FALSE(f.chkNtService.checked());
    EXPECT_EQ(t.storedService(), 0);
    const auto* box = t.w.last("MessageBox");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->at("title").asString(), "UnInstall Complete, Please Re-Start Application");
    EXPECT_EQ(box->at("prompt").asString(),
              "Result: Nocturo successfully uninstalled as a system service.\nRemoved Service Name: Test Service");
    EXPECT_TRUE(t.w.runUntil([&] { return f.unloaded(); }, 10000));
}

// ---------------------------------------------------------------------------
// The service manager's events

TEST(ServiceEvents, StartPauseContinueSwitchTheTimerAndConfirm) {
    World t;
    FrmMain f;
    f.Form_Load();
    bool ok = false;
    f.NTService1_Pause(ok);
    EXPECT_TRUE(ok);
    EXPECT_FALSE(f.Timer2.enabled());
    ok = false;
    f.NTService1_Continue(ok);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(f.Timer2.enabled());
    f.NTService1_Pause(ok);
    ok = false;
    f.NTService1_Start(ok);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(f.Timer2.enabled());
}

TEST(ServiceEvents, APauseDuringATickIsNotConfirmed) {
    World t;
    FrmMain f;
    f.Form_Load();
    t.w.runtime.tickBusy = true;
    bool ok = true;
    f.NTService1_Pause(ok);
    EXPECT_FALSE(ok);
    EXPECT_FALSE(f.Timer2.enabled());
}

TEST(ServiceEvents, StopEndsTheProgramOnceAndOnlyBeepsWhileEnding) {
    World t;
    FrmMain f;
    f.Form_Load();
    f.NTService1_Stop();
    EXPECT_FALSE(f.Timer2.enabled());
    EXPECT_EQ(t.count("Beep"), 0);
    EXPECT_NE(f.life(), FrmMain::Life::Running);
    f.NTService1_Stop();  // already ending: tag "stop"
    EXPECT_EQ(t.count("Beep"), 1);
    // A start after the end does not bring the timer back.
    bool ok = false;
    f.NTService1_Start(ok);
    EXPECT_FALSE(f.Timer2.enabled());
}

TEST(ServiceEvents, AFailureIsLoggedTwice) {
    World t;
    FrmMain f;
    f.Form_Load();
    f.NTService1_Stop();
    t.w.runtime.pf.sound = nullptr;  // the beep of a second stop fails
    f.NTService1_Stop();
    const std::string log = t.w.errorLog();
    EXPECT_NE(log.find("NTService1__Stop of Formular fMainForm"), std::string::npos);
    EXPECT_NE(log.find("109"), std::string::npos);
}

// ---------------------------------------------------------------------------
// A window beside the system service on Linux: no start event ever reaches
// it, so it shows the service's state and keeps its clock, and never runs the
// schedule a second time.

namespace {

void WireService(FrmMain& f, platform::SimServiceControl& service) {
    f.serviceRunning = [&service] { return service.serviceRunning(); };
    f.serviceState = [&service] { return service.serviceState(); };
    f.serviceInstalled = [&service] { return service.serviceInstalled(); };
}

}  // namespace

TEST(WindowBesideTheService, ClockRunsAndTheServiceStateIsShownInsteadOfTheSchedule) {
    World t(platform::PathStyle::Posix);
    t.service.setState(false, true, true);
    WriteSetting(MachineApp(), kSettings, "chkNtService", 1);
    FrmMain f;
    WireService(f, t.service);
    f.Form_Load();
    ASSERT_TRUE(t.w.runUntil([&] { return f.ready(); }, 10000));
    EXPECT_TRUE(f.watchingService());
    EXPECT_TRUE(f.Timer2.enabled());
    // Due in two seconds: the service acts, not this window.
    f.fireEvent("optShutdownTime(0).Click");
    f.txtHour.setText("20");
    f.txtMinute.setText("59");
    f.txtSEC.setText("59");
    ASSERT_TRUE(t.w.runUntil([&] { return f.lblTime.caption() == "21:00:05"; }, 20000)) << f.lblTime.caption();
    EXPECT_EQ(f.lblNocturoInfo.caption(), "Run by the system service: active (running)");
    EXPECT_FALSE(f.actionRunning());
    EXPECT_EQ(t.count("ExitWindowsEx"), 0);
    EXPECT_TRUE(t.w.sessionEnds.empty());
    // The state follows the service within a few seconds, without asking
    // systemd at every tick.
    int asked = 0;
    f.serviceState = [&] {
        ++asked;
        return t.service.serviceState();
    };
    t.service.setState(false, true, false);
    ASSERT_TRUE(t.w.runUntil([&] { return f.lblNocturoInfo.caption() == "Run by the system service: inactive (dead)"; },
                             6000));
    t.w.loop.runFor(20000);
    EXPECT_GE(asked, 4);
    EXPECT_LE(asked, 6);  // 40 ticks in 20 s
    EXPECT_EQ(t.w.errorLog(), "");
}

TEST(WindowBesideTheService, EndingTheWindowLeavesTheServiceRunning) {
    World t(platform::PathStyle::Posix);
    t.service.setState(false, true, true);
    t.service.setRefuse("StopService");  // as systemd answers a user who is not root
    FrmMain f;
    WireService(f, t.service);
    f.stopService = [&] { t.service.stopService(); };
    f.Form_Load();
    ASSERT_TRUE(t.w.runUntil([&] { return f.ready(); }, 10000));
    f.UnloadProgram();
    EXPECT_TRUE(t.w.runUntil([&] { return f.unloaded(); }, 10000));
    EXPECT_EQ(t.count("StopService"), 0);
    EXPECT_TRUE(t.service.serviceRunning());
}

TEST(WindowBesideTheService, AnInstalledServiceIsWatchedAlsoWithoutTheFlagInTheUsersStore) {
    World t(platform::PathStyle::Posix);
    t.service.setState(false, true, false);
    FrmMain f;
    WireService(f, t.service);
    f.Form_Load();
    ASSERT_TRUE(t.w.runUntil([&] { return f.ready(); }, 10000));
    EXPECT_TRUE(f.watchingService());
    EXPECT_EQ(f.lblNocturoInfo.caption(), "Run by the system service: inactive (dead)");
}

TEST(WindowBesideTheService, TheServiceItselfAndWindowsWaitForTheStartEvent) {
    for (const bool windows : {false, true}) {
        World t(windows ? platform::PathStyle::Windows : platform::PathStyle::Posix);
        t.service.setState(false, true, true);
        WriteSetting(MachineApp(), kSettings, "chkNtService", 1);
        FrmMain f;
        WireService(f, t.service);
        f.asSystemService = !windows;
        f.Form_Load();
        ASSERT_TRUE(t.w.runUntil([&] { return f.ready(); }, 10000));
        EXPECT_FALSE(f.watchingService()) << windows;
        EXPECT_FALSE(f.Timer2.enabled()) << windows;
        bool ok = false;
        f.NTService1_Start(ok);
        EXPECT_TRUE(f.Timer2.enabled());
    }
}

// ---------------------------------------------------------------------------
// The service's own store

TEST(NtService, InstallHandsTheSchedulesToTheServicesStoreAndSaysWhere) {
    World t(platform::PathStyle::Posix);
    nocturo::test::MapRegistry system;
    t.service.setStorePath("/var/lib/nocturo/registry.reg");
    t.service.setLogFolder("/var/log/nocturo");
    t.service.setStoreForTests(&system);
    t.w.runtime.userId = "ANN";
    WriteSetting(UserApp(), kSettings, "txtHour", std::string("22"));
    WriteSetting(UserApp(), kSettings, "Armed", 1);
    WriteSetting(UserApp(), kSettings, "CleanDirs", std::string(";/home/ann/tmp/;"));
    WriteSetting(UserApp() + "\\/home/ann/tmp/", kSettings, "ExtList", std::string("*.bak;"));
    t.w.dialogs.pushAnswer(platform::mb::IdCancel);
    FrmMain f;
    f.chkNtService.setValue(1);
    f.chkNtService_Click();
    ASSERT_EQ(t.count("InstallService"), 1);
    const std::string m = "HKEY_LOCAL_MACHINE\\Software\\" + MachineApp() + "\\Settings\\";
    EXPECT_EQ(system.read(m + "txtHour"), platform::RegValue(std::string("22")));
    EXPECT_EQ(system.read(m + "Armed"), platform::RegValue(std::uint32_t{1}));
    EXPECT_EQ(system.read(m + "chkNtService"), platform::RegValue(std::uint32_t{1}));
    EXPECT_EQ(system.read(m + "txtPathLog"), platform::RegValue(std::string("/var/log/nocturo")));
    EXPECT_EQ(system.read("HKEY_LOCAL_MACHINE\\Software\\" + MachineApp() + "\\/home/ann/tmp/\\Settings\\ExtList"),
              platform::RegValue(std::string("*.bak;")));
    EXPECT_EQ(t.service.serviceFolders(), (std::vector<std::string>{"/home/ann/tmp/"}));
    // The user's window keeps the user's own settings beside the service.
    EXPECT_EQ(t.w.runtime.userId, "ANN");
    EXPECT_NE(t.w.last("MessageBox")->at("prompt").asString().find(
                  "\nSettings of the service: /var/lib/nocturo/registry.reg\n"),
              std::string::npos);
}

TEST(NtService, AnUnsafeProgramIsRefusedWithTheReasonAndNothingChanges) {
    World t(platform::PathStyle::Posix);
    nocturo::test::MapRegistry system;
    t.service.setStorePath("/var/lib/nocturo/registry.reg");
    t.service.setStoreForTests(&system);
    t.service.setInstallProblem("root would run /home/ann/nocturo, which another user could replace");
    FrmMain f;
    f.chkNtService.setValue(1);
    f.chkNtService_Click();
    EXPECT_EQ(t.count("InstallService"), 0);
    EXPECT_EQ(t.count("UninstallService"), 0);  // nothing was installed: nothing to take back
    EXPECT_TRUE(system.values("HKEY_LOCAL_MACHINE\\Software\\" + MachineApp() + "\\Settings").empty());
    EXPECT_EQ(t.storedService(), 0);
    const std::string prompt = t.w.last("MessageBox")->at("prompt").asString();
    EXPECT_NE(prompt.find("Refused: root would run /home/ann/nocturo, which another user could replace"),
              std::string::npos)
        << prompt;
    EXPECT_NE(t.w.errorLog().find("InstallService of Modul Varn_NTservice"), std::string::npos);
}

// With the service's control channel the window is the service's client: it
// shows what the service says and hands its changes to it.
TEST(WindowBesideTheService, ShowsTheServicesStateAndHandsItsChangesToTheService) {
    World t(platform::PathStyle::Posix);
    t.service.setState(false, true, true);
    WriteSetting(MachineApp(), kSettings, "chkNtService", 1);
    FrmMain f;
    WireService(f, t.service);
    platform::ControlState service;
    service.armed = true;
    service.action = "Reboot";
    service.due = "2026-12-10T22:30:00";
    bool reachable = true;
    std::vector<platform::ControlRequest> asked;  // the changes, without the state asks
    int stateAsks = 0;
    std::string refusal;
    f.callService = [&](const platform::ControlRequest& r, platform::ControlReply& reply, std::string& why) {
        if (!reachable) {
            why = "no answer";
            return false;
        }
        if (r.op == platform::ControlOp::Status) ++stateAsks;
        else asked.push_back(r);
        if (!refusal.empty() && r.op != platform::ControlOp::Status) {
            reply.status = platform::ControlStatus::Refused;
            reply.message = refusal;
        } else if (r.op == platform::ControlOp::Disarm) {
            service.armed = false;
        } else if (r.op == platform::ControlOp::Arm) {
            service.armed = true;
        }
        reply.state = service;
        return true;
    };
    f.Form_Load();
    ASSERT_TRUE(t.w.runUntil([&] { return f.ready(); }, 10000));
    EXPECT_EQ(f.lblNocturoInfo.caption(), "Service: Reboot at 22:30:00");
    EXPECT_TRUE(f.chkArmed.checked());

    // Unticking "Armed" disarms the service's schedule, not the window's.
    f.fireEvent("chkArmed.Click");
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked.back().op, platform::ControlOp::Disarm);
    EXPECT_EQ(f.lblNocturoInfo.caption(), "Service: not armed");
    EXPECT_FALSE(f.chkArmed.checked());

    // Go asks the service to carry out the window's action.
    f.fireEvent("optActions(2).Click");
    f.fireEvent("cmdGo.Click");
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked.back().op, platform::ControlOp::Now);
    EXPECT_EQ(asked.back().action, "LogOff");
    EXPECT_FALSE(f.actionRunning());
    EXPECT_EQ(t.count("ExitWindowsEx"), 0);

    // A refusal is told in the service's words, and the box shows the truth.
    refusal = "The options password is needed for this.";
    f.fireEvent("chkArmed.Click");
    ASSERT_NE(t.w.last("MessageBox"), nullptr);
    EXPECT_EQ(t.w.last("MessageBox")->at("prompt").asString(), refusal);
    EXPECT_FALSE(f.chkArmed.checked());

    // A service that stops answering: the service manager's word is shown.
    reachable = false;
    ASSERT_TRUE(t.w.runUntil([&] { return f.lblNocturoInfo.caption() == "Run by the system service: active (running)"; },
                             7000))
        << f.lblNocturoInfo.caption();
    EXPECT_FALSE(f.serviceAnswered());
}

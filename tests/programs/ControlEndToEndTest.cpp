// The running program controlled from outside, as an administrator or a
// script would: the real nocturo on the simulated machine, on a private bus
// of the test's own, reached through nocturoctl, gdbus, busctl and a second
// start. Only the programs started here see the private buses.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "platform/common/Json.h"
#include "support/PrivateBus.h"
#include "support/RunCommand.h"
#include "support/TestSupport.h"

namespace {

using nocturo::test::ReadWholeFile;
using nocturo::test::TempDir;
using Result = nocturo::test::CommandResult;
using Output = nocturo::test::SplitOutput;

std::string bin(const char* name) { return std::string(NOCTURO_BUILD_DIR) + "/bin/" + name; }
Result run(const std::string& command) { return nocturo::test::RunCommand(command); }

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class ControlEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        auto daemon = nocturo::test::FindInPath("dbus-daemon");
        if (!daemon) GTEST_SKIP() << "dbus-daemon is not installed";
        run("mkdir -p " + dir_ / "session" + " " + dir_ / "system" + " " + dir_ / "home");
        session_ = std::make_unique<nocturo::test::PrivateBus>(*daemon, dir_ / "session");
        // Nothing on the system bus unless a test starts the service there.
        systemAddress_ = "unix:path=" + dir_ / "system/none";
    }
    void TearDown() override {
        for (const std::string& pid : {program_, service_})
            if (!pid.empty()) stop(pid);
    }

    // The buses, and the simulated machine with its settings and journal here.
    std::string env(const std::string& journal = "journal.jsonl") const {
        return "DBUS_SESSION_BUS_ADDRESS='" + (session_ ? session_->address() : std::string()) +
               "' DBUS_SYSTEM_BUS_ADDRESS='" + systemAddress_ + "' NOCTURO_PLATFORM=sim NOCTURO_REGISTRY=" +
               dir_ / "r.reg" + " NOCTURO_SIM_JOURNAL=" + dir_ / journal + " ";
    }
    // The program in the background, once it has started; its pid.
    std::string startProgram(const std::string& out, const std::string& environment, const std::string& args) {
        Result started = run(environment + "NOCTURO_SIM_PACING=4 " + bin("nocturo") + " " + args + " </dev/null > " +
                             dir_ / out + " 2>&1 & echo $!");
        const std::string pid = started.out.substr(0, started.out.find('\n'));
        for (int i = 0; i < 400 && !Contains(ReadWholeFile(dir_ / out), "New Login"); ++i) usleep(50000);
        EXPECT_TRUE(Contains(ReadWholeFile(dir_ / out), "New Login")) << ReadWholeFile(dir_ / out);
        return pid;
    }
    void stop(const std::string& pid) {
        run("kill -CONT " + pid + " 2>/dev/null; kill -INT " + pid + " 2>/dev/null; true");
        for (int i = 0; i < 300 && run("kill -0 " + pid + " 2>/dev/null").code == 0; ++i) usleep(50000);
    }
    Output ctl(const std::string& args, const std::string& prefix = "") {
        return nocturo::test::RunCommandApart(prefix + env() + bin("nocturoctl") + " " + args, dir_.path());
    }
    bool journalHas(const std::string& part, int waitMs = 20000) {
        for (int waited = 0; waited <= waitMs; waited += 50) {
            if (Contains(ReadWholeFile(dir_ / "journal.jsonl"), part)) return true;
            usleep(50000);
        }
        return false;
    }

    TempDir dir_;
    std::unique_ptr<nocturo::test::PrivateBus> session_;
    std::unique_ptr<nocturo::test::PrivateBus> system_;
    std::string systemAddress_;
    std::string program_, service_;
};

TEST_F(ControlEndToEnd, NoProgramRunningIsOneLineAndStatusOne) {
    for (const char* command : {"status", "status --json", "postpone 10m", "cancel", "now alarm", "disarm"}) {
        SCOPED_TRACE(command);
        Output r = ctl(command);
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.err, "nocturoctl: no Nocturo is running\n");
        EXPECT_EQ(r.out, "");
    }
    Output service = ctl("status --system");
    EXPECT_EQ(service.code, 1);
    EXPECT_EQ(service.err, "nocturoctl: no Nocturo is running as the system service\n");
}

TEST_F(ControlEndToEnd, BadUsageIsStatusTwoBeforeAnythingIsAsked) {
    for (const char* command : {"postpone", "postpone 10x", "postpone 0s", "postpone 30m1h", "arm reboot at 25:00",
                                "arm reboot in", "arm bogus in 5m", "arm reboot soon 5m", "now", "now bogus",
                                "now /action:reboot", "cancel now", "status --json extra", "disarm --json",
                                "status --frobnicate", "cancel --password"}) {
        SCOPED_TRACE(command);
        Output r = ctl(command);
        EXPECT_EQ(r.code, 2);
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(r.err.rfind("nocturoctl: ", 0), 0u) << r.err;
    }
}

TEST_F(ControlEndToEnd, TheInterfaceIsThereForGdbusAndBusctl) {
    program_ = startProgram("program.out", env(), "--headless");
    const std::string onSession = "DBUS_SESSION_BUS_ADDRESS='" + session_->address() + "' ";
    Result introspect = run(onSession + "gdbus introspect --session --dest io.github.nocturo.nocturo "
                                        "--object-path /io/github/nocturo/nocturo");
    ASSERT_EQ(introspect.code, 0) << introspect.out;
    for (const char* part :
         {"interface io.github.nocturo.nocturo.Control {", "GetState(out a{sv} state);", "Arm(in  s action,",
          "in  x seconds,", "Disarm(in  s password,", "Postpone(in  x seconds,", "Cancel(in  s password,",
          "Now(in  s action,", "Raise();", "StateChanged(a{sv} state);"})
        EXPECT_TRUE(Contains(introspect.out, part)) << part << "\n" << introspect.out;

    Result state = run(onSession + "busctl --user call io.github.nocturo.nocturo /io/github/nocturo/nocturo "
                                   "io.github.nocturo.nocturo.Control GetState");
    ASSERT_EQ(state.code, 0) << state.out;
    EXPECT_EQ(state.out.rfind("a{sv} 11 ", 0), 0u) << state.out;
    for (const char* member : {"\"armed\" b ", "\"secondsLeft\" x ", "\"phase\" s ", "\"due\" s "})
        EXPECT_TRUE(Contains(state.out, member)) << member << "\n" << state.out;

    // Nothing runs: a cancel is refused in the program's words, as a D-Bus error of its own.
    Result cancel = run(onSession + "gdbus call --session --dest io.github.nocturo.nocturo --object-path "
                                    "/io/github/nocturo/nocturo --method io.github.nocturo.nocturo.Control.Cancel ''");
    EXPECT_NE(cancel.code, 0);
    EXPECT_TRUE(Contains(cancel.out, "io.github.nocturo.nocturo.Error.Refused")) << cancel.out;
    Result badArgs = run(onSession + "busctl --user call io.github.nocturo.nocturo /io/github/nocturo/nocturo "
                                     "io.github.nocturo.nocturo.Control Postpone s 600");
    EXPECT_NE(badArgs.code, 0) << badArgs.out;
}

TEST_F(ControlEndToEnd, NocturoctlReadsTheStateAndIsToldOfRefusals) {
    program_ = startProgram("program.out", env(), "--headless");
    Output status = ctl("status");
    ASSERT_EQ(status.code, 0) << status.err;
    for (const char* line : {"armed: ", "mode: ", "action: ", "due: ", "seconds left: ", "phase: "})
        EXPECT_TRUE(Contains(status.out, std::string("\n") + line) || status.out.rfind(line, 0) == 0)
            << line << "\n" << status.out;
    EXPECT_EQ(status.err, "");

    Output json = ctl("status --json");
    ASSERT_EQ(json.code, 0) << json.err;
    EXPECT_EQ(std::count(json.out.begin(), json.out.end(), '\n'), 1);
    const auto parsed = nocturo::platform::Json::parse(json.out.substr(0, json.out.size() - 1));
    const auto& o = parsed.asObject();
    for (const char* key : {"armed", "mode", "action", "due", "secondsLeft", "phase", "running", "clock",
                            "cancelDisabled", "passwordSet", "service"})
        EXPECT_TRUE(o.contains(key)) << key << " in " << json.out;
    EXPECT_FALSE(o.at("armed").asBool());  // a first start: not armed

    // Nothing is running, nothing is due: refusals, one line each.
    for (const char* command : {"cancel", "postpone 10m"}) {
        SCOPED_TRACE(command);
        Output r = ctl(command);
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_GT(r.err.size(), std::string("nocturoctl: \n").size()) << r.err;
    }
}

TEST_F(ControlEndToEnd, NowRunsTheActionInTheRunningProgram) {
    program_ = startProgram("program.out", env(), "--headless");
    Output now = ctl("now alarm");
    EXPECT_EQ(now.code, 0) << now.err;
    EXPECT_TRUE(journalHas("alarm.wav")) << ReadWholeFile(dir_ / "journal.jsonl");
    EXPECT_TRUE(Contains(ReadWholeFile(dir_ / "program.out"), "Alarm")) << ReadWholeFile(dir_ / "program.out");
}

TEST_F(ControlEndToEnd, ASecondStartHandsItsActionOverOrRaisesTheRunningCopy) {
    program_ = startProgram("program.out", env(), "--headless");
    // The second copy has a journal of its own: the running copy is the one that acts.
    Result alarm = run(env("second.jsonl") + "timeout -s INT 30 " + bin("nocturo") + " --headless /action:alarm");
    EXPECT_EQ(alarm.code, 0) << alarm.out;
    EXPECT_FALSE(Contains(alarm.out, "already running")) << alarm.out;
    EXPECT_TRUE(journalHas("alarm.wav")) << ReadWholeFile(dir_ / "journal.jsonl");
    EXPECT_FALSE(Contains(ReadWholeFile(dir_ / "second.jsonl"), "alarm.wav"));

    Result plain = run(env("second.jsonl") + "timeout -s INT 30 " + bin("nocturo") + " --headless");
    EXPECT_EQ(plain.code, 0) << plain.out;

    // A copy that holds the channel but does not answer: "another copy", status 3.
    run("kill -STOP " + program_);
    Result stuck = run(env("second.jsonl") + "timeout -s INT 30 " + bin("nocturo") + " --headless /action:alarm");
    run("kill -CONT " + program_);
    EXPECT_EQ(stuck.code, 3) << stuck.out;
    EXPECT_TRUE(Contains(stuck.out, "Nocturo is already running.")) << stuck.out;
}

// The system service on a bus with the system's rules and the shipped
// policy file; no polkit there, so only root may change anything.
TEST_F(ControlEndToEnd, TheServiceIsReadByEveryoneAndChangedByRootOnly) {
    if (geteuid() != 0) GTEST_SKIP() << "the service's bus name is root's: run as root";
    if (!nocturo::test::FindInPath("setpriv")) GTEST_SKIP() << "setpriv is not installed";
    auto daemon = nocturo::test::FindInPath("dbus-daemon");
    system_ = std::make_unique<nocturo::test::PrivateBus>(
        *daemon, dir_ / "system",
        nocturo::test::SystemBusConfig(
            {std::string(NOCTURO_SOURCE_DIR) + "/packaging/dbus/io.github.nocturo.nocturo.conf"}));
    systemAddress_ = system_->address();
    service_ = startProgram("service.out", env(), "--service");

    Output root = ctl("status --system");
    EXPECT_EQ(root.code, 0) << root.err;
    // Without --system, and no program in the session: the service answers.
    Output fallback = ctl("status");
    EXPECT_EQ(fallback.code, 0) << fallback.err;
    EXPECT_EQ(fallback.out, root.out);

    // Another user reads, but may not change.
    run("chmod 755 " + dir_.path() + " && chmod 777 " + dir_ / "home");
    const std::string nobody = "setpriv --reuid=65534 --regid=65534 --clear-groups env HOME=" + dir_ / "home" + " ";
    auto asNobody = [&](const std::string& args) {
        return nocturo::test::RunCommandApart(nobody + "DBUS_SYSTEM_BUS_ADDRESS='" + systemAddress_ +
                                                  "' DBUS_SESSION_BUS_ADDRESS='unix:path=/nonexistent' "
                                                  "NOCTURO_PLATFORM=sim NOCTURO_REGISTRY=" + dir_ / "home/r.reg " +
                                                  bin("nocturoctl") + " " + args + " </dev/null",
                                              dir_ / "home");
    };
    Output read = asNobody("status --system");
    EXPECT_EQ(read.code, 0) << read.err;
    EXPECT_EQ(read.out, root.out);
    Output change = asNobody("postpone 10m --system");
    EXPECT_EQ(change.code, 1);
    EXPECT_TRUE(Contains(change.err, "the permission could not be checked (polkit: ")) << change.err;
    Result introspect = run(nobody + "DBUS_SYSTEM_BUS_ADDRESS='" + systemAddress_ +
                            "' gdbus introspect --system --dest io.github.nocturo.nocturo "
                            "--object-path /io/github/nocturo/nocturo");
    EXPECT_TRUE(Contains(introspect.out, "interface io.github.nocturo.nocturo.Control")) << introspect.out;
    // The name is root's: an ordinary user's copy of the service cannot take it.
    Result owner = run(nobody + "DBUS_SYSTEM_BUS_ADDRESS='" + systemAddress_ +
                       "' busctl --system call org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus "
                       "RequestName su io.github.nocturo.nocturo 0");
    EXPECT_NE(owner.code, 0) << owner.out;
}

// Every change goes through the window's own handlers: what the window does
// and refuses, the channel does and refuses.
class ControlChanges : public ControlEndToEnd {
protected:
    void startAndArm(const std::string& password = "") {
        program_ = startProgram("program.out", env(), "--headless");
        Output arm = ctl("arm reboot in 30m" + (password.empty() ? "" : " --password " + password));
        ASSERT_EQ(arm.code, 0) << arm.err;
        EXPECT_TRUE(Contains(arm.out, "due: ")) << arm.out;
    }
    long long secondsLeft() {
        Output json = ctl("status --json");
        const auto v = nocturo::platform::Json::parse(json.out.substr(0, json.out.find('\n')));
        const auto* left = v.asObject().find("secondsLeft");
        return left && !left->isNull() ? static_cast<long long>(left->asNumber()) : -1;
    }
};

TEST_F(ControlChanges, ArmPostponeAndDisarm) {
    startAndArm();
    Output status = ctl("status");
    EXPECT_TRUE(Contains(status.out, "armed: yes\n")) << status.out;
    const long long left = secondsLeft();
    EXPECT_GT(left, 1790);
    EXPECT_LE(left, 1800);
    // Listeners hear of the change.
    const std::string onSession = "DBUS_SESSION_BUS_ADDRESS='" + session_->address() + "' ";
    Result monitor = run(onSession + "gdbus monitor --session --dest io.github.nocturo.nocturo > " +
                         dir_ / "monitor.out" + " 2>&1 & echo $!");
    const std::string monitorPid = monitor.out.substr(0, monitor.out.find('\n'));
    for (int i = 0; i < 100 && !Contains(ReadWholeFile(dir_ / "monitor.out"), "Monitoring"); ++i) usleep(20000);
    Output postpone = ctl("postpone 10m");
    EXPECT_EQ(postpone.code, 0) << postpone.err;
    for (int i = 0; i < 100 && !Contains(ReadWholeFile(dir_ / "monitor.out"), ".StateChanged"); ++i) usleep(20000);
    run("kill " + monitorPid);
    EXPECT_TRUE(Contains(ReadWholeFile(dir_ / "monitor.out"), "io.github.nocturo.nocturo.Control.StateChanged"))
        << ReadWholeFile(dir_ / "monitor.out");
    const long long later = secondsLeft();
    EXPECT_GT(later, left + 590);
    EXPECT_LE(later, left + 600);
    Output disarm = ctl("disarm");
    EXPECT_EQ(disarm.code, 0) << disarm.err;
    EXPECT_TRUE(Contains(ctl("status").out, "armed: no\n"));
}

TEST_F(ControlChanges, ACancelEndsTheRunningCountUnlessCancelIsDisabled) {
    ASSERT_EQ(run(env() + bin("nocturoctl") + " settings set user txtCounter 30").code, 0);
    startAndArm();
    ASSERT_EQ(ctl("now default").code, 0);
    usleep(500000);
    Output cancel = ctl("cancel");
    EXPECT_EQ(cancel.code, 0) << cancel.err;
    const Output after = ctl("status");
    EXPECT_TRUE(Contains(after.out, "phase: -\n")) << after.out << after.err;
    usleep(2000000);
    EXPECT_FALSE(Contains(ReadWholeFile(dir_ / "journal.jsonl"), "ExitWindowsEx"));
    stop(program_);
    program_.clear();

    ASSERT_EQ(run(env() + bin("nocturoctl") + " settings set user chkDisableCancel 1 --dword").code, 0);
    program_ = startProgram("program2.out", env(), "--headless");
    ASSERT_EQ(ctl("now default").code, 0);
    usleep(500000);
    Output refused = ctl("cancel");
    EXPECT_EQ(refused.code, 1);
    EXPECT_EQ(std::count(refused.err.begin(), refused.err.end(), '\n'), 1) << refused.err;
    // The count runs on to the action.
    EXPECT_TRUE(journalHas("ExitWindowsEx")) << ReadWholeFile(dir_ / "journal.jsonl");
}

TEST_F(ControlChanges, TheOptionsPasswordGuardsChanges) {
    ASSERT_EQ(run(env() + bin("nocturoctl") + " password set s3cret").code, 0);
    startAndArm("s3cret");
    Output none = ctl("disarm");
    EXPECT_EQ(none.code, 1);
    Output wrong = ctl("disarm --password guess");
    EXPECT_EQ(wrong.code, 1);
    EXPECT_TRUE(Contains(ctl("status").out, "armed: yes\n"));
    Output fromEnvironment = ctl("disarm", "NOCTURO_OPTIONS_PASSWORD=s3cret ");
    EXPECT_EQ(fromEnvironment.code, 0) << fromEnvironment.err;
    EXPECT_TRUE(Contains(ctl("status").out, "armed: no\n"));
}

}  // namespace

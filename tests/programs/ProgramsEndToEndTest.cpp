// The built programs on the simulated machine, as an administrator would run them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/common/RegStore.h"
#include "support/RunCommand.h"
#include "support/TestSupport.h"

using nocturo::test::ReadWholeFile;
using nocturo::test::TempDir;

namespace {
using Result = nocturo::test::CommandResult;
Result run(const std::string& command) { return nocturo::test::RunCommand(command); }

std::string bin(const char* name) { return std::string(NOCTURO_BUILD_DIR) + "/bin/" + name; }

// Standard output and standard error apart.
using Output = nocturo::test::SplitOutput;
Output runApart(const std::string& command, const TempDir& dir) {
    return nocturo::test::RunCommandApart(command, dir.path());
}

// The simulated machine with its settings and journal in dir.
std::string simEnv(const TempDir& dir) {
    return "NOCTURO_PLATFORM=sim NOCTURO_SIM_PACING=0 NOCTURO_REGISTRY=" + dir / "r.reg" +
           " NOCTURO_SIM_JOURNAL=" + dir / "journal.jsonl" + " ";
}

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }
}  // namespace

TEST(Programs, HeadlessRebootOnTheSimulatedMachineJournalsTheForcedRestart) {
    TempDir dir;
    const std::string env = "NOCTURO_PLATFORM=sim NOCTURO_SIM_PACING=0 NOCTURO_REGISTRY=" + dir / "r.reg" +
                            " NOCTURO_SIM_JOURNAL=" + dir / "journal.jsonl" + " ";
    Result r = run(env + bin("nocturo") + " --headless /action:reboot");
    EXPECT_EQ(r.code, 0) << r.out;
    std::string journal = ReadWholeFile(dir / "journal.jsonl");
    auto privilege = journal.find("{\"call\":\"AdjustTokenPrivileges\",\"privilege\":\"SeShutdownPrivilege\"}");
    auto exitCall = journal.find("{\"call\":\"ExitWindowsEx\",\"flags\":7,\"reserved\":4294967295}");
    ASSERT_NE(privilege, std::string::npos) << journal;
    ASSERT_NE(exitCall, std::string::npos) << journal;
    EXPECT_LT(privilege, exitCall);
    auto started = r.out.find("Nocturo started");
    auto login = r.out.find("New Login");
    auto restart = r.out.find("Restart");
    ASSERT_NE(restart, std::string::npos) << r.out;
    EXPECT_LT(started, login);
    EXPECT_LT(login, restart);
}

TEST(Programs, ASecondCopyOnTheSameStoreIsRefused) {
    TempDir dir;
    const std::string env = "NOCTURO_PLATFORM=sim NOCTURO_SIM_PACING=0 NOCTURO_REGISTRY=" + dir / "r.reg" +
                            " NOCTURO_SIM_JOURNAL=" + dir / "j.jsonl" + " ";
    // The first copy holds the store while it runs; its pid comes back to end it.
    Result first = run(env + "NOCTURO_SIM_PACING=4 " + bin("nocturo") + " --headless > " + dir / "first.out" +
                       " 2>&1 & echo $!");
    const std::string pid = first.out.substr(0, first.out.find('\n'));
    ASSERT_FALSE(pid.empty());
    // Only once it has started does it hold the store; a second copy tried
    // before that would itself run on (bounded by timeout all the same).
    for (int i = 0; i < 600 && ReadWholeFile(dir / "first.out").find("Nocturo started") == std::string::npos; ++i)
        usleep(50000);
    Result second = run(env + "timeout -s INT 30 " + bin("nocturo") + " --headless");
    EXPECT_EQ(second.code, 3) << second.out;
    run("kill -INT " + pid + "; true");
    // It ends once its window has loaded, saving its settings on the way
    // out: let it finish before the folder goes.
    for (int i = 0; i < 300 && run("kill -0 " + pid + " 2>/dev/null").code == 0; ++i) usleep(50000);
}

TEST(Programs, CtlSetsAndReadsSettingsInTheSharedFile) {
    TempDir dir;
    const std::string env = "NOCTURO_REGISTRY=" + dir / "r.reg" + " ";
    EXPECT_EQ(run(env + bin("nocturoctl") + " settings set user txtHour 03").code, 0);
    Result r = run(env + bin("nocturoctl") + " settings get user txtHour");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "03\n");
    const std::string file = ReadWholeFile(dir / "r.reg");
    EXPECT_EQ(file.rfind("\xFF\xFE", 0), 0u);  // UTF-16LE with BOM, as regedit writes it
    EXPECT_NE(nocturo::platform::RegFileText(file).find("Windows Registry Editor Version 5.00\r\n"), std::string::npos);
    EXPECT_EQ(run(env + bin("nocturoctl") + " settings get user nothing").code, 1);
    Result bad = run(env + bin("nocturoctl") + " settings");
    EXPECT_EQ(bad.code, 2);
    EXPECT_EQ(std::count(bad.out.begin(), bad.out.end(), '\n'), 1);
}

TEST(Programs, HelpAndVersion) {
    EXPECT_EQ(run(bin("nocturo") + " --help").code, 0);
    EXPECT_EQ(run(bin("nocturo") + " --bogus").code, 2);
    // -h is --help, for every program; other words are refused as --bogus is.
    // (On the simulated machine: a program that took them for a start would
    // change nothing.)
    for (const char* program : {"nocturo", "lockpc", "lockpcscr"}) {
        SCOPED_TRACE(program);
        TempDir dir;
        const std::string safe = simEnv(dir) + "timeout -s INT 20 ";
        Result help = run(safe + bin(program) + " -h");
        EXPECT_EQ(help.code, 0);
        EXPECT_EQ(help.out.rfind(std::string("Usage: ") + program + " ", 0), 0u) << help.out;
        Result word = run(safe + bin(program) + " --headless help");
        EXPECT_EQ(word.code, 2);
        EXPECT_EQ(word.out, std::string(program) + ": unexpected argument help (try --help)\n");
    }
    Result v = run(bin("nocturoctl") + " --version");
    EXPECT_EQ(v.out, "nocturoctl 1.0.0\n");
}

TEST(Programs, TheHeadlessCountdownPrintsEveryCountFromTheFirst) {
    TempDir dir;
    const std::string env = "NOCTURO_PLATFORM=sim NOCTURO_SIM_PACING=0 NOCTURO_REGISTRY=" + dir / "r.reg" +
                            " NOCTURO_SIM_JOURNAL=" + dir / "j.jsonl" + " ";
    Result r = run(env + bin("nocturo") + " --headless /action:default");
    EXPECT_EQ(r.code, 0) << r.out;
    const auto first = r.out.find("  Shut Down in ");
    ASSERT_NE(first, std::string::npos) << r.out;
    EXPECT_EQ(r.out.substr(first, 16), "  Shut Down in 9");
    EXPECT_EQ(r.out.find(" in -"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  Shut Down in 0"), std::string::npos) << r.out;
}

TEST(Programs, WhatNocturoctlStoresWhileTheProgramRunsSurvivesItsEnd) {
    TempDir dir;
    const std::string env = "NOCTURO_PLATFORM=sim NOCTURO_REGISTRY=" + dir / "r.reg" +
                            " NOCTURO_SIM_JOURNAL=" + dir / "j.jsonl" + " ";
    Result first = run(env + "NOCTURO_SIM_PACING=4 " + bin("nocturo") + " --headless > " + dir / "out" +
                       " 2>&1 & echo $!");
    const std::string pid = first.out.substr(0, first.out.find('\n'));
    ASSERT_FALSE(pid.empty());
    // Once the program is up (its log says so), the administrator changes things.
    for (int i = 0; i < 200 && ReadWholeFile(dir / "out").find("New Login") == std::string::npos; ++i) usleep(50000);
    EXPECT_EQ(run(env + bin("nocturoctl") + " password set s3cret").code, 0);
    EXPECT_EQ(run(env + bin("nocturoctl") + " settings set user txtHour 04").code, 0);
    EXPECT_EQ(run(env + bin("nocturoctl") + " settings set user chkSound 0 --dword").code, 0);
    run("kill -TERM " + pid + "; true");
    for (int i = 0; i < 300 && run("kill -0 " + pid + " 2>/dev/null").code == 0; ++i) usleep(50000);
    ASSERT_NE(ReadWholeFile(dir / "out").find("Nocturo ended"), std::string::npos);
    EXPECT_EQ(run(env + bin("nocturoctl") + " settings get user txtHour").out, "04\n");
    EXPECT_EQ(run(env + bin("nocturoctl") + " settings get user chkSound").out, "0\n");
    const Result pw = run(env + bin("nocturoctl") + " settings get machine poption");
    const std::string stored = pw.out.substr(0, pw.out.find('\n'));
    EXPECT_EQ(run(env + bin("nocturoctl") + " decrypt3 " + stored).out, "s3cret\n");
    EXPECT_EQ(run(env + bin("nocturoctl") + " settings get user Crashtime").out, "\n");
}

TEST(Programs, NocturoRefusesWhatItDoesNotKnowBeforeAnythingStarts) {
    struct Case {
        const char* args;
        const char* line;
    };
    const Case cases[] = {
        {"/action:rebott",
         "nocturo: unknown action 'rebott'; known: default, shutdown, poweroff, logoff, reboot, suspend, "
         "hibernate, lock, alarm, program (try --help)\n"},
        {"/ACTION:Reboot /option:fast", "nocturo: unknown /option: value 'fast'; known: poweroff, noquestion (try --help)\n"},
        {"/action:reboot /action:suspend", "nocturo: /action: is given twice (try --help)\n"},
        {"help", "nocturo: unexpected argument help (try --help)\n"},
        {"/action:reboot now", "nocturo: unexpected argument now (try --help)\n"},
        {"-x /action:reboot", "nocturo: unexpected argument -x (try --help)\n"},
    };
    // On the terminal and on the desktop alike: nothing starts, so nothing
    // is armed, logged, stored or journalled.
    for (const bool desktop : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.args) + (desktop ? " (desktop)" : " (headless)"));
            TempDir dir;
            const std::string how = desktop ? "QT_QPA_PLATFORM=offscreen " : "";
            Output o = runApart(simEnv(dir) + how + "timeout -s INT 20 " + bin("nocturo") +
                                    (desktop ? " " : " --headless ") + c.args,
                                dir);
            EXPECT_EQ(o.code, 2);
            EXPECT_EQ(o.err, c.line);
            EXPECT_EQ(o.out, "");
            EXPECT_FALSE(exists(dir / "journal.jsonl")) << ReadWholeFile(dir / "journal.jsonl");
            EXPECT_FALSE(exists(dir / "r.reg"));
        }
    }
}

TEST(Programs, EveryNamedActionIsWhatTheSimulatedMachineDoesFirst) {
    struct Case {
        const char* action;
        const char* firstCall;  // the start of its journal line
        const char* logged;
        bool startProgram = false;  // "Start program and wait for exit before def. Action" ticked
    };
    const Case cases[] = {
        {"suspend", "{\"call\":\"SetSuspendState\",\"hibernate\":0,", "Suspend PC"},
        {"Hibernate", "{\"call\":\"SetSuspendState\",\"hibernate\":1,", "Hibernate PC"},
        {"lock", "{\"call\":\"LockWorkStation\"}", "Lock PC"},
        {"alarm", "{\"call\":\"PlaySound\",\"name\":\"" NOCTURO_BUILD_DIR "/bin/../Common/sound/alarm.wav\"", "Alarm"},
        {"program", "{\"call\":\"StartProgram\",\"program\":\"/bin/true\",", "Program finished", true},
    };
    const std::vector<std::string> acting = {"ExitWindowsEx", "SetSuspendState", "LockWorkStation", "PlaySound",
                                             "StartProgram"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.action);
        TempDir dir;
        const std::string env = simEnv(dir);
        if (c.startProgram) {
            ASSERT_EQ(run(env + bin("nocturoctl") + " settings set user chkStartProgram 1 --dword").code, 0);
            ASSERT_EQ(run(env + bin("nocturoctl") + " settings set user txtStartProgram /bin/true").code, 0);
        }
        Result started = run(env + bin("nocturo") + " --headless /action:" + c.action + " > " + dir / "out" +
                             " 2>&1 & echo $!");
        const std::string pid = started.out.substr(0, started.out.find('\n'));
        ASSERT_FALSE(pid.empty());
        for (int i = 0; i < 200 && ReadWholeFile(dir / "out").find(c.logged) == std::string::npos; ++i) usleep(50000);
        run("kill -INT " + pid + "; true");
        for (int i = 0; i < 300 && run("kill -0 " + pid + " 2>/dev/null").code == 0; ++i) usleep(50000);
        EXPECT_NE(ReadWholeFile(dir / "out").find(c.logged), std::string::npos) << ReadWholeFile(dir / "out");
        // The first thing done to the machine is the named action.
        std::string first;
        const std::string journal = ReadWholeFile(dir / "journal.jsonl");
        for (size_t at = 0; at < journal.size() && first.empty();) {
            const size_t end = journal.find('\n', at);
            const std::string line = journal.substr(at, end - at);
            for (const auto& call : acting)
                if (line.rfind("{\"call\":\"" + call + "\"", 0) == 0) first = line;
            at = end == std::string::npos ? journal.size() : end + 1;
        }
        EXPECT_EQ(first.rfind(c.firstCall, 0), 0u) << first;
    }
}

// The systemd service's program: the schedule of the machine tree runs as
// soon as it is ready, with no start event to wait for; the same store
// beside it in an ordinary program only watches the service.
TEST(Programs, TheServiceRunsTheMachinesScheduleAtOnce) {
    TempDir dir;
    const std::string env = simEnv(dir);
    for (const char* set : {"settings set machine chkNtService 1 --dword", "settings set user optShutdownTime0 0 --dword",
                            "settings set user optShutdownTime2 -1 --dword", "settings set user Armed 1 --dword",
                            "settings set user txtStartActionIn 1"}) {
        Result r = run(env + bin("nocturoctl") + " " + set);
        ASSERT_EQ(r.code, 0) << set << ": " << r.out;
    }
    Result service = run(env + "timeout 60 " + bin("nocturo") + " --service </dev/null");
    EXPECT_EQ(service.code, 0) << service.out;
    EXPECT_NE(ReadWholeFile(dir / "journal.jsonl").find("{\"call\":\"ExitWindowsEx\""), std::string::npos)
        << service.out;

    run("rm -f " + dir / "journal.jsonl");
    Result watching = run(env + "timeout -s INT 3 " + bin("nocturo") + " --headless </dev/null");
    const std::string journal = ReadWholeFile(dir / "journal.jsonl");
    EXPECT_EQ(journal.find("ExitWindowsEx"), std::string::npos) << watching.out;
    EXPECT_NE(journal.find("{\"call\":\"ServiceState\"}"), std::string::npos) << watching.out;
}

// The built programs on the simulated machine, as an administrator would run them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/common/RegStore.h"
#include "support/RunCommand.h"
#include "support/TestSupport.h"

using nocturo::test::ReadWholeFile;
using nocturo::test::TempDir;

namespace {
using Result = nocturo::test::CommandResult;
Result run(const std::string& command) { return nocturo::test::RunCommand(command); }

std::string bin(const char* name) { return std::string(NOCTURO_BUILD_DIR) + "/bin/" + name; }
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

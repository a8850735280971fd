#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "platform/sim/SimSessionPower.h"
#include "support/TestSupport.h"

using namespace nocturo::platform;
using nocturo::test::ReadWholeFile;
using nocturo::test::TempDir;

TEST(SimSessionPower, SessionEndHookGetsTheFlagsAfterTheJournalLine) {
    Journal journal;
    SimSessionPower power(journal);
    std::vector<std::uint32_t> flags;
    std::size_t entriesAtEnd = 0;
    power.setSessionEndHook([&](std::uint32_t f) {
        flags.push_back(f);
        entriesAtEnd = journal.entries().size();
    });
    power.exitWindowsEx(ewx::Shutdown | ewx::Reboot, 0xFFFFFFFFu);
    power.exitWindowsEx(ewx::Logoff | ewx::Force, 0xFFFFFFFFu);
    power.exitWindowsEx(ewx::Shutdown | ewx::ForceIfHung, 0);
    EXPECT_EQ(flags, (std::vector<std::uint32_t>{3, 4, 17}));
    EXPECT_EQ(entriesAtEnd, 3u);
    EXPECT_EQ(Json(journal.entries()[2]).dump(), R"({"call":"ExitWindowsEx","flags":17,"reserved":0})");
}

TEST(SimSessionPower, OtherCallsAreOnlyJournalled) {
    Journal journal;
    SimSessionPower power(journal);
    bool ended = false;
    power.setSessionEndHook([&](std::uint32_t) { ended = true; });
    power.enableShutdownPrivilege();
    power.setSuspendState(true, false, true);
    power.terminateShell();
    power.lockWorkstation();
    EXPECT_FALSE(ended);
    ASSERT_EQ(journal.entries().size(), 4u);
    EXPECT_EQ(Json(journal.entries()[1]).dump(),
              R"({"call":"SetSuspendState","hibernate":1,"force":0,"disableWakeEvent":1})");
    EXPECT_EQ(journal.calls(),
              (std::vector<std::string>{"AdjustTokenPrivileges", "SetSuspendState", "TerminateShell", "LockWorkStation"}));
}

TEST(SimSessionPower, RefusedCallsAreJournalledThenThrowAndTheSessionGoesOn) {
    Journal journal;
    SimSessionPower power(journal);
    bool ended = false;
    power.setSessionEndHook([&](std::uint32_t) { ended = true; });
    power.setRefuse(true);
    try {
        power.exitWindowsEx(ewx::Shutdown, 0xFFFFFFFFu);
        FAIL() << "expected a refusal";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::SystemCallFailed);
        EXPECT_NE(std::string(e.what()).find("refused"), std::string::npos);
    }
    EXPECT_FALSE(ended);
    EXPECT_THROW(power.enableShutdownPrivilege(), Error);
    EXPECT_THROW(power.setSuspendState(false, false, false), Error);
    EXPECT_THROW(power.terminateShell(), Error);
    EXPECT_THROW(power.lockWorkstation(), Error);
    EXPECT_EQ(journal.entries().size(), 5u);
    power.setRefuse(false);
    power.exitWindowsEx(ewx::Shutdown, 0xFFFFFFFFu);
    EXPECT_TRUE(ended);
}

TEST(SimSessionPowerDeathTest, DefaultSessionEndEndsTheProcessAfterTheLineIsWritten) {
    TempDir dir;
    const std::string path = dir / "sim-journal.jsonl";
    EXPECT_EXIT(
        {
            Journal journal(path);
            SimSessionPower power(journal);
            power.enableShutdownPrivilege();
            power.exitWindowsEx(ewx::PowerOff | ewx::Shutdown | ewx::Force, 0xFFFFFFFFu);
            std::exit(3);  // not reached: the session has ended
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(ReadWholeFile(path),
              "{\"call\":\"AdjustTokenPrivileges\",\"privilege\":\"SeShutdownPrivilege\"}\n"
              "{\"call\":\"ExitWindowsEx\",\"flags\":13,\"reserved\":4294967295}\n");
}

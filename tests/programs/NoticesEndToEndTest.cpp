// The program itself on the simulated machine, with a stand-in for the
// desktop's notification service on a bus of the test's own: the notices
// before a shut-down, and the user's "Postpone 10 min" on one of them.
#include <gtest/gtest.h>

#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/common/Json.h"
#include "support/RunCommand.h"
#include "support/TestSupport.h"

#if NOCTURO_HAVE_SDBUS
#include "support/FakeNotifications.h"
#include "support/PrivateBus.h"

using nocturo::test::FakeNotifications;
using nocturo::test::ReadWholeFile;
using nocturo::test::TempDir;

namespace {

std::string bin(const char* name) { return std::string(NOCTURO_BUILD_DIR) + "/bin/" + name; }

nocturo::test::CommandResult run(const std::string& command) { return nocturo::test::RunCommand(command); }

// The journal's entries of one call, in order.
std::vector<nocturo::platform::JsonObject> entries(const std::string& journal, const std::string& call) {
    std::vector<nocturo::platform::JsonObject> out;
    std::size_t start = 0;
    while (start < journal.size()) {
        std::size_t end = journal.find('\n', start);
        if (end == std::string::npos) end = journal.size();
        const std::string line = journal.substr(start, end - start);
        start = end + 1;
        if (line.empty()) continue;
        auto entry = nocturo::platform::Json::parse(line).asObject();
        if (entry.at("call").asString() == call) out.push_back(entry);
    }
    return out;
}

}  // namespace

TEST(ProgramNotices, AShutDownSixMinutesAheadIsToldTwiceAndPostponeMovesItByTenMinutes) {
    auto daemon = nocturo::test::FindInPath("dbus-daemon");
    if (!daemon) GTEST_SKIP() << "dbus-daemon is not installed";
    TempDir dir;
    nocturo::test::PrivateBus bus(*daemon, dir.path());
    FakeNotifications fake(bus.address());

    // Tuesday 8 December 2026, 21:00:00 on the simulated clock, a hundred and
    // twenty times real speed; a shut-down at 21:06:00 without a final count.
    const std::string env = "NOCTURO_PLATFORM=sim NOCTURO_REGISTRY=" + dir / "r.reg" +
                            " NOCTURO_SIM_JOURNAL=" + dir / "journal.jsonl" +
                            " NOCTURO_SIM_START=2026-12-08T21:00:00 DBUS_SESSION_BUS_ADDRESS='" + bus.address() +
                            "' ";
    for (const char* set : {"settings set user optShutdownTime0 -1 --dword", "settings set user optActions0 -1 --dword",
                            "settings set user Armed 1 --dword", "settings set user txtHour 21",
                            "settings set user txtMinute 06", "settings set user txtSEC 00",
                            "settings set user txtCounter 0"}) {
        auto r = run(env + bin("nocturoctl") + " " + set);
        ASSERT_EQ(r.code, 0) << set << ": " << r.out;
    }
    auto started = run(env + "NOCTURO_SIM_PACING=120 timeout -s INT 120 " + bin("nocturo") + " --headless </dev/null > " +
                       dir / "out" + " 2>&1 & echo $!");
    const std::string pid = started.out.substr(0, started.out.find('\n'));
    ASSERT_FALSE(pid.empty());

    // 21:01:00, five minutes ahead: the user postpones.
    ASSERT_TRUE(fake.waitForNotified(1, std::chrono::seconds(30))) << ReadWholeFile(dir / "out");
    const auto first = fake.notified().at(0);
    EXPECT_EQ(first.appName, "Nocturo");
    EXPECT_EQ(first.summary, "Nocturo");
    EXPECT_EQ(first.body, "The computer shuts down at 21:06 (in 5 minutes).");
    EXPECT_EQ(first.actions, (std::vector<std::string>{"postpone", "Postpone 10 min", "cancel", "Cancel"}));
    fake.invoke(first.id, "postpone");

    // The program ends with the session it ended.
    for (int i = 0; i < 600 && run("kill -0 " + pid + " 2>/dev/null").code == 0; ++i) usleep(100000);
    ASSERT_NE(run("kill -0 " + pid + " 2>/dev/null").code, 0) << "still running";
    const std::string out = ReadWholeFile(dir / "out");
    const std::string journal = ReadWholeFile(dir / "journal.jsonl");

    std::vector<std::string> bodies;
    for (const auto& n : fake.notified()) bodies.push_back(n.body);
    EXPECT_EQ(bodies, (std::vector<std::string>{"The computer shuts down at 21:06 (in 5 minutes).",
                                                "The computer shuts down at 21:16 (in 5 minutes).",
                                                "The computer shuts down at 21:16 (in 1 minute)."}))
        << out;
    // The first notice was taken away when its moment moved.
    EXPECT_EQ(fake.closed(), std::vector<std::uint32_t>{first.id});

    // The journal: each notice with the simulated time, the choice, and the
    // power call after the last notice of the moved moment.
    std::vector<std::string> shownAt;
    for (const auto& e : entries(journal, "Notify")) shownAt.push_back(e.at("clock").asString());
    EXPECT_EQ(shownAt, (std::vector<std::string>{"2026-12-08T21:01:00", "2026-12-08T21:11:00", "2026-12-08T21:15:00"}))
        << journal;
    ASSERT_EQ(entries(journal, "ActionInvoked").size(), 1u) << journal;
    EXPECT_EQ(entries(journal, "ActionInvoked")[0].at("key").asString(), "postpone");
    ASSERT_EQ(entries(journal, "ExitWindowsEx").size(), 1u) << journal;
    EXPECT_GT(journal.find("ExitWindowsEx"), journal.rfind("\"Notify\"")) << journal;
    EXPECT_NE(out.find("Postponed by 10 min: Shut Down is now due at 21:16:00"), std::string::npos) << out;
    // The action log's line of the shut-down: at the moved time.
    EXPECT_NE(out.find("08.12.2026 21:16:00  Shutdown "), std::string::npos) << out;
    EXPECT_EQ(out.find("check Error log"), std::string::npos) << out;
}

#endif

// Random interleavings of starts, cancels, answers, clock changes and the end
// of the program: the invariants of the action run hold in every one.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/ActionSoak.h"

TEST(ActionSoak, EveryInterleavingKeepsTheInvariants) {
    // CI runs a bounded count; bench_ActionSoak runs many more.
    int count = 2000;
    if (const char* env = std::getenv("NOCTURO_SOAK_COUNT")) count = std::atoi(env);
    int runs = 0, cancels = 0, calls = 0, ends = 0;
    for (int seed = 1; seed <= count; ++seed) {
        const auto out = nocturo::test::RunActionSoak(static_cast<std::uint32_t>(seed));
        ASSERT_TRUE(out.ok) << out.failure;
        runs += out.runs;
        cancels += out.cancels;
        calls += out.sessionCalls;
        ends += out.ended ? 1 : 0;
    }
    std::printf("%d interleavings: %d runs, %d cancels, %d session calls, %d ends\n", count, runs, cancels, calls, ends);
    // The scenarios do reach every kind of outcome.
    EXPECT_GT(runs, count / 2);
    EXPECT_GT(cancels, count / 20);
    EXPECT_GT(calls, count / 10);
    EXPECT_GT(ends, count / 10);
}

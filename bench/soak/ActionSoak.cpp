// The action run's invariants over many random interleavings of starts,
// cancels, answers, clock changes and the end of the program.
// Usage: bench_ActionSoak [COUNT] [FIRST-SEED]   (default 100000, 1)
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "support/ActionSoak.h"

int main(int argc, char** argv) {
    const long count = argc > 1 ? std::atol(argv[1]) : 100000;
    const long first = argc > 2 ? std::atol(argv[2]) : 1;
    long runs = 0, cancels = 0, calls = 0, ends = 0;
    const auto t0 = std::chrono::steady_clock::now();
    for (long seed = first; seed < first + count; ++seed) {
        const auto out = nocturo::test::RunActionSoak(static_cast<std::uint32_t>(seed));
        if (!out.ok) {
            std::printf("broken: %s\n", out.failure.c_str());
            return 1;
        }
        runs += out.runs;
        cancels += out.cancels;
        calls += out.sessionCalls;
        ends += out.ended ? 1 : 0;
    }
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("action soak: %ld interleavings held every invariant in %.1f s (%ld runs, %ld cancels, %ld session "
                "calls, %ld ends)\n",
                count, s, runs, cancels, calls, ends);
    return 0;
}

#pragma once
// Random interleavings of everything that starts, cancels or ends an action,
// on the simulated machine, with the invariants the action run keeps:
//   - a session call (end the session, suspend, lock) only by a run that was
//     started and not cancelled, and at most one per run;
//   - nothing called and nothing logged after "Nocturo ended";
//   - after an orderly end the crash marker is empty and the program has ended;
//   - no failure in the error log.
#include <cstdint>
#include <string>

namespace nocturo::test {

struct SoakOutcome {
    bool ok = true;
    std::string failure;  // the first broken invariant, with the scenario
    int runs = 0;         // action texts logged (runs that reached their countdown)
    int cancels = 0;
    int sessionCalls = 0;
    bool ended = false;
};

// One interleaving, fully determined by its seed.
SoakOutcome RunActionSoak(std::uint32_t seed);

}  // namespace nocturo::test

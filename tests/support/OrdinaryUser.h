#pragma once
// Running a check as an ordinary user, for whom permissions count, also when
// the tests run as root (as CI does): then in a child process that has become
// "nobody".
#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>

namespace nocturo::test {

inline constexpr uid_t Nobody = 65534;

struct Outcome {
    bool threw = false;
    long number = 0;  // the platform::Error's number when it threw one, -1 for anything else
    std::string message;
};

// Runs op as an ordinary user: ourselves when we are one; as root, in a child
// process that has become "nobody", after giving folder (and everything in it)
// to that user. nullopt when the change of user is not possible here.
std::optional<Outcome> RunAsOrdinaryUser(const std::string& folder, const std::function<void()>& op);

}  // namespace nocturo::test

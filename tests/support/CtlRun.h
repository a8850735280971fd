#pragma once
// nocturoctl run in the test's own world: its output and errors caught,
// emptied before each run.
#include <sstream>
#include <string>
#include <vector>

#include "programs/support/Ctl.h"
#include "support/TestWorld.h"

namespace nocturo::test {

struct CtlRun {
    TestWorld w{platform::PathStyle::Posix};
    std::ostringstream out, err;
    std::istringstream in;  // what standard input holds
    int run(std::vector<std::string> args) {
        out.str("");
        err.str("");
        return programs::RunCtl(args, out, err, in);
    }
};

}  // namespace nocturo::test

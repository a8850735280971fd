#pragma once
// The administrator's command line, on the runtime installed by the caller.
#include <iostream>
#include <string>
#include <vector>

namespace nocturo::programs {

// Exit codes: 0 success, 1 not found or failed, 2 bad usage; every failure
// is one line on err. `in` gives "password set --stdin" its line.
int RunCtl(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, std::istream& in = std::cin);
std::string CtlUsage();

}  // namespace nocturo::programs

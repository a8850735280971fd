#pragma once
// nocturoctl's commands for the running program, through its control
// channel: status, arm, disarm, postpone, cancel and now.
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "platform/IControl.h"

namespace nocturo::programs {

// Whether args[0] is one of these commands.
bool IsControlCommand(const std::string& command);

// Reaches the channel of a scope; the default is the system's own.
using ControlClientMaker = std::function<std::unique_ptr<platform::IControlClient>(platform::ControlScope)>;

// Runs one of them. Exit codes: 0 done; 1 no program running or answering,
// or the program refused (its words on err); 2 bad usage.
int RunControlCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                      const ControlClientMaker& makeClient = {});

}  // namespace nocturo::programs

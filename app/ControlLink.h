#pragma once
// The running program's end of the control channel, and a second start's
// use of it: the program offers the channel once its window has loaded; a
// copy started while another runs hands its command line over instead of
// ending with "another copy".
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/IControl.h"

namespace nocturo {

class FrmMain;

class ControlLink {
public:
    using ServerMaker = std::function<std::unique_ptr<platform::IControlServer>(platform::ControlScope)>;
    using ClientMaker = std::function<std::unique_ptr<platform::IControlClient>(platform::ControlScope)>;
    ControlLink(FrmMain& form, ServerMaker makeServer, ClientMaker makeClient);
    ~ControlLink();
    ControlLink(const ControlLink&) = delete;
    ControlLink& operator=(const ControlLink&) = delete;

    // Offers the channel: the system service's when the window is the
    // service's, else the session's. False when it could not (problem()
    // says why); the program runs on without it.
    bool offer();
    // A second start: the running copy gets the command line's action (Now)
    // or is brought to the front (Raise). The exit code: 0 when it took the
    // request, 1 when it refused it (the refusal is shown); nullopt when no
    // copy answered.
    std::optional<int> handOver(const std::string& commandLine);
    const std::string& problem() const { return problem_; }

private:
    platform::ControlReply handle(const platform::ControlRequest& request);

    FrmMain& form_;
    ServerMaker makeServer_;
    ClientMaker makeClient_;
    std::unique_ptr<platform::IControlServer> server_;
    std::unique_ptr<platform::IControlClient> serviceClient_;  // the window beside the service
    std::string problem_;
};

// The /action: name of a command line's action ("reboot", "default"); nullopt
// when the line has none.
std::optional<std::string> CommandLineActionSwitch(const std::string& commandLine);

}  // namespace nocturo

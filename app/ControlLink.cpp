#include "app/ControlLink.h"

#include <utility>

#include "app/Nocturo_Main.h"
#include "base/Runtime.h"
#include "platform/IDialogs.h"
#include "shell/FrmMain.h"
#include "shell/RemoteControl.h"

namespace nocturo {

using platform::ControlOp;
using platform::ControlReply;
using platform::ControlRequest;
using platform::ControlStatus;

ControlLink::ControlLink(FrmMain& form, ServerMaker makeServer, ClientMaker makeClient)
    : form_(form), makeServer_(std::move(makeServer)), makeClient_(std::move(makeClient)) {
    // A window beside the system service is the service's client: it asks
    // the service's channel (connected at the first use, again after a
    // failure, so a service started later is found).
    if (!makeClient_) return;
    form_.callService = [this](const ControlRequest& request, ControlReply& reply, std::string& why) {
        if (form_.asSystemService) return false;
        if (!serviceClient_) serviceClient_ = makeClient_(platform::ControlScope::System);
        if (!serviceClient_) {
            why = "no channel to the system service";
            return false;
        }
        const auto reach = serviceClient_->call(request, reply, why);
        if (reach == platform::IControlClient::Reach::Answered) return true;
        serviceClient_.reset();
        return false;
    };
}

ControlLink::~ControlLink() {
    form_.callService = nullptr;
    if (server_) server_->stop();
}

std::optional<std::string> CommandLineActionSwitch(const std::string& commandLine) {
    const auto action = CommandLineAction(commandLine);
    if (!action) return std::nullopt;
    for (const auto& n : CommandLineActionNames())
        if (*action == n.action) return std::string(n.name);
    return std::nullopt;
}

bool ControlLink::offer() {
    if (!makeServer_) return false;
    const auto scope = form_.asSystemService ? platform::ControlScope::System : platform::ControlScope::Session;
    server_ = makeServer_(scope);
    if (!server_) return false;
    if (!server_->start([this](const ControlRequest& r) { return handle(r); }, problem_)) {
        server_.reset();
        return false;
    }
    problem_.clear();
    auto before = std::move(form_.onStateChanged);
    form_.onStateChanged = [this, before = std::move(before)] {
        if (before) before();
        if (server_) server_->stateChanged(form_.controlState());
    };
    return true;
}

std::optional<int> ControlLink::handOver(const std::string& commandLine) {
    if (!makeClient_) return std::nullopt;
    const auto scope = form_.asSystemService ? platform::ControlScope::System : platform::ControlScope::Session;
    auto client = makeClient_(scope);
    if (!client) return std::nullopt;
    ControlRequest request;
    if (auto name = CommandLineActionSwitch(commandLine)) {
        request.op = ControlOp::Now;
        request.action = *name;
    } else {
        request.op = ControlOp::Raise;
    }
    ControlReply reply;
    std::string why;
    if (client->call(request, reply, why) != platform::IControlClient::Reach::Answered) return std::nullopt;
    if (reply.status == ControlStatus::Ok) return 0;
    if (hasRuntime() && rt().pf.dialogs)
        dialogs().messageBox(reply.message, platform::mb::Exclamation | platform::mb::SystemModal,
                             rt().appName + " Info");
    return 1;
}

ControlReply ControlLink::handle(const ControlRequest& request) { return RemoteControl(form_).handle(request); }

}  // namespace nocturo

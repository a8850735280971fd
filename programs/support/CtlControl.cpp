#include "programs/support/CtlControl.h"

#include <cstdlib>

#include "app/ControlLink.h"
#include "app/Nocturo_Main.h"
#include "base/Duration.h"
#include "platform/ControlChannel.h"
#include "platform/common/ControlJson.h"
#include "platform/common/Json.h"
#include "shell/RemoteControl.h"

namespace nocturo::programs {

namespace {

using platform::ControlOp;
using platform::ControlReply;
using platform::ControlRequest;
using platform::ControlScope;
using platform::ControlState;
using platform::ControlStatus;
using Reach = platform::IControlClient::Reach;

constexpr int kOk = 0, kFailed = 1, kUsage = 2;

struct Usage {
    std::string message;
};

// "HH:MM" or "HH:MM:SS" of a day, as the program takes it.
bool IsTimeOfDay(const std::string& text) {
    std::string hour, minute, second;
    return RemoteControl::ParseTimeOfDay(text, hour, minute, second);
}

std::string ActionNames() {
    std::string names;
    for (const auto& n : CommandLineActionNames()) names += std::string(names.empty() ? "" : ", ") + n.name;
    return names;
}

// An action's /action: name, as typed in any case.
std::string ActionName(const std::string& text) {
    if (text.empty() || text.find('/') != std::string::npos || !CommandLineActionSwitch("/action:" + text))
        throw Usage{"unknown action '" + text + "'; known: " + ActionNames()};
    return *CommandLineActionSwitch("/action:" + text);
}

long long Duration(const std::string& text) {
    long long seconds = 0;
    if (!ParseDuration(text, seconds)) throw Usage{"'" + text + "' is no duration (like 90s, 45m, 1h30m)"};
    return seconds;
}

std::string Yes(bool b) { return b ? "yes" : "no"; }

void PrintState(const ControlState& s, std::ostream& out) {
    out << "armed: " << Yes(s.armed) << "\n";
    out << "mode: " << (s.mode.empty() ? "-" : s.mode) << "\n";
    out << "action: " << (s.action.empty() ? "-" : s.action) << "\n";
    out << "due: " << (s.due.empty() ? "-" : s.due) << "\n";
    out << "seconds left: " << (s.secondsLeft < 0 ? std::string("-") : std::to_string(s.secondsLeft)) << "\n";
    out << "phase: " << (s.phase.empty() ? "-" : s.phase) << "\n";
    if (!s.running.empty()) out << "running: " << s.running << "\n";
    if (s.service) out << "service: yes\n";
}

void PrintJson(const ControlState& s, std::ostream& out) {
    // The same object the Windows pipe carries.
    out << platform::Json(platform::ControlStateToJson(s)).dump() << "\n";
}

struct Parsed {
    ControlRequest request;
    bool json = false;
    bool system = false;
};

Parsed Parse(const std::vector<std::string>& args) {
    Parsed p;
    std::vector<std::string> words;
    bool passwordGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--json") p.json = true;
        else if (a == "--system") p.system = true;
        else if (a == "--password") {
            if (i + 1 >= args.size()) throw Usage{"--password needs the options password"};
            p.request.password = args[++i];
            passwordGiven = true;
        } else if (a.rfind("--", 0) == 0 && a.size() > 2) throw Usage{"unknown option " + a};
        else words.push_back(a);
    }
    if (!passwordGiven)
        if (const char* env = std::getenv("NOCTURO_OPTIONS_PASSWORD")) p.request.password = env;
    const std::string& cmd = words.at(0);
    auto expect = [&](std::size_t n, const char* usage) {
        if (words.size() != n) throw Usage{std::string("usage: nocturoctl ") + usage};
    };
    if (p.json && cmd != "status") throw Usage{"--json goes with status"};
    if (cmd == "status") {
        expect(1, "status [--json] [--system]");
        p.request.op = ControlOp::Status;
    } else if (cmd == "arm") {
        const char* usage = "arm ACTION at HH:MM[:SS] | arm ACTION in DURATION";
        expect(4, usage);
        p.request.op = ControlOp::Arm;
        p.request.action = ActionName(words[1]);
        if (words[2] == "at") {
            if (!IsTimeOfDay(words[3])) throw Usage{"'" + words[3] + "' is no time of day (HH:MM or HH:MM:SS)"};
            p.request.at = words[3];
        } else if (words[2] == "in") {
            p.request.seconds = Duration(words[3]);
        } else {
            throw Usage{std::string("usage: nocturoctl ") + usage};
        }
    } else if (cmd == "disarm") {
        expect(1, "disarm");
        p.request.op = ControlOp::Disarm;
    } else if (cmd == "postpone") {
        expect(2, "postpone DURATION");
        p.request.op = ControlOp::Postpone;
        p.request.seconds = Duration(words[1]);
    } else if (cmd == "cancel") {
        expect(1, "cancel");
        p.request.op = ControlOp::Cancel;
    } else if (cmd == "now") {
        expect(2, "now ACTION");
        p.request.op = ControlOp::Now;
        p.request.action = ActionName(words[1]);
    }
    return p;
}

}  // namespace

bool IsControlCommand(const std::string& command) {
    for (const char* c : {"status", "arm", "disarm", "postpone", "cancel", "now"})
        if (command == c) return true;
    return false;
}

int RunControlCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                      const ControlClientMaker& makeClient) {
    Parsed p;
    try {
        p = Parse(args);
    } catch (const Usage& u) {
        err << "nocturoctl: " << u.message << "\n";
        return kUsage;
    }
    ControlClientMaker make = makeClient;
    if (!make) make = [](ControlScope scope) { return platform::MakeControlClient(scope); };
    if (!make) {
        err << "nocturoctl: this copy has no control channel\n";
        return kFailed;
    }
    ControlReply reply;
    std::string why;
    Reach reach = Reach::NoneRunning;
    if (!p.system) reach = make(ControlScope::Session)->call(p.request, reply, why);
    // No program in this session: the service, if one runs.
    if (reach == Reach::NoneRunning) {
        std::string serviceWhy;
        reach = make(ControlScope::System)->call(p.request, reply, serviceWhy);
        if (p.system || reach != Reach::NoneRunning) why = serviceWhy;
    }
    if (reach == Reach::NoneRunning) {
        err << "nocturoctl: no Nocturo is running" << (p.system ? " as the system service" : "") << "\n";
        return kFailed;
    }
    if (reach == Reach::NoAnswer) {
        err << "nocturoctl: " << why << "\n";
        return kFailed;
    }
    if (reply.status != ControlStatus::Ok) {
        err << "nocturoctl: " << reply.message << "\n";
        return reply.status == ControlStatus::BadRequest ? kUsage : kFailed;
    }
    const ControlState& s = reply.state;
    switch (p.request.op) {
        case ControlOp::Status:
            if (p.json) PrintJson(s, out);
            else PrintState(s, out);
            break;
        case ControlOp::Arm:
        case ControlOp::Postpone:
            if (!s.due.empty()) out << "due: " << s.due << " (in " << s.secondsLeft << " s)\n";
            break;
        default: break;
    }
    return kOk;
}

}  // namespace nocturo::programs

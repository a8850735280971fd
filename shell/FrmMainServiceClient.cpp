// The window beside the system service (Linux): the service runs the
// schedule, and this window is its client. It shows the service's state and
// next action, and hands Go, the "Armed" box, cancel and postpone to the
// service through the control channel.
#include <string>

#include "base/Strings.h"
#include "platform/IDialogs.h"
#include "shell/FrmMain.h"
#include "shell/FrmMainParts.h"

namespace nocturo {

// The /action: name of the action chosen in the window.
std::string ServiceActionName(std::int32_t code) {
    switch (code) {
    case action::Shutdown: return "Nocturo";
    case action::Restart: return "Reboot";
    case action::Logoff: return "LogOff";
    case action::PowerOff: return "PowerOff";
    case action::StartProgram: return "StartProgram";
    case action::Alarm: return "Alarm";
    case action::Hibernate: return "Hibernate";
    case action::Suspend: return "Suspend";
    case action::LockPC: return "LockPC";
    default: return "";
    }
}

namespace {

// "22:30:00" of "2026-12-10T22:30:00".
std::string TimeOf(const std::string& iso) {
    const auto t = iso.find('T');
    return t == std::string::npos ? iso : iso.substr(t + 1);
}

std::string PhaseText(const std::string& phase) {
    if (phase == "waiting") return "waiting for the started program";
    if (phase == "cleaning") return "cleaning";
    if (phase == "final-count") return "final count";
    if (phase == "asking") return "asking";
    if (phase == "acting") return "acting";
    return phase;
}

}  // namespace

void FrmMain::showServiceState() {
    if (callService) {
        platform::ControlRequest ask;
        platform::ControlReply reply;
        std::string why;
        bool answered = false;
        try {
            answered = callService(ask, reply, why);
        } catch (const std::exception&) {
            answered = false;
        }
        serviceAnswered_ = answered && reply.status == platform::ControlStatus::Ok;
        if (serviceAnswered_) {
            const platform::ControlState& s = reply.state;
            serviceShown_ = s;
            chkArmed.setValue(s.armed ? 1 : 0);
            std::string text = "Service: ";
            if (!s.running.empty()) {
                text += s.running + " running";
                if (!s.phase.empty()) text += " (" + PhaseText(s.phase) + ")";
            } else if (!s.armed) {
                text += "not armed";
            } else if (!s.due.empty()) {
                text += s.action + " at " + TimeOf(s.due);
            } else {
                text += s.action + ", armed";
            }
            lblNocturoInfo.setCaption(text);
            stateMayHaveChanged();
            return;
        }
    }
    std::string state;
    try {
        state = serviceState ? serviceState() : std::string("unknown");
    } catch (const std::exception& e) {
        state = std::string("unknown: ") + e.what();
    }
    lblNocturoInfo.setCaption("Run by the system service: " + state);
}

bool FrmMain::forwardToService(const platform::ControlRequest& request) {
    if (!serviceWatch_ || !callService) return false;
    platform::ControlReply reply;
    std::string why;
    bool answered = false;
    try {
        answered = callService(request, reply, why);
    } catch (const std::exception& e) {
        why = e.what();
    }
    if (!answered) {
        MsgBox("The system service did not take the change: " + (why.empty() ? std::string("no answer") : why),
               platform::mb::Exclamation, "Nocturo");
        return true;
    }
    if (reply.status != platform::ControlStatus::Ok)
        MsgBox(reply.message.empty() ? std::string("The system service refused the change.") : reply.message,
               platform::mb::Exclamation, "Nocturo");
    showServiceState();
    return true;
}

}  // namespace nocturo

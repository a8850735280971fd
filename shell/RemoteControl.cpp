#include "shell/RemoteControl.h"

#include <cctype>

#include "base/Strings.h"
#include "base/Variant.h"
#include "base/Varn_Registry.h"
#include "cipher/Varn_encryption3.h"
#include "shell/FrmMain.h"

namespace nocturo {

namespace {

using platform::ControlOp;
using platform::ControlReply;
using platform::ControlStatus;

struct KnownAction {
    const char* window;       // the ShutDown_Action name
    const char* commandLine;  // the /action: value
    int option;               // optActions index; -1 none
};

const KnownAction kKnown[] = {
    {"Nocturo", "shutdown", 0}, {"PowerOff", "poweroff", 0}, {"LogOff", "logoff", 2},
    {"Reboot", "reboot", 1},    {"Suspend", "suspend", 5},   {"Hibernate", "hibernate", 6},
    {"LockPC", "lock", 7},      {"Alarm", "alarm", 4},       {"StartProgram", "program", 3},
};

std::string lower(std::string_view text) {
    std::string s(text);
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

const KnownAction* known(const std::string& action) {
    for (const KnownAction& k : kKnown)
        if (action == k.window) return &k;
    return nullptr;
}

std::string knownList() {
    std::string list;
    for (const KnownAction& k : kKnown) list += std::string(list.empty() ? "" : ", ") + k.commandLine;
    return list;
}

ControlReply reply(ControlStatus status, std::string message = {}) {
    ControlReply r;
    r.status = status;
    r.message = std::move(message);
    return r;
}

}  // namespace

bool RemoteControl::ActionByName(std::string_view name, std::string& action) {
    const std::string n = lower(name);
    if (n.empty() || n == "default") {
        action.clear();
        return true;
    }
    for (const KnownAction& k : kKnown)
        if (n == lower(k.window) || n == k.commandLine) {
            action = k.window;
            return true;
        }
    return false;
}

bool RemoteControl::ParseTimeOfDay(std::string_view text, std::string& hour, std::string& minute, std::string& second) {
    auto digits = [](std::string_view s) {
        if (s.empty()) return false;
        for (char c : s)
            if (c < '0' || c > '9') return false;
        return true;
    };
    const size_t first = text.find(':');
    if (first == std::string_view::npos) return false;
    const size_t next = text.find(':', first + 1);
    const std::string_view h = text.substr(0, first);
    const std::string_view m = text.substr(first + 1, next == std::string_view::npos ? std::string_view::npos : next - first - 1);
    const std::string_view s = next == std::string_view::npos ? std::string_view("00") : text.substr(next + 1);
    if (!digits(h) || h.size() > 2 || !digits(m) || m.size() != 2 || !digits(s) || s.size() != 2) return false;
    const int hv = std::stoi(std::string(h)), mv = std::stoi(std::string(m)), sv = std::stoi(std::string(s));
    if (hv > 23 || mv > 59 || sv > 59) return false;
    hour = (h.size() == 1 ? "0" : "") + std::string(h);
    minute = std::string(m);
    second = std::string(s);
    return true;
}

bool RemoteControl::passwordAccepted(const std::string& given) const {
    // As the options panel checks it: the stored password, deciphered,
    // compared exactly; none stored lets everything through.
    const std::string stored = Decrypt3(CStr(ReadSetting(MachineApp(), kSettings, "poption", std::string())), "");
    return stored.empty() || given == stored;
}

platform::ControlReply RemoteControl::handle(const platform::ControlRequest& request) {
    ControlReply r;
    try {
        if (form_.life() != FrmMain::Life::Running && request.op != ControlOp::Status) {
            r = reply(ControlStatus::Failed, "The program is not running its schedule (it is starting or ending).");
        } else {
            std::string why;
            switch (request.op) {
            case ControlOp::Status: break;
            case ControlOp::Arm: r = arm(request); break;
            case ControlOp::Disarm:
                if (!passwordAccepted(request.password)) {
                    r = reply(ControlStatus::Refused, "Wrong password. The options stay closed.");
                    break;
                }
                form_.setScheduleArmed(false);
                break;
            case ControlOp::Postpone:
                if (request.seconds <= 0) {
                    r = reply(ControlStatus::BadRequest, "A postponement needs a duration of at least one second.");
                    break;
                }
                if (!form_.Postpone(request.seconds, why)) r = reply(ControlStatus::Refused, why);
                break;
            case ControlOp::Cancel:
                if (!form_.CancelRunning(why)) r = reply(ControlStatus::Refused, why);
                break;
            case ControlOp::Now: {
                std::string action;
                if (!ActionByName(request.action, action)) {
                    r = reply(ControlStatus::BadRequest,
                              "Unknown action '" + request.action + "'; known: " + knownList() + ".");
                    break;
                }
                // A second start while a run is under way would cancel it.
                if (form_.actionRunning() || form_.sessionEnding()) {
                    r = reply(ControlStatus::Refused, "An action is running already.");
                    break;
                }
                form_.ShutDown_Action(action);
                break;
            }
            case ControlOp::Raise: form_.RestoreFromTray(); break;
            }
        }
        form_.stateMayHaveChanged();
    } catch (const std::exception& e) {
        r = reply(ControlStatus::Failed, e.what());
    } catch (...) {
        r = reply(ControlStatus::Failed, "The request failed.");
    }
    r.state = form_.controlState();
    return r;
}

platform::ControlReply RemoteControl::arm(const platform::ControlRequest& request) {
    std::string action;
    const bool hasAction = !request.action.empty();
    if (hasAction && (!ActionByName(request.action, action) || action.empty()))
        return reply(ControlStatus::BadRequest, "Unknown action '" + request.action + "'; known: " + knownList() + ".");
    const bool hasAt = !request.at.empty();
    const bool hasIn = request.seconds != -1;
    if (hasAt && hasIn) return reply(ControlStatus::BadRequest, "Give a time of day or a duration, not both.");
    std::string hour, minute, second;
    if (hasAt && !ParseTimeOfDay(request.at, hour, minute, second))
        return reply(ControlStatus::BadRequest, "Malformed time '" + request.at + "': give HH:MM or HH:MM:SS.");
    if (hasIn && request.seconds <= 0)
        return reply(ControlStatus::BadRequest, "A countdown needs a duration of at least one second.");
    if (hasIn && request.seconds > 2147483647LL)
        return reply(ControlStatus::BadRequest, "The duration is too long for a countdown.");
    // The schedule as set, as the tray menu's item arms it.
    if (!hasAction && !hasAt && !hasIn) {
        form_.setScheduleArmed(true);
        return {};
    }
    if (!passwordAccepted(request.password))
        return reply(ControlStatus::Refused, "Wrong password. The options stay closed.");

    if (hasAction) {
        const KnownAction* k = known(action);
        form_.fireEvent("optActions(" + std::to_string(k->option) + ").Click");
        // Power off is shut down with its box ticked; shut down without.
        if (k->option == 0) form_.chkPowerOff.setValue(action == "PowerOff" ? 1 : 0);
    }
    if (hasAt) {
        form_.txtHour.setText(hour);
        form_.fireEvent("txtHour.LostFocus");
        form_.txtMinute.setText(minute);
        form_.fireEvent("txtMinute.LostFocus");
        form_.txtSEC.setText(second);
        form_.fireEvent("txtSEC.LostFocus");
        form_.fireEvent("optShutdownTime(0).Click");
    } else if (hasIn) {
        // The largest unit that holds the count whole, as a person would type it.
        long long count = request.seconds;
        int unit = 2;  // hours, minutes, seconds
        if (count % 3600 == 0) {
            count /= 3600;
            unit = 0;
        } else if (count % 60 == 0) {
            count /= 60;
            unit = 1;
        }
        form_.txtStartActionIn.setText(std::to_string(count));
        form_.cmbTimeUnit.setListIndex(unit);
        form_.fireEvent("optShutdownTime(2).Click");
        // Loads the count, also when the schedule was armed already.
        form_.fireEvent("cmbTimeUnit.Click");
    }
    // Choosing a mode arms it; an action alone arms the schedule as set.
    if (!form_.scheduleArmed()) form_.setScheduleArmed(true);
    return {};
}

}  // namespace nocturo

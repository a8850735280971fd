#pragma once
// The control channel's types as one-line JSON objects: what the named pipe
// carries on Windows (one object per line) and what `nocturoctl status
// --json` prints on both systems.
//
//   request  {"op":"arm","action":"Reboot","at":"22:30"}   {"op":"postpone","seconds":600}
//            {"op":"status"} {"op":"disarm"} {"op":"cancel"} {"op":"now","action":"Reboot"}
//            {"op":"raise"}, and {"op":"watch"}: the state's events follow on this connection
//   reply    {"status":"ok","message":"","state":{...}}
//   event    {"event":"stateChanged","state":{...}}
//   state    {"armed":true,"mode":"countdown","action":"Reboot","due":"2026-12-10T22:30:00",
//             "secondsLeft":600,"phase":"","running":"","clock":"2026-12-10T22:20:00",
//             "cancelDisabled":false,"passwordSet":false,"service":false}
//            with "due":null and "secondsLeft":null when nothing is due
//
// Requests come from anyone who may open the channel, so their reading is
// strict: an unknown op, a member the op does not take, a member of the
// wrong type, a text with a NUL or longer than kControlTextMax, a negative
// or fractional number of seconds, or a line longer than kControlLineMax is
// refused with ControlJsonError (the server answers it with BadRequest).
// Replies and events are read strictly for the members they must have but
// pass over members they do not know, so a newer program can add some.
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/IControl.h"
#include "platform/common/Json.h"

namespace nocturo::platform {

// The longest line either end reads, newline not counted.
inline constexpr std::size_t kControlLineMax = 64 * 1024;
// The longest text member of a request (an action name, a time, a password).
inline constexpr std::size_t kControlTextMax = 1024;

// What was wrong with a line, in words a caller can pass on.
class ControlJsonError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "status", "arm", ... ; "ok", "refused", "denied", "badRequest", "failed".
const char* ControlOpName(ControlOp op);
const char* ControlStatusName(ControlStatus status);

JsonObject ControlStateToJson(const ControlState& state);
// Throws ControlJsonError for a missing member or one of the wrong type.
ControlState ControlStateFromJson(const Json& json);

// A request line: one of the requests, or the wish to hear the events.
struct ControlRequestLine {
    bool watch = false;  // {"op":"watch"}; request is then a Status request
    ControlRequest request;
};

// The lines carry no newline; the channel adds it.
std::string ControlRequestToLine(const ControlRequest& request);
std::string ControlWatchLine();  // {"op":"watch"}
// Throws ControlJsonError.
ControlRequestLine ControlRequestFromLine(std::string_view line);

std::string ControlReplyToLine(const ControlReply& reply);
std::string ControlEventLine(const ControlState& state);

// A line from the server: a reply, or (on a watching connection) an event.
struct ControlServerLine {
    bool event = false;
    std::string eventName;  // "stateChanged"; a name this side does not know is passed over
    ControlReply reply;     // for "stateChanged": Ok with the new state
};
// Throws ControlJsonError.
ControlServerLine ControlServerLineFromText(std::string_view line);

}  // namespace nocturo::platform

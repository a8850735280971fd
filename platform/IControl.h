#pragma once
// The running program's control channel. The program that runs the schedule
// offers it (the desktop program in the user's session, the system service
// for the whole machine); nocturoctl, a second start of the program and the
// window beside a system service use it. On Linux it is a D-Bus interface,
// on Windows a named pipe carrying one JSON object per line.
//
// The types are plain data so that each backend encodes them its own way
// (D-Bus arguments, JSON members) and the core reads and fills them.
#include <functional>
#include <memory>
#include <string>

namespace nocturo::platform {

// One application ID names the program everywhere: the D-Bus name, the
// desktop entry and the AppStream entry.
inline constexpr const char* kAppId = "io.github.nocturo.nocturo";
inline constexpr const char* kControlPath = "/io/github/nocturo/nocturo";
inline constexpr const char* kControlInterface = "io.github.nocturo.nocturo.Control";

// What the running program is doing.
struct ControlState {
    bool armed = false;        // the schedule acts when it is due
    std::string mode;          // "time", "weekdays", "countdown", "window"
    std::string action;        // the chosen action by its /action: name ("Nocturo", "Reboot", ...)
    std::string due;           // the next due moment, ISO 8601 local time ("2026-12-10T22:30:00"); "" none
    long long secondsLeft = -1;  // until due; -1 when nothing is due
    // The phase of a running action: "" none, "waiting" (for a started
    // program), "cleaning", "final-count", "asking" (a question is open),
    // "acting" (the action was called).
    std::string phase;
    std::string running;       // the action under way by its /action: name; "" none
    std::string clock;         // the program's clock now, ISO 8601 local time
    bool cancelDisabled = false;  // "Disable Cancel button" is set
    bool passwordSet = false;  // an options password guards changes to the options
    bool service = false;      // the program is the system service
};

enum class ControlOp {
    Status,    // the state
    Arm,       // an action, at a time of day, in a duration, or in the modes as set
    Disarm,    // the schedule stays shown but does not act
    Postpone,  // the due moment (and a running final count) moves by seconds
    Cancel,    // cancel the running action
    Now,       // run an action now (as /action:NAME does)
    Raise,     // bring the window to the front (a second start without /action:)
};

struct ControlRequest {
    ControlOp op = ControlOp::Status;
    std::string action;     // Arm (optional: empty keeps the chosen one) and Now: an /action: name
    std::string at;         // Arm: "HH:MM" or "HH:MM:SS"
    long long seconds = -1;  // Arm "in" (with at empty), Postpone: a duration in seconds
    std::string password;   // the options password, where a change needs it
};

enum class ControlStatus {
    Ok,
    Refused,     // the window would refuse it too (Disable Cancel, the options password, nothing to cancel)
    Denied,      // the caller may not change anything here (the service's policy)
    BadRequest,  // an unknown action, a malformed time or duration
    Failed,      // the program failed to carry it out
};

struct ControlReply {
    ControlStatus status = ControlStatus::Ok;
    std::string message;  // a refusal or failure in the words the window would use
    ControlState state;   // the state after the request
};

// Offered by the running program.
class IControlServer {
public:
    // Called on the event loop's thread, from the loop (never inside a
    // handler of the window), once per request.
    using Handler = std::function<ControlReply(const ControlRequest&)>;
    virtual ~IControlServer() = default;
    // Starts offering the channel. Returns false, with the reason in why,
    // when it cannot (no bus, the name is owned by another running copy).
    virtual bool start(Handler handler, std::string& why) = 0;
    // Tells listeners the state changed (a D-Bus signal, a pipe event).
    virtual void stateChanged(const ControlState& state) = 0;
    virtual void stop() = 0;
};

// Used to reach the running program.
class IControlClient {
public:
    virtual ~IControlClient() = default;
    enum class Reach { Answered, NoneRunning, NoAnswer };
    // Sends one request and waits (up to a few seconds) for its reply.
    // NoneRunning: no program offers the channel; NoAnswer: one holds it but
    // did not answer in time (why says what happened).
    virtual Reach call(const ControlRequest& request, ControlReply& reply, std::string& why) = 0;
};

// Which channel: the one of the user's own session or the system service's.
enum class ControlScope { Session, System };

}  // namespace nocturo::platform

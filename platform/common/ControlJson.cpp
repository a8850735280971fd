#include "platform/common/ControlJson.h"

#include <array>
#include <span>
#include <utility>

namespace nocturo::platform {

namespace {

struct OpName {
    ControlOp op;
    const char* name;
};
constexpr std::array<OpName, 7> kOps{{
    {ControlOp::Status, "status"},
    {ControlOp::Arm, "arm"},
    {ControlOp::Disarm, "disarm"},
    {ControlOp::Postpone, "postpone"},
    {ControlOp::Cancel, "cancel"},
    {ControlOp::Now, "now"},
    {ControlOp::Raise, "raise"},
}};

struct StatusName {
    ControlStatus status;
    const char* name;
};
constexpr std::array<StatusName, 5> kStatuses{{
    {ControlStatus::Ok, "ok"},
    {ControlStatus::Refused, "refused"},
    {ControlStatus::Denied, "denied"},
    {ControlStatus::BadRequest, "badRequest"},
    {ControlStatus::Failed, "failed"},
}};

// A value from the line, quoted and cut short, for a message about it.
std::string Shown(std::string_view text) {
    constexpr std::size_t kShown = 40;
    std::string out;
    if (text.size() <= kShown) {
        JsonQuote(out, text);
    } else {
        // Cut on a character boundary; the quoting replaces what is left broken.
        std::size_t cut = kShown;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
        JsonQuote(out, text.substr(0, cut));
        out += "...";
    }
    return out;
}

[[noreturn]] void Fail(const std::string& what) { throw ControlJsonError(what); }

Json ParseLine(std::string_view line, const char* what) {
    if (line.size() > kControlLineMax)
        Fail(std::string("The ") + what + " is longer than " + std::to_string(kControlLineMax) + " bytes.");
    try {
        return Json::parse(line);
    } catch (const JsonParseError& e) {
        Fail(std::string("The ") + what + " is not JSON: " + e.what() + " at byte " + std::to_string(e.offset()) +
             ".");
    }
}

const JsonObject& AsObject(const Json& json, const char* what) {
    if (!json.isObject()) Fail(std::string("The ") + what + " is not a JSON object.");
    return json.asObject();
}

const Json& Need(const JsonObject& obj, std::string_view key, const char* what) {
    const Json* v = obj.find(key);
    if (!v) Fail(std::string("The ") + what + " has no \"" + std::string(key) + "\".");
    return *v;
}

const std::string& TextOf(const Json& v, std::string_view key) {
    if (!v.isString()) Fail("\"" + std::string(key) + "\" must be a string, not " + JsonTypeName(v.type()) + ".");
    return v.asString();
}

bool BoolOf(const Json& v, std::string_view key) {
    if (!v.isBool()) Fail("\"" + std::string(key) + "\" must be true or false, not " + JsonTypeName(v.type()) + ".");
    return v.asBool();
}

long long WholeOf(const Json& v, std::string_view key, long long min) {
    if (!v.isInteger() || v.asInt64() < min)
        Fail("\"" + std::string(key) + "\" must be a whole number of " + std::to_string(min) + " or more, not " +
             (v.isNumber() ? v.dump() : std::string(JsonTypeName(v.type()))) + ".");
    return v.asInt64();
}

// A text member of a request: bounded, and without the NUL that would cut
// it short in the system's calls.
std::string RequestText(const Json& v, std::string_view key) {
    const std::string& s = TextOf(v, key);
    if (s.size() > kControlTextMax)
        Fail("\"" + std::string(key) + "\" is longer than " + std::to_string(kControlTextMax) + " bytes.");
    if (s.find('\0') != std::string::npos) Fail("\"" + std::string(key) + "\" holds a NUL character.");
    return s;
}

}  // namespace

const char* ControlOpName(ControlOp op) {
    for (const OpName& o : kOps)
        if (o.op == op) return o.name;
    return "status";
}

const char* ControlStatusName(ControlStatus status) {
    for (const StatusName& s : kStatuses)
        if (s.status == status) return s.name;
    return "failed";
}

// ---- the state -------------------------------------------------------------------------

JsonObject ControlStateToJson(const ControlState& s) {
    JsonObject o;
    o.set("armed", s.armed);
    o.set("mode", s.mode);
    o.set("action", s.action);
    // Nothing due: null for both, rather than an empty text and -1.
    o.set("due", s.due.empty() ? Json(nullptr) : Json(s.due));
    o.set("secondsLeft", s.secondsLeft < 0 ? Json(nullptr) : Json(s.secondsLeft));
    o.set("phase", s.phase);
    o.set("running", s.running);
    o.set("clock", s.clock);
    o.set("cancelDisabled", s.cancelDisabled);
    o.set("passwordSet", s.passwordSet);
    o.set("service", s.service);
    return o;
}

ControlState ControlStateFromJson(const Json& json) {
    const JsonObject& o = AsObject(json, "state");
    constexpr const char* what = "state";
    ControlState s;
    s.armed = BoolOf(Need(o, "armed", what), "armed");
    s.mode = TextOf(Need(o, "mode", what), "mode");
    s.action = TextOf(Need(o, "action", what), "action");
    const Json& due = Need(o, "due", what);
    s.due = due.isNull() ? std::string() : TextOf(due, "due");
    const Json& left = Need(o, "secondsLeft", what);
    s.secondsLeft = left.isNull() ? -1 : WholeOf(left, "secondsLeft", 0);
    s.phase = TextOf(Need(o, "phase", what), "phase");
    s.running = TextOf(Need(o, "running", what), "running");
    s.clock = TextOf(Need(o, "clock", what), "clock");
    s.cancelDisabled = BoolOf(Need(o, "cancelDisabled", what), "cancelDisabled");
    s.passwordSet = BoolOf(Need(o, "passwordSet", what), "passwordSet");
    s.service = BoolOf(Need(o, "service", what), "service");
    return s;
}

// ---- requests ----------------------------------------------------------------------------

std::string ControlRequestToLine(const ControlRequest& r) {
    JsonObject o;
    o.set("op", ControlOpName(r.op));
    switch (r.op) {
        case ControlOp::Arm:
            if (!r.action.empty()) o.set("action", r.action);
            if (!r.at.empty()) o.set("at", r.at);
            else if (r.seconds >= 0) o.set("seconds", r.seconds);
            break;
        case ControlOp::Now: o.set("action", r.action); break;
        case ControlOp::Postpone: o.set("seconds", r.seconds); break;
        case ControlOp::Status:
        case ControlOp::Disarm:
        case ControlOp::Cancel:
        case ControlOp::Raise: break;
    }
    if (!r.password.empty()) o.set("password", r.password);
    return Json(std::move(o)).dump();
}

std::string ControlWatchLine() { return R"({"op":"watch"})"; }

ControlRequestLine ControlRequestFromLine(std::string_view line) {
    const Json json = ParseLine(line, "request");
    const JsonObject& o = AsObject(json, "request");
    const std::string& opName = TextOf(Need(o, "op", "request"), "op");

    ControlRequestLine out;
    // The members each op takes besides "op"; "password" goes with every op.
    std::span<const std::string_view> takes;
    if (opName == "watch") {
        out.watch = true;
        out.request.op = ControlOp::Status;
    } else {
        bool known = false;
        for (const OpName& k : kOps) {
            if (opName == k.name) {
                out.request.op = k.op;
                known = true;
            }
        }
        if (!known) Fail("Unknown op " + Shown(opName) + ".");
        static constexpr std::array<std::string_view, 3> kArm{"action", "at", "seconds"};
        static constexpr std::array<std::string_view, 1> kNow{"action"};
        static constexpr std::array<std::string_view, 1> kPostpone{"seconds"};
        if (out.request.op == ControlOp::Arm) takes = kArm;
        if (out.request.op == ControlOp::Now) takes = kNow;
        if (out.request.op == ControlOp::Postpone) takes = kPostpone;
    }
    for (const auto& [key, value] : o) {
        if (key == "op") continue;
        bool taken = key == "password";
        for (std::string_view t : takes) taken = taken || key == t;
        if (!taken) Fail("The op " + Shown(opName) + " takes no member " + Shown(key) + ".");
    }

    ControlRequest& r = out.request;
    if (const Json* v = o.find("action")) r.action = RequestText(*v, "action");
    if (const Json* v = o.find("at")) r.at = RequestText(*v, "at");
    if (const Json* v = o.find("seconds")) r.seconds = WholeOf(*v, "seconds", 0);
    if (const Json* v = o.find("password")) r.password = RequestText(*v, "password");

    if (r.op == ControlOp::Now && r.action.empty()) Fail("The op \"now\" needs an \"action\".");
    if (r.op == ControlOp::Postpone && r.seconds < 0) Fail("The op \"postpone\" needs \"seconds\".");
    if (r.op == ControlOp::Arm && o.contains("at") && o.contains("seconds"))
        Fail("The op \"arm\" takes \"at\" or \"seconds\", not both.");
    if (r.op == ControlOp::Arm && o.contains("at") && r.at.empty()) Fail("\"at\" is empty.");
    return out;
}

// ---- replies and events ----------------------------------------------------------------

std::string ControlReplyToLine(const ControlReply& reply) {
    JsonObject o;
    o.set("status", ControlStatusName(reply.status));
    o.set("message", reply.message);
    o.set("state", ControlStateToJson(reply.state));
    return Json(std::move(o)).dump();
}

std::string ControlEventLine(const ControlState& state) {
    JsonObject o;
    o.set("event", "stateChanged");
    o.set("state", ControlStateToJson(state));
    return Json(std::move(o)).dump();
}

ControlServerLine ControlServerLineFromText(std::string_view line) {
    const Json json = ParseLine(line, "reply");
    const JsonObject& o = AsObject(json, "reply");
    ControlServerLine out;
    if (const Json* event = o.find("event")) {
        out.event = true;
        out.eventName = TextOf(*event, "event");
        if (out.eventName == "stateChanged") out.reply.state = ControlStateFromJson(Need(o, "state", "event"));
        return out;
    }
    const std::string& status = TextOf(Need(o, "status", "reply"), "status");
    bool known = false;
    for (const StatusName& s : kStatuses) {
        if (status == s.name) {
            out.reply.status = s.status;
            known = true;
        }
    }
    if (!known) Fail("Unknown status " + Shown(status) + ".");
    out.reply.message = TextOf(Need(o, "message", "reply"), "message");
    out.reply.state = ControlStateFromJson(Need(o, "state", "reply"));
    return out;
}

}  // namespace nocturo::platform

#include <gtest/gtest.h>

#include <string>

#include "support/ControlStates.h"
#include "platform/common/ControlJson.h"

using namespace nocturo::platform;

using nocturo::testing::ExpectSameState;
using nocturo::testing::FullControlState;

namespace {

// The message of the refusal, or "" when the line reads.
std::string RequestRefusal(std::string_view line) {
    try {
        ControlRequestFromLine(line);
    } catch (const ControlJsonError& e) {
        return e.what();
    }
    return "";
}

std::string ServerLineRefusal(std::string_view line) {
    try {
        ControlServerLineFromText(line);
    } catch (const ControlJsonError& e) {
        return e.what();
    }
    return "";
}

}  // namespace

// ---- the state, as nocturoctl status --json prints it ------------------------------------

TEST(ControlJsonState, MembersHaveTheirPlainNamesInOrder) {
    EXPECT_EQ(Json(ControlStateToJson(FullControlState())).dump(),
              R"({"armed":true,"mode":"countdown","action":"Reboot","due":"2026-12-10T22:30:00",)"
              R"("secondsLeft":1800,"phase":"final-count","running":"Reboot","clock":"2026-12-10T22:00:00",)"
              R"("cancelDisabled":true,"passwordSet":true,"service":true})");
    // Nothing due: null, and empty texts stay members.
    EXPECT_EQ(Json(ControlStateToJson(ControlState{})).dump(),
              R"({"armed":false,"mode":"","action":"","due":null,"secondsLeft":null,"phase":"","running":"",)"
              R"("clock":"","cancelDisabled":false,"passwordSet":false,"service":false})");
    ControlState none = ControlStateFromJson(Json(ControlStateToJson(ControlState{})));
    EXPECT_EQ(none.due, "");
    EXPECT_EQ(none.secondsLeft, -1);
    // Due now is not "nothing due".
    ControlState dueNow = FullControlState();
    dueNow.secondsLeft = 0;
    EXPECT_EQ(Json(ControlStateToJson(dueNow)).asObject().at("secondsLeft"), Json(0));
    EXPECT_EQ(ControlStateFromJson(Json(ControlStateToJson(dueNow))).secondsLeft, 0);
}

TEST(ControlJsonState, ReadsBackWhatItWroteIncludingTextsThatNeedEscapes) {
    ControlState s = FullControlState();
    s.action = "Quote \" backslash \\ newline \n tab \t \xC3\xA9";
    s.secondsLeft = 9007199254740992LL;  // 2^53: still exact
    const std::string text = Json(ControlStateToJson(s)).dump();
    EXPECT_EQ(text.find('\n'), std::string::npos) << "one line";
    ExpectSameState(ControlStateFromJson(Json::parse(text)), s);
}

TEST(ControlJsonState, AMissingOrMistypedMemberIsAnError) {
    const JsonObject good = ControlStateToJson(FullControlState());
    for (const auto& [key, value] : good) {
        JsonObject missing = good;
        missing.erase(key);
        EXPECT_THROW(ControlStateFromJson(Json(missing)), ControlJsonError) << "without " << key;
        JsonObject wrong = good;
        // A text where a flag or a number belongs, a number where a text belongs.
        wrong.set(key, value.isString() ? Json(1) : Json("1"));
        EXPECT_THROW(ControlStateFromJson(Json(wrong)), ControlJsonError) << "mistyped " << key;
    }
    JsonObject fraction = good;
    fraction.set("secondsLeft", 1.5);
    EXPECT_THROW(ControlStateFromJson(Json(fraction)), ControlJsonError);
    fraction.set("secondsLeft", -1);  // null says "nothing due"
    EXPECT_THROW(ControlStateFromJson(Json(fraction)), ControlJsonError);
    JsonObject nullText = good;
    nullText.set("mode", nullptr);  // only the due moment and the seconds left may be null
    EXPECT_THROW(ControlStateFromJson(Json(nullText)), ControlJsonError);
    EXPECT_THROW(ControlStateFromJson(Json(JsonArray{})), ControlJsonError);
    // A member this side does not know yet is passed over.
    JsonObject newer = good;
    newer.set("volume", 3);
    ExpectSameState(ControlStateFromJson(Json(newer)), FullControlState());
}

// ---- requests ----------------------------------------------------------------------------

TEST(ControlJsonRequest, EachOpReadsBackAsItWasWritten) {
    struct Case {
        ControlRequest request;
        std::string line;
    };
    ControlRequest armAt{ControlOp::Arm, "Reboot", "22:30", -1, ""};
    ControlRequest armIn{ControlOp::Arm, "", "", 600, ""};
    ControlRequest armAsSet{ControlOp::Arm, "", "", -1, ""};
    ControlRequest postpone{ControlOp::Postpone, "", "", 600, ""};
    ControlRequest cancel{ControlOp::Cancel, "", "", -1, "secret"};
    ControlRequest now{ControlOp::Now, "Shutdown", "", -1, ""};
    const Case cases[] = {
        {ControlRequest{}, R"({"op":"status"})"},
        {armAt, R"({"op":"arm","action":"Reboot","at":"22:30"})"},
        {armIn, R"({"op":"arm","seconds":600})"},
        {armAsSet, R"({"op":"arm"})"},
        {ControlRequest{ControlOp::Disarm, "", "", -1, ""}, R"({"op":"disarm"})"},
        {postpone, R"({"op":"postpone","seconds":600})"},
        {cancel, R"({"op":"cancel","password":"secret"})"},
        {now, R"({"op":"now","action":"Shutdown"})"},
        {ControlRequest{ControlOp::Raise, "", "", -1, ""}, R"({"op":"raise"})"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ControlRequestToLine(c.request), c.line);
        const ControlRequestLine back = ControlRequestFromLine(c.line);
        EXPECT_FALSE(back.watch);
        EXPECT_EQ(back.request.op, c.request.op) << c.line;
        EXPECT_EQ(back.request.action, c.request.action) << c.line;
        EXPECT_EQ(back.request.at, c.request.at) << c.line;
        EXPECT_EQ(back.request.seconds, c.request.seconds) << c.line;
        EXPECT_EQ(back.request.password, c.request.password) << c.line;
    }
    const ControlRequestLine watch = ControlRequestFromLine(ControlWatchLine());
    EXPECT_TRUE(watch.watch);
    EXPECT_EQ(watch.request.op, ControlOp::Status);
    // White space around and inside is JSON's own business.
    EXPECT_EQ(ControlRequestFromLine(" { \"op\" : \"cancel\" }\r").request.op, ControlOp::Cancel);
}

TEST(ControlJsonRequest, UnknownOpsAndMembersAreRefusedByName) {
    EXPECT_EQ(RequestRefusal(R"({"op":"shutdown"})"), "Unknown op \"shutdown\".");
    EXPECT_EQ(RequestRefusal(R"({"op":"Status"})"), "Unknown op \"Status\".") << "names are exact";
    EXPECT_EQ(RequestRefusal(R"({"op":""})"), "Unknown op \"\".");
    EXPECT_EQ(RequestRefusal(R"({})"), "The request has no \"op\".");
    EXPECT_EQ(RequestRefusal(R"({"op":"status","force":true})"), "The op \"status\" takes no member \"force\".");
    EXPECT_EQ(RequestRefusal(R"({"op":"postpone","seconds":60,"at":"10:00"})"),
              "The op \"postpone\" takes no member \"at\".");
    EXPECT_EQ(RequestRefusal(R"({"op":"cancel","action":"Reboot"})"), "The op \"cancel\" takes no member \"action\".");
    EXPECT_EQ(RequestRefusal(R"({"op":"watch","seconds":1})"), "The op \"watch\" takes no member \"seconds\".");
    // A long hostile name is shown cut short, and control characters escaped.
    const std::string shown = RequestRefusal("{\"op\":\"" + std::string(5000, 'x') + "\\u0001\"}");
    EXPECT_LT(shown.size(), 100u);
    EXPECT_NE(shown.find("xxx\"..."), std::string::npos) << shown;
    EXPECT_EQ(RequestRefusal(R"({"op":"\u0007bell"})"), R"(Unknown op "\u0007bell".)");
}

TEST(ControlJsonRequest, MembersOfTheWrongTypeAreRefused) {
    EXPECT_EQ(RequestRefusal(R"({"op":1})"), "\"op\" must be a string, not number.");
    EXPECT_EQ(RequestRefusal(R"({"op":null})"), "\"op\" must be a string, not null.");
    EXPECT_EQ(RequestRefusal(R"({"op":["status"]})"), "\"op\" must be a string, not array.");
    EXPECT_EQ(RequestRefusal(R"({"op":"now","action":7})"), "\"action\" must be a string, not number.");
    EXPECT_EQ(RequestRefusal(R"({"op":"arm","at":{"h":22}})"), "\"at\" must be a string, not object.");
    EXPECT_EQ(RequestRefusal(R"({"op":"cancel","password":false})"), "\"password\" must be a string, not Boolean.");
    EXPECT_EQ(RequestRefusal(R"({"op":"postpone","seconds":"600"})"),
              "\"seconds\" must be a whole number of 0 or more, not string.");
    EXPECT_EQ(RequestRefusal(R"({"op":"postpone","seconds":1.5})"),
              "\"seconds\" must be a whole number of 0 or more, not 1.5.");
    EXPECT_EQ(RequestRefusal(R"({"op":"postpone","seconds":-1})"),
              "\"seconds\" must be a whole number of 0 or more, not -1.");
    // Beyond 2^53 a number of seconds is no longer exact.
    EXPECT_NE(RequestRefusal(R"({"op":"postpone","seconds":1e300})"), "");
    EXPECT_NE(RequestRefusal(R"({"op":"postpone","seconds":18014398509481984})"), "");
    EXPECT_EQ(RequestRefusal(R"({"op":"postpone","seconds":9007199254740992})"), "");
    EXPECT_EQ(RequestRefusal(R"({"op":"postpone","seconds":0})"), "");
}

TEST(ControlJsonRequest, WhatAnOpNeedsMustBeThere) {
    EXPECT_EQ(RequestRefusal(R"({"op":"now"})"), "The op \"now\" needs an \"action\".");
    EXPECT_EQ(RequestRefusal(R"({"op":"now","action":""})"), "The op \"now\" needs an \"action\".");
    EXPECT_EQ(RequestRefusal(R"({"op":"postpone"})"), "The op \"postpone\" needs \"seconds\".");
    EXPECT_EQ(RequestRefusal(R"({"op":"arm","at":"22:30","seconds":60})"),
              "The op \"arm\" takes \"at\" or \"seconds\", not both.");
    EXPECT_EQ(RequestRefusal(R"({"op":"arm","at":""})"), "\"at\" is empty.");
}

TEST(ControlJsonRequest, HostileLinesAreRefusedNotTrusted) {
    // Not JSON, cut short, or more than one value.
    for (const char* line : {"", "status", "{", R"({"op":"status")", R"({"op":"sta)", "{\"op\":\"status\"}}",
                             R"({"op":"status"} {"op":"cancel"})", "{'op':'status'}", "\xFF\xFE{}"}) {
        EXPECT_NE(RequestRefusal(line).find("is not JSON"), std::string::npos) << line;
    }
    // Other JSON values than an object.
    for (const char* line : {"null", "[]", R"(["op","status"])", "\"status\"", "42"})
        EXPECT_EQ(RequestRefusal(line), "The request is not a JSON object.") << line;
    // A raw NUL, inside or outside a text, is not JSON; an escaped one is
    // JSON but has no place in a name or a password.
    EXPECT_NE(RequestRefusal(std::string("{\"op\":\"status\"}\0", 16)).find("is not JSON"), std::string::npos);
    EXPECT_NE(RequestRefusal(std::string("{\"op\":\"now\",\"action\":\"Re\0boot\"}", 31)).find("is not JSON"),
              std::string::npos);
    EXPECT_EQ(RequestRefusal(R"({"op":"now","action":"Reboot\u0000--force"})"), "\"action\" holds a NUL character.");
    EXPECT_EQ(RequestRefusal(R"({"op":"cancel","password":"\u0000"})"), "\"password\" holds a NUL character.");
    // Nested deep: refused by the parser's depth limit, no stack overflow.
    const std::string deep = "{\"op\":\"status\",\"x\":" + std::string(100000, '[') + std::string(100000, ']') + "}";
    EXPECT_NE(RequestRefusal(deep), "");
    // Nested within the limit: still a member "status" does not take.
    EXPECT_EQ(RequestRefusal(R"({"op":"status","state":{"armed":true}})"),
              "The op \"status\" takes no member \"state\".");
}

TEST(ControlJsonRequest, HugeLinesAndTextsAreRefusedAtTheirLimits) {
    // Padding with white space: the line's length alone decides.
    const std::string body = R"({"op":"status"})";
    EXPECT_EQ(RequestRefusal(body + std::string(kControlLineMax - body.size(), ' ')), "");
    EXPECT_EQ(RequestRefusal(body + std::string(kControlLineMax - body.size() + 1, ' ')),
              "The request is longer than 65536 bytes.");
    EXPECT_EQ(RequestRefusal(body + std::string(10 * kControlLineMax, ' ')), "The request is longer than 65536 bytes.");
    const auto withPassword = [](std::size_t n) {
        return R"({"op":"cancel","password":")" + std::string(n, 'p') + "\"}";
    };
    EXPECT_EQ(RequestRefusal(withPassword(kControlTextMax)), "");
    EXPECT_EQ(RequestRefusal(withPassword(kControlTextMax + 1)), "\"password\" is longer than 1024 bytes.");
    EXPECT_EQ(RequestRefusal(R"({"op":"now","action":")" + std::string(kControlTextMax + 1, 'a') + "\"}"),
              "\"action\" is longer than 1024 bytes.");
}

// ---- replies and events -----------------------------------------------------------------

TEST(ControlJsonReply, RepliesAndEventsReadBack) {
    ControlReply reply;
    reply.status = ControlStatus::Refused;
    reply.message = "The Cancel button is disabled.";
    reply.state = FullControlState();
    const std::string line = ControlReplyToLine(reply);
    EXPECT_EQ(line.rfind(R"({"status":"refused","message":"The Cancel button is disabled.","state":{"armed":true,)", 0),
              0u)
        << line;
    const ControlServerLine back = ControlServerLineFromText(line);
    EXPECT_FALSE(back.event);
    EXPECT_EQ(back.reply.status, ControlStatus::Refused);
    EXPECT_EQ(back.reply.message, reply.message);
    ExpectSameState(back.reply.state, reply.state);

    const std::string event = ControlEventLine(FullControlState());
    EXPECT_EQ(event.rfind(R"({"event":"stateChanged","state":{"armed":true,)", 0), 0u) << event;
    const ControlServerLine ev = ControlServerLineFromText(event);
    EXPECT_TRUE(ev.event);
    EXPECT_EQ(ev.eventName, "stateChanged");
    ExpectSameState(ev.reply.state, FullControlState());
    // An event of a newer program is passed over by name.
    const ControlServerLine other = ControlServerLineFromText(R"({"event":"volumeChanged","volume":3})");
    EXPECT_TRUE(other.event);
    EXPECT_EQ(other.eventName, "volumeChanged");
}

TEST(ControlJsonReply, EveryStatusHasItsName) {
    const std::pair<ControlStatus, const char*> names[] = {{ControlStatus::Ok, "ok"},
                                                           {ControlStatus::Refused, "refused"},
                                                           {ControlStatus::Denied, "denied"},
                                                           {ControlStatus::BadRequest, "badRequest"},
                                                           {ControlStatus::Failed, "failed"}};
    for (const auto& [status, name] : names) {
        ControlReply r;
        r.status = status;
        EXPECT_EQ(Json::parse(ControlReplyToLine(r)).asObject().at("status").asString(), name);
        EXPECT_EQ(ControlServerLineFromText(ControlReplyToLine(r)).reply.status, status) << name;
    }
}

TEST(ControlJsonReply, MalformedRepliesAreErrors) {
    const std::string state = Json(ControlStateToJson(FullControlState())).dump();
    EXPECT_EQ(ServerLineRefusal(R"({"status":"ok","message":"","state":)" + state + "}"), "");
    EXPECT_EQ(ServerLineRefusal(R"({"status":"fine","message":"","state":)" + state + "}"), "Unknown status \"fine\".");
    EXPECT_EQ(ServerLineRefusal(R"({"message":"","state":)" + state + "}"), "The reply has no \"status\".");
    EXPECT_EQ(ServerLineRefusal(R"({"status":"ok","state":)" + state + "}"), "The reply has no \"message\".");
    EXPECT_EQ(ServerLineRefusal(R"({"status":"ok","message":""})"), "The reply has no \"state\".");
    EXPECT_EQ(ServerLineRefusal(R"({"status":"ok","message":"","state":[]})"), "The state is not a JSON object.");
    EXPECT_EQ(ServerLineRefusal(R"({"event":"stateChanged"})"), "The event has no \"state\".");
    EXPECT_EQ(ServerLineRefusal(R"({"event":1})"), "\"event\" must be a string, not number.");
    EXPECT_NE(ServerLineRefusal(R"({"status":"ok","message":"","state":{"armed":true}})"), "");
    EXPECT_NE(ServerLineRefusal(R"({"status":"ok","mess)").find("is not JSON"), std::string::npos);
    EXPECT_EQ(ServerLineRefusal(std::string(kControlLineMax + 1, ' ')), "The reply is longer than 65536 bytes.");
}

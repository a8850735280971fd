// The control channel on D-Bus, on private buses of the test's own: the
// server served from a real event loop, the client called from another
// thread as nocturoctl would call it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <future>
#include <memory>
#include <atomic>
#include <thread>
#include <string>
#include <vector>

#include "support/ControlStates.h"
#include "platform/Error.h"
#include "platform/posix/DbusControl.h"
#include "platform/posix/PosixEventLoop.h"
#include "support/OrdinaryUser.h"
#include "support/PrivateBus.h"
#include "support/TestSupport.h"

#if NOCTURO_HAVE_SDBUS

using nocturo::testing::ExpectSameState;
using nocturo::testing::FullControlState;

namespace {

using namespace std::chrono_literals;
using nocturo::platform::ControlOp;
using nocturo::platform::ControlReply;
using nocturo::platform::ControlRequest;
using nocturo::platform::ControlScope;
using nocturo::platform::ControlState;
using nocturo::platform::ControlStatus;
using nocturo::platform::IChangeAuthority;
using nocturo::platform::IControlClient;
using nocturo::platform::PosixEventLoop;
using Reach = IControlClient::Reach;

// The loop turns until the other thread's work is done.
template <typename T>
T Serve(PosixEventLoop& loop, std::future<T>& result) {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (result.wait_for(0ms) != std::future_status::ready && std::chrono::steady_clock::now() < deadline)
        loop.idle(10);
    return result.get();
}

struct Call {
    Reach reach = Reach::NoAnswer;
    ControlReply reply;
    std::string why;
};

Call CallFrom(ControlScope scope, const std::string& address, const ControlRequest& request, int timeoutMs = 5000) {
    Call c;
    c.reach = nocturo::platform::MakeDbusControlClient(scope, address, timeoutMs)->call(request, c.reply, c.why);
    return c;
}

Call CallServed(PosixEventLoop& loop, ControlScope scope, const std::string& address, const ControlRequest& request) {
    auto call = std::async(std::launch::async, [&] { return CallFrom(scope, address, request); });
    return Serve(loop, call);
}

class SessionChannel : public ::testing::Test {
protected:
    void SetUp() override {
        auto daemon = nocturo::test::FindInPath("dbus-daemon");
        if (!daemon) GTEST_SKIP() << "dbus-daemon is not installed";
        bus_ = std::make_unique<nocturo::test::PrivateBus>(*daemon, folder_.path());
    }
    std::unique_ptr<nocturo::platform::IControlServer> startServer(ControlState state = FullControlState()) {
        nocturo::platform::DbusControlOptions o;
        o.address = bus_->address();
        auto server = nocturo::platform::MakeDbusControlServer(ControlScope::Session, loop_, std::move(o));
        std::string why;
        EXPECT_TRUE(server->start(
            [this, state](const ControlRequest& r) {
                seen_.push_back(r);
                ControlReply reply;
                reply.state = state;
                return reply;
            },
            why))
            << why;
        return server;
    }
    Call call(const ControlRequest& r) { return CallServed(loop_, ControlScope::Session, bus_->address(), r); }

    nocturo::test::TempDir folder_;
    std::unique_ptr<nocturo::test::PrivateBus> bus_;
    PosixEventLoop loop_;
    std::vector<ControlRequest> seen_;
};

TEST_F(SessionChannel, EveryOperationCarriesItsArgumentsAndComesBackWithTheWholeState) {
    auto server = startServer();
    struct Case {
        ControlRequest request;
        bool state;  // Raise answers without one
    };
    const std::vector<Case> cases = {
        {{ControlOp::Status, "", "", -1, ""}, true},
        {{ControlOp::Arm, "reboot", "22:30", -1, "pw"}, true},
        {{ControlOp::Arm, "", "", 5400, ""}, true},
        {{ControlOp::Disarm, "", "", -1, "sécret"}, true},
        {{ControlOp::Postpone, "", "", 600, "pw"}, true},
        {{ControlOp::Cancel, "", "", -1, "pw"}, true},
        {{ControlOp::Now, "alarm", "", -1, ""}, true},
        {{ControlOp::Raise, "", "", -1, ""}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.request.op));
        seen_.clear();
        Call r = call(c.request);
        ASSERT_EQ(r.reach, Reach::Answered) << r.why;
        EXPECT_EQ(r.reply.status, ControlStatus::Ok) << r.reply.message;
        ASSERT_EQ(seen_.size(), 1u);
        const ControlRequest& got = seen_[0];
        EXPECT_EQ(got.op, c.request.op);
        // What each method carries arrives as sent; the rest as nothing.
        const bool carriesAction = c.request.op == ControlOp::Arm || c.request.op == ControlOp::Now;
        const bool carriesSeconds = c.request.op == ControlOp::Arm || c.request.op == ControlOp::Postpone;
        const bool carriesPassword = c.request.op != ControlOp::Status && c.request.op != ControlOp::Raise;
        EXPECT_EQ(got.action, carriesAction ? c.request.action : "");
        EXPECT_EQ(got.at, c.request.at);
        EXPECT_EQ(got.seconds, carriesSeconds ? c.request.seconds : -1);
        EXPECT_EQ(got.password, carriesPassword ? c.request.password : "");
        if (c.state) ExpectSameState(r.reply.state, FullControlState());
        else ExpectSameState(r.reply.state, ControlState{});
    }
}

TEST_F(SessionChannel, NothingDueAndEmptyTextsComeBackAsSuch) {
    ControlState idle;
    idle.clock = "2026-12-10T09:00:00";
    auto server = startServer(idle);
    Call r = call({ControlOp::Status, "", "", -1, ""});
    ASSERT_EQ(r.reach, Reach::Answered) << r.why;
    ExpectSameState(r.reply.state, idle);
    EXPECT_EQ(r.reply.state.secondsLeft, -1);
}

TEST_F(SessionChannel, RefusalsComeBackAsTheirOwnErrorsWithTheProgramsWords) {
    nocturo::platform::DbusControlOptions o;
    o.address = bus_->address();
    auto server = nocturo::platform::MakeDbusControlServer(ControlScope::Session, loop_, std::move(o));
    ControlStatus next = ControlStatus::Ok;
    std::string why;
    ASSERT_TRUE(server->start(
        [&](const ControlRequest&) {
            if (next == ControlStatus::Ok) return ControlReply{};
            return ControlReply{next, "words for " + nocturo::platform::ControlErrorName(next), FullControlState()};
        },
        why))
        << why;
    for (ControlStatus s :
         {ControlStatus::Refused, ControlStatus::Denied, ControlStatus::BadRequest, ControlStatus::Failed}) {
        next = s;
        Call r = call({ControlOp::Cancel, "", "", -1, ""});
        ASSERT_EQ(r.reach, Reach::Answered) << r.why;
        EXPECT_EQ(r.reply.status, s);
        EXPECT_EQ(r.reply.message, "words for " + nocturo::platform::ControlErrorName(s));
    }
    // A handler that fails is a failure, not a lost program.
    auto thrower = nocturo::platform::MakeDbusControlServer(ControlScope::Session, loop_, {bus_->address(), nullptr});
    server->stop();
    ASSERT_TRUE(thrower->start([](const ControlRequest&) -> ControlReply { throw std::runtime_error("disk full"); },
                               why))
        << why;
    Call r = call({ControlOp::Status, "", "", -1, ""});
    ASSERT_EQ(r.reach, Reach::Answered) << r.why;
    EXPECT_EQ(r.reply.status, ControlStatus::Failed);
    EXPECT_EQ(r.reply.message, "disk full");
}

TEST_F(SessionChannel, ASecondServerOnTheSameBusIsASecondCopy) {
    auto first = startServer();
    PosixEventLoop otherLoop;
    auto second =
        nocturo::platform::MakeDbusControlServer(ControlScope::Session, otherLoop, {bus_->address(), nullptr});
    std::string why;
    EXPECT_FALSE(second->start([](const ControlRequest&) { return ControlReply{}; }, why));
    EXPECT_EQ(why, "control channel: another copy of Nocturo offers io.github.nocturo.nocturo on the session bus");
    // The first still answers; once it stops, the name is free again.
    EXPECT_EQ(call({ControlOp::Status, "", "", -1, ""}).reach, Reach::Answered);
    first->stop();
    EXPECT_TRUE(second->start([](const ControlRequest&) { return ControlReply{}; }, why)) << why;
}

TEST_F(SessionChannel, NoneRunningAndNoAnswerAreTold) {
    Call none = CallFrom(ControlScope::Session, bus_->address(), {ControlOp::Status, "", "", -1, ""});
    EXPECT_EQ(none.reach, Reach::NoneRunning);
    EXPECT_EQ(none.why, "no Nocturo is running on the session bus");
    Call noBus = CallFrom(ControlScope::Session, "unix:path=" + folder_ / "nothing-here", {});
    EXPECT_EQ(noBus.reach, Reach::NoneRunning);
    EXPECT_NE(noBus.why.find("cannot connect"), std::string::npos) << noBus.why;
    // A program that holds the name but whose loop does not turn.
    auto server = startServer();
    const auto before = std::chrono::steady_clock::now();
    Call stuck = CallFrom(ControlScope::Session, bus_->address(), {ControlOp::Status, "", "", -1, ""}, 300);
    EXPECT_EQ(stuck.reach, Reach::NoAnswer) << stuck.why;
    EXPECT_NE(stuck.why.find("did not answer"), std::string::npos) << stuck.why;
    EXPECT_LT(std::chrono::steady_clock::now() - before, 5s);
}

TEST_F(SessionChannel, AStateChangeIsSignalledToListeners) {
    auto server = startServer();
    std::promise<ControlState> heard;
    auto result = heard.get_future();
    // A listener on its own connection, served by its own thread.
    sd_bus* listener = nullptr;
    ASSERT_GE(sd_bus_new(&listener), 0);
    sd_bus_set_address(listener, bus_->address().c_str());
    sd_bus_set_bus_client(listener, 1);
    ASSERT_GE(sd_bus_start(listener), 0);
    struct Ctx {
        std::promise<ControlState>* heard;
        bool done = false;
    } ctx{&heard};
    ASSERT_GE(sd_bus_match_signal(
                  listener, nullptr, "io.github.nocturo.nocturo", "/io/github/nocturo/nocturo",
                  "io.github.nocturo.nocturo.Control", "StateChanged",
                  [](sd_bus_message* msg, void* userdata, sd_bus_error*) -> int {
                      auto* c = static_cast<Ctx*>(userdata);
                      if (c->done) return 0;
                      // Read back through the client's own decoding: a GetState answer has the same shape.
                      ControlState s;
                      const char* key = nullptr;
                      sd_bus_message_enter_container(msg, 'a', "{sv}");
                      while (sd_bus_message_enter_container(msg, 'e', "sv") > 0) {
                          sd_bus_message_read(msg, "s", &key);
                          const std::string k = key;
                          if (k == "secondsLeft") {
                              int64_t v = 0;
                              sd_bus_message_read(msg, "v", "x", &v);
                              s.secondsLeft = v;
                          } else if (k == "phase") {
                              const char* v = nullptr;
                              sd_bus_message_read(msg, "v", "s", &v);
                              s.phase = v;
                          } else {
                              sd_bus_message_skip(msg, "v");
                          }
                          sd_bus_message_exit_container(msg);
                      }
                      c->done = true;
                      c->heard->set_value(s);
                      return 0;
                  },
                  &ctx),
              0);
    // The match is in place once the bus has answered a call after it.
    sd_bus_call_method(listener, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetId",
                       nullptr, nullptr, "");
    ControlState changed;
    changed.secondsLeft = 42;
    changed.phase = "waiting";
    server->stateChanged(changed);
    std::thread serve([&] {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (!ctx.done && std::chrono::steady_clock::now() < deadline) {
            if (sd_bus_process(listener, nullptr) > 0) continue;
            sd_bus_wait(listener, 50'000);
        }
    });
    serve.join();
    sd_bus_flush_close_unref(listener);
    ASSERT_EQ(result.wait_for(0ms), std::future_status::ready) << "no StateChanged heard";
    ControlState s = result.get();
    EXPECT_EQ(s.secondsLeft, 42);
    EXPECT_EQ(s.phase, "waiting");
}

TEST(ControlErrors, NamesAndStatusesGoBothWays) {
    using nocturo::platform::ControlErrorName;
    using nocturo::platform::ControlStatusOfError;
    EXPECT_EQ(ControlErrorName(ControlStatus::Ok), "");
    EXPECT_EQ(ControlErrorName(ControlStatus::Refused), "io.github.nocturo.nocturo.Error.Refused");
    for (ControlStatus s :
         {ControlStatus::Refused, ControlStatus::Denied, ControlStatus::BadRequest, ControlStatus::Failed})
        EXPECT_EQ(ControlStatusOfError(ControlErrorName(s)), s);
    EXPECT_EQ(ControlStatusOfError("org.freedesktop.DBus.Error.AccessDenied"), ControlStatus::Denied);
    EXPECT_EQ(ControlStatusOfError("org.freedesktop.DBus.Error.UnknownMethod"), ControlStatus::Failed);
}

// ---- the system bus --------------------------------------------------------------------

// Answers as told and records whom it was asked about.
class StubAuthority : public IChangeAuthority {
public:
    struct Shared {
        std::vector<Caller> asked;
        Verdict verdict = Verdict::Denied;
    };
    explicit StubAuthority(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}
    void check(const Caller& caller, Done done) override {
        shared_->asked.push_back(caller);
        done(shared_->verdict, shared_->verdict == Verdict::Allowed ? "" : "the stub says no");
    }

private:
    std::shared_ptr<Shared> shared_;
};

class SystemChannel : public ::testing::Test {
protected:
    void SetUp() override {
        auto daemon = nocturo::test::FindInPath("dbus-daemon");
        if (!daemon) GTEST_SKIP() << "dbus-daemon is not installed";
        if (geteuid() != 0) GTEST_SKIP() << "the service's bus name is root's: run as root";
        bus_ = std::make_unique<nocturo::test::PrivateBus>(
            *daemon, folder_.path(),
            nocturo::test::SystemBusConfig(
                {std::string(NOCTURO_SOURCE_DIR) + "/packaging/dbus/io.github.nocturo.nocturo.conf"}));
    }
    void startServer(std::unique_ptr<IChangeAuthority> authority) {
        nocturo::platform::DbusControlOptions o;
        o.address = bus_->address();
        o.authority = std::move(authority);
        server_ = nocturo::platform::MakeDbusControlServer(ControlScope::System, loop_, std::move(o));
        std::string why;
        ASSERT_TRUE(server_->start(
            [this](const ControlRequest& r) {
                seen_.push_back(r.op);
                ControlReply reply;
                reply.state.service = true;
                reply.state.secondsLeft = 99;
                return reply;
            },
            why))
            << why;
    }
    // The request as "nobody" would send it, from a child process; the
    // outcome's message: "answered <status> <message>" or how it was not.
    std::string callAsNobody(const ControlRequest& request) {
        const std::string address = bus_->address();
        auto run = std::async(std::launch::async, [&] {
            return nocturo::test::RunAsOrdinaryUser(folder_.path(), [&] {
                Call c = CallFrom(ControlScope::System, address, request);
                std::string text = c.reach == Reach::Answered
                                       ? "answered " + std::to_string(static_cast<int>(c.reply.status)) + " " +
                                             c.reply.message + " " + std::to_string(c.reply.state.secondsLeft)
                                       : "not answered: " + c.why;
                throw nocturo::platform::Error(1, text);
            });
        });
        auto outcome = Serve(loop_, run);
        if (!outcome) return "<cannot become nobody>";
        return outcome->message;
    }

    nocturo::test::TempDir folder_;
    std::unique_ptr<nocturo::test::PrivateBus> bus_;
    PosixEventLoop loop_;
    std::unique_ptr<nocturo::platform::IControlServer> server_;
    std::vector<ControlOp> seen_;
};

TEST_F(SystemChannel, EveryoneReadsRootChangesAndOthersChangeOnlyWhenTheAuthoritySaysSo) {
    auto shared = std::make_shared<StubAuthority::Shared>();
    startServer(std::make_unique<StubAuthority>(shared));
    // Reading needs no one's leave.
    EXPECT_EQ(callAsNobody({ControlOp::Status, "", "", -1, ""}), "answered 0  99");
    EXPECT_TRUE(shared->asked.empty());
    // Root changes without asking.
    Call root = CallServed(loop_, ControlScope::System, bus_->address(), {ControlOp::Postpone, "", "", 600, ""});
    ASSERT_EQ(root.reach, Reach::Answered) << root.why;
    EXPECT_EQ(root.reply.status, ControlStatus::Ok);
    EXPECT_TRUE(shared->asked.empty());
    // Another user: refused, and the handler never sees the request.
    seen_.clear();
    EXPECT_EQ(callAsNobody({ControlOp::Postpone, "", "", 600, ""}),
              "answered " + std::to_string(static_cast<int>(ControlStatus::Denied)) + " the stub says no -1");
    EXPECT_TRUE(seen_.empty());
    ASSERT_EQ(shared->asked.size(), 1u);
    EXPECT_EQ(shared->asked[0].uid, nocturo::test::Nobody);
    EXPECT_EQ(shared->asked[0].sender.rfind(":1.", 0), 0u) << shared->asked[0].sender;
    EXPECT_FALSE(shared->asked[0].interactive);
    // ... and allowed once the authority says so.
    shared->verdict = IChangeAuthority::Verdict::Allowed;
    EXPECT_EQ(callAsNobody({ControlOp::Cancel, "", "", -1, ""}), "answered 0  99");
    EXPECT_EQ(seen_, std::vector<ControlOp>{ControlOp::Cancel});
}

TEST_F(SystemChannel, OnlyRootMayOfferTheServicesName) {
    const std::string address = bus_->address();
    auto run = std::async(std::launch::async, [&] {
        return nocturo::test::RunAsOrdinaryUser(folder_.path(), [&] {
            PosixEventLoop loop;
            auto server = nocturo::platform::MakeDbusControlServer(ControlScope::System, loop, {address, nullptr});
            std::string why;
            if (server->start([](const ControlRequest&) { return ControlReply{}; }, why))
                throw nocturo::platform::Error(1, "started");
            throw nocturo::platform::Error(1, why);
        });
    });
    auto outcome = Serve(loop_, run);
    ASSERT_TRUE(outcome);
    EXPECT_NE(outcome->message.find("cannot own the name io.github.nocturo.nocturo"), std::string::npos)
        << outcome->message;
}

// A fake polkit on the bus: CheckAuthorization answers as told and records
// what it was asked.
struct FakePolkit {
    nocturo::test::CallRecorder* recorder;
    std::atomic<bool>* authorize;
};

int FakeCheckAuthorization(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    auto* c = static_cast<FakePolkit*>(userdata);
    const char *kind = nullptr, *key = nullptr, *name = nullptr, *action = nullptr;
    uint32_t flags = 0;
    sd_bus_message_enter_container(m, 'r', "sa{sv}");
    sd_bus_message_read(m, "s", &kind);
    sd_bus_message_enter_container(m, 'a', "{sv}");
    sd_bus_message_enter_container(m, 'e', "sv");
    sd_bus_message_read(m, "s", &key);
    sd_bus_message_read(m, "v", "s", &name);
    sd_bus_message_exit_container(m);
    sd_bus_message_exit_container(m);
    sd_bus_message_exit_container(m);
    sd_bus_message_read(m, "s", &action);
    sd_bus_message_skip(m, "a{ss}");
    sd_bus_message_read(m, "u", &flags);
    const std::string args = std::string(kind) + "," + key + "," +
                             (std::string(name).rfind(":1.", 0) == 0 ? ":1.N" : name) + "," +
                             action + "," + std::to_string(flags);
    if (int r = c->recorder->record(m, args, error); r < 0) return r;
    const int yes = c->authorize->load() ? 1 : 0;
    return sd_bus_reply_method_return(m, "(bba{ss})", yes, yes ? 0 : 1, 0);
}

TEST_F(SystemChannel, PolkitIsAskedAboutTheCallersBusName) {
    nocturo::test::CallRecorder recorder;
    std::atomic<bool> authorize{false};
    FakePolkit ctx{&recorder, &authorize};
    static const sd_bus_vtable vtable[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_METHOD("CheckAuthorization", "(sa{sv})sa{ss}us", "(bba{ss})",
                      &FakeCheckAuthorization, 0),
        SD_BUS_VTABLE_END,
    };
    nocturo::test::BusServiceThread polkit(bus_->address(), [&](sd_bus* b) -> std::string {
        if (sd_bus_add_object_vtable(b, nullptr, "/org/freedesktop/PolicyKit1/Authority",
                                     "org.freedesktop.PolicyKit1.Authority", vtable, &ctx) < 0)
            return "vtable";
        return sd_bus_request_name(b, "org.freedesktop.PolicyKit1", 0) < 0 ? "name" : "";
    });
    startServer(nullptr);  // polkit itself
    std::string refused = callAsNobody({ControlOp::Disarm, "", "", -1, ""});
    EXPECT_EQ(refused.rfind("answered " + std::to_string(static_cast<int>(ControlStatus::Denied)) +
                                " not authorised to control the Nocturo service: authentication is needed",
                            0),
              0u)
        << refused;
    EXPECT_EQ(recorder.calls(), std::vector<std::string>{
                                    "CheckAuthorization(system-bus-name,name,:1.N,io.github.nocturo.nocturo.control,0)"});
    EXPECT_TRUE(seen_.empty());
    authorize = true;
    EXPECT_EQ(callAsNobody({ControlOp::Disarm, "", "", -1, ""}), "answered 0  99");
    EXPECT_EQ(seen_, std::vector<ControlOp>{ControlOp::Disarm});
    // polkit gone: a change is denied, saying why.
    recorder.refuse("CheckAuthorization", "org.freedesktop.DBus.Error.ServiceUnknown", "gone");
    std::string lost = callAsNobody({ControlOp::Disarm, "", "", -1, ""});
    EXPECT_NE(lost.find("the permission could not be checked (polkit: org.freedesktop.DBus.Error.ServiceUnknown"),
              std::string::npos)
        << lost;
}

}  // namespace

#endif

// The control channel's named pipe: a server on the program's loop, clients
// on threads of their own as nocturoctl would be, the request and reply
// lines, the state's events, hostile lines, the service's check of who may
// change the schedule, and the client's answers when no one is there.
#include <gtest/gtest.h>

#include <windows.h>

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/ControlChannel.h"
#include "platform/common/ControlJson.h"
#include "platform/sim/SimClock.h"
#include "platform/sim/SimEventLoop.h"
#include "platform/win32/PipeControl.h"
#include "platform/win32/Win32EventLoop.h"
#include "platform/win32/WinText.h"
#include "support/TestSupport.h"

namespace {

using namespace std::chrono_literals;
using namespace nocturo::platform;
using nocturo::platform::win32::IPipeAuthority;
using nocturo::platform::win32::PipeControlClient;
using nocturo::platform::win32::PipeControlServer;
using nocturo::platform::win32::PipeLineClient;
using nocturo::platform::win32::Win32EventLoop;
using Reach = IControlClient::Reach;
using Clock = std::chrono::steady_clock;

// A pipe name of this test alone: test programs run side by side.
std::wstring UniqueName() {
    static int n = 0;
    return L"\\\\.\\pipe\\io.github.nocturo.nocturo-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(++n);
}

// What the program's side would do: records each request with the thread
// it came on, and answers as told.
struct Program {
    std::vector<ControlRequest> requests;
    std::vector<DWORD> threads;
    ControlState state;
    std::function<ControlReply(const ControlRequest&)> answer;

    Program() {
        state.armed = true;
        state.mode = "countdown";
        state.action = "Reboot";
        state.secondsLeft = 600;
    }
    PipeControlServer::Handler handler() {
        return [this](const ControlRequest& r) {
            requests.push_back(r);
            threads.push_back(GetCurrentThreadId());
            if (answer) return answer(r);
            ControlReply reply;
            reply.state = state;
            return reply;
        };
    }
    // The requests other than the status ones the server asks for itself.
    std::vector<ControlRequest> changes() const {
        std::vector<ControlRequest> out;
        for (const auto& r : requests)
            if (r.op != ControlOp::Status) out.push_back(r);
        return out;
    }
};

// Runs client on a thread of its own while the loop serves, as nocturoctl
// in another process would; returns once client has returned.
void ServeWhile(Win32EventLoop& loop, const std::function<void()>& client, std::chrono::milliseconds limit = 15s) {
    std::atomic<bool> done{false};
    std::thread t([&] {
        client();
        done = true;
        loop.postFromAnyThread([] {});
    });
    const auto until = Clock::now() + limit;
    while (!done && Clock::now() < until) loop.idle(100);
    t.join();
    ASSERT_TRUE(done) << "the client did not finish in time";
}

struct Fixture : ::testing::Test {
    Win32EventLoop loop;
    Program program;
    std::wstring name = UniqueName();
    std::unique_ptr<PipeControlServer> server;

    void startServer(PipeControlServer::Options options = {}) {
        options.name = name;
        server = std::make_unique<PipeControlServer>(loop, options);
        std::string why;
        ASSERT_TRUE(server->start(program.handler(), why)) << why;
    }
    // One line sent on a fresh connection, one read back.
    std::string exchange(const std::string& line) {
        std::string got, why;
        ServeWhile(loop, [&] {
            PipeLineClient c;
            ASSERT_EQ(c.connect(name, 3000, why), Reach::Answered) << why;
            ASSERT_TRUE(c.writeLine(line, 3000, why)) << why;
            ASSERT_TRUE(c.readLine(got, 3000, why)) << why;
        });
        return got;
    }
};

using PipeControl = Fixture;

// ---- requests and replies --------------------------------------------------------------

TEST_F(PipeControl, EachOperationReachesTheHandlerOnTheLoopsThreadAndItsReplyComesBack) {
    startServer();
    program.answer = [&](const ControlRequest& r) {
        ControlReply reply;
        reply.state = program.state;
        if (r.op == ControlOp::Cancel) {
            reply.status = ControlStatus::Refused;
            reply.message = "The Cancel button is disabled.";
        }
        return reply;
    };
    const ControlRequest requests[] = {
        {ControlOp::Status, "", "", -1, ""},   {ControlOp::Arm, "Reboot", "22:30", -1, ""},
        {ControlOp::Arm, "", "", 600, ""},     {ControlOp::Disarm, "", "", -1, ""},
        {ControlOp::Postpone, "", "", 300, ""}, {ControlOp::Cancel, "", "", -1, "secret"},
        {ControlOp::Now, "Shutdown", "", -1, ""}, {ControlOp::Raise, "", "", -1, ""},
    };
    std::vector<Reach> reaches;
    std::vector<ControlReply> replies;
    ServeWhile(loop, [&] {
        for (const ControlRequest& r : requests) {
            PipeControlClient client(name);
            ControlReply reply;
            std::string why;
            reaches.push_back(client.call(r, reply, why));
            replies.push_back(reply);
        }
    });
    ASSERT_EQ(program.requests.size(), std::size(requests));
    for (std::size_t i = 0; i < std::size(requests); ++i) {
        const ControlRequest& sent = requests[i];
        const ControlRequest& got = program.requests[i];
        EXPECT_EQ(reaches[i], Reach::Answered);
        EXPECT_EQ(got.op, sent.op) << i;
        EXPECT_EQ(got.action, sent.action) << i;
        EXPECT_EQ(got.at, sent.at) << i;
        EXPECT_EQ(got.seconds, sent.seconds) << i;
        EXPECT_EQ(got.password, sent.password) << i;
        EXPECT_EQ(program.threads[i], GetCurrentThreadId()) << "request " << i << " came on another thread";
        EXPECT_EQ(replies[i].state.mode, "countdown");
        EXPECT_EQ(replies[i].state.secondsLeft, 600);
    }
    EXPECT_EQ(replies[5].status, ControlStatus::Refused);
    EXPECT_EQ(replies[5].message, "The Cancel button is disabled.");
    EXPECT_EQ(replies[6].status, ControlStatus::Ok);
}

TEST_F(PipeControl, RequestsOnOneConnectionAreAnsweredInOrderEvenWhenWrittenTogether) {
    startServer();
    program.answer = [&](const ControlRequest& r) {
        ControlReply reply;
        reply.state = program.state;
        reply.message = ControlOpName(r.op);
        return reply;
    };
    std::vector<std::string> messages;
    ServeWhile(loop, [&] {
        PipeLineClient c;
        std::string why, line;
        ASSERT_EQ(c.connect(name, 3000, why), Reach::Answered) << why;
        // Three requests in one write, the last one split across two.
        ASSERT_TRUE(c.write("{\"op\":\"disarm\"}\n{\"op\":\"raise\"}\n{\"op\":\"can", 3000, why));
        Sleep(50);
        ASSERT_TRUE(c.writeLine("cel\"}", 3000, why));
        for (int i = 0; i < 3; ++i) {
            ASSERT_TRUE(c.readLine(line, 3000, why)) << why;
            messages.push_back(ControlServerLineFromText(line).reply.message);
        }
    });
    EXPECT_EQ(messages, (std::vector<std::string>{"disarm", "raise", "cancel"}));
}

TEST_F(PipeControl, TheReplyLineIsTheReplyInJson) {
    startServer();
    program.state.due = "2026-12-10T22:30:00";
    ControlReply expected;
    expected.state = program.state;
    EXPECT_EQ(exchange(R"({"op":"status"})"), ControlReplyToLine(expected));
}

TEST_F(PipeControl, AFailingHandlerIsAnsweredWithFailed) {
    startServer();
    program.answer = [&](const ControlRequest& r) -> ControlReply {
        if (r.op == ControlOp::Now) throw std::runtime_error("CreateProcessW failed");
        ControlReply reply;
        reply.state = program.state;
        return reply;
    };
    const ControlServerLine got = ControlServerLineFromText(exchange(R"({"op":"now","action":"Reboot"})"));
    EXPECT_EQ(got.reply.status, ControlStatus::Failed);
    EXPECT_EQ(got.reply.message, "CreateProcessW failed");
    EXPECT_EQ(got.reply.state.mode, "countdown") << "the state the program gave last";
}

// ---- events ------------------------------------------------------------------------------

TEST_F(PipeControl, AWatchingClientGetsAnEventLineForEachChangeAndOthersGetNone) {
    startServer();
    ControlState changed = program.state;
    changed.armed = false;
    changed.secondsLeft = -1;
    std::vector<std::string> watcherLines;
    std::string plainLine;
    std::atomic<int> ready{0};
    std::atomic<bool> changesSent{false};
    std::thread watcher([&] {
        PipeLineClient c;
        std::string why, line;
        if (c.connect(name, 3000, why) != Reach::Answered) return;
        c.writeLine(ControlWatchLine(), 3000, why);
        if (!c.readLine(line, 3000, why)) return;
        watcherLines.push_back(line);
        ++ready;
        for (int i = 0; i < 2 && c.readLine(line, 5000, why); ++i) watcherLines.push_back(line);
    });
    std::thread plain([&] {
        PipeLineClient c;
        std::string why, line;
        if (c.connect(name, 3000, why) != Reach::Answered) return;
        ++ready;
        while (!changesSent) Sleep(5);
        // Its first line is the reply to its request, not an event.
        c.writeLine(R"({"op":"status"})", 3000, why);
        if (c.readLine(line, 3000, why)) plainLine = line;
    });
    const auto until = Clock::now() + 10s;
    while (ready < 2 && Clock::now() < until) loop.idle(10);
    server->stateChanged(changed);
    server->stateChanged(program.state);
    changesSent = true;
    while ((plainLine.empty() || watcherLines.size() < 3) && Clock::now() < until) loop.idle(10);
    watcher.join();
    plain.join();
    ASSERT_EQ(watcherLines.size(), 3u);
    ControlReply watchReply;
    watchReply.state = program.state;
    EXPECT_EQ(watcherLines[0], ControlReplyToLine(watchReply)) << "the watch is answered with the state";
    EXPECT_EQ(watcherLines[1], ControlEventLine(changed));
    EXPECT_EQ(watcherLines[2], ControlEventLine(program.state));
    EXPECT_EQ(watcherLines[1].rfind(R"({"event":"stateChanged","state":{"armed":false,)", 0), 0u);
    EXPECT_FALSE(ControlServerLineFromText(plainLine).event);
    EXPECT_TRUE(program.changes().empty());
}

TEST_F(PipeControl, AWatcherThatDoesNotReadIsDroppedOnceItsOutputPilesUp) {
    PipeControlServer::Options options;
    options.maxPending = 4096;
    startServer(options);
    std::atomic<bool> watching{false}, release{false};
    std::thread watcher([&] {
        PipeLineClient c;
        std::string why, line;
        if (c.connect(name, 3000, why) != Reach::Answered) return;
        c.writeLine(ControlWatchLine(), 3000, why);
        c.readLine(line, 3000, why);
        watching = true;
        while (!release) Sleep(5);  // and never reads again
    });
    const auto until = Clock::now() + 10s;
    while (!watching && Clock::now() < until) loop.idle(10);
    ASSERT_EQ(server->clientCount(), 1u);
    // Far more than the pipe's buffer and the allowance together.
    ControlState s = program.state;
    for (int i = 0; i < 2000 && server->clientCount() > 0; ++i) {
        s.secondsLeft = i;
        server->stateChanged(s);
        loop.yield();
    }
    EXPECT_EQ(server->clientCount(), 0u);
    release = true;
    watcher.join();
    // The server goes on serving others.
    EXPECT_EQ(ControlServerLineFromText(exchange(R"({"op":"status"})")).reply.status, ControlStatus::Ok);
}

// ---- hostile lines -----------------------------------------------------------------------

TEST_F(PipeControl, LinesThatAreNotRequestsAreAnsweredWithBadRequestAndReachNoHandler) {
    startServer();
    std::vector<ControlServerLine> got;
    ServeWhile(loop, [&] {
        PipeLineClient c;
        std::string why, line;
        ASSERT_EQ(c.connect(name, 3000, why), Reach::Answered) << why;
        for (const char* bad : {"status", R"({"op":"shutdown"})", R"({"op":"postpone","seconds":"ten"})", "[]",
                                R"({"op":"cancel"} trailing)", ""}) {
            ASSERT_TRUE(c.writeLine(bad, 3000, why)) << why;
            ASSERT_TRUE(c.readLine(line, 3000, why)) << why;
            got.push_back(ControlServerLineFromText(line));
        }
        // The connection stays usable.
        ASSERT_TRUE(c.writeLine(R"({"op":"disarm"})", 3000, why));
        ASSERT_TRUE(c.readLine(line, 3000, why)) << why;
        got.push_back(ControlServerLineFromText(line));
    });
    ASSERT_EQ(got.size(), 7u);
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(got[i].reply.status, ControlStatus::BadRequest) << i;
        EXPECT_EQ(got[i].reply.state.mode, "countdown") << "the state as it is: " << i;
    }
    EXPECT_NE(got[0].reply.message.find("is not JSON"), std::string::npos) << got[0].reply.message;
    EXPECT_EQ(got[1].reply.message, "Unknown op \"shutdown\".");
    EXPECT_EQ(got[2].reply.message, "\"seconds\" must be a whole number of 0 or more, not string.");
    EXPECT_EQ(got[3].reply.message, "The request is not a JSON object.");
    EXPECT_EQ(got[6].reply.status, ControlStatus::Ok);
    ASSERT_EQ(program.changes().size(), 1u) << "only the good request reached the program";
    EXPECT_EQ(program.changes()[0].op, ControlOp::Disarm);
}

TEST_F(PipeControl, AnOverlongLineIsRefusedAndEndsTheConnection) {
    startServer();
    std::string line, why, after;
    bool readAfter = true;
    ServeWhile(loop, [&] {
        PipeLineClient c;
        ASSERT_EQ(c.connect(name, 3000, why), Reach::Answered) << why;
        // No newline for 70000 bytes: the server must not keep reading.
        std::string huge = R"({"op":"now","action":")" + std::string(70000, 'x');
        c.writeLine(huge, 3000, why);  // may break off once the server has closed
        ASSERT_TRUE(c.readLine(line, 3000, why)) << why;
        readAfter = c.readLine(after, 3000, why);
    });
    const ControlServerLine got = ControlServerLineFromText(line);
    EXPECT_EQ(got.reply.status, ControlStatus::BadRequest);
    EXPECT_EQ(got.reply.message, "The request is longer than 65536 bytes.");
    EXPECT_FALSE(readAfter) << "the connection was to end, got " << after;
    EXPECT_TRUE(program.changes().empty());
    EXPECT_EQ(server->clientCount(), 0u);
}

TEST_F(PipeControl, ALineOfExactlyTheLimitIsStillRead) {
    startServer();
    const std::string body = R"({"op":"disarm"})";
    const std::string line = body + std::string(kControlLineMax - body.size(), ' ');
    EXPECT_EQ(ControlServerLineFromText(exchange(line)).reply.status, ControlStatus::Ok);
    ASSERT_EQ(program.changes().size(), 1u);
}

// ---- the service's pipe: who may change what -----------------------------------------------

// Records each question and answers as told.
struct StubAuthority : IPipeAuthority {
    bool administrator = false;
    std::string why;
    int asked = 0;
    std::vector<HANDLE> pipes;
    bool clientIsAdministrator(HANDLE pipe, std::string& whyOut) override {
        ++asked;
        pipes.push_back(pipe);
        whyOut = why;
        return administrator;
    }
};

TEST_F(PipeControl, OnTheServicesPipeAClientWhoIsNoAdministratorMayAskButNotChange) {
    auto authority = std::make_shared<StubAuthority>();
    PipeControlServer::Options options;
    options.service = true;
    options.authority = authority;
    startServer(options);

    const ControlServerLine status = ControlServerLineFromText(exchange(R"({"op":"status"})"));
    EXPECT_EQ(status.reply.status, ControlStatus::Ok);
    EXPECT_EQ(authority->asked, 0) << "everyone may ask for the state";
    const ControlServerLine watch = ControlServerLineFromText(exchange(ControlWatchLine()));
    EXPECT_EQ(watch.reply.status, ControlStatus::Ok);
    EXPECT_EQ(authority->asked, 0) << "or listen to it";

    for (const char* change : {R"({"op":"cancel"})", R"({"op":"postpone","seconds":600})", R"({"op":"disarm"})",
                               R"({"op":"arm","seconds":60})", R"({"op":"now","action":"Reboot"})"}) {
        const ControlServerLine got = ControlServerLineFromText(exchange(change));
        EXPECT_EQ(got.reply.status, ControlStatus::Denied) << change;
        EXPECT_EQ(got.reply.message, "Only administrators may change the schedule of the system service.");
        EXPECT_EQ(got.reply.state.mode, "countdown");
    }
    EXPECT_EQ(authority->asked, 5) << "once per changing request";
    for (HANDLE pipe : authority->pipes) EXPECT_NE(pipe, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(program.changes().empty()) << "no refused request reached the program";

    // Why it could not tell goes into the refusal; an administrator gets through.
    authority->why = "ImpersonateNamedPipeClient: access denied";
    EXPECT_EQ(ControlServerLineFromText(exchange(R"({"op":"cancel"})")).reply.message,
              "Only administrators may change the schedule of the system service. "
              "(ImpersonateNamedPipeClient: access denied)");
    authority->administrator = true;
    EXPECT_EQ(ControlServerLineFromText(exchange(R"({"op":"cancel"})")).reply.status, ControlStatus::Ok);
    ASSERT_EQ(program.changes().size(), 1u);
    EXPECT_EQ(program.changes()[0].op, ControlOp::Cancel);
}

TEST_F(PipeControl, TheSessionsPipeAsksNoAuthority) {
    // Its security descriptor admits the user alone: whoever got in may change.
    startServer();
    EXPECT_EQ(ControlServerLineFromText(exchange(R"({"op":"cancel"})")).reply.status, ControlStatus::Ok);
}

TEST_F(PipeControl, TheTokenCheckSeesTheClientAsTheSameUserItIs) {
    // The client is this process: through the pipe its token must be found
    // in the Administrators group exactly when our own token is.
    std::array<BYTE, SECURITY_MAX_SID_SIZE> sid{};
    DWORD sidSize = static_cast<DWORD>(sid.size());
    BOOL selfAdmin = FALSE;
    ASSERT_TRUE(CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid.data(), &sidSize));
    ASSERT_TRUE(CheckTokenMembership(nullptr, sid.data(), &selfAdmin));

    struct Recording : IPipeAuthority {
        std::unique_ptr<IPipeAuthority> real = win32::MakeTokenAuthority();
        std::vector<bool> answers;
        std::string why;
        bool clientIsAdministrator(HANDLE pipe, std::string& whyOut) override {
            const bool admin = real->clientIsAdministrator(pipe, whyOut);
            answers.push_back(admin);
            why = whyOut;
            return admin;
        }
    };
    auto authority = std::make_shared<Recording>();
    PipeControlServer::Options options;
    options.service = true;
    options.authority = authority;
    startServer(options);
    const ControlServerLine got = ControlServerLineFromText(exchange(R"({"op":"disarm"})"));
    ASSERT_EQ(authority->answers.size(), 1u);
    EXPECT_EQ(authority->answers[0], selfAdmin != FALSE) << authority->why;
    EXPECT_EQ(got.reply.status, selfAdmin ? ControlStatus::Ok : ControlStatus::Denied);
}

// ---- reaching the program ----------------------------------------------------------------

TEST_F(PipeControl, TheClientChecksWhoServesThePipeBeforeItSendsAnything) {
    startServer();
    // This process serves the pipe: the same user.
    int checks = 0;
    bool same = false;
    std::string sameWhy;
    Reach reach = Reach::NoAnswer, refused = Reach::Answered;
    std::string why, refusedWhy;
    ServeWhile(loop, [&] {
        ControlReply reply;
        PipeControlClient client(name, 3000, [&](HANDLE pipe, std::string& w) {
            ++checks;
            same = win32::PipeServerIsThisUser(pipe, sameWhy);
            w = sameWhy;
            return same;
        });
        reach = client.call(ControlRequest{ControlOp::Disarm, "", "", -1, ""}, reply, why);
        // A check that fails: nothing reaches the program.
        PipeControlClient wary(name, 3000, [](HANDLE, std::string& w) {
            w = "not the one";
            return false;
        });
        refused = wary.call(ControlRequest{ControlOp::Cancel, "", "", -1, "secret"}, reply, refusedWhy);
    });
    EXPECT_EQ(checks, 1);
    EXPECT_TRUE(same) << sameWhy;
    EXPECT_EQ(reach, Reach::Answered) << why;
    EXPECT_EQ(refused, Reach::NoAnswer);
    EXPECT_EQ(refusedWhy, "not the one");
    ASSERT_EQ(program.changes().size(), 1u);
    EXPECT_EQ(program.changes()[0].op, ControlOp::Disarm);
    // Something that is no pipe has no server to vouch for.
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::string eventWhy;
    EXPECT_FALSE(win32::PipeServerIsThisUser(event, eventWhy));
    EXPECT_FALSE(eventWhy.empty());
    CloseHandle(event);
}

TEST_F(PipeControl, NoPipeMeansNoneRunningAtOnce) {
    PipeControlClient client(name, 3000);
    ControlReply reply;
    std::string why;
    const auto start = Clock::now();
    EXPECT_EQ(client.call(ControlRequest{}, reply, why), Reach::NoneRunning);
    EXPECT_LT(Clock::now() - start, 1s);
    EXPECT_NE(why.find("No copy of the program is running"), std::string::npos) << why;
    // And so after the server stopped.
    startServer();
    server->stop();
    EXPECT_EQ(client.call(ControlRequest{}, reply, why), Reach::NoneRunning) << why;
}

TEST_F(PipeControl, AProgramThatHoldsThePipeButDoesNotAnswerIsNoAnswerAfterTheTimeOut) {
    // The pipe exists and takes the connection, but nobody serves it.
    HANDLE pipe = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0,
                                   nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    std::thread taker([&] { ConnectNamedPipe(pipe, nullptr); });
    PipeControlClient client(name, 400);
    ControlReply reply;
    std::string why;
    const auto start = Clock::now();
    EXPECT_EQ(client.call(ControlRequest{}, reply, why), Reach::NoAnswer);
    EXPECT_GE(Clock::now() - start, 350ms);
    EXPECT_LT(Clock::now() - start, 3s);
    EXPECT_NE(why.find("No answer in time"), std::string::npos) << why;
    taker.join();
    CloseHandle(pipe);
}

TEST_F(PipeControl, WhenAllPlacesAreTakenTheNextClientWaitsItsTurnOrGivesUp) {
    PipeControlServer::Options options;
    options.maxClients = 1;
    startServer(options);
    std::atomic<bool> holding{false}, release{false};
    Reach second = Reach::Answered, third = Reach::NoneRunning;
    std::string secondWhy, thirdWhy;
    ServeWhile(loop, [&] {
        std::thread holder([&] {
            PipeLineClient c;
            std::string why, line;
            c.connect(name, 3000, why);
            c.writeLine(R"({"op":"status"})", 3000, why);
            c.readLine(line, 3000, why);
            holding = true;
            while (!release) Sleep(5);
        });
        while (!holding) Sleep(5);
        // Busy all the time it waits.
        ControlReply reply;
        second = PipeControlClient(name, 300).call(ControlRequest{}, reply, secondWhy);
        // Waits, and gets in once the holder leaves.
        std::thread leaver([&] {
            Sleep(200);
            release = true;
        });
        third = PipeControlClient(name, 5000).call(ControlRequest{}, reply, thirdWhy);
        leaver.join();
        holder.join();
    });
    EXPECT_EQ(second, Reach::NoAnswer);
    EXPECT_NE(secondWhy.find("busy"), std::string::npos) << secondWhy;
    EXPECT_EQ(third, Reach::Answered) << thirdWhy;
}

TEST_F(PipeControl, ASecondServerOnTheSameNameDoesNotStart) {
    startServer();
    PipeControlServer::Options options;
    options.name = name;
    PipeControlServer second(loop, options);
    std::string why;
    EXPECT_FALSE(second.start(program.handler(), why));
    EXPECT_EQ(why, "Another program serves " + win32::Narrow(name) + " already.");
    // The first one still answers.
    EXPECT_EQ(ControlServerLineFromText(exchange(R"({"op":"status"})")).reply.status, ControlStatus::Ok);
}

TEST_F(PipeControl, StoppingEndsTheConnectionsAndFreesTheName) {
    startServer();
    std::atomic<bool> connected{false};
    bool readFailed = false;
    std::thread client([&] {
        PipeLineClient c;
        std::string why, line;
        if (c.connect(name, 3000, why) != Reach::Answered) return;
        c.writeLine(ControlWatchLine(), 3000, why);
        c.readLine(line, 3000, why);
        connected = true;
        readFailed = !c.readLine(line, 5000, why);
    });
    const auto until = Clock::now() + 10s;
    while (!connected && Clock::now() < until) loop.idle(10);
    server->stop();
    client.join();
    EXPECT_TRUE(readFailed);
    // The name is free for the next start.
    std::string why;
    EXPECT_TRUE(server->start(program.handler(), why)) << why;
}

TEST(PipeControlNames, TheSessionsPipeCarriesItsSessionIdAndTheServicesItsName) {
    DWORD session = 0;
    ASSERT_TRUE(ProcessIdToSessionId(GetCurrentProcessId(), &session));
    EXPECT_EQ(win32::ControlPipeName(ControlScope::Session),
              L"\\\\.\\pipe\\io.github.nocturo.nocturo-" + std::to_wstring(session));
    EXPECT_EQ(win32::ControlPipeName(ControlScope::System), L"\\\\.\\pipe\\io.github.nocturo.nocturo-service");
}

// ---- the simulated machine on Windows ----------------------------------------------------

TEST(PipeControlSim, ThePacedSimulatedLoopServesThePipeToo) {
    SimClock clock{nocturo::test::At(2026, 12, 10, 22, 0, 0)};
    SimEventLoop loop{clock};
    loop.setPacing(1);
    Program program;
    PipeControlServer::Options options;
    options.name = UniqueName();
    PipeControlServer server(loop, options);
    std::string why;
    ASSERT_TRUE(server.start(program.handler(), why)) << why;

    std::atomic<bool> done{false};
    Reach reach = Reach::NoAnswer;
    ControlReply reply;
    std::thread client([&] {
        ControlRequest r;
        r.op = ControlOp::Postpone;
        r.seconds = 600;
        reach = PipeControlClient(options.name, 5000).call(r, reply, why);
        done = true;
    });
    TimerId check = loop.addTimer([&] {
        if (done) loop.quit(0);
    });
    loop.setTimer(check, 1000, true);
    loop.setRunLimit(clock.monotonicMs() + 10000);
    EXPECT_EQ(loop.run(), 0);
    client.join();
    EXPECT_EQ(reach, Reach::Answered) << why;
    ASSERT_EQ(program.changes().size(), 1u);
    EXPECT_EQ(program.changes()[0].seconds, 600);
    EXPECT_EQ(program.threads.back(), GetCurrentThreadId());
}

}  // namespace

// Running as a service: the state machine that answers the service
// manager's requests (the states reported, the requests accepted, the
// program's handlers run on its own loop and not on the dispatcher's
// thread), the dispatcher played by a recorder that starts the service's
// main function on a thread as the real one does, and the program run
// directly when no service manager started it.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/Error.h"
#include "platform/win32/Win32ServiceMain.h"

namespace {

using namespace nocturo::platform;
using namespace nocturo::platform::win32;
using namespace std::chrono_literals;

// The program's main loop: a queue of tasks that another thread may fill.
class Loop {
public:
    ServiceEvents::Post post() {
        return [this](ServiceEvents::Task task) {
            std::lock_guard<std::mutex> lock(mutex_);
            tasks_.push_back(std::move(task));
            wake_.notify_all();
        };
    }
    // Runs the queued tasks on this thread until `done` or the time is up.
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
        const auto until = std::chrono::steady_clock::now() + limit;
        for (;;) {
            ServiceEvents::Task task;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                if (done()) return true;
                if (!wake_.wait_until(lock, until, [&] { return !tasks_.empty() || done(); })) return false;
                if (tasks_.empty()) continue;
                task = std::move(tasks_.front());
                tasks_.pop_front();
            }
            task();
        }
    }
    std::size_t waiting() {
        std::lock_guard<std::mutex> lock(mutex_);
        return tasks_.size();
    }
    // Runs what is queued now.
    void runQueued() {
        while (waiting() > 0) runUntil([] { return false; }, 0ms);
    }

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<ServiceEvents::Task> tasks_;
};

struct Reports {
    std::mutex mutex;
    std::vector<SERVICE_STATUS> list;
    ServiceEvents::Report report() {
        return [this](const SERVICE_STATUS& s) {
            std::lock_guard<std::mutex> lock(mutex);
            list.push_back(s);
        };
    }
    std::vector<DWORD> states() {
        std::lock_guard<std::mutex> lock(mutex);
        std::vector<DWORD> out;
        for (const auto& s : list) out.push_back(s.dwCurrentState);
        return out;
    }
    SERVICE_STATUS last() {
        std::lock_guard<std::mutex> lock(mutex);
        return list.empty() ? SERVICE_STATUS{} : list.back();
    }
};

struct Handled {
    std::vector<std::string> calls;
    std::thread::id thread;
    bool pauseOk = true, resumeOk = true;
    ServiceEvents::Handlers handlers(bool withPause = true, bool withShutdown = false) {
        ServiceEvents::Handlers h;
        h.stop = [this] { note("stop"); };
        if (withPause) {
            h.pause = [this] {
                note("pause");
                return pauseOk;
            };
            h.resume = [this] {
                note("resume");
                return resumeOk;
            };
        }
        if (withShutdown) h.shutdown = [this] { note("shutdown"); };
        return h;
    }
    void note(const std::string& what) {
        calls.push_back(what);
        thread = std::this_thread::get_id();
    }
};

// ---- the state machine ------------------------------------------------------

TEST(Win32ServiceMain, AServiceStartsPendingAndRunsOnceTheProgramHasStarted) {
    Reports reports;
    ServiceEvents events(reports.report());
    EXPECT_TRUE(events.asService());
    events.starting();
    SERVICE_STATUS s = reports.last();
    EXPECT_EQ(s.dwCurrentState, static_cast<DWORD>(SERVICE_START_PENDING));
    EXPECT_EQ(s.dwServiceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
    EXPECT_EQ(s.dwControlsAccepted, 0u) << "no requests while starting";
    EXPECT_GT(s.dwWaitHint, 0u);
    EXPECT_GT(s.dwCheckPoint, 0u);
    // A stop before the program has a loop to take it cannot be accepted.
    EXPECT_EQ(events.control(SERVICE_CONTROL_STOP), static_cast<DWORD>(ERROR_SERVICE_CANNOT_ACCEPT_CTRL));

    Loop loop;
    Handled handled;
    events.started(loop.post(), handled.handlers());
    s = reports.last();
    EXPECT_EQ(s.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(s.dwControlsAccepted,
              static_cast<DWORD>(SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_PAUSE_CONTINUE));
    EXPECT_EQ(s.dwCheckPoint, 0u);
    EXPECT_EQ(s.dwWaitHint, 0u);
}

TEST(Win32ServiceMain, WithoutPauseHandlersPauseIsNotOffered) {
    Reports reports;
    ServiceEvents events(reports.report());
    events.starting();
    Loop loop;
    Handled handled;
    events.started(loop.post(), handled.handlers(false));
    EXPECT_EQ(reports.last().dwControlsAccepted, static_cast<DWORD>(SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN));
    EXPECT_EQ(events.control(SERVICE_CONTROL_PAUSE), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
    EXPECT_EQ(events.control(SERVICE_CONTROL_CONTINUE), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
    EXPECT_EQ(events.state(), static_cast<DWORD>(SERVICE_RUNNING));
}

TEST(Win32ServiceMain, RequestsAreAnsweredAtOnceAndHandledLaterOnTheProgramsLoop) {
    Reports reports;
    ServiceEvents events(reports.report());
    events.starting();
    Loop loop;
    Handled handled;
    events.started(loop.post(), handled.handlers());

    EXPECT_EQ(events.control(SERVICE_CONTROL_PAUSE), static_cast<DWORD>(NO_ERROR));
    EXPECT_EQ(events.state(), static_cast<DWORD>(SERVICE_PAUSE_PENDING));
    EXPECT_TRUE(handled.calls.empty()) << "the handler ran on the dispatcher's thread";
    EXPECT_EQ(reports.last().dwControlsAccepted, 0u);
    loop.runQueued();
    EXPECT_EQ(handled.calls, std::vector<std::string>{"pause"});
    EXPECT_EQ(events.state(), static_cast<DWORD>(SERVICE_PAUSED));

    EXPECT_EQ(events.control(SERVICE_CONTROL_CONTINUE), static_cast<DWORD>(NO_ERROR));
    EXPECT_EQ(events.state(), static_cast<DWORD>(SERVICE_CONTINUE_PENDING));
    loop.runQueued();
    EXPECT_EQ(events.state(), static_cast<DWORD>(SERVICE_RUNNING));

    EXPECT_EQ(events.control(SERVICE_CONTROL_STOP), static_cast<DWORD>(NO_ERROR));
    EXPECT_EQ(events.state(), static_cast<DWORD>(SERVICE_STOP_PENDING));
    EXPECT_EQ(events.control(SERVICE_CONTROL_STOP), static_cast<DWORD>(NO_ERROR)) << "a second stop is no error";
    loop.runQueued();
    EXPECT_EQ(handled.calls, (std::vector<std::string>{"pause", "resume", "stop"}));
    events.finished(0);
    SERVICE_STATUS s = reports.last();
    EXPECT_EQ(s.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(s.dwWin32ExitCode, static_cast<DWORD>(NO_ERROR));
    EXPECT_EQ(s.dwControlsAccepted, 0u);
    EXPECT_EQ(reports.states(),
              (std::vector<DWORD>{SERVICE_START_PENDING, SERVICE_RUNNING, SERVICE_PAUSE_PENDING, SERVICE_PAUSED,
                                  SERVICE_CONTINUE_PENDING, SERVICE_RUNNING, SERVICE_STOP_PENDING, SERVICE_STOPPED}));
}

TEST(Win32ServiceMain, CheckPointsCountUpWhilePendingAndRestAfterwards) {
    Reports reports;
    ServiceEvents events(reports.report());
    events.starting();
    Loop loop;
    Handled handled;
    events.started(loop.post(), handled.handlers());
    events.control(SERVICE_CONTROL_PAUSE);
    events.control(SERVICE_CONTROL_INTERROGATE);
    std::vector<SERVICE_STATUS> list;
    {
        std::lock_guard<std::mutex> lock(reports.mutex);
        list = reports.list;
    }
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[1].dwCheckPoint, 0u);  // running
    EXPECT_GT(list[3].dwCheckPoint, list[2].dwCheckPoint) << "a pending state reported again must show progress";
    EXPECT_EQ(list[3].dwCurrentState, static_cast<DWORD>(SERVICE_PAUSE_PENDING));
}

TEST(Win32ServiceMain, AHandlerThatSaysNoLeavesTheServiceAsItWas) {
    Reports reports;
    ServiceEvents events(reports.report());
    events.starting();
    Loop loop;
    Handled handled;
    handled.pauseOk = false;  // the program is busy with a tick
    events.started(loop.post(), handled.handlers());
    events.control(SERVICE_CONTROL_PAUSE);
    loop.runQueued();
    EXPECT_EQ(events.state(), static_cast<DWORD>(SERVICE_RUNNING));

    handled.pauseOk = true;
    handled.resumeOk = false;
    events.control(SERVICE_CONTROL_PAUSE);
    loop.runQueued();
    events.control(SERVICE_CONTROL_CONTINUE);
    loop.runQueued();
    EXPECT_EQ(events.state(), static_cast<DWORD>(SERVICE_PAUSED));

    // A handler that throws counts as a no, and the service lives on.
    Reports reports2;
    ServiceEvents other(reports2.report());
    other.starting();
    ServiceEvents::Handlers h;
    h.stop = [] {};
    h.pause = []() -> bool { throw std::runtime_error("busy"); };
    h.resume = [] { return true; };
    Loop loop2;
    other.started(loop2.post(), h);
    other.control(SERVICE_CONTROL_PAUSE);
    EXPECT_NO_THROW(loop2.runQueued());
    EXPECT_EQ(other.state(), static_cast<DWORD>(SERVICE_RUNNING));
}

TEST(Win32ServiceMain, AStopDuringAPauseWinsOverThePausesAnswer) {
    Reports reports;
    ServiceEvents events(reports.report());
    events.starting();
    Loop loop;
    Handled handled;
    events.started(loop.post(), handled.handlers());
    events.control(SERVICE_CONTROL_PAUSE);
    events.control(SERVICE_CONTROL_STOP);  // before the loop ran the pause
    loop.runQueued();
    EXPECT_EQ(handled.calls, (std::vector<std::string>{"pause", "stop"}));
    EXPECT_EQ(events.state(), static_cast<DWORD>(SERVICE_STOP_PENDING)) << "the pause's answer must not undo the stop";
}

TEST(Win32ServiceMain, EachRequestInEachStateHasItsAnswer) {
    // The state to reach, the request, the answer, the state after it
    // (before the loop ran anything).
    struct Case {
        DWORD state;
        DWORD control;
        DWORD answer;
        DWORD after;
    };
    const Case cases[] = {
        {SERVICE_RUNNING, SERVICE_CONTROL_PAUSE, NO_ERROR, SERVICE_PAUSE_PENDING},
        {SERVICE_RUNNING, SERVICE_CONTROL_CONTINUE, NO_ERROR, SERVICE_RUNNING},
        {SERVICE_RUNNING, SERVICE_CONTROL_STOP, NO_ERROR, SERVICE_STOP_PENDING},
        {SERVICE_RUNNING, SERVICE_CONTROL_SHUTDOWN, NO_ERROR, SERVICE_STOP_PENDING},
        {SERVICE_RUNNING, SERVICE_CONTROL_INTERROGATE, NO_ERROR, SERVICE_RUNNING},
        {SERVICE_RUNNING, SERVICE_CONTROL_PARAMCHANGE, ERROR_CALL_NOT_IMPLEMENTED, SERVICE_RUNNING},
        {SERVICE_RUNNING, 200, ERROR_CALL_NOT_IMPLEMENTED, SERVICE_RUNNING},  // a user-defined code
        {SERVICE_PAUSED, SERVICE_CONTROL_PAUSE, NO_ERROR, SERVICE_PAUSED},
        {SERVICE_PAUSED, SERVICE_CONTROL_CONTINUE, NO_ERROR, SERVICE_CONTINUE_PENDING},
        {SERVICE_PAUSED, SERVICE_CONTROL_STOP, NO_ERROR, SERVICE_STOP_PENDING},
        {SERVICE_PAUSE_PENDING, SERVICE_CONTROL_PAUSE, ERROR_SERVICE_CANNOT_ACCEPT_CTRL, SERVICE_PAUSE_PENDING},
        {SERVICE_PAUSE_PENDING, SERVICE_CONTROL_CONTINUE, ERROR_SERVICE_CANNOT_ACCEPT_CTRL, SERVICE_PAUSE_PENDING},
        {SERVICE_PAUSE_PENDING, SERVICE_CONTROL_STOP, NO_ERROR, SERVICE_STOP_PENDING},
        {SERVICE_STOP_PENDING, SERVICE_CONTROL_PAUSE, ERROR_SERVICE_CANNOT_ACCEPT_CTRL, SERVICE_STOP_PENDING},
        {SERVICE_STOP_PENDING, SERVICE_CONTROL_CONTINUE, ERROR_SERVICE_CANNOT_ACCEPT_CTRL, SERVICE_STOP_PENDING},
        {SERVICE_STOP_PENDING, SERVICE_CONTROL_SHUTDOWN, NO_ERROR, SERVICE_STOP_PENDING},
    };
    for (const auto& c : cases) {
        Reports reports;
        ServiceEvents events(reports.report());
        events.starting();
        Loop loop;
        Handled handled;
        events.started(loop.post(), handled.handlers());
        if (c.state == SERVICE_PAUSED || c.state == SERVICE_PAUSE_PENDING) events.control(SERVICE_CONTROL_PAUSE);
        if (c.state == SERVICE_PAUSED) loop.runQueued();
        if (c.state == SERVICE_STOP_PENDING) events.control(SERVICE_CONTROL_STOP);
        ASSERT_EQ(events.state(), c.state);
        const std::size_t queued = loop.waiting();
        EXPECT_EQ(events.control(c.control), c.answer) << c.state << " / " << c.control;
        EXPECT_EQ(events.state(), c.after) << c.state << " / " << c.control;
        if (c.answer != NO_ERROR) {
            EXPECT_EQ(loop.waiting(), queued) << "a refused request runs nothing";
        }
    }
}

TEST(Win32ServiceMain, ShutdownRunsItsOwnHandlerWhenThereIsOneAndStopOtherwise) {
    for (bool withShutdown : {true, false}) {
        Reports reports;
        ServiceEvents events(reports.report());
        events.starting();
        Loop loop;
        Handled handled;
        events.started(loop.post(), handled.handlers(true, withShutdown));
        events.control(SERVICE_CONTROL_SHUTDOWN);
        loop.runQueued();
        EXPECT_EQ(handled.calls, std::vector<std::string>{withShutdown ? "shutdown" : "stop"});
    }
}

TEST(Win32ServiceMain, AFailedProgramStopsWithItsExitCode) {
    Reports reports;
    ServiceEvents events(reports.report());
    events.starting();
    events.finished(3);
    const SERVICE_STATUS s = reports.last();
    EXPECT_EQ(s.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(s.dwWin32ExitCode, static_cast<DWORD>(ERROR_SERVICE_SPECIFIC_ERROR));
    EXPECT_EQ(s.dwServiceSpecificExitCode, 3u);
}

TEST(Win32ServiceMain, APostThatRunsTheTaskAtOnceDoesNotDeadlock) {
    Reports reports;
    ServiceEvents events(reports.report());
    events.starting();
    Handled handled;
    events.started([](ServiceEvents::Task task) { task(); }, handled.handlers());
    EXPECT_EQ(events.control(SERVICE_CONTROL_PAUSE), static_cast<DWORD>(NO_ERROR));
    EXPECT_EQ(events.state(), static_cast<DWORD>(SERVICE_PAUSED));
    EXPECT_EQ(events.control(SERVICE_CONTROL_STOP), static_cast<DWORD>(NO_ERROR));
    EXPECT_EQ(handled.calls, (std::vector<std::string>{"pause", "stop"}));
}

TEST(Win32ServiceMain, RunDirectlyNothingIsReported) {
    ServiceEvents events;
    EXPECT_FALSE(events.asService());
    Handled handled;
    Loop loop;
    EXPECT_NO_THROW(events.started(loop.post(), handled.handlers()));
    EXPECT_NO_THROW(events.finished(0));
}

// ---- the dispatcher ---------------------------------------------------------

// Plays the service manager: StartServiceCtrlDispatcherW runs the
// service's main function on a thread of its own and, once the service says
// it runs, sends it the requests in `send`, waiting for each to settle.
struct FakeDispatcher {
    std::vector<DWORD> send;
    std::vector<DWORD> answers;
    std::wstring tableName, registeredName;
    LPHANDLER_FUNCTION_EX handler = nullptr;
    void* context = nullptr;
    Reports reports;
    DWORD failWith = 0;
    bool registerFails = false;
    std::thread::id mainThread, dispatcherThread;

    // Until the service reports `state`; false when it stopped instead.
    bool waitFor(DWORD state) {
        const auto until = std::chrono::steady_clock::now() + 10s;
        while (std::chrono::steady_clock::now() < until) {
            const SERVICE_STATUS last = reports.last();
            if (last.dwCurrentState == state) return true;
            if (last.dwCurrentState == SERVICE_STOPPED && !reports.states().empty()) return false;
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }

    ServiceCalls table() {
        ServiceCalls c;
        c.startDispatcher = [this](const SERVICE_TABLE_ENTRYW* table) -> BOOL {
            if (failWith) {
                SetLastError(failWith);
                return FALSE;
            }
            dispatcherThread = std::this_thread::get_id();
            tableName = table[0].lpServiceName;
            EXPECT_EQ(table[1].lpServiceProc, nullptr);
            std::thread service([proc = table[0].lpServiceProc] { proc(0, nullptr); });
            if (!registerFails && waitFor(SERVICE_RUNNING)) {
                for (DWORD control : send) {
                    answers.push_back(handler(control, 0, nullptr, context));
                    if (control == SERVICE_CONTROL_PAUSE) waitFor(SERVICE_PAUSED);
                    if (control == SERVICE_CONTROL_CONTINUE) waitFor(SERVICE_RUNNING);
                }
            }
            service.join();
            return TRUE;
        };
        c.registerHandler = [this](const wchar_t* name, LPHANDLER_FUNCTION_EX h, void* ctx) -> SERVICE_STATUS_HANDLE {
            if (registerFails) {
                SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
                return nullptr;
            }
            registeredName = name;
            handler = h;
            context = ctx;
            return reinterpret_cast<SERVICE_STATUS_HANDLE>(static_cast<INT_PTR>(0x77));
        };
        c.setStatus = [this](SERVICE_STATUS_HANDLE h, SERVICE_STATUS* status) -> BOOL {
            EXPECT_EQ(h, reinterpret_cast<SERVICE_STATUS_HANDLE>(static_cast<INT_PTR>(0x77)));
            reports.report()(*status);
            return TRUE;
        };
        return c;
    }
};

// The program as the host would write it: a loop that takes posted tasks
// until the stop handler ends it.
int ProgramBody(ServiceEvents& events, std::vector<std::string>& seen, std::thread::id& bodyThread, int exitCode) {
    bodyThread = std::this_thread::get_id();
    Loop loop;
    bool running = true;
    ServiceEvents::Handlers h;
    h.stop = [&] {
        seen.push_back("stop");
        running = false;
    };
    h.pause = [&] {
        seen.push_back("pause");
        return true;
    };
    h.resume = [&] {
        seen.push_back("resume");
        return true;
    };
    events.started(loop.post(), h);
    if (!events.asService()) return exitCode;
    loop.runUntil([&] { return !running; });
    return exitCode;
}

TEST(Win32ServiceMain, AsAServiceTheProgramRunsUntilTheManagerStopsIt) {
    FakeDispatcher dispatcher;
    dispatcher.send = {SERVICE_CONTROL_PAUSE, SERVICE_CONTROL_CONTINUE, SERVICE_CONTROL_STOP};
    std::vector<std::string> seen;
    std::thread::id bodyThread;
    const int code = RunAsServiceOrDirect(
        L"TestService", [&](ServiceEvents& e) { return ProgramBody(e, seen, bodyThread, 0); }, dispatcher.table());
    EXPECT_EQ(code, 0);
    EXPECT_EQ(seen, (std::vector<std::string>{"pause", "resume", "stop"}));
    EXPECT_EQ(dispatcher.answers, (std::vector<DWORD>{NO_ERROR, NO_ERROR, NO_ERROR}));
    EXPECT_EQ(dispatcher.tableName, L"TestService");
    EXPECT_EQ(dispatcher.registeredName, L"TestService");
    EXPECT_NE(bodyThread, dispatcher.dispatcherThread) << "the body runs on the service's thread, not the dispatcher's";
    EXPECT_EQ(dispatcher.reports.states(),
              (std::vector<DWORD>{SERVICE_START_PENDING, SERVICE_RUNNING, SERVICE_PAUSE_PENDING, SERVICE_PAUSED,
                                  SERVICE_CONTINUE_PENDING, SERVICE_RUNNING, SERVICE_STOP_PENDING, SERVICE_STOPPED}));
}

TEST(Win32ServiceMain, TheProgramsExitCodeReachesTheManagerAndTheCaller) {
    FakeDispatcher dispatcher;
    dispatcher.send = {SERVICE_CONTROL_STOP};
    std::vector<std::string> seen;
    std::thread::id bodyThread;
    const int code = RunAsServiceOrDirect(
        L"TestService", [&](ServiceEvents& e) { return ProgramBody(e, seen, bodyThread, 7); }, dispatcher.table());
    EXPECT_EQ(code, 7);
    EXPECT_EQ(dispatcher.reports.last().dwWin32ExitCode, static_cast<DWORD>(ERROR_SERVICE_SPECIFIC_ERROR));
    EXPECT_EQ(dispatcher.reports.last().dwServiceSpecificExitCode, 7u);
}

TEST(Win32ServiceMain, AnExceptionFromTheProgramStopsTheServiceAndComesOutOfTheCall) {
    FakeDispatcher dispatcher;
    EXPECT_THROW(RunAsServiceOrDirect(
                     L"TestService", [](ServiceEvents&) -> int { throw std::runtime_error("no settings"); },
                     dispatcher.table()),
                 std::runtime_error);
    EXPECT_EQ(dispatcher.reports.last().dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_NE(dispatcher.reports.last().dwWin32ExitCode, static_cast<DWORD>(NO_ERROR));
    // The process may try again: the one run at a time is over.
    dispatcher.failWith = ERROR_FAILED_SERVICE_CONTROLLER_CONNECT;
    EXPECT_EQ(RunAsServiceOrDirect(L"TestService", [](ServiceEvents&) { return 0; }, dispatcher.table()), 0);
}

TEST(Win32ServiceMain, NotStartedByTheManagerTheProgramRunsDirectly) {
    FakeDispatcher dispatcher;
    dispatcher.failWith = ERROR_FAILED_SERVICE_CONTROLLER_CONNECT;
    bool asService = true;
    std::thread::id bodyThread;
    const int code = RunAsServiceOrDirect(
        L"TestService",
        [&](ServiceEvents& e) {
            asService = e.asService();
            bodyThread = std::this_thread::get_id();
            return 5;
        },
        dispatcher.table());
    EXPECT_EQ(code, 5);
    EXPECT_FALSE(asService);
    EXPECT_EQ(bodyThread, std::this_thread::get_id());
    EXPECT_TRUE(dispatcher.reports.states().empty());
}

TEST(Win32ServiceMain, OtherDispatcherFailuresAreErrors) {
    for (DWORD code : {static_cast<DWORD>(ERROR_INVALID_DATA), static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING)}) {
        FakeDispatcher dispatcher;
        dispatcher.failWith = code;
        bool ran = false;
        try {
            RunAsServiceOrDirect(L"TestService", [&](ServiceEvents&) { ran = true; return 0; }, dispatcher.table());
            ADD_FAILURE() << code << ": no error";
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find("StartServiceCtrlDispatcherW"), std::string::npos) << e.what();
        }
        EXPECT_FALSE(ran);
    }
}

TEST(Win32ServiceMain, AServiceThatCannotRegisterItsHandlerIsAnError) {
    FakeDispatcher dispatcher;
    dispatcher.registerFails = true;
    bool ran = false;
    EXPECT_THROW(RunAsServiceOrDirect(L"TestService", [&](ServiceEvents&) { ran = true; return 0; },
                                      dispatcher.table()),
                 Error);
    EXPECT_FALSE(ran);
}

TEST(Win32ServiceMain, OneRunAtATime) {
    FakeDispatcher outer;
    outer.failWith = ERROR_FAILED_SERVICE_CONTROLLER_CONNECT;
    FakeDispatcher inner;
    inner.failWith = ERROR_FAILED_SERVICE_CONTROLLER_CONNECT;
    EXPECT_THROW(RunAsServiceOrDirect(
                     L"TestService",
                     [&](ServiceEvents&) {
                         return RunAsServiceOrDirect(L"TestService", [](ServiceEvents&) { return 0; }, inner.table());
                     },
                     outer.table()),
                 Error);
}

// wine's own dispatcher, in a process no service manager started (wine takes
// about 10 s to give up on the manager's pipe; Windows answers at once).
TEST(Win32ServiceMain, UnderTheRealDispatcherATestProgramRunsDirectly) {
    bool asService = true;
    const int code = RunAsServiceOrDirect(L"NocturoTestService", [&](ServiceEvents& e) {
        asService = e.asService();
        return 4;
    });
    EXPECT_EQ(code, 4);
    EXPECT_FALSE(asService);
}

}  // namespace

#include "platform/win32/Win32ServiceMain.h"

#include <atomic>
#include <exception>
#include <stdexcept>
#include <utility>

#include "platform/Error.h"
#include "platform/win32/WinText.h"

namespace nocturo::platform::win32 {

namespace {

// How long the manager is told to wait for a pending state.
constexpr DWORD kWaitHintMs = 15000;

bool IsPending(DWORD state) {
    return state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING || state == SERVICE_PAUSE_PENDING ||
           state == SERVICE_CONTINUE_PENDING;
}

}  // namespace

ServiceCalls SystemServiceCalls() {
    ServiceCalls c;
    c.startDispatcher = [](const SERVICE_TABLE_ENTRYW* table) { return StartServiceCtrlDispatcherW(table); };
    c.registerHandler = [](const wchar_t* name, LPHANDLER_FUNCTION_EX handler, void* context) {
        return RegisterServiceCtrlHandlerExW(name, handler, context);
    };
    c.setStatus = [](SERVICE_STATUS_HANDLE handle, SERVICE_STATUS* status) { return SetServiceStatus(handle, status); };
    return c;
}

// ---- the state machine ------------------------------------------------------

ServiceEvents::ServiceEvents(Report report) : report_(std::move(report)) {}

DWORD ServiceEvents::state() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_;
}

void ServiceEvents::reportLocked(DWORD state, DWORD exitCode, DWORD serviceCode) {
    state_ = state;
    if (!report_) return;
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    // No requests while a change is under way, and none once stopped.
    status.dwControlsAccepted = IsPending(state) || state == SERVICE_STOPPED ? 0 : accepted_;
    status.dwWin32ExitCode = exitCode;
    status.dwServiceSpecificExitCode = serviceCode;
    checkPoint_ = IsPending(state) ? checkPoint_ + 1 : 0;
    status.dwCheckPoint = checkPoint_;
    status.dwWaitHint = IsPending(state) ? kWaitHintMs : 0;
    report_(status);
}

void ServiceEvents::starting() {
    std::lock_guard<std::mutex> lock(mutex_);
    reportLocked(SERVICE_START_PENDING);
}

void ServiceEvents::started(Post post, Handlers handlers) {
    std::lock_guard<std::mutex> lock(mutex_);
    post_ = std::move(post);
    handlers_ = std::move(handlers);
    accepted_ = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
    if (handlers_.pause && handlers_.resume) accepted_ |= SERVICE_ACCEPT_PAUSE_CONTINUE;
    // Run directly, or already stopping: nothing to tell.
    if (!report_ || state_ != SERVICE_START_PENDING) return;
    reportLocked(SERVICE_RUNNING);
}

void ServiceEvents::postSwitch(DWORD pending, std::function<bool()> handler, DWORD done, DWORD undone,
                               std::unique_lock<std::mutex>& lock) {
    reportLocked(pending);
    Post post = post_;
    lock.unlock();  // the post function may run the task at once
    post([this, pending, handler = std::move(handler), done, undone] {
        bool ok = false;
        try {
            ok = handler();
        } catch (...) {
            ok = false;  // the program's handler failed: the service stays as it was
        }
        std::lock_guard<std::mutex> relock(mutex_);
        if (state_ == pending) reportLocked(ok ? done : undone);
    });
}

DWORD ServiceEvents::control(DWORD code) {
    std::unique_lock<std::mutex> lock(mutex_);
    switch (code) {
    case SERVICE_CONTROL_INTERROGATE:
        if (report_) reportLocked(state_);
        return NO_ERROR;
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN: {
        if (state_ == SERVICE_STOP_PENDING || state_ == SERVICE_STOPPED) return NO_ERROR;  // under way already
        if (!post_ || state_ == SERVICE_START_PENDING) return ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
        Task task = code == SERVICE_CONTROL_SHUTDOWN && handlers_.shutdown ? handlers_.shutdown : handlers_.stop;
        reportLocked(SERVICE_STOP_PENDING);
        Post post = post_;
        lock.unlock();
        if (task) post(std::move(task));
        return NO_ERROR;
    }
    case SERVICE_CONTROL_PAUSE:
        if (!(accepted_ & SERVICE_ACCEPT_PAUSE_CONTINUE)) return ERROR_CALL_NOT_IMPLEMENTED;
        if (state_ == SERVICE_PAUSED) return NO_ERROR;
        if (state_ != SERVICE_RUNNING) return ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
        postSwitch(SERVICE_PAUSE_PENDING, handlers_.pause, SERVICE_PAUSED, SERVICE_RUNNING, lock);
        return NO_ERROR;
    case SERVICE_CONTROL_CONTINUE:
        if (!(accepted_ & SERVICE_ACCEPT_PAUSE_CONTINUE)) return ERROR_CALL_NOT_IMPLEMENTED;
        if (state_ == SERVICE_RUNNING) return NO_ERROR;
        if (state_ != SERVICE_PAUSED) return ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
        postSwitch(SERVICE_CONTINUE_PENDING, handlers_.resume, SERVICE_RUNNING, SERVICE_PAUSED, lock);
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void ServiceEvents::finished(int exitCode) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (exitCode == 0) reportLocked(SERVICE_STOPPED);
    else reportLocked(SERVICE_STOPPED, ERROR_SERVICE_SPECIFIC_ERROR, static_cast<DWORD>(exitCode));
}

// ---- the dispatcher -----------------------------------------------------------

namespace {

struct Run {
    std::wstring name;
    ServiceBody body;
    ServiceCalls calls;
    std::atomic<SERVICE_STATUS_HANDLE> handle{nullptr};
    ServiceEvents events;
    int exitCode = 0;
    bool ranAsService = false;
    std::exception_ptr failure;
    DWORD registerError = 0;

    Run(std::wstring n, ServiceBody b, ServiceCalls c)
        : name(std::move(n)), body(std::move(b)), calls(std::move(c)), events([this](const SERVICE_STATUS& s) {
              SERVICE_STATUS copy = s;
              if (SERVICE_STATUS_HANDLE h = handle.load()) calls.setStatus(h, &copy);
          }) {}
};

// The dispatcher calls the service's main function without a context.
std::atomic<Run*> g_run{nullptr};

DWORD WINAPI ControlHandler(DWORD control, DWORD, void*, void* context) {
    return static_cast<Run*>(context)->events.control(control);
}

void WINAPI ServiceMain(DWORD, LPWSTR*) {
    Run* run = g_run.load();
    if (!run) return;
    run->ranAsService = true;
    const SERVICE_STATUS_HANDLE h = run->calls.registerHandler(run->name.c_str(), ControlHandler, run);
    if (!h) {
        // Nothing can be reported without the handle: the manager sees the
        // service fail to start.
        run->registerError = GetLastError();
        return;
    }
    run->handle.store(h);
    run->events.starting();
    try {
        run->exitCode = run->body(run->events);
    } catch (...) {
        run->failure = std::current_exception();
        run->exitCode = 1;
    }
    run->events.finished(run->exitCode);
}

struct Clear {
    ~Clear() { g_run.store(nullptr); }
};

}  // namespace

int RunAsServiceOrDirect(const std::wstring& name, ServiceBody body, ServiceCalls calls) {
    Run run(name, std::move(body), std::move(calls));
    Run* expected = nullptr;
    if (!g_run.compare_exchange_strong(expected, &run))
        throw Error(err::InvalidProcedureCall, "RunAsServiceOrDirect: a service runs in this process already");
    Clear clear;
    std::wstring tableName = name;
    SERVICE_TABLE_ENTRYW table[] = {{tableName.data(), ServiceMain}, {nullptr, nullptr}};
    if (!run.calls.startDispatcher(table)) {
        const DWORD error = GetLastError();
        if (error != ERROR_FAILED_SERVICE_CONTROLLER_CONNECT)
            throw ErrorFromCode(error, "StartServiceCtrlDispatcherW " + Narrow(name) + " failed");
        ServiceEvents direct;
        return run.body(direct);
    }
    if (run.registerError != 0)
        throw ErrorFromCode(run.registerError, "RegisterServiceCtrlHandlerExW " + Narrow(name) + " failed");
    if (run.failure) std::rethrow_exception(run.failure);
    return run.exitCode;
}

}  // namespace nocturo::platform::win32

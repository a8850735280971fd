#pragma once
// Running the program as a Windows service, or as an ordinary program when
// the service control manager did not start it.
//
// As a service, the manager's requests (stop, pause, continue, system
// shutdown) arrive on the dispatcher's thread while the program's main loop
// runs on another one. ServiceEvents hands each request to the main loop
// through a thread-safe post function that the program supplies, runs the
// program's handler there, and reports the service's state to the manager
// (start pending, running, pause/continue pending, paused, stop pending,
// stopped). Every call to the manager goes through ServiceCalls, which the
// tests fill with recorders.
#include <windows.h>

#include <functional>
#include <mutex>
#include <string>

namespace nocturo::platform::win32 {

struct ServiceCalls {
    // FALSE with GetLastError's code set when it fails, as the API does.
    std::function<BOOL(const SERVICE_TABLE_ENTRYW* table)> startDispatcher;
    std::function<SERVICE_STATUS_HANDLE(const wchar_t* name, LPHANDLER_FUNCTION_EX handler, void* context)>
        registerHandler;
    std::function<BOOL(SERVICE_STATUS_HANDLE handle, SERVICE_STATUS* status)> setStatus;
};

// The table of the real calls (advapi32).
ServiceCalls SystemServiceCalls();

class ServiceEvents {
public:
    using Task = std::function<void()>;
    // Runs the task on the program's main loop; called from other threads.
    using Post = std::function<void(Task)>;
    // The program's answers to the manager, each run on the main loop.
    struct Handlers {
        Task stop;                   // ends the main loop: the body then returns
        std::function<bool()> pause;   // false: the service goes on running
        std::function<bool()> resume;  // false: it stays paused
        Task shutdown;               // the system shuts down; empty: stop runs
    };
    // Receives each state the service reports (SetServiceStatus); none for
    // the program run directly.
    using Report = std::function<void(const SERVICE_STATUS&)>;

    explicit ServiceEvents(Report report = {});
    ServiceEvents(const ServiceEvents&) = delete;
    ServiceEvents& operator=(const ServiceEvents&) = delete;

    // Whether the program runs as a service (else nothing is reported and no
    // request ever comes).
    bool asService() const { return static_cast<bool>(report_); }
    // The body has started and its loop takes tasks: the service reports
    // running and accepts stop and shutdown, and pause and continue when
    // both of their handlers are there.
    void started(Post post, Handlers handlers);

    // ---- what the helper and the control handler call ----------------------
    // The service begins: start pending.
    void starting();
    // One request from the manager (the handler's return value: NO_ERROR,
    // ERROR_CALL_NOT_IMPLEMENTED or ERROR_SERVICE_CANNOT_ACCEPT_CTRL).
    DWORD control(DWORD code);
    // The body has returned with this exit code: stopped.
    void finished(int exitCode);
    // The state last reported (SERVICE_STOPPED before starting).
    DWORD state() const;

private:
    // With the lock held.
    void reportLocked(DWORD state, DWORD exitCode = NO_ERROR, DWORD serviceCode = 0);
    // Runs the answer to a pause or continue on the main loop, then reports
    // `done` or `undone` unless a stop came in between.
    void postSwitch(DWORD pending, std::function<bool()> handler, DWORD done, DWORD undone,
                    std::unique_lock<std::mutex>& lock);

    Report report_;
    mutable std::mutex mutex_;
    Post post_;
    Handlers handlers_;
    DWORD state_ = SERVICE_STOPPED;
    DWORD accepted_ = 0;
    DWORD checkPoint_ = 0;
};

// The program's body: runs the main loop until it ends, and returns the
// program's exit code.
using ServiceBody = std::function<int(ServiceEvents& events)>;

// Hands the process to the service control manager (StartServiceCtrlDispatcherW)
// and runs the body as the service `name`; when the manager did not start the
// process (ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) the body runs directly,
// with events.asService() false. Returns the body's exit code; an exception
// from the body comes out here after the service has reported stopped. Any
// other failure to reach the manager throws platform::Error. One call per
// process at a time.
int RunAsServiceOrDirect(const std::wstring& name, ServiceBody body, ServiceCalls calls = SystemServiceCalls());

}  // namespace nocturo::platform::win32

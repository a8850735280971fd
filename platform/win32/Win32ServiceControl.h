#pragma once
// Start at login and the system service on Windows.
//
// Start at login is a value under the machine's Run key (where the program
// has always written it, so it starts for every user), named after the
// program and holding its quoted path: unquoted, a path with a blank in it
// would let Windows try "C:\Program.exe" first. The system service is an own-process
// service that starts with the system, registered with the service control
// manager; every call to the manager goes through a table of functions,
// ScmCalls, which the tests fill with recorders: no test installs a service.
#include <windows.h>

#include <functional>
#include <string>

#include "platform/IServiceControl.h"

namespace nocturo::platform::win32 {

struct ScmCalls {
    // Each returns nullptr / FALSE and leaves GetLastError's code set when
    // it fails, as the API does.
    std::function<SC_HANDLE(DWORD access)> openManager;
    std::function<SC_HANDLE(SC_HANDLE manager, const wchar_t* name, DWORD access)> openService;
    std::function<SC_HANDLE(SC_HANDLE manager, const wchar_t* name, const wchar_t* displayName, DWORD access,
                            DWORD serviceType, DWORD startType, DWORD errorControl, const wchar_t* commandLine)>
        createService;
    std::function<BOOL(SC_HANDLE service, const wchar_t* description)> setDescription;
    std::function<BOOL(SC_HANDLE service)> deleteService;
    std::function<BOOL(SC_HANDLE service)> startService;
    std::function<BOOL(SC_HANDLE service, DWORD control, SERVICE_STATUS* status)> controlService;
    std::function<BOOL(SC_HANDLE service, SERVICE_STATUS* status)> queryStatus;
    std::function<BOOL(SC_HANDLE handle)> closeHandle;
    // Waiting between two looks at a stopping service.
    std::function<void(DWORD ms)> sleep;
};

// The table of the real calls (advapi32).
ScmCalls SystemScmCalls();

class Win32ServiceControl : public IServiceControl {
public:
    // The user's own Run key, for a copy that cannot write the machine's.
    static constexpr const char* kUserRunKey = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\";
    // The argument the service starts the program with: no desktop to show
    // windows on, and the service control manager to answer.
    static constexpr const char* kServiceArgument = "--service";
    // How long uninstalling waits for a running service to stop.
    static constexpr DWORD kStopWaitMs = 10000;

    // programPath: the program the service runs (empty: this process's
    // file). runKey: where the start-at-login value lives; userRunKey: where
    // it goes when this user may not write runKey. entryName: the value's
    // name until writeAutostart names it.
    explicit Win32ServiceControl(ScmCalls calls = SystemScmCalls(), std::string programPath = {},
                                 std::string runKey = kWindowsRunKey, std::string entryName = "Nocturo",
                                 std::string userRunKey = kUserRunKey);

    // A value in either Run key.
    bool autostartPresent() override;
    // The value `name` holding "\"programPath\"" in the machine's Run key;
    // a user without the rights for it (a copy installed for one user) gets
    // it in the user's own Run key instead, which starts it at that user's
    // login only. A value of the other key is removed, so the program never
    // starts twice.
    void writeAutostart(const std::string& name, const std::string& programPath) override;
    // Removes the value from both keys.
    void removeAutostart() override;

    std::string serviceDisplayName() override { return kWindowsServiceDisplayName; }
    bool serviceInstalled() override;
    // Creates the service (own process, auto start, the quoted program path
    // and kServiceArgument) and starts it. An existing service is an Error.
    void installService() override;
    // Stops the service when it runs (waiting up to kStopWaitMs), then
    // deletes it. A service that does not exist is an Error.
    void uninstallService() override;
    // Running, paused or between the two.
    bool serviceRunning() override;
    // Starting a running service, and stopping a stopped one, do nothing.
    void startService() override;
    void stopService() override;

    // The command line the service is registered with.
    std::wstring serviceCommandLine() const;
    const std::string& programPath() const { return programPath_; }

protected:
    // Sets one Run value (the registry; a test stands in a refusing one).
    virtual void writeRunValue(const std::string& path, const std::string& value);

private:
    std::string entryPath() const { return runKey_ + entryName_; }
    std::string userEntryPath() const { return userRunKey_ + entryName_; }

    ScmCalls calls_;
    std::string programPath_;
    std::string runKey_;
    std::string entryName_;
    std::string userRunKey_;
};

}  // namespace nocturo::platform::win32

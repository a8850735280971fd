#include "platform/win32/Win32ServiceControl.h"

#include <utility>
#include <vector>

#include "platform/Error.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/WinText.h"

namespace nocturo::platform::win32 {

namespace {

std::wstring ServiceName() { return Widen(kWindowsServiceName); }

// A service manager handle closed through the table.
class ScHandle {
public:
    ScHandle(const ScmCalls& calls, SC_HANDLE h) : calls_(calls), h_(h) {}
    ~ScHandle() {
        if (h_) {
            const DWORD error = GetLastError();
            calls_.closeHandle(h_);
            SetLastError(error);  // the caller may still read why the call before failed
        }
    }
    ScHandle(const ScHandle&) = delete;
    ScHandle& operator=(const ScHandle&) = delete;
    SC_HANDLE get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

private:
    const ScmCalls& calls_;
    SC_HANDLE h_;
};

std::string ThisProgram() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) throw LastError("GetModuleFileNameW failed");
        if (n < buffer.size()) return Narrow(std::wstring_view(buffer.data(), n));
        buffer.resize(buffer.size() * 2);
    }
}

SC_HANDLE OpenManager(const ScmCalls& calls, DWORD access, const std::string& why) {
    SC_HANDLE manager = calls.openManager(access);
    if (!manager) throw LastError("OpenSCManagerW (" + why + ") failed");
    return manager;
}

std::string Named(const char* call) { return std::string(call) + " " + kWindowsServiceName; }

bool IsUp(DWORD state) {
    return state == SERVICE_RUNNING || state == SERVICE_PAUSED || state == SERVICE_PAUSE_PENDING ||
           state == SERVICE_CONTINUE_PENDING;
}

}  // namespace

ScmCalls SystemScmCalls() {
    ScmCalls c;
    c.openManager = [](DWORD access) { return OpenSCManagerW(nullptr, nullptr, access); };
    c.openService = [](SC_HANDLE manager, const wchar_t* name, DWORD access) {
        return OpenServiceW(manager, name, access);
    };
    c.createService = [](SC_HANDLE manager, const wchar_t* name, const wchar_t* displayName, DWORD access,
                         DWORD serviceType, DWORD startType, DWORD errorControl, const wchar_t* commandLine) {
        return CreateServiceW(manager, name, displayName, access, serviceType, startType, errorControl, commandLine,
                              nullptr, nullptr, nullptr, nullptr, nullptr);
    };
    c.setDescription = [](SC_HANDLE service, const wchar_t* description) {
        SERVICE_DESCRIPTIONW d{};
        d.lpDescription = const_cast<wchar_t*>(description);
        return ChangeServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, &d);
    };
    c.deleteService = [](SC_HANDLE service) { return DeleteService(service); };
    c.startService = [](SC_HANDLE service) { return StartServiceW(service, 0, nullptr); };
    c.controlService = [](SC_HANDLE service, DWORD control, SERVICE_STATUS* status) {
        return ControlService(service, control, status);
    };
    c.queryStatus = [](SC_HANDLE service, SERVICE_STATUS* status) { return QueryServiceStatus(service, status); };
    c.closeHandle = [](SC_HANDLE h) { return CloseServiceHandle(h); };
    c.sleep = [](DWORD ms) { Sleep(ms); };
    return c;
}

Win32ServiceControl::Win32ServiceControl(ScmCalls calls, std::string programPath, std::string runKey,
                                         std::string entryName, std::string userRunKey)
    : calls_(std::move(calls)),
      programPath_(programPath.empty() ? ThisProgram() : std::move(programPath)),
      runKey_(std::move(runKey)),
      entryName_(std::move(entryName)),
      userRunKey_(std::move(userRunKey)) {
    if (!runKey_.empty() && runKey_.back() != '\\') runKey_ += '\\';
    if (!userRunKey_.empty() && userRunKey_.back() != '\\') userRunKey_ += '\\';
}

// ---- start at login -------------------------------------------------------

bool Win32ServiceControl::autostartPresent() {
    Win32Registry registry;
    return registry.exists(entryPath()) || (!userRunKey_.empty() && registry.exists(userEntryPath()));
}

void Win32ServiceControl::writeAutostart(const std::string& name, const std::string& programPath) {
    if (name.empty() || name.find('\\') != std::string::npos)
        throw Error(err::InvalidProcedureCall, "start at login: \"" + name + "\" is no name for a Run value");
    entryName_ = name;
    const std::string value = "\"" + programPath + "\"";
    try {
        writeRunValue(entryPath(), value);
    } catch (const Error& e) {
        if (e.number() != err::PermissionDenied || userRunKey_.empty()) throw;
        writeRunValue(userEntryPath(), value);
        return;
    }
    Win32Registry registry;
    if (!userRunKey_.empty() && registry.exists(userEntryPath())) registry.deleteValue(userEntryPath());
}

void Win32ServiceControl::writeRunValue(const std::string& path, const std::string& value) {
    Win32Registry().writeString(path, value);
}

void Win32ServiceControl::removeAutostart() {
    Win32Registry registry;
    if (!userRunKey_.empty() && registry.exists(userEntryPath())) registry.deleteValue(userEntryPath());
    if (registry.exists(entryPath())) registry.deleteValue(entryPath());
}

// ---- the service ------------------------------------------------------------

std::wstring Win32ServiceControl::serviceCommandLine() const {
    return L"\"" + Widen(programPath_) + L"\" " + Widen(kServiceArgument);
}

bool Win32ServiceControl::serviceInstalled() {
    ScHandle manager(calls_, OpenManager(calls_, SC_MANAGER_CONNECT, "connect"));
    ScHandle service(calls_, calls_.openService(manager.get(), ServiceName().c_str(), SERVICE_QUERY_STATUS));
    if (service) return true;
    const DWORD error = GetLastError();
    if (error == ERROR_SERVICE_DOES_NOT_EXIST) return false;
    throw ErrorFromCode(error, Named("OpenServiceW") + " failed");
}

void Win32ServiceControl::installService() {
    ScHandle manager(calls_, OpenManager(calls_, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE, "create a service"));
    const std::wstring commandLine = serviceCommandLine();
    ScHandle service(calls_, calls_.createService(manager.get(), ServiceName().c_str(),
                                                  Widen(kWindowsServiceDisplayName).c_str(),
                                                  SERVICE_CHANGE_CONFIG | SERVICE_START | SERVICE_QUERY_STATUS,
                                                  SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                                  commandLine.c_str()));
    if (!service) throw LastError(Named("CreateServiceW") + " failed");
    // Only what the service tools show: a service without it runs the same.
    calls_.setDescription(service.get(), L"Carries out the timed shutdown, restart or alarm without a user logged on.");
    if (!calls_.startService(service.get()) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING)
        throw LastError(Named("StartServiceW") + " failed after installing");
}

void Win32ServiceControl::uninstallService() {
    ScHandle manager(calls_, OpenManager(calls_, SC_MANAGER_CONNECT, "connect"));
    ScHandle service(calls_, calls_.openService(manager.get(), ServiceName().c_str(),
                                                SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
    if (!service) throw LastError(Named("OpenServiceW") + " failed");
    SERVICE_STATUS status{};
    if (!calls_.queryStatus(service.get(), &status)) throw LastError(Named("QueryServiceStatus") + " failed");
    if (status.dwCurrentState != SERVICE_STOPPED) {
        if (!calls_.controlService(service.get(), SERVICE_CONTROL_STOP, &status) &&
            GetLastError() != ERROR_SERVICE_NOT_ACTIVE)
            throw LastError(Named("ControlService stop") + " failed");
        // Deleting a running service only marks it: wait so that it is gone
        // when this returns, but delete it anyway when it takes too long.
        constexpr DWORD step = 250;
        for (DWORD waited = 0; waited < kStopWaitMs; waited += step) {
            if (!calls_.queryStatus(service.get(), &status)) throw LastError(Named("QueryServiceStatus") + " failed");
            if (status.dwCurrentState == SERVICE_STOPPED) break;
            calls_.sleep(step);
        }
    }
    if (!calls_.deleteService(service.get()) && GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE)
        throw LastError(Named("DeleteService") + " failed");
}

bool Win32ServiceControl::serviceRunning() {
    ScHandle manager(calls_, OpenManager(calls_, SC_MANAGER_CONNECT, "connect"));
    ScHandle service(calls_, calls_.openService(manager.get(), ServiceName().c_str(), SERVICE_QUERY_STATUS));
    if (!service) {
        const DWORD error = GetLastError();
        if (error == ERROR_SERVICE_DOES_NOT_EXIST) return false;
        throw ErrorFromCode(error, Named("OpenServiceW") + " failed");
    }
    SERVICE_STATUS status{};
    if (!calls_.queryStatus(service.get(), &status)) throw LastError(Named("QueryServiceStatus") + " failed");
    return IsUp(status.dwCurrentState);
}

void Win32ServiceControl::startService() {
    ScHandle manager(calls_, OpenManager(calls_, SC_MANAGER_CONNECT, "connect"));
    ScHandle service(calls_, calls_.openService(manager.get(), ServiceName().c_str(), SERVICE_START));
    if (!service) throw LastError(Named("OpenServiceW") + " failed");
    if (!calls_.startService(service.get()) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING)
        throw LastError(Named("StartServiceW") + " failed");
}

void Win32ServiceControl::stopService() {
    ScHandle manager(calls_, OpenManager(calls_, SC_MANAGER_CONNECT, "connect"));
    ScHandle service(calls_, calls_.openService(manager.get(), ServiceName().c_str(), SERVICE_STOP));
    if (!service) throw LastError(Named("OpenServiceW") + " failed");
    SERVICE_STATUS status{};
    if (!calls_.controlService(service.get(), SERVICE_CONTROL_STOP, &status) &&
        GetLastError() != ERROR_SERVICE_NOT_ACTIVE)
        throw LastError(Named("ControlService stop") + " failed");
}

}  // namespace nocturo::platform::win32

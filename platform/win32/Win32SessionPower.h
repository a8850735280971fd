#pragma once
// Session and power actions on Windows. Every system call goes through a
// table of functions, SessionCalls, which the real program fills with the
// Win32 API's and the tests with recorders: the session is never ended from
// a test.
#include <windows.h>

#include <cstdint>
#include <functional>

#include "platform/ISessionPower.h"

namespace nocturo::platform::win32 {

struct SessionCalls {
    // Returns false and leaves GetLastError's code set when it fails, as the API does.
    std::function<BOOL(HANDLE process, DWORD access, HANDLE* token)> openProcessToken;
    std::function<BOOL(const wchar_t* name, LUID* luid)> lookupPrivilegeValue;
    // previousState is not asked for; the caller reads GetLastError for
    // ERROR_NOT_ALL_ASSIGNED after a success.
    std::function<BOOL(HANDLE token, TOKEN_PRIVILEGES* state)> adjustTokenPrivileges;
    std::function<BOOL(HANDLE handle)> closeHandle;
    std::function<BOOL(UINT flags, DWORD reason)> exitWindowsEx;
    std::function<BOOLEAN(BOOLEAN hibernate, BOOLEAN forceCritical, BOOLEAN disableWakeEvent)> setSuspendState;
    std::function<BOOL()> lockWorkStation;
    // The desktop shell's process id (of GetShellWindow), 0 when there is none.
    std::function<DWORD()> shellProcessId;
    std::function<BOOL(DWORD pid, UINT exitCode)> terminateProcess;
};

// The table of the real Win32 calls.
SessionCalls SystemSessionCalls();

class Win32SessionPower : public ISessionPower {
public:
    explicit Win32SessionPower(SessionCalls calls = SystemSessionCalls());

    // SeShutdownPrivilege on the process token; not holding it (a
    // restricted account) is an Error, as is every failed call below.
    void enableShutdownPrivilege() override;
    // The program's EWX_* flags as they are; reserved is the shutdown reason.
    void exitWindowsEx(std::uint32_t flags, std::uint32_t reserved) override;
    void setSuspendState(bool hibernate, bool forceCritical, bool disableWakeEvent) override;
    // Ends the process of the desktop shell (explorer.exe); nothing when there is none.
    void terminateShell() override;
    void lockWorkstation() override;
    // Windows has the start-menu policies for this, which the program writes
    // instead; a call here is refused.
    void blockSessionEnd(bool blocked) override;

private:
    SessionCalls calls_;
};

}  // namespace nocturo::platform::win32

#include "platform/win32/Win32SessionPower.h"

#include <powrprof.h>

#include <string>
#include <utility>

#include "platform/Error.h"
#include "platform/win32/WinText.h"

namespace nocturo::platform::win32 {

SessionCalls SystemSessionCalls() {
    SessionCalls c;
    c.openProcessToken = [](HANDLE process, DWORD access, HANDLE* token) {
        return OpenProcessToken(process, access, token);
    };
    c.lookupPrivilegeValue = [](const wchar_t* name, LUID* luid) { return LookupPrivilegeValueW(nullptr, name, luid); };
    c.adjustTokenPrivileges = [](HANDLE token, TOKEN_PRIVILEGES* state) {
        return AdjustTokenPrivileges(token, FALSE, state, 0, nullptr, nullptr);
    };
    c.closeHandle = [](HANDLE h) { return CloseHandle(h); };
    c.exitWindowsEx = [](UINT flags, DWORD reason) { return ExitWindowsEx(flags, reason); };
    c.setSuspendState = [](BOOLEAN hibernate, BOOLEAN forceCritical, BOOLEAN disableWakeEvent) {
        return SetSuspendState(hibernate, forceCritical, disableWakeEvent);
    };
    c.lockWorkStation = [] { return LockWorkStation(); };
    c.shellProcessId = []() -> DWORD {
        HWND shell = GetShellWindow();
        DWORD pid = 0;
        if (shell) GetWindowThreadProcessId(shell, &pid);
        return pid;
    };
    c.terminateProcess = [](DWORD pid, UINT exitCode) -> BOOL {
        HANDLE h = OpenProcess(PROCESS_TERMINATE, FALSE, pid);
        if (!h) return FALSE;
        const BOOL ok = TerminateProcess(h, exitCode);
        const DWORD error = GetLastError();
        CloseHandle(h);
        SetLastError(error);
        return ok;
    };
    return c;
}

Win32SessionPower::Win32SessionPower(SessionCalls calls) : calls_(std::move(calls)) {}

void Win32SessionPower::enableShutdownPrivilege() {
    HANDLE token = nullptr;
    if (!calls_.openProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        throw LastError("OpenProcessToken failed");
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!calls_.lookupPrivilegeValue(SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid)) {
        const Error e = LastError("LookupPrivilegeValue SeShutdownPrivilege failed");
        calls_.closeHandle(token);
        throw e;
    }
    SetLastError(ERROR_SUCCESS);
    const BOOL ok = calls_.adjustTokenPrivileges(token, &privileges);
    // Success with ERROR_NOT_ALL_ASSIGNED: the account does not hold the privilege.
    const DWORD error = GetLastError();
    calls_.closeHandle(token);
    if (!ok) throw ErrorFromCode(error, "AdjustTokenPrivileges SeShutdownPrivilege failed");
    if (error == ERROR_NOT_ALL_ASSIGNED)
        throw ErrorFromCode(error, "AdjustTokenPrivileges: SeShutdownPrivilege is not granted");
}

void Win32SessionPower::exitWindowsEx(std::uint32_t flags, std::uint32_t reserved) {
    if (!calls_.exitWindowsEx(flags, reserved)) throw LastError("ExitWindowsEx " + std::to_string(flags) + " failed");
}

void Win32SessionPower::setSuspendState(bool hibernate, bool forceCritical, bool disableWakeEvent) {
    if (!calls_.setSuspendState(hibernate, forceCritical, disableWakeEvent))
        throw LastError(std::string("SetSuspendState (") + (hibernate ? "hibernate" : "suspend") + ") failed");
}

void Win32SessionPower::terminateShell() {
    const DWORD pid = calls_.shellProcessId();
    if (pid == 0) return;
    if (!calls_.terminateProcess(pid, 0)) throw LastError("cannot end the desktop shell");
}

void Win32SessionPower::lockWorkstation() {
    if (!calls_.lockWorkStation()) throw LastError("LockWorkStation failed");
}

void Win32SessionPower::blockSessionEnd(bool blocked) {
    throw Error(err::SystemCallFailed, std::string("blocking the session's end ") + (blocked ? "" : "(lifting) ") +
                                           "is done by the start-menu policies on Windows");
}

}  // namespace nocturo::platform::win32

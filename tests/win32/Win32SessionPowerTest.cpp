// The session and power calls on Windows, through a table of recorders:
// nothing here reaches the real ExitWindowsEx, SetSuspendState or
// LockWorkStation.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "platform/Error.h"
#include "platform/win32/Win32SessionPower.h"

namespace {

using namespace nocturo::platform;
using namespace nocturo::platform::win32;

// Records every call; each one succeeds unless told to fail with a code.
struct Recorder {
    std::vector<std::string> calls;
    DWORD failWith = 0;           // for the next call that can fail
    std::string failing;          // its name
    bool privilegeNotHeld = false;
    UINT exitFlags = 0;
    DWORD exitReason = 0;
    LUID luid{};
    TOKEN_PRIVILEGES adjusted{};
    HANDLE token = reinterpret_cast<HANDLE>(0x1234);
    DWORD shellPid = 0;

    bool fails(const std::string& name) {
        if (failing != name) return false;
        SetLastError(failWith);
        return true;
    }

    SessionCalls table() {
        SessionCalls c;
        c.openProcessToken = [this](HANDLE process, DWORD access, HANDLE* out) -> BOOL {
            calls.push_back("OpenProcessToken");
            EXPECT_EQ(process, GetCurrentProcess());
            EXPECT_EQ(access & TOKEN_ADJUST_PRIVILEGES, static_cast<DWORD>(TOKEN_ADJUST_PRIVILEGES));
            if (fails("OpenProcessToken")) return FALSE;
            *out = token;
            return TRUE;
        };
        c.lookupPrivilegeValue = [this](const wchar_t* name, LUID* out) -> BOOL {
            calls.push_back("LookupPrivilegeValue " + std::string(name, name + wcslen(name)));
            if (fails("LookupPrivilegeValue")) return FALSE;
            out->LowPart = 19;  // SE_SHUTDOWN_PRIVILEGE
            out->HighPart = 0;
            return TRUE;
        };
        c.adjustTokenPrivileges = [this](HANDLE h, TOKEN_PRIVILEGES* state) -> BOOL {
            calls.push_back("AdjustTokenPrivileges");
            EXPECT_EQ(h, token);
            adjusted = *state;
            if (fails("AdjustTokenPrivileges")) return FALSE;
            SetLastError(privilegeNotHeld ? ERROR_NOT_ALL_ASSIGNED : ERROR_SUCCESS);
            return TRUE;
        };
        c.closeHandle = [this](HANDLE h) -> BOOL {
            calls.push_back("CloseHandle");
            EXPECT_EQ(h, token);
            return TRUE;
        };
        c.exitWindowsEx = [this](UINT flags, DWORD reason) -> BOOL {
            calls.push_back("ExitWindowsEx");
            exitFlags = flags;
            exitReason = reason;
            return fails("ExitWindowsEx") ? FALSE : TRUE;
        };
        c.setSuspendState = [this](BOOLEAN hibernate, BOOLEAN force, BOOLEAN noWake) -> BOOLEAN {
            calls.push_back(std::string("SetSuspendState ") + (hibernate ? "1" : "0") + (force ? "1" : "0") +
                            (noWake ? "1" : "0"));
            return fails("SetSuspendState") ? FALSE : TRUE;
        };
        c.lockWorkStation = [this]() -> BOOL {
            calls.push_back("LockWorkStation");
            return fails("LockWorkStation") ? FALSE : TRUE;
        };
        c.shellProcessId = [this]() -> DWORD {
            calls.push_back("ShellProcessId");
            return shellPid;
        };
        c.terminateProcess = [this](DWORD pid, UINT code) -> BOOL {
            calls.push_back("TerminateProcess " + std::to_string(pid) + " " + std::to_string(code));
            return fails("TerminateProcess") ? FALSE : TRUE;
        };
        return c;
    }
};

TEST(Win32SessionPower, ShutdownPrivilegeIsEnabledOnTheProcessToken) {
    Recorder r;
    Win32SessionPower power(r.table());
    power.enableShutdownPrivilege();
    EXPECT_EQ(r.calls, (std::vector<std::string>{"OpenProcessToken", "LookupPrivilegeValue SeShutdownPrivilege",
                                                 "AdjustTokenPrivileges", "CloseHandle"}));
    EXPECT_EQ(r.adjusted.PrivilegeCount, 1u);
    EXPECT_EQ(r.adjusted.Privileges[0].Luid.LowPart, 19u);
    EXPECT_EQ(r.adjusted.Privileges[0].Attributes, static_cast<DWORD>(SE_PRIVILEGE_ENABLED));
}

TEST(Win32SessionPower, APrivilegeTheAccountDoesNotHoldIsAnError) {
    Recorder r;
    r.privilegeNotHeld = true;
    Win32SessionPower power(r.table());
    try {
        power.enableShutdownPrivilege();
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("SeShutdownPrivilege"), std::string::npos) << e.what();
    }
    EXPECT_EQ(r.calls.back(), "CloseHandle");  // the token is closed all the same
}

TEST(Win32SessionPower, FailuresCarryTheSystemsReason) {
    for (const std::string failing : {"OpenProcessToken", "LookupPrivilegeValue", "AdjustTokenPrivileges"}) {
        Recorder r;
        r.failing = failing;
        r.failWith = ERROR_ACCESS_DENIED;
        Win32SessionPower power(r.table());
        try {
            power.enableShutdownPrivilege();
            ADD_FAILURE() << failing;
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), err::PermissionDenied) << failing;
            EXPECT_NE(std::string(e.what()).find(failing), std::string::npos) << e.what();
        }
        // The token, once open, is always closed.
        const bool opened = failing != "OpenProcessToken";
        EXPECT_EQ(r.calls.back() == "CloseHandle", opened) << failing;
    }
}

TEST(Win32SessionPower, ExitWindowsExGetsTheProgramsFlagsAsTheyAre) {
    for (const std::uint32_t flags : {ewx::Logoff, ewx::Shutdown, ewx::Reboot | ewx::Force,
                                      ewx::PowerOff | ewx::Shutdown | ewx::ForceIfHung}) {
        Recorder r;
        Win32SessionPower power(r.table());
        power.exitWindowsEx(flags, 0xFFFFFFFFu);
        EXPECT_EQ(r.calls, std::vector<std::string>{"ExitWindowsEx"});
        EXPECT_EQ(r.exitFlags, flags);
        EXPECT_EQ(r.exitReason, 0xFFFFFFFFu);
    }
    // The program's numbers are the system's.
    EXPECT_EQ(ewx::Logoff, static_cast<std::uint32_t>(EWX_LOGOFF));
    EXPECT_EQ(ewx::Shutdown, static_cast<std::uint32_t>(EWX_SHUTDOWN));
    EXPECT_EQ(ewx::Reboot, static_cast<std::uint32_t>(EWX_REBOOT));
    EXPECT_EQ(ewx::Force, static_cast<std::uint32_t>(EWX_FORCE));
    EXPECT_EQ(ewx::PowerOff, static_cast<std::uint32_t>(EWX_POWEROFF));
    EXPECT_EQ(ewx::ForceIfHung, static_cast<std::uint32_t>(EWX_FORCEIFHUNG));
}

TEST(Win32SessionPower, ARefusedSessionEndIsAnError) {
    Recorder r;
    r.failing = "ExitWindowsEx";
    r.failWith = ERROR_PRIVILEGE_NOT_HELD;
    Win32SessionPower power(r.table());
    try {
        power.exitWindowsEx(ewx::Shutdown, 0);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::PermissionDenied);
        EXPECT_EQ(std::string(e.what()).rfind("ExitWindowsEx 1 failed (", 0), 0u) << e.what();
    }
}

TEST(Win32SessionPower, SuspendHibernateAndLock) {
    Recorder r;
    Win32SessionPower power(r.table());
    power.setSuspendState(false, false, false);
    power.setSuspendState(true, true, false);
    power.lockWorkstation();
    EXPECT_EQ(r.calls, (std::vector<std::string>{"SetSuspendState 000", "SetSuspendState 110", "LockWorkStation"}));

    Recorder refusing;
    refusing.failing = "SetSuspendState";
    refusing.failWith = ERROR_NOT_SUPPORTED;
    Win32SessionPower refused(refusing.table());
    EXPECT_THROW(refused.setSuspendState(true, false, false), Error);
    refusing.failing = "LockWorkStation";
    EXPECT_THROW(refused.lockWorkstation(), Error);
}

TEST(Win32SessionPower, TheShellIsEndedOnlyWhenThereIsOne) {
    Recorder none;
    Win32SessionPower noShell(none.table());
    noShell.terminateShell();
    EXPECT_EQ(none.calls, std::vector<std::string>{"ShellProcessId"});

    Recorder r;
    r.shellPid = 4242;
    Win32SessionPower power(r.table());
    power.terminateShell();
    EXPECT_EQ(r.calls, (std::vector<std::string>{"ShellProcessId", "TerminateProcess 4242 0"}));
    r.failing = "TerminateProcess";
    r.failWith = ERROR_ACCESS_DENIED;
    EXPECT_THROW(power.terminateShell(), Error);
}

TEST(Win32SessionPower, BlockingTheSessionEndIsLeftToThePolicies) {
    Recorder r;
    Win32SessionPower power(r.table());
    EXPECT_THROW(power.blockSessionEnd(true), Error);
    EXPECT_THROW(power.blockSessionEnd(false), Error);
    EXPECT_TRUE(r.calls.empty());
}

TEST(Win32SessionPower, TheSystemTableIsComplete) {
    // Only looked at, never called.
    const SessionCalls c = SystemSessionCalls();
    EXPECT_TRUE(c.openProcessToken && c.lookupPrivilegeValue && c.adjustTokenPrivileges && c.closeHandle &&
                c.exitWindowsEx && c.setSuspendState && c.lockWorkStation && c.shellProcessId && c.terminateProcess);
}

}  // namespace

// Start at login and the system service on Windows. The Run value is
// written for real (the wine prefix's user registry), under a test key and
// once under the real Run key, and removed again; the service manager is a
// table of recorders, so no service is ever installed.
#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "platform/IServiceControl.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32ServiceControl.h"
#include "platform/win32/WinText.h"

namespace {

using namespace nocturo::platform;
using namespace nocturo::platform::win32;

const std::string kProgram = "C:\\Program Files\\Nocturo\\Nocturo.exe";

// A service manager in memory. Handles are small numbers; each call is
// listed; a call named in `failing` fails with its code.
struct FakeScm {
    std::vector<std::string> calls;
    std::map<std::string, DWORD> failing;
    bool exists = false;
    DWORD state = SERVICE_STOPPED;
    int stopsAfterQueries = 0;  // a stop request takes this many status queries to finish
    int queriesLeft = 0;
    std::wstring name, displayName, commandLine;
    DWORD serviceType = 0, startType = 0, errorControl = 0, createAccess = 0, managerAccess = 0, openAccess = 0;
    int open = 0;  // handles not closed yet
    int slept = 0;

    SC_HANDLE handle(int n) {
        ++open;
        return reinterpret_cast<SC_HANDLE>(static_cast<INT_PTR>(n));
    }
    bool fails(const std::string& call) {
        auto it = failing.find(call);
        if (it == failing.end()) return false;
        SetLastError(it->second);
        return true;
    }

    ScmCalls table() {
        ScmCalls c;
        c.openManager = [this](DWORD access) -> SC_HANDLE {
            calls.push_back("OpenSCManager");
            managerAccess = access;
            if (fails("OpenSCManager")) return nullptr;
            return handle(1);
        };
        c.openService = [this](SC_HANDLE manager, const wchar_t* n, DWORD access) -> SC_HANDLE {
            calls.push_back("OpenService " + Narrow(n));
            EXPECT_EQ(manager, reinterpret_cast<SC_HANDLE>(1));
            openAccess = access;
            if (fails("OpenService")) return nullptr;
            if (!exists) {
                SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
                return nullptr;
            }
            return handle(2);
        };
        c.createService = [this](SC_HANDLE, const wchar_t* n, const wchar_t* display, DWORD access, DWORD type,
                                 DWORD start, DWORD errors, const wchar_t* line) -> SC_HANDLE {
            calls.push_back("CreateService");
            name = n;
            displayName = display;
            createAccess = access;
            serviceType = type;
            startType = start;
            errorControl = errors;
            commandLine = line;
            if (fails("CreateService")) return nullptr;
            if (exists) {
                SetLastError(ERROR_SERVICE_EXISTS);
                return nullptr;
            }
            exists = true;
            return handle(2);
        };
        c.setDescription = [this](SC_HANDLE, const wchar_t*) -> BOOL {
            calls.push_back("SetDescription");
            return !fails("SetDescription");
        };
        c.deleteService = [this](SC_HANDLE) -> BOOL {
            calls.push_back("DeleteService");
            if (fails("DeleteService")) return FALSE;
            exists = false;
            return TRUE;
        };
        c.startService = [this](SC_HANDLE) -> BOOL {
            calls.push_back("StartService");
            if (fails("StartService")) return FALSE;
            if (state == SERVICE_RUNNING) {
                SetLastError(ERROR_SERVICE_ALREADY_RUNNING);
                return FALSE;
            }
            state = SERVICE_RUNNING;
            return TRUE;
        };
        c.controlService = [this](SC_HANDLE, DWORD control, SERVICE_STATUS* status) -> BOOL {
            calls.push_back("ControlService " + std::to_string(control));
            if (fails("ControlService")) return FALSE;
            if (state == SERVICE_STOPPED) {
                SetLastError(ERROR_SERVICE_NOT_ACTIVE);
                return FALSE;
            }
            state = stopsAfterQueries > 0 ? SERVICE_STOP_PENDING : SERVICE_STOPPED;
            queriesLeft = stopsAfterQueries;
            status->dwCurrentState = state;
            return TRUE;
        };
        c.queryStatus = [this](SC_HANDLE, SERVICE_STATUS* status) -> BOOL {
            calls.push_back("QueryServiceStatus");
            if (fails("QueryServiceStatus")) return FALSE;
            if (state == SERVICE_STOP_PENDING && --queriesLeft < 0) state = SERVICE_STOPPED;
            *status = SERVICE_STATUS{};
            status->dwCurrentState = state;
            return TRUE;
        };
        c.closeHandle = [this](SC_HANDLE) -> BOOL {
            --open;
            SetLastError(ERROR_INVALID_HANDLE);  // a close that disturbs the error code must not matter
            return TRUE;
        };
        c.sleep = [this](DWORD) { ++slept; };
        return c;
    }
};

std::string errorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const Error& e) {
        return e.what();
    }
    return "(no error)";
}

// ---- the service ------------------------------------------------------------

TEST(Win32ServiceControl, InstallingCreatesAnOwnProcessAutoStartServiceWithTheQuotedPathAndStartsIt) {
    FakeScm scm;
    Win32ServiceControl control(scm.table(), kProgram);
    control.installService();
    EXPECT_EQ(scm.calls, (std::vector<std::string>{"OpenSCManager", "CreateService", "SetDescription", "StartService"}));
    EXPECT_EQ(scm.managerAccess & SC_MANAGER_CREATE_SERVICE, static_cast<DWORD>(SC_MANAGER_CREATE_SERVICE));
    EXPECT_EQ(Narrow(scm.name), kWindowsServiceName);
    EXPECT_EQ(Narrow(scm.displayName), kWindowsServiceDisplayName);
    EXPECT_EQ(scm.serviceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
    EXPECT_EQ(scm.startType, static_cast<DWORD>(SERVICE_AUTO_START));
    EXPECT_EQ(scm.errorControl, static_cast<DWORD>(SERVICE_ERROR_NORMAL));
    EXPECT_EQ(scm.createAccess & SERVICE_START, static_cast<DWORD>(SERVICE_START));
    // The space in "Program Files" must not split the path.
    EXPECT_EQ(Narrow(scm.commandLine), "\"" + kProgram + "\" --service");
    EXPECT_EQ(scm.state, static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(scm.open, 0) << "every handle is closed";
    EXPECT_EQ(control.serviceDisplayName(), kWindowsServiceDisplayName);
}

TEST(Win32ServiceControl, TheProgramPathDefaultsToThisProgram) {
    FakeScm scm;
    Win32ServiceControl control(scm.table());
    ASSERT_GE(control.programPath().size(), 4u);
    EXPECT_EQ(control.programPath().substr(control.programPath().size() - 4), ".exe");
    EXPECT_EQ(control.serviceCommandLine(), L"\"" + Widen(control.programPath()) + L"\" --service");
}

TEST(Win32ServiceControl, InstallFailuresSayWhichCallFailedAndWhy) {
    struct Case {
        const char* failing;
        DWORD code;
        bool existing;
        const char* expected;
        long number;
    };
    const Case cases[] = {
        {"OpenSCManager", ERROR_ACCESS_DENIED, false, "OpenSCManagerW", err::PermissionDenied},
        {"CreateService", ERROR_ACCESS_DENIED, false, "CreateServiceW", err::PermissionDenied},
        {"", 0, true, "CreateServiceW TestService failed", err::SystemCallFailed},
        {"CreateService", ERROR_INVALID_NAME, false, "CreateServiceW", err::SystemCallFailed},
        {"StartService", ERROR_SERVICE_DISABLED, false, "StartServiceW", err::SystemCallFailed},
    };
    for (const auto& c : cases) {
        FakeScm scm;
        scm.exists = c.existing;
        if (*c.failing) scm.failing[c.failing] = c.code;
        Win32ServiceControl control(scm.table(), kProgram);
        try {
            control.installService();
            ADD_FAILURE() << c.failing << ": no error";
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(c.expected), std::string::npos) << e.what();
            EXPECT_EQ(e.number(), c.number) << e.what();
            // The system's text for the code is in the description.
            const DWORD code = c.existing ? ERROR_SERVICE_EXISTS : c.code;
            EXPECT_NE(std::string(e.what()).find(SystemMessage(code)), std::string::npos) << e.what();
        }
        EXPECT_EQ(scm.open, 0) << c.failing;
    }
}

TEST(Win32ServiceControl, AMissingDescriptionDoesNotFailTheInstall) {
    FakeScm scm;
    scm.failing["SetDescription"] = ERROR_ACCESS_DENIED;
    Win32ServiceControl control(scm.table(), kProgram);
    EXPECT_NO_THROW(control.installService());
    EXPECT_TRUE(scm.exists);
}

TEST(Win32ServiceControl, UninstallingStopsARunningServiceWaitsForItAndDeletesIt) {
    FakeScm scm;
    scm.exists = true;
    scm.state = SERVICE_RUNNING;
    scm.stopsAfterQueries = 3;
    Win32ServiceControl control(scm.table(), kProgram);
    control.uninstallService();
    EXPECT_FALSE(scm.exists);
    EXPECT_EQ(scm.state, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(scm.openAccess & (SERVICE_STOP | DELETE), static_cast<DWORD>(SERVICE_STOP | DELETE));
    ASSERT_GE(scm.calls.size(), 5u);
    EXPECT_EQ(scm.calls[3], "ControlService " + std::to_string(SERVICE_CONTROL_STOP));
    EXPECT_EQ(scm.calls.back(), "DeleteService");
    EXPECT_EQ(scm.slept, 3);
    EXPECT_EQ(scm.open, 0);
}

TEST(Win32ServiceControl, AStoppedServiceIsDeletedWithoutAStopRequest) {
    FakeScm scm;
    scm.exists = true;
    Win32ServiceControl control(scm.table(), kProgram);
    control.uninstallService();
    EXPECT_EQ(scm.calls, (std::vector<std::string>{"OpenSCManager", "OpenService TestService", "QueryServiceStatus",
                                                   "DeleteService"}));
}

TEST(Win32ServiceControl, AServiceThatWillNotStopIsDeletedAfterTheWait) {
    FakeScm scm;
    scm.exists = true;
    scm.state = SERVICE_RUNNING;
    scm.stopsAfterQueries = 1000000;
    Win32ServiceControl control(scm.table(), kProgram);
    control.uninstallService();
    EXPECT_FALSE(scm.exists);
    EXPECT_EQ(static_cast<DWORD>(scm.slept) * 250, Win32ServiceControl::kStopWaitMs);
}

TEST(Win32ServiceControl, UninstallFailuresSayWhichCallFailedAndWhy) {
    struct Case {
        const char* failing;
        DWORD code;
        bool existing;
        const char* expected;
    };
    const Case cases[] = {
        {"", 0, false, "OpenServiceW TestService failed"},  // nothing to uninstall
        {"OpenSCManager", ERROR_ACCESS_DENIED, true, "OpenSCManagerW"},
        {"OpenService", ERROR_ACCESS_DENIED, true, "OpenServiceW"},
        {"ControlService", ERROR_DEPENDENT_SERVICES_RUNNING, true, "ControlService stop"},
        {"DeleteService", ERROR_ACCESS_DENIED, true, "DeleteService"},
        {"QueryServiceStatus", ERROR_ACCESS_DENIED, true, "QueryServiceStatus"},
    };
    for (const auto& c : cases) {
        FakeScm scm;
        scm.exists = c.existing;
        scm.state = SERVICE_RUNNING;
        if (*c.failing) scm.failing[c.failing] = c.code;
        Win32ServiceControl control(scm.table(), kProgram);
        const std::string why = errorOf([&] { control.uninstallService(); });
        EXPECT_NE(why.find(c.expected), std::string::npos) << why;
        const DWORD code = c.existing ? c.code : ERROR_SERVICE_DOES_NOT_EXIST;
        EXPECT_NE(why.find(SystemMessage(code)), std::string::npos) << why;
        EXPECT_EQ(scm.open, 0) << c.failing;
    }
}

TEST(Win32ServiceControl, ADeletionAlreadyUnderWayCountsAsDone) {
    FakeScm scm;
    scm.exists = true;
    scm.failing["DeleteService"] = ERROR_SERVICE_MARKED_FOR_DELETE;
    Win32ServiceControl control(scm.table(), kProgram);
    EXPECT_NO_THROW(control.uninstallService());
}

TEST(Win32ServiceControl, InstalledAndRunningFollowTheManager) {
    struct Case {
        bool exists;
        DWORD state;
        bool installed, running;
    };
    const Case cases[] = {
        {false, SERVICE_STOPPED, false, false},        {true, SERVICE_STOPPED, true, false},
        {true, SERVICE_START_PENDING, true, false},    {true, SERVICE_RUNNING, true, true},
        {true, SERVICE_PAUSED, true, true},            {true, SERVICE_PAUSE_PENDING, true, true},
        {true, SERVICE_CONTINUE_PENDING, true, true},  {true, SERVICE_STOP_PENDING, true, false},
    };
    for (const auto& c : cases) {
        FakeScm scm;
        scm.exists = c.exists;
        scm.state = c.state;
        Win32ServiceControl control(scm.table(), kProgram);
        EXPECT_EQ(control.serviceInstalled(), c.installed) << c.state;
        EXPECT_EQ(control.serviceRunning(), c.running) << c.state;
        EXPECT_EQ(scm.openAccess, static_cast<DWORD>(SERVICE_QUERY_STATUS));
        EXPECT_EQ(scm.managerAccess, static_cast<DWORD>(SC_MANAGER_CONNECT));
        EXPECT_EQ(scm.open, 0);
    }
}

TEST(Win32ServiceControl, AskingWithoutRightsIsAnErrorNotANo) {
    FakeScm scm;
    scm.exists = true;
    scm.failing["OpenService"] = ERROR_ACCESS_DENIED;
    Win32ServiceControl control(scm.table(), kProgram);
    EXPECT_THROW(control.serviceInstalled(), Error);
    EXPECT_THROW(control.serviceRunning(), Error);
    FakeScm noManager;
    noManager.failing["OpenSCManager"] = ERROR_ACCESS_DENIED;
    Win32ServiceControl other(noManager.table(), kProgram);
    EXPECT_THROW(other.serviceInstalled(), Error);
}

TEST(Win32ServiceControl, StartingARunningServiceAndStoppingAStoppedOneDoNothing) {
    FakeScm scm;
    scm.exists = true;
    Win32ServiceControl control(scm.table(), kProgram);
    control.startService();
    EXPECT_EQ(scm.state, static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_NO_THROW(control.startService());
    control.stopService();
    EXPECT_EQ(scm.state, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_NO_THROW(control.stopService());
    EXPECT_EQ(scm.open, 0);
}

TEST(Win32ServiceControl, StartingOrStoppingAMissingServiceIsAnError) {
    FakeScm scm;
    Win32ServiceControl control(scm.table(), kProgram);
    EXPECT_NE(errorOf([&] { control.startService(); }).find(SystemMessage(ERROR_SERVICE_DOES_NOT_EXIST)),
              std::string::npos);
    EXPECT_NE(errorOf([&] { control.stopService(); }).find(SystemMessage(ERROR_SERVICE_DOES_NOT_EXIST)),
              std::string::npos);
    FakeScm refusing;
    refusing.exists = true;
    refusing.failing["StartService"] = ERROR_ACCESS_DENIED;
    Win32ServiceControl other(refusing.table(), kProgram);
    EXPECT_NE(errorOf([&] { other.startService(); }).find("StartServiceW"), std::string::npos);
}

// ---- start at login (the real registry of the wine prefix) -----------------

const std::string kTestRunKey = "HKEY_CURRENT_USER\\Software\\NocturoTest\\Run\\";
const std::string kTestUserRunKey = "HKEY_CURRENT_USER\\Software\\NocturoTest\\UserRun\\";

struct RunKeyCleanup {
    ~RunKeyCleanup() {
        try {
            Win32Registry().deleteKey("HKEY_CURRENT_USER\\Software\\NocturoTest");
        } catch (...) {
        }
    }
};

TEST(Win32ServiceControl, TheStartAtLoginValueHoldsTheQuotedPathUnderTheProgramsName) {
    RunKeyCleanup cleanup;
    FakeScm scm;
    Win32ServiceControl control(scm.table(), kProgram, kTestRunKey, "Nocturo", kTestUserRunKey);
    EXPECT_FALSE(control.autostartPresent());
    EXPECT_NO_THROW(control.removeAutostart());  // nothing to remove is no failure

    control.writeAutostart("Nocturo", kProgram);
    EXPECT_TRUE(control.autostartPresent());
    auto value = Win32Registry().read(kTestRunKey + "Nocturo");
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(std::get<std::string>(*value), "\"" + kProgram + "\"");

    // Written again, it is replaced, not doubled.
    control.writeAutostart("Nocturo", "C:\\Other\\N\xC3\xB6" "cturo.exe");
    value = Win32Registry().read(kTestRunKey + "Nocturo");
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(std::get<std::string>(*value), "\"C:\\Other\\N\xC3\xB6" "cturo.exe\"");
    EXPECT_EQ(Win32Registry().values("HKEY_CURRENT_USER\\Software\\NocturoTest\\Run").size(), 1u);

    control.removeAutostart();
    EXPECT_FALSE(control.autostartPresent());
    EXPECT_TRUE(scm.calls.empty()) << "start at login never asks the service manager";
}

TEST(Win32ServiceControl, AValueWrittenUnderAnotherNameIsTheOneFoundAndRemoved) {
    RunKeyCleanup cleanup;
    FakeScm scm;
    Win32ServiceControl control(scm.table(), kProgram, kTestRunKey, "Nocturo", kTestUserRunKey);
    control.writeAutostart("Nocturo Timer", kProgram);
    EXPECT_TRUE(Win32Registry().exists(kTestRunKey + "Nocturo Timer"));
    EXPECT_TRUE(control.autostartPresent());
    control.removeAutostart();
    EXPECT_FALSE(Win32Registry().exists(kTestRunKey + "Nocturo Timer"));
}

TEST(Win32ServiceControl, ANameThatIsNoValueNameIsRefused) {
    RunKeyCleanup cleanup;
    FakeScm scm;
    Win32ServiceControl control(scm.table(), kProgram, kTestRunKey, "Nocturo", kTestUserRunKey);
    EXPECT_THROW(control.writeAutostart("", kProgram), Error);
    EXPECT_THROW(control.writeAutostart("..\\Evil", kProgram), Error);
    EXPECT_TRUE(Win32Registry().values("HKEY_CURRENT_USER\\Software\\NocturoTest\\Run").empty());
}

TEST(Win32ServiceControl, TheMachinesRunKeyIsUsedByDefault) {
    const std::string name = "NocturoTestEntry";
    struct Cleanup {
        std::string path;
        ~Cleanup() { Win32Registry().deleteValue(path); }
    } cleanup{std::string(kWindowsRunKey) + name};
    FakeScm scm;
    Win32ServiceControl control(scm.table(), kProgram);
    control.writeAutostart(name, kProgram);
    EXPECT_TRUE(Win32Registry().exists("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\" + name));
    EXPECT_FALSE(Win32Registry().exists("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\" + name));
    control.removeAutostart();
    EXPECT_FALSE(Win32Registry().exists("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\" + name));
}

// A copy installed for one user may not write the machine's Run key: its
// start at login goes to the user's own, and never stands in both.

// The machine's Run key as an ordinary user meets it: every value refused.
class RefusingMachineKey : public Win32ServiceControl {
public:
    using Win32ServiceControl::Win32ServiceControl;
    long refusals = 0;

protected:
    void writeRunValue(const std::string& path, const std::string& value) override {
        if (path.rfind(kTestRunKey, 0) == 0) {
            ++refusals;
            throw Error(err::PermissionDenied, "Permission denied: cannot write " + path);
        }
        Win32ServiceControl::writeRunValue(path, value);
    }
};

TEST(Win32ServiceControl, AUserWhoMayNotWriteTheMachinesRunKeyStartsFromTheirOwn) {
    RunKeyCleanup cleanup;
    FakeScm scm;
    RefusingMachineKey control(scm.table(), kProgram, kTestRunKey, "Nocturo", kTestUserRunKey);
    EXPECT_FALSE(control.autostartPresent());
    control.writeAutostart("Nocturo", kProgram);
    EXPECT_EQ(control.refusals, 1);
    auto value = Win32Registry().read(kTestUserRunKey + "Nocturo");
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(std::get<std::string>(*value), "\"" + kProgram + "\"");
    EXPECT_TRUE(control.autostartPresent());
    control.removeAutostart();
    EXPECT_FALSE(control.autostartPresent());
    EXPECT_FALSE(Win32Registry().exists(kTestUserRunKey + "Nocturo"));

    // Without a key of the user's own to fall back on, the refusal stands.
    RefusingMachineKey noFallback(scm.table(), kProgram, kTestRunKey, "Nocturo", "");
    try {
        noFallback.writeAutostart("Nocturo", kProgram);
        ADD_FAILURE() << "a refused write reported as done";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::PermissionDenied);
    }
}

TEST(Win32ServiceControl, AValueInTheMachinesRunKeyReplacesTheUsersOwn) {
    RunKeyCleanup cleanup;
    Win32Registry().writeString(kTestUserRunKey + "Nocturo", "\"C:\\Old\\nocturo.exe\"");
    FakeScm scm;
    Win32ServiceControl control(scm.table(), kProgram, kTestRunKey, "Nocturo", kTestUserRunKey);
    EXPECT_TRUE(control.autostartPresent()) << "the user's own value counts";
    control.writeAutostart("Nocturo", kProgram);
    EXPECT_TRUE(Win32Registry().exists(kTestRunKey + "Nocturo"));
    EXPECT_FALSE(Win32Registry().exists(kTestUserRunKey + "Nocturo")) << "it would start the program twice";
    control.removeAutostart();
    EXPECT_FALSE(control.autostartPresent());
}

}  // namespace

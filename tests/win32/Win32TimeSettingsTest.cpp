// The clock and the Windows Time service, through recorders: no test sets
// the clock or changes the service.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "platform/win32/Win32TimeSettings.h"

namespace {

using namespace nocturo::platform;
using namespace nocturo::platform::win32;

struct Recorder {
    std::vector<std::string> calls;
    std::string failing;  // the call that fails
    DWORD failWith = ERROR_ACCESS_DENIED;
    bool privilegeNotHeld = false;
    std::vector<SYSTEMTIME> set;
    std::vector<DWORD> privilegeStates;
    std::wstring privilegeName;
    HANDLE token = reinterpret_cast<HANDLE>(0x4321);
    LSTATUS typeStatus = ERROR_SUCCESS;
    std::wstring type = L"NTP";
    std::vector<std::wstring> written;
    LSTATUS writeStatus = ERROR_SUCCESS;
    bool automaticDst = true;
    DWORD zoneResult = TIME_ZONE_ID_STANDARD;
    FILETIME now{};

    bool fails(const std::string& name) {
        if (failing != name) return false;
        SetLastError(failWith);
        return true;
    }

    TimeCalls table() {
        TimeCalls c;
        c.getTimeZoneInformation = [this](TIME_ZONE_INFORMATION* z) {
            z->Bias = -60;
            wcscpy(z->StandardName, L"Mitteleuropäische Zeit");
            z->StandardBias = 0;
            wcscpy(z->DaylightName, L"Mitteleuropäische Sommerzeit");
            z->DaylightBias = -60;
            return zoneResult;
        };
        c.automaticDaylightSaving = [this] { return automaticDst; };
        c.getSystemTimeAsFileTime = [this](FILETIME* out) { *out = now; };
        c.openProcessToken = [this](HANDLE, DWORD access, HANDLE* out) -> BOOL {
            calls.push_back("OpenProcessToken");
            EXPECT_TRUE(access & TOKEN_ADJUST_PRIVILEGES);
            if (fails("OpenProcessToken")) return FALSE;
            *out = token;
            return TRUE;
        };
        c.lookupPrivilegeValue = [this](const wchar_t* name, LUID* luid) -> BOOL {
            calls.push_back("LookupPrivilegeValue");
            privilegeName = name;
            if (fails("LookupPrivilegeValue")) return FALSE;
            luid->LowPart = 12;  // SE_SYSTEMTIME_PRIVILEGE
            return TRUE;
        };
        c.adjustTokenPrivileges = [this](HANDLE h, TOKEN_PRIVILEGES* state) -> BOOL {
            calls.push_back("AdjustTokenPrivileges");
            EXPECT_EQ(h, token);
            EXPECT_EQ(state->PrivilegeCount, 1u);
            EXPECT_EQ(state->Privileges[0].Luid.LowPart, 12u);
            privilegeStates.push_back(state->Privileges[0].Attributes);
            if (fails("AdjustTokenPrivileges")) return FALSE;
            SetLastError(privilegeNotHeld ? ERROR_NOT_ALL_ASSIGNED : ERROR_SUCCESS);
            return TRUE;
        };
        c.closeHandle = [this](HANDLE h) -> BOOL {
            calls.push_back("CloseHandle");
            EXPECT_EQ(h, token);
            return TRUE;
        };
        c.setSystemTime = [this](const SYSTEMTIME* utc) -> BOOL {
            calls.push_back("SetSystemTime");
            set.push_back(*utc);
            return fails("SetSystemTime") ? FALSE : TRUE;
        };
        c.broadcastTimeChange = [this] { calls.push_back("WM_TIMECHANGE"); };
        c.readTimeServiceType = [this](std::wstring& out) {
            out = type;
            return typeStatus;
        };
        c.writeTimeServiceType = [this](const std::wstring& value) {
            written.push_back(value);
            return writeStatus;
        };
        c.refreshTimeService = [this] {
            calls.push_back("ParamChange");
            return false;
        };
        return c;
    }
};

// 2026-03-29 01:02:03.456789 UTC
constexpr std::int64_t kInstant = 1774746123456789LL;

TEST(Win32TimeSettings, TheClockIsSetInUtcWithThePrivilegeForThatCallOnly) {
    Recorder r;
    Win32TimeSettings t(r.table());
    t.setTimeUtc(kInstant);
    ASSERT_EQ(r.set.size(), 1u);
    const SYSTEMTIME& st = r.set[0];
    EXPECT_EQ(st.wYear, 2026);
    EXPECT_EQ(st.wMonth, 3);
    EXPECT_EQ(st.wDay, 29);
    EXPECT_EQ(st.wDayOfWeek, 0);  // a Sunday
    EXPECT_EQ(st.wHour, 1);
    EXPECT_EQ(st.wMinute, 2);
    EXPECT_EQ(st.wSecond, 3);
    EXPECT_EQ(st.wMilliseconds, 456);
    EXPECT_EQ(r.privilegeName, std::wstring(SE_SYSTEMTIME_NAME));
    EXPECT_EQ(r.privilegeStates, (std::vector<DWORD>{SE_PRIVILEGE_ENABLED, 0}));
    EXPECT_EQ(r.calls, (std::vector<std::string>{"OpenProcessToken", "LookupPrivilegeValue", "AdjustTokenPrivileges",
                                                 "SetSystemTime", "AdjustTokenPrivileges", "CloseHandle",
                                                 "WM_TIMECHANGE"}));
}

TEST(Win32TimeSettings, TimesAreConvertedExactlyAtTheEdges) {
    struct Case {
        std::int64_t usec;
        WORD year, month, day, hour, minute, second, ms;
    } const cases[] = {
        {0, 1970, 1, 1, 0, 0, 0, 0},
        {999, 1970, 1, 1, 0, 0, 0, 0},
        {1000, 1970, 1, 1, 0, 0, 0, 1},
        {-1000, 1969, 12, 31, 23, 59, 59, 999},
        {951782400000000LL, 2000, 2, 29, 0, 0, 0, 0},
        {4107542399999000LL, 2100, 2, 28, 23, 59, 59, 999},
        {-11644473600LL * 1000000, 1601, 1, 1, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        const auto st = SystemTimeFromUnixUsec(c.usec);
        ASSERT_TRUE(st) << c.usec;
        EXPECT_EQ(st->wYear, c.year) << c.usec;
        EXPECT_EQ(st->wMonth, c.month) << c.usec;
        EXPECT_EQ(st->wDay, c.day) << c.usec;
        EXPECT_EQ(st->wHour, c.hour) << c.usec;
        EXPECT_EQ(st->wMinute, c.minute) << c.usec;
        EXPECT_EQ(st->wSecond, c.second) << c.usec;
        EXPECT_EQ(st->wMilliseconds, c.ms) << c.usec;
    }
    EXPECT_FALSE(SystemTimeFromUnixUsec(-11644473600LL * 1000000 - 1));
    EXPECT_FALSE(SystemTimeFromUnixUsec(INT64_MAX));
    EXPECT_FALSE(SystemTimeFromUnixUsec(INT64_MIN));

    FILETIME ft{};
    ft.dwHighDateTime = 0x01DC0000;
    const std::uint64_t ticks = 0x01DC000000000000ULL;
    EXPECT_EQ(UnixUsecFromFileTime(ft), static_cast<std::int64_t>(ticks / 10) - 11644473600LL * 1000000);
    Recorder r;
    r.now = ft;
    EXPECT_EQ(Win32TimeSettings(r.table()).utcNowUsec(), UnixUsecFromFileTime(ft));
}

TEST(Win32TimeSettings, ARefusalLeavesTheClockAloneAndSaysWhy) {
    {
        Recorder r;
        r.privilegeNotHeld = true;
        Win32TimeSettings t(r.table());
        try {
            t.setTimeUtc(kInstant);
            FAIL();
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), err::PermissionDenied) << e.what();
            EXPECT_NE(std::string(e.what()).find("SeSystemtimePrivilege"), std::string::npos) << e.what();
        }
        EXPECT_TRUE(r.set.empty());
        EXPECT_EQ(r.calls.back(), "CloseHandle");
    }
    for (const char* failing : {"OpenProcessToken", "LookupPrivilegeValue", "AdjustTokenPrivileges", "SetSystemTime"}) {
        Recorder r;
        r.failing = failing;
        Win32TimeSettings t(r.table());
        EXPECT_THROW(t.setTimeUtc(kInstant), Error) << failing;
        EXPECT_EQ(std::count(r.calls.begin(), r.calls.end(), "WM_TIMECHANGE"), 0) << failing;
        const bool opened = std::string(failing) != "OpenProcessToken";
        EXPECT_EQ(std::count(r.calls.begin(), r.calls.end(), "CloseHandle"), opened ? 1 : 0) << failing;
        if (std::string(failing) != "SetSystemTime") {
            EXPECT_TRUE(r.set.empty()) << failing;
        }
    }
    Recorder r;
    Win32TimeSettings t(r.table());
    EXPECT_THROW(t.setTimeUtc(INT64_MIN), Error);
    EXPECT_TRUE(r.calls.empty());
}

TEST(Win32TimeSettings, TheZoneIsReportedWithItsNames) {
    Recorder r;
    Win32TimeSettings t(r.table());
    TimeZoneInformation z;
    EXPECT_EQ(t.getTimeZoneInformation(z), tz::Standard);
    EXPECT_EQ(z.bias, -60);
    EXPECT_EQ(z.standardName, "Mitteleuropäische Zeit");
    EXPECT_EQ(z.daylightName, "Mitteleuropäische Sommerzeit");
    EXPECT_EQ(z.daylightBias, -60);
    r.zoneResult = TIME_ZONE_ID_DAYLIGHT;
    EXPECT_EQ(t.getTimeZoneInformation(z), tz::Daylight);
    r.zoneResult = TIME_ZONE_ID_UNKNOWN;
    EXPECT_EQ(t.getTimeZoneInformation(z), tz::Unknown);
    r.zoneResult = TIME_ZONE_ID_INVALID;
    TimeZoneInformation untouched;
    untouched.bias = 12345;
    EXPECT_EQ(t.getTimeZoneInformation(untouched), tz::Invalid);
    EXPECT_EQ(untouched.bias, 12345);
    EXPECT_EQ(untouched.standardName, "");

    EXPECT_TRUE(t.zoneRulesKeepLocalTime());
    r.automaticDst = false;
    EXPECT_FALSE(t.zoneRulesKeepLocalTime());
}

TEST(Win32TimeSettings, NetworkTimeIsTheTimeServicesType) {
    struct Case {
        const wchar_t* type;
        LSTATUS status;
        bool active;
    } const cases[] = {
        {L"NTP", ERROR_SUCCESS, true},       {L"ntp", ERROR_SUCCESS, true},
        {L"NT5DS", ERROR_SUCCESS, true},     {L"AllSync", ERROR_SUCCESS, true},
        {L"NoSync", ERROR_SUCCESS, false},   {L"", ERROR_SUCCESS, false},
        {L"NTPX", ERROR_SUCCESS, false},     {L"NTP", ERROR_FILE_NOT_FOUND, false},
        {L"NTP", ERROR_ACCESS_DENIED, false},
    };
    for (const auto& c : cases) {
        Recorder r;
        r.type = c.type;
        r.typeStatus = c.status;
        EXPECT_EQ(Win32TimeSettings(r.table()).ntpActive(), c.active) << c.status;
    }

    Recorder r;
    Win32TimeSettings t(r.table());
    t.setNtp(true);
    t.setNtp(false);
    EXPECT_EQ(r.written, (std::vector<std::wstring>{L"NTP", L"NoSync"}));
    EXPECT_EQ(std::count(r.calls.begin(), r.calls.end(), "ParamChange"), 2);  // not running: no failure
    r.writeStatus = ERROR_ACCESS_DENIED;
    try {
        t.setNtp(true);
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::PermissionDenied) << e.what();
    }
    EXPECT_EQ(std::count(r.calls.begin(), r.calls.end(), "ParamChange"), 2);
}

TEST(Win32TimeSettings, TheRealReadingCallsAnswer) {
    // Only what reads: the clock, the zone and the service's Type.
    Win32TimeSettings t;
    const std::int64_t before = t.utcNowUsec();
    FILETIME ft{};
    GetSystemTimeAsFileTime(&ft);
    EXPECT_LE(before, UnixUsecFromFileTime(ft));
    EXPECT_GT(before, 1700000000LL * 1000000);  // after 2023
    TimeZoneInformation z;
    EXPECT_NE(t.getTimeZoneInformation(z), tz::Invalid);
    (void)t.ntpActive();  // must not throw, with or without the service
}

}  // namespace

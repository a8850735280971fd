#include "platform/win32/Win32TimeSettings.h"

#include <utility>

#include "platform/Error.h"
#include "platform/win32/WinText.h"

namespace nocturo::platform::win32 {

namespace {

// 1601-01-01 to 1970-01-01 in microseconds.
constexpr std::int64_t EpochDifferenceUsec = 11644473600LL * 1000000;

// The registry's string value without the NULs it may carry at its end.
LSTATUS readTypeValue(std::wstring& type) {
    wchar_t buffer[64];
    DWORD bytes = sizeof buffer;
    DWORD kind = 0;
    const LSTATUS status = RegGetValueW(HKEY_LOCAL_MACHINE, W32TimeParametersKey, L"Type",
                                        RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, &kind, buffer, &bytes);
    if (status != ERROR_SUCCESS) return status;
    type.assign(buffer, bytes / sizeof(wchar_t));
    while (!type.empty() && type.back() == L'\0') type.pop_back();
    return ERROR_SUCCESS;
}

bool equalsIgnoringCase(const std::wstring& a, const wchar_t* b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b, -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

TimeCalls SystemTimeCalls() {
    TimeCalls c;
    c.getTimeZoneInformation = [](TIME_ZONE_INFORMATION* zone) { return GetTimeZoneInformation(zone); };
    c.automaticDaylightSaving = []() -> bool {
        DYNAMIC_TIME_ZONE_INFORMATION zone{};
        if (GetDynamicTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID) return true;
        return !zone.DynamicDaylightTimeDisabled;
    };
    c.getSystemTimeAsFileTime = [](FILETIME* now) { GetSystemTimeAsFileTime(now); };
    c.openProcessToken = [](HANDLE process, DWORD access, HANDLE* token) {
        return OpenProcessToken(process, access, token);
    };
    c.lookupPrivilegeValue = [](const wchar_t* name, LUID* luid) { return LookupPrivilegeValueW(nullptr, name, luid); };
    c.adjustTokenPrivileges = [](HANDLE token, TOKEN_PRIVILEGES* state) {
        return AdjustTokenPrivileges(token, FALSE, state, 0, nullptr, nullptr);
    };
    c.closeHandle = [](HANDLE h) { return CloseHandle(h); };
    c.setSystemTime = [](const SYSTEMTIME* utc) { return SetSystemTime(utc); };
    c.broadcastTimeChange = [] {
        DWORD_PTR result = 0;
        SendMessageTimeoutW(HWND_BROADCAST, WM_TIMECHANGE, 0, 0, SMTO_ABORTIFHUNG | SMTO_NORMAL, 1000, &result);
    };
    c.readTimeServiceType = readTypeValue;
    c.writeTimeServiceType = [](const std::wstring& type) {
        return RegSetKeyValueW(HKEY_LOCAL_MACHINE, W32TimeParametersKey, L"Type", REG_SZ, type.c_str(),
                               static_cast<DWORD>((type.size() + 1) * sizeof(wchar_t)));
    };
    c.refreshTimeService = []() -> bool {
        SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
        if (!manager) return false;
        SC_HANDLE service = OpenServiceW(manager, L"W32Time", SERVICE_PAUSE_CONTINUE);
        bool ok = false;
        if (service) {
            SERVICE_STATUS status{};
            ok = ControlService(service, SERVICE_CONTROL_PARAMCHANGE, &status) != 0;
            CloseServiceHandle(service);
        }
        CloseServiceHandle(manager);
        return ok;
    };
    return c;
}

std::optional<SYSTEMTIME> SystemTimeFromUnixUsec(std::int64_t usec) {
    if (usec < -EpochDifferenceUsec) return std::nullopt;
    // FILETIME holds 100-ns ticks; FileTimeToSystemTime takes them up to
    // 0x7FFFFFFFFFFFFFFF (the year 30828), the multiplication must not
    // overflow on the way there.
    if (usec > 0x7FFFFFFFFFFFFFFFLL / 10 - EpochDifferenceUsec) return std::nullopt;
    const std::int64_t sinceUsec = usec + EpochDifferenceUsec;
    const std::uint64_t ticks = static_cast<std::uint64_t>(sinceUsec) * 10;
    FILETIME ft{};
    ft.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
    ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    SYSTEMTIME st{};
    if (!FileTimeToSystemTime(&ft, &st)) return std::nullopt;
    return st;
}

std::int64_t UnixUsecFromFileTime(const FILETIME& time) {
    const std::uint64_t ticks = (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return static_cast<std::int64_t>(ticks / 10) - EpochDifferenceUsec;
}

Win32TimeSettings::Win32TimeSettings(TimeCalls calls) : calls_(std::move(calls)) {}

std::uint32_t Win32TimeSettings::getTimeZoneInformation(TimeZoneInformation& zone) {
    TIME_ZONE_INFORMATION tzi{};
    const DWORD result = calls_.getTimeZoneInformation(&tzi);
    if (result == TIME_ZONE_ID_INVALID) return tz::Invalid;
    zone.bias = tzi.Bias;
    zone.standardName = Narrow(std::wstring_view(tzi.StandardName, wcsnlen(tzi.StandardName, 32)));
    zone.standardBias = tzi.StandardBias;
    zone.daylightName = Narrow(std::wstring_view(tzi.DaylightName, wcsnlen(tzi.DaylightName, 32)));
    zone.daylightBias = tzi.DaylightBias;
    switch (result) {
    case TIME_ZONE_ID_STANDARD: return tz::Standard;
    case TIME_ZONE_ID_DAYLIGHT: return tz::Daylight;
    default: return tz::Unknown;
    }
}

std::int64_t Win32TimeSettings::utcNowUsec() {
    FILETIME now{};
    calls_.getSystemTimeAsFileTime(&now);
    return UnixUsecFromFileTime(now);
}

void Win32TimeSettings::setTimeUtc(std::int64_t usecUtc) {
    const std::optional<SYSTEMTIME> utc = SystemTimeFromUnixUsec(usecUtc);
    if (!utc)
        throw Error(err::InvalidProcedureCall,
                    "Invalid procedure call or argument: the time " + std::to_string(usecUtc) + " cannot be set");
    HANDLE token = nullptr;
    if (!calls_.openProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        throw LastError("OpenProcessToken failed");
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!calls_.lookupPrivilegeValue(SE_SYSTEMTIME_NAME, &privileges.Privileges[0].Luid)) {
        const Error e = LastError("LookupPrivilegeValue SeSystemtimePrivilege failed");
        calls_.closeHandle(token);
        throw e;
    }
    SetLastError(ERROR_SUCCESS);
    const BOOL enabled = calls_.adjustTokenPrivileges(token, &privileges);
    // Success with ERROR_NOT_ALL_ASSIGNED: the account does not hold it.
    const DWORD error = GetLastError();
    if (!enabled || error == ERROR_NOT_ALL_ASSIGNED) {
        calls_.closeHandle(token);
        if (!enabled) throw ErrorFromCode(error, "AdjustTokenPrivileges SeSystemtimePrivilege failed");
        throw ErrorFromCode(ERROR_PRIVILEGE_NOT_HELD, "cannot set the clock: SeSystemtimePrivilege is not granted");
    }
    const BOOL set = calls_.setSystemTime(&*utc);
    const DWORD setError = GetLastError();
    // The privilege is held for this one call only.
    privileges.Privileges[0].Attributes = 0;
    calls_.adjustTokenPrivileges(token, &privileges);
    calls_.closeHandle(token);
    if (!set) throw ErrorFromCode(setError, "SetSystemTime failed");
    calls_.broadcastTimeChange();
}

bool Win32TimeSettings::ntpActive() {
    std::wstring type;
    if (calls_.readTimeServiceType(type) != ERROR_SUCCESS) return false;
    return equalsIgnoringCase(type, L"NTP") || equalsIgnoringCase(type, L"NT5DS") ||
           equalsIgnoringCase(type, L"AllSync");
}

void Win32TimeSettings::setNtp(bool enable) {
    const LSTATUS status = calls_.writeTimeServiceType(enable ? L"NTP" : L"NoSync");
    if (status != ERROR_SUCCESS)
        throw ErrorFromCode(static_cast<DWORD>(status),
                            std::string("cannot switch the Windows Time service ") + (enable ? "on" : "off"));
    // A service that is not running reads the value when it starts.
    calls_.refreshTimeService();
}

bool Win32TimeSettings::zoneRulesKeepLocalTime() const { return calls_.automaticDaylightSaving(); }

}  // namespace nocturo::platform::win32

#pragma once
// The clock and its zone on Windows. Setting the clock takes the
// SeSystemtimePrivilege, which only administrators hold by default; the
// system's own network time is the Windows Time service (W32Time), whose
// "Type" parameter says whether it keeps the clock. Every call that changes
// the machine goes through TimeCalls, which the tests fill with recorders:
// no test sets the clock or changes the service.
#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "platform/ITimeSettings.h"

namespace nocturo::platform::win32 {

// Where the Windows Time service keeps its mode.
inline constexpr const wchar_t* W32TimeParametersKey = L"SYSTEM\\CurrentControlSet\\Services\\W32Time\\Parameters";

struct TimeCalls {
    std::function<DWORD(TIME_ZONE_INFORMATION* zone)> getTimeZoneInformation;
    // Whether the system moves the clock for daylight saving itself
    // (GetDynamicTimeZoneInformation: DynamicDaylightTimeDisabled clear).
    std::function<bool()> automaticDaylightSaving;
    std::function<void(FILETIME* now)> getSystemTimeAsFileTime;
    // As in Win32SessionPower: false with GetLastError's code on failure.
    std::function<BOOL(HANDLE process, DWORD access, HANDLE* token)> openProcessToken;
    std::function<BOOL(const wchar_t* name, LUID* luid)> lookupPrivilegeValue;
    std::function<BOOL(HANDLE token, TOKEN_PRIVILEGES* state)> adjustTokenPrivileges;
    std::function<BOOL(HANDLE handle)> closeHandle;
    std::function<BOOL(const SYSTEMTIME* utc)> setSystemTime;
    // SendMessageTimeoutW(HWND_BROADCAST, WM_TIMECHANGE, ...): every window
    // hears that the clock moved.
    std::function<void()> broadcastTimeChange;
    // W32Time's "Type" under HKLM (read only); the registry's error code
    // otherwise (ERROR_FILE_NOT_FOUND when the service is not installed).
    std::function<LSTATUS(std::wstring& type)> readTimeServiceType;
    std::function<LSTATUS(const std::wstring& type)> writeTimeServiceType;
    // Tells the running service to read its parameters again
    // (SERVICE_CONTROL_PARAMCHANGE); false when it is not running.
    std::function<bool()> refreshTimeService;
};

// The table of the real Win32 calls.
TimeCalls SystemTimeCalls();

class Win32TimeSettings : public ITimeSettings {
public:
    explicit Win32TimeSettings(TimeCalls calls = SystemTimeCalls());

    std::uint32_t getTimeZoneInformation(TimeZoneInformation& zone) override;
    std::int64_t utcNowUsec() override;
    // SetSystemTime with SeSystemtimePrivilege enabled for the call (and
    // put back after), then WM_TIMECHANGE to every window. A privilege
    // the account does not hold, or a time outside SYSTEMTIME's range,
    // is an Error, and the clock is not touched.
    void setTimeUtc(std::int64_t usecUtc) override;
    // W32Time keeps the clock when its Type is NTP, NT5DS (the domain's
    // time) or AllSync; NoSync, no value or no service: it does not.
    bool ntpActive() override;
    // Writes Type NTP or NoSync (administrators only: a refusal is an
    // Error) and asks the running service to take it up.
    void setNtp(bool enable) override;
    // Windows keeps UTC and moves local time for daylight saving itself,
    // unless automatic daylight saving is switched off for the zone.
    bool zoneRulesKeepLocalTime() const override;

private:
    TimeCalls calls_;
};

// The SYSTEMTIME of an instant in microseconds since 1970 UTC (milliseconds
// kept, the rest dropped); nullopt before 1601 or past 30827.
std::optional<SYSTEMTIME> SystemTimeFromUnixUsec(std::int64_t usec);
// FILETIME's 100-ns ticks since 1601 as microseconds since 1970.
std::int64_t UnixUsecFromFileTime(const FILETIME& time);

}  // namespace nocturo::platform::win32

#include "platform/win32/Win32Clock.h"

#include <windows.h>

namespace nocturo::platform::win32 {

LocalTime Win32Clock::now() {
    SYSTEMTIME st{};
    GetLocalTime(&st);
    LocalTime t;
    t.year = st.wYear;
    t.month = st.wMonth;
    t.day = st.wDay;
    t.hour = st.wHour;
    t.minute = st.wMinute;
    t.second = st.wSecond;
    t.millisecond = st.wMilliseconds;
    t.weekday = (st.wDayOfWeek + 6) % 7;  // SYSTEMTIME counts from Sunday, the program from Monday
    return t;
}

std::int64_t Win32Clock::monotonicMs() { return static_cast<std::int64_t>(GetTickCount64()); }

}  // namespace nocturo::platform::win32

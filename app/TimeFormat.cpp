#include "app/TimeFormat.h"

#include <cstdio>

namespace nocturo {

std::string FormatDate(const platform::LocalTime& t) {
    char b[32];
    std::snprintf(b, sizeof b, "%02d.%02d.%04d", t.day, t.month, t.year);
    return b;
}

std::string FormatTime(const platform::LocalTime& t) {
    char b[32];
    std::snprintf(b, sizeof b, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    return b;
}

std::string FormatStamp(const platform::LocalTime& t) { return FormatDate(t) + " " + FormatTime(t); }

std::string FormatGeneral(const platform::LocalTime& t) { return FormatStamp(t); }

}  // namespace nocturo

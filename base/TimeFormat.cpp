#include "base/TimeFormat.h"

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

namespace nocturo {

namespace {
// Days from 1970-01-01 of a civil date (proleptic Gregorian).
long long daysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}
}  // namespace

long long SerialSeconds(const platform::LocalTime& t) {
    return daysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day)) * 86400 + t.hour * 3600 +
           t.minute * 60 + t.second;
}

platform::LocalTime FromSerialSeconds(long long serial) {
    long long days = serial >= 0 ? serial / 86400 : (serial - 86399) / 86400;
    long long rem = serial - days * 86400;
    const long long z = days + 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long y = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    platform::LocalTime t;
    t.year = static_cast<int>(y + (m <= 2));
    t.month = static_cast<int>(m);
    t.day = static_cast<int>(d);
    t.hour = static_cast<int>(rem / 3600);
    t.minute = static_cast<int>(rem % 3600 / 60);
    t.second = static_cast<int>(rem % 60);
    // 1970-01-01 was a Thursday (3 with Monday = 0).
    t.weekday = static_cast<int>(((days % 7) + 7 + 3) % 7);
    return t;
}

bool IsWellFormedTime(const std::string& text) {
    if (text.size() != 8 || text[2] != ':' || text[5] != ':') return false;
    for (int i : {0, 1, 3, 4, 6, 7})
        if (text[static_cast<size_t>(i)] < '0' || text[static_cast<size_t>(i)] > '9') return false;
    const int h = (text[0] - '0') * 10 + (text[1] - '0');
    const int m = (text[3] - '0') * 10 + (text[4] - '0');
    const int s = (text[6] - '0') * 10 + (text[7] - '0');
    return h < 24 && m < 60 && s < 60;
}

bool IsWellFormedStamp(const std::string& text) {
    if (text.size() != 19 || text[2] != '.' || text[5] != '.' || text[10] != ' ') return false;
    for (int i : {0, 1, 3, 4, 6, 7, 8, 9})
        if (text[static_cast<size_t>(i)] < '0' || text[static_cast<size_t>(i)] > '9') return false;
    const int day = (text[0] - '0') * 10 + (text[1] - '0');
    const int month = (text[3] - '0') * 10 + (text[4] - '0');
    return day >= 1 && day <= 31 && month >= 1 && month <= 12 && IsWellFormedTime(text.substr(11));
}

}  // namespace nocturo

#pragma once
#include <string>

#include "platform/IClock.h"

namespace nocturo {

// "dd.mm.yyyy HH:mm:ss", the stamp of every log line and of the crash marker.
std::string FormatStamp(const platform::LocalTime& t);
// "HH:mm:ss".
std::string FormatTime(const platform::LocalTime& t);
// "dd.mm.yyyy".
std::string FormatDate(const platform::LocalTime& t);
// The general date-and-time text used in error entries.
std::string FormatGeneral(const platform::LocalTime& t);

}  // namespace nocturo

namespace nocturo {
// Seconds since 1 January 1970 of a local time taken as if it were UTC: a
// plain count for differences and comparisons of local times.
long long SerialSeconds(const platform::LocalTime& t);
// The local time of a serial second count (weekday included).
platform::LocalTime FromSerialSeconds(long long serial);
// "HH:mm:ss" text with two digits per field and valid ranges.
bool IsWellFormedTime(const std::string& text);
// "dd.mm.yyyy HH:mm:ss" with a day, month and time of day that can be.
bool IsWellFormedStamp(const std::string& text);
}  // namespace nocturo

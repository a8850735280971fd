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

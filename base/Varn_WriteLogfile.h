#pragma once
// The action log (Nocturo.log in the chosen folder) and the cleaner's log,
// one line per event, and the builders of the event lines.
#include <string>

#include "platform/IClock.h"

namespace nocturo {

void WriteToLog(const std::string& folder, const std::string& line, const std::string& name);
void ResetLog(const std::string& folder, const std::string& name);
std::string LogFilePath(const std::string& folder, const std::string& name);

// time stamp, two blanks, the text filled to 30 characters, "  UserID :  ", user ID
std::string ActionLogLine(const std::string& text);
std::string ActionLogLineAt(const std::string& stamp, const std::string& text);
// time stamp, "  Start ", the program name filled to 24 characters, "  UserID :  ", user ID
std::string StartProgramLogLine(const std::string& programName);

}  // namespace nocturo

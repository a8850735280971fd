#include "base/Varn_WriteLogfile.h"

#include "base/InstallLayout.h"
#include "base/Runtime.h"
#include "base/Strings.h"
#include "base/TimeFormat.h"
#include "base/Varn_ErrorLog.h"
#include "base/Varn_File_Dir.h"

namespace nocturo {

std::string LogFilePath(const std::string& folder, const std::string& name) {
    return JoinPath(folder, (name.empty() ? std::string("Nocturo") : name) + ".log");
}

void WriteToLog(const std::string& folder, const std::string& line, const std::string& name) {
    try {
        PrepareFolder(folder);
        const std::string path = LogFilePath(folder, name);
        files().appendFile(path, line + LineEnd());
        if (rt().logObserver) rt().logObserver(path, line);
    } catch (...) {
        ReportCurrentException("WriteToLog of Modul Varn_WriteLogfile", 4);
    }
}

void ResetLog(const std::string& folder, const std::string& name) {
    try {
        PrepareFolder(folder);
        files().writeFile(LogFilePath(folder, name), "");
    } catch (...) {
        ReportCurrentException("ResetLog of Modul Varn_WriteLogfile", 4);
    }
}

std::string ActionLogLineAt(const std::string& stamp, const std::string& text) {
    return stamp + "  " + PadRight(text, 30) + "  UserID :  " + rt().userId;
}

std::string ActionLogLine(const std::string& text) { return ActionLogLineAt(FormatStamp(clock().now()), text); }

std::string StartProgramLogLine(const std::string& programName) {
    return FormatStamp(clock().now()) + "  Start " + PadRight(programName, 24) + "  UserID :  " + rt().userId;
}

}  // namespace nocturo

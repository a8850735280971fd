#pragma once
// The shared error log (Common/error.log, or in the state folder), the
// argument entries, the header, and the helpers every handler uses to keep
// the convention: log the failing statement and go on with the next one.
#include <initializer_list>
#include <string>
#include <utility>

#include "base/Variant.h"
#include "base/Version.h"

namespace nocturo {

// Source names of an entry: the product name for modules and classes, the
// program name for the main window's own procedures.
inline constexpr const char* kProductSource = version::ProductName;
inline constexpr const char* kProgramSource = "Nocturo";

void WriteErrorLog(const std::string& source, const std::string& procedure, long line, long number,
                   const std::string& description) noexcept;
// Up to ten values; missing ones are written as empty texts.
void WriteErrorArgs(std::initializer_list<Variant> args) noexcept;
// Writes the header when error.log does not exist yet.
void StartErrorLog() noexcept;
// error.log in the install's error-log folder (Common beside the program
// folder, or the state folder: InstallLayout.h); "" when there is none.
std::string ErrorLogPath();
// Opens a text file in the desktop's text editor ("notepad.exe" on Windows,
// the desktop's opener elsewhere).
void OpenInTextEditor(const std::string& path);
// The error log, opened so.
void ShowErrorLog();

// Writes the exception being handled as an error entry (call from a catch block).
void ReportCurrentException(const std::string& procedure, long line,
                            const std::string& source = kProductSource) noexcept;
// Error number and description of the exception being handled.
std::pair<long, std::string> CurrentErrorInfo() noexcept;

// One statement under the convention: a failure is logged with the
// procedure text and line number, and the caller continues.
// Returns false when the statement failed.
template <class F>
bool Step(const char* procedure, long line, F&& statement, const char* source = kProductSource) noexcept {
    try {
        statement();
        return true;
    } catch (...) {
        ReportCurrentException(procedure, line, source);
        return false;
    }
}

}  // namespace nocturo

#include "schedule/Varn_ShellAndWait.h"

#include "base/Runtime.h"
#include "base/Varn_ErrorLog.h"
#include "platform/IProcesses.h"

namespace nocturo {

namespace {
constexpr const char* kProc = "fWait of Modul Varn_ShellAndWait";
}

bool ProgramWait::look() {
    try {
        auto current = processes().exitCode(pid_);
        if (current && *current == platform::StillActive) return false;
        code_ = current.value_or(0);
    } catch (...) {
        ReportCurrentException(kProc, 2, "Common");
        code_ = 0;
    }
    return true;
}

std::vector<std::string> SplitCommandLine(const std::string& text) {
    std::vector<std::string> args;
    std::string current;
    bool inArg = false;
    char quote = 0;
    const size_t n = text.size();
    for (size_t i = 0; i < n; ++i) {
        const char c = text[i];
        if (quote == '\'') {
            if (c == '\'') quote = 0;
            else current += c;
        } else if (quote == '"') {
            if (c == '"') {
                quote = 0;
            } else if (c == '\\' && i + 1 < n) {
                const char next = text[i + 1];
                if (next == '\n') ++i;  // a continued line
                else if (next == '\\' || next == '"' || next == '$' || next == '`') current += text[++i];
                else current += c;
            } else {
                current += c;
            }
        } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            if (inArg) {
                args.push_back(current);
                current.clear();
                inArg = false;
            }
        } else if (c == '\\') {
            if (i + 1 == n) {  // at the very end: a backslash of its own
                current += c;
                inArg = true;
            } else if (text[i + 1] == '\n') {
                ++i;  // a continued line
            } else {
                current += text[++i];
                inArg = true;
            }
        } else {
            inArg = true;
            if (c == '\'' || c == '"') quote = c;
            else current += c;
        }
    }
    if (inArg) args.push_back(current);
    return args;
}

}  // namespace nocturo

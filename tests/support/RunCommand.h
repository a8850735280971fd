#pragma once
// Runs a shell command line as an administrator would type it: its exit
// status and everything it printed, standard error included. POSIX only.
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "support/TestSupport.h"

namespace nocturo::test {

struct CommandResult {
    int code;  // the exit status; -1 when it did not exit normally
    std::string out;
};

inline CommandResult RunCommand(const std::string& command) {
    std::string out;
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p) return {-1, ""};
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int status = pclose(p);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

// Standard output and standard error apart, through two files in folder.
struct SplitOutput {
    int code;
    std::string out, err;
};
inline SplitOutput RunCommandApart(const std::string& command, const std::string& folder) {
    const std::string out = folder + "/stdout", err = folder + "/stderr";
    CommandResult r = RunCommand("( " + command + " >" + out + " 2>" + err + " )");
    return {r.code, ReadWholeFile(out), ReadWholeFile(err)};
}

}  // namespace nocturo::test

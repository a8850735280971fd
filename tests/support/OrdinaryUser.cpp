#include "support/OrdinaryUser.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "platform/Error.h"

namespace nocturo::test {

namespace fs = std::filesystem;
using platform::Error;

std::optional<Outcome> RunAsOrdinaryUser(const std::string& folder, const std::function<void()>& op) {
    if (geteuid() != 0) {
        try {
            op();
        } catch (const Error& e) {
            return Outcome{true, e.number(), e.what()};
        }
        return Outcome{};
    }
    if (lchown(folder.c_str(), Nobody, Nobody) != 0) return std::nullopt;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (lchown(e.path().c_str(), Nobody, Nobody) != 0) return std::nullopt;
    int out[2];
    if (pipe(out) != 0) return std::nullopt;
    const pid_t pid = fork();
    if (pid < 0) return std::nullopt;
    if (pid == 0) {
        close(out[0]);
        int code = 0;
        std::string report;
        if (setgroups(0, nullptr) != 0 || setgid(Nobody) != 0 || setuid(Nobody) != 0) {
            code = 3;
        } else {
            try {
                op();
            } catch (const Error& e) {
                code = 1;
                report = std::to_string(e.number()) + "\n" + e.what();
            } catch (...) {
                code = 2;
            }
        }
        if (!report.empty() && write(out[1], report.data(), report.size()) < 0) code = 2;
        _exit(code);
    }
    close(out[1]);
    std::string report;
    char buf[512];
    for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;) report.append(buf, static_cast<std::size_t>(n));
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 3) return std::nullopt;
    if (WEXITSTATUS(status) == 2) return Outcome{true, -1, "not a platform error"};
    if (WEXITSTATUS(status) == 0) return Outcome{};
    const auto nl = report.find('\n');
    return Outcome{true, std::stol(report.substr(0, nl)), report.substr(nl + 1)};
}

}  // namespace nocturo::test

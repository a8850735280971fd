#include "platform/posix/TerminalDialogs.h"

#include <poll.h>
#include <termios.h>

#include <cerrno>
#include <optional>

namespace nocturo::platform {

namespace {

// Turns the terminal's echo off for the length of a scope.
class EchoOff {
public:
    explicit EchoOff(int fd) : fd_(fd) {
        if (tcgetattr(fd_, &saved_) != 0) return;
        termios quiet = saved_;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        active_ = tcsetattr(fd_, TCSANOW, &quiet) == 0;
    }
    ~EchoOff() {
        if (active_) tcsetattr(fd_, TCSANOW, &saved_);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    int fd_;
    termios saved_{};
    bool active_ = false;
};

}  // namespace

TerminalDialogs::TerminalDialogs(IDialogs* fallback, int inFd, int outFd)
    : TextDialogs(fallback), in_(inFd), out_(outFd) {}

bool TerminalDialogs::interactive() const { return isatty(in_) == 1; }

void TerminalDialogs::write(const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(out_, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // nowhere to write: the question is still answered
        done += static_cast<std::size_t>(n);
    }
}

bool TerminalDialogs::waitReadable(Question& question) {
    return waitForInput(question, [this](int timeoutMs) {
        pollfd p{in_, POLLIN, 0};
        const int r = poll(&p, 1, timeoutMs);
        // Readable, at its end or broken: read() tells which.
        return r > 0 || (r < 0 && errno != EINTR);
    });
}

TextDialogs::Got TerminalDialogs::readLine(Question& question, std::string& line, bool hidden) {
    std::optional<EchoOff> quiet;
    if (hidden) quiet.emplace(in_);
    return readLineFromTerminal(question, line);
}

TextDialogs::Got TerminalDialogs::readLineFromTerminal(Question& question, std::string& line) {
    line.clear();
    for (;;) {
        if (pump() && !waitReadable(question)) return Got::Dismissed;
        if (question.dismissed) return Got::Dismissed;
        char c = 0;
        const ssize_t n = ::read(in_, &c, 1);  // one byte at a time: what follows the line stays unread
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!waitReadable(question)) return Got::Dismissed;
            continue;
        }
        if (n <= 0) return line.empty() ? Got::EndOfInput : Got::Line;
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return Got::Line;
        }
        line += c;
    }
}

}  // namespace nocturo::platform

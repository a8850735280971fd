#include "platform/posix/TerminalDialogs.h"

#include <poll.h>
#include <termios.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace nocturo::platform {

namespace {

namespace fs = std::filesystem;

// While a question waits, the terminal is polled in slices this long, with a
// turn of the pump in between.
constexpr int kPumpSliceMs = 10;

struct Button {
    int id;
    const char* word;  // its first letter is the short answer
};

std::vector<Button> buttonsFor(int style) {
    switch (style & 7) {
        case mb::OkCancel: return {{mb::IdOk, "ok"}, {mb::IdCancel, "cancel"}};
        case mb::AbortRetryIgnore: return {{mb::IdAbort, "abort"}, {mb::IdRetry, "retry"}, {mb::IdIgnore, "ignore"}};
        case mb::YesNoCancel: return {{mb::IdYes, "yes"}, {mb::IdNo, "no"}, {mb::IdCancel, "cancel"}};
        case mb::YesNo: return {{mb::IdYes, "yes"}, {mb::IdNo, "no"}};
        case mb::RetryCancel: return {{mb::IdRetry, "retry"}, {mb::IdCancel, "cancel"}};
        default: return {{mb::IdOk, "ok"}};
    }
}

// DefaultButton2/3 pick the 2nd or 3rd button; one the box does not have
// falls back to the first, as the desktop does.
std::size_t defaultIndex(int style, std::size_t count) {
    const auto index = static_cast<std::size_t>((style & 0x300) >> 8);
    return index < count ? index : 0;
}

std::string answerWord(int id) {
    switch (id) {
        case mb::IdOk: return "ok";
        case mb::IdCancel: return "cancel";
        case mb::IdAbort: return "abort";
        case mb::IdRetry: return "retry";
        case mb::IdIgnore: return "ignore";
        case mb::IdYes: return "yes";
        case mb::IdNo: return "no";
        default: return std::to_string(id);
    }
}

// "(y)es/(n)o [yes]"; a box with only OK just waits for Enter.
std::string choicesText(const std::vector<Button>& buttons, std::size_t defaultButton) {
    if (buttons.size() == 1) return "press Enter";
    std::string text;
    for (const auto& b : buttons) {
        if (!text.empty()) text += "/";
        text += std::string("(") + b.word[0] + ")" + (b.word + 1);
    }
    return text + " [" + buttons[defaultButton].word + "]";
}

std::string trimmed(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

std::string lowered(std::string s) {
    for (auto& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool isCancelKey(const std::string& line) {
    const std::string t = trimmed(line);
    return t == "\x1b" || t == "\x04";
}

// Windows text uses CR LF; the terminal wants LF.
std::string unixLines(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string heading(const std::string& title, const std::string& prompt) {
    std::string text = title.empty() ? std::string() : "[" + title + "] ";
    return text + unixLines(prompt);
}

// A typed path: blanks around it and one pair of quotes (as a terminal puts
// around a dropped file) go; "~" is the home folder; relative to base.
std::string resolvePath(const std::string& typed, const std::string& base) {
    std::string text = trimmed(typed);
    if (text.size() >= 2 && (text.front() == '\'' || text.front() == '"') && text.back() == text.front())
        text = text.substr(1, text.size() - 2);
    if (text == "~" || text.rfind("~/", 0) == 0) {
        const char* home = std::getenv("HOME");
        if (home && *home) text = home + text.substr(1);
    }
    fs::path path(text);
    if (path.is_relative() && !base.empty()) path = fs::path(base) / path;
    std::error_code ec;
    fs::path absolute = fs::absolute(path, ec);
    std::string result = (ec ? path : absolute).lexically_normal().string();
    while (result.size() > 1 && result.back() == '/') result.pop_back();
    return result;
}

std::string filterDescriptions(const std::string& filter) {
    std::string text;
    std::size_t start = 0;
    for (int field = 0; start <= filter.size(); ++field) {
        auto bar = filter.find('|', start);
        if (bar == std::string::npos) bar = filter.size();
        if (field % 2 == 0 && bar > start) text += (text.empty() ? "" : ", ") + filter.substr(start, bar - start);
        start = bar + 1;
    }
    return text;
}

}  // namespace

TerminalDialogs::TerminalDialogs(IDialogs* fallback, int inFd, int outFd) : fallback_(fallback), in_(inFd), out_(outFd) {}

bool TerminalDialogs::interactive() const { return isatty(in_) == 1; }

bool TerminalDialogs::pressDefault(const std::string& title) {
    for (auto it = waiting_.rbegin(); it != waiting_.rend(); ++it) {
        if ((*it)->title == title && !(*it)->dismissed) {
            (*it)->dismissed = true;
            return true;
        }
    }
    return false;
}

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
    for (;;) {
        if (question.dismissed) return false;
        pollfd p{in_, POLLIN, 0};
        const int r = poll(&p, 1, pump_ ? kPumpSliceMs : -1);
        if (r > 0) return true;  // readable, at its end or broken: read() tells which
        if (r < 0 && errno != EINTR) return true;
        if (pump_) pump_->yield();
    }
}

TerminalDialogs::Got TerminalDialogs::readLine(Question& question, std::string& line) {
    line.clear();
    for (;;) {
        if (pump_ && !waitReadable(question)) return Got::Dismissed;
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

TerminalDialogs::Asking::Asking(TerminalDialogs& dialogs, const std::string& title) : dialogs_(dialogs) {
    question.title = title;
    dialogs_.waiting_.push_back(&question);
}

TerminalDialogs::Asking::~Asking() { dialogs_.waiting_.pop_back(); }

int TerminalDialogs::messageBox(const std::string& prompt, int style, const std::string& title) {
    const auto buttons = buttonsFor(style);
    const std::size_t defaultButton = defaultIndex(style, buttons.size());
    const int defaultId = buttons[defaultButton].id;
    const std::string choices = choicesText(buttons, defaultButton);

    if (!interactive()) {
        write(heading(title, prompt) + "\n" + choices + "\n");
        const int answer = fallback_ ? fallback_->messageBox(prompt, style, title) : defaultId;
        write("-> " + answerWord(answer) + "\n");
        return answer;
    }

    Asking asking(*this, title);
    Question& question = asking.question;

    write(heading(title, prompt) + "\n");
    for (;;) {
        write(choices + ": ");
        std::string line;
        switch (readLine(question, line)) {
            case Got::EndOfInput: write("\n"); return defaultId;
            case Got::Dismissed: write(answerWord(defaultId) + "\n"); return defaultId;
            case Got::Line: break;
        }
        const std::string answer = lowered(trimmed(line));
        if (answer.empty() || answer == "\x04" || buttons.size() == 1) return defaultId;  // OK alone takes any line
        for (const auto& b : buttons)
            if (answer == b.word || answer == std::string(1, b.word[0])) return b.id;
        if (answer == "\x1b")
            for (const auto& b : buttons)
                if (b.id == mb::IdCancel) return b.id;
    }
}

std::optional<std::string> TerminalDialogs::inputBox(const std::string& prompt, const std::string& title,
                                                     const std::string& defaultText) {
    return askText(prompt, title, defaultText, false);
}

std::optional<std::string> TerminalDialogs::timedPasswordBox(const std::string& prompt, const std::string& title,
                                                             int) {
    return askText(prompt, title, std::string(), true);
}

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

std::optional<std::string> TerminalDialogs::askText(const std::string& prompt, const std::string& title,
                                                    const std::string& defaultText, bool hidden) {
    if (!interactive()) {
        write(heading(title, prompt) + "\n[" + defaultText + "]\n");
        auto answer = !fallback_ ? std::optional(defaultText)
                      : hidden  ? fallback_->timedPasswordBox(prompt, title, 0)
                                : fallback_->inputBox(prompt, title, defaultText);
        write(answer ? "-> " + (hidden ? std::string("(hidden)") : *answer) + "\n" : std::string("-> (cancelled)\n"));
        return answer;
    }

    Asking asking(*this, title);
    Question& question = asking.question;

    write(heading(title, prompt) + "\n" + (defaultText.empty() ? "" : "[" + defaultText + "] ") + "> ");
    std::string line;
    std::optional<EchoOff> quiet;
    if (hidden) quiet.emplace(in_);
    const Got got = readLine(question, line);
    if (hidden) {
        quiet.reset();
        if (got == Got::Line) write("\n");  // the Enter that was not echoed
    }
    switch (got) {
        case Got::EndOfInput: write("\n"); return std::nullopt;
        case Got::Dismissed: write(defaultText + "\n"); return defaultText;
        case Got::Line: break;
    }
    if (isCancelKey(line)) return std::nullopt;
    if (line.empty()) return defaultText;
    if (trimmed(line).empty()) return std::string();
    return line;
}

std::string TerminalDialogs::askPath(const std::string& title, const std::string& ask, const std::string& startFolder,
                                     const std::function<bool(const std::string&)>& accept,
                                     const std::string& refusal, const std::function<std::string()>& fallback) {
    if (!interactive()) {
        write(heading(title, ask) + "\n");
        std::string answer = fallback_ ? fallback() : std::string();
        write(answer.empty() ? std::string("-> (cancelled)\n") : "-> " + answer + "\n");
        return answer;
    }

    Asking asking(*this, title);
    Question& question = asking.question;

    write(heading(title, ask + ", an empty line cancels") + "\n");
    for (;;) {
        write("> ");
        std::string line;
        switch (readLine(question, line)) {
            case Got::EndOfInput: write("\n"); return {};
            case Got::Dismissed: write("\n"); return {};
            case Got::Line: break;
        }
        if (trimmed(line).empty() || isCancelKey(line)) return {};
        const std::string path = resolvePath(line, startFolder);
        if (accept(path)) return path;
        write(refusal + ": " + path + "\n");
    }
}

std::string TerminalDialogs::browseForFolder(const std::string& title, const std::string& startFolder,
                                             bool includeFiles) {
    const std::string what = includeFiles ? "Folder or file" : "Folder";
    return askPath(
        title, what + (startFolder.empty() ? "" : " (from " + startFolder + ")"), startFolder,
        [&](const std::string& path) {
            std::error_code ec;
            const auto status = fs::status(path, ec);
            return fs::is_directory(status) || (includeFiles && fs::exists(status));
        },
        includeFiles ? "Not found" : "Not a folder",
        [&] { return fallback_->browseForFolder(title, startFolder, includeFiles); });
}

std::string TerminalDialogs::openFile(const std::string& title, const std::string& filter) {
    const std::string kinds = filterDescriptions(filter);
    return askPath(
        title, "File" + (kinds.empty() ? std::string() : " (" + kinds + ")"), "",
        [](const std::string& path) {
            std::error_code ec;
            const auto status = fs::status(path, ec);
            return fs::exists(status) && !fs::is_directory(status);
        },
        "No such file", [&] { return fallback_->openFile(title, filter); });
}

}  // namespace nocturo::platform

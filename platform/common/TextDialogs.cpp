#include "platform/common/TextDialogs.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace nocturo::platform {

namespace {

namespace fs = std::filesystem;

// Paths are UTF-8 in the program; std::filesystem takes them as char8_t so
// that Windows does not read them in its ANSI code page.
fs::path pathOf(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

std::string textOf(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

bool isSeparator(char c) { return c == '/' || (fs::path::preferred_separator == L'\\' && c == '\\'); }

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

std::string TextDialogs::ResolvePath(const std::string& typed, const std::string& base) {
    std::string text = trimmed(typed);
    if (text.size() >= 2 && (text.front() == '\'' || text.front() == '"') && text.back() == text.front())
        text = text.substr(1, text.size() - 2);
    if (text == "~" || (text.size() >= 2 && text[0] == '~' && isSeparator(text[1]))) {
#ifdef _WIN32
        const char* home = std::getenv("USERPROFILE");
#else
        const char* home = std::getenv("HOME");
#endif
        if (home && *home) text = home + text.substr(1);
    }
    fs::path path = pathOf(text);
    if (path.is_relative() && !base.empty()) path = pathOf(base) / path;
    std::error_code ec;
    fs::path absolute = fs::absolute(path, ec);
    const fs::path normal = (ec ? path : absolute).lexically_normal();
    std::string result = textOf(normal);
    // A root ("/", "C:\\") keeps its separator.
    const std::size_t rootLength = textOf(normal.root_path()).size();
    while (result.size() > std::max<std::size_t>(rootLength, 1) && isSeparator(result.back())) result.pop_back();
    return result;
}

bool TextDialogs::waitForInput(Question& question, const std::function<bool(int timeoutMs)>& ready) {
    for (;;) {
        if (question.dismissed) return false;
        if (ready(pump_ ? kPumpSliceMs : -1)) return true;
        if (pump_) pump_->yield();
    }
}

bool TextDialogs::pressDefault(const std::string& title) {
    for (auto it = waiting_.rbegin(); it != waiting_.rend(); ++it) {
        if ((*it)->title == title && !(*it)->dismissed) {
            (*it)->dismissed = true;
            return true;
        }
    }
    return false;
}

TextDialogs::Asking::Asking(TextDialogs& dialogs, const std::string& title) : dialogs_(dialogs) {
    question.title = title;
    dialogs_.waiting_.push_back(&question);
}

TextDialogs::Asking::~Asking() { dialogs_.waiting_.pop_back(); }

int TextDialogs::messageBox(const std::string& prompt, int style, const std::string& title) {
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
        switch (readLine(question, line, false)) {
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

std::optional<std::string> TextDialogs::inputBox(const std::string& prompt, const std::string& title,
                                                     const std::string& defaultText) {
    return askText(prompt, title, defaultText, false);
}

std::optional<std::string> TextDialogs::timedPasswordBox(const std::string& prompt, const std::string& title,
                                                             int) {
    return askText(prompt, title, std::string(), true);
}

std::optional<std::string> TextDialogs::askText(const std::string& prompt, const std::string& title,
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
    const Got got = readLine(question, line, hidden);
    if (hidden && got == Got::Line) write("\n");  // the Enter that was not echoed
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

std::string TextDialogs::askPath(const std::string& title, const std::string& ask, const std::string& startFolder,
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
        switch (readLine(question, line, false)) {
            case Got::EndOfInput: write("\n"); return {};
            case Got::Dismissed: write("\n"); return {};
            case Got::Line: break;
        }
        if (trimmed(line).empty() || isCancelKey(line)) return {};
        const std::string path = ResolvePath(line, startFolder);
        if (accept(path)) return path;
        write(refusal + ": " + path + "\n");
    }
}

std::string TextDialogs::browseForFolder(const std::string& title, const std::string& startFolder,
                                             bool includeFiles) {
    const std::string what = includeFiles ? "Folder or file" : "Folder";
    return askPath(
        title, what + (startFolder.empty() ? "" : " (from " + startFolder + ")"), startFolder,
        [&](const std::string& path) {
            std::error_code ec;
            const auto status = fs::status(pathOf(path), ec);
            return fs::is_directory(status) || (includeFiles && fs::exists(status));
        },
        includeFiles ? "Not found" : "Not a folder",
        [&] { return fallback_->browseForFolder(title, startFolder, includeFiles); });
}

std::string TextDialogs::openFile(const std::string& title, const std::string& filter) {
    const std::string kinds = filterDescriptions(filter);
    return askPath(
        title, "File" + (kinds.empty() ? std::string() : " (" + kinds + ")"), "",
        [](const std::string& path) {
            std::error_code ec;
            const auto status = fs::status(pathOf(path), ec);
            return fs::exists(status) && !fs::is_directory(status);
        },
        "No such file", [&] { return fallback_->openFile(title, filter); });
}

}  // namespace nocturo::platform

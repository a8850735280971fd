#include "platform/win32/ConsoleDialogs.h"

#include <utility>

#include "platform/win32/WinText.h"

namespace nocturo::platform::win32 {

namespace {

constexpr wchar_t kCtrlD = 0x04, kCtrlZ = 0x1A, kEscape = 0x1B;

bool isHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Puts the input's mode back however the read ends.
class ModeScope {
public:
    ModeScope(const ConsoleCalls& calls, DWORD mode) : calls_(calls) {
        if (!calls_.getInputMode(&saved_)) return;
        active_ = calls_.setInputMode(mode) != 0;
    }
    ~ModeScope() {
        if (active_) calls_.setInputMode(saved_);
    }
    ModeScope(const ModeScope&) = delete;
    ModeScope& operator=(const ModeScope&) = delete;

private:
    const ConsoleCalls& calls_;
    DWORD saved_ = 0;
    bool active_ = false;
};

}  // namespace

ConsoleCalls SystemConsoleCalls() {
    ConsoleCalls c;
    c.getInputMode = [](DWORD* mode) { return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), mode); };
    c.setInputMode = [](DWORD mode) { return SetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), mode); };
    c.waitForInput = [](DWORD ms) { return WaitForSingleObject(GetStdHandle(STD_INPUT_HANDLE), ms); };
    c.readInput = [](INPUT_RECORD* record) {
        DWORD read = 0;
        return ReadConsoleInputW(GetStdHandle(STD_INPUT_HANDLE), record, 1, &read) && read == 1 ? TRUE : FALSE;
    };
    c.write = [](const std::string& utf8) {
        HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
        if (!out || out == INVALID_HANDLE_VALUE) return;  // nowhere to write: the question is still answered
        DWORD mode = 0, written = 0;
        if (GetConsoleMode(out, &mode)) {
            const std::wstring wide = Widen(utf8);
            WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        } else {
            WriteFile(out, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
        }
    };
    return c;
}

ConsoleDialogs::ConsoleDialogs(IDialogs* fallback, ConsoleCalls calls)
    : TextDialogs(fallback), calls_(std::move(calls)) {}

bool ConsoleDialogs::interactive() const {
    DWORD mode = 0;
    return calls_.getInputMode(&mode) != 0;
}

void ConsoleDialogs::write(const std::string& text) { calls_.write(text); }

TextDialogs::Got ConsoleDialogs::readLine(Question& question, std::string& line, bool hidden) {
    // Keys one by one, the echo done here; Ctrl-C stays the console's signal.
    ModeScope mode(calls_, ENABLE_PROCESSED_INPUT);
    std::wstring typed;
    const Got got = readKeys(question, typed, hidden);
    line = Narrow(typed);
    return got;
}

TextDialogs::Got ConsoleDialogs::readKeys(Question& question, std::wstring& line, bool hidden) {
    line.clear();
    wchar_t pendingHigh = 0;  // the first half of a character outside the BMP, not echoed yet
    auto echo = [&](const std::wstring& text) {
        if (!hidden) write(Narrow(text));
    };
    for (;;) {
        if (question.dismissed) return Got::Dismissed;
        if (!waitForInput(question, [this](int timeoutMs) {
                const DWORD wait = calls_.waitForInput(timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
                return wait != WAIT_TIMEOUT;  // input, or a broken handle that the read reports
            }))
            return Got::Dismissed;
        INPUT_RECORD record{};
        if (!calls_.readInput(&record)) return line.empty() ? Got::EndOfInput : Got::Line;
        if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) continue;
        const wchar_t c = record.Event.KeyEvent.uChar.UnicodeChar;
        const WORD repeat = record.Event.KeyEvent.wRepeatCount ? record.Event.KeyEvent.wRepeatCount : 1;
        for (WORD r = 0; r < repeat; ++r) {
            if (c == L'\r' || c == L'\n') {
                echo(L"\n");
                return Got::Line;
            }
            if (c == kEscape) {
                echo(L"\n");
                line = std::wstring(1, kEscape);
                return Got::Line;
            }
            if (c == kCtrlZ || c == kCtrlD) {
                if (line.empty()) return Got::EndOfInput;
                continue;
            }
            if (c == L'\b') {
                if (line.empty()) continue;
                const bool pair = line.size() >= 2 && isLowSurrogate(line.back()) && isHighSurrogate(line[line.size() - 2]);
                line.resize(line.size() - (pair ? 2 : 1));
                echo(L"\b \b");
                continue;
            }
            if (c < 0x20) continue;  // Tab, arrows and the other keys without text
            line += c;
            if (isHighSurrogate(c)) {
                pendingHigh = c;
                continue;
            }
            if (isLowSurrogate(c) && pendingHigh) {
                echo(std::wstring{pendingHigh, c});
                pendingHigh = 0;
                continue;
            }
            echo(std::wstring(1, c));
        }
    }
}

}  // namespace nocturo::platform::win32

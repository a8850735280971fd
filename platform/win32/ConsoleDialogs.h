#pragma once
// The console dialogs (platform/common/TextDialogs.h) on the Windows console.
// The console's own line editing would hold the thread until Enter, so the
// keys are read one event at a time (ReadConsoleInputW, UTF-16) with the
// console's line input and echo off, and echoed here: the pump keeps turning
// while the user types, and a password is never shown. Every console call
// goes through ConsoleCalls, which the tests fill with a scripted keyboard.
#include <windows.h>

#include <functional>
#include <string>

#include "platform/common/TextDialogs.h"

namespace nocturo::platform::win32 {

struct ConsoleCalls {
    // GetConsoleMode / SetConsoleMode of the input; getInputMode fails when
    // the input is no console (a pipe, a file, nothing).
    std::function<BOOL(DWORD* mode)> getInputMode;
    std::function<BOOL(DWORD mode)> setInputMode;
    // WaitForSingleObject on the input: WAIT_OBJECT_0 when events wait.
    std::function<DWORD(DWORD timeoutMs)> waitForInput;
    // ReadConsoleInputW of one event; false at a failure.
    std::function<BOOL(INPUT_RECORD* record)> readInput;
    // Text for the output: WriteConsoleW on a console, the UTF-8 bytes
    // through WriteFile on a pipe or file.
    std::function<void(const std::string& utf8)> write;
};

// The calls on the process's standard input and output.
ConsoleCalls SystemConsoleCalls();

class ConsoleDialogs : public TextDialogs {
public:
    explicit ConsoleDialogs(IDialogs* fallback = nullptr, ConsoleCalls calls = SystemConsoleCalls());
    // Whether the input is a console.
    bool interactive() const override;

protected:
    // Enter ends the line; Backspace takes the last character back; Esc
    // answers at once as a cancel; Ctrl-Z or Ctrl-D on an empty line is the
    // end of the input. Other control keys are ignored.
    Got readLine(Question& question, std::string& line, bool hidden) override;
    void write(const std::string& text) override;

private:
    Got readKeys(Question& question, std::wstring& line, bool hidden);

    ConsoleCalls calls_;
};

}  // namespace nocturo::platform::win32

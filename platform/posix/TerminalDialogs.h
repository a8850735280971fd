#pragma once
// The console dialogs (platform/common/TextDialogs.h) on a POSIX terminal:
// the questions read from a descriptor, the echo switched off with termios
// for a password.
#include <unistd.h>

#include "platform/common/TextDialogs.h"

namespace nocturo::platform {

class TerminalDialogs : public TextDialogs {
public:
    // fallback may be null. The descriptors are not closed here.
    explicit TerminalDialogs(IDialogs* fallback = nullptr, int inFd = STDIN_FILENO, int outFd = STDOUT_FILENO);
    // Whether the input is a terminal.
    bool interactive() const override;

protected:
    Got readLine(Question& question, std::string& line, bool hidden) override;
    void write(const std::string& text) override;

private:
    Got readLineFromTerminal(Question& question, std::string& line);
    bool waitReadable(Question& question);

    int in_;
    int out_;
};

}  // namespace nocturo::platform

#include "programs/support/LockPrograms.h"

#include <array>
#include <csignal>
#include <optional>
#include <iostream>

#include "app/LockPc_Main.h"
#include "base/Runtime.h"
#include "shell/frmLockPc.h"

#ifdef _WIN32
#include <windows.h>

#include <string>

#include "platform/win32/Win32EventLoop.h"
#else
#include <unistd.h>

#include "platform/posix/PosixEventLoop.h"
#endif

namespace nocturo::programs {

namespace {
#ifdef _WIN32
// The console's Ctrl+C and Ctrl+Break would end the lock; it takes only the
// password.
class TerminalKeysIgnored {
public:
    TerminalKeysIgnored() { SetConsoleCtrlHandler(&TerminalKeysIgnored::swallow, TRUE); }
    ~TerminalKeysIgnored() { SetConsoleCtrlHandler(&TerminalKeysIgnored::swallow, FALSE); }
    TerminalKeysIgnored(const TerminalKeysIgnored&) = delete;
    TerminalKeysIgnored& operator=(const TerminalKeysIgnored&) = delete;

private:
    static BOOL WINAPI swallow(DWORD type) { return type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT; }
};

bool InputIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}
#else
bool InputIsTerminal() { return isatty(STDIN_FILENO); }


// The terminal's own ways out of a program; the lock takes only the password.
class TerminalKeysIgnored {
public:
    TerminalKeysIgnored() {
        for (size_t i = 0; i < kSignals.size(); ++i) saved_[i] = std::signal(kSignals[i], SIG_IGN);
    }
    ~TerminalKeysIgnored() {
        for (size_t i = 0; i < kSignals.size(); ++i)
            if (saved_[i] != SIG_ERR) std::signal(kSignals[i], saved_[i]);
    }
    TerminalKeysIgnored(const TerminalKeysIgnored&) = delete;
    TerminalKeysIgnored& operator=(const TerminalKeysIgnored&) = delete;

private:
    static constexpr std::array<int, 3> kSignals = {SIGINT, SIGQUIT, SIGTSTP};
    std::array<void (*)(int), 3> saved_{};
};
#endif
}  // namespace

int RunLockPcHeadless(platform::PlatformHost& host) {
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif
    Runtime runtime;
    runtime.pf = host.pf;
    RuntimeScope scope(runtime);
    if (!PrepareLockProgram(kLockPcMain)) return 1;

    frmLockPc form;
    form.Form_Load();
    if (form.ended()) return 0;  // the desktop's lock took over
    if (!form.guarded()) {
        std::cerr << "lockpc: " << form.lblStatus.caption() << "\n";
        return 1;
    }

    TerminalKeysIgnored keys;
    std::cout << "This computer is locked by Nocturo. Type the options password to unlock it." << std::endl;
    while (!form.ended()) {
        // The wait after a wrong password passes on the loop, as its timers do.
        while (form.waitLeftMs() > 0) loop().idle(100);
        std::optional<std::string> entry;
        try {
            entry = dialogs().timedPasswordBox("Options password:", frmLockPc::kCaption, 0);
        } catch (const std::exception& e) {
            std::cerr << "lockpc: " << e.what() << "\n";
        }
        if (!entry) {
            // Nobody at a terminal can ever answer; on one, ask again.
            if (!InputIsTerminal()) {
                std::cerr << "lockpc: no terminal to ask for the password on\n";
                return 1;
            }
            loop().idle(1000);
            continue;
        }
        form.txtPassword.setText(*entry);
        form.cmdUnlock_Click();
        if (!form.ended()) std::cout << form.lblStatus.caption() << std::endl;
    }
    return 0;
}

int RunLockPcScrHeadless(platform::PlatformHost& host) {
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif
    Runtime runtime;
    runtime.pf = host.pf;
    RuntimeScope scope(runtime);
    if (!PrepareLockProgram(kLockPcScrMain)) return 1;

#ifdef _WIN32
    // Nothing to draw: wait for a line (or the end of the input) or Ctrl+C.
    // The loop's wait takes only messages, so the input is looked at on a
    // timer, without blocking: a pipe by what it holds, the console by its
    // key events, a file or NUL by reading it.
    platform::win32::Win32EventLoop wait;
    wait.installTerminationHandler([&](unsigned long) { wait.quit(0); });
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    const DWORD kind = in && in != INVALID_HANDLE_VALUE ? GetFileType(in) : FILE_TYPE_UNKNOWN;
    DWORD consoleMode = 0;
    const bool console = kind == FILE_TYPE_CHAR && GetConsoleMode(in, &consoleMode);
    auto lineOrEnd = [&]() -> bool {
        char buffer[64];
        DWORD n = 0;
        if (console) {
            while (WaitForSingleObject(in, 0) == WAIT_OBJECT_0) {
                INPUT_RECORD record{};
                if (!ReadConsoleInputW(in, &record, 1, &n) || n == 0) return true;
                if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown &&
                    record.Event.KeyEvent.uChar.UnicodeChar == L'\r')
                    return true;
            }
            return false;
        }
        if (kind == FILE_TYPE_PIPE) {
            DWORD available = 0;
            if (!PeekNamedPipe(in, nullptr, 0, nullptr, &available, nullptr)) return true;  // the writer is gone
            if (available == 0) return false;
        } else if (kind == FILE_TYPE_UNKNOWN) {
            return true;  // no input at all: as at its end
        }
        if (!ReadFile(in, buffer, sizeof buffer, &n, nullptr) || n == 0) return true;
        return std::string(buffer, n).find('\n') != std::string::npos;
    };
    const platform::TimerId look = wait.addTimer([&] {
        if (lineOrEnd()) wait.quit(0);
    });
    wait.setTimer(look, 50, true);
    const int code = wait.run();
    wait.removeTimer(look);
    wait.installTerminationHandler(nullptr);
    return code < 0 ? 0 : code;
#else
    // Nothing to draw: wait for a line (or the end of the input) or a signal.
    platform::PosixEventLoop wait;
    wait.installTerminationHandler([&](int) { wait.quit(0); });
    wait.addReadWatch(STDIN_FILENO, [&] {
        char c = 0;
        const ssize_t n = read(STDIN_FILENO, &c, 1);
        if (n > 0 && c != '\n') return;
        wait.removeReadWatch(STDIN_FILENO);
        wait.quit(0);
    });
    const int code = wait.run();
    wait.installTerminationHandler(nullptr);
    return code < 0 ? 0 : code;
#endif
}

ScreenSaverCall ScreenSaverRequest(const std::string& commandLine) {
    const std::string first = commandLine.substr(0, commandLine.find(' '));
    if (first.size() < 2 || (first[0] != '/' && first[0] != '-')) return ScreenSaverCall::Unknown;
    if (first.size() > 2 && first[2] != ':') return ScreenSaverCall::Unknown;
    switch (first[1]) {
    case 's':
    case 'S': return ScreenSaverCall::Run;
    case 'p':
    case 'P':
    case 'l':
    case 'L':
    case 'c':
    case 'C':
    case 'a':
    case 'A': return ScreenSaverCall::Nothing;
    default: return ScreenSaverCall::Unknown;
    }
}

std::string LockPcUsage() {
    return "Usage: lockpc [--headless]\n"
           "\n"
           "Locks the computer for Nocturo: a full-screen window on top of everything\n"
           "that only Nocturo's options password takes away. A wrong password makes the\n"
           "next try wait 1 s, then 2, 4 ... up to 30 s. Without an options password the\n"
           "desktop's own lock is used instead. "
#ifdef _WIN32
           "The main program hides and shows the window\n"
           "by its title.\n"
#else
           "SIGUSR1 hides the window, SIGUSR2 shows\n"
           "it again.\n"
#endif
           "\n"
           "  --headless   no window: the password is asked for on the terminal\n"
           "  --help       this text\n"
           "  --version    the program's version\n"
           "\n"
           "Environment: NOCTURO_REGISTRY (settings file), NOCTURO_PLATFORM=sim (simulated\n"
           "machine), NOCTURO_SIM_ANSWERS (answers to the questions, a JSON array).\n"
           "Exit status: 0 unlocked or handed to the desktop's lock, 1 without a language\n"
           "file, when the desktop's lock is refused (--headless) or with no terminal to ask\n"
           "on, 2 on bad usage.\n";
}

std::string LockPcScrUsage() {
    return "Usage: lockpcscr [--headless]\n"
           "\n"
           "Nocturo's screen saver for the locked computer: a black full-screen window\n"
           "with the time, moving every few seconds. A key, a mouse button or moving the\n"
           "mouse ends it.\n"
           "\n"
#ifdef _WIN32
           "  /s           as the system's screen saver: run (/p, /c: nothing to show)\n"
           "  --headless   no window: waits for a line on standard input or Ctrl+C\n"
#else
           "  --headless   no window: waits for a line on standard input or SIGTERM\n"
#endif
           "  --help       this text\n"
           "  --version    the program's version\n"
           "\n"
           "Exit status: 0 after a normal end, 1 without a language file, 2 on bad usage.\n";
}

}  // namespace nocturo::programs

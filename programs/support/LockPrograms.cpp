#include "programs/support/LockPrograms.h"

#include <unistd.h>

#include <array>
#include <csignal>
#include <optional>
#include <iostream>

#include "app/LockPc_Main.h"
#include "base/Runtime.h"
#include "platform/posix/PosixEventLoop.h"
#include "shell/frmLockPc.h"

namespace nocturo::programs {

namespace {
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
}  // namespace

int RunLockPcHeadless(platform::PlatformHost& host) {
    std::signal(SIGPIPE, SIG_IGN);
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
            if (!isatty(STDIN_FILENO)) {
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
    std::signal(SIGPIPE, SIG_IGN);
    Runtime runtime;
    runtime.pf = host.pf;
    RuntimeScope scope(runtime);
    if (!PrepareLockProgram(kLockPcScrMain)) return 1;

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
}

std::string LockPcUsage() {
    return "Usage: lockpc [--headless]\n"
           "\n"
           "Locks the computer for Nocturo: a full-screen window on top of everything\n"
           "that only Nocturo's options password takes away. A wrong password makes the\n"
           "next try wait 1 s, then 2, 4 ... up to 30 s. Without an options password the\n"
           "desktop's own lock is used instead. SIGUSR1 hides the window, SIGUSR2 shows\n"
           "it again.\n"
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
           "  --headless   no window: waits for a line on standard input or SIGTERM\n"
           "  --help       this text\n"
           "  --version    the program's version\n"
           "\n"
           "Exit status: 0 after a normal end, 1 without a language file, 2 on bad usage.\n";
}

}  // namespace nocturo::programs

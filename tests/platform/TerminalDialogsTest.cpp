#include <fcntl.h>
#include <termios.h>

#include <chrono>
#include <thread>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/posix/PosixEventLoop.h"
#include "platform/posix/TerminalDialogs.h"
#include "support/TestSupport.h"

namespace mb = nocturo::platform::mb;
using nocturo::platform::IDialogs;
using nocturo::platform::PosixEventLoop;
using nocturo::platform::TerminalDialogs;
using nocturo::test::TempDir;
using nocturo::test::WriteWholeFile;

namespace {

// A pseudo-terminal: the dialogs sit on its terminal end, the test types into
// the other end and reads back what was shown. Typed input is not echoed:
// the terminal echoes on its own schedule, and on a busy machine the echo
// would land in the middle of the dialogs' lines.
class Pty {
public:
    Pty() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) throw std::runtime_error("no pty");
        const char* name = ptsname(master_);
        if (!name) throw std::runtime_error("no pty name");
        terminal_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (terminal_ < 0) throw std::runtime_error("cannot open the pty");
        termios mode{};
        if (tcgetattr(terminal_, &mode) != 0) throw std::runtime_error("no terminal mode");
        mode.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL);
        if (tcsetattr(terminal_, TCSANOW, &mode) != 0) throw std::runtime_error("cannot set the terminal mode");
    }
    ~Pty() {
        close(terminal_);
        close(master_);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    int terminal() const { return terminal_; }
    void type(const std::string& keys) {
        ASSERT_EQ(write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
    }
    // Everything shown so far.
    std::string screen() {
        for (;;) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0) break;
            char buffer[512];
            ssize_t n = read(master_, buffer, sizeof buffer);
            if (n <= 0) break;
            shown_.append(buffer, static_cast<std::size_t>(n));
        }
        return shown_;
    }

private:
    int master_ = -1;
    int terminal_ = -1;
    std::string shown_;
};

// Input and output through plain pipes: no terminal.
class Pipes {
public:
    Pipes() {
        if (pipe2(in_, O_CLOEXEC) != 0 || pipe2(out_, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("pipe");
    }
    ~Pipes() {
        for (int fd : {in_[0], in_[1], out_[0], out_[1]}) close(fd);
    }
    Pipes(const Pipes&) = delete;
    Pipes& operator=(const Pipes&) = delete;
    int input() const { return in_[0]; }
    int output() const { return out_[1]; }
    void feed(const std::string& text) { ASSERT_EQ(write(in_[1], text.data(), text.size()), static_cast<ssize_t>(text.size())); }
    std::string shown() {
        std::string text;
        char buffer[512];
        ssize_t n;
        while ((n = read(out_[0], buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(n));
        return text;
    }
    std::string unread() {
        fcntl(in_[0], F_SETFL, O_NONBLOCK);
        std::string text;
        char buffer[64];
        ssize_t n;
        while ((n = read(in_[0], buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(n));
        return text;
    }

private:
    int in_[2];
    int out_[2];
};

class RecordingDialogs : public IDialogs {
public:
    int messageBox(const std::string& prompt, int style, const std::string& title) override {
        calls.push_back("messageBox " + prompt + " " + std::to_string(style) + " " + title);
        return mb::IdNo;
    }
    std::optional<std::string> inputBox(const std::string& prompt, const std::string&, const std::string&) override {
        calls.push_back("inputBox " + prompt);
        return std::string("from fallback");
    }
    std::string browseForFolder(const std::string& title, const std::string&, bool) override {
        calls.push_back("browseForFolder " + title);
        return "/chosen";
    }
    std::string openFile(const std::string& title, const std::string&) override {
        calls.push_back("openFile " + title);
        return "/chosen/file";
    }
    std::vector<std::string> calls;
};

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

// ---- without a terminal ------------------------------------------------------------

TEST(TerminalDialogsNoTerminal, MessageBoxAsksTheFallbackAndShowsTheAnswer) {
    Pipes pipes;
    RecordingDialogs fallback;
    TerminalDialogs dialogs(&fallback, pipes.input(), pipes.output());
    EXPECT_FALSE(dialogs.interactive());
    EXPECT_EQ(dialogs.messageBox("Continue?", mb::YesNo | mb::Question, "Nocturo"), mb::IdNo);
    EXPECT_EQ(fallback.calls, std::vector<std::string>{"messageBox Continue? 36 Nocturo"});
    const std::string shown = pipes.shown();
    EXPECT_TRUE(contains(shown, "[Nocturo] Continue?\n")) << shown;
    EXPECT_TRUE(contains(shown, "(y)es/(n)o [yes]\n")) << shown;
    EXPECT_TRUE(contains(shown, "-> no\n")) << shown;
}

TEST(TerminalDialogsNoTerminal, WithoutFallbackTheDefaultButtonAnswersAndInputIsLeftAlone) {
    Pipes pipes;
    pipes.feed("y\n");
    TerminalDialogs dialogs(nullptr, pipes.input(), pipes.output());
    EXPECT_EQ(dialogs.messageBox("Continue?", mb::YesNo | mb::DefaultButton2, "T"), mb::IdNo);
    EXPECT_EQ(dialogs.messageBox("Sync done", mb::Information, "T"), mb::IdOk);
    EXPECT_EQ(dialogs.messageBox("Again?", mb::RetryCancel, ""), mb::IdRetry);
    EXPECT_EQ(pipes.unread(), "y\n");
    const std::string shown = pipes.shown();
    EXPECT_TRUE(contains(shown, "-> no\n")) << shown;
    EXPECT_TRUE(contains(shown, "[T] Sync done\npress Enter\n-> ok\n")) << shown;
    EXPECT_TRUE(contains(shown, "Again?\n(r)etry/(c)ancel [retry]\n-> retry\n")) << shown;
}

TEST(TerminalDialogsNoTerminal, OtherDialogsUseFallbackOrGiveTheNeutralAnswer) {
    Pipes pipes;
    RecordingDialogs fallback;
    TerminalDialogs withFallback(&fallback, pipes.input(), pipes.output());
    EXPECT_EQ(withFallback.inputBox("Password :", "Nocturo", "x"), std::optional<std::string>("from fallback"));
    EXPECT_EQ(withFallback.browseForFolder("Pick", "/tmp", false), "/chosen");
    EXPECT_EQ(withFallback.openFile("Program", "Programs (*.exe)|*.exe"), "/chosen/file");
    EXPECT_EQ(fallback.calls.size(), 3u);

    TerminalDialogs alone(nullptr, pipes.input(), pipes.output());
    EXPECT_EQ(alone.inputBox("Password :", "Nocturo", "secret"), std::optional<std::string>("secret"));
    EXPECT_EQ(alone.browseForFolder("Pick", "/tmp", false), "");
    EXPECT_EQ(alone.openFile("Program", ""), "");
    const std::string shown = pipes.shown();
    EXPECT_TRUE(contains(shown, "-> from fallback\n")) << shown;
    EXPECT_TRUE(contains(shown, "[Nocturo] Password :\n[secret]\n-> secret\n")) << shown;
    EXPECT_TRUE(contains(shown, "-> (cancelled)\n")) << shown;
}

// ---- on a terminal: message boxes -------------------------------------------------------

TEST(TerminalDialogsMessageBox, TypedLetterOrWordAnswers) {
    Pty pty;
    RecordingDialogs fallback;
    TerminalDialogs dialogs(&fallback, pty.terminal(), pty.terminal());
    EXPECT_TRUE(dialogs.interactive());

    pty.type("n\n");
    EXPECT_EQ(dialogs.messageBox("Continue?", mb::YesNo, "Nocturo"), mb::IdNo);
    pty.type("  YES \n");
    EXPECT_EQ(dialogs.messageBox("Continue?", mb::YesNo, "Nocturo"), mb::IdYes);
    pty.type("Cancel\n");
    EXPECT_EQ(dialogs.messageBox("Save?", mb::YesNoCancel, "Nocturo"), mb::IdCancel);
    pty.type("i\n");
    EXPECT_EQ(dialogs.messageBox("Disk?", mb::AbortRetryIgnore, "Nocturo"), mb::IdIgnore);
    pty.type("r\n");
    EXPECT_EQ(dialogs.messageBox("Again?", mb::RetryCancel, "Nocturo"), mb::IdRetry);
    pty.type("o\n");
    EXPECT_EQ(dialogs.messageBox("Go?", mb::OkCancel, "Nocturo"), mb::IdOk);
    EXPECT_TRUE(fallback.calls.empty());  // a terminal needs no fallback

    const std::string screen = pty.screen();
    EXPECT_TRUE(contains(screen, "[Nocturo] Continue?")) << screen;
    EXPECT_TRUE(contains(screen, "(y)es/(n)o [yes]: ")) << screen;
    EXPECT_TRUE(contains(screen, "(y)es/(n)o/(c)ancel [yes]: ")) << screen;
    EXPECT_TRUE(contains(screen, "(a)bort/(r)etry/(i)gnore [abort]: ")) << screen;
    EXPECT_TRUE(contains(screen, "(o)k/(c)ancel [ok]: ")) << screen;
}

TEST(TerminalDialogsMessageBox, EmptyLineGivesTheDefaultButton) {
    Pty pty;
    TerminalDialogs dialogs(nullptr, pty.terminal(), pty.terminal());
    pty.type("\n");
    EXPECT_EQ(dialogs.messageBox("Continue?", mb::YesNo, "T"), mb::IdYes);
    pty.type("\n");
    EXPECT_EQ(dialogs.messageBox("Continue?", mb::YesNo | mb::DefaultButton2, "T"), mb::IdNo);
    pty.type("\n");
    EXPECT_EQ(dialogs.messageBox("Save?", mb::YesNoCancel | mb::DefaultButton3, "T"), mb::IdCancel);
    pty.type("\n");  // no third button: the first is the default
    EXPECT_EQ(dialogs.messageBox("Continue?", mb::YesNo | mb::DefaultButton3, "T"), mb::IdYes);
    pty.type("whatever\n");  // OK alone takes any line
    EXPECT_EQ(dialogs.messageBox("Done.", mb::OkOnly | mb::Information, "T"), mb::IdOk);
    const std::string screen = pty.screen();
    EXPECT_TRUE(contains(screen, "[T] Done.\r\npress Enter: ")) << screen;
}

TEST(TerminalDialogsMessageBox, EndOfInputGivesTheDefaultButton) {
    Pty pty;
    TerminalDialogs dialogs(nullptr, pty.terminal(), pty.terminal());
    pty.type("\x04");  // Ctrl-D on an empty line
    EXPECT_EQ(dialogs.messageBox("Continue?", mb::YesNo | mb::DefaultButton2, "T"), mb::IdNo);
    pty.type("\x04");
    EXPECT_EQ(dialogs.messageBox("Again?", mb::RetryCancel, "T"), mb::IdRetry);
}

TEST(TerminalDialogsMessageBox, OtherAnswersAskAgainAndEscCancels) {
    Pty pty;
    TerminalDialogs dialogs(nullptr, pty.terminal(), pty.terminal());
    pty.type("maybe\nyess\nc\ny\n");  // "c" is no answer to a Yes/No box
    EXPECT_EQ(dialogs.messageBox("Continue?", mb::YesNo, "T"), mb::IdYes);
    const std::string screen = pty.screen();
    std::size_t asked = 0;
    for (auto at = screen.find("(y)es/(n)o [yes]: "); at != std::string::npos; at = screen.find("(y)es/(n)o [yes]: ", at + 1))
        ++asked;
    EXPECT_EQ(asked, 4u) << screen;
    EXPECT_EQ(screen.find("[T] Continue?"), screen.rfind("[T] Continue?"));  // the prompt itself once

    pty.type("\x1b\n");
    EXPECT_EQ(dialogs.messageBox("Go?", mb::OkCancel, "T"), mb::IdCancel);
    pty.type("\x1b\nn\n");  // no Cancel button: Esc does nothing
    EXPECT_EQ(dialogs.messageBox("Continue?", mb::YesNo, "T"), mb::IdNo);
}

TEST(TerminalDialogsMessageBox, WindowsLineBreaksInThePromptBecomeNewlines) {
    Pty pty;
    TerminalDialogs dialogs(nullptr, pty.terminal(), pty.terminal());
    pty.type("\n");
    dialogs.messageBox("first\r\nsecond", mb::OkOnly, "");
    const std::string screen = pty.screen();
    // The pty turns \n into \r\n.
    EXPECT_TRUE(contains(screen, "first\r\nsecond\r\n")) << screen;
    EXPECT_TRUE(contains(screen, "press Enter: ")) << screen;
    EXPECT_FALSE(contains(screen, "[]")) << screen;
}

TEST(TerminalDialogsMessageBox, PumpKeepsTimersTickingAndPressDefaultAnswers) {
    Pty pty;
    PosixEventLoop loop;
    TerminalDialogs dialogs(nullptr, pty.terminal(), pty.terminal());
    dialogs.setPump(&loop);
    EXPECT_FALSE(dialogs.pressDefault("Timed"));  // nothing waits

    int ticks = 0;
    bool pressed = false;
    nocturo::platform::TimerId ticker = 0;
    ticker = loop.addTimer([&] {
        if (++ticks < 3) return;  // the question waited through a few ticks: time it out
        loop.setTimer(ticker, 0, false);
        EXPECT_FALSE(dialogs.pressDefault("Other title"));
        pressed = dialogs.pressDefault("Timed");
    });
    loop.setTimer(ticker, 5, true);
    EXPECT_EQ(dialogs.messageBox("Time set.", mb::YesNo | mb::DefaultButton2, "Timed"), mb::IdNo);
    EXPECT_TRUE(pressed);
    EXPECT_EQ(ticks, 3);
    EXPECT_TRUE(contains(pty.screen(), "(y)es/(n)o [no]: no\r\n"));

    // Typed input still answers while the pump turns.
    pty.type("y\n");
    EXPECT_EQ(dialogs.messageBox("Time set.", mb::YesNo | mb::DefaultButton2, "Timed"), mb::IdYes);
}

// ---- on a terminal: input box ------------------------------------------------------

TEST(TerminalDialogsInputBox, DefaultTextEmptyTextAndCancel) {
    Pty pty;
    TerminalDialogs dialogs(nullptr, pty.terminal(), pty.terminal());
    pty.type("\n");
    EXPECT_EQ(dialogs.inputBox("Name :", "T", "abc"), std::optional<std::string>("abc"));
    EXPECT_TRUE(contains(pty.screen(), "[T] Name :\r\n[abc] > "));
    pty.type("x y z\n");
    EXPECT_EQ(dialogs.inputBox("Name :", "T", "abc"), std::optional<std::string>("x y z"));
    pty.type("   \n");  // blanks clear the default away
    EXPECT_EQ(dialogs.inputBox("Name :", "T", "abc"), std::optional<std::string>(""));
    pty.type("\n");
    EXPECT_EQ(dialogs.inputBox("Options Menu Password :", "Nocturo", ""), std::optional<std::string>(""));
    pty.type("\x1b\n");
    EXPECT_EQ(dialogs.inputBox("Name :", "T", "abc"), std::nullopt);
    pty.type("\x04");
    EXPECT_EQ(dialogs.inputBox("Name :", "T", "abc"), std::nullopt);
}

// The password is not echoed while it is typed, and the echo is back after.
TEST(TerminalDialogsInputBox, PasswordIsNotEchoed) {
    Pty pty;
    termios mode{};
    ASSERT_EQ(tcgetattr(pty.terminal(), &mode), 0);
    mode.c_lflag |= ECHO;  // a terminal as users have it
    ASSERT_EQ(tcsetattr(pty.terminal(), TCSANOW, &mode), 0);
    TerminalDialogs dialogs(nullptr, pty.terminal(), pty.terminal());

    bool echoWhileAsked = true;
    std::thread typist([&] {
        for (int i = 0; i < 500 && !contains(pty.screen(), "Options Menu Password :\r\n> "); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        termios during{};
        tcgetattr(pty.terminal(), &during);
        echoWhileAsked = (during.c_lflag & ECHO) != 0;
        pty.type("s3cret\n");
    });
    EXPECT_EQ(dialogs.timedPasswordBox("Options Menu Password :", "Nocturo", 10), std::optional<std::string>("s3cret"));
    typist.join();
    EXPECT_FALSE(echoWhileAsked);
    EXPECT_FALSE(contains(pty.screen(), "s3cret")) << pty.screen();
    termios after{};
    ASSERT_EQ(tcgetattr(pty.terminal(), &after), 0);
    EXPECT_NE(after.c_lflag & ECHO, 0u);
}

TEST(TerminalDialogsNoTerminal, APasswordFromTheFallbackIsNotShown) {
    Pipes pipes;
    RecordingDialogs fallback;
    TerminalDialogs dialogs(&fallback, pipes.input(), pipes.output());
    EXPECT_EQ(dialogs.timedPasswordBox("Options Menu Password :", "Nocturo", 10), std::optional<std::string>("from fallback"));
    const std::string shown = pipes.shown();
    EXPECT_TRUE(contains(shown, "-> (hidden)\n")) << shown;
    EXPECT_FALSE(contains(shown, "from fallback")) << shown;
}

// ---- on a terminal: folders and files ---------------------------------------------

TEST(TerminalDialogsPaths, FolderMustExistAndIsResolvedFromTheStartFolder) {
    TempDir dir;
    std::filesystem::create_directory(dir / "sub folder");
    WriteWholeFile(dir / "file.txt", "x");
    Pty pty;
    TerminalDialogs dialogs(nullptr, pty.terminal(), pty.terminal());

    pty.type("missing\nfile.txt\n'sub folder'\n");
    EXPECT_EQ(dialogs.browseForFolder("Clean folder", dir.path(), false), dir / "sub folder");
    const std::string screen = pty.screen();
    EXPECT_TRUE(contains(screen, "Not a folder: " + (dir / "missing"))) << screen;
    EXPECT_TRUE(contains(screen, "Not a folder: " + (dir / "file.txt"))) << screen;

    pty.type(dir / "file.txt" + "\n");
    EXPECT_EQ(dialogs.browseForFolder("Clean folder", "", true), dir / "file.txt");
    pty.type(dir / "sub folder/" + "\n");
    EXPECT_EQ(dialogs.browseForFolder("Clean folder", "", false), dir / "sub folder");
    pty.type("\n");
    EXPECT_EQ(dialogs.browseForFolder("Clean folder", dir.path(), false), "");
    pty.type("\x04");
    EXPECT_EQ(dialogs.browseForFolder("Clean folder", dir.path(), false), "");
}

TEST(TerminalDialogsPaths, OpenFileWantsAnExistingFile) {
    TempDir dir;
    WriteWholeFile(dir / "tool", "x");
    Pty pty;
    TerminalDialogs dialogs(nullptr, pty.terminal(), pty.terminal());
    pty.type(dir.path() + "\n" + (dir / "tool") + "\n");
    EXPECT_EQ(dialogs.openFile("Program", "Program Files (*.exe)|*.exe|All Files (*.*)|*.*"), dir / "tool");
    const std::string screen = pty.screen();
    EXPECT_TRUE(contains(screen, "[Program] File (Program Files (*.exe), All Files (*.*)), an empty line cancels"))
        << screen;
    EXPECT_TRUE(contains(screen, "No such file: " + dir.path())) << screen;

    const char* oldHome = getenv("HOME");
    const std::optional<std::string> savedHome = oldHome ? std::optional<std::string>(oldHome) : std::nullopt;
    setenv("HOME", dir.path().c_str(), 1);
    pty.type("~/tool\n");
    EXPECT_EQ(dialogs.openFile("Program", ""), dir / "tool");
    if (savedHome) setenv("HOME", savedHome->c_str(), 1);
    else unsetenv("HOME");
    pty.type("\n");
    EXPECT_EQ(dialogs.openFile("Program", ""), "");
}

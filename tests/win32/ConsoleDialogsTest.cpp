// The console dialogs on a scripted Windows console: keys go in as console
// input events, the output is what the console would show.
#include <gtest/gtest.h>

#include <windows.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/ConsoleDialogs.h"
#include "platform/win32/Win32EventLoop.h"
#include "platform/win32/WinText.h"

namespace {

namespace mb = nocturo::platform::mb;
using nocturo::platform::IDialogs;
using nocturo::platform::TimerId;
using nocturo::platform::win32::ConsoleCalls;
using nocturo::platform::win32::ConsoleDialogs;
using nocturo::platform::win32::Narrow;
using nocturo::platform::win32::Widen;
using nocturo::platform::win32::Win32EventLoop;

constexpr DWORD kCookedMode = ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT;

class FakeConsole {
public:
    bool isConsole = true;
    bool readFails = false;
    DWORD mode = kCookedMode;
    std::vector<DWORD> modesSet;
    std::deque<INPUT_RECORD> events;
    std::string shown;
    int waits = 0;

    void type(const std::wstring& text) {
        for (wchar_t c : text) key(c);
    }
    void key(wchar_t c, WORD repeat = 1) {
        INPUT_RECORD down{};
        down.EventType = KEY_EVENT;
        down.Event.KeyEvent.bKeyDown = TRUE;
        down.Event.KeyEvent.wRepeatCount = repeat;
        down.Event.KeyEvent.uChar.UnicodeChar = c;
        INPUT_RECORD up = down;
        up.Event.KeyEvent.bKeyDown = FALSE;
        events.push_back(down);
        events.push_back(up);
    }
    void otherEvent() {
        INPUT_RECORD focus{};
        focus.EventType = FOCUS_EVENT;
        events.push_back(focus);
    }

    ConsoleCalls calls() {
        ConsoleCalls c;
        c.getInputMode = [this](DWORD* m) {
            if (!isConsole) return FALSE;
            *m = mode;
            return TRUE;
        };
        c.setInputMode = [this](DWORD m) {
            mode = m;
            modesSet.push_back(m);
            return TRUE;
        };
        c.waitForInput = [this](DWORD) -> DWORD {
            ++waits;
            return events.empty() && !readFails ? WAIT_TIMEOUT : WAIT_OBJECT_0;
        };
        c.readInput = [this](INPUT_RECORD* r) {
            if (readFails || events.empty()) return FALSE;
            *r = events.front();
            events.pop_front();
            return TRUE;
        };
        c.write = [this](const std::string& utf8) { shown += utf8; };
        return c;
    }
};

// Answers as a script would, and counts what it was asked.
class Answers : public IDialogs {
public:
    int boxes = 0, inputs = 0;
    int messageBox(const std::string&, int, const std::string&) override {
        ++boxes;
        return mb::IdNo;
    }
    std::optional<std::string> inputBox(const std::string&, const std::string&, const std::string&) override {
        ++inputs;
        return std::string("scripted");
    }
    std::string browseForFolder(const std::string&, const std::string&, bool) override { return "C:\\scripted"; }
    std::string openFile(const std::string&, const std::string&) override { return ""; }
};

TEST(ConsoleDialogs, AnswersTypedAsLettersOrWordsInAnyCase) {
    struct Case {
        std::wstring typed;
        int style;
        int expected;
    };
    const Case cases[] = {
        {L"y\r", mb::YesNo, mb::IdYes},
        {L"N\r", mb::YesNo, mb::IdNo},
        {L"  No \r", mb::YesNo, mb::IdNo},
        {L"\r", mb::YesNo, mb::IdYes},
        {L"\r", mb::YesNo | mb::DefaultButton2, mb::IdNo},
        {L"maybe\rc\r", mb::YesNoCancel, mb::IdCancel},  // asked again after a wrong answer
        {L"\x1b", mb::OkCancel, mb::IdCancel},
        {L"r\r", mb::AbortRetryIgnore, mb::IdRetry},
        {L"anything\r", mb::OkOnly, mb::IdOk},
        {L"\x1a", mb::YesNo | mb::DefaultButton2, mb::IdNo},  // end of input: the default
    };
    for (const auto& c : cases) {
        FakeConsole console;
        console.type(c.typed);
        ConsoleDialogs dialogs(nullptr, console.calls());
        EXPECT_EQ(dialogs.messageBox("Shut down?", c.style, "Nocturo"), c.expected) << Narrow(c.typed);
        EXPECT_EQ(console.mode, kCookedMode) << "the console's mode is put back";
    }
}

TEST(ConsoleDialogs, TheQuestionAndTheTypedKeysAreShown) {
    FakeConsole console;
    console.type(L"nx\b\b\by\r");
    ConsoleDialogs dialogs(nullptr, console.calls());
    EXPECT_EQ(dialogs.messageBox("Shut down\r\nnow?", mb::YesNo, "Nocturo"), mb::IdYes);
    EXPECT_EQ(console.shown, "[Nocturo] Shut down\nnow?\n(y)es/(n)o [yes]: nx\b \b\b \by\n");
    ASSERT_FALSE(console.modesSet.empty());
    EXPECT_EQ(console.modesSet.front() & (ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT), 0u);  // keys one by one, no echo of its own
}

TEST(ConsoleDialogs, TextOutsideAsciiArrivesAsUtf8) {
    FakeConsole console;
    console.type(L"Gr\u00fc\u00dfe \u65e5\u672c \U0001F600\r");
    ConsoleDialogs dialogs(nullptr, console.calls());
    const auto text = dialogs.inputBox("Text:", "Nocturo", "");
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, "Gr\xc3\xbc\xc3\x9f" "e \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x98\x80");
    EXPECT_NE(console.shown.find("\xf0\x9f\x98\x80"), std::string::npos);  // echoed whole, not as two halves
    EXPECT_EQ(console.shown.find("\xef\xbf\xbd"), std::string::npos);

    // Backspace takes a character outside the BMP back whole.
    FakeConsole second;
    second.type(L"a\U0001F600\b\r");
    ConsoleDialogs again(nullptr, second.calls());
    EXPECT_EQ(again.inputBox("Text:", "Nocturo", ""), std::optional<std::string>("a"));
}

TEST(ConsoleDialogs, InputBoxDefaultsBlanksCancelAndRepeatedKeys) {
    struct Case {
        std::wstring typed;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {L"\r", "03"},              // an empty line keeps the default
        {L"   \r", ""},             // blanks give an empty text
        {L"\x1b", std::nullopt},    // Esc cancels
        {L"\x1a", std::nullopt},    // end of input cancels
        {L"12\x1a\r", "12"},        // Ctrl-Z after text is ignored
        {L"\t1\x01" L"5\r", "15"},  // control keys without text are ignored
    };
    for (const auto& c : cases) {
        FakeConsole console;
        console.otherEvent();
        console.type(c.typed);
        ConsoleDialogs dialogs(nullptr, console.calls());
        EXPECT_EQ(dialogs.inputBox("Hour:", "Nocturo", "03"), c.expected) << Narrow(c.typed);
    }
    FakeConsole held;
    held.key(L'7', 3);  // a key held down comes as one event with a count
    held.key(L'\r');
    ConsoleDialogs dialogs(nullptr, held.calls());
    EXPECT_EQ(dialogs.inputBox("Hour:", "Nocturo", ""), std::optional<std::string>("777"));
}

TEST(ConsoleDialogs, APasswordIsNeverShown) {
    FakeConsole console;
    console.type(L"s3cr\u00e9t\r");
    ConsoleDialogs dialogs(nullptr, console.calls());
    EXPECT_EQ(dialogs.timedPasswordBox("Options password:", "Lock", 0), std::optional<std::string>("s3cr\xc3\xa9t"));
    EXPECT_EQ(console.shown.find("s3cr"), std::string::npos);
    EXPECT_EQ(console.shown, "[Lock] Options password:\n> \n");
    EXPECT_EQ(console.mode, kCookedMode);
}

TEST(ConsoleDialogs, AFailingReadIsTheEndOfTheInput) {
    FakeConsole console;
    console.readFails = true;
    ConsoleDialogs dialogs(nullptr, console.calls());
    EXPECT_EQ(dialogs.inputBox("Hour:", "Nocturo", "03"), std::nullopt);
    EXPECT_EQ(dialogs.messageBox("Go?", mb::YesNo | mb::DefaultButton2, "Nocturo"), mb::IdNo);
    EXPECT_EQ(console.mode, kCookedMode);
}

TEST(ConsoleDialogs, WithoutAConsoleTheFallbackAnswersAndTheBoxIsWrittenOut) {
    FakeConsole console;
    console.isConsole = false;
    console.type(L"y\r");  // never read
    Answers answers;
    ConsoleDialogs dialogs(&answers, console.calls());
    EXPECT_FALSE(dialogs.interactive());
    EXPECT_EQ(dialogs.messageBox("Shut down?", mb::YesNo, "Nocturo"), mb::IdNo);
    EXPECT_EQ(dialogs.inputBox("Hour:", "Nocturo", "03"), std::optional<std::string>("scripted"));
    EXPECT_EQ(answers.boxes, 1);
    EXPECT_EQ(answers.inputs, 1);
    EXPECT_EQ(console.shown,
              "[Nocturo] Shut down?\n(y)es/(n)o [yes]\n-> no\n[Nocturo] Hour:\n[03]\n-> scripted\n");
    EXPECT_EQ(console.events.size(), 4u);
    EXPECT_TRUE(console.modesSet.empty());

    ConsoleDialogs noFallback(nullptr, console.calls());
    EXPECT_EQ(noFallback.messageBox("Go?", mb::OkCancel | mb::DefaultButton2, "Nocturo"), mb::IdCancel);
}

TEST(ConsoleDialogs, TheLoopTurnsWhileTheQuestionWaitsAndATimerMayAnswerIt) {
    FakeConsole console;  // nobody types
    Win32EventLoop loop;
    ConsoleDialogs dialogs(nullptr, console.calls());
    dialogs.setPump(&loop);
    int ticks = 0;
    TimerId id = loop.addTimer([&] {
        if (++ticks == 3) {
            EXPECT_TRUE(dialogs.pressDefault("Nocturo"));
        }
    });
    loop.setTimer(id, 5, true);
    EXPECT_FALSE(dialogs.pressDefault("Nocturo"));  // nothing waits yet
    EXPECT_EQ(dialogs.messageBox("Go?", mb::YesNo | mb::DefaultButton2, "Nocturo"), mb::IdNo);
    EXPECT_GE(ticks, 3);
    EXPECT_GE(console.waits, 3);
    EXPECT_EQ(console.mode, kCookedMode);
    EXPECT_FALSE(dialogs.pressDefault("Nocturo"));
}

TEST(ConsoleDialogs, TypedPathsAreResolvedAndMustExist) {
    char temp[MAX_PATH];
    ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
    std::string folder = temp;
    while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();

    FakeConsole console;
    console.type(L"Z:\\no\\such\\folder\\here\r\"" + Widen(folder) + L"\\\"\r");
    ConsoleDialogs dialogs(nullptr, console.calls());
    EXPECT_EQ(dialogs.browseForFolder("Folder", "", false), folder);
    EXPECT_NE(console.shown.find("Not a folder: Z:\\no\\such\\folder\\here"), std::string::npos);

    EXPECT_EQ(ConsoleDialogs::ResolvePath("C:\\", ""), "C:\\");
    EXPECT_EQ(ConsoleDialogs::ResolvePath("C:\\Windows\\..\\Users\\", ""), "C:\\Users");
    EXPECT_EQ(ConsoleDialogs::ResolvePath("sub/file.txt", "C:\\base"), "C:\\base\\sub\\file.txt");
}

}  // namespace

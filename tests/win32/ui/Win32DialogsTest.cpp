// The Win32 dialogs against wine's real boxes: the tests find each box by
// its caption from a second thread and answer it as a user would.
#include "ui/win32/Win32Dialogs.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>

#include "platform/win32/Win32EventLoop.h"
#include "platform/win32/WinText.h"
#include "tests/win32/ui/BoxTestSupport.h"

namespace nocturo::ui {
namespace {

namespace mb = platform::mb;
using namespace nocturo::ui::testing;
using platform::win32::Narrow;
using platform::win32::Widen;

#define NEED_DESKTOP() \
    if (!HaveDesktop()) GTEST_SKIP() << "no window can be created here (no desktop)"

// ---- pure conversions ---------------------------------------------------------

struct StyleCase {
    int style;
    bool ownerOnTop;
    UINT expected;
};

TEST(Win32Dialogs, BoxStylesAreMessageBoxStylesWithUnknownValuesFallingBack) {
    const StyleCase cases[] = {
        {mb::OkOnly, false, MB_OK},
        {mb::OkCancel | mb::Question, false, MB_OKCANCEL | MB_ICONQUESTION},
        {mb::AbortRetryIgnore | mb::Critical | mb::DefaultButton3, false, MB_ABORTRETRYIGNORE | MB_ICONHAND | MB_DEFBUTTON3},
        {mb::YesNoCancel | mb::Exclamation | mb::DefaultButton2, false, MB_YESNOCANCEL | MB_ICONEXCLAMATION | MB_DEFBUTTON2},
        {mb::YesNo | mb::Information, false, MB_YESNO | MB_ICONASTERISK},
        {mb::RetryCancel | mb::DefaultButton2, false, MB_RETRYCANCEL | MB_DEFBUTTON2},
        // A default button the set does not have is the first.
        {mb::OkOnly | mb::DefaultButton2, false, MB_OK},
        {mb::YesNo | mb::DefaultButton3, false, MB_YESNO},
        {mb::OkCancel | mb::DefaultButton2 | mb::DefaultButton3, false, MB_OKCANCEL},
        // Button sets and icons MessageBoxW has but our answers do not.
        {6, false, MB_OK},
        {7 | 0x50, false, MB_OK},
        {0x70, false, MB_OK},
        {mb::YesNo | mb::SystemModal, false, MB_YESNO | MB_SYSTEMMODAL},
        {mb::OkOnly, true, MB_OK | MB_TOPMOST},
        {mb::OkCancel | mb::SystemModal, true, MB_OKCANCEL | MB_SYSTEMMODAL | MB_TOPMOST},
        // Other bits are not passed on.
        {mb::OkOnly | 0x8000 | 0x20000, false, MB_OK},
        {-1, false, MB_OK | MB_SYSTEMMODAL},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Win32Dialogs::boxStyle(c.style, c.ownerOnTop), c.expected)
            << "style " << c.style << " on top " << c.ownerOnTop;
}

struct FilterCase {
    std::string filter;
    std::wstring expected;
};

TEST(Win32Dialogs, FiltersBecomeNulSeparatedPairsEndingInTwoNuls) {
    using namespace std::string_literals;
    const FilterCase cases[] = {
        {"Program Files (*.exe)|*.exe|All Files (*.*)|*.*",
         L"Program Files (*.exe)\0*.exe\0All Files (*.*)\0*.*\0\0"s},
        {"Text|*.txt;*.log", L"Text\0*.txt;*.log\0\0"s},
        {"", L""s},
        {"|", L""s},
        {"||||", L""s},
        {" Text | *.txt ", L"Text\0*.txt\0\0"s},
        // A name without patterns is its own pattern, and the other way round.
        {"*.txt", L"*.txt\0*.txt\0\0"s},
        {"A|*.a|*.b", L"A\0*.a\0*.b\0*.b\0\0"s},
        {"|*.a", L"*.a\0*.a\0\0"s},
        {"A|*.a||", L"A\0*.a\0\0"s},
        {"A|*.a|||B|*.b", L"A\0*.a\0B\0*.b\0\0"s},
        {"Bilder äöü ☃|*.png", L"Bilder \u00e4\u00f6\u00fc \u2603\0*.png\0\0"s},
        // A NUL inside would end the list early.
        {"A\0B|*.a"s, L"AB\0*.a\0\0"s},
        {"\xff|*.x", L"\ufffd\0*.x\0\0"s},
    };
    for (const auto& c : cases) {
        const std::wstring got = Win32Dialogs::toWin32Filter(c.filter);
        EXPECT_EQ(got, c.expected) << "filter \"" << c.filter << "\" got \"" << Narrow(got) << "\"";
        if (!got.empty()) {
            ASSERT_GE(got.size(), 2u);
            EXPECT_EQ(got[got.size() - 1], L'\0');
            EXPECT_EQ(got[got.size() - 2], L'\0');
            EXPECT_NE(got[0], L'\0');
        }
    }
}

TEST(Win32Dialogs, AnEmptyTitleIsTheProgramsName) {
    EXPECT_EQ(Win32Dialogs::boxTitle(""), L"Nocturo");
    EXPECT_EQ(Win32Dialogs::boxTitle("Gr\xc3\xbc\xc3\x9f" "e"), L"Gr\u00fc\u00dfe");
}

// ---- message boxes ------------------------------------------------------------

struct ButtonCase {
    int style;
    std::set<int> buttons;
    int defaultId;
};

TEST(Win32Dialogs, EachStyleHasItsButtonsAndEnterPressesTheDefault) {
    NEED_DESKTOP();
    const ButtonCase cases[] = {
        {mb::OkOnly, {IDOK}, IDOK},
        {mb::OkCancel, {IDOK, IDCANCEL}, IDOK},
        {mb::OkCancel | mb::DefaultButton2, {IDOK, IDCANCEL}, IDCANCEL},
        {mb::AbortRetryIgnore | mb::DefaultButton3, {IDABORT, IDRETRY, IDIGNORE}, IDIGNORE},
        {mb::YesNoCancel | mb::Question, {IDYES, IDNO, IDCANCEL}, IDYES},
        {mb::YesNoCancel | mb::DefaultButton2, {IDYES, IDNO, IDCANCEL}, IDNO},
        {mb::YesNo | mb::Exclamation, {IDYES, IDNO}, IDYES},
        {mb::RetryCancel | mb::DefaultButton2, {IDRETRY, IDCANCEL}, IDCANCEL},
        {mb::OkOnly | mb::DefaultButton3, {IDOK}, IDOK},
    };
    Win32Dialogs dialogs;
    for (const auto& c : cases) {
        const std::wstring title = UniqueTitle(L"Nocturo box");
        std::set<int> seen;
        int focused = 0;
        BoxWatcher watcher(title, [&](HWND box) {
            for (const auto& child : VisibleChildren(box))
                if (child.className == L"Button") seen.insert(child.id);
            HWND focus = FocusOf(box);
            focused = focus ? GetDlgCtrlID(focus) : 0;
            PostKey(focus ? focus : box, VK_RETURN);
        });
        const int answer = dialogs.messageBox("Which one?", c.style, Narrow(title));
        ASSERT_TRUE(watcher.found()) << "style " << c.style;
        EXPECT_EQ(seen, c.buttons) << "style " << c.style;
        EXPECT_EQ(focused, c.defaultId) << "style " << c.style;
        EXPECT_EQ(answer, c.defaultId) << "style " << c.style;
    }
}

TEST(Win32Dialogs, EachButtonClickedIsItsAnswerAndEscapeIsCancel) {
    NEED_DESKTOP();
    Win32Dialogs dialogs;
    struct Click {
        int style;
        int button;
    };
    for (const Click c : {Click{mb::YesNoCancel, IDNO}, Click{mb::YesNoCancel, IDCANCEL}, Click{mb::AbortRetryIgnore, IDRETRY},
                          Click{mb::AbortRetryIgnore, IDABORT}, Click{mb::YesNo, IDNO}, Click{mb::RetryCancel, IDRETRY}}) {
        const std::wstring title = UniqueTitle(L"Nocturo click");
        BoxWatcher watcher(title, [&](HWND box) {
            HWND button = GetDlgItem(box, c.button);
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(c.button, BN_CLICKED), reinterpret_cast<LPARAM>(button));
        });
        EXPECT_EQ(dialogs.messageBox("Click", c.style, Narrow(title)), c.button);
        EXPECT_TRUE(watcher.found());
    }
    for (const int style : {mb::OkCancel, mb::YesNoCancel | mb::DefaultButton2, mb::RetryCancel, mb::OkOnly}) {
        const std::wstring title = UniqueTitle(L"Nocturo escape");
        BoxWatcher watcher(title, [](HWND box) { PostKey(KeyTarget(box), VK_ESCAPE); });
        EXPECT_EQ(dialogs.messageBox("Escape", style, Narrow(title)), style == mb::OkOnly ? mb::IdOk : mb::IdCancel)
            << "style " << style;
        EXPECT_TRUE(watcher.found());
    }
}

TEST(Win32Dialogs, TheBoxShowsPromptAndTitleInUtf8AndAnOnTopOwnerKeepsItOnTop) {
    NEED_DESKTOP();
    const std::string title = "Gr\xc3\xbc\xc3\x9f" "e \xe2\x98\x83 " + Narrow(UniqueTitle(L"box"));
    const std::string prompt = "Gr\xc3\xbc\xc3\x9f" "e \xe2\x98\x83\nzweite Zeile";
    // An on-top window of this thread that is not active: the boxes get it as
    // their owner and stay above all windows with it.
    HWND onTop = CreateWindowExW(WS_EX_TOPMOST, L"STATIC", L"owner", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(onTop, nullptr);
    Win32Dialogs dialogs;
    dialogs.setOwner(onTop);
    if (GetActiveWindow() == nullptr) {
        EXPECT_EQ(dialogs.owner(), onTop);
    }
    std::wstring shownPrompt;
    HWND shownOwner = nullptr;
    LONG_PTR exStyle = 0;
    BoxWatcher watcher(Widen(title), [&](HWND box) {
        for (const auto& child : VisibleChildren(box))
            if (child.className == L"Static" && TextOf(child.hwnd).find(L"Gr") != std::wstring::npos)
                shownPrompt = TextOf(child.hwnd);
        shownOwner = GetWindow(box, GW_OWNER);
        exStyle = GetWindowLongPtrW(box, GWL_EXSTYLE);
        PostKey(KeyTarget(box), VK_RETURN);
    });
    EXPECT_EQ(dialogs.messageBox(prompt, mb::OkOnly | mb::Information, title), mb::IdOk);
    ASSERT_TRUE(watcher.found());
    EXPECT_EQ(shownPrompt, L"Gr\u00fc\u00dfe \u2603\nzweite Zeile");
    EXPECT_EQ(shownOwner, onTop);
    EXPECT_TRUE(exStyle & WS_EX_TOPMOST);
    // The input box too.
    shownOwner = nullptr;
    exStyle = 0;
    const std::wstring inputTitle = UniqueTitle(L"Nocturo on top");
    BoxWatcher inputWatcher(inputTitle, [&](HWND box) {
        shownOwner = GetWindow(box, GW_OWNER);
        exStyle = GetWindowLongPtrW(box, GWL_EXSTYLE);
        PostKey(KeyTarget(box), VK_ESCAPE);
    });
    EXPECT_EQ(dialogs.inputBox("On top", Narrow(inputTitle), ""), std::nullopt);
    ASSERT_TRUE(inputWatcher.found());
    EXPECT_EQ(shownOwner, onTop);
    EXPECT_TRUE(exStyle & WS_EX_TOPMOST);
    DestroyWindow(onTop);
    // Once the owner is gone the box has none.
    if (GetActiveWindow() == nullptr) {
        EXPECT_EQ(dialogs.owner(), nullptr);
    }
}

TEST(Win32Dialogs, ASystemModalBoxIsOnTopOfAllWindows) {
    NEED_DESKTOP();
    Win32Dialogs dialogs;
    const std::wstring title = UniqueTitle(L"Nocturo system modal");
    LONG_PTR exStyle = 0;
    BoxWatcher watcher(title, [&](HWND box) {
        exStyle = GetWindowLongPtrW(box, GWL_EXSTYLE);
        PostKey(KeyTarget(box), VK_RETURN);
    });
    EXPECT_EQ(dialogs.messageBox("On top", mb::YesNo | mb::SystemModal, Narrow(title)), mb::IdYes);
    ASSERT_TRUE(watcher.found());
    EXPECT_TRUE(exStyle & WS_EX_TOPMOST);
}

// ---- input boxes --------------------------------------------------------------

HWND EntryOf(HWND box) {
    for (const auto& child : VisibleChildren(box))
        if (child.className == L"Edit") return child.hwnd;
    return nullptr;
}

TEST(Win32Dialogs, TheInputBoxReturnsTheTypedTextAndNothingOnCancel) {
    NEED_DESKTOP();
    Win32Dialogs dialogs;
    const std::wstring typed = L"Gr\u00fc\u00dfe \u2603";
    {
        const std::wstring title = UniqueTitle(L"Nocturo input");
        bool focusInEntry = false;
        BoxWatcher watcher(title, [&](HWND box) {
            HWND entry = EntryOf(box);
            focusInEntry = entry && FocusOf(box) == entry;
            // The default text starts selected: typing replaces it.
            PostText(entry, typed);
            PostKey(entry, VK_RETURN);
        });
        const auto answer = dialogs.inputBox("Your name?", Narrow(title), "old text");
        ASSERT_TRUE(watcher.found());
        EXPECT_TRUE(focusInEntry);
        ASSERT_TRUE(answer.has_value());
        EXPECT_EQ(*answer, "Gr\xc3\xbc\xc3\x9f" "e \xe2\x98\x83");
    }
    {
        // The default text comes back as it was given.
        const std::wstring title = UniqueTitle(L"Nocturo input");
        std::wstring shown;
        BoxWatcher watcher(title, [&](HWND box) {
            shown = TextOf(EntryOf(box));
            PostKey(KeyTarget(box), VK_RETURN);
        });
        const auto answer = dialogs.inputBox("Keep it", Narrow(title), "Gr\xc3\xbc\xc3\x9f" "e \xe2\x98\x83");
        EXPECT_EQ(shown, typed);
        ASSERT_TRUE(answer.has_value());
        EXPECT_EQ(*answer, "Gr\xc3\xbc\xc3\x9f" "e \xe2\x98\x83");
    }
    {
        const std::wstring title = UniqueTitle(L"Nocturo input");
        BoxWatcher watcher(title, [&](HWND box) {
            PostText(EntryOf(box), L"typed, then cancelled");
            PostKey(EntryOf(box), VK_ESCAPE);
        });
        EXPECT_EQ(dialogs.inputBox("Cancel me", Narrow(title), "x"), std::nullopt);
        EXPECT_TRUE(watcher.found());
    }
    {
        // An empty entry is an answer, not a cancel.
        const std::wstring title = UniqueTitle(L"Nocturo input");
        BoxWatcher watcher(title, [&](HWND box) {
            HWND entry = EntryOf(box);
            PostKey(entry, VK_DELETE);  // the selected default text
            PostKey(entry, VK_RETURN);
        });
        EXPECT_EQ(dialogs.inputBox("Empty", Narrow(title), "gone"), std::optional<std::string>(""));
        EXPECT_TRUE(watcher.found());
    }
    {
        // The Cancel button.
        const std::wstring title = UniqueTitle(L"Nocturo input");
        BoxWatcher watcher(title, [&](HWND box) {
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDCANCEL)));
        });
        EXPECT_EQ(dialogs.inputBox("Cancel button", Narrow(title), "x"), std::nullopt);
    }
}

TEST(Win32Dialogs, ALongPromptMakesTheInputBoxTaller) {
    NEED_DESKTOP();
    Win32Dialogs dialogs;
    auto heightFor = [&](const std::string& prompt) {
        const std::wstring title = UniqueTitle(L"Nocturo prompt");
        int height = 0;
        int entryTop = 0;
        BoxWatcher watcher(title, [&](HWND box) {
            RECT r;
            GetWindowRect(box, &r);
            height = r.bottom - r.top;
            RECT e;
            GetWindowRect(EntryOf(box), &e);
            entryTop = e.top - r.top;
            PostKey(EntryOf(box), VK_ESCAPE);
        });
        dialogs.inputBox(prompt, Narrow(title), "");
        return std::make_pair(height, entryTop);
    };
    const auto one = heightFor("Short");
    std::string longPrompt;
    for (int i = 0; i < 12; ++i) longPrompt += "line " + std::to_string(i) + "\n";
    const auto many = heightFor(longPrompt);
    EXPECT_GT(one.first, 0);
    EXPECT_GT(many.first, one.first + 40);
    EXPECT_GT(many.second, one.second + 40);  // the entry moved below the prompt
}

TEST(Win32Dialogs, AHugePromptKeepsTheInputBoxOnTheScreen) {
    NEED_DESKTOP();
    Win32Dialogs dialogs;
    std::string prompt;
    for (int i = 0; i < 3000; ++i) prompt += "line " + std::to_string(i) + "\r\n";
    int height = 0;
    bool entryOnScreen = false;
    BoxWatcher watcher(L"Nocturo", [&](HWND box) {  // an empty title is the program's name
        RECT r;
        GetWindowRect(box, &r);
        height = r.bottom - r.top;
        RECT e;
        GetWindowRect(EntryOf(box), &e);
        entryOnScreen = e.bottom <= GetSystemMetrics(SM_CYSCREEN) && e.top >= 0;
        PostKey(KeyTarget(box), VK_ESCAPE);
    });
    EXPECT_EQ(dialogs.inputBox(prompt, "", "x"), std::nullopt);
    ASSERT_TRUE(watcher.found());
    EXPECT_GT(height, 200);
    EXPECT_LE(height, GetSystemMetrics(SM_CYSCREEN));
    EXPECT_TRUE(entryOnScreen);
}

TEST(Win32Dialogs, ThePasswordBoxHidesTheEntry) {
    NEED_DESKTOP();
    Win32Dialogs dialogs;
    const std::wstring title = UniqueTitle(L"Nocturo password");
    LONG_PTR style = 0;
    BoxWatcher watcher(title, [&](HWND box) {
        HWND entry = EntryOf(box);
        style = GetWindowLongPtrW(entry, GWL_STYLE);
        PostText(entry, L"s3cr\u00eat");
        PostKey(entry, VK_RETURN);
    });
    // The time-out is far off: the user answers first.
    const auto answer = dialogs.timedPasswordBox("Password", Narrow(title), 60);
    ASSERT_TRUE(watcher.found());
    EXPECT_TRUE(style & ES_PASSWORD);
    EXPECT_EQ(answer, std::optional<std::string>("s3cr\xc3\xaa" "t"));
    EXPECT_TRUE(dialogs.timedTitle().empty());
}

// ---- timed boxes --------------------------------------------------------------

struct TimedCase {
    int style;
    int expected;  // what Tab, Tab, Enter presses
};

TEST(Win32Dialogs, ATimedBoxLeftAloneAnswersAsTabTabEnterDoes) {
    NEED_DESKTOP();
    const TimedCase cases[] = {
        {mb::YesNo, mb::IdYes},
        {mb::OkCancel, mb::IdOk},
        {mb::YesNo | mb::DefaultButton2, mb::IdNo},
        {mb::YesNoCancel, mb::IdCancel},
        {mb::AbortRetryIgnore | mb::DefaultButton2, mb::IdAbort},
        {mb::OkOnly, mb::IdOk},
    };
    Win32Dialogs dialogs;
    for (const auto& c : cases) {
        const std::wstring title = UniqueTitle(L"Nocturo timed");
        const auto start = std::chrono::steady_clock::now();
        const int answer = dialogs.timedMessageBox("Waiting", c.style, Narrow(title), 1);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(answer, c.expected) << "style " << c.style;
        EXPECT_GE(took, std::chrono::milliseconds(900)) << "style " << c.style;
        EXPECT_LT(took, std::chrono::seconds(10)) << "style " << c.style;
        EXPECT_TRUE(dialogs.timedTitle().empty());
    }
}

TEST(Win32Dialogs, ATimedInputBoxLeftAloneIsCancelled) {
    NEED_DESKTOP();
    Win32Dialogs dialogs;
    EXPECT_EQ(dialogs.timedInputBox("Waiting", Narrow(UniqueTitle(L"Nocturo timed input")), "default", 1), std::nullopt);
    EXPECT_EQ(dialogs.timedPasswordBox("Waiting", Narrow(UniqueTitle(L"Nocturo timed password")), 1), std::nullopt);
}

TEST(Win32Dialogs, TimersOfTheThreadTickWhileABoxWaits) {
    NEED_DESKTOP();
    Win32Dialogs dialogs;
    WindowTimer timer(100, {}, false);
    const int before = timer.ticks();
    EXPECT_EQ(dialogs.timedMessageBox("Ticking", mb::OkCancel, Narrow(UniqueTitle(L"Nocturo ticks")), 1), mb::IdOk);
    EXPECT_GE(timer.ticks() - before, 4);
}

TEST(Win32Dialogs, TheProgramsLoopRunsItsTimersAndPostedWorkWhileABoxWaits) {
    NEED_DESKTOP();
    platform::win32::Win32EventLoop loop;
    int ticks = 0;
    bool postedRan = false;
    const platform::TimerId timer = loop.addTimer([&] {
        if (++ticks == 2) loop.post([&] { postedRan = true; });
    });
    loop.setTimer(timer, 100, true);
    Win32Dialogs dialogs;
    EXPECT_EQ(dialogs.timedMessageBox("Counting down", mb::YesNo, Narrow(UniqueTitle(L"Nocturo loop")), 1), mb::IdYes);
    EXPECT_GE(ticks, 4);
    EXPECT_TRUE(postedRan);
    // And under the input box, the program's own dialog.
    const int before = ticks;
    EXPECT_EQ(dialogs.timedInputBox("Counting down", Narrow(UniqueTitle(L"Nocturo loop")), "", 1), std::nullopt);
    EXPECT_GE(ticks - before, 4);
    loop.removeTimer(timer);
}

TEST(Win32Dialogs, ASecondTimedBoxTakesOverTheTimeOutOfTheFirst) {
    NEED_DESKTOP();
    Win32Dialogs dialogs;
    const std::wstring first = UniqueTitle(L"Nocturo first");
    const std::wstring second = UniqueTitle(L"Nocturo second");
    int secondAnswer = 0;
    bool firstOpenAfterSecond = false;
    bool firstStillOpenLater = false;
    std::wstring waitingAfterSecond = L"unset";
    std::unique_ptr<WindowTimer> later;
    // Opens the second box from inside the first box's loop.
    WindowTimer opener(200, [&] {
        secondAnswer = dialogs.timedMessageBox("Second", mb::YesNo | mb::DefaultButton2, Narrow(second), 1);
        waitingAfterSecond = dialogs.timedTitle();
        firstOpenAfterSecond = FindWindowW(L"#32770", first.c_str()) != nullptr;
        // Past the first box's own time-out: still open, then answered by "the user".
        later = std::make_unique<WindowTimer>(1500, [&] {
            HWND box = FindWindowW(L"#32770", first.c_str());
            firstStillOpenLater = box && IsWindowVisible(box);
            if (box) PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        }, true);
    }, true);
    const int firstAnswer = dialogs.timedMessageBox("First", mb::OkCancel, Narrow(first), 2);
    EXPECT_EQ(secondAnswer, mb::IdNo);
    EXPECT_TRUE(firstOpenAfterSecond);
    EXPECT_EQ(waitingAfterSecond, L"");
    EXPECT_TRUE(firstStillOpenLater);
    EXPECT_EQ(firstAnswer, mb::IdCancel);  // the user's answer, not the time-out's (OK)
}

TEST(Win32Dialogs, ATimedBoxAnsweredInTimeLeavesNoTimeOutForTheNextBox) {
    NEED_DESKTOP();
    Win32Dialogs dialogs;
    const std::wstring title = UniqueTitle(L"Nocturo answered");
    {
        BoxWatcher watcher(title, [](HWND box) { PostKey(KeyTarget(box), VK_ESCAPE); });
        EXPECT_EQ(dialogs.timedMessageBox("Answer me", mb::OkCancel, Narrow(title), 2), mb::IdCancel);
    }
    EXPECT_TRUE(dialogs.timedTitle().empty());
    // A plain box of the same caption, open longer than those seconds.
    bool stillOpen = false;
    BoxWatcher watcher(title, [&](HWND box) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        stillOpen = IsWindow(box) && IsWindowVisible(box);
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    EXPECT_EQ(dialogs.messageBox("Plain", mb::OkCancel, Narrow(title)), mb::IdCancel);
    EXPECT_TRUE(stillOpen);
}

TEST(Win32Dialogs, NoTimeOutShowsAPlainBox) {
    NEED_DESKTOP();
    Win32Dialogs dialogs;
    const std::wstring title = UniqueTitle(L"Nocturo untimed");
    BoxWatcher watcher(title, [](HWND box) {
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0);
    });
    EXPECT_EQ(dialogs.timedMessageBox("Plain", mb::YesNo, Narrow(title), 0), mb::IdNo);
    EXPECT_TRUE(dialogs.timedTitle().empty());
}

// ---- file and folder choosers -------------------------------------------------

std::filesystem::path MakeTempFolder(const std::wstring& name) {
    std::filesystem::path folder = std::filesystem::temp_directory_path() / UniqueTitle(name);
    std::filesystem::create_directories(folder);
    return folder;
}

TEST(Win32Dialogs, OpenFileReturnsTheChosenFileInUtf8AndNothingOnCancel) {
    NEED_DESKTOP();
    Win32Dialogs dialogs;
    const std::filesystem::path folder = MakeTempFolder(L"nocturo-open");
    const std::filesystem::path file = folder / L"Gr\u00fc\u00dfe \u2603.txt";
    std::ofstream(file) << "x";
    const std::wstring title = UniqueTitle(L"Nocturo open");
    {
        BoxWatcher watcher(title, [&](HWND box) {
            // The file name box of the Open dialog (cmb13 / edt1).
            HWND name = nullptr;
            for (int i = 0; i < 250 && !name; ++i) {
                name = GetDlgItem(box, 0x47c);
                if (!name) name = GetDlgItem(box, 0x480);
                if (!name) std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(file.wstring().c_str()));
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        });
        const std::string chosen = dialogs.openFile(Narrow(title), "Text (*.txt)|*.txt|All|*.*");
        ASSERT_TRUE(watcher.found());
        EXPECT_TRUE(std::filesystem::equivalent(std::filesystem::path(Widen(chosen)), file)) << chosen;
    }
    {
        BoxWatcher watcher(title, [](HWND box) { PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0); });
        EXPECT_EQ(dialogs.openFile(Narrow(title), ""), "");
        EXPECT_TRUE(watcher.found());
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

TEST(Win32Dialogs, BrowseForFolderOpensAtTheStartFolderAndNothingOnCancel) {
    NEED_DESKTOP();
    Win32Dialogs dialogs;
    const std::filesystem::path folder = MakeTempFolder(L"nocturo-browse \u00fc");
    {
        // The folder chooser's caption is the system's; the title is the text
        // inside. OK once the tree shows the start folder chosen (the tree
        // fills itself while the box is already on the screen, slowly on a
        // busy machine).
        std::wstring selected;
        BoxWatcher watcher(L"", [&](HWND box) {
            HWND tree = nullptr;
            for (const auto& child : VisibleChildren(box))
                if (child.className == WC_TREEVIEWW) tree = child.hwnd;
            for (int i = 0; tree && i < 750 && selected != folder.filename().wstring(); ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                wchar_t text[MAX_PATH] = {};
                TVITEMW item{};
                item.mask = TVIF_TEXT;
                item.hItem = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
                item.pszText = text;
                item.cchTextMax = MAX_PATH;
                if (item.hItem && SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) selected = text;
            }
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        });
        const std::string chosen = dialogs.browseForFolder("Pick one", Narrow(folder.wstring()), false);
        ASSERT_TRUE(watcher.found());
        ASSERT_FALSE(chosen.empty());
        EXPECT_EQ(selected, folder.filename().wstring());
        EXPECT_TRUE(std::filesystem::equivalent(std::filesystem::path(Widen(chosen)), folder)) << chosen;
    }
    {
        BoxWatcher watcher(L"", [](HWND box) { PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0); });
        EXPECT_EQ(dialogs.browseForFolder("Cancel", Narrow(folder.wstring()), true), "");
        EXPECT_TRUE(watcher.found());
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

}  // namespace
}  // namespace nocturo::ui

// Starting programs, exit codes, windows and the instance lock on Windows.
// The started program is tests/win32/child, built beside this test.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <chrono>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "platform/Error.h"
#include "platform/win32/WinText.h"
#include "platform/win32/Win32Processes.h"
#include "platform/win32/Win32SystemInfo.h"
#include "support/TestSupport.h"

namespace {

using namespace nocturo::platform;
using namespace nocturo::platform::win32;
using nocturo::test::ReadWholeFile;
using nocturo::test::TempDir;

std::string childProgram() { return ModuleFolder() + "\\win32_test_child.exe"; }

// The exit code once the process has ended (10 s at most).
std::optional<std::uint32_t> waitForExit(Win32Processes& processes, std::uint32_t pid) {
    for (int i = 0; i < 1000; ++i) {
        auto code = processes.exitCode(pid);
        if (!code || *code != StillActive) return code;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return StillActive;
}

std::string uniqueName(const std::string& prefix) {
    std::random_device seed;
    return prefix + std::to_string(seed()) + "-" + std::to_string(GetCurrentProcessId());
}

TEST(Win32CommandLine, ArgumentsAreQuotedOnlyWhereNeeded) {
    EXPECT_EQ(QuoteArgument(L"plain"), L"plain");
    EXPECT_EQ(QuoteArgument(L""), L"\"\"");
    EXPECT_EQ(QuoteArgument(L"two words"), L"\"two words\"");
    EXPECT_EQ(QuoteArgument(L"say \"hi\""), L"\"say \\\"hi\\\"\"");
    EXPECT_EQ(QuoteArgument(L"C:\\dir\\"), L"C:\\dir\\");          // no blank: as it is
    EXPECT_EQ(QuoteArgument(L"C:\\my dir\\"), L"\"C:\\my dir\\\\\"");  // the last backslash doubled
    EXPECT_EQ(QuoteArgument(L"a\\\\\"b"), L"\"a\\\\\\\\\\\"b\"");
    EXPECT_EQ(BuildCommandLine("C:\\Program Files\\x.exe", {"-a", "b c"}),
              L"\"C:\\Program Files\\x.exe\" -a \"b c\"");
}

TEST(Win32CommandLine, TheSystemSplitsItBackIntoTheSameArguments) {
    const std::vector<std::string> args = {"plain", "", "two words", "say \"hi\"", "C:\\my dir\\", "a\\\\\"b",
                                           "tab\there", "ünï €", "trailing\\\\"};
    const std::wstring line = BuildCommandLine("C:\\Program Files\\x.exe", args);
    int count = 0;
    wchar_t** parsed = CommandLineToArgvW(line.c_str(), &count);
    ASSERT_TRUE(parsed);
    ASSERT_EQ(count, static_cast<int>(args.size()) + 1);
    EXPECT_EQ(Narrow(parsed[0]), "C:\\Program Files\\x.exe");
    for (std::size_t i = 0; i < args.size(); ++i) EXPECT_EQ(Narrow(parsed[i + 1]), args[i]) << i;
    LocalFree(parsed);
}

TEST(Win32Processes, StartsTheProgramWithItsArgumentsAndReadsItsExitCode) {
    TempDir dir;
    const std::string out = dir / "args.txt";
    Win32Processes processes;
    const auto pid = processes.start(childProgram(), {out, "7", "one", "two words", "say \"hi\"", "ä€"}, ws::Hide);
    EXPECT_NE(pid, 0u);
    EXPECT_EQ(waitForExit(processes, pid), std::optional<std::uint32_t>(7));
    EXPECT_EQ(ReadWholeFile(out), "one\ntwo words\nsay \"hi\"\nä€\n");
    EXPECT_EQ(processes.exitCode(pid), std::optional<std::uint32_t>(7));  // the same on every later call
    EXPECT_FALSE(processes.endedAbnormally(pid));
}

// The parameters a user typed reach the program as its command line, as
// typed: paths keep their backslashes, quotes and apostrophes stay for the
// program to read as it reads them.
TEST(Win32Processes, ParametersAreTheProgramsCommandLineAsTyped) {
    TempDir dir;
    const std::string out = dir / "args.txt";
    Win32Processes processes;
    ASSERT_TRUE(processes.takesCommandLine());
    struct Case {
        std::string typed;              // after the output file and the exit code
        std::vector<std::string> argv;  // as the C runtime's rules split it
    };
    const std::vector<Case> cases = {
        {"C:\\temp\\x.log", {"C:\\temp\\x.log"}},
        {"\"C:\\My Files\\a b.txt\" /v", {"C:\\My Files\\a b.txt", "/v"}},
        {"it's  'two words'", {"it's", "'two", "words'"}},
        {"say \\\"hi\\\"", {"say", "\"hi\""}},
        {"D:\\data\\ \\\\server\\share\\", {"D:\\data\\", "\\\\server\\share\\"}},
        {"", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        const std::string typed = "\"" + out + "\" 0" + (c.typed.empty() ? "" : " " + c.typed);
        const auto pid = processes.startCommandLine(childProgram(), typed, ws::Hide);
        ASSERT_EQ(waitForExit(processes, pid), std::optional<std::uint32_t>(0));
        EXPECT_EQ(ReadWholeFile(out + ".cmdline"), "\"" + childProgram() + "\" " + typed);
        std::string expected;
        for (const auto& a : c.argv) expected += a + "\n";
        EXPECT_EQ(ReadWholeFile(out), expected);
    }
}

TEST(Win32Processes, AProgramInAFolderWithBlanksStartsFromItsFullPath) {
    TempDir dir;
    const std::string folder = dir / "Program Files";
    ASSERT_TRUE(CreateDirectoryW(Widen(folder).c_str(), nullptr));
    const std::string copy = folder + "/child copy.exe";
    ASSERT_TRUE(CopyFileW(Widen(childProgram()).c_str(), Widen(copy).c_str(), FALSE));
    Win32Processes processes;
    const auto pid = processes.start(copy, {dir / "out.txt", "0", "x"}, ws::NormalNoFocus);
    EXPECT_EQ(waitForExit(processes, pid), std::optional<std::uint32_t>(0));
    EXPECT_EQ(ReadWholeFile(dir / "out.txt"), "x\n");
}

TEST(Win32Processes, ABareNameIsLookedUpInTheSystemFolders) {
    Win32Processes processes;
    // cmd.exe, found in the system folder with ".exe" added.
    const auto pid = processes.start("cmd", {"/c", "exit", "3"}, ws::Hide);
    EXPECT_EQ(waitForExit(processes, pid), std::optional<std::uint32_t>(3));
}

TEST(Win32Processes, ACrashsExitCodeCountsAsAnAbnormalEnd) {
    TempDir dir;
    Win32Processes processes;
    // An access violation's code, as the system leaves it for a crashed program.
    const auto pid = processes.start(childProgram(), {dir / "out.txt", "0xC0000005"}, ws::Hide);
    EXPECT_EQ(waitForExit(processes, pid), std::optional<std::uint32_t>(0xC0000005u));
    EXPECT_TRUE(processes.endedAbnormally(pid));
}

TEST(Win32Processes, WhatCannotStartIsAnError) {
    TempDir dir;
    Win32Processes processes;
    try {
        processes.start(dir / "missing.exe", {}, ws::NormalFocus);
        FAIL() << "started";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::FileNotFound) << e.what();
        EXPECT_NE(std::string(e.what()).find("missing.exe"), std::string::npos);
    }
    EXPECT_THROW(processes.start("", {}, ws::NormalFocus), Error);
    EXPECT_THROW(processes.start(childProgram(), {std::string("a\0b", 3)}, ws::NormalFocus), Error);
    EXPECT_THROW(processes.start("a\"b.exe", {}, ws::NormalFocus), Error);
}

TEST(Win32Processes, OtherProcessesAreOpenedByTheirId) {
    Win32Processes processes;
    EXPECT_EQ(processes.exitCode(GetCurrentProcessId()), std::optional<std::uint32_t>(StillActive));
    EXPECT_FALSE(processes.endedAbnormally(GetCurrentProcessId()));
    EXPECT_EQ(processes.exitCode(0xFFFFFFF0u), std::nullopt);
}

TEST(Win32Processes, AMissingDocumentIsAnError) {
    TempDir dir;
    Win32Processes processes;
    try {
        processes.openDocument(dir / "no such file.txt");
        FAIL() << "opened";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::FileNotFound) << e.what();
    }
    EXPECT_THROW(processes.openDocument(""), Error);
}

TEST(Win32Processes, InstanceLockIsANamedMutexHeldUntilTheEnd) {
    const std::string key = uniqueName("lock-test-");
    const std::wstring name = InstanceMutexName(key);
    EXPECT_EQ(name.rfind(L"Local\\Nocturo-", 0), 0u);
    EXPECT_EQ(name.find(L'\\', 6), std::wstring::npos);
    EXPECT_EQ(InstanceMutexName("HKEY_LOCAL_MACHINE\\Software"), InstanceMutexName("HKEY_LOCAL_MACHINE\\Software"));
    EXPECT_NE(InstanceMutexName("a"), InstanceMutexName("b"));

    {
        Win32Processes first;
        ASSERT_TRUE(first.acquireInstanceLock(key));
        EXPECT_TRUE(first.acquireInstanceLock(key));  // already ours
        Win32Processes second;
        EXPECT_FALSE(second.acquireInstanceLock(key));
        EXPECT_TRUE(second.acquireInstanceLock(key + "-other"));
        // The system knows the mutex by that name.
        HANDLE probe = OpenMutexW(SYNCHRONIZE, FALSE, name.c_str());
        EXPECT_NE(probe, nullptr);
        if (probe) CloseHandle(probe);
    }
    // Released with its holder.
    Win32Processes third;
    EXPECT_TRUE(third.acquireInstanceLock(key));
}

// A window of this process with the given title, for the window tests.
class TestWindow {
public:
    explicit TestWindow(const std::string& title) {
        handle_ = CreateWindowExW(0, L"STATIC", Widen(title).c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    ~TestWindow() {
        if (handle_) DestroyWindow(handle_);
    }
    HWND handle() const { return handle_; }

private:
    HWND handle_ = nullptr;
};

TEST(Win32Processes, WindowsAreFoundByTheirExactTitleAndShownOrHidden) {
    const std::string title = uniqueName("Nocturo test window ");
    Win32Processes processes;
    EXPECT_FALSE(processes.findWindow(title));
    EXPECT_FALSE(processes.showWindow(title, true));
    TestWindow window(title);
    if (!window.handle()) GTEST_SKIP() << "no window can be created here (no desktop)";
    EXPECT_TRUE(processes.findWindow(title));
    EXPECT_FALSE(processes.findWindow(title + " "));
    EXPECT_FALSE(IsWindowVisible(window.handle()));
    EXPECT_TRUE(processes.showWindow(title, true));
    EXPECT_TRUE(IsWindowVisible(window.handle()));
    EXPECT_TRUE(processes.showWindow(title, false));
    EXPECT_FALSE(IsWindowVisible(window.handle()));
}

}  // namespace

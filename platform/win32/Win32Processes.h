#pragma once
// Starting programs, their exit codes, top-level windows and the
// single-instance lock on Windows.
#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/IProcesses.h"

namespace nocturo::platform::win32 {

// The command line CreateProcessW gets for program and arguments: each one
// quoted where it needs it, backslashes before a quote doubled, as the C
// runtime's and CommandLineToArgvW's parsing takes them apart again.
std::wstring BuildCommandLine(const std::string& program, const std::vector<std::string>& arguments);
// One argument in that form.
std::wstring QuoteArgument(const std::wstring& argument);
// The name of the named mutex behind the instance lock for key.
std::wstring InstanceMutexName(const std::string& key);

class Win32Processes : public IProcesses {
public:
    Win32Processes() = default;
    // Children still running go on running; the handles and locks are released.
    ~Win32Processes() override;
    Win32Processes(const Win32Processes&) = delete;
    Win32Processes& operator=(const Win32Processes&) = delete;

    // CreateProcessW, never through cmd.exe. A program with a path is that
    // file; a bare name is looked up as CreateProcessW looks it up. The
    // window style is the program's first ShowWindow.
    std::uint32_t start(const std::string& program, const std::vector<std::string>& arguments,
                        int windowStyle) override;
    // Programs take their command line apart themselves.
    bool takesCommandLine() const override { return true; }
    // CreateProcessW with "program" + " " + parameters as the command line
    // (just "program" when parameters is empty).
    std::uint32_t startCommandLine(const std::string& program, const std::string& parameters,
                                   int windowStyle) override;
    // Our children's handles are kept, so their codes stay readable after
    // they end; any other process is opened by its id.
    std::optional<std::uint32_t> exitCode(std::uint32_t pid) override;
    // An exit code in the NTSTATUS error range (0xC0000000 and up): an
    // access violation, a stack overflow, an unhandled exception.
    bool endedAbnormally(std::uint32_t pid) override;
    // ShellExecuteW "open": the file's default application, the browser for an address.
    void openDocument(const std::string& pathOrUrl) override;
    bool findWindow(const std::string& title) override;
    bool showWindow(const std::string& title, bool show) override;
    // A named mutex in this session's namespace, held until the process ends.
    bool acquireInstanceLock(const std::string& key) override;

private:
    std::uint32_t create(const std::string& program, std::wstring commandLine, int windowStyle);
    std::map<DWORD, HANDLE> children_;
    std::map<std::string, HANDLE> locks_;
};

}  // namespace nocturo::platform::win32

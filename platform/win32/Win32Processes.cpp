#include "platform/win32/Win32Processes.h"

#include <shellapi.h>

#include <cstdio>

#include "platform/Error.h"
#include "platform/win32/WinText.h"

namespace nocturo::platform::win32 {

namespace {

bool hasNul(const std::string& s) { return s.find('\0') != std::string::npos; }

// The program's window styles as ShowWindow's commands.
WORD showCommandFor(int windowStyle) {
    switch (windowStyle) {
    case ws::Hide: return SW_HIDE;
    case ws::MinimizedFocus: return SW_SHOWMINIMIZED;
    case ws::MaximizedFocus: return SW_SHOWMAXIMIZED;
    case ws::NormalNoFocus: return SW_SHOWNOACTIVATE;
    case ws::MinimizedNoFocus: return SW_SHOWMINNOACTIVE;
    case ws::NormalFocus:
    default: return SW_SHOWNORMAL;
    }
}

bool hasPath(const std::string& program) { return program.find_first_of("\\/:") != std::string::npos; }

std::uint64_t fnv1a64(const std::string& text) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : text) {
        h ^= c;
        h *= 0x100000001b3ull;
    }
    return h;
}

HWND windowTitled(const std::string& title) {
    const std::wstring wide = Widen(title);
    return FindWindowW(nullptr, wide.c_str());
}

}  // namespace

std::wstring QuoteArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) return argument;
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count double only before a quote.
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');  // before the closing quote
    out += L'"';
    return out;
}

std::wstring BuildCommandLine(const std::string& program, const std::vector<std::string>& arguments) {
    // The program name is always quoted: "C:\Program Files\x.exe" must not
    // start C:\Program.
    std::wstring line = L"\"" + Widen(program) + L"\"";
    for (const auto& a : arguments) line += L" " + QuoteArgument(Widen(a));
    return line;
}

std::wstring InstanceMutexName(const std::string& key) {
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(fnv1a64(key)));
    return L"Local\\Nocturo-" + Widen(hex);
}

Win32Processes::~Win32Processes() {
    for (auto& [pid, handle] : children_) CloseHandle(handle);
    for (auto& [key, mutex] : locks_) {
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
}

namespace {

void checkProgramName(const std::string& program) {
    if (program.empty()) throw Error(err::FileNotFound, "cannot start a program without a name");
    if (hasNul(program)) throw Error(err::InvalidProcedureCall, "program name holds a NUL character");
    if (program.find('"') != std::string::npos)
        throw Error(err::FileNotFound, "cannot start \"" + program + "\": a file name holds no quote");
}

}  // namespace

std::uint32_t Win32Processes::start(const std::string& program, const std::vector<std::string>& arguments,
                                    int windowStyle) {
    checkProgramName(program);
    for (const auto& a : arguments)
        if (hasNul(a)) throw Error(err::InvalidProcedureCall, "argument for \"" + program + "\" holds a NUL character");
    return create(program, BuildCommandLine(program, arguments), windowStyle);
}

std::uint32_t Win32Processes::startCommandLine(const std::string& program, const std::string& parameters,
                                               int windowStyle) {
    checkProgramName(program);
    if (hasNul(parameters))
        throw Error(err::InvalidProcedureCall, "parameters for \"" + program + "\" hold a NUL character");
    std::wstring commandLine = BuildCommandLine(program, {});
    if (!parameters.empty()) commandLine += L" " + Widen(parameters);
    return create(program, std::move(commandLine), windowStyle);
}

std::uint32_t Win32Processes::create(const std::string& program, std::wstring commandLine, int windowStyle) {
    const std::wstring application = Widen(program);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = showCommandFor(windowStyle);
    PROCESS_INFORMATION info{};
    // With a path the file is taken as it is named; a bare name is searched
    // for (the program's folder, the system folders, PATH) and gets ".exe".
    if (!CreateProcessW(hasPath(program) ? application.c_str() : nullptr, commandLine.data(), nullptr, nullptr,
                        FALSE, CREATE_UNICODE_ENVIRONMENT, nullptr, nullptr, &startup, &info))
        throw LastError("cannot start \"" + program + "\"");
    CloseHandle(info.hThread);
    if (auto old = children_.find(info.dwProcessId); old != children_.end()) CloseHandle(old->second);
    children_[info.dwProcessId] = info.hProcess;
    return info.dwProcessId;
}

std::optional<std::uint32_t> Win32Processes::exitCode(std::uint32_t pid) {
    DWORD code = 0;
    if (auto it = children_.find(pid); it != children_.end()) {
        if (!GetExitCodeProcess(it->second, &code)) return std::nullopt;
        return code;
    }
    HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!h) return std::nullopt;
    const BOOL ok = GetExitCodeProcess(h, &code);
    CloseHandle(h);
    if (!ok) return std::nullopt;
    return code;
}

bool Win32Processes::endedAbnormally(std::uint32_t pid) {
    if (!children_.count(pid)) return false;
    const auto code = exitCode(pid);
    return code && *code != StillActive && *code >= 0xC0000000u;
}

void Win32Processes::openDocument(const std::string& pathOrUrl) {
    if (pathOrUrl.empty()) throw Error(err::FileNotFound, "nothing to open");
    if (hasNul(pathOrUrl)) throw Error(err::InvalidProcedureCall, "document name holds a NUL character");
    const std::wstring target = Widen(pathOrUrl);
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (result > 32) return;
    // Values up to 32 are the old error codes; the file ones match the system's.
    switch (result) {
    case 0:
    case SE_ERR_OOM: throw Error(err::SystemCallFailed, "cannot open \"" + pathOrUrl + "\" (out of memory)");
    case SE_ERR_FNF: throw ErrorFromCode(ERROR_FILE_NOT_FOUND, "cannot open \"" + pathOrUrl + "\"");
    case SE_ERR_PNF: throw ErrorFromCode(ERROR_PATH_NOT_FOUND, "cannot open \"" + pathOrUrl + "\"");
    case SE_ERR_ACCESSDENIED: throw ErrorFromCode(ERROR_ACCESS_DENIED, "cannot open \"" + pathOrUrl + "\"");
    case SE_ERR_NOASSOC:
        throw Error(err::SystemCallFailed, "cannot open \"" + pathOrUrl + "\" (no application is associated with it)");
    default: throw Error(err::SystemCallFailed, "cannot open \"" + pathOrUrl + "\" (error " + std::to_string(result) + ")");
    }
}

bool Win32Processes::findWindow(const std::string& title) { return windowTitled(title) != nullptr; }

bool Win32Processes::showWindow(const std::string& title, bool show) {
    HWND window = windowTitled(title);
    if (!window) return false;
    ShowWindow(window, show ? SW_SHOW : SW_HIDE);
    return true;
}

bool Win32Processes::acquireInstanceLock(const std::string& key) {
    if (locks_.count(key)) return true;
    const std::wstring name = InstanceMutexName(key);
    HANDLE mutex = CreateMutexW(nullptr, TRUE, name.c_str());
    if (!mutex) {
        // Another user's object of that name in this session's namespace.
        if (GetLastError() == ERROR_ACCESS_DENIED) return false;
        throw LastError("cannot create the instance lock");
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return false;
    }
    locks_[key] = mutex;
    return true;
}

}  // namespace nocturo::platform::win32

#include "platform/win32/Win32Platform.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>

#include "platform/Error.h"
#include "platform/common/SocketSntp.h"
#include "platform/win32/ConsoleDialogs.h"
#include "platform/win32/SapiSpeech.h"
#include "platform/win32/Win32Clock.h"
#include "platform/win32/Win32EventLoop.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32Processes.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32ScreenSaver.h"
#include "platform/win32/Win32ServiceControl.h"
#include "platform/win32/Win32SessionPower.h"
#include "platform/win32/Win32Sound.h"
#include "platform/win32/Win32SystemInfo.h"
#include "platform/win32/Win32TimeSettings.h"
#include "platform/win32/Win32Windows.h"
#include "platform/win32/WinHttpClient.h"
#include "platform/win32/WinText.h"

namespace nocturo::platform {

std::string ExecutableFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return ".";
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);  // cut short: a long path, try again with room for it
    }
    const auto slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return ".";
    // "C:\nocturo.exe" lives in "C:\", not in the drive's current folder "C:".
    const bool atRoot = slash == 2 && path[1] == L':';
    return win32::Narrow(path.substr(0, atRoot ? slash + 1 : slash));
}

namespace win32 {

std::vector<std::string> Utf8Arguments() {
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!argv) return args;
    for (int i = 1; i < count; ++i) args.push_back(Narrow(argv[i]));
    LocalFree(argv);
    return args;
}

namespace {
bool usable(DWORD which) {
    HANDLE h = GetStdHandle(which);
    return h && h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_UNKNOWN;
}
}  // namespace

bool AttachParentConsole() {
    const bool haveOut = usable(STD_OUTPUT_HANDLE), haveErr = usable(STD_ERROR_HANDLE), haveIn = usable(STD_INPUT_HANDLE);
    bool console = false;
    if (!(haveOut && haveErr && haveIn) && AttachConsole(ATTACH_PARENT_PROCESS)) {
        console = true;
        FILE* ignored = nullptr;
        if (!haveOut && freopen_s(&ignored, "CONOUT$", "w", stdout) == 0) setvbuf(stdout, nullptr, _IONBF, 0);
        if (!haveErr && freopen_s(&ignored, "CONOUT$", "w", stderr) == 0) setvbuf(stderr, nullptr, _IONBF, 0);
        if (!haveIn) freopen_s(&ignored, "CONIN$", "r", stdin);
        // The Win32 handles too, for the console dialogs and WriteConsoleW.
        auto open = [](const wchar_t* name, DWORD access) {
            return CreateFileW(name, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        };
        if (!haveOut) SetStdHandle(STD_OUTPUT_HANDLE, open(L"CONOUT$", GENERIC_READ | GENERIC_WRITE));
        if (!haveErr) SetStdHandle(STD_ERROR_HANDLE, open(L"CONOUT$", GENERIC_READ | GENERIC_WRITE));
        if (!haveIn) SetStdHandle(STD_INPUT_HANDLE, open(L"CONIN$", GENERIC_READ | GENERIC_WRITE));
    }
    DWORD mode = 0;
    if (GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode)) {
        console = true;
        SetConsoleOutputCP(CP_UTF8);  // the program's text is UTF-8
    }
    return console || haveOut;
}

}  // namespace win32

namespace {

class Win32Host : public PlatformHost {
public:
    explicit Win32Host(const Win32Options& o)
        : system(o.programFolder.empty() ? ExecutableFolder() : o.programFolder),
          // The service and the start at login run the program, whichever
          // of the programs asks (nocturoctl installs it too).
          service(win32::SystemScmCalls(), system.programFolder() + "\\nocturo.exe") {
        name = "win32";
        pf.registry = &registry;
        pf.files = &files;
        pf.system = &system;
        pf.clock = &clock;
        pf.loop = &loop;
        pf.dialogs = &dialogs;
        pf.processes = &processes;
        pf.power = &power;
        pf.sound = &sound;
        pf.speech = &speech;
        pf.windows = &windows;
        pf.tray = nullptr;     // the desktop puts its notification icon in place
        pf.http = &http;
        pf.sntp = &sntp;
        pf.service = &service;
        pf.time = &time;
        pf.screenSaver = &screenSaver;
        dialogs.setPump(&loop);
    }

    win32::Win32Registry registry;
    win32::Win32FileSystem files;
    win32::Win32SystemInfo system;
    win32::Win32Clock clock;
    win32::Win32EventLoop loop;
    win32::ConsoleDialogs dialogs;
    win32::Win32Processes processes;
    win32::Win32SessionPower power;
    win32::Win32Sound sound;
    win32::SapiSpeech speech;
    win32::Win32Windows windows;
    win32::WinHttpClient http;
    SocketSntp sntp;
    win32::Win32ServiceControl service;
    win32::Win32TimeSettings time;
    win32::Win32ScreenSaver screenSaver;
};

}  // namespace

std::unique_ptr<PlatformHost> MakeWin32Platform(const Win32Options& options) {
    return std::make_unique<Win32Host>(options);
}

}  // namespace nocturo::platform

// The program the process tests start: writes the arguments it was given
// (as the system splits its command line) to the file named by the first
// one, one per line in UTF-8, and exits with the code in the second. The
// command line itself, as it came (GetCommandLineW), goes to that file's
// name followed by ".cmdline", in UTF-8.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main() {
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!args || count < 3) return 100;
    FILE* out = _wfopen(args[1], L"wb");
    if (!out) return 101;
    for (int i = 3; i < count; ++i) {
        char text[4096];
        const int n = WideCharToMultiByte(CP_UTF8, 0, args[i], -1, text, sizeof text, nullptr, nullptr);
        if (n > 0) std::fprintf(out, "%s\n", text);
    }
    std::fclose(out);
    const std::wstring rawName = std::wstring(args[1]) + L".cmdline";
    if (FILE* raw = _wfopen(rawName.c_str(), L"wb")) {
        const wchar_t* line = GetCommandLineW();
        const int size = WideCharToMultiByte(CP_UTF8, 0, line, -1, nullptr, 0, nullptr, nullptr);
        std::string text(size > 0 ? static_cast<size_t>(size) : 1u, '\0');
        WideCharToMultiByte(CP_UTF8, 0, line, -1, text.data(), size, nullptr, nullptr);
        std::fputs(text.c_str(), raw);
        std::fclose(raw);
    }
    const unsigned long code = std::wcstoul(args[2], nullptr, 0);
    LocalFree(args);
    ExitProcess(static_cast<UINT>(code));
}

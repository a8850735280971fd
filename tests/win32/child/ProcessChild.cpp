// The program the process tests start: writes the arguments it was given
// (as the system splits its command line) to the file named by the first
// one, one per line in UTF-8, and exits with the code in the second.
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
    const unsigned long code = std::wcstoul(args[2], nullptr, 0);
    LocalFree(args);
    ExitProcess(static_cast<UINT>(code));
}

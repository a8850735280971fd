#include "base/Varn_ErrorLog.h"

#include "platform/IProcesses.h"

#include <exception>
#include <filesystem>
#include <new>
#include <variant>

#include "base/InstallLayout.h"
#include "base/Runtime.h"
#include "base/TimeFormat.h"
#include "base/Varn_GetSystemInfos.h"
#include "base/Varn_File_Dir.h"
#include "platform/Error.h"

namespace nocturo {

namespace {

// Writing the log must never log again (a failing folder creation inside it
// would otherwise recurse): inner calls are dropped.
bool g_writing = false;

class WritingGuard {
public:
    WritingGuard() : active_(!g_writing) { g_writing = true; }
    ~WritingGuard() {
        if (active_) g_writing = false;
    }
    bool active() const { return active_; }

private:
    bool active_;
};

std::string versionText() {
    return std::to_string(version::Major) + "." + std::to_string(version::Minor) + "." +
           std::to_string(version::Revision);
}

std::string nowText() {
    try {
        return FormatGeneral(clock().now());
    } catch (...) {
        return "";
    }
}

void appendToLog(const std::string& line) {
    std::string path;
    try {
        path = ErrorLogPath();
        if (path.empty()) return;
        PrepareFolder(Layout().errorLogFolder);
    } catch (...) {
    }
    try {
        files().appendFile(path, line + LineEnd());
    } catch (...) {
    }
}

}  // namespace

std::string ErrorLogPath() {
    const std::string& folder = Layout().errorLogFolder;
    return folder.empty() ? std::string() : JoinPath(folder, "error.log");
}

void WriteErrorLog(const std::string& source, const std::string& procedure, long line, long number,
                   const std::string& description) noexcept {
    if (!hasRuntime()) return;
    WritingGuard guard;
    if (!guard.active()) return;
    // The first failure creates the log, with its header, whenever it comes
    // (also before start-up has prepared the log).
    StartErrorLog();
    try {
        std::string entry = nowText() + "  " + source + " : " + std::to_string(version::ProductNumber) + " v." +
                            versionText() + "  " + procedure + "  " + std::to_string(line) + "  " +
                            std::to_string(number) + "  " + description;
        appendToLog(entry);
    } catch (...) {
    }
    try {
        if (rt().errorIndicator) rt().errorIndicator();
    } catch (...) {
    }
}

void WriteErrorArgs(std::initializer_list<Variant> args) noexcept {
    if (!hasRuntime()) return;
    WritingGuard guard;
    if (!guard.active()) return;
    try {
        std::string entry;
        size_t n = 0;
        for (const auto& a : args) {
            if (n == 10) break;
            if (n) entry += '\t';
            try {
                entry += CStr(a);
            } catch (...) {
            }
            ++n;
        }
        for (; n < 10; ++n) entry += '\t';
        appendToLog(entry);
    } catch (...) {
    }
}

void StartErrorLog() noexcept {
    if (!hasRuntime()) return;
    std::string path;
    try {
        path = ErrorLogPath();
        if (path.empty() || files().attributes(path)) return;
        PrepareFolder(Layout().errorLogFolder);
    } catch (...) {
        return;
    }
    auto line = [](std::initializer_list<std::string> items) {
        std::string s;
        for (const auto& i : items) {
            if (!s.empty()) s += '\t';
            s += i;
        }
        return s;
    };
    std::string header;
    auto add = [&](auto&& build) {
        try {
            header += build() + LineEnd();
        } catch (...) {
        }
    };
    add([&] { return "########  Varn error log file - created " + nowText(); });
    add([&] {
        return line({std::to_string(version::ProductNumber), rt().userId, rt().machineNumber, rt().organisation});
    });
    add([&] { return line({std::to_string(SysLanguageID()), SysLanguageName()}); });
    add([&] { return line({Country(), LanguageName(), NativeCountryName()}); });
    add([&] { return line({GetSysDir(), GetWinDir(), sysinfo().programFolder()}); });
    add([&] {
        std::string name = GetWinVersion();
        const auto& v = VersionRecord();
        return line({std::to_string(v.major), std::to_string(v.minor), std::to_string(v.build),
                     std::to_string(v.platformId), name});
    });
    add([] { return std::string("########  End of Header  ##########"); });
    try {
        files().writeFile(path, header);
    } catch (...) {
    }
}

std::pair<long, std::string> CurrentErrorInfo() noexcept {
    try {
        throw;
    } catch (const platform::Error& e) {
        return {e.number(), e.what()};
    } catch (const std::bad_alloc&) {
        return {7, "Out of memory"};
    } catch (const std::bad_variant_access&) {
        return {platform::err::TypeMismatch, "Type mismatch"};
    } catch (const std::invalid_argument& e) {
        return {platform::err::TypeMismatch, std::string("Type mismatch: ") + e.what()};
    } catch (const std::out_of_range& e) {
        return {platform::err::SubscriptOutOfRange, std::string("Subscript out of range: ") + e.what()};
    } catch (const std::overflow_error& e) {
        return {platform::err::Overflow, std::string("Overflow: ") + e.what()};
    } catch (const std::filesystem::filesystem_error& e) {
        return {platform::err::PathFileAccess, e.what()};
    } catch (const std::exception& e) {
        return {platform::err::InvalidProcedureCall, e.what()};
    } catch (...) {
        return {platform::err::InvalidProcedureCall, "Unknown failure"};
    }
}

void ReportCurrentException(const std::string& procedure, long line, const std::string& source) noexcept {
    auto [number, description] = CurrentErrorInfo();
    WriteErrorLog(source, procedure, line, number, description);
}

void OpenInTextEditor(const std::string& path) {
    if (files().pathStyle() == platform::PathStyle::Windows)
        processes().start("notepad.exe", {path}, platform::ws::NormalFocus);
    else
        processes().openDocument(path);
}

void ShowErrorLog() { OpenInTextEditor(ErrorLogPath()); }

}  // namespace nocturo

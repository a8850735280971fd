#include "base/InstallLayout.h"

#include <cstdlib>
#include <memory>

#include "base/Runtime.h"
#include "base/Varn_ErrorLog.h"
#include "base/Varn_File_Dir.h"

namespace nocturo {

namespace {

using platform::PathStyle;

char sepOf(PathStyle style) { return style == PathStyle::Windows ? '\\' : '/'; }

bool isSep(char c, PathStyle style) { return c == '/' || (style == PathStyle::Windows && c == '\\'); }

std::string join(const std::string& folder, const std::string& name, PathStyle style) {
    if (folder.empty()) return name;
    if (isSep(folder.back(), style)) return folder + name;
    return folder + sepOf(style) + name;
}

// The folder above the program folder, without a trailing separator but for
// the root ("/" for "/bin").
std::string parentOf(const std::string& folder, PathStyle style) {
    std::size_t end = folder.size();
    while (end > 0 && isSep(folder[end - 1], style)) --end;
    while (end > 0 && !isSep(folder[end - 1], style)) --end;
    while (end > 0 && isSep(folder[end - 1], style)) --end;
    if (end == 0 && !folder.empty() && isSep(folder[0], style)) return std::string(1, folder[0]);
    return folder.substr(0, end);
}

bool isAbsolute(const std::string& path, PathStyle style) {
    if (style == PathStyle::Posix) return !path.empty() && path[0] == '/';
    if (path.size() >= 3 && path[1] == ':' && isSep(path[2], style)) return true;
    return path.size() >= 2 && path[0] == '\\' && path[1] == '\\';
}

std::optional<std::string> env(const LayoutFacts& facts, const std::string& name) {
    if (!facts.environment) return std::nullopt;
    auto v = facts.environment(name);
    if (!v || v->empty()) return std::nullopt;
    return v;
}

// The state folder and whether it is the user's own; "" when there is none.
std::pair<std::string, bool> stateFolderOf(const LayoutFacts& facts) {
    const PathStyle style = facts.style;
    if (style == PathStyle::Windows) {
        auto local = env(facts, "LOCALAPPDATA");
        if (local && isAbsolute(*local, style)) return {join(*local, "Nocturo", style), true};
        return {"", true};
    }
    if (facts.service) {
        // systemd names the unit's LogsDirectory (several are separated by colons).
        if (auto logs = env(facts, "LOGS_DIRECTORY")) {
            std::string first = logs->substr(0, logs->find(':'));
            if (isAbsolute(first, style)) return {first, false};
        }
        return {"/var/log/nocturo", false};
    }
    if (auto state = env(facts, "XDG_STATE_HOME"); state && isAbsolute(*state, style))
        return {join(*state, "nocturo", style), true};
    if (auto home = env(facts, "HOME"); home && isAbsolute(*home, style))
        return {join(join(join(*home, ".local", style), "state", style), "nocturo", style), true};
    return {"", true};
}

}  // namespace

InstallLayout ChooseInstallLayout(const LayoutFacts& facts) {
    const PathStyle style = facts.style;
    const std::string& program = facts.programFolder;
    auto exists = [&](const std::string& p) { return facts.folderExists && facts.folderExists(p); };
    auto writable = [&](const std::string& p) { return facts.folderWritable && facts.folderWritable(p); };

    InstallLayout l;
    // The self-contained folders keep the form they always had:
    // <program folder>/../Common.
    const std::string beside = join(program, "..", style);
    const std::string common = join(beside, "Common", style);
    l.selfContained = exists(common);
    if (l.selfContained) {
        l.dataFolder = common;
        l.helperFolder = program;
        l.manualFile = join(join(beside, "doc", style), "README.html", style);
        l.usesStateFolder = !writable(common);
    } else {
        const std::string prefix = parentOf(program, style);
        const std::string share = join(prefix, "share", style);
        l.dataFolder = join(share, "nocturo", style);
        l.helperFolder = join(join(prefix, "libexec", style), "nocturo", style);
        l.manualFile = join(join(join(share, "doc", style), "nocturo", style), "README.html", style);
        l.usesStateFolder = true;
    }
    auto [state, perUser] = stateFolderOf(facts);
    l.stateFolder = state;
    l.stateIsPerUser = perUser;
    if (l.usesStateFolder) {
        l.errorLogFolder = l.actionLogFolder = l.cleanerLogFolder = state;
        l.tempFolder = state.empty() ? std::string() : join(state, "temp", style);
    } else {
        l.errorLogFolder = common;
        l.actionLogFolder = program;
        l.cleanerLogFolder = program;
        l.tempFolder = join(beside, "temp", style);
    }
    return l;
}

std::optional<std::string> ProcessEnvironment(const std::string& name) {
    const char* v = std::getenv(name.c_str());
    if (!v) return std::nullopt;
    return std::string(v);
}

LayoutFacts ProcessLayoutFacts(platform::IFileSystem& fs, const std::string& programFolder, bool service) {
    LayoutFacts facts;
    facts.programFolder = programFolder;
    facts.style = fs.pathStyle();
    facts.service = service;
    facts.environment = ProcessEnvironment;
    facts.folderExists = [&fs](const std::string& p) { return fs.folderExists(p); };
    facts.folderWritable = [&fs](const std::string& p) { return fs.folderWritable(p); };
    return facts;
}

const InstallLayout& Layout() {
    Runtime& r = rt();
    if (!r.installLayout)
        r.installLayout = std::make_shared<const InstallLayout>(
            ChooseInstallLayout(ProcessLayoutFacts(files(), sysinfo().programFolder(), r.runsAsService)));
    return *r.installLayout;
}

void SetRunsAsService(bool service) {
    rt().runsAsService = service;
    rt().installLayout.reset();
}

void PrepareFolder(const std::string& folder) {
    if (folder.empty()) return;
    try {
        const InstallLayout& l = Layout();
        const std::string& state = l.stateFolder;
        // Inside the state folder: that one first, private when it is the user's.
        if (l.stateIsPerUser && !state.empty() && folder.compare(0, state.size(), state) == 0 &&
            (folder.size() == state.size() || isSep(folder[state.size()], files().pathStyle())) &&
            !files().folderExists(state))
            CreateDirectoryStruct(state, true);
    } catch (...) {
        ReportCurrentException("PrepareFolder of Modul InstallLayout", 1);
    }
    CreateDirectoryStruct(folder);
}

}  // namespace nocturo

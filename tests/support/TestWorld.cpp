#include "support/TestWorld.h"

#include "base/Strings.h"
#include "platform/Error.h"

namespace nocturo::test {

void MapRegistry::check(const std::string& path) {
    if (failWrites) {
        ++refusedWrites;
        throw platform::Error(platform::err::PermissionDenied, "Permission denied");
    }
    const std::string root = path.substr(0, path.find('\\'));
    if (refuseMachineWrites && (EqualsNoCase(root, "HKEY_LOCAL_MACHINE") || EqualsNoCase(root, "HKLM"))) {
        ++refusedWrites;
        refusedPaths.push_back(path);
        throw platform::Error(platform::err::PermissionDenied,
                              "cannot create registry key \"" + path + "\" (Access is denied)");
    }
}

void MapRegistry::writeString(const std::string& path, const std::string& text) {
    check(path);
    MemoryRegistry::writeString(path, text);
}

void MapRegistry::writeDword(const std::string& path, std::uint32_t value) {
    check(path);
    MemoryRegistry::writeDword(path, value);
}

void MapRegistry::deleteValue(const std::string& path) {
    if (refuseMachineWrites) check(path);
    MemoryRegistry::deleteValue(path);
}

void CountingLoop::yield() {
    ++yields;
    auto work = std::move(posted);
    posted.clear();
    for (auto& fn : work) fn();
    if (onYield) onYield();
}

int ScriptedDialogs::messageBox(const std::string& prompt, int style, const std::string& title) {
    shown.push_back({prompt, title, style});
    if (!answers.empty()) {
        int a = answers.front();
        answers.pop_front();
        return a;
    }
    switch (style & 7) {
    case 2: return 3;
    case 3:
    case 4: return 6;
    case 5: return 4;
    default: return 1;
    }
}

std::optional<std::string> ScriptedDialogs::inputBox(const std::string& prompt, const std::string& title,
                                                     const std::string&) {
    shown.push_back({prompt, title, -1});
    if (texts.empty()) return std::nullopt;
    auto t = texts.front();
    texts.pop_front();
    return t;
}

std::string ScriptedDialogs::browseForFolder(const std::string& title, const std::string&, bool) {
    shown.push_back({"", title, -2});
    auto t = inputBox("", title, "");
    return t.value_or("");
}

std::string ScriptedDialogs::openFile(const std::string& title, const std::string&) {
    return browseForFolder(title, "", true);
}

void LayOutProgramFolder(FakeFileSystem& fs, FakeSystemInfo& sys, platform::PathStyle style) {
    if (style == platform::PathStyle::Windows) {
        fs.addRoot("C:");
        sys.programDir = "C:\\Program Files\\Nocturo\\bin";
        sys.sysDir = "C:\\Windows\\System32";
        sys.winDir = "C:\\Windows";
    } else {
        fs.addRoot("/");
        sys.programDir = "/opt/nocturo/bin";
        sys.sysDir = "/usr/bin";
        sys.winDir = "/";
    }
    fs.addFolder(sys.programDir);
    // A self-contained copy: Common beside the program folder.
    const char sep = fs.separator();
    fs.addFolder(sys.programDir + sep + ".." + sep + "Common");
}

TestWorld::TestWorld(platform::PathStyle style) : fs(style) {
    LayOutProgramFolder(fs, sys, style);
    runtime.pf.files = &fs;
    runtime.pf.registry = &reg;
    runtime.pf.clock = &clk;
    runtime.pf.loop = &evloop;
    runtime.pf.dialogs = &dlg;
    runtime.pf.system = &sys;
    runtime.pf.windows = &screen;
    runtime.pf.tray = &tray;
    runtime.errorIndicator = [this] { ++errorIndicatorCount; };
    scope_ = std::make_unique<RuntimeScope>(runtime);
}

TestWorld::~TestWorld() = default;

std::string TestWorld::errorLog() {
    char sep = fs.separator();
    std::string path = sys.programDir + sep + ".." + sep + "Common" + sep + "error.log";
    return fs.readFile(path).value_or("");
}

}  // namespace nocturo::test

#include "base/Varn_Registry.h"

#include "base/Runtime.h"
#include "base/Strings.h"
#include "base/Varn_ErrorLog.h"
#include "platform/Error.h"

namespace nocturo {

namespace {

std::string proc(const char* name) { return std::string(name) + " of Modul Varn_Registry"; }

// A store that cannot be written fails every write alike: the first failure
// is logged, the ones after it until a write succeeds again are not (the
// crash marker alone would write one every five seconds).
template <class Write>
SettingWrite storeWrite(const char* procedure, Write&& write, std::initializer_list<Variant> args) {
    try {
        write();
        rt().settingsWriteFailing = false;
        return SettingWrite::Stored;
    } catch (...) {
        const SettingWrite outcome =
            CurrentErrorInfo().first == platform::err::PermissionDenied ? SettingWrite::Refused : SettingWrite::Failed;
        if (rt().settingsWriteFailing) return outcome;
        rt().settingsWriteFailing = true;
        ReportCurrentException(proc(procedure), 3);
        WriteErrorArgs(args);
        return outcome;
    }
}

SettingWrite writeText(const std::string& path, const std::string& text) {
    if (rt().settingsClosed) return SettingWrite::Stored;  // dropped by design
    return storeWrite("CreateKey", [&] { registry().writeString(path, text); }, {path, text});
}

SettingWrite writeNumber(const std::string& path, const Variant& value) {
    if (rt().settingsClosed) return SettingWrite::Stored;
    std::uint32_t number = 0;
    try {
        number = static_cast<std::uint32_t>(CLng(value));
    } catch (...) {
        ReportCurrentException(proc("CreateNumericKey"), 3);
        WriteErrorArgs({path, value});
        return SettingWrite::Failed;
    }
    return storeWrite("CreateNumericKey", [&] { registry().writeDword(path, number); }, {path, value});
}

}  // namespace

void CreateKey(const std::string& path, const std::string& text) { writeText(path, text); }

void CreateIntegerKey(const std::string& path, std::int16_t value) {
    try {
        registry().writeDword(path, static_cast<std::uint32_t>(static_cast<std::int32_t>(value)));
    } catch (...) {
        ReportCurrentException(proc("CreateIntegerKey"), 3);
        WriteErrorArgs({path, static_cast<std::int32_t>(value)});
    }
}

void CreateNumericKey(const std::string& path, const Variant& value) { writeNumber(path, value); }

Variant ReadKeyV(const std::string& path) {
    try {
        auto v = registry().read(path);
        if (!v) return Variant{};
        if (auto* s = std::get_if<std::string>(&*v)) return *s;
        return static_cast<std::int32_t>(std::get<std::uint32_t>(*v));
    } catch (...) {
        ReportCurrentException(proc("ReadKeyV"), 3);
        WriteErrorArgs({path});
        return Variant{};
    }
}

std::string ReadKey(const std::string& path) {
    try {
        auto v = registry().read(path);
        if (!v) return "";
        if (auto* s = std::get_if<std::string>(&*v)) return *s;
        return std::to_string(static_cast<std::int32_t>(std::get<std::uint32_t>(*v)));
    } catch (...) {
        ReportCurrentException(proc("ReadKey"), 3);
        WriteErrorArgs({path});
        return "";
    }
}

bool RegKeyExists(std::string& path) {
    bool result = true;
    Step(proc("RegKeyExists").c_str(), 2, [&] {
        path = Trim(path);
        // The read itself is silent: a value that cannot be read is a missing one.
        try {
            result = registry().exists(path);
        } catch (...) {
            result = false;
        }
    });
    return result;
}

bool RegKeyExists(const std::string& path) {
    std::string copy = path;
    return RegKeyExists(copy);
}

void DeleteKey(const std::string& path) {
    if (rt().settingsClosed) return;
    std::string p = path;
    if (!RegKeyExists(p)) return;
    try {
        registry().deleteValue(p);
    } catch (...) {
        ReportCurrentException(proc("DeleteKey"), 3);
        WriteErrorArgs({path});
    }
}

std::string SettingsRoot(const std::string& app) {
    const std::string machine = MachineApp();
    const bool machineTree = EqualsNoCase(app, machine) ||
                             (app.size() > machine.size() && app[machine.size()] == '\\' &&
                              EqualsNoCase(app.substr(0, machine.size()), machine));
    if (machineTree || !rt().pf.registry) return "HKEY_LOCAL_MACHINE";
    return registry().userSettingsRoot();
}

std::string SettingsKey(const std::string& app, const std::string& section) {
    return SettingsRoot(app) + "\\Software\\" + app + "\\" + section;
}

std::string SettingPath(const std::string& app, const std::string& section, const std::string& name) {
    return SettingsKey(app, section) + "\\" + name;
}

SettingWrite WriteSetting(const std::string& app, const std::string& section, const std::string& name,
                          const Variant& value) {
    const std::string path = SettingPath(app, section, name);
    if (IsString(value)) return writeText(path, std::get<std::string>(value));
    return writeNumber(path, value);
}

Variant ReadSetting(const std::string& app, const std::string& section, const std::string& name,
                    const Variant& defaultValue) {
    std::string path = SettingPath(app, section, name);
    if (RegKeyExists(path)) return ReadKeyV(path);
    return defaultValue;
}

SettingsBatch::SettingsBatch(std::string procedure, const char* source)
    : procedure_(std::move(procedure)), source_(source) {
    started_ = Step(procedure_.c_str(), 0, [] { registry().beginBatch(); }, source_);
}

SettingsBatch::~SettingsBatch() {
    if (started_) Step(procedure_.c_str(), 0, [] { registry().endBatch(); }, source_);
}

namespace {

// Copies every string and number value of the key from, and of the keys
// below it, to the same names below to. Returns the number copied.
int copyTree(const std::string& from, const std::string& to, int depth = 0) {
    int copied = 0;
    for (const auto& [name, value] : registry().values(from)) {
        if (name.empty()) continue;  // a key's default value: the program has none
        if (auto* text = std::get_if<std::string>(&value)) registry().writeString(to + "\\" + name, *text);
        else registry().writeDword(to + "\\" + name, std::get<std::uint32_t>(value));
        ++copied;
    }
    if (depth < 32)
        for (const std::string& sub : registry().subKeys(from))
            copied += copyTree(from + "\\" + sub, to + "\\" + sub, depth + 1);
    return copied;
}

}  // namespace

int MoveOldUserTree() {
    int copied = 0;
    Step(proc("MoveOldUserTree").c_str(), 1, [&] {
        const std::string root = registry().userSettingsRoot();
        if (EqualsNoCase(root, "HKEY_LOCAL_MACHINE")) return;  // it never moved
        if (EqualsNoCase(rt().userId, rt().machineNumber)) return;  // a service keeps the machine tree
        const std::string program = "Varn\\" + rt().appName;
        const std::string home = root + "\\Software\\" + program;
        for (const std::string& tree : registry().subKeys(home))
            if (EqualsNoCase(tree, rt().userId)) return;  // moved before, or made since
        const std::string virtualStore = "HKEY_CURRENT_USER\\Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE\\";
        // The 32-bit program on 64-bit Windows saw its key below WOW6432Node.
        const std::string sources[] = {
            "HKEY_LOCAL_MACHINE\\Software\\WOW6432Node\\" + program,
            "HKEY_LOCAL_MACHINE\\Software\\" + program,
            virtualStore + "WOW6432Node\\" + program,
            virtualStore + program,
        };
        const std::string target = home + "\\" + rt().userId;
        for (const std::string& source : sources) {
            for (const std::string& tree : registry().subKeys(source))
                if (EqualsNoCase(tree, rt().userId)) copied += copyTree(source + "\\" + tree, target);
        }
    });
    return copied;
}

std::string AppKeyFor(const std::string& identity) { return "Varn\\" + rt().appName + "\\" + identity; }
std::string UserApp() { return AppKeyFor(rt().userId); }
std::string MachineApp() { return AppKeyFor(rt().machineNumber); }

}  // namespace nocturo

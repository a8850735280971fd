#include "base/Varn_Registry.h"

#include "base/Runtime.h"
#include "base/Strings.h"
#include "base/Varn_ErrorLog.h"

namespace nocturo {

namespace {

std::string proc(const char* name) { return std::string(name) + " of Modul Varn_Registry"; }

// A store that cannot be written fails every write alike: the first failure
// is logged, the ones after it until a write succeeds again are not (the
// crash marker alone would write one every five seconds).
template <class Write>
void storeWrite(const char* procedure, Write&& write, std::initializer_list<Variant> args) {
    try {
        write();
        rt().settingsWriteFailing = false;
    } catch (...) {
        if (rt().settingsWriteFailing) return;
        rt().settingsWriteFailing = true;
        ReportCurrentException(proc(procedure), 3);
        WriteErrorArgs(args);
    }
}

}  // namespace

void CreateKey(const std::string& path, const std::string& text) {
    if (rt().settingsClosed) return;
    storeWrite("CreateKey", [&] { registry().writeString(path, text); }, {path, text});
}

void CreateIntegerKey(const std::string& path, std::int16_t value) {
    try {
        registry().writeDword(path, static_cast<std::uint32_t>(static_cast<std::int32_t>(value)));
    } catch (...) {
        ReportCurrentException(proc("CreateIntegerKey"), 3);
        WriteErrorArgs({path, static_cast<std::int32_t>(value)});
    }
}

void CreateNumericKey(const std::string& path, const Variant& value) {
    if (rt().settingsClosed) return;
    std::uint32_t number = 0;
    try {
        number = static_cast<std::uint32_t>(CLng(value));
    } catch (...) {
        ReportCurrentException(proc("CreateNumericKey"), 3);
        WriteErrorArgs({path, value});
        return;
    }
    storeWrite("CreateNumericKey", [&] { registry().writeDword(path, number); }, {path, value});
}

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

std::string SettingPath(const std::string& app, const std::string& section, const std::string& name) {
    return "HKEY_LOCAL_MACHINE\\Software\\" + app + "\\" + section + "\\" + name;
}

void WriteSetting(const std::string& app, const std::string& section, const std::string& name, const Variant& value) {
    const std::string path = SettingPath(app, section, name);
    if (IsString(value))
        CreateKey(path, std::get<std::string>(value));
    else
        CreateNumericKey(path, value);
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

std::string AppKeyFor(const std::string& identity) { return "Varn\\" + rt().appName + "\\" + identity; }
std::string UserApp() { return AppKeyFor(rt().userId); }
std::string MachineApp() { return AppKeyFor(rt().machineNumber); }

}  // namespace nocturo

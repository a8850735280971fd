#pragma once
// Settings in the registry: seven primitives on values addressed by a full
// path, and the two settings wrappers the program stores everything through.
#include <cstdint>
#include <string>

#include "base/Variant.h"

namespace nocturo {

void CreateKey(const std::string& path, const std::string& text);
void CreateIntegerKey(const std::string& path, std::int16_t value);
void CreateNumericKey(const std::string& path, const Variant& value);
std::string ReadKey(const std::string& path);
Variant ReadKeyV(const std::string& path);
bool RegKeyExists(std::string& path);  // trims the caller's path
bool RegKeyExists(const std::string& path);
void DeleteKey(const std::string& path);

// "HKEY_LOCAL_MACHINE\Software\" + app + "\" + section + "\" + name
std::string SettingPath(const std::string& app, const std::string& section, const std::string& name);
void WriteSetting(const std::string& app, const std::string& section, const std::string& name, const Variant& value);
Variant ReadSetting(const std::string& app, const std::string& section, const std::string& name,
                    const Variant& defaultValue);

// The app strings: "Varn\Nocturo\" + identity, for the current user ID and
// for the machine number.
std::string AppKeyFor(const std::string& identity);
std::string UserApp();
std::string MachineApp();
inline constexpr const char* kSettings = "Settings";

// Holds the store's writes back and stores them together when it ends (one
// file write for a whole settings record); a failure then is logged under
// the procedure that saved.
class SettingsBatch {
public:
    explicit SettingsBatch(std::string procedure, const char* source);
    ~SettingsBatch();
    SettingsBatch(const SettingsBatch&) = delete;
    SettingsBatch& operator=(const SettingsBatch&) = delete;

private:
    std::string procedure_;
    const char* source_;
    bool started_ = false;
};

}  // namespace nocturo

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

// How a write of a setting ended. Refused: the store did not let this
// user write there (below HKEY_LOCAL_MACHINE without administrator rights).
enum class SettingWrite { Stored, Failed, Refused };

// Where a settings tree lives: the machine tree (and so every tree of a
// service, whose user ID is the machine number) below HKEY_LOCAL_MACHINE;
// a user's tree, and the trees below it, below the store's root for user
// settings (HKEY_CURRENT_USER on Windows).
std::string SettingsRoot(const std::string& app);
// root + "\Software\" + app + "\" + section (a key)
std::string SettingsKey(const std::string& app, const std::string& section);
// root + "\Software\" + app + "\" + section + "\" + name
std::string SettingPath(const std::string& app, const std::string& section, const std::string& name);
// Failures are logged as CreateKey's and CreateNumericKey's are; the result
// tells the caller whether the value was stored.
SettingWrite WriteSetting(const std::string& app, const std::string& section, const std::string& name,
                          const Variant& value);
Variant ReadSetting(const std::string& app, const std::string& section, const std::string& name,
                    const Variant& defaultValue);

// The app strings: "Varn\Nocturo\" + identity, for the current user ID and
// for the machine number.
std::string AppKeyFor(const std::string& identity);
std::string UserApp();
std::string MachineApp();
inline constexpr const char* kSettings = "Settings";

// The current user's tree where an earlier version kept it: below
// HKEY_LOCAL_MACHINE, or in the copy Windows kept of that in the user's
// virtual store when the program ran without administrator rights
// (HKEY_CURRENT_USER\Software\Classes\VirtualStore\MACHINE\SOFTWARE\...). When
// the user's tree does not exist yet where it lives now, it is made from
// those, the virtual store's values over the machine's; the old trees stay
// as they are. Returns the number of values copied.
int MoveOldUserTree();

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

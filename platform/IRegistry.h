#pragma once
// Registry values addressed by a full path: root, backslash, key path,
// backslash, value name ("HKEY_LOCAL_MACHINE\Software\Varn\Nocturo\ADMIN\Settings\chkSound").
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace nocturo::platform {

// A value as stored: text (REG_SZ) or a 32-bit number (REG_DWORD).
using RegValue = std::variant<std::string, std::uint32_t>;

class IRegistry {
public:
    virtual ~IRegistry() = default;
    // Writers create missing keys on the way. Failures throw platform::Error.
    virtual void writeString(const std::string& path, const std::string& text) = 0;
    virtual void writeDword(const std::string& path, std::uint32_t value) = 0;
    // The value with its type; nullopt when there is no such value.
    // Throws only when the store itself cannot be read.
    virtual std::optional<RegValue> read(const std::string& path) = 0;
    virtual bool exists(const std::string& path) = 0;
    // Deletes one value; a missing value is not an error.
    virtual void deleteValue(const std::string& path) = 0;
    // Whole keys: the path names a key (no value name). Delete removes the key
    // with every sub-key and value; create makes it and its parents.
    virtual void deleteKey(const std::string& keyPath) = 0;
    virtual void createKey(const std::string& keyPath) = 0;
    // The values of one key, in the order they were first written.
    virtual std::vector<std::pair<std::string, RegValue>> values(const std::string& keyPath) = 0;
    // The names of the sub-keys of one key; empty for a missing key.
    virtual std::vector<std::string> subKeys(const std::string& keyPath) = 0;
    // The root below which each user's own settings tree lives. On Windows
    // that is HKEY_CURRENT_USER, which every user may write; a store that
    // is the user's own file keeps everything below HKEY_LOCAL_MACHINE.
    virtual std::string userSettingsRoot() const { return "HKEY_LOCAL_MACHINE"; }
    // A batch of writes: between the two calls writes may be held back and
    // stored together at endBatch (which throws a failure of any of them).
    // Batches nest; reads inside one may not see its writes yet.
    virtual void beginBatch() {}
    virtual void endBatch() {}
    // Names the store, so that two programs sharing one store can tell (the
    // single-instance lock is tied to it).
    virtual std::string storeId() const = 0;
};

}  // namespace nocturo::platform

#pragma once
// An in-memory registry tree and its text form, the registry export format
// ("Windows Registry Editor Version 5.00" files).
//
// Paths are written as on Windows: root, backslash, key path, backslash,
// value name ("HKEY_LOCAL_MACHINE\Software\Varn\Nocturo\ADMIN\Settings\chkSound").
// Key and value names compare without regard to case and keep the case in
// which they were first written. Keys and values keep their insertion order,
// so a file written twice from the same tree is the same file, and a changed
// setting shows up as a one-line difference.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/IRegistry.h"

namespace nocturo::platform {

// Registry value types (the REG_* numbers).
namespace regtype {
inline constexpr std::uint32_t None = 0;
inline constexpr std::uint32_t String = 1;        // REG_SZ
inline constexpr std::uint32_t ExpandString = 2;  // REG_EXPAND_SZ
inline constexpr std::uint32_t Binary = 3;        // REG_BINARY
inline constexpr std::uint32_t Dword = 4;         // REG_DWORD
inline constexpr std::uint32_t MultiString = 7;   // REG_MULTI_SZ
inline constexpr std::uint32_t Qword = 11;        // REG_QWORD
}  // namespace regtype

// One stored value. The program itself writes only strings and numbers; other
// types come from files exported on Windows and are kept as they are, so that
// reading and writing such a file does not lose them.
struct RegData {
    std::uint32_t type = regtype::String;
    std::string text;          // String, ExpandString: UTF-8
    std::uint32_t dword = 0;   // Dword
    std::string raw;           // any other type: the value's bytes

    static RegData String(std::string s) { RegData d; d.type = regtype::String; d.text = std::move(s); return d; }
    static RegData Dword(std::uint32_t v) { RegData d; d.type = regtype::Dword; d.dword = v; return d; }
    bool operator==(const RegData&) const = default;
};

// A file that does not follow the export format. line() is 1-based.
class RegParseError : public std::runtime_error {
public:
    RegParseError(int line, const std::string& reason)
        : std::runtime_error("line " + std::to_string(line) + ": " + reason), line_(line), reason_(reason) {}
    int line() const noexcept { return line_; }
    const std::string& reason() const noexcept { return reason_; }

private:
    int line_;
    std::string reason_;
};

// Case-insensitive comparison of key and value names (ASCII, Latin-1,
// Latin Extended-A, Greek and Cyrillic letters), as the registry compares them.
bool RegNameEquals(std::string_view a, std::string_view b);

class RegStore {
public:
    RegStore();
    ~RegStore();
    RegStore(RegStore&&) noexcept;
    RegStore& operator=(RegStore&&) noexcept;
    RegStore(const RegStore&) = delete;
    RegStore& operator=(const RegStore&) = delete;

    // Value access by full path. Writers create missing keys and return
    // whether the store changed; they throw platform::Error for a path with
    // an unknown root or an empty key name. Readers treat such a path as
    // naming nothing.
    bool write(const std::string& path, RegData data);
    bool writeString(const std::string& path, const std::string& text) { return write(path, RegData::String(text)); }
    bool writeDword(const std::string& path, std::uint32_t value) { return write(path, RegData::Dword(value)); }
    const RegData* find(const std::string& path) const;
    // String and ExpandString read as text, Dword as a number; a value of
    // another type throws platform::Error (type mismatch).
    std::optional<RegValue> read(const std::string& path) const;
    bool exists(const std::string& path) const { return find(path) != nullptr; }
    bool deleteValue(const std::string& path);

    // Whole keys by key path (no value name; a trailing backslash is allowed).
    bool createKey(const std::string& keyPath);
    bool deleteKey(const std::string& keyPath);  // with every sub-key and value
    bool keyExists(const std::string& keyPath) const;
    // Names as first written, in insertion order; empty for a missing key.
    std::vector<std::string> subKeyNames(const std::string& keyPath) const;
    std::vector<std::string> valueNames(const std::string& keyPath) const;
    // The readable values of one key with their names, in insertion order.
    std::vector<std::pair<std::string, RegValue>> values(const std::string& keyPath) const;

    void clear();
    bool empty() const;
    std::size_t valueCount() const;

    // The export format. parse() accepts UTF-8 (with or without BOM) and
    // UTF-16 with BOM, CR LF or LF line ends, comments (";"), continued hex
    // lines, "[-key]" and "name=-" deletions, and the older "REGEDIT4"
    // header. An empty file is an empty store. Throws RegParseError.
    static RegStore parse(std::string_view bytes);
    // UTF-8 without BOM. Strings holding control characters are written in
    // hex(1) form (UTF-16LE), as regedit writes such strings.
    std::string serialize(std::string_view newline = "\n") const;

    struct Key;  // the tree's node, private to the implementation

private:
    class Parser;
    // The key at keyPath ("ROOT\a\b"), or nullptr when it does not exist.
    Key* lookupKey(std::string_view keyPath) const;
    Key* makeKey(std::string_view keyPath, const std::string& fullPath, bool& created);
    void forgetCachedKey() const;

    std::unique_ptr<Key> top_;  // holds the root keys
    // The key found last: settings are read a few dozen at a time from the
    // same key, and this spares walking the path for each of them.
    mutable std::string cachedPath_;
    mutable Key* cachedKey_ = nullptr;
};

// A registry held in memory only (tests, and the simulated platform).
class MemoryRegistry : public IRegistry {
public:
    MemoryRegistry() = default;
    explicit MemoryRegistry(RegStore store) : store_(std::move(store)) {}

    void writeString(const std::string& path, const std::string& text) override;
    void writeDword(const std::string& path, std::uint32_t value) override;
    std::optional<RegValue> read(const std::string& path) override;
    bool exists(const std::string& path) override;
    void deleteValue(const std::string& path) override;
    void deleteKey(const std::string& keyPath) override;
    void createKey(const std::string& keyPath) override;
    std::vector<std::pair<std::string, RegValue>> values(const std::string& keyPath) override;
    std::string storeId() const override;  // "memory:<address>"

    // Direct access for tests; not synchronised with the calls above.
    RegStore& store() { return store_; }

private:
    mutable std::mutex mutex_;
    RegStore store_;
};

}  // namespace nocturo::platform

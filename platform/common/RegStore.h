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

// The registry's own limits: a key lies at most 512 levels below its root,
// a key name holds at most 255 characters and a value name 16,383 (UTF-16
// code units, as Windows counts them). Deeper or longer names are refused on
// writing and make a file unreadable, as regedit refuses them.
namespace reglimit {
inline constexpr std::size_t KeyDepth = 512;
inline constexpr std::size_t KeyNameLength = 255;
inline constexpr std::size_t ValueNameLength = 16383;
}  // namespace reglimit

// One stored value. The program itself writes only strings and numbers; other
// types come from files exported on Windows and are kept byte for byte, so
// that reading and writing such a file does not change them.
struct RegData {
    std::uint32_t type = regtype::String;
    std::string text;          // String: UTF-8, up to its first NUL character
    std::uint32_t dword = 0;   // Dword
    std::string raw;           // any other type (ExpandString too): the value's bytes

    static RegData String(std::string s) { RegData d; d.type = regtype::String; d.text = std::move(s); return d; }
    static RegData Dword(std::uint32_t v) { RegData d; d.type = regtype::Dword; d.dword = v; return d; }
    static RegData Raw(std::uint32_t type, std::string bytes) { RegData d; d.type = type; d.raw = std::move(bytes); return d; }
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
    // an unknown root, an empty key name, or a key beyond the limits above.
    // Readers treat such a path as naming nothing. Names and texts are
    // UTF-8: a malformed byte is stored as U+FFFD, and a text ends at its
    // first NUL character (as every reader of a REG_SZ value takes it).
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

    // The same keys, values and names in the same order (the spelling of
    // names included).
    bool sameTree(const RegStore& other) const;

    // The export format. parse() accepts UTF-16 with BOM (as regedit writes
    // it), UTF-8 with or without BOM (a file without BOM that is not UTF-8
    // reads as Windows-1252, as regedit reads it), CR LF or LF line ends,
    // comments (";"), continued hex lines, "[-key]" and "name=-" deletions,
    // and the older "REGEDIT4" header. An empty file is an empty store.
    // Throws RegParseError, for keys beyond the limits above too. Reading
    // takes time and memory in proportion to the file's size.
    static RegStore parse(std::string_view bytes);
    // The file as regedit exports it: UTF-16LE with BOM and CR LF line ends.
    std::string exportFile() const;
    // The same text as UTF-8 without BOM. Texts are quoted strings, with
    // "\\", "\"", "\n" and "\r" for a backslash, a quote, a line feed and a
    // carriage return; hex values wrap at 80 columns as regedit wraps them.
    // A key gets a line of its own when it has values, no sub-keys, or a
    // line in the file it was read from: keys on the way to another key
    // need none, which keeps the file in proportion to what it holds.
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

// The text of a registry file as UTF-8, whatever form regedit or an editor
// saved it in (the decoding parse() applies).
std::string RegFileText(std::string_view bytes);

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
    std::vector<std::string> subKeys(const std::string& keyPath) override;
    std::string storeId() const override;  // "memory:<address>"
    // HKEY_LOCAL_MACHINE unless set otherwise (a store that stands for
    // Windows' registry: HKEY_CURRENT_USER).
    std::string userSettingsRoot() const override { return userRoot_; }
    void setUserSettingsRoot(std::string root) { userRoot_ = std::move(root); }

    // Direct access for tests; not synchronised with the calls above.
    RegStore& store() { return store_; }

private:
    mutable std::mutex mutex_;
    RegStore store_;
    std::string userRoot_ = "HKEY_LOCAL_MACHINE";
};

}  // namespace nocturo::platform

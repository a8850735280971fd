#include "platform/win32/Win32Registry.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Error.h"
#include "platform/common/RegStore.h"
#include "platform/win32/WinText.h"

namespace nocturo::platform::win32 {

namespace {

struct Root {
    const char* full;
    const char* shortName;
    HKEY key;
};

const std::array<Root, 5>& roots() {
    static const std::array<Root, 5> table{{
        {"HKEY_LOCAL_MACHINE", "HKLM", HKEY_LOCAL_MACHINE},
        {"HKEY_CURRENT_USER", "HKCU", HKEY_CURRENT_USER},
        {"HKEY_CLASSES_ROOT", "HKCR", HKEY_CLASSES_ROOT},
        {"HKEY_USERS", "HKU", HKEY_USERS},
        {"HKEY_CURRENT_CONFIG", "HKCC", HKEY_CURRENT_CONFIG},
    }};
    return table;
}

// A key path split into its root and the sub-key below it ("Software\Varn").
struct KeyRef {
    HKEY root = nullptr;
    std::wstring subKey;
};

std::string shortened(std::string_view s) {
    return s.size() > 120 ? std::string(s.substr(0, 120)) + "..." : std::string(s);
}

[[noreturn]] void throwBadPath(std::string_view path, const char* why) {
    throw Error(err::RegistryInvalidRoot, "Invalid registry key \"" + shortened(path) + "\" (" + why + ").");
}

// Why keyPath is no key path, or nullptr; ref holds the key when it is one.
// A key's own path may end in a backslash; the key part of a value's path
// may not ("HKCU\Software\\x" names no value).
const char* splitKey(std::string_view keyPath, KeyRef& ref, bool trailingBackslash = true) {
    if (trailingBackslash && !keyPath.empty() && keyPath.back() == '\\') keyPath.remove_suffix(1);
    const std::size_t slash = keyPath.find('\\');
    const std::string_view rootName = keyPath.substr(0, slash);
    ref.root = nullptr;
    for (const Root& r : roots())
        if (RegNameEquals(rootName, r.full) || RegNameEquals(rootName, r.shortName)) ref.root = r.key;
    if (!ref.root) return "unknown root";
    ref.subKey.clear();
    if (slash == std::string_view::npos) return nullptr;
    const std::string_view below = keyPath.substr(slash + 1);
    std::size_t start = 0;
    std::size_t depth = 0;
    for (;;) {
        const std::size_t end = below.find('\\', start);
        const std::string_view name = below.substr(start, end == std::string_view::npos ? end : end - start);
        if (name.empty() || name.find('\0') != std::string_view::npos) return "empty or invalid key name";
        if (++depth > reglimit::KeyDepth) return "key more than 512 levels deep";
        if (Widen(name).size() > reglimit::KeyNameLength) return "key name longer than 255 characters";
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    ref.subKey = Widen(below);
    return nullptr;
}

// A value path: the key's path, a backslash and the value's name (empty for
// the key's default value).
const char* splitValue(std::string_view path, KeyRef& ref, std::wstring& name) {
    const std::size_t slash = path.rfind('\\');
    if (slash == std::string_view::npos) return "no value name";
    const std::string_view valueName = path.substr(slash + 1);
    if (valueName.find('\0') != std::string_view::npos) return "invalid value name";
    name = Widen(valueName);
    if (name.size() > reglimit::ValueNameLength) return "value name longer than 16383 characters";
    return splitKey(path.substr(0, slash), ref, false);
}

// Owns an open key.
class Key {
public:
    Key() = default;
    ~Key() {
        if (h_) RegCloseKey(h_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY* out() { return &h_; }
    HKEY get() const { return h_; }

private:
    HKEY h_ = nullptr;
};

std::string describe(std::string_view path) { return "registry key \"" + shortened(path) + "\""; }

// Opens the key, creating it and its parents when asked to.
// Returns false when the key does not exist and create is false.
bool openKey(const KeyRef& ref, REGSAM access, bool create, Key& key, std::string_view path) {
    LSTATUS status;
    if (create)
        status = RegCreateKeyExW(ref.root, ref.subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                                 key.out(), nullptr);
    else
        status = RegOpenKeyExW(ref.root, ref.subKey.c_str(), 0, access, key.out());
    if (status == ERROR_SUCCESS) return true;
    if (!create && (status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND)) return false;
    throw ErrorFromCode(static_cast<unsigned long>(status),
                        std::string(create ? "cannot create " : "cannot open ") + describe(path));
}

std::string cutAtNul(std::string text) {
    if (auto nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
    return text;
}

// A REG_SZ's bytes as text: stored with or without its terminating NUL, or
// with an odd byte left over by a careless writer.
std::string textOf(const std::vector<BYTE>& data, DWORD size) {
    std::wstring units(size / sizeof(wchar_t), L'\0');
    if (!units.empty()) std::memcpy(units.data(), data.data(), units.size() * sizeof(wchar_t));
    if (auto nul = units.find(L'\0'); nul != std::wstring::npos) units.resize(nul);
    return Narrow(units);
}

struct RawValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    DWORD size = 0;
};

// The value's type and bytes; false when there is no such value.
bool queryValue(HKEY key, const std::wstring& name, RawValue& v, std::string_view path) {
    v.data.resize(256);
    for (;;) {
        v.size = static_cast<DWORD>(v.data.size());
        const LSTATUS status = RegQueryValueExW(key, name.c_str(), nullptr, &v.type, v.data.data(), &v.size);
        if (status == ERROR_SUCCESS) return true;
        if (status == ERROR_FILE_NOT_FOUND) return false;
        if (status == ERROR_MORE_DATA) {
            v.data.resize(std::max<std::size_t>(v.size, v.data.size() * 2));
            continue;
        }
        throw ErrorFromCode(static_cast<unsigned long>(status), "cannot read " + describe(path));
    }
}

// The value as the interface gives it; nullopt for a type it does not read.
std::optional<RegValue> valueOf(const RawValue& v) {
    switch (v.type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        return RegValue{textOf(v.data, v.size)};
    case REG_DWORD:
        if (v.size < sizeof(DWORD)) return std::nullopt;
        {
            DWORD n = 0;
            std::memcpy(&n, v.data.data(), sizeof n);
            return RegValue{static_cast<std::uint32_t>(n)};
        }
    default:
        return std::nullopt;
    }
}

void setValue(const std::string& path, DWORD type, const BYTE* data, DWORD size) {
    KeyRef ref;
    std::wstring name;
    if (const char* why = splitValue(path, ref, name)) throwBadPath(path, why);
    if (ref.subKey.empty()) throwBadPath(path, "no key below the root");
    Key key;
    openKey(ref, KEY_SET_VALUE, true, key, path);
    const LSTATUS status = RegSetValueExW(key.get(), name.c_str(), 0, type, data, size);
    if (status != ERROR_SUCCESS)
        throw ErrorFromCode(static_cast<unsigned long>(status), "cannot write " + describe(path));
}

}  // namespace

void Win32Registry::writeString(const std::string& path, const std::string& text) {
    const std::wstring wide = Widen(cutAtNul(text));
    setValue(path, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
             static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
}

void Win32Registry::writeDword(const std::string& path, std::uint32_t value) {
    const DWORD n = value;
    setValue(path, REG_DWORD, reinterpret_cast<const BYTE*>(&n), sizeof n);
}

std::optional<RegValue> Win32Registry::read(const std::string& path) {
    KeyRef ref;
    std::wstring name;
    if (splitValue(path, ref, name)) return std::nullopt;
    Key key;
    if (!openKey(ref, KEY_QUERY_VALUE, false, key, path)) return std::nullopt;
    RawValue raw;
    if (!queryValue(key.get(), name, raw, path)) return std::nullopt;
    auto value = valueOf(raw);
    if (!value)
        throw Error(err::TypeMismatch, "Type mismatch: registry value \"" + path + "\" is of type " +
                                           std::to_string(raw.type));
    return value;
}

bool Win32Registry::exists(const std::string& path) {
    KeyRef ref;
    std::wstring name;
    if (splitValue(path, ref, name)) return false;
    Key key;
    if (!openKey(ref, KEY_QUERY_VALUE, false, key, path)) return false;
    const LSTATUS status = RegQueryValueExW(key.get(), name.c_str(), nullptr, nullptr, nullptr, nullptr);
    return status == ERROR_SUCCESS || status == ERROR_MORE_DATA;
}

void Win32Registry::deleteValue(const std::string& path) {
    KeyRef ref;
    std::wstring name;
    if (const char* why = splitValue(path, ref, name)) throwBadPath(path, why);
    Key key;
    if (!openKey(ref, KEY_SET_VALUE, false, key, path)) return;
    const LSTATUS status = RegDeleteValueW(key.get(), name.c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
        throw ErrorFromCode(static_cast<unsigned long>(status), "cannot delete " + describe(path));
}

void Win32Registry::deleteKey(const std::string& keyPath) {
    KeyRef ref;
    if (const char* why = splitKey(keyPath, ref)) throwBadPath(keyPath, why);
    if (ref.subKey.empty()) throwBadPath(keyPath, "a root cannot be deleted");
    const LSTATUS status = RegDeleteTreeW(ref.root, ref.subKey.c_str());
    if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND) {
        // RegDeleteTreeW empties the key; the key itself goes with RegDeleteKeyW.
        const LSTATUS gone = RegDeleteKeyW(ref.root, ref.subKey.c_str());
        if (gone == ERROR_SUCCESS || gone == ERROR_FILE_NOT_FOUND || gone == ERROR_PATH_NOT_FOUND) return;
        throw ErrorFromCode(static_cast<unsigned long>(gone), "cannot delete " + describe(keyPath));
    }
    throw ErrorFromCode(static_cast<unsigned long>(status), "cannot delete " + describe(keyPath));
}

void Win32Registry::createKey(const std::string& keyPath) {
    KeyRef ref;
    if (const char* why = splitKey(keyPath, ref)) throwBadPath(keyPath, why);
    if (ref.subKey.empty()) return;  // the roots are always there
    Key key;
    openKey(ref, KEY_READ, true, key, keyPath);
}

std::vector<std::pair<std::string, RegValue>> Win32Registry::values(const std::string& keyPath) {
    std::vector<std::pair<std::string, RegValue>> out;
    KeyRef ref;
    if (splitKey(keyPath, ref)) return out;
    Key key;
    if (!openKey(ref, KEY_QUERY_VALUE, false, key, keyPath)) return out;
    DWORD count = 0, longestName = 0, longestData = 0;
    LSTATUS status = RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                                      &longestName, &longestData, nullptr, nullptr);
    if (status != ERROR_SUCCESS)
        throw ErrorFromCode(static_cast<unsigned long>(status), "cannot read " + describe(keyPath));
    std::wstring name(longestName + 1, L'\0');
    RawValue raw;
    raw.data.resize(longestData + sizeof(wchar_t));
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        raw.size = static_cast<DWORD>(raw.data.size());
        status = RegEnumValueW(key.get(), i, name.data(), &nameLength, nullptr, &raw.type, raw.data.data(), &raw.size);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status == ERROR_MORE_DATA) {
            // Written to since the size query: make room and read it again.
            name.resize(name.size() * 2 + 256);
            raw.data.resize(raw.data.size() * 2 + 256);
            --i;
            continue;
        }
        if (status != ERROR_SUCCESS)
            throw ErrorFromCode(static_cast<unsigned long>(status), "cannot read " + describe(keyPath));
        if (auto v = valueOf(raw)) out.emplace_back(Narrow(std::wstring_view(name.data(), nameLength)), std::move(*v));
    }
    return out;
}

std::vector<std::string> Win32Registry::subKeys(const std::string& keyPath) {
    std::vector<std::string> out;
    KeyRef ref;
    if (splitKey(keyPath, ref)) return out;
    Key key;
    if (!openKey(ref, KEY_ENUMERATE_SUB_KEYS, false, key, keyPath)) return out;
    std::wstring name(256, L'\0');  // a key name holds at most 255 characters
    for (DWORD i = 0;; ++i) {
        DWORD length = static_cast<DWORD>(name.size());
        const LSTATUS status = RegEnumKeyExW(key.get(), i, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS)
            throw ErrorFromCode(static_cast<unsigned long>(status), "cannot read " + describe(keyPath));
        out.push_back(Narrow(std::wstring_view(name.data(), length)));
    }
    return out;
}

}  // namespace nocturo::platform::win32

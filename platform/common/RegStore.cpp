#include "platform/common/Utf8.h"
#include "platform/common/RegStore.h"

#include <array>
#include <iterator>
#include <list>
#include <cstdio>
#include <sstream>
#include <unordered_map>
#include <utility>

#include "platform/Error.h"

namespace nocturo::platform {

namespace {

// ---- names without regard to case ------------------------------------------

constexpr char32_t kInvalidByteBase = 0x110000;  // above every code point

// Decodes one UTF-8 character at s[i] and advances i. A byte that does not
// start a well-formed character decodes as kInvalidByteBase + byte, so that
// malformed names still compare byte for byte.
char32_t decodeUtf8(std::string_view s, std::size_t& i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int len = 0;
    char32_t cp = 0, min = 0;
    if ((b0 & 0xE0) == 0xC0) len = 2, cp = b0 & 0x1F, min = 0x80;
    else if ((b0 & 0xF0) == 0xE0) len = 3, cp = b0 & 0x0F, min = 0x800;
    else if ((b0 & 0xF8) == 0xF0) len = 4, cp = b0 & 0x07, min = 0x10000;
    if (len == 0 || i + static_cast<std::size_t>(len) > s.size()) {
        ++i;
        return kInvalidByteBase + b0;
    }
    for (int k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return kInvalidByteBase + b0;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return kInvalidByteBase + b0;
    }
    i += static_cast<std::size_t>(len);
    return cp;
}


// Simple case folding for the alphabets that occur in folder and user names
// here; other characters compare exactly.
char32_t foldCase(char32_t c) {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
    if (c >= 0x100 && c <= 0x17F) {
        if ((c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return (c % 2 == 0) ? c + 1 : c;
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c % 2 == 1) ? c + 1 : c;
        if (c == 0x178) return 0xFF;
        return c;
    }
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 32;
    if (c >= 0x400 && c <= 0x40F) return c + 80;
    if (c >= 0x410 && c <= 0x42F) return c + 32;
    return c;
}

// The name as the indexes hold it: case folded. Invalid UTF-8 bytes are
// kept as they are.
void foldName(std::string_view s, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {  // nearly every name is plain ASCII
            out += static_cast<char>((c >= 'A' && c <= 'Z') ? c + 32 : c);
            ++i;
            continue;
        }
        const char32_t cp = decodeUtf8(s, i);
        if (cp >= kInvalidByteBase)
            out += static_cast<char>(cp - kInvalidByteBase);
        else
            AppendUtf8(out, foldCase(cp));
    }
}

// Folds into a buffer reused by every lookup of the thread, so a lookup
// allocates nothing.
const std::string& folded(std::string_view s) {
    thread_local std::string buffer;
    foldName(s, buffer);
    return buffer;
}

template <typename V>
using NameIndex = std::unordered_map<std::string, V>;  // keyed by the folded name

// ---- UTF-8, UTF-16 and Windows-1252 ----------------------------------------------

bool isValidUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        if (static_cast<unsigned char>(s[i]) < 0x80) {
            ++i;
            continue;
        }
        if (decodeUtf8(s, i) >= kInvalidByteBase) return false;
    }
    return true;
}

// Malformed bytes become U+FFFD, so that every name and text is valid UTF-8
// and survives the way into UTF-16 and back.
std::string toValidUtf8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t start = i;
        const char32_t cp = decodeUtf8(s, i);
        if (cp >= kInvalidByteBase)
            AppendUtf8(out, 0xFFFD);
        else
            out.append(s.substr(start, i - start));
    }
    return out;
}

// s itself when it is valid UTF-8, else its repaired copy in buffer.
std::string_view validUtf8(std::string_view s, std::string& buffer) {
    if (isValidUtf8(s)) return s;
    buffer = toValidUtf8(s);
    return buffer;
}

// Bytes 0x80 to 0x9F of Windows-1252; the five it leaves undefined stand for
// the C1 control characters, as Windows maps them.
constexpr std::array<char16_t, 32> kCp1252High{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::string cp1252ToUtf8(std::string_view s) {
    std::string out;
    out.reserve(s.size() + s.size() / 4);
    for (char c : s) {
        const auto b = static_cast<unsigned char>(c);
        AppendUtf8(out, b >= 0x80 && b <= 0x9F ? kCp1252High[b - 0x80] : b);
    }
    return out;
}

std::u16string utf8ToUtf16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        char32_t cp = decodeUtf8(s, i);
        if (cp >= kInvalidByteBase) cp = 0xFFFD;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

// Characters as Windows counts them: UTF-16 code units.
std::size_t utf16Length(std::string_view s) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < s.size();) {
        if (static_cast<unsigned char>(s[i]) < 0x80) {
            ++i, ++n;
            continue;
        }
        const char32_t cp = decodeUtf8(s, i);
        n += (cp >= 0x10000 && cp < kInvalidByteBase) ? 2 : 1;
    }
    return n;
}

std::string utf16ToUtf8(std::u16string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        char32_t cp = s[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;  // unpaired surrogate
        }
        AppendUtf8(out, cp);
    }
    return out;
}

std::u16string bytesToUtf16(std::string_view bytes, bool bigEndian) {
    std::u16string out;
    out.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
        out += static_cast<char16_t>(bigEndian ? (a << 8 | b) : (b << 8 | a));
    }
    return out;
}

void appendUtf16Le(std::string& out, std::u16string_view units) {
    for (char16_t u : units) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    }
}

// The text of a string value's bytes: UTF-16LE up to the first NUL.
std::string textOfUtf16Bytes(std::string_view bytes) {
    std::u16string units = bytesToUtf16(bytes, false);
    if (auto nul = units.find(u'\0'); nul != std::u16string::npos) units.resize(nul);
    return utf16ToUtf8(units);
}

void cutAtNul(std::string& text) {
    if (auto nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
}

// ---- paths --------------------------------------------------------------------

constexpr std::array<std::pair<const char*, const char*>, 5> kRoots{{
    {"HKEY_LOCAL_MACHINE", "HKLM"},
    {"HKEY_CURRENT_USER", "HKCU"},
    {"HKEY_CLASSES_ROOT", "HKCR"},
    {"HKEY_USERS", "HKU"},
    {"HKEY_CURRENT_CONFIG", "HKCC"},
}};

// The root's full name, or nullptr when the text names no root.
const char* canonicalRoot(std::string_view name) {
    if (name.size() > 19) return nullptr;  // longer than every root's name
    for (const auto& [full, shortName] : kRoots)
        if (RegNameEquals(name, full) || RegNameEquals(name, shortName)) return full;
    return nullptr;
}

bool validKeyName(std::string_view name) {
    for (char c : name)
        if (c == '\0' || c == '\r' || c == '\n') return false;
    return true;
}

// A value name may hold anything but NUL: the export format escapes line
// ends.
bool validValueName(std::string_view name) {
    return name.find('\0') == std::string_view::npos && utf16Length(name) <= reglimit::ValueNameLength;
}

// Splits "ROOT\a\b" into the root's full name and the key names below it.
// Returns why the path is no key path (an unknown root, an empty or
// unwritable name, too deep, a name too long), or nullptr.
const char* splitKeyPath(std::string_view keyPath, const char*& root, std::vector<std::string_view>& keys) {
    keys.clear();
    std::size_t pos = keyPath.find('\\');
    root = canonicalRoot(keyPath.substr(0, pos));
    if (!root) return "unknown root";
    while (pos != std::string_view::npos) {
        const std::size_t start = pos + 1;
        pos = keyPath.find('\\', start);
        std::string_view name = keyPath.substr(start, pos == std::string_view::npos ? std::string_view::npos : pos - start);
        if (name.empty() || !validKeyName(name)) return "empty or invalid key name";
        if (keys.size() == reglimit::KeyDepth) return "key more than 512 levels deep";
        if (name.size() > reglimit::KeyNameLength && utf16Length(name) > reglimit::KeyNameLength)
            return "key name longer than 255 characters";
        keys.push_back(name);
    }
    return nullptr;
}

// A value path is a key path, a backslash and the value name (empty for the
// key's default value).
bool splitValuePath(std::string_view path, std::string_view& keyPath, std::string_view& valueName) {
    const std::size_t pos = path.rfind('\\');
    if (pos == std::string_view::npos) return false;
    keyPath = path.substr(0, pos);
    valueName = path.substr(pos + 1);
    return validValueName(valueName);
}

std::string_view withoutTrailingBackslash(std::string_view keyPath) {
    if (!keyPath.empty() && keyPath.back() == '\\') keyPath.remove_suffix(1);
    return keyPath;
}

std::string shortened(std::string_view s) {
    return s.size() > 120 ? std::string(s.substr(0, 120)) + "..." : std::string(s);
}

[[noreturn]] void throwBadPath(std::string_view path, const char* why = nullptr) {
    if (why)
        throw Error(err::RegistryInvalidRoot,
                    "Invalid registry key \"" + shortened(path) + "\" (" + std::string(why) + ").");
    throw Error(err::RegistryInvalidRoot, "Invalid root in registry key \"" + shortened(path) + "\".");
}

// The file's text as UTF-8, whatever form regedit or an editor saved it in.
std::string fileTextAsUtf8(std::string_view bytes) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE)
        return utf16ToUtf8(bytesToUtf16(bytes.substr(2), false));
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE && static_cast<unsigned char>(bytes[1]) == 0xFF)
        return utf16ToUtf8(bytesToUtf16(bytes.substr(2), true));
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") return toValidUtf8(bytes.substr(3));
    // No byte-order mark: UTF-8 as this program wrote it until now, or an
    // ANSI file from a Windows editor, which regedit reads as Windows-1252.
    if (isValidUtf8(bytes)) return std::string(bytes);
    return cp1252ToUtf8(bytes);
}

}  // namespace

std::string RegFileText(std::string_view bytes) { return fileTextAsUtf8(bytes); }

bool RegNameEquals(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        // ASCII fast path: most names are plain control and folder names.
        const auto ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[j]);
        if (ca < 0x80 && cb < 0x80) {
            if (foldCase(ca) != foldCase(cb)) return false;
            ++i, ++j;
            continue;
        }
        if (foldCase(decodeUtf8(a, i)) != foldCase(decodeUtf8(b, j))) return false;
    }
    return i == a.size() && j == b.size();
}

// ---- the tree -----------------------------------------------------------------------

// Keys and values keep their insertion order in lists, so that removing one
// takes constant time whatever the number of its neighbours.
struct RegStore::Key {
    using KeyList = std::list<std::unique_ptr<Key>>;
    using ValueList = std::list<std::pair<std::string, RegData>>;

    std::string name;
    KeyList subkeys;
    NameIndex<KeyList::iterator> subIndex;
    ValueList values;
    NameIndex<ValueList::iterator> valueIndex;
    bool listed = false;  // named by a key line of the file, or created as a key

    Key() = default;
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    // Takes the sub-keys apart one level at a time: a deep tree must not
    // recurse once per level.
    ~Key() {
        std::vector<std::unique_ptr<Key>> pending;
        for (auto& k : subkeys) pending.push_back(std::move(k));
        subkeys.clear();
        while (!pending.empty()) {
            std::unique_ptr<Key> k = std::move(pending.back());
            pending.pop_back();
            for (auto& s : k->subkeys) pending.push_back(std::move(s));
            k->subkeys.clear();
        }
    }

    Key* sub(std::string_view n) const {
        auto it = subIndex.find(folded(n));
        return it == subIndex.end() ? nullptr : it->second->get();
    }
    Key& addSub(std::string_view n, bool& created) {
        if (Key* k = sub(n)) return *k;
        auto k = std::make_unique<Key>();
        k->name = std::string(n);
        Key* raw = k.get();
        subkeys.push_back(std::move(k));
        subIndex.emplace(folded(n), std::prev(subkeys.end()));
        created = true;
        return *raw;
    }
    bool removeSub(std::string_view n) {
        auto it = subIndex.find(folded(n));
        if (it == subIndex.end()) return false;
        auto entry = it->second;
        subIndex.erase(it);
        std::unique_ptr<Key> gone = std::move(*entry);
        subkeys.erase(entry);
        return true;  // gone takes its sub-keys apart without recursion
    }
    const RegData* value(std::string_view n) const {
        auto it = valueIndex.find(folded(n));
        return it == valueIndex.end() ? nullptr : &it->second->second;
    }
    bool setValue(std::string_view n, RegData data) {
        const std::string& key = folded(n);
        auto it = valueIndex.find(key);
        if (it != valueIndex.end()) {
            RegData& slot = it->second->second;  // keeps the name's first case
            if (slot == data) return false;
            slot = std::move(data);
            return true;
        }
        values.emplace_back(std::string(n), std::move(data));
        valueIndex.emplace(key, std::prev(values.end()));
        return true;
    }
    bool removeValue(std::string_view n) {
        auto it = valueIndex.find(folded(n));
        if (it == valueIndex.end()) return false;
        values.erase(it->second);
        valueIndex.erase(it);
        return true;
    }
};

namespace {

using Key = RegStore::Key;

// Calls visit(key, depth) for every key below top, parents before their
// sub-keys, in insertion order; depth 0 is a root. Without recursion.
template <typename Visit>
void walk(const Key& top, Visit visit) {
    std::vector<std::pair<const Key*, Key::KeyList::const_iterator>> stack;
    stack.emplace_back(&top, top.subkeys.begin());
    while (!stack.empty()) {
        auto& [parent, next] = stack.back();
        if (next == parent->subkeys.end()) {
            stack.pop_back();
            continue;
        }
        const Key* k = (next++)->get();
        visit(*k, stack.size() - 1);
        stack.emplace_back(k, k->subkeys.begin());
    }
}

Key* findKey(Key& top, std::string_view keyPath) {
    const char* root = nullptr;
    thread_local std::vector<std::string_view> names;
    if (splitKeyPath(keyPath, root, names)) return nullptr;
    Key* k = top.sub(root);
    for (auto n : names) {
        if (!k) return nullptr;
        k = k->sub(n);
    }
    return k;
}

}  // namespace

RegStore::RegStore() : top_(std::make_unique<Key>()) {}
RegStore::~RegStore() = default;
RegStore::RegStore(RegStore&& other) noexcept : top_(std::make_unique<Key>()) {
    std::swap(top_, other.top_);
    other.forgetCachedKey();
}
RegStore& RegStore::operator=(RegStore&& other) noexcept {
    std::swap(top_, other.top_);  // the moved-from store keeps a valid tree
    forgetCachedKey();
    other.forgetCachedKey();
    return *this;
}

void RegStore::forgetCachedKey() const {
    cachedKey_ = nullptr;
    cachedPath_.clear();
}

RegStore::Key* RegStore::lookupKey(std::string_view keyPath) const {
    if (cachedKey_ && keyPath == cachedPath_) return cachedKey_;
    std::string clean;
    Key* k = findKey(*top_, validUtf8(keyPath, clean));
    if (k) {
        cachedPath_.assign(keyPath);
        cachedKey_ = k;
    }
    return k;
}

RegStore::Key* RegStore::makeKey(std::string_view keyPath, const std::string& fullPath, bool& created) {
    if (cachedKey_ && keyPath == cachedPath_) return cachedKey_;
    std::string clean;
    const std::string_view path = validUtf8(keyPath, clean);
    const char* root = nullptr;
    std::vector<std::string_view> names;
    if (const char* why = splitKeyPath(path, root, names)) {
        if (root) throwBadPath(fullPath, why);
        throwBadPath(fullPath);
    }
    Key* k = &top_->addSub(root, created);
    for (auto n : names) k = &k->addSub(n, created);
    cachedPath_.assign(keyPath);
    cachedKey_ = k;
    return k;
}

bool RegStore::write(const std::string& path, RegData data) {
    std::string_view keyPath, name;
    if (!splitValuePath(path, keyPath, name)) throwBadPath(path, "invalid value name");
    if (data.type == regtype::String) {
        cutAtNul(data.text);
        if (!isValidUtf8(data.text)) data.text = toValidUtf8(data.text);
    }
    bool created = false;
    Key* k = makeKey(keyPath, path, created);
    std::string clean;
    return k->setValue(validUtf8(name, clean), std::move(data)) || created;
}

const RegData* RegStore::find(const std::string& path) const {
    std::string_view keyPath, name;
    if (!splitValuePath(path, keyPath, name)) return nullptr;
    const Key* k = lookupKey(keyPath);
    std::string clean;
    return k ? k->value(validUtf8(name, clean)) : nullptr;
}

std::optional<RegValue> RegStore::read(const std::string& path) const {
    const RegData* d = find(path);
    if (!d) return std::nullopt;
    switch (d->type) {
    case regtype::String:
        return RegValue{d->text};
    case regtype::ExpandString:
        return RegValue{textOfUtf16Bytes(d->raw)};
    case regtype::Dword:
        return RegValue{d->dword};
    default:
        throw Error(err::TypeMismatch, "Type mismatch: registry value \"" + path + "\" is of type " +
                                           std::to_string(d->type));
    }
}

bool RegStore::deleteValue(const std::string& path) {
    std::string_view keyPath, name;
    if (!splitValuePath(path, keyPath, name)) throwBadPath(path, "invalid value name");
    if (!canonicalRoot(keyPath.substr(0, keyPath.find('\\')))) throwBadPath(path);
    Key* k = lookupKey(keyPath);
    std::string clean;
    return k && k->removeValue(validUtf8(name, clean));
}

bool RegStore::createKey(const std::string& keyPath) {
    bool created = false;
    Key* k = makeKey(withoutTrailingBackslash(keyPath), keyPath, created);
    k->listed = true;
    return created;
}

bool RegStore::deleteKey(const std::string& keyPath) {
    std::string clean;
    const std::string_view kp = validUtf8(withoutTrailingBackslash(keyPath), clean);
    const char* root = nullptr;
    std::vector<std::string_view> names;
    if (const char* why = splitKeyPath(kp, root, names)) {
        if (root) throwBadPath(keyPath, why);
        throwBadPath(keyPath);
    }
    if (names.empty()) throw Error(err::PermissionDenied, "A root key cannot be deleted: \"" + keyPath + "\"");
    Key* parent = top_->sub(root);
    for (std::size_t i = 0; parent && i + 1 < names.size(); ++i) parent = parent->sub(names[i]);
    if (!parent || !parent->removeSub(names.back())) return false;
    forgetCachedKey();  // it may have been the deleted key or one below it
    return true;
}

bool RegStore::keyExists(const std::string& keyPath) const {
    return lookupKey(withoutTrailingBackslash(keyPath)) != nullptr;
}

std::vector<std::string> RegStore::subKeyNames(const std::string& keyPath) const {
    std::vector<std::string> out;
    if (const Key* k = lookupKey(withoutTrailingBackslash(keyPath)))
        for (const auto& s : k->subkeys) out.push_back(s->name);
    return out;
}

std::vector<std::string> RegStore::valueNames(const std::string& keyPath) const {
    std::vector<std::string> out;
    if (const Key* k = lookupKey(withoutTrailingBackslash(keyPath)))
        for (const auto& [name, data] : k->values) out.push_back(name);
    return out;
}

void RegStore::clear() {
    top_ = std::make_unique<Key>();
    forgetCachedKey();
}

bool RegStore::empty() const { return top_->subkeys.empty(); }

std::size_t RegStore::valueCount() const {
    std::size_t n = 0;
    walk(*top_, [&](const Key& k, std::size_t) { n += k.values.size(); });
    return n;
}

bool RegStore::sameTree(const RegStore& other) const {
    // Both trees in the same order, key by key.
    std::vector<std::pair<const Key*, std::size_t>> mine, theirs;
    walk(*top_, [&](const Key& k, std::size_t depth) { mine.emplace_back(&k, depth); });
    walk(*other.top_, [&](const Key& k, std::size_t depth) { theirs.emplace_back(&k, depth); });
    if (mine.size() != theirs.size()) return false;
    for (std::size_t i = 0; i < mine.size(); ++i) {
        const Key& a = *mine[i].first;
        const Key& b = *theirs[i].first;
        if (mine[i].second != theirs[i].second || a.name != b.name || a.subkeys.size() != b.subkeys.size() ||
            a.values != b.values)
            return false;
    }
    return true;
}

// ---- export format: writing ------------------------------------------------------------

namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";
// regedit ends a hex line once it reaches this column, with a backslash
// after it, so no line is longer than 80 characters.
constexpr std::size_t kHexLineEnd = 77;

void appendQuoted(std::string& out, std::string_view s) {
    out += '"';
    for (char c : s) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c; break;
        }
    }
    out += '"';
}

void appendHex(std::string& out, std::size_t lineStart, std::string_view typeTag, std::string_view bytes,
               std::string_view newline) {
    static constexpr char digits[] = "0123456789abcdef";
    out += typeTag;
    std::size_t col = utf16Length(std::string_view(out).substr(lineStart));
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out += digits[b >> 4];
        out += digits[b & 0xF];
        if (i + 1 == bytes.size()) break;
        out += ',';
        col += 3;
        if (col >= kHexLineEnd) {
            out += '\\';
            out += newline;
            out += "  ";
            col = 2;
        }
    }
}

void appendValue(std::string& out, const std::string& name, const RegData& d, std::string_view newline) {
    const std::size_t lineStart = out.size();
    if (name.empty())
        out += '@';
    else
        appendQuoted(out, name);
    out += '=';
    switch (d.type) {
    case regtype::String:
        appendQuoted(out, d.text);
        break;
    case regtype::Dword: {
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(d.dword));
        out += buf;
        break;
    }
    case regtype::Binary:
        appendHex(out, lineStart, "hex:", d.raw, newline);
        break;
    default: {
        char buf[24];
        std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(d.type));
        appendHex(out, lineStart, buf, d.raw, newline);
        break;
    }
    }
    out += newline;
}

std::string serializeTree(const Key& top, std::string_view newline) {
    std::string out;
    out += kHeader;
    out += newline;
    out += newline;
    // The path of the key at each depth, as one string cut back on the way up.
    std::string path;
    std::vector<std::size_t> ends;  // where each depth's path ends in path
    walk(top, [&](const Key& k, std::size_t depth) {
        ends.resize(depth);
        path.resize(depth == 0 ? 0 : ends.back());
        if (depth > 0) path += '\\';
        path += k.name;
        ends.push_back(path.size());
        if (!k.listed && k.values.empty() && !k.subkeys.empty()) return;  // implied by its sub-keys
        out += '[';
        out += path;
        out += ']';
        out += newline;
        for (const auto& [name, data] : k.values) appendValue(out, name, data, newline);
        out += newline;
    });
    return out;
}

}  // namespace

std::string RegStore::serialize(std::string_view newline) const { return serializeTree(*top_, newline); }

std::string RegStore::exportFile() const {
    const std::string text = serializeTree(*top_, "\r\n");
    std::string bytes = "\xFF\xFE";
    bytes.reserve(2 + 2 * text.size());
    appendUtf16Le(bytes, utf8ToUtf16(text));
    return bytes;
}

// ---- export format: reading ----------------------------------------------------------------

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && (isBlank(s.front()))) s.remove_prefix(1);
    while (!s.empty() && (isBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (foldCase(static_cast<unsigned char>(s[i])) != foldCase(static_cast<unsigned char>(prefix[i]))) return false;
    return true;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

class RegStore::Parser {
public:
    explicit Parser(std::string text) : text_(std::move(text)) {}

    RegStore run() {
        bool header = false;
        while (nextLine()) {
            std::string_view line = trim(line_);
            if (!header) {
                if (line.empty()) continue;
                if (line == kHeader) {
                    header = true;
                } else if (line == kHeader4) {
                    header = true;
                    ansi_ = true;
                } else {
                    fail("the file does not begin with \"" + std::string(kHeader) + "\"");
                }
                continue;
            }
            if (line.empty() || line.front() == ';') continue;
            if (line.front() == '[')
                section(line);
            else if (line.front() == '"' || line.front() == '@')
                value(line);
            else
                fail("unexpected text \"" + shorten(line) + "\"");
        }
        return std::move(store_);
    }

private:
    std::string text_;
    std::size_t pos_ = 0;
    int lineNo_ = 0;
    std::string_view line_;
    bool ansi_ = false;  // REGEDIT4: hex strings are 8-bit text
    RegStore store_;
    Key* key_ = nullptr;     // current section; none before the first one
    bool skipping_ = false;  // inside a "[-key]" section

    bool nextLine() {
        if (pos_ >= text_.size()) return false;
        std::size_t end = text_.find('\n', pos_);
        if (end == std::string::npos) end = text_.size();
        line_ = std::string_view(text_).substr(pos_, end - pos_);
        pos_ = end + 1;
        ++lineNo_;
        return true;
    }

    [[noreturn]] void fail(const std::string& reason) const { throw RegParseError(lineNo_, reason); }

    static std::string shorten(std::string_view s) {
        return s.size() > 40 ? std::string(s.substr(0, 40)) + "..." : std::string(s);
    }

    void section(std::string_view line) {
        const std::size_t close = line.rfind(']');
        if (close == std::string_view::npos || close != line.size() - 1) fail("a key line must end with \"]\"");
        std::string_view path = line.substr(1, close - 1);
        const bool remove = !path.empty() && path.front() == '-';
        if (remove) path.remove_prefix(1);
        path = withoutTrailingBackslash(path);
        const char* root = nullptr;
        std::vector<std::string_view> names;
        if (const char* why = splitKeyPath(path, root, names))
            fail("invalid key \"" + shorten(path) + "\" (" + why + ")");
        if (remove) {
            if (!names.empty()) store_.deleteKey(std::string(path));
            key_ = nullptr;
            skipping_ = true;
            return;
        }
        bool created = false;
        key_ = store_.makeKey(path, std::string(path), created);
        key_->listed = true;
        skipping_ = false;
    }

    // Reads a quoted text starting at s[0] == '"'; returns the position after
    // the closing quote. A backslash escapes a backslash or a quote, "\n" and
    // "\r" stand for the line ends; any other backslash stands for itself.
    std::size_t quoted(std::string_view s, std::string& out) {
        out.clear();
        for (std::size_t i = 1; i < s.size(); ++i) {
            const char c = s[i];
            if (c == '\\' && i + 1 < s.size()) {
                const char next = s[i + 1];
                if (next == '\\' || next == '"') {
                    out += next;
                    ++i;
                } else if (next == 'n') {
                    out += '\n';
                    ++i;
                } else if (next == 'r') {
                    out += '\r';
                    ++i;
                } else {
                    out += c;
                }
            } else if (c == '"') {
                return i + 1;
            } else {
                out += c;
            }
        }
        fail("a quoted text is not closed");
    }

    void value(std::string_view line) {
        std::string name;
        std::size_t i = 0;
        if (line.front() == '@') {
            i = 1;
        } else {
            i = quoted(line, name);
        }
        std::string_view rest = trim(line.substr(i));
        if (rest.empty() || rest.front() != '=') fail("\"=\" expected after the value name");
        rest = trim(rest.substr(1));
        if (!key_ && !skipping_) fail("a value before the first key line");
        if (!validValueName(name)) fail("invalid value name");

        if (rest == "-") {
            if (key_) key_->removeValue(name);
            return;
        }
        RegData data;
        if (!rest.empty() && rest.front() == '"') {
            std::string text;
            const std::size_t end = quoted(rest, text);
            if (!trim(rest.substr(end)).empty()) fail("unexpected text after the value");
            cutAtNul(text);
            data = RegData::String(std::move(text));
        } else if (startsWithNoCase(rest, "dword:")) {
            std::string_view digits = trim(rest.substr(6));
            if (digits.empty() || digits.size() > 8) fail("a dword value needs 1 to 8 hexadecimal digits");
            std::uint32_t v = 0;
            for (char c : digits) {
                const int d = hexDigit(c);
                if (d < 0) fail("invalid dword value \"" + shorten(digits) + "\"");
                v = (v << 4) | static_cast<std::uint32_t>(d);
            }
            data = RegData::Dword(v);
        } else if (startsWithNoCase(rest, "hex")) {
            data = hexValue(rest.substr(3));
        } else {
            fail("unknown value type \"" + shorten(rest) + "\"");
        }
        if (key_) key_->setValue(name, std::move(data));
    }

    RegData hexValue(std::string_view s) {
        std::uint32_t type = regtype::Binary;
        if (!s.empty() && s.front() == '(') {
            const std::size_t close = s.find(')');
            if (close == std::string_view::npos || close == 1 || close > 9) fail("invalid hex value type");
            type = 0;
            for (char c : s.substr(1, close - 1)) {
                const int d = hexDigit(c);
                if (d < 0) fail("invalid hex value type");
                type = (type << 4) | static_cast<std::uint32_t>(d);
            }
            s.remove_prefix(close + 1);
        }
        if (s.empty() || s.front() != ':') fail("\":\" expected after hex");
        s.remove_prefix(1);

        std::string bytes;
        for (;;) {
            std::string_view piece = trim(s);
            const bool continued = !piece.empty() && piece.back() == '\\';
            if (continued) piece.remove_suffix(1);
            hexBytes(piece, bytes);
            if (!continued) break;
            if (!nextLine()) fail("hex data continues past the end of the file");
            s = line_;
        }

        switch (type) {
        case regtype::String:
            if (ansi_) return RegData::String(ansiText(bytes));
            if (bytes.size() % 2 != 0) fail("a UTF-16 string needs an even number of bytes");
            return RegData::String(textOfUtf16Bytes(bytes));
        case regtype::Dword: {
            if (bytes.size() != 4) fail("a hex(4) value must hold 4 bytes");
            std::uint32_t v = 0;
            for (int k = 3; k >= 0; --k) v = (v << 8) | static_cast<unsigned char>(bytes[static_cast<std::size_t>(k)]);
            return RegData::Dword(v);
        }
        case regtype::ExpandString:
        case regtype::MultiString:
            // A REGEDIT4 file holds these as 8-bit text; this file is UTF-16.
            if (ansi_) return RegData::Raw(type, ansiToUtf16Bytes(bytes));
            return RegData::Raw(type, std::move(bytes));
        default:
            return RegData::Raw(type, std::move(bytes));
        }
    }

    void hexBytes(std::string_view piece, std::string& out) {
        if (piece.empty()) return;
        std::size_t start = 0;
        for (;;) {
            const std::size_t comma = piece.find(',', start);
            std::string_view token = trim(piece.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
            const bool lastToken = comma == std::string_view::npos;
            if (token.empty()) {
                if (!lastToken) fail("empty hex byte");  // "a,,b"
                break;                                    // trailing comma before a line break
            }
            int value = 0;
            if (token.size() > 2) fail("invalid hex byte \"" + shorten(token) + "\"");
            for (char c : token) {
                const int d = hexDigit(c);
                if (d < 0) fail("invalid hex byte \"" + shorten(token) + "\"");
                value = value * 16 + d;
            }
            out += static_cast<char>(value);
            if (lastToken) break;
            start = comma + 1;
        }
    }

    static std::string ansiText(std::string_view bytes) {
        if (auto nul = bytes.find('\0'); nul != std::string_view::npos) bytes = bytes.substr(0, nul);
        return cp1252ToUtf8(bytes);
    }

    static std::string ansiToUtf16Bytes(std::string_view bytes) {
        std::string out;
        appendUtf16Le(out, utf8ToUtf16(cp1252ToUtf8(bytes)));
        return out;
    }
};

RegStore RegStore::parse(std::string_view bytes) { return Parser(fileTextAsUtf8(bytes)).run(); }

// ---- MemoryRegistry ------------------------------------------------------------------------

void MemoryRegistry::writeString(const std::string& path, const std::string& text) {
    std::lock_guard lock(mutex_);
    store_.writeString(path, text);
}

void MemoryRegistry::writeDword(const std::string& path, std::uint32_t value) {
    std::lock_guard lock(mutex_);
    store_.writeDword(path, value);
}

std::vector<std::pair<std::string, RegValue>> RegStore::values(const std::string& keyPath) const {
    std::vector<std::pair<std::string, RegValue>> out;
    std::string prefix = keyPath;
    while (!prefix.empty() && prefix.back() == '\\') prefix.pop_back();
    for (const auto& name : valueNames(prefix)) {
        try {
            if (auto v = read(prefix + "\\" + name)) out.emplace_back(name, *v);
        } catch (const Error&) {
            // A value of another type (binary, multi-string) is not listed.
        }
    }
    return out;
}

std::vector<std::pair<std::string, RegValue>> MemoryRegistry::values(const std::string& keyPath) {
    std::lock_guard lock(mutex_);
    return store_.values(keyPath);
}

std::vector<std::string> MemoryRegistry::subKeys(const std::string& keyPath) {
    std::lock_guard lock(mutex_);
    return store_.subKeyNames(keyPath);
}

std::optional<RegValue> MemoryRegistry::read(const std::string& path) {
    std::lock_guard lock(mutex_);
    return store_.read(path);
}

bool MemoryRegistry::exists(const std::string& path) {
    std::lock_guard lock(mutex_);
    return store_.exists(path);
}

void MemoryRegistry::deleteValue(const std::string& path) {
    std::lock_guard lock(mutex_);
    store_.deleteValue(path);
}

void MemoryRegistry::deleteKey(const std::string& keyPath) {
    std::lock_guard lock(mutex_);
    store_.deleteKey(keyPath);
}

void MemoryRegistry::createKey(const std::string& keyPath) {
    std::lock_guard lock(mutex_);
    store_.createKey(keyPath);
}

std::string MemoryRegistry::storeId() const {
    std::ostringstream s;
    s << "memory:" << static_cast<const void*>(this);
    return s.str();
}

}  // namespace nocturo::platform

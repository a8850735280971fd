#pragma once
// A small JSON value: null, Boolean, number, text, array and object.
//
// Numbers are held as double. Whole numbers up to 2^53 in magnitude are exact
// and are written without fraction or exponent (4294967295, never 4.29e9).
// Object members keep the order in which they were added, so a written
// object reads in the order its producer chose.
//
// The parser is strict (RFC 8259): no comments, no trailing commas, no
// leading zeros, no raw control characters or invalid UTF-8 inside texts.
// The writer produces compact one-line JSON.
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace nocturo::platform {

class Json;
using JsonArray = std::vector<Json>;

// Object with insertion-ordered members. Keys are unique: setting an
// existing key replaces its value in place.
class JsonObject {
public:
    using Member = std::pair<std::string, Json>;
    using const_iterator = std::vector<Member>::const_iterator;

    JsonObject();
    JsonObject(std::initializer_list<Member> members);
    JsonObject(const JsonObject&);
    JsonObject(JsonObject&&) noexcept;
    JsonObject& operator=(const JsonObject&);
    JsonObject& operator=(JsonObject&&) noexcept;
    ~JsonObject();

    // Adds the member at the end, or replaces the value of an existing key.
    JsonObject& set(std::string key, Json value);
    // nullptr when there is no such key.
    const Json* find(std::string_view key) const;
    Json* find(std::string_view key);
    bool contains(std::string_view key) const { return find(key) != nullptr; }
    // Throws std::out_of_range when there is no such key.
    const Json& at(std::string_view key) const;
    bool erase(std::string_view key);

    // Defined below Json: their bodies need the complete member type.
    std::size_t size() const;
    bool empty() const;
    const_iterator begin() const;
    const_iterator end() const;
    std::vector<std::string> keys() const;

    friend bool operator==(const JsonObject& a, const JsonObject& b);

private:
    std::vector<Member> members_;
};

// A parse failure: what was wrong and where (byte offset, 1-based line and
// column in bytes).
class JsonParseError : public std::runtime_error {
public:
    JsonParseError(const std::string& what, std::size_t offset, std::size_t line, std::size_t column);
    std::size_t offset() const noexcept { return offset_; }
    std::size_t line() const noexcept { return line_; }
    std::size_t column() const noexcept { return column_; }

private:
    std::size_t offset_, line_, column_;
};

// Access with the wrong type (asString() of a number, ...).
class JsonTypeError : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

class Json {
public:
    enum class Type { Null, Bool, Number, String, Array, Object };

    // 2^53: the largest magnitude up to which every whole number is exact.
    static constexpr double MaxExactInteger = 9007199254740992.0;

    Json() : v_(nullptr) {}
    Json(std::nullptr_t) : v_(nullptr) {}
    Json(bool b) : v_(b) {}
    template <std::integral T>
        requires(!std::same_as<T, bool> && !std::same_as<T, char>)
    Json(T n) : v_(static_cast<double>(n)) {}
    template <std::floating_point T>
    Json(T n) : v_(static_cast<double>(n)) {}
    Json(const char* s) : v_(std::string(s)) {}
    Json(std::string_view s) : v_(std::string(s)) {}
    Json(std::string s) : v_(std::move(s)) {}
    Json(JsonArray a) : v_(std::move(a)) {}
    Json(JsonObject o) : v_(std::move(o)) {}

    Type type() const { return static_cast<Type>(v_.index()); }
    bool isNull() const { return type() == Type::Null; }
    bool isBool() const { return type() == Type::Bool; }
    bool isNumber() const { return type() == Type::Number; }
    bool isString() const { return type() == Type::String; }
    bool isArray() const { return type() == Type::Array; }
    bool isObject() const { return type() == Type::Object; }
    // A number with no fraction whose magnitude is at most 2^53.
    bool isInteger() const;

    // These throw JsonTypeError on the wrong type.
    bool asBool() const;
    double asNumber() const;
    // Throws JsonTypeError unless isInteger().
    std::int64_t asInt64() const;
    const std::string& asString() const;
    const JsonArray& asArray() const;
    JsonArray& asArray();
    const JsonObject& asObject() const;
    JsonObject& asObject();

    // Compact one-line text. Non-finite numbers are written as null (JSON
    // has no spelling for them). Valid UTF-8 is passed through; a byte that
    // is not part of a valid UTF-8 sequence is written as U+FFFD.
    std::string dump() const;
    void dumpTo(std::string& out) const;

    // Parses one JSON text (surrounding white space allowed). Throws
    // JsonParseError.
    static Json parse(std::string_view text);

    friend bool operator==(const Json& a, const Json& b) { return a.v_ == b.v_; }

private:
    std::variant<std::nullptr_t, bool, double, std::string, JsonArray, JsonObject> v_;
};

inline std::size_t JsonObject::size() const { return members_.size(); }
inline bool JsonObject::empty() const { return members_.empty(); }
inline JsonObject::const_iterator JsonObject::begin() const { return members_.begin(); }
inline JsonObject::const_iterator JsonObject::end() const { return members_.end(); }

const char* JsonTypeName(Json::Type type);

// Appends text as a JSON string literal, quotes included.
void JsonQuote(std::string& out, std::string_view text);

}  // namespace nocturo::platform

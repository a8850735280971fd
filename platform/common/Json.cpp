#include "platform/common/Utf8.h"
#include "platform/common/Json.h"

#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

namespace nocturo::platform {

// ---- JsonObject ---------------------------------------------------------------

JsonObject::JsonObject() = default;
JsonObject::JsonObject(std::initializer_list<Member> members) {
    for (const auto& m : members) set(m.first, m.second);
}
JsonObject::JsonObject(const JsonObject&) = default;
JsonObject::JsonObject(JsonObject&&) noexcept = default;
JsonObject& JsonObject::operator=(const JsonObject&) = default;
JsonObject& JsonObject::operator=(JsonObject&&) noexcept = default;
JsonObject::~JsonObject() = default;

JsonObject& JsonObject::set(std::string key, Json value) {
    if (Json* existing = find(key)) {
        *existing = std::move(value);
    } else {
        members_.emplace_back(std::move(key), std::move(value));
    }
    return *this;
}

const Json* JsonObject::find(std::string_view key) const {
    for (const auto& m : members_)
        if (m.first == key) return &m.second;
    return nullptr;
}

Json* JsonObject::find(std::string_view key) {
    for (auto& m : members_)
        if (m.first == key) return &m.second;
    return nullptr;
}

const Json& JsonObject::at(std::string_view key) const {
    if (const Json* v = find(key)) return *v;
    throw std::out_of_range("no member \"" + std::string(key) + "\"");
}

bool JsonObject::erase(std::string_view key) {
    for (auto it = members_.begin(); it != members_.end(); ++it) {
        if (it->first == key) {
            members_.erase(it);
            return true;
        }
    }
    return false;
}

std::vector<std::string> JsonObject::keys() const {
    std::vector<std::string> out;
    out.reserve(members_.size());
    for (const auto& m : members_) out.push_back(m.first);
    return out;
}

bool operator==(const JsonObject& a, const JsonObject& b) { return a.members_ == b.members_; }

// ---- Json access -----------------------------------------------------------------

const char* JsonTypeName(Json::Type type) {
    switch (type) {
        case Json::Type::Null: return "null";
        case Json::Type::Bool: return "Boolean";
        case Json::Type::Number: return "number";
        case Json::Type::String: return "string";
        case Json::Type::Array: return "array";
        case Json::Type::Object: return "object";
    }
    return "?";
}

namespace {

[[noreturn]] void WrongType(Json::Type want, Json::Type have) {
    throw JsonTypeError(std::string("JSON value is ") + JsonTypeName(have) + ", not " + JsonTypeName(want));
}

}  // namespace

bool Json::isInteger() const {
    if (!isNumber()) return false;
    double d = std::get<double>(v_);
    return std::isfinite(d) && std::trunc(d) == d && std::fabs(d) <= MaxExactInteger;
}

bool Json::asBool() const {
    if (!isBool()) WrongType(Type::Bool, type());
    return std::get<bool>(v_);
}

double Json::asNumber() const {
    if (!isNumber()) WrongType(Type::Number, type());
    return std::get<double>(v_);
}

std::int64_t Json::asInt64() const {
    if (!isInteger()) {
        if (!isNumber()) WrongType(Type::Number, type());
        throw JsonTypeError("JSON number " + dump() + " is not a whole number within 2^53");
    }
    return static_cast<std::int64_t>(std::get<double>(v_));
}

const std::string& Json::asString() const {
    if (!isString()) WrongType(Type::String, type());
    return std::get<std::string>(v_);
}

const JsonArray& Json::asArray() const {
    if (!isArray()) WrongType(Type::Array, type());
    return std::get<JsonArray>(v_);
}

JsonArray& Json::asArray() {
    if (!isArray()) WrongType(Type::Array, type());
    return std::get<JsonArray>(v_);
}

const JsonObject& Json::asObject() const {
    if (!isObject()) WrongType(Type::Object, type());
    return std::get<JsonObject>(v_);
}

JsonObject& Json::asObject() {
    if (!isObject()) WrongType(Type::Object, type());
    return std::get<JsonObject>(v_);
}

// ---- UTF-8 ---------------------------------------------------------------------------

namespace {

// Length of the well-formed UTF-8 sequence at s[i], or 0 when the bytes there
// do not start one (stray continuation byte, overlong form, surrogate, beyond
// U+10FFFF, truncated).
std::size_t Utf8SequenceLength(std::string_view s, std::size_t i) {
    auto byte = [&](std::size_t k) -> unsigned { return static_cast<unsigned char>(s[k]); };
    unsigned b0 = byte(i);
    if (b0 < 0x80) return 1;
    std::size_t len;
    unsigned lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        if (b0 == 0xE0) lo = 0xA0;        // no overlong forms
        if (b0 == 0xED) hi = 0x9F;        // no surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        if (b0 == 0xF0) lo = 0x90;        // no overlong forms
        if (b0 == 0xF4) hi = 0x8F;        // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (i + len > s.size()) return 0;
    if (byte(i + 1) < lo || byte(i + 1) > hi) return 0;
    for (std::size_t k = 2; k < len; ++k)
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
    return len;
}


constexpr char kHex[] = "0123456789abcdef";

}  // namespace

// ---- writer ---------------------------------------------------------------------------

void JsonQuote(std::string& out, std::string_view text) {
    out += '"';
    std::size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            std::size_t len = Utf8SequenceLength(text, i);
            if (len == 0) {
                out += "\xEF\xBF\xBD";  // U+FFFD for a byte that is not UTF-8
                ++i;
            } else {
                out.append(text.substr(i, len));
                i += len;
            }
            continue;
        }
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    out += "\\u00";
                    out += kHex[c >> 4];
                    out += kHex[c & 0xF];
                } else {
                    out += static_cast<char>(c);
                }
        }
        ++i;
    }
    out += '"';
}

namespace {

void AppendNumber(std::string& out, double d) {
    if (!std::isfinite(d)) {
        out += "null";
        return;
    }
    char buf[64];
    std::to_chars_result r;
    if (std::trunc(d) == d && std::fabs(d) <= Json::MaxExactInteger) {
        r = std::to_chars(buf, buf + sizeof buf, static_cast<std::int64_t>(d));
    } else {
        r = std::to_chars(buf, buf + sizeof buf, d);  // shortest text that reads back the same
    }
    out.append(buf, r.ptr);
}

}  // namespace

void Json::dumpTo(std::string& out) const {
    switch (type()) {
        case Type::Null: out += "null"; break;
        case Type::Bool: out += std::get<bool>(v_) ? "true" : "false"; break;
        case Type::Number: AppendNumber(out, std::get<double>(v_)); break;
        case Type::String: JsonQuote(out, std::get<std::string>(v_)); break;
        case Type::Array: {
            out += '[';
            bool first = true;
            for (const Json& item : std::get<JsonArray>(v_)) {
                if (!first) out += ',';
                first = false;
                item.dumpTo(out);
            }
            out += ']';
            break;
        }
        case Type::Object: {
            out += '{';
            bool first = true;
            for (const auto& [key, value] : std::get<JsonObject>(v_)) {
                if (!first) out += ',';
                first = false;
                JsonQuote(out, key);
                out += ':';
                value.dumpTo(out);
            }
            out += '}';
            break;
        }
    }
}

std::string Json::dump() const {
    std::string out;
    dumpTo(out);
    return out;
}

// ---- parser ---------------------------------------------------------------------------

JsonParseError::JsonParseError(const std::string& what, std::size_t offset, std::size_t line, std::size_t column)
    : std::runtime_error(what + " at line " + std::to_string(line) + ", column " + std::to_string(column)),
      offset_(offset),
      line_(line),
      column_(column) {}

namespace {

class Parser {
public:
    explicit Parser(std::string_view text) : s_(text) {}

    Json document() {
        skipSpace();
        Json value = parseValue(0);
        skipSpace();
        if (pos_ < s_.size()) fail("unexpected text after the JSON value");
        return value;
    }

private:
    static constexpr int kMaxDepth = 512;

    [[noreturn]] void fail(const std::string& what) const { failAt(what, pos_); }

    [[noreturn]] void failAt(const std::string& what, std::size_t at) const {
        std::size_t line = 1, column = 1;
        for (std::size_t i = 0; i < at && i < s_.size(); ++i) {
            if (s_[i] == '\n') {
                ++line;
                column = 1;
            } else {
                ++column;
            }
        }
        throw JsonParseError(what, at, line, column);
    }

    bool atEnd() const { return pos_ >= s_.size(); }
    char peek() const { return s_[pos_]; }

    void skipSpace() {
        while (!atEnd() && (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r')) ++pos_;
    }

    void expectWord(std::string_view word) {
        if (s_.substr(pos_, word.size()) != word) fail("invalid literal");
        pos_ += word.size();
    }

    Json parseValue(int depth) {
        if (atEnd()) fail("unexpected end of input, expected a value");
        switch (peek()) {
            case '{': return parseObject(depth + 1);
            case '[': return parseArray(depth + 1);
            case '"': return Json(parseString());
            case 't': expectWord("true"); return Json(true);
            case 'f': expectWord("false"); return Json(false);
            case 'n': expectWord("null"); return Json(nullptr);
            default:
                if (peek() == '-' || (peek() >= '0' && peek() <= '9')) return Json(parseNumber());
                fail(std::string("unexpected character '") + describe(peek()) + "', expected a value");
        }
    }

    static std::string describe(char c) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u >= 0x7F) {
            std::string out = "\\x";
            out += kHex[u >> 4];
            out += kHex[u & 0xF];
            return out;
        }
        return std::string(1, c);
    }

    Json parseObject(int depth) {
        if (depth > kMaxDepth) fail("nesting too deep");
        ++pos_;  // '{'
        JsonObject obj;
        skipSpace();
        if (!atEnd() && peek() == '}') {
            ++pos_;
            return Json(std::move(obj));
        }
        for (;;) {
            skipSpace();
            if (atEnd() || peek() != '"') fail("expected a member name in double quotes");
            std::string key = parseString();
            skipSpace();
            if (atEnd() || peek() != ':') fail("expected ':' after the member name");
            ++pos_;
            skipSpace();
            obj.set(std::move(key), parseValue(depth));
            skipSpace();
            if (atEnd()) fail("unexpected end of input inside an object");
            if (peek() == ',') {
                ++pos_;
                continue;
            }
            if (peek() == '}') {
                ++pos_;
                return Json(std::move(obj));
            }
            fail("expected ',' or '}' in an object");
        }
    }

    Json parseArray(int depth) {
        if (depth > kMaxDepth) fail("nesting too deep");
        ++pos_;  // '['
        JsonArray arr;
        skipSpace();
        if (!atEnd() && peek() == ']') {
            ++pos_;
            return Json(std::move(arr));
        }
        for (;;) {
            skipSpace();
            arr.push_back(parseValue(depth));
            skipSpace();
            if (atEnd()) fail("unexpected end of input inside an array");
            if (peek() == ',') {
                ++pos_;
                continue;
            }
            if (peek() == ']') {
                ++pos_;
                return Json(std::move(arr));
            }
            fail("expected ',' or ']' in an array");
        }
    }

    std::uint32_t parseHex4() {
        if (pos_ + 4 > s_.size()) fail("truncated \\u escape");
        std::uint32_t v = 0;
        for (int k = 0; k < 4; ++k) {
            char c = s_[pos_];
            v <<= 4;
            if (c >= '0' && c <= '9') v |= static_cast<std::uint32_t>(c - '0');
            else if (c >= 'a' && c <= 'f') v |= static_cast<std::uint32_t>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F') v |= static_cast<std::uint32_t>(c - 'A' + 10);
            else fail("invalid hexadecimal digit in \\u escape");
            ++pos_;
        }
        return v;
    }

    std::string parseString() {
        ++pos_;  // opening quote
        std::string out;
        for (;;) {
            if (atEnd()) fail("unterminated string");
            unsigned char c = static_cast<unsigned char>(peek());
            if (c == '"') {
                ++pos_;
                return out;
            }
            if (c < 0x20) fail("control character in a string must be escaped");
            if (c >= 0x80) {
                std::size_t len = Utf8SequenceLength(s_, pos_);
                if (len == 0) fail("invalid UTF-8 in a string");
                out.append(s_.substr(pos_, len));
                pos_ += len;
                continue;
            }
            if (c != '\\') {
                out += static_cast<char>(c);
                ++pos_;
                continue;
            }
            std::size_t escapeAt = pos_;
            ++pos_;
            if (atEnd()) fail("unterminated escape");
            char e = peek();
            ++pos_;
            switch (e) {
                case '"': out += '"'; break;
                case '\\': out += '\\'; break;
                case '/': out += '/'; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                case 'u': {
                    std::uint32_t cp = parseHex4();
                    if (cp >= 0xDC00 && cp <= 0xDFFF) failAt("lone low surrogate in \\u escape", escapeAt);
                    if (cp >= 0xD800 && cp <= 0xDBFF) {
                        if (s_.substr(pos_, 2) != "\\u") failAt("high surrogate without its low half", escapeAt);
                        pos_ += 2;
                        std::uint32_t low = parseHex4();
                        if (low < 0xDC00 || low > 0xDFFF) failAt("high surrogate without its low half", escapeAt);
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                    }
                    AppendUtf8(out, static_cast<char32_t>(cp));
                    break;
                }
                default: failAt("invalid escape", escapeAt);
            }
        }
    }

    static bool isDigit(char c) { return c >= '0' && c <= '9'; }

    double parseNumber() {
        std::size_t start = pos_;
        if (peek() == '-') ++pos_;
        if (atEnd() || !isDigit(peek())) fail("expected a digit");
        // Decimal position of the first significant digit, to tell an
        // underflow (a tiny number, read as zero) from an overflow.
        long magnitude = 0;
        bool seenSignificant = false;
        if (peek() == '0') {
            ++pos_;
            if (!atEnd() && isDigit(peek())) fail("leading zeros are not allowed");
        } else {
            seenSignificant = true;
            while (!atEnd() && isDigit(peek())) {
                ++magnitude;
                ++pos_;
            }
        }
        if (!atEnd() && peek() == '.') {
            ++pos_;
            if (atEnd() || !isDigit(peek())) fail("expected a digit after the decimal point");
            while (!atEnd() && isDigit(peek())) {
                if (!seenSignificant) {
                    if (peek() == '0') --magnitude;
                    else seenSignificant = true;
                }
                ++pos_;
            }
        }
        long exponent = 0;
        if (!atEnd() && (peek() == 'e' || peek() == 'E')) {
            ++pos_;
            bool negative = false;
            if (!atEnd() && (peek() == '+' || peek() == '-')) {
                negative = peek() == '-';
                ++pos_;
            }
            if (atEnd() || !isDigit(peek())) fail("expected a digit in the exponent");
            while (!atEnd() && isDigit(peek())) {
                if (exponent < 100000) exponent = exponent * 10 + (peek() - '0');
                ++pos_;
            }
            if (negative) exponent = -exponent;
        }
        std::string_view text = s_.substr(start, pos_ - start);
        double value = 0;
        auto r = std::from_chars(text.data(), text.data() + text.size(), value);
        if (r.ec == std::errc::result_out_of_range) {
            if (!seenSignificant || magnitude + exponent < 0) return text.front() == '-' ? -0.0 : 0.0;
            failAt("number out of range", start);
        }
        if (r.ec != std::errc() || r.ptr != text.data() + text.size()) failAt("invalid number", start);
        return value;
    }

    std::string_view s_;
    std::size_t pos_ = 0;
};

}  // namespace

Json Json::parse(std::string_view text) { return Parser(text).document(); }

}  // namespace nocturo::platform

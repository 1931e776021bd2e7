#pragma once

// A strict reader of one JSON text (RFC 8259) for checking what the program writes: anything the
// grammar does not allow, including bytes that are not UTF-8, raw control characters in strings
// and escaped surrogates without their partner, is refused. Header-only, so that a fuzz target can
// use it without the test framework.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace KvTest {

struct JsonMember;

struct JsonValue {
    enum class Type { Null, Bool, Number, String, Array, Object };
    Type type = Type::Null;
    bool boolean = false;
    std::string text;  // a number as written, or a string's characters in UTF-8
    std::vector<JsonValue> items;
    std::vector<JsonMember> members;

    // The value of the first member named `key`, or null.
    const JsonValue* Find(std::string_view key) const;
};

// A member of an object; a pair would need JsonValue complete where libc++ and libstdc++ under
// clang look at it.
struct JsonMember {
    std::string name;
    JsonValue value;
};

inline const JsonValue* JsonValue::Find(std::string_view key) const {
    for (const JsonMember& member : members) {
        if (member.name == key) {
            return &member.value;
        }
    }
    return nullptr;
}

namespace json_detail {

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    std::optional<JsonValue> Document() {
        JsonValue value;
        if (!Value(value, 0)) {
            return std::nullopt;
        }
        Space();
        if (pos_ != text_.size()) {
            return std::nullopt;
        }
        return value;
    }

private:
    static constexpr int kMaxDepth = 64;

    void Space() {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                       text_[pos_] == '\n' || text_[pos_] == '\r')) {
            ++pos_;
        }
    }
    bool Take(char c) {
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    bool Word(std::string_view word) {
        if (text_.substr(pos_, word.size()) != word) {
            return false;
        }
        pos_ += word.size();
        return true;
    }

    bool Value(JsonValue& value, int depth) {
        Space();
        if (pos_ >= text_.size() || depth > kMaxDepth) {
            return false;
        }
        switch (text_[pos_]) {
            case '{':
                value.type = JsonValue::Type::Object;
                return Object(value, depth);
            case '[':
                value.type = JsonValue::Type::Array;
                return Array(value, depth);
            case '"':
                value.type = JsonValue::Type::String;
                return String(value.text);
            case 't':
                value.type = JsonValue::Type::Bool;
                value.boolean = true;
                return Word("true");
            case 'f':
                value.type = JsonValue::Type::Bool;
                return Word("false");
            case 'n':
                return Word("null");
            default:
                value.type = JsonValue::Type::Number;
                return Number(value.text);
        }
    }

    bool Object(JsonValue& value, int depth) {
        ++pos_;
        Space();
        if (Take('}')) {
            return true;
        }
        do {
            Space();
            std::string key;
            JsonValue member;
            if (!String(key)) {
                return false;
            }
            Space();
            if (!Take(':') || !Value(member, depth + 1)) {
                return false;
            }
            value.members.push_back(JsonMember{std::move(key), std::move(member)});
            Space();
        } while (Take(','));
        return Take('}');
    }

    bool Array(JsonValue& value, int depth) {
        ++pos_;
        Space();
        if (Take(']')) {
            return true;
        }
        do {
            JsonValue item;
            if (!Value(item, depth + 1)) {
                return false;
            }
            value.items.push_back(std::move(item));
            Space();
        } while (Take(','));
        return Take(']');
    }

    bool Digits() {
        size_t start = pos_;
        while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
            ++pos_;
        }
        return pos_ > start;
    }

    bool Number(std::string& out) {
        size_t start = pos_;
        Take('-');
        if (Take('0')) {
            if (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
                return false;
            }
        } else if (!Digits()) {
            return false;
        }
        if (Take('.') && !Digits()) {
            return false;
        }
        if (Take('e') || Take('E')) {
            if (!Take('+')) {
                Take('-');
            }
            if (!Digits()) {
                return false;
            }
        }
        out.assign(text_.substr(start, pos_ - start));
        return true;
    }

    bool Hex4(uint32_t& value) {
        if (pos_ + 4 > text_.size()) {
            return false;
        }
        value = 0;
        for (int i = 0; i < 4; ++i) {
            char c = text_[pos_++];
            value <<= 4;
            if (c >= '0' && c <= '9') {
                value |= static_cast<uint32_t>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                value |= static_cast<uint32_t>(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                value |= static_cast<uint32_t>(c - 'A' + 10);
            } else {
                return false;
            }
        }
        return true;
    }

    static void Utf8(std::string& out, uint32_t value) {
        if (value < 0x80) {
            out.push_back(static_cast<char>(value));
        } else if (value < 0x800) {
            out.push_back(static_cast<char>(0xC0 | value >> 6));
            out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
        } else if (value < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | value >> 12));
            out.push_back(static_cast<char>(0x80 | (value >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | value >> 18));
            out.push_back(static_cast<char>(0x80 | (value >> 12 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (value >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
        }
    }

    bool Escape(std::string& out) {
        if (pos_ >= text_.size()) {
            return false;
        }
        char c = text_[pos_++];
        switch (c) {
            case '"':
            case '\\':
            case '/':
                out.push_back(c);
                return true;
            case 'b':
                out.push_back('\b');
                return true;
            case 'f':
                out.push_back('\f');
                return true;
            case 'n':
                out.push_back('\n');
                return true;
            case 'r':
                out.push_back('\r');
                return true;
            case 't':
                out.push_back('\t');
                return true;
            case 'u':
                break;
            default:
                return false;
        }
        uint32_t value = 0;
        if (!Hex4(value) || (value >= 0xDC00 && value <= 0xDFFF)) {
            return false;
        }
        if (value >= 0xD800 && value <= 0xDBFF) {
            uint32_t low = 0;
            if (!Word("\\u") || !Hex4(low) || low < 0xDC00 || low > 0xDFFF) {
                return false;
            }
            value = 0x10000 + ((value - 0xD800) << 10) + (low - 0xDC00);
        }
        Utf8(out, value);
        return true;
    }

    // One UTF-8 character of at least two bytes: no overlong forms, surrogates or values past
    // U+10FFFF.
    bool Multibyte(std::string& out) {
        auto lead = static_cast<unsigned char>(text_[pos_]);
        size_t length = (lead & 0xE0) == 0xC0   ? 2
                        : (lead & 0xF0) == 0xE0 ? 3
                        : (lead & 0xF8) == 0xF0 ? 4
                                                : 0;
        if (length == 0 || pos_ + length > text_.size()) {
            return false;
        }
        uint32_t value = lead & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            auto next = static_cast<unsigned char>(text_[pos_ + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            value = value << 6 | (next & 0x3F);
        }
        const uint32_t minimum = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
        if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
            return false;
        }
        out.append(text_.substr(pos_, length));
        pos_ += length;
        return true;
    }

    bool String(std::string& out) {
        if (!Take('"')) {
            return false;
        }
        while (pos_ < text_.size()) {
            auto c = static_cast<unsigned char>(text_[pos_]);
            if (c == '"') {
                ++pos_;
                return true;
            }
            if (c < 0x20) {
                return false;
            }
            if (c == '\\') {
                ++pos_;
                if (!Escape(out)) {
                    return false;
                }
            } else if (c >= 0x80) {
                if (!Multibyte(out)) {
                    return false;
                }
            } else {
                out.push_back(static_cast<char>(c));
                ++pos_;
            }
        }
        return false;
    }

    std::string_view text_;
    size_t pos_ = 0;
};

}  // namespace json_detail

// The value of `text`, or nothing when it is not exactly one valid JSON text.
inline std::optional<JsonValue> ParseJson(std::string_view text) {
    return json_detail::Reader(text).Document();
}

}  // namespace KvTest

#pragma once

// Reading tenlo-cli's --json output back with a JSON parser of the tests' own, strict as RFC 8259
// has it, so that the CLI tests need no Qt and run in every build (Windows' included).

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace tenlo::testing {

class JsonValue {
  public:
    enum class Kind { Null, Bool, Number, String, Array, Object };

    Kind kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<JsonValue> items;
    std::vector<std::pair<std::string, JsonValue>> members;

    // A member or item that is not there reads as null.
    const JsonValue& operator[](const std::string& key) const {
        for (const auto& [name, value] : members) {
            if (name == key) {
                return value;
            }
        }
        return Missing();
    }
    const JsonValue& operator[](int index) const {
        return index >= 0 && static_cast<std::size_t>(index) < items.size()
                   ? items[static_cast<std::size_t>(index)]
                   : Missing();
    }
    // As Qt's JSON classes read: the value itself, an array or an object.
    const JsonValue& toArray() const { return *this; }
    const JsonValue& toObject() const { return *this; }
    bool isNull() const { return kind == Kind::Null; }
    bool toBool() const { return boolean; }
    double toDouble() const { return number; }
    int toInt() const { return static_cast<int>(number); }
    std::int64_t toInteger() const { return static_cast<std::int64_t>(number); }
    const std::string& toString() const { return text; }
    int size() const {
        return static_cast<int>(kind == Kind::Array ? items.size() : members.size());
    }
    bool isEmpty() const { return size() == 0; }
    std::vector<JsonValue>::const_iterator begin() const { return items.begin(); }
    std::vector<JsonValue>::const_iterator end() const { return items.end(); }

  private:
    static const JsonValue& Missing() {
        static const JsonValue none;
        return none;
    }
};

// Parses one JSON text; false with the offset of the first fault in error.
class CJsonReader {
  public:
    explicit CJsonReader(const std::string& text) : s_(text) {}

    bool Parse(JsonValue& out, std::string& error) {
        Blank();
        if (!Value(out, 0)) {
            error = "not JSON at byte " + std::to_string(at_);
            return false;
        }
        Blank();
        if (at_ != s_.size()) {
            error = "more than one JSON value: byte " + std::to_string(at_);
            return false;
        }
        return true;
    }

  private:
    bool More() const { return at_ < s_.size(); }
    char Peek() const { return More() ? s_[at_] : '\0'; }
    void Blank() {
        while (More() && (Peek() == ' ' || Peek() == '\t' || Peek() == '\n' || Peek() == '\r')) {
            ++at_;
        }
    }
    bool Word(const char* word) {
        const std::string w = word;
        if (s_.compare(at_, w.size(), w) != 0) {
            return false;
        }
        at_ += w.size();
        return true;
    }
    static bool Digit(char c) { return c >= '0' && c <= '9'; }

    bool Value(JsonValue& v, int depth) {
        if (depth > 64) {
            return false;
        }
        switch (Peek()) {
            case '{':
                return Object(v, depth);
            case '[':
                return Array(v, depth);
            case '"':
                v.kind = JsonValue::Kind::String;
                return String(v.text);
            case 't':
                v.kind = JsonValue::Kind::Bool;
                v.boolean = true;
                return Word("true");
            case 'f':
                v.kind = JsonValue::Kind::Bool;
                return Word("false");
            case 'n':
                return Word("null");
            default:
                return Number(v);
        }
    }

    bool Object(JsonValue& v, int depth) {
        v.kind = JsonValue::Kind::Object;
        ++at_;
        Blank();
        if (Peek() == '}') {
            ++at_;
            return true;
        }
        for (;;) {
            std::string name;
            JsonValue member;
            Blank();
            if (Peek() != '"' || !String(name)) {
                return false;
            }
            Blank();
            if (Peek() != ':') {
                return false;
            }
            ++at_;
            Blank();
            if (!Value(member, depth + 1)) {
                return false;
            }
            v.members.emplace_back(std::move(name), std::move(member));
            Blank();
            if (Peek() == '}') {
                ++at_;
                return true;
            }
            if (Peek() != ',') {
                return false;
            }
            ++at_;
        }
    }

    bool Array(JsonValue& v, int depth) {
        v.kind = JsonValue::Kind::Array;
        ++at_;
        Blank();
        if (Peek() == ']') {
            ++at_;
            return true;
        }
        for (;;) {
            JsonValue item;
            Blank();
            if (!Value(item, depth + 1)) {
                return false;
            }
            v.items.push_back(std::move(item));
            Blank();
            if (Peek() == ']') {
                ++at_;
                return true;
            }
            if (Peek() != ',') {
                return false;
            }
            ++at_;
        }
    }

    bool Hex4(unsigned& value) {
        value = 0;
        for (int i = 0; i < 4; ++i, ++at_) {
            const char c = Peek();
            const int d = Digit(c)               ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
            if (d < 0) {
                return false;
            }
            value = value * 16 + static_cast<unsigned>(d);
        }
        return true;
    }

    static void Utf8(unsigned code, std::string& out) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    bool String(std::string& out) {
        ++at_;
        while (More()) {
            const char c = s_[at_++];
            if (c == '"') {
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x20) {
                return false;  // control characters must be escaped
            }
            if (c != '\\') {
                out += c;
                continue;
            }
            const char e = Peek();
            ++at_;
            const std::string simple = "\"\\/bfnrt";
            const std::string meant = "\"\\/\b\f\n\r\t";
            if (const std::size_t k = simple.find(e); k != std::string::npos && e != '\0') {
                out += meant[k];
            } else if (e == 'u') {
                unsigned code = 0;
                if (!Hex4(code)) {
                    return false;
                }
                if (code >= 0xD800 && code < 0xDC00) {
                    unsigned low = 0;
                    if (!Word("\\u") || !Hex4(low) || low < 0xDC00 || low > 0xDFFF) {
                        return false;
                    }
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                } else if (code >= 0xDC00 && code < 0xE000) {
                    return false;
                }
                Utf8(code, out);
            } else {
                return false;
            }
        }
        return false;
    }

    bool Number(JsonValue& v) {
        const std::size_t from = at_;
        if (Peek() == '-') {
            ++at_;
        }
        if (Peek() == '0') {
            ++at_;
        } else if (Digit(Peek())) {
            while (Digit(Peek())) {
                ++at_;
            }
        } else {
            return false;
        }
        if (Peek() == '.') {
            ++at_;
            if (!Digit(Peek())) {
                return false;
            }
            while (Digit(Peek())) {
                ++at_;
            }
        }
        if (Peek() == 'e' || Peek() == 'E') {
            ++at_;
            if (Peek() == '+' || Peek() == '-') {
                ++at_;
            }
            if (!Digit(Peek())) {
                return false;
            }
            while (Digit(Peek())) {
                ++at_;
            }
        }
        v.kind = JsonValue::Kind::Number;
        v.number = std::strtod(s_.substr(from, at_ - from).c_str(), nullptr);
        return true;
    }

    const std::string& s_;
    std::size_t at_ = 0;
};

// The text as one JSON object and nothing else; a parse error fails the test.
inline JsonValue JsonDocument(const std::string& text) {
    JsonValue doc;
    std::string error;
    EXPECT_TRUE(CJsonReader(text).Parse(doc, error)) << error << "\n" << text;
    EXPECT_EQ(doc.kind, JsonValue::Kind::Object) << text;
    return doc;
}

// A string member, "null" for null.
inline std::string JsonText(const JsonValue& value) {
    return value.isNull() ? "null" : value.toString();
}

}  // namespace tenlo::testing

#include "JsonReader.h"

#include <limits>
#include <set>

#include "JsonWriter.h"

namespace holvane::cli {

const JsonValue* JsonValue::Find(std::string_view name) const {
    if (!IsObject()) {
        return nullptr;
    }
    for (const auto& [key, value] : AsObject()) {
        if (key == name) {
            return &value;
        }
    }
    return nullptr;
}

std::string_view JsonTypeName(JsonValue::Type type) {
    switch (type) {
        case JsonValue::Type::Null:
            return "null";
        case JsonValue::Type::Bool:
            return "a boolean";
        case JsonValue::Type::Number:
            return "a number";
        case JsonValue::Type::String:
            return "a string";
        case JsonValue::Type::Array:
            return "an array";
        case JsonValue::Type::Object:
            return "an object";
    }
    return "";
}

namespace {

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    JsonParseResult Parse() {
        JsonValue value;
        SkipSpace();
        if (!ParseValue(value, 0)) {
            return {{}, error_};
        }
        SkipSpace();
        if (at_ < text_.size()) {
            Fail("text after the end of the document");
            return {{}, error_};
        }
        return {std::move(value), ""};
    }

private:
    bool Fail(const std::string& what) {
        std::size_t line = 1;
        std::size_t column = 1;
        for (std::size_t i = 0; i < at_ && i < text_.size(); ++i) {
            if (text_[i] == '\n') {
                ++line;
                column = 1;
            } else {
                ++column;
            }
        }
        error_ =
            "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + what;
        return false;
    }

    void SkipSpace() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' ||
                                      text_[at_] == '\n' || text_[at_] == '\r')) {
            ++at_;
        }
    }

    bool Literal(std::string_view word) {
        if (text_.substr(at_, word.size()) != word) {
            return Fail("not a JSON value");
        }
        at_ += word.size();
        return true;
    }

    bool ParseValue(JsonValue& value, int depth) {
        if (at_ >= text_.size()) {
            return Fail("the document ends where a value was expected");
        }
        switch (text_[at_]) {
            case '{':
                return ParseObject(value, depth + 1);
            case '[':
                return ParseArray(value, depth + 1);
            case '"': {
                std::string s;
                if (!ParseString(s)) {
                    return false;
                }
                value = JsonValue(std::move(s));
                return true;
            }
            case 't':
                value = JsonValue(true);
                return Literal("true");
            case 'f':
                value = JsonValue(false);
                return Literal("false");
            case 'n':
                value = JsonValue();
                return Literal("null");
            default:
                return ParseNumber(value);
        }
    }

    bool ParseNumber(JsonValue& value) {
        const std::size_t start = at_;
        const bool negative = text_[at_] == '-';
        if (negative) {
            ++at_;
        }
        if (at_ >= text_.size() || text_[at_] < '0' || text_[at_] > '9') {
            at_ = start;
            return Fail("not a JSON value");
        }
        if (text_[at_] == '0' && at_ + 1 < text_.size() && text_[at_ + 1] >= '0' &&
            text_[at_ + 1] <= '9') {
            return Fail("a number with a leading zero");
        }
        // Accumulated negatively, so the smallest 64-bit number fits.
        std::int64_t n = 0;
        constexpr std::int64_t Lowest = std::numeric_limits<std::int64_t>::min();
        while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') {
            const int digit = text_[at_] - '0';
            if (n < (Lowest + digit) / 10) {
                at_ = start;
                return Fail("a number too large to be read");
            }
            n = n * 10 - digit;
            ++at_;
        }
        if (at_ < text_.size() && (text_[at_] == '.' || text_[at_] == 'e' || text_[at_] == 'E')) {
            at_ = start;
            return Fail("a number that is not a whole number");
        }
        if (!negative) {
            if (n == Lowest) {
                at_ = start;
                return Fail("a number too large to be read");
            }
            n = -n;
        }
        value = JsonValue(n);
        return true;
    }

    static int HexDigit(char c) {
        if (c >= '0' && c <= '9') {
            return c - '0';
        }
        if (c >= 'a' && c <= 'f') {
            return c - 'a' + 10;
        }
        if (c >= 'A' && c <= 'F') {
            return c - 'A' + 10;
        }
        return -1;
    }

    bool ParseHex4(std::uint32_t& unit) {
        unit = 0;
        for (int i = 0; i < 4; ++i) {
            const int d = at_ < text_.size() ? HexDigit(text_[at_]) : -1;
            if (d < 0) {
                return Fail("\\u needs four hexadecimal digits");
            }
            unit = unit * 16 + static_cast<std::uint32_t>(d);
            ++at_;
        }
        return true;
    }

    static void AppendUtf8(std::string& s, std::uint32_t c) {
        if (c < 0x80) {
            s += static_cast<char>(c);
        } else if (c < 0x800) {
            s += static_cast<char>(0xC0 | (c >> 6));
            s += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            s += static_cast<char>(0xE0 | (c >> 12));
            s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            s += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            s += static_cast<char>(0xF0 | (c >> 18));
            s += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            s += static_cast<char>(0x80 | (c & 0x3F));
        }
    }

    bool ParseEscape(std::string& s) {
        if (at_ >= text_.size()) {
            return Fail("the document ends inside a string");
        }
        const char c = text_[at_++];
        switch (c) {
            case '"':
            case '\\':
            case '/':
                s += c;
                return true;
            case 'b':
                s += '\b';
                return true;
            case 'f':
                s += '\f';
                return true;
            case 'n':
                s += '\n';
                return true;
            case 'r':
                s += '\r';
                return true;
            case 't':
                s += '\t';
                return true;
            case 'u':
                break;
            default:
                --at_;
                return Fail("an unknown escape in a string");
        }
        std::uint32_t unit = 0;
        if (!ParseHex4(unit)) {
            return false;
        }
        if (unit >= 0xDC00 && unit <= 0xDFFF) {
            return Fail("a lone low surrogate in a string");
        }
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            std::uint32_t low = 0;
            if (text_.substr(at_, 2) != "\\u") {
                return Fail("a high surrogate without its low one in a string");
            }
            at_ += 2;
            if (!ParseHex4(low)) {
                return false;
            }
            if (low < 0xDC00 || low > 0xDFFF) {
                return Fail("a high surrogate without its low one in a string");
            }
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        }
        AppendUtf8(s, unit);
        return true;
    }

    bool ParseString(std::string& s) {
        const std::size_t start = at_;
        ++at_;  // the opening quote
        while (true) {
            if (at_ >= text_.size()) {
                at_ = start;
                return Fail("a string that is not closed");
            }
            const char c = text_[at_];
            if (c == '"') {
                ++at_;
                break;
            }
            if (static_cast<unsigned char>(c) < 0x20) {
                return Fail("a control character in a string");
            }
            ++at_;
            if (c == '\\') {
                if (!ParseEscape(s)) {
                    return false;
                }
            } else {
                s += c;
            }
        }
        if (!IsUtf8(s)) {
            at_ = start;
            return Fail("a string that is not valid UTF-8");
        }
        return true;
    }

    bool ParseArray(JsonValue& value, int depth) {
        if (depth > JsonMaximumDepth) {
            return Fail("nested too deeply");
        }
        ++at_;
        JsonArray items;
        SkipSpace();
        if (at_ < text_.size() && text_[at_] == ']') {
            ++at_;
            value = JsonValue(std::move(items));
            return true;
        }
        while (true) {
            SkipSpace();
            JsonValue item;
            if (!ParseValue(item, depth)) {
                return false;
            }
            items.push_back(std::move(item));
            SkipSpace();
            if (at_ < text_.size() && text_[at_] == ',') {
                ++at_;
                continue;
            }
            if (at_ < text_.size() && text_[at_] == ']') {
                ++at_;
                value = JsonValue(std::move(items));
                return true;
            }
            return Fail("',' or ']' expected in an array");
        }
    }

    bool ParseObject(JsonValue& value, int depth) {
        if (depth > JsonMaximumDepth) {
            return Fail("nested too deeply");
        }
        ++at_;
        JsonObject members;
        std::set<std::string> names;  // a document with many members stays quick to check
        SkipSpace();
        if (at_ < text_.size() && text_[at_] == '}') {
            ++at_;
            value = JsonValue(std::move(members));
            return true;
        }
        while (true) {
            SkipSpace();
            if (at_ >= text_.size() || text_[at_] != '"') {
                return Fail("a member name in quotes expected in an object");
            }
            const std::size_t nameAt = at_;
            std::string name;
            if (!ParseString(name)) {
                return false;
            }
            if (!names.insert(name).second) {
                at_ = nameAt;
                return Fail("the member \"" + name + "\" given twice");
            }
            SkipSpace();
            if (at_ >= text_.size() || text_[at_] != ':') {
                return Fail("':' expected after a member name");
            }
            ++at_;
            SkipSpace();
            JsonValue member;
            if (!ParseValue(member, depth)) {
                return false;
            }
            members.emplace_back(std::move(name), std::move(member));
            SkipSpace();
            if (at_ < text_.size() && text_[at_] == ',') {
                ++at_;
                continue;
            }
            if (at_ < text_.size() && text_[at_] == '}') {
                ++at_;
                value = JsonValue(std::move(members));
                return true;
            }
            return Fail("',' or '}' expected in an object");
        }
    }

    std::string_view text_;
    std::size_t at_ = 0;
    std::string error_;
};

}  // namespace

JsonParseResult ParseJson(std::string_view text) {
    return Parser(text).Parse();
}

}  // namespace holvane::cli

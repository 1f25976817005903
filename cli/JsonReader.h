// A strict reader of one JSON document (RFC 8259): no comments, no trailing commas, no duplicate
// member names, strings valid UTF-8 with every escape checked, nothing after the document. Numbers
// are kept as whole numbers only; a fraction, an exponent or a number beyond 64 bits is refused,
// since every number the program reads back is a byte, an offset or a count. Nesting is limited,
// so no input can exhaust the stack.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace holvane::cli {

class JsonValue;
using JsonArray = std::vector<JsonValue>;
// Members in document order.
using JsonObject = std::vector<std::pair<std::string, JsonValue>>;

class JsonValue {
public:
    enum class Type { Null, Bool, Number, String, Array, Object };

    JsonValue() = default;
    explicit JsonValue(bool b) : value_(b) {}
    explicit JsonValue(std::int64_t n) : value_(n) {}
    explicit JsonValue(std::string s) : value_(std::move(s)) {}
    explicit JsonValue(JsonArray a) : value_(std::make_shared<JsonArray>(std::move(a))) {}
    explicit JsonValue(JsonObject o) : value_(std::make_shared<JsonObject>(std::move(o))) {}

    Type GetType() const { return static_cast<Type>(value_.index()); }
    bool IsNull() const { return GetType() == Type::Null; }
    bool IsBool() const { return GetType() == Type::Bool; }
    bool IsNumber() const { return GetType() == Type::Number; }
    bool IsString() const { return GetType() == Type::String; }
    bool IsArray() const { return GetType() == Type::Array; }
    bool IsObject() const { return GetType() == Type::Object; }

    // Each of these may be called only for a value of its type.
    bool AsBool() const { return std::get<bool>(value_); }
    std::int64_t AsNumber() const { return std::get<std::int64_t>(value_); }
    const std::string& AsString() const { return std::get<std::string>(value_); }
    const JsonArray& AsArray() const { return *std::get<std::shared_ptr<JsonArray>>(value_); }
    const JsonObject& AsObject() const { return *std::get<std::shared_ptr<JsonObject>>(value_); }

    // The member of an object with the name, or null when the value is no object or has none.
    const JsonValue* Find(std::string_view name) const;

private:
    std::variant<std::monostate, bool, std::int64_t, std::string, std::shared_ptr<JsonArray>,
                 std::shared_ptr<JsonObject>>
        value_;
};

// A type's name as messages use it ("a string", "an object", ...).
std::string_view JsonTypeName(JsonValue::Type type);

struct JsonParseResult {
    JsonValue value;
    std::string error;  // empty on success: "line L, column C: what is wrong"
};

inline constexpr int JsonMaximumDepth = 64;

JsonParseResult ParseJson(std::string_view text);

}  // namespace holvane::cli

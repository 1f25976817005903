// A small writer of one indented JSON document: values in order, commas and indentation taken
// care of. Strings are escaped; valid UTF-8 is passed through as it is, and each byte that is not
// part of a valid UTF-8 character is written as U+FFFD (the replacement character), so the
// document is valid JSON and valid UTF-8 whatever bytes a string holds.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace holvane::cli {

// Whether the bytes are valid UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool IsUtf8(std::string_view text);

class JsonWriter {
public:
    JsonWriter& BeginObject() { return Open('{'); }
    JsonWriter& EndObject() { return Close('}'); }
    JsonWriter& BeginArray() { return Open('['); }
    JsonWriter& EndArray() { return Close(']'); }

    // The name of the next member of the object being written.
    JsonWriter& Key(std::string_view name);

    JsonWriter& String(std::string_view text);
    JsonWriter& Number(std::int64_t value);
    JsonWriter& Bool(bool value);
    JsonWriter& Null();

    // The document, ending in a line break.
    std::string Text() const { return text_ + "\n"; }

private:
    JsonWriter& Open(char bracket);
    JsonWriter& Close(char bracket);
    void BeforeValue();
    void NewLine();

    std::string text_;
    std::vector<bool> hasMembers_;  // per open bracket
    bool afterKey_ = false;
};

}  // namespace holvane::cli

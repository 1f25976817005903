// A small writer of one indented JSON document: values in order, commas and indentation taken
// care of. Strings are escaped; bytes outside ASCII are passed through as they are (UTF-8 in,
// UTF-8 out).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace holvane::cli {

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

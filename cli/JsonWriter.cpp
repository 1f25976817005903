#include "JsonWriter.h"

#include <cstdio>

namespace holvane::cli {

void JsonWriter::NewLine() {
    text_ += '\n';
    text_.append(2 * hasMembers_.size(), ' ');
}

void JsonWriter::BeforeValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!hasMembers_.empty()) {
        if (hasMembers_.back()) {
            text_ += ',';
        }
        hasMembers_.back() = true;
        NewLine();
    }
}

JsonWriter& JsonWriter::Open(char bracket) {
    BeforeValue();
    text_ += bracket;
    hasMembers_.push_back(false);
    return *this;
}

JsonWriter& JsonWriter::Close(char bracket) {
    const bool members = hasMembers_.back();
    hasMembers_.pop_back();
    if (members) {
        NewLine();
    }
    text_ += bracket;
    return *this;
}

JsonWriter& JsonWriter::Key(std::string_view name) {
    String(name);
    text_ += ": ";
    afterKey_ = true;
    return *this;
}

JsonWriter& JsonWriter::String(std::string_view value) {
    BeforeValue();
    text_ += '"';
    for (const char c : value) {
        switch (c) {
            case '"':
                text_ += "\\\"";
                break;
            case '\\':
                text_ += "\\\\";
                break;
            case '\n':
                text_ += "\\n";
                break;
            case '\r':
                text_ += "\\r";
                break;
            case '\t':
                text_ += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x",
                                  static_cast<unsigned>(static_cast<unsigned char>(c)));
                    text_ += escaped;
                } else {
                    text_ += c;
                }
        }
    }
    text_ += '"';
    return *this;
}

JsonWriter& JsonWriter::Number(std::int64_t value) {
    BeforeValue();
    text_ += std::to_string(value);
    return *this;
}

JsonWriter& JsonWriter::Bool(bool value) {
    BeforeValue();
    text_ += value ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::Null() {
    BeforeValue();
    text_ += "null";
    return *this;
}

}  // namespace holvane::cli

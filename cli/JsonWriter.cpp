#include "JsonWriter.h"

#include <cstdio>

namespace holvane::cli {

namespace {

// The length of the valid UTF-8 character at the start of the text, 0 when it does not start
// with one.
std::size_t Utf8Length(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;   // the range of the second byte, narrowed to rule out overlong
    unsigned char high = 0xBF;  // forms, surrogates and values above U+10FFFF
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

}  // namespace

bool IsUtf8(std::string_view text) {
    while (!text.empty()) {
        const std::size_t length = Utf8Length(text);
        if (length == 0) {
            return false;
        }
        text.remove_prefix(length);
    }
    return true;
}

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
    while (!value.empty()) {
        const char c = value.front();
        const std::size_t length = Utf8Length(value);
        if (length == 0) {
            text_ += "\\ufffd";
            value.remove_prefix(1);
            continue;
        }
        if (length > 1) {
            text_.append(value.substr(0, length));
            value.remove_prefix(length);
            continue;
        }
        value.remove_prefix(1);
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

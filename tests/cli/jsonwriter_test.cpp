#include "JsonWriter.h"

#include <gtest/gtest.h>

#include <string>

using holvane::cli::IsUtf8;
using holvane::cli::JsonWriter;

namespace {

std::string Written(const std::string& text) {
    JsonWriter json;
    json.String(text);
    return json.Text();
}

}  // namespace

// Each byte that is not part of a valid UTF-8 character becomes U+FFFD; valid characters, the
// longest included, pass unchanged; control characters and quotes are escaped.
TEST(JsonWriterTest, StringsAreValidWhateverBytesTheyHold) {
    struct Case {
        const char* what;
        std::string in;
        std::string out;
        bool utf8;
    };
    const Case cases[] = {
        {"plain", "spring.mode", "\"spring.mode\"", true},
        {"two-byte letter", "caf\xC3\xA9", "\"caf\xC3\xA9\"", true},
        {"four-byte character", "\xF0\x9F\x98\x80", "\"\xF0\x9F\x98\x80\"", true},
        {"highest character", "\xF4\x8F\xBF\xBF", "\"\xF4\x8F\xBF\xBF\"", true},
        {"Latin-1 byte", "caf\xE9", "\"caf\\ufffd\"", false},
        {"stray continuation byte", "a\x80z", "\"a\\ufffdz\"", false},
        {"overlong slash", "\xC0\xAF", "\"\\ufffd\\ufffd\"", false},
        {"overlong three-byte form", "\xE0\x80\xAF", "\"\\ufffd\\ufffd\\ufffd\"", false},
        {"surrogate", "\xED\xA0\x80", "\"\\ufffd\\ufffd\\ufffd\"", false},
        {"above U+10FFFF", "\xF4\x90\x80\x80", "\"\\ufffd\\ufffd\\ufffd\\ufffd\"", false},
        {"cut short at the end", "x\xE2\x82", "\"x\\ufffd\\ufffd\"", false},
        {"cut short before ASCII", "\xE2\x82z", "\"\\ufffd\\ufffdz\"", false},
        {"0xFF", "\xFF", "\"\\ufffd\"", false},
        {"controls and quotes", std::string("a\"b\\c\n\r\t\x01", 9),
         "\"a\\\"b\\\\c\\n\\r\\t\\u0001\"", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Written(c.in), c.out + "\n");
        EXPECT_EQ(IsUtf8(c.in), c.utf8);
    }
}

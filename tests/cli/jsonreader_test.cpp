#include "JsonReader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

using namespace holvane::cli;

namespace {

// What the reader refuses, with where and why.
TEST(JsonReaderTest, RefusesWhatIsNotStrictJson) {
    struct Case {
        std::string text;
        std::string error;
    };
    const Case cases[] = {
        {"", "line 1, column 1: the document ends where a value was expected"},
        {"{\"a\": 1,}", "line 1, column 9: a member name in quotes expected in an object"},
        {"[1,]", "line 1, column 4: not a JSON value"},
        {"{\"a\": 1, \"a\": 2}", "line 1, column 10: the member \"a\" given twice"},
        {"{\n  \"a\": 01\n}", "line 2, column 8: a number with a leading zero"},
        {"1.5", "line 1, column 1: a number that is not a whole number"},
        {"1e3", "line 1, column 1: a number that is not a whole number"},
        {"9223372036854775808", "line 1, column 1: a number too large to be read"},
        {"\"a\tb\"", "line 1, column 3: a control character in a string"},
        {"\"\\x\"", "line 1, column 3: an unknown escape in a string"},
        {"\"\\ud800\"", "line 1, column 8: a high surrogate without its low one in a string"},
        {"\"\\udc00\"", "line 1, column 8: a lone low surrogate in a string"},
        {"\"\xC3\"", "line 1, column 1: a string that is not valid UTF-8"},
        {"\"open", "line 1, column 1: a string that is not closed"},
        {"// note\n{}", "line 1, column 1: not a JSON value"},
        {"{} {}", "line 1, column 4: text after the end of the document"},
        {std::string(JsonMaximumDepth + 1, '[') + std::string(JsonMaximumDepth + 1, ']'),
         "line 1, column 65: nested too deeply"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseJson(c.text).error, c.error);
    }
}

TEST(JsonReaderTest, ReadsValuesAsWritten) {
    const JsonParseResult parsed = ParseJson(
        " {\"n\": -9223372036854775808, \"s\": \"\\u00e9\\ud83d\\ude00\\\"\\n\", \"a\": [true, "
        "false, null, []], \"o\": {}} ");
    ASSERT_EQ(parsed.error, "");
    const JsonValue& v = parsed.value;
    EXPECT_EQ(v.Find("n")->AsNumber(), INT64_MIN);
    EXPECT_EQ(v.Find("s")->AsString(), "\xC3\xA9\xF0\x9F\x98\x80\"\n");
    const JsonArray& a = v.Find("a")->AsArray();
    ASSERT_EQ(a.size(), 4u);
    EXPECT_TRUE(a[0].AsBool());
    EXPECT_FALSE(a[1].AsBool());
    EXPECT_TRUE(a[2].IsNull());
    EXPECT_TRUE(a[3].AsArray().empty());
    EXPECT_TRUE(v.Find("o")->AsObject().empty());
    EXPECT_EQ(v.Find("missing"), nullptr);
    const std::string deepest =
        std::string(JsonMaximumDepth, '[') + std::string(JsonMaximumDepth, ']');
    EXPECT_EQ(ParseJson(deepest).error, "");
}

}  // namespace

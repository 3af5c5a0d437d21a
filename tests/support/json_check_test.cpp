// The JSON reader the tool's tests rely on: it must refuse what is not JSON, or those tests could
// pass on broken output.
#include "support/json_check.h"

#include <gtest/gtest.h>

#include <string>

namespace mivra_test {
namespace {

TEST(JsonCheck, AcceptsJsonAndRefusesEverythingElse) {
  struct Case {
    const char* text;
    bool valid;
  };
  const Case kCases[] = {
      {"{}", true},
      {" {\"a\": [1, -2.5e+3, 0, true, false, null, \"x\"], \"b\": {\"c\": []}}\n", true},
      {"\"\\u00e9\\ud83d\\ude00 \\\\ \\/ \\n\"", true},
      {"", false},
      {"{\"a\": 1,}", false},           // trailing comma
      {"[1 2]", false},                 // missing comma
      {"{\"a\": 1} {\"b\": 2}", false},  // two objects
      {"{\"a\": 1, \"a\": 2}", false},   // repeated key
      {"{a: 1}", false},                 // key not a string
      {"\"tab\there\"", false},          // raw control character
      {"\"\\x41\"", false},              // unknown escape
      {"\"\\ud83d\"", false},            // lone surrogate
      {"\"open", false},
      {"01", false},
      {"1.", false},
      {"-", false},
      {"yes", false},
      {"tru", false},
      {"[\"a\" \"b\"]", false},
  };
  for (const Case& c : kCases) {
    JsonValue value;
    std::string error;
    EXPECT_EQ(ParseJson(c.text, &value, &error), c.valid) << c.text << ": " << error;
    if (!c.valid) {
      EXPECT_FALSE(error.empty()) << c.text;
    }
  }
}

TEST(JsonCheck, ReadsMembersInOrderWithTheirKindsAndDecodedStrings) {
  JsonValue value;
  std::string error;
  ASSERT_TRUE(ParseJson("{\"s\": \"C:\\\\a \\\"b\\\"\\u00e9\", \"n\": 130, \"t\": true, \"z\": null, \"l\": [\"x\"]}",
                        &value, &error))
      << error;
  ASSERT_EQ(value.members.size(), 5u);
  EXPECT_EQ(value.members[0].key, "s");
  EXPECT_EQ(value.Find("s")->text, "C:\\a \"b\"\xC3\xA9");
  EXPECT_TRUE(value.Find("n")->Is(JsonValue::Kind::kNumber));
  EXPECT_EQ(value.Find("n")->text, "130");
  EXPECT_TRUE(value.Find("t")->Is(JsonValue::Kind::kBool));
  EXPECT_TRUE(value.Find("t")->boolean);
  EXPECT_TRUE(value.Find("z")->Is(JsonValue::Kind::kNull));
  ASSERT_TRUE(value.Find("l")->Is(JsonValue::Kind::kArray));
  EXPECT_EQ(value.Find("l")->items.at(0).text, "x");
  EXPECT_EQ(value.Find("missing"), nullptr);
}

}  // namespace
}  // namespace mivra_test

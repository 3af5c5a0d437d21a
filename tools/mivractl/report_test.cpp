#include "report.h"

#include <gtest/gtest.h>

namespace mivra::ctl {
namespace {

Report Sample() {
  Report header = Report::Object();
  header.Set("magic", Report::Text("KVBKUP")).Set("version", Report::Number(1));
  Report checks = Report::Object();
  checks.Set("crc", Report::Check(CheckState::kBad, "stored 0x1, computed 0x2"))
      .Set("length", Report::Check(CheckState::kOk))
      .Set("count", Report::Check(CheckState::kNotChecked, "too short"));
  Report records = Report::List();
  Report first = Report::Object();
  first.Set("name", Report::Text("A \"B\"\\C\n"));
  records.Append(std::move(first), "record 0: name=A");
  Report report = Report::Object();
  report.Set("header", std::move(header))
      .Set("check", std::move(checks))
      .Set("damaged", Report::Flag(true))
      .Set("switch", Report::Flag(false, "on", "off"))
      .Set("code", Report::Null("none"))
      .Set("records", std::move(records))
      .Set("empty", Report::List());
  return report;
}

TEST(Report, TextPrintsOneDottedKeyPerLineWithItsWordsAndTheListLines) {
  EXPECT_EQ(RenderText(Sample()),
            "header.magic: KVBKUP\n"
            "header.version: 1\n"
            "check.crc: bad (stored 0x1, computed 0x2)\n"
            "check.length: ok\n"
            "check.count: not checked (too short)\n"
            "damaged: yes\n"
            "switch: off\n"
            "code: none\n"
            "record 0: name=A\n");
}

TEST(Report, JsonNestsObjectsEscapesTextAndAnswersYesOrNoWithBooleans) {
  EXPECT_EQ(RenderJson(Sample()),
            "{\n"
            "  \"header\": {\n"
            "    \"magic\": \"KVBKUP\",\n"
            "    \"version\": 1\n"
            "  },\n"
            "  \"check\": {\n"
            "    \"crc\": {\"state\": \"bad\", \"detail\": \"stored 0x1, computed 0x2\"},\n"
            "    \"length\": {\"state\": \"ok\", \"detail\": \"\"},\n"
            "    \"count\": {\"state\": \"not checked\", \"detail\": \"too short\"}\n"
            "  },\n"
            "  \"damaged\": true,\n"
            "  \"switch\": false,\n"
            "  \"code\": null,\n"
            "  \"records\": [\n"
            "    {\n"
            "      \"name\": \"A \\\"B\\\"\\\\C\\n\"\n"
            "    }\n"
            "  ],\n"
            "  \"empty\": []\n"
            "}\n");
  EXPECT_EQ(JsonQuote(std::string("\x01\t", 2)), "\"\\u0001\\t\"");
}

TEST(Report, PathsAreQuotedInTextWhenTheyWouldSplitAndPlainInJson) {
  struct PathCase {
    const char* path;
    const char* text;
  };
  const PathCase kCases[] = {
      {"C:\\Corvane\\bkmdata.dat", "C:\\Corvane\\bkmdata.dat"},
      {"C:\\Program Files\\Common Files\\bkmdata.dat", "\"C:\\Program Files\\Common Files\\bkmdata.dat\""},
      {"/tmp/a\"b", "\"/tmp/a\\\"b\""},
      {"", "\"\""},
  };
  for (const PathCase& c : kCases) {
    Report report = Report::Object();
    report.Set("file", Report::Path(c.path));
    EXPECT_EQ(RenderText(report), std::string("file: ") + c.text + "\n");
    EXPECT_EQ(RenderJson(report), "{\n  \"file\": " + JsonQuote(c.path) + "\n}\n");
  }
}

TEST(Report, WordsAreOneLineInTextAndAnArrayInJson) {
  Report report = Report::Object();
  report.Set("tests", Report::Words({"interrupted", "changed"}))
      .Set("flags", Report::Words({"removed", "absent"}, "|"))
      .Set("none", Report::Words({}));
  EXPECT_EQ(RenderText(report), "tests: interrupted, changed\nflags: removed|absent\nnone:\n");
  EXPECT_EQ(RenderJson(report),
            "{\n  \"tests\": [\n    \"interrupted\",\n    \"changed\"\n  ],\n"
            "  \"flags\": [\n    \"removed\",\n    \"absent\"\n  ],\n  \"none\": []\n}\n");
}

TEST(Report, SettingAKeyAgainReplacesItInPlace) {
  Report report = Report::Object();
  report.Set("a", Report::Number(1)).Set("b", Report::Number(2)).Set("a", Report::Number(3));
  Report more = Report::Object();
  more.Set("b", Report::Number(4)).Set("c", Report::Number(5));
  report.Merge(std::move(more));
  EXPECT_EQ(RenderText(report), "a: 3\nb: 4\nc: 5\n");
  ASSERT_NE(report.Find("c"), nullptr);
  EXPECT_EQ(report.Find("d"), nullptr);
}

}  // namespace
}  // namespace mivra::ctl

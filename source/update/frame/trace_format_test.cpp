#include "update/frame/trace_format.h"

#include <gtest/gtest.h>

#include <string>

namespace mivra {
namespace {

struct EscapeCase {
  const char* plain;
  const char* escaped;
};

TEST(TraceFormat, EscapesOnlyWhatBreaksALine) {
  const EscapeCase kCases[] = {
      {"C:\\Program Files\\Corvane\\a.dll", "C:\\Program%20Files\\Corvane\\a.dll"},
      {"say \"hi\"", "say%20%22hi%22"},
      {"two\nlines\r\tand\x7F", "two%0Alines%0D%09and%7F"},
      {"100%", "100%25"},
      {"a=b", "a=b"},
      {"\xC3\xA9t\xC3\xA9.txt", "\xC3\xA9t\xC3\xA9.txt"},
      {"", ""},
  };
  for (const EscapeCase& c : kCases) {
    EXPECT_EQ(EscapeTraceValue(c.plain), c.escaped) << c.plain;
    EXPECT_EQ(UnescapeTraceValue(c.escaped), c.plain) << c.escaped;
  }
  EXPECT_EQ(EscapeTraceValue(std::string(1, '\0')), "%00");
}

TEST(TraceFormat, LeavesMalformedEscapesAsTheyStand) {
  EXPECT_EQ(UnescapeTraceValue("50%"), "50%");
  EXPECT_EQ(UnescapeTraceValue("%4"), "%4");
  EXPECT_EQ(UnescapeTraceValue("%zz%41"), "%zzA");
}

TEST(TraceFormat, ALineOfFieldsReadsBackAsWritten) {
  std::string line;
  AppendTraceField(line, "event", "step");
  AppendTraceField(line, "from", "C:\\a b\\x=y\n");
  AppendTraceField(line, "to", "");
  AppendTraceField(line, "note", "%00");
  EXPECT_EQ(line, "event=step from=C:\\a%20b\\x=y%0A to= note=%2500");

  const std::vector<TraceField> fields = ParseTraceLine(line + "\r");
  ASSERT_EQ(fields.size(), 4u);
  EXPECT_EQ(fields[0].key, "event");
  EXPECT_EQ(fields[0].value, "step");
  EXPECT_EQ(fields[1].key, "from");
  EXPECT_EQ(fields[1].value, "C:\\a b\\x=y\n");
  EXPECT_EQ(fields[2].value, "");
  EXPECT_EQ(fields[3].value, "%00");
}

TEST(TraceFormat, ToleratesStraySpacesAndBareWords) {
  const std::vector<TraceField> fields = ParseTraceLine("  a=1  b  c=x=y ");
  ASSERT_EQ(fields.size(), 3u);
  EXPECT_EQ(fields[0].key, "a");
  EXPECT_EQ(fields[1].key, "b");
  EXPECT_EQ(fields[1].value, "");
  EXPECT_EQ(fields[2].key, "c");
  EXPECT_EQ(fields[2].value, "x=y");
}

}  // namespace
}  // namespace mivra

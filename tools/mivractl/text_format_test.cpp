#include "text_format.h"

#include <gtest/gtest.h>

namespace mivra::ctl {
namespace {

TEST(TextFormat, ConvertsBetweenUtf8AndUtf16) {
  const std::u16string text = u"Caf\u00e9 \u65e5\U0001F600.dll";
  EXPECT_EQ(Utf16ToUtf8(text), "Caf\xc3\xa9 \xe6\x97\xa5\xf0\x9f\x98\x80.dll");
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
}

TEST(TextFormat, MalformedInputBecomesReplacementCharacters) {
  // An unpaired surrogate from a damaged record name.
  EXPECT_EQ(Utf16ToUtf8(std::u16string{u'A', static_cast<char16_t>(0xD800), u'B'}), "A\xef\xbf\xbd" "B");
  const struct {
    const char* utf8;
    std::u16string utf16;
  } cases[] = {
      {"\xff", u"\ufffd"},                  // not a lead byte
      {"\xc3", u"\ufffd"},                  // cut sequence
      {"\xc0\xaf", u"\ufffd\ufffd"},        // overlong
      {"\xed\xa0\x80", u"\ufffd\ufffd\ufffd"},  // encoded surrogate
      {"a\xe6\x97", u"a\ufffd\ufffd"},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16) << c.utf8;
}

TEST(TextFormat, FormatsDigestsCountersAndTimes) {
  const uint8_t bytes[] = {0x00, 0xab, 0x10, 0xff};
  EXPECT_EQ(HexBytes(bytes, sizeof(bytes)), "00ab10ff");
  EXPECT_EQ(Hex32(0x2a), "0x0000002a");
  EXPECT_EQ(FormatSystemTime(SystemTime16{2026, 1, 3, 2, 4, 5, 6, 7}), "2026-01-02T04:05:06.007");
  EXPECT_EQ(FormatSystemTime(SystemTime16{}), "-");
}

TEST(TextFormat, RowValuesAreQuotedOnlyWhenTheyWouldSplitTheRow) {
  EXPECT_EQ(RowValue("A.DLL"), "A.DLL");
  EXPECT_EQ(RowValue(""), "\"\"");
  EXPECT_EQ(RowValue("My File.txt"), "\"My File.txt\"");
  EXPECT_EQ(RowValue("a=b"), "\"a=b\"");
  EXPECT_EQ(RowValue("say \"hi\"\\"), "\"say \\\"hi\\\"\\\\\"");
}

}  // namespace
}  // namespace mivra::ctl

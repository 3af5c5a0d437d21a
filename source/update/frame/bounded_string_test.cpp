#include "update/frame/bounded_string.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>

namespace {

using mivra::BoundedAppend;
using mivra::BoundedConcat;
using mivra::BoundedCopy;
using mivra::FormatHex;
using mivra::JoinPath;

// Filler that shows whether a call wrote past the text it reports.
constexpr wchar_t kFill = L'#';

TEST(BoundedStringTest, CopyFitsOnlyWithRoomForTheTerminator) {
  wchar_t dest[6];
  std::fill(std::begin(dest), std::end(dest), kFill);
  EXPECT_TRUE(BoundedCopy(dest, L"abcde"));
  EXPECT_STREQ(dest, L"abcde");

  std::fill(std::begin(dest), std::end(dest), kFill);
  EXPECT_FALSE(BoundedCopy(dest, L"abcdef"));
  EXPECT_STREQ(dest, L"abcde") << "a text one character too long is cut and terminated";

  EXPECT_TRUE(BoundedCopy(dest, L""));
  EXPECT_STREQ(dest, L"");
}

TEST(BoundedStringTest, AnsiCopyTruncatesAndTerminates) {
  char dest[4];
  EXPECT_TRUE(BoundedCopy(dest, "abc"));
  EXPECT_STREQ(dest, "abc");
  EXPECT_FALSE(BoundedCopy(dest, "Resource not found."));
  EXPECT_STREQ(dest, "Res");
}

TEST(BoundedStringTest, CapacityZeroOrTooLargeFailsWithoutWriting) {
  wchar_t dest[4] = {kFill, kFill, kFill, kFill};
  EXPECT_FALSE(BoundedCopy(dest, 0, L"a"));
  EXPECT_FALSE(BoundedAppend(dest, 0, L"a"));
  EXPECT_FALSE(BoundedConcat(dest, 0, {L"a"}));
  EXPECT_FALSE(BoundedCopy(dest, mivra::kMaxBoundedCapacity + 1, L"a"));
  EXPECT_EQ(dest[0], kFill);

  char ansi[2] = {'#', '#'};
  EXPECT_FALSE(BoundedCopy(ansi, 0, "a"));
  EXPECT_EQ(ansi[0], '#');

  EXPECT_FALSE(BoundedCopy(static_cast<wchar_t*>(nullptr), 4, L"a"));
}

TEST(BoundedStringTest, AppendFillsToTheLastCharacterThenFails) {
  wchar_t dest[8] = L"dir\\";
  EXPECT_TRUE(BoundedAppend(dest, L"abc"));
  EXPECT_STREQ(dest, L"dir\\abc");

  wchar_t full[8] = L"dir\\";
  EXPECT_FALSE(BoundedAppend(full, L"abcd"));
  EXPECT_STREQ(full, L"dir\\abc") << "cut to the capacity and terminated";
}

TEST(BoundedStringTest, AppendToTextWithoutTerminatorFailsWithoutWriting) {
  wchar_t dest[4] = {L'a', L'b', L'c', L'd'};
  EXPECT_FALSE(BoundedAppend(dest, L"x"));
  EXPECT_EQ(std::wstring(dest, 4), L"abcd");
}

TEST(BoundedStringTest, ConcatAndJoinPathFailWhenTheWholeDoesNotFit) {
  wchar_t dest[13];
  EXPECT_TRUE(BoundedConcat(dest, {L"C:", L"\\", L"a", L"\\", L"b"}));
  EXPECT_STREQ(dest, L"C:\\a\\b");

  EXPECT_TRUE(JoinPath(dest, L"C:\\base", L"bkup"));
  EXPECT_STREQ(dest, L"C:\\base\\bkup");

  EXPECT_FALSE(JoinPath(dest, L"C:\\base", L"tmpbkup"));
  EXPECT_STREQ(dest, L"C:\\base\\tmpb") << "the part that overflows is cut and terminated";

  // A path of exactly 259 characters is the longest that fits the library's path buffer.
  wchar_t path[mivra::kPathCapacity];
  const std::wstring folder(250, L'f');
  EXPECT_TRUE(JoinPath(path, folder, L"12345678"));
  EXPECT_EQ(std::wstring(path).size(), 259u);
  EXPECT_FALSE(JoinPath(path, folder, L"123456789"));
}

TEST(BoundedStringTest, FormatHexPadsToWidthInEitherCase) {
  struct HexCase {
    uint32_t value;
    int width;
    bool upperCase;
    const wchar_t* text;
  };
  const HexCase kCases[] = {
      {0x1A2B, 6, true, L"001A2B"},     {0x1a2b, 6, false, L"001a2b"}, {0xDEADBEEF, 8, false, L"deadbeef"},
      {0xDEADBEEF, 8, true, L"DEADBEEF"}, {0, 8, false, L"00000000"},   {0, 0, true, L"0"},
      {0xABC, 2, true, L"ABC"},          {0x12345678, 6, false, L"12345678"},
  };
  for (const HexCase& c : kCases) {
    EXPECT_EQ(FormatHex(c.value, c.width, c.upperCase).view(), c.text) << std::hex << c.value << " width " << c.width;
  }
}

}  // namespace

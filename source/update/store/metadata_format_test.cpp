#include "update/store/metadata_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "update/backup/bk_record_layout.h"
#include "update/rollbackdb/rb_record_layout.h"

namespace {

// A stored record whose name field holds `units` (zero-filled after them), scrambled as the file
// stores it; the bytes outside the field are 0xAA before scrambling.
std::vector<uint8_t> StoredRecordNaming(const mivra::MetadataFormat& format, const std::u16string& units) {
  std::vector<uint8_t> record(format.recordSize, 0xAA);
  std::fill_n(record.begin() + format.recordNameOffset, mivra::kRecordNameBytes, 0);
  for (size_t i = 0; i < units.size(); ++i) {
    record[format.recordNameOffset + 2 * i] = static_cast<uint8_t>(units[i]);
    record[format.recordNameOffset + 2 * i + 1] = static_cast<uint8_t>(units[i] >> 8);
  }
  mivra::ScrambleBytes(record.data(), record.size());
  return record;
}

// A name is read up to its first NUL unit, and only a unit whose two bytes are both zero is one:
// units with one zero byte, and a name that fills the field without a NUL, are read whole.
TEST(MetadataFormatTest, StoredNamesDecodeUpToTheirFirstNulUnit) {
  struct NameCase {
    const char* what;
    std::u16string units;
    std::wstring name;
  };
  const std::u16string full(mivra::kRecordNameChars, u'Z');
  const NameCase cases[] = {
      {"empty", u"", L""},
      {"plain", u"APP.EXE", L"APP.EXE"},
      {"a zero low byte", u"\u0100x", L"\u0100x"},
      {"a zero high byte", u"\u00F6\u00FF", L"\u00F6\u00FF"},
      {"the bytes of the stored zero", std::u16string(1, static_cast<char16_t>(0xF6F6)), std::wstring(1, wchar_t{0xF6F6})},
      {"text after a NUL", std::u16string(u"ab\0cd", 5), L"ab"},
      {"the whole field", full, std::wstring(full.begin(), full.end())},
  };
  for (const mivra::MetadataFormat* format : {&mivra::kBkMdataFormat, &mivra::kRBMdataFormat}) {
    for (const NameCase& c : cases) {
      SCOPED_TRACE(c.what);
      const std::vector<uint8_t> stored = StoredRecordNaming(*format, c.units);
      EXPECT_EQ(mivra::DecodeStoredRecordName(*format, stored.data()), c.name);
      std::vector<uint8_t> twice = stored;
      twice.insert(twice.end(), stored.begin(), stored.end());
      EXPECT_EQ(mivra::DecodeRecordNames(*format, twice.data(), twice.size()).ToVector(),
                (std::vector<std::wstring>{c.name, c.name}));
    }
  }
}

// The list keeps every name whole and in place whatever is replaced around it: a replacement that
// is shorter, longer or empty moves only the names after it.
TEST(MetadataFormatTest, RecordNamesKeepEachNameInPlaceThroughReplacements) {
  struct ReplaceCase {
    const char* what;
    size_t index;
    std::wstring name;
    std::vector<std::wstring> after;
  };
  const ReplaceCase cases[] = {
      {"the first, longer", 0, L"LONGER.NAME", {L"LONGER.NAME", L"", L"b.dll", L"c.exe"}},
      {"an empty one, filled", 1, L"x", {L"a.dll", L"x", L"b.dll", L"c.exe"}},
      {"a middle one, emptied", 2, L"", {L"a.dll", L"", L"", L"c.exe"}},
      {"the last, shorter", 3, L"c", {L"a.dll", L"", L"b.dll", L"c"}},
      {"past the end: nothing", 4, L"d", {L"a.dll", L"", L"b.dll", L"c.exe"}},
  };
  for (const ReplaceCase& c : cases) {
    SCOPED_TRACE(c.what);
    mivra::RecordNames names;
    names.Append(L"a.dll");
    names.Append(L"");
    const std::vector<uint8_t> stored = StoredRecordNaming(mivra::kBkMdataFormat, u"b.dll");
    names.AppendStored(mivra::kBkMdataFormat, stored.data());
    names.Append(L"c.exe");
    names.Replace(c.index, c.name);
    EXPECT_EQ(names.ToVector(), c.after);
    ASSERT_EQ(names.size(), c.after.size());
    for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(names[i], c.after[i]) << i;
  }
  mivra::RecordNames emptied;
  emptied.Append(L"a");
  emptied.clear();
  EXPECT_TRUE(emptied.empty());
  emptied.Append(L"b");
  EXPECT_EQ(emptied.ToVector(), std::vector<std::wstring>{L"b"});
}

}  // namespace

#include "update/store/journal_format.h"

#include <gtest/gtest.h>

namespace {

mivra::JournalImage TwoRanges() {
  mivra::JournalImage image;
  image.oldLength = 93 + 560;
  image.ranges.push_back({0, std::vector<uint8_t>(93, 0xAB)});
  image.ranges.push_back({93, {}});
  return image;
}

TEST(JournalFormatTest, CompleteJournalReadsBackAsWritten) {
  for (const mivra::JournalImage& image : {TwoRanges(), mivra::JournalImage{mivra::kJournalFileAbsent, {}}}) {
    std::vector<uint8_t> bytes = mivra::EncodeJournal(image);
    // Bytes past the journal's own length (an older, longer journal) are not part of it.
    bytes.resize(bytes.size() + 7, 0x55);
    mivra::JournalImage decoded;
    ASSERT_TRUE(mivra::DecodeJournal(bytes.data(), bytes.size(), &decoded));
    EXPECT_EQ(decoded.oldLength, image.oldLength);
    ASSERT_EQ(decoded.ranges.size(), image.ranges.size());
    for (size_t i = 0; i < image.ranges.size(); ++i) {
      EXPECT_EQ(decoded.ranges[i].offset, image.ranges[i].offset);
      EXPECT_EQ(decoded.ranges[i].bytes, image.ranges[i].bytes);
    }
  }
}

TEST(JournalFormatTest, CutOffOrChangedJournalIsRefused) {
  const std::vector<uint8_t> bytes = mivra::EncodeJournal(TwoRanges());
  mivra::JournalImage decoded;
  for (size_t keep = 0; keep < bytes.size(); ++keep) {
    EXPECT_FALSE(mivra::DecodeJournal(bytes.data(), keep, &decoded)) << keep;
  }
  for (size_t at = 0; at < bytes.size(); ++at) {
    std::vector<uint8_t> changed = bytes;
    changed[at] ^= 0x01;
    EXPECT_FALSE(mivra::DecodeJournal(changed.data(), changed.size(), &decoded)) << at;
  }
  EXPECT_FALSE(mivra::DecodeJournal(nullptr, 0, &decoded));
}

}  // namespace

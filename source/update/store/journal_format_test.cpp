#include "update/store/journal_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

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


TEST(JournalFormatTest, JournalLiesBesideItsFileUnderTheExtensionJnl) {
  const struct {
    const wchar_t* file;
    const wchar_t* journal;
  } kCases[] = {
      {L"C:\\Common\\bkup\\bkmdata.dat", L"C:\\Common\\bkup\\bkmdata.jnl"},
      {L"C:\\Common\\rbmdata.dat", L"C:\\Common\\rbmdata.jnl"},
      {L"C:\\Common.v2\\rbmdata", L"C:\\Common.v2\\rbmdata.jnl"},  // a dot in a folder is no extension
      {L"/tmp/sent.in/bkmdata.dat", L"/tmp/sent.in/bkmdata.jnl"},
      {L"bkmdata.old.dat", L"bkmdata.old.jnl"},
      {L"bkmdata", L"bkmdata.jnl"},
  };
  for (const auto& c : kCases) EXPECT_EQ(mivra::JournalPathOf(c.file), c.journal) << c.file;
}

// Every reader puts a journal back in the same steps: a created file goes; otherwise each range
// in order, then the old length.
TEST(JournalFormatTest, PuttingBackWritesTheRangesInOrderThenTheLength) {
  struct Recorder : mivra::JournalTarget {
    std::vector<std::string> steps;
    size_t failAt = SIZE_MAX;
    bool Step(std::string step) {
      steps.push_back(std::move(step));
      return steps.size() != failAt;
    }
    bool RemoveFile() override { return Step("remove"); }
    bool Write(uint64_t offset, const uint8_t*, size_t length) override {
      return Step("write " + std::to_string(offset) + "+" + std::to_string(length));
    }
    bool SetLength(uint64_t length) override { return Step("length " + std::to_string(length)); }
  };
  Recorder put;
  EXPECT_TRUE(mivra::PutJournalBack(TwoRanges(), put));
  EXPECT_EQ(put.steps, (std::vector<std::string>{"write 0+93", "write 93+0", "length 653"}));
  Recorder created;
  EXPECT_TRUE(mivra::PutJournalBack({mivra::kJournalFileAbsent, TwoRanges().ranges}, created));
  EXPECT_EQ(created.steps, (std::vector<std::string>{"remove"}));
  Recorder failing;
  failing.failAt = 1;
  EXPECT_FALSE(mivra::PutJournalBack(TwoRanges(), failing));
  EXPECT_EQ(failing.steps, (std::vector<std::string>{"write 0+93"}));
}

TEST(JournalFormatTest, BytesInMemoryBecomeWhatTheNextOpenFinds) {
  // An append cut off after the header was rewritten: the header comes back, the record goes.
  std::vector<uint8_t> file(93 + 560 + 560, 0x11);
  mivra::JournalImage image;
  image.oldLength = 93 + 560;
  image.ranges.push_back({0, std::vector<uint8_t>(93, 0xAB)});
  EXPECT_EQ(mivra::ApplyJournalToBytes(image, &file), mivra::JournalEffect::kRestored);
  std::vector<uint8_t> expected(93, 0xAB);
  expected.resize(93 + 560, 0x11);
  EXPECT_EQ(file, expected);

  // A range past the end and an old length longer than the file both fill with zeros, as a file does.
  std::vector<uint8_t> shortFile(4, 0x22);
  image.oldLength = 12;
  image.ranges = {{6, {0x33, 0x33}}};
  EXPECT_EQ(mivra::ApplyJournalToBytes(image, &shortFile), mivra::JournalEffect::kRestored);
  EXPECT_EQ(shortFile, (std::vector<uint8_t>{0x22, 0x22, 0x22, 0x22, 0, 0, 0x33, 0x33, 0, 0, 0, 0}));

  // A change that created the file: putting it back removes the file.
  std::vector<uint8_t> created(40, 0x44);
  EXPECT_EQ(mivra::ApplyJournalToBytes({mivra::kJournalFileAbsent, {}}, &created), mivra::JournalEffect::kRemoved);
  EXPECT_TRUE(created.empty());

  // A length no metadata file can have is not put back in memory.
  std::vector<uint8_t> any(8, 0x55);
  EXPECT_EQ(mivra::ApplyJournalToBytes({uint64_t{1} << 40, {}}, &any), mivra::JournalEffect::kFailed);
}

}  // namespace

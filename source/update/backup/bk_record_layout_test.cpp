#include "update/backup/bk_record_layout.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/metadata_file_bytes.h"

namespace {

mivra_test::MetadataRecord Sample() {
  mivra_test::MetadataRecord record;
  record.size = 0x89ABCDEFu;
  record.flags = mivra::BKREC_REMOVED | mivra::BKREC_ABSENT;
  const uint16_t time[8] = {2023, 12, 0, 31, 23, 59, 58, 999};
  std::memcpy(record.time, time, sizeof(time));
  record.name = L"n\u00e4me.dll";
  for (int i = 0; i < 16; ++i) record.digest.push_back(static_cast<char>(0xF0 + i));
  return record;
}

TEST(BkRecordLayoutTest, EncodesEveryFieldAtItsOffsetScrambled) {
  const mivra::BkMdataRecord record = mivra_test::ToBkMdataRecord(Sample());
  uint8_t stored[mivra::kBkRecordSize];
  mivra::EncodeBkRecord(record, stored);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(stored), sizeof(stored)),
            mivra_test::Scrambled(mivra_test::PlainRecordBytes(mivra_test::kBkLayout, Sample())));

  mivra::BkMdataRecord decoded;
  std::memset(&decoded, 0xCC, sizeof(decoded));
  mivra::DecodeBkRecord(stored, &decoded);
  EXPECT_EQ(std::memcmp(&decoded, &record, sizeof(record)), 0);
}

TEST(BkRecordLayoutTest, ScramblingRoundTripsEveryByte) {
  EXPECT_EQ(mivra::ScrambleByte(0x00), 0xF6);
  EXPECT_EQ(mivra::ScrambleByte(0x61), 0x55);
  for (int b = 0; b < 256; ++b) {
    EXPECT_EQ(mivra::UnscrambleByte(mivra::ScrambleByte(static_cast<uint8_t>(b))), b);
  }
}

TEST(BkRecordLayoutTest, StateBlockHoldsCountTimeAndFlags) {
  const mivra::BkMdataState state = {7, {2024, 1, 2, 3, 4, 5, 6, 7}, mivra::BKSTATE_DAMAGED, 0};
  uint8_t bytes[mivra::kBkStateSize];
  mivra::EncodeBkState(state, bytes);
  const std::string block(reinterpret_cast<char*>(bytes), sizeof(bytes));
  EXPECT_EQ(mivra_test::Le32At(block, 0), 7u);
  EXPECT_EQ(block.substr(4, 16), std::string("\xE8\x07\x01\x00\x02\x00\x03\x00\x04\x00\x05\x00\x06\x00\x07\x00", 16));
  EXPECT_EQ(mivra_test::Le32At(block, 20), 1u);
  EXPECT_EQ(mivra_test::Le32At(block, 24), 0u);
  const mivra::BkMdataState decoded = mivra::DecodeBkState(bytes);
  EXPECT_EQ(decoded.recordCount, 7u);
  EXPECT_EQ(decoded.createdUtc, state.createdUtc);
  EXPECT_EQ(decoded.stateFlags, mivra::BKSTATE_DAMAGED);
}

TEST(BkRecordLayoutTest, ExaminingAFileTrustsItsLengthNotItsCount) {
  std::vector<uint8_t> header = mivra::BuildNewHeader(mivra::kBkMdataFormat);
  std::string file(header.begin(), header.end());
  file.append(28, '\0');
  for (int i = 0; i < 2; ++i) file += mivra_test::Scrambled(mivra_test::PlainRecordBytes(mivra_test::kBkLayout, Sample()));
  mivra_test::PutLe32(file, mivra_test::kCrcAt, mivra_test::ReferenceCrc32(file.substr(93)));
  mivra_test::PutLe32(file, mivra_test::kBkCountAt, 0xFFFFFFFFu);

  auto examine = [](const std::string& bytes) {
    return mivra::ExamineMetadataFile(mivra::kBkMdataFormat, reinterpret_cast<const uint8_t*>(bytes.data()),
                                      bytes.size());
  };
  const mivra::MetadataVerdict sound = examine(file);
  EXPECT_TRUE(sound.valid());
  EXPECT_EQ(sound.recordCount, 0xFFFFFFFFu);
  EXPECT_EQ(sound.recordsInFile, 2u);
  EXPECT_TRUE(sound.lengthExact);

  const mivra::MetadataVerdict cut = examine(file.substr(0, file.size() - 1));
  EXPECT_FALSE(cut.valid());
  EXPECT_EQ(cut.recordsInFile, 1u);
  EXPECT_FALSE(cut.lengthExact);
  EXPECT_FALSE(examine(file.substr(0, 92)).valid());
}

}  // namespace

#include "metadata_test_files.h"

#include <cstring>

#include "update/digest/crc32.h"
#include "update/digest/md5.h"

namespace mivra_test {
namespace {

constexpr mivra::SystemTime16 kRecordTime{2026, 12, 4, 10, 7, 30, 15, 250};
constexpr mivra::SystemTime16 kCreatedTime{2026, 12, 4, 10, 6, 0, 0, 0};

void Digest(const std::string& content, uint8_t (&digest)[16]) {
  mivra::CMd5 md5;
  md5.GetBufferMd5(reinterpret_cast<const uint8_t*>(content.data()), static_cast<uint32_t>(content.size()), digest);
}

template <typename Record>
void SetName(Record* record, const std::u16string& name) {
  std::memset(record->fileName, 0, sizeof(record->fileName));
  for (size_t i = 0; i < name.size() && i + 1 < mivra::kRecordNameChars; ++i) record->fileName[i] = name[i];
}

std::string Seal(std::vector<uint8_t> file, const mivra::MetadataFormat& format) {
  const size_t area = format.recordAreaOffset();
  mivra::WriteLe32(file.data() + mivra::kHeaderCrcOffset, mivra::Crc32(file.data() + area, file.size() - area));
  return std::string(file.begin(), file.end());
}

}  // namespace

mivra::BkMdataRecord BkRecord(const std::u16string& name, const std::string& content, uint32_t flags) {
  mivra::BkMdataRecord record{};
  record.flags = flags;
  SetName(&record, name);
  if (flags & mivra::BKREC_ABSENT) return record;
  record.fileSizeLow = static_cast<uint32_t>(content.size());
  record.lastWriteTime = kRecordTime;
  Digest(content, record.digest);
  return record;
}

mivra::RbMdataRecord RbRecord(const std::u16string& name, const std::string& content) {
  mivra::RbMdataRecord record{};
  SetName(&record, name);
  record.fileSizeLow = static_cast<uint32_t>(content.size());
  record.lastWriteTime = kRecordTime;
  Digest(content, record.digest);
  return record;
}

std::string BuildBkMdata(const std::vector<mivra::BkMdataRecord>& records, uint32_t stateFlags) {
  std::vector<uint8_t> file = mivra::BuildNewHeader(mivra::kBkMdataFormat);
  file.resize(mivra::kBkRecordAreaOffset + records.size() * mivra::kBkRecordSize);
  mivra::BkMdataState state{static_cast<uint32_t>(records.size()), kCreatedTime, stateFlags, 0};
  mivra::EncodeBkState(state, file.data() + mivra::kBkHeaderSize);
  for (size_t i = 0; i < records.size(); ++i) {
    mivra::EncodeBkRecord(records[i], file.data() + mivra::kBkMdataFormat.recordOffset(static_cast<uint32_t>(i)));
  }
  return Seal(std::move(file), mivra::kBkMdataFormat);
}

std::string BuildRbMdata(const std::vector<mivra::RbMdataRecord>& records, uint8_t updateStatus,
                         uint32_t rollbackCount) {
  std::vector<uint8_t> file = mivra::BuildNewHeader(mivra::kRbMdataFormat);
  file.resize(mivra::kRbRecordAreaOffset + records.size() * mivra::kRbRecordSize);
  mivra::RbMdataState state{};
  state.recordCount = static_cast<uint32_t>(records.size());
  state.updateStatus = updateStatus;
  state.rollbackCount = rollbackCount;
  mivra::EncodeRbState(state, file.data() + mivra::kRbHeaderSize);
  for (size_t i = 0; i < records.size(); ++i) {
    mivra::EncodeRbRecord(records[i], file.data() + mivra::kRbMdataFormat.recordOffset(static_cast<uint32_t>(i)));
  }
  return Seal(std::move(file), mivra::kRbMdataFormat);
}

void SetStateRecordCount(std::string* file, const mivra::MetadataFormat& format, uint32_t count) {
  mivra::WriteLe32(reinterpret_cast<uint8_t*>(file->data()) + format.stateOffset() + mivra::kStateRecordCountOffset,
                   count);
}

std::string Md5Hex(const std::string& content) {
  uint8_t digest[16];
  Digest(content, digest);
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (uint8_t b : digest) {
    hex.push_back(kDigits[b >> 4]);
    hex.push_back(kDigits[b & 0x0F]);
  }
  return hex;
}

}  // namespace mivra_test

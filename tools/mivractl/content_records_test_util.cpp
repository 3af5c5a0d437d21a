#include "content_records_test_util.h"

#include <algorithm>
#include <iterator>

#include "update/digest/md5.h"

namespace mivra_test {
namespace {

constexpr uint16_t kRecordTime[8] = {2026, 12, 4, 10, 7, 30, 15, 250};
constexpr uint16_t kCreatedTime[8] = {2026, 12, 4, 10, 6, 0, 0, 0};

std::string Md5(const std::string& content) {
  uint8_t digest[16];
  mivra::CMd5 md5;
  md5.GetBufferMd5(reinterpret_cast<const uint8_t*>(content.data()), static_cast<uint32_t>(content.size()), digest);
  return std::string(reinterpret_cast<const char*>(digest), sizeof(digest));
}

MetadataRecord ContentRecord(const std::wstring& name, const std::string& content) {
  MetadataRecord record;
  record.name = name;
  record.size = static_cast<uint32_t>(content.size());
  std::copy(std::begin(kRecordTime), std::end(kRecordTime), record.time);
  record.digest = Md5(content);
  return record;
}

}  // namespace

MetadataRecord BkRecord(const std::wstring& name, const std::string& content, uint32_t flags) {
  MetadataRecord record;
  if (flags & mivra::BKREC_ABSENT) {  // nothing was copied
    record.name = name;
  } else {
    record = ContentRecord(name, content);
  }
  record.flags = flags;
  return record;
}

MetadataRecord RBRecord(const std::wstring& name, const std::string& content) { return ContentRecord(name, content); }

std::string BuildBkMdata(const std::vector<MetadataRecord>& records, uint32_t stateFlags) {
  std::string file = MetadataFile(kBkLayout, records);
  for (int i = 0; i < 8; ++i) PutLe16(file, kBkCreatedAt + 2 * i, kCreatedTime[i]);
  PutLe32(file, kBkStateFlagsAt, stateFlags);
  return file;
}

std::string BuildRBMdata(const std::vector<MetadataRecord>& records, uint8_t updateStatus, uint32_t rollbackCount) {
  std::string file = MetadataFile(kRBLayout, records);
  file[kRBStatusAt] = static_cast<char>(updateStatus);
  PutLe32(file, kRBRollbackCountAt, rollbackCount);
  return file;
}

std::string Md5Hex(const std::string& content) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (char c : Md5(content)) {
    const auto b = static_cast<uint8_t>(c);
    hex.push_back(kDigits[b >> 4]);
    hex.push_back(kDigits[b & 0x0F]);
  }
  return hex;
}

}  // namespace mivra_test

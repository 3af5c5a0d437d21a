#include "update/manifest/update_config_parser.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <utility>

#include "update/digest/crc32.h"
#include "update/frame/byte_codec.h"

namespace mivra {
namespace {

constexpr size_t kChecksumOffset = 4;
constexpr size_t kRecordCountOffset = 8;

UpdateConfigStatus Failed(UpdateConfigStep step, uint32_t value = 0, uint32_t stored = 0) {
  return UpdateConfigStatus{step, value, stored};
}

}  // namespace

UpdateConfigHeaderFields PeekUpdateConfigHeader(const uint8_t* header) {
  UpdateConfigHeaderFields fields;
  std::memcpy(fields.magic, header, sizeof(fields.magic));
  fields.checksum = ReadLe32(header + kChecksumOffset);
  fields.recordCount = ReadLe32(header + kRecordCountOffset);
  return fields;
}

UpdateConfigStatus CheckUpdateConfigHeader(const uint8_t* header, uint64_t fileLength,
                                           UpdateConfigHeader* parsed) {
  if (std::memcmp(header, kUpdateConfigMagic, sizeof(kUpdateConfigMagic)) != 0) return Failed(UpdateConfigStep::kMagic);
  const uint32_t count = ReadLe32(header + kRecordCountOffset);
  if (count == 0 || count > kUpdateConfigMaxRecords) return Failed(UpdateConfigStep::kRecordCount, count);
  // The count is bounded first, so the expected length cannot overflow.
  const uint64_t expected = kUpdateConfigHeaderSize + uint64_t{count} * kUpdateConfigRecordSize;
  if (fileLength != expected) return Failed(UpdateConfigStep::kLength);
  parsed->checksum = ReadLe32(header + kChecksumOffset);
  parsed->recordCount = count;
  return UpdateConfigStatus{};
}

size_t UpdateConfigAreaSize(const UpdateConfigHeader& header) {
  return size_t{header.recordCount} * kUpdateConfigRecordSize;
}

UpdateConfigStatus CheckUpdateConfigArea(const UpdateConfigHeader& header, const uint8_t* area,
                                         size_t size) {
  const uint32_t computed = Crc32Update(kCrc32Initial, area, size);
  if (computed != header.checksum) return Failed(UpdateConfigStep::kChecksum, computed, header.checksum);
  return UpdateConfigStatus{};
}

UpdateConfigStatus AddUpdateConfigRecord(const uint8_t* stored, uint32_t index, cLinkList* chain) {
  UpdateConfigNode node{};
  for (size_t i = 0; i < kUpdateConfigRecordSize; ++i) {
    node.record[i] = static_cast<uint8_t>((stored[i] >> 4) | (stored[i] << 4));
  }
  node.recordIndex = index;
  node.next = nullptr;
  uint32_t existingIndex = kNoExistingRecord;
  if (chain->Insert(&node, &existingIndex) == 0) return Failed(UpdateConfigStep::kInsert, index);
  return UpdateConfigStatus{};
}

UpdateConfigStatus ParseUpdateConfig(const uint8_t* data, size_t size, cLinkList* chain) {
  if (size < kUpdateConfigHeaderSize) return Failed(UpdateConfigStep::kHeaderRead);
  UpdateConfigHeader header;
  UpdateConfigStatus status = CheckUpdateConfigHeader(data, size, &header);
  if (!status.ok()) return status;
  const uint8_t* area = data + kUpdateConfigHeaderSize;
  status = CheckUpdateConfigArea(header, area, UpdateConfigAreaSize(header));
  if (!status.ok()) return status;
  cLinkList parsed;
  for (uint32_t i = 0; i < header.recordCount; ++i) {
    status = AddUpdateConfigRecord(area + size_t{i} * kUpdateConfigRecordSize, i, &parsed);
    if (!status.ok()) return status;
  }
  *chain = std::move(parsed);
  return UpdateConfigStatus{};
}

std::string UpdateConfigMessage(const UpdateConfigStatus& status) {
  // The count, the error number and the indices are shown as signed values.
  const int value = static_cast<int>(status.value);
  char text[128];
  switch (status.step) {
    case UpdateConfigStep::kOk:
      return std::string();
    case UpdateConfigStep::kOpen:
      std::snprintf(text, sizeof(text), "_topen failed, (errno: %d)", value);
      break;
    case UpdateConfigStep::kHeaderRead:
    case UpdateConfigStep::kAreaRead:
      return "read failed";
    case UpdateConfigStep::kMagic:
      return "memcmp failed";
    case UpdateConfigStep::kRecordCount:
      std::snprintf(text, sizeof(text), "Invalid UpdateConfigFileHeader.dwRecordCount(%d)", value);
      break;
    case UpdateConfigStep::kLength:
      return "Inconsistent dat file";
    case UpdateConfigStep::kAllocation:
      return "Unable to allocate memory block";
    case UpdateConfigStep::kChecksum:
      std::snprintf(text, sizeof(text),
                    "Checksum mismatched (CalculatedCheckSum:%" PRIu32 ") != (ConfigFileHeaderCheckSum:%" PRIu32 ")",
                    status.value, status.stored);
      break;
    case UpdateConfigStep::kRecordRead:
      std::snprintf(text, sizeof(text), "read failed for RecordIndex:(%d)", value);
      break;
    case UpdateConfigStep::kInsert:
      std::snprintf(text, sizeof(text), "cLinkList.Insert failed for RecordId:(%d)", value);
      break;
  }
  return text;
}

}  // namespace mivra

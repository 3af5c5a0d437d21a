#include "update/manifest/manifest_test_files.h"

#include "update/digest/crc32.h"
#include "update/manifest/component_list_parser.h"
#include "update/manifest/config_link_list.h"
#include "update/manifest/update_config_parser.h"

namespace mivra_test {
namespace {

constexpr char kCompany[] = "Kestrivane Technologies (P) Ltd.";

uint8_t SwapNibbles(uint8_t b) { return static_cast<uint8_t>((b >> 4) | (b << 4)); }
uint8_t RotateLeft3(uint8_t b) { return static_cast<uint8_t>((b << 3) | (b >> 5)); }

}  // namespace

void PutLe32(std::string* bytes, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) (*bytes)[offset + i] = static_cast<char>(value >> (8 * i));
}

uint32_t GetLe32(const std::string& bytes, size_t offset) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes[offset + i]);
  return value;
}

std::string ConfigRecord(uint32_t recordId, uint32_t enabled) {
  std::string record(mivra::kUpdateConfigRecordSize, '\0');
  PutLe32(&record, mivra::kUpdateConfigRecordIdOffset, recordId);
  PutLe32(&record, mivra::kUpdateConfigEnabledOffset, enabled);
  for (size_t i = 8; i < record.size(); ++i) record[i] = static_cast<char>(recordId * 31 + i);
  return record;
}

std::string BuildUpdateConfig(const std::vector<std::string>& plainRecords) {
  std::string file = "UPCN";
  file.resize(mivra::kUpdateConfigHeaderSize, '\0');
  PutLe32(&file, 8, static_cast<uint32_t>(plainRecords.size()));
  for (const std::string& record : plainRecords) {
    for (char c : record) file.push_back(static_cast<char>(SwapNibbles(static_cast<uint8_t>(c))));
  }
  ResealUpdateConfig(&file);
  return file;
}

void ResealUpdateConfig(std::string* file) {
  const size_t header = mivra::kUpdateConfigHeaderSize;
  PutLe32(file, 4, mivra::Crc32Update(mivra::kCrc32Initial, Bytes(*file) + header, file->size() - header));
}

std::string OneZeroRecord(uint32_t checksum) {
  std::string file = "UPCN";
  file.resize(mivra::kUpdateConfigHeaderSize + mivra::kUpdateConfigRecordSize, '\0');
  PutLe32(&file, 4, checksum);
  PutLe32(&file, 8, 1);
  return file;
}

std::string BuildComponentList(const std::vector<ListEntry>& entries) {
  std::string file(mivra::kComponentListHeaderSize, '\0');
  file.replace(0, 4, "INXF");
  file[4] = 1;
  file[5] = 1;
  file.replace(6, 32, kCompany);
  PutLe32(&file, 76, static_cast<uint32_t>(entries.size()));
  for (const ListEntry& entry : entries) {
    std::string plain(mivra::kComponentEntryFixedSize, '\0');
    PutLe32(&plain, mivra::kComponentIncludedOffset, entry.included);
    // Fields the library carries without reading them.
    for (size_t i = 4; i < 28; ++i) plain[i] = static_cast<char>(0xA0 + i);
    for (size_t i = 32; i < 40; ++i) plain[i] = static_cast<char>(0xB0 + i);
    std::string name = entry.name;
    if (entry.terminated) name.push_back('\0');
    name.append(entry.padding, '\0');
    PutLe32(&plain, mivra::kComponentNameLengthOffset, static_cast<uint32_t>(name.size()));
    plain += name;
    for (char c : plain) file.push_back(static_cast<char>(RotateLeft3(static_cast<uint8_t>(c))));
  }
  ResealComponentList(&file);
  return file;
}

void ResealComponentList(std::string* file) {
  uint32_t sum = 0;
  for (size_t i = mivra::kComponentListHeaderSize; i < file->size(); ++i) sum += static_cast<uint8_t>((*file)[i]);
  PutLe32(file, 56, sum);
}

}  // namespace mivra_test

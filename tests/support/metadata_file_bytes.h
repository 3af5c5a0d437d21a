// Test-only: the two metadata files (bkmdata.dat, rbmdata.dat) built, read and altered byte by byte
// from their layouts alone, never through the library's layout code or store, so that tests check
// the bytes on disk rather than the library's own view of them. Every test that needs metadata
// bytes takes them from here. Both files share one scheme: a plain header holding the CRC of the
// record area, a plain state block beginning with the record count, then fixed-size records
// stored scrambled.
#ifndef MIVRA_TESTS_SUPPORT_METADATA_FILE_BYTES_H_
#define MIVRA_TESTS_SUPPORT_METADATA_FILE_BYTES_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "update/backup/bk_record_layout.h"

namespace mivra_test {

// Where one file's header fields and record fields lie; kNoField marks a field the file lacks.
struct MetadataFileLayout {
  static constexpr size_t kNoField = static_cast<size_t>(-1);
  const char* magic;
  size_t crcAt;
  size_t countAt;
  size_t areaOffset;
  size_t recordBytes;
  size_t flagsAt;
  size_t timeAt;
  size_t nameAt;
  size_t digestAt;
};

// Header fields both files share.
inline constexpr size_t kCrcAt = 61;
inline constexpr size_t kMetadataCompanyAt = 8;
inline constexpr char kMetadataCompany[] = "Kestrivane Technologies Pvt. Ltd.";

// bkmdata.dat: 65-byte header, 28-byte state block, 560-byte records.
inline constexpr size_t kBkCountAt = 65;
inline constexpr size_t kBkCreatedAt = 69;
inline constexpr size_t kBkStateFlagsAt = 85;
inline constexpr size_t kBkReservedAt = 89;
inline constexpr size_t kBkAreaOffset = 93;
inline constexpr size_t kBkRecordBytes = 560;

// rbmdata.dat: 69-byte header, 17-byte state block (its counter unaligned), 556-byte records.
inline constexpr size_t kRBCountAt = 69;
inline constexpr size_t kRBStatusAt = 73;
inline constexpr size_t kRBRollbackCountAt = 74;
inline constexpr size_t kRBAreaOffset = 86;
inline constexpr size_t kRBRecordBytes = 556;

inline constexpr MetadataFileLayout kBkLayout = {
    .magic = "KVBKUP",
    .crcAt = kCrcAt,
    .countAt = kBkCountAt,
    .areaOffset = kBkAreaOffset,
    .recordBytes = kBkRecordBytes,
    .flagsAt = 4,
    .timeAt = 8,
    .nameAt = 24,
    .digestAt = 544,
};

// rbmdata.dat records have no flags: a record's `flags` is neither written nor read.
inline constexpr MetadataFileLayout kRBLayout = {
    .magic = "KVRBUP",
    .crcAt = kCrcAt,
    .countAt = kRBCountAt,
    .areaOffset = kRBAreaOffset,
    .recordBytes = kRBRecordBytes,
    .flagsAt = MetadataFileLayout::kNoField,
    .timeAt = 4,
    .nameAt = 20,
    .digestAt = 540,
};

// One record's fields as a test sees them. A name takes at most 259 characters and its
// terminator; a digest that is not 16 raw bytes is written as zeros.
struct MetadataRecord {
  uint32_t size = 0;
  uint32_t flags = 0;
  uint16_t time[8] = {};
  std::wstring name;
  std::string digest;
};

inline uint16_t Le16At(std::string_view bytes, size_t offset) {
  return static_cast<uint16_t>(static_cast<uint8_t>(bytes[offset]) | (static_cast<uint8_t>(bytes[offset + 1]) << 8));
}

inline void PutLe16(std::string& bytes, size_t offset, uint16_t value) {
  bytes[offset] = static_cast<char>(value & 0xFF);
  bytes[offset + 1] = static_cast<char>(value >> 8);
}

inline uint32_t Le32At(std::string_view bytes, size_t offset) {
  return Le16At(bytes, offset) | (static_cast<uint32_t>(Le16At(bytes, offset + 2)) << 16);
}

inline void PutLe32(std::string& bytes, size_t offset, uint32_t value) {
  PutLe16(bytes, offset, static_cast<uint16_t>(value & 0xFFFF));
  PutLe16(bytes, offset + 2, static_cast<uint16_t>(value >> 16));
}

// Records are stored with each byte lowered by 15, then XORed with 7.
inline std::string Scrambled(std::string_view plain) {
  std::string stored(plain);
  for (char& c : stored) c = static_cast<char>(((static_cast<uint8_t>(c) - 15) & 0xFF) ^ 7);
  return stored;
}

inline std::string Unscrambled(std::string_view stored) {
  std::string plain(stored);
  for (char& c : plain) c = static_cast<char>(((static_cast<uint8_t>(c) ^ 7) + 15) & 0xFF);
  return plain;
}

// CRC-32 computed bit by bit, independent of the library's table.
inline uint32_t ReferenceCrc32(std::string_view bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (char c : bytes) {
    crc ^= static_cast<uint8_t>(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

// The plain (unscrambled) bytes of `record`, laid out field by field.
inline std::string PlainRecordBytes(const MetadataFileLayout& layout, const MetadataRecord& record) {
  std::string plain(layout.recordBytes, '\0');
  PutLe32(plain, 0, record.size);
  if (layout.flagsAt != MetadataFileLayout::kNoField) PutLe32(plain, layout.flagsAt, record.flags);
  for (int i = 0; i < 8; ++i) PutLe16(plain, layout.timeAt + 2 * i, record.time[i]);
  for (size_t i = 0; i < record.name.size() && i < 259; ++i) {
    PutLe16(plain, layout.nameAt + 2 * i, static_cast<uint16_t>(record.name[i]));
  }
  plain.replace(layout.digestAt, 16, record.digest.size() == 16 ? record.digest : std::string(16, '\0'));
  return plain;
}

inline MetadataRecord ParsePlainRecord(const MetadataFileLayout& layout, std::string_view plain) {
  MetadataRecord record;
  record.size = Le32At(plain, 0);
  if (layout.flagsAt != MetadataFileLayout::kNoField) record.flags = Le32At(plain, layout.flagsAt);
  for (int i = 0; i < 8; ++i) record.time[i] = Le16At(plain, layout.timeAt + 2 * i);
  for (size_t i = 0; i < 260 && Le16At(plain, layout.nameAt + 2 * i) != 0; ++i) {
    record.name.push_back(static_cast<wchar_t>(Le16At(plain, layout.nameAt + 2 * i)));
  }
  record.digest = std::string(plain.substr(layout.digestAt, 16));
  return record;
}

// The number of whole records the file holds, whatever its header says.
inline size_t RecordsInFile(const MetadataFileLayout& layout, std::string_view file) {
  return file.size() > layout.areaOffset ? (file.size() - layout.areaOffset) / layout.recordBytes : 0;
}

inline MetadataRecord RecordAt(const MetadataFileLayout& layout, std::string_view file, size_t index) {
  const std::string_view stored = file.substr(layout.areaOffset + layout.recordBytes * index, layout.recordBytes);
  return ParsePlainRecord(layout, Unscrambled(stored));
}

// Every whole record the file holds, in order.
inline std::vector<MetadataRecord> RecordsOf(const MetadataFileLayout& layout, std::string_view file) {
  std::vector<MetadataRecord> records;
  for (size_t i = 0; i < RecordsInFile(layout, file); ++i) records.push_back(RecordAt(layout, file, i));
  return records;
}

inline uint32_t AreaCrc(const MetadataFileLayout& layout, std::string_view file) {
  return ReferenceCrc32(file.size() > layout.areaOffset ? file.substr(layout.areaOffset) : std::string_view());
}

// True when the stored CRC matches the record area.
inline bool CrcMatches(const MetadataFileLayout& layout, std::string_view file) {
  return file.size() >= layout.areaOffset && Le32At(file, layout.crcAt) == AreaCrc(layout, file);
}

// Header and zero state block of a new file: magic, version 1, the company text, everything else 0.
inline std::string NewMetadataFile(const MetadataFileLayout& layout) {
  std::string file(layout.areaOffset, '\0');
  file.replace(0, 6, layout.magic);
  file[6] = 1;
  file.replace(kMetadataCompanyAt, sizeof(kMetadataCompany) - 1, kMetadataCompany);
  return file;
}

inline uint32_t RecordCount(const MetadataFileLayout& layout, std::string_view file) {
  return file.size() >= layout.areaOffset ? Le32At(file, layout.countAt) : 0;
}

// Stores the CRC of the record area as it now is.
inline void Reseal(const MetadataFileLayout& layout, std::string& file) { PutLe32(file, layout.crcAt, AreaCrc(layout, file)); }

// Replaces the name of record `index` (scrambled, the rest of the field zero) and reseals the file.
inline void RenameRecord(const MetadataFileLayout& layout, std::string& file, size_t index, std::u16string_view name) {
  std::string plain(520, '\0');
  for (size_t i = 0; i < name.size() && i < 259; ++i) PutLe16(plain, 2 * i, name[i]);
  file.replace(layout.areaOffset + layout.recordBytes * index + layout.nameAt, plain.size(), Scrambled(plain));
  Reseal(layout, file);
}

// `header` (header and state block) followed by `records`, with a matching count and CRC.
inline std::string FileWithRecords(const MetadataFileLayout& layout, std::string header,
                                   const std::vector<MetadataRecord>& records) {
  for (const MetadataRecord& record : records) header += Scrambled(PlainRecordBytes(layout, record));
  PutLe32(header, layout.countAt, static_cast<uint32_t>(records.size()));
  PutLe32(header, layout.crcAt, AreaCrc(layout, header));
  return header;
}

// The same record as the library's layout holds it, to hand to the code under test.
inline mivra::BkMdataRecord ToBkMdataRecord(const MetadataRecord& test) {
  mivra::BkMdataRecord record = {};
  record.fileSizeLow = test.size;
  record.flags = test.flags;
  record.lastWriteTime = {test.time[0], test.time[1], test.time[2], test.time[3],
                          test.time[4], test.time[5], test.time[6], test.time[7]};
  for (size_t i = 0; i < test.name.size() && i < 259; ++i) record.fileName[i] = static_cast<char16_t>(test.name[i]);
  if (test.digest.size() == 16) test.digest.copy(reinterpret_cast<char*>(record.digest), 16);
  return record;
}

// A new file of `layout` holding `records`.
inline std::string MetadataFile(const MetadataFileLayout& layout, const std::vector<MetadataRecord>& records) {
  return FileWithRecords(layout, NewMetadataFile(layout), records);
}

// `count` records named "f0.dll", "f1.dll", ... with sizes and digests of their own: the records
// of a large file.
inline std::vector<MetadataRecord> NumberedRecords(size_t count) {
  std::vector<MetadataRecord> records(count);
  for (size_t i = 0; i < count; ++i) {
    records[i].name = L"f" + std::to_wstring(i) + L".dll";
    records[i].size = static_cast<uint32_t>(i);
    records[i].digest = std::string(16, static_cast<char>(i));
  }
  return records;
}

// The raw 16 bytes of a digest written in hexadecimal.
inline std::string DigestFromHex(std::string_view hex) {
  std::string raw;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    raw.push_back(static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  }
  return raw;
}

}  // namespace mivra_test

#endif  // MIVRA_TESTS_SUPPORT_METADATA_FILE_BYTES_H_

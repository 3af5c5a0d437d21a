// Test-only: rbmdata.dat files written and read byte by byte, without the store, so that the
// tests check the layout on disk rather than the store's own view of it.
#ifndef MIVRA_UPDATE_ROLLBACKDB_RBMDATA_TEST_BYTES_H_
#define MIVRA_UPDATE_ROLLBACKDB_RBMDATA_TEST_BYTES_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "update/digest/crc32.h"

namespace rbmdata_test {

inline constexpr size_t kHeaderSize = 69;
inline constexpr size_t kCrcOffset = 61;
inline constexpr size_t kCountOffset = 69;
inline constexpr size_t kStatusOffset = 73;
inline constexpr size_t kRollbackCountOffset = 74;
inline constexpr size_t kAreaOffset = 86;
inline constexpr size_t kRecordSize = 556;
inline constexpr size_t kNameOffset = 20;
inline constexpr size_t kDigestOffset = 540;
inline constexpr char kCompany[] = "Kestrivane Technologies Pvt. Ltd.";

struct Record {
  uint32_t size = 0;
  uint16_t time[8] = {};
  std::wstring name;
  std::string digest = std::string(16, '\0');
};

inline uint32_t Le32(std::string_view bytes, size_t offset) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<uint8_t>(bytes[offset + i]);
  return value;
}

inline void PutLe32(std::string& bytes, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<char>(value >> (8 * i));
}

inline std::string Scramble(std::string bytes) {
  for (char& c : bytes) c = static_cast<char>((static_cast<uint8_t>(c) - 15) ^ 7);
  return bytes;
}

inline std::string Unscramble(std::string bytes) {
  for (char& c : bytes) c = static_cast<char>((static_cast<uint8_t>(c) ^ 7) + 15);
  return bytes;
}

// The 556 bytes of `record` as stored.
inline std::string StoredRecord(const Record& record) {
  std::string plain(kRecordSize, '\0');
  PutLe32(plain, 0, record.size);
  for (int i = 0; i < 8; ++i) {
    plain[4 + 2 * i] = static_cast<char>(record.time[i]);
    plain[5 + 2 * i] = static_cast<char>(record.time[i] >> 8);
  }
  for (size_t i = 0; i < record.name.size() && i < 259; ++i) {
    plain[kNameOffset + 2 * i] = static_cast<char>(record.name[i]);
    plain[kNameOffset + 2 * i + 1] = static_cast<char>(record.name[i] >> 8);
  }
  plain.replace(kDigestOffset, 16, record.digest.substr(0, 16));
  return Scramble(plain);
}

inline Record ParseRecord(std::string_view stored) {
  const std::string plain = Unscramble(std::string(stored.substr(0, kRecordSize)));
  Record record;
  record.size = Le32(plain, 0);
  for (int i = 0; i < 8; ++i) {
    record.time[i] = static_cast<uint16_t>(static_cast<uint8_t>(plain[4 + 2 * i]) |
                                           (static_cast<uint8_t>(plain[5 + 2 * i]) << 8));
  }
  for (size_t i = 0; i < 260; ++i) {
    const wchar_t c = static_cast<wchar_t>(static_cast<uint8_t>(plain[kNameOffset + 2 * i]) |
                                           (static_cast<uint8_t>(plain[kNameOffset + 2 * i + 1]) << 8));
    if (c == L'\0') break;
    record.name.push_back(c);
  }
  record.digest = plain.substr(kDigestOffset, 16);
  return record;
}

inline uint32_t AreaCrc(std::string_view file) {
  const std::string_view area = file.size() > kAreaOffset ? file.substr(kAreaOffset) : std::string_view();
  return mivra::Crc32(reinterpret_cast<const uint8_t*>(area.data()), area.size());
}

// Header and zero state block of a new database: 86 bytes.
inline std::string NewDatabase() {
  std::string file(kAreaOffset, '\0');
  file.replace(0, 6, "KVRBUP");
  file[6] = 1;
  std::memcpy(file.data() + 8, kCompany, sizeof(kCompany) - 1);
  return file;
}

// A valid database holding `records`, with a matching CRC and record count.
inline std::string Database(const std::vector<Record>& records) {
  std::string file = NewDatabase();
  for (const Record& record : records) file += StoredRecord(record);
  PutLe32(file, kCountOffset, static_cast<uint32_t>(records.size()));
  PutLe32(file, kCrcOffset, AreaCrc(file));
  return file;
}

inline uint32_t RecordCount(std::string_view file) { return file.size() >= kAreaOffset ? Le32(file, kCountOffset) : 0; }

inline size_t RecordsInFile(std::string_view file) {
  return file.size() > kAreaOffset ? (file.size() - kAreaOffset) / kRecordSize : 0;
}

inline Record RecordAt(std::string_view file, size_t index) {
  return ParseRecord(file.substr(kAreaOffset + kRecordSize * index, kRecordSize));
}

// True when the stored CRC matches the record area, as the open checks it.
inline bool CrcMatches(std::string_view file) {
  return file.size() >= kAreaOffset && Le32(file, kCrcOffset) == AreaCrc(file);
}

}  // namespace rbmdata_test

#endif  // MIVRA_UPDATE_ROLLBACKDB_RBMDATA_TEST_BYTES_H_

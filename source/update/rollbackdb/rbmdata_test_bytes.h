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

#include "support/metadata_file_bytes.h"

namespace rbmdata_test {

inline constexpr size_t kCrcOffset = 61;
inline constexpr size_t kCountOffset = 69;
inline constexpr size_t kStatusOffset = 73;
inline constexpr size_t kRollbackCountOffset = 74;
inline constexpr size_t kAreaOffset = 86;
inline constexpr size_t kRecordSize = 556;
inline constexpr char kCompany[] = "Kestrivane Technologies Pvt. Ltd.";

inline constexpr mivra_test::MetadataFileLayout kRbLayout = {
    .crcAt = kCrcOffset,
    .countAt = kCountOffset,
    .areaOffset = kAreaOffset,
    .recordBytes = kRecordSize,
    .flagsAt = mivra_test::MetadataFileLayout::kNoField,
    .timeAt = 4,
    .nameAt = 20,
    .digestAt = 540,
};

// A record's fields; rbmdata.dat records have no flags, so `flags` is neither written nor read.
using Record = mivra_test::MetadataRecord;

using mivra_test::PutLe32;
inline uint32_t Le32(std::string_view bytes, size_t offset) { return mivra_test::Le32At(bytes, offset); }

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
  return mivra_test::FileWithRecords(kRbLayout, NewDatabase(), records);
}

inline uint32_t RecordCount(std::string_view file) { return file.size() >= kAreaOffset ? Le32(file, kCountOffset) : 0; }

inline size_t RecordsInFile(std::string_view file) { return mivra_test::RecordsInFile(kRbLayout, file); }

inline Record RecordAt(std::string_view file, size_t index) { return mivra_test::RecordAt(kRbLayout, file, index); }

// True when the stored CRC matches the record area, as the open checks it.
inline bool CrcMatches(std::string_view file) { return mivra_test::CrcMatches(kRbLayout, file); }

}  // namespace rbmdata_test

#endif  // MIVRA_UPDATE_ROLLBACKDB_RBMDATA_TEST_BYTES_H_

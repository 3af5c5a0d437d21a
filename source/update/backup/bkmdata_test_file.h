// Tests' own reading of bkmdata.dat, written from the file layout alone so that it checks the
// store rather than repeating it: plain header and state block, records unscrambled byte by byte.
#ifndef MIVRA_UPDATE_BACKUP_BKMDATA_TEST_FILE_H_
#define MIVRA_UPDATE_BACKUP_BKMDATA_TEST_FILE_H_

#include <cstring>
#include <string>
#include <vector>

#include "support/metadata_file_bytes.h"
#include "update/backup/bk_record_layout.h"

namespace mivra_test {

inline constexpr size_t kHeaderBytes = 65;
inline constexpr size_t kAreaOffset = 93;
inline constexpr size_t kRecordBytes = 560;
inline constexpr size_t kCrcAt = 61;
inline constexpr size_t kCountAt = 65;
inline constexpr size_t kCreatedAt = 69;
inline constexpr size_t kStateFlagsAt = 85;
inline constexpr size_t kReservedAt = 89;

inline constexpr MetadataFileLayout kBkLayout = {
    .crcAt = kCrcAt,
    .countAt = kCountAt,
    .areaOffset = kAreaOffset,
    .recordBytes = kRecordBytes,
    .flagsAt = 4,
    .timeAt = 8,
    .nameAt = 24,
    .digestAt = 544,
};

using TestBkRecord = MetadataRecord;

// Every whole record the file holds, in order.
inline std::vector<TestBkRecord> RecordsOf(const std::string& file) { return RecordsOf(kBkLayout, file); }

// The 560 plain bytes of `record`, laid out field by field; Scrambled() gives their stored form.
inline std::string PlainRecordBytes(const TestBkRecord& record) { return PlainRecordBytes(kBkLayout, record); }

// The same record as the library's layout holds it, to hand to the code under test.
inline mivra::BkMdataRecord ToBkMdataRecord(const TestBkRecord& test) {
  mivra::BkMdataRecord record = {};
  record.fileSizeLow = test.size;
  record.flags = test.flags;
  record.lastWriteTime = {test.time[0], test.time[1], test.time[2], test.time[3],
                          test.time[4], test.time[5], test.time[6], test.time[7]};
  for (size_t i = 0; i < test.name.size(); ++i) record.fileName[i] = static_cast<char16_t>(test.name[i]);
  std::memcpy(record.digest, test.digest.data(), 16);
  return record;
}

}  // namespace mivra_test

#endif  // MIVRA_UPDATE_BACKUP_BKMDATA_TEST_FILE_H_

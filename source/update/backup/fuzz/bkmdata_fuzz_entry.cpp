#include "update/backup/fuzz/bkmdata_fuzz_entry.h"

#include "update/backup/bk_record_layout.h"
#include "update/store/fuzz/metadata_fuzz_checks.h"

namespace mivra {

bool FuzzBkMdata(const uint8_t* data, size_t size) {
  return FuzzMetadata(kBkMdataFormat, data, size, [](const uint8_t* stored) {
    BkMdataRecord record;
    DecodeBkRecord(stored, &record);
    uint8_t again[kBkRecordSize];
    EncodeBkRecord(record, again);
    // Decoding loses nothing: the record encodes back to the bytes it came from.
    for (size_t i = 0; i < kBkRecordSize; ++i) Require(again[i] == stored[i]);
    return RecordFieldName(record.fileName);
  });
}

}  // namespace mivra

#include "update/rollbackdb/fuzz/rbmdata_fuzz_entry.h"

#include "update/rollbackdb/rb_record_layout.h"
#include "update/store/fuzz/metadata_fuzz_checks.h"

namespace mivra {

bool FuzzRBMdata(const uint8_t* data, size_t size) {
  return FuzzMetadata(kRBMdataFormat, data, size, [](const uint8_t* stored) {
    RBMdataRecord record;
    DecodeRBRecord(stored, &record);
    uint8_t again[kRBRecordSize];
    EncodeRBRecord(record, again);
    // Decoding loses nothing: the record encodes back to the bytes it came from.
    for (size_t i = 0; i < kRBRecordSize; ++i) Require(again[i] == stored[i]);
    return RecordFieldName(record.fileName);
  });
}

}  // namespace mivra

#include "update/rollbackdb/fuzz/rbmdata_fuzz_entry.h"

#include "update/rollbackdb/rb_record_layout.h"
#include "update/store/fuzz/metadata_fuzz_checks.h"

namespace mivra {

bool FuzzRBMdata(const uint8_t* data, size_t size) {
  return FuzzMetadata(kRBMdataFormat, data, size, [](const uint8_t* stored) {
    return RoundTripName<RBMdataRecord, kRBRecordSize>(stored, DecodeRBRecord, EncodeRBRecord);
  });
}

}  // namespace mivra

#include "update/backup/fuzz/bkmdata_fuzz_entry.h"

#include "update/backup/bk_record_layout.h"
#include "update/store/fuzz/metadata_fuzz_checks.h"

namespace mivra {

bool FuzzBkMdata(const uint8_t* data, size_t size) {
  return FuzzMetadata(kBkMdataFormat, data, size, [](const uint8_t* stored) {
    return RoundTripName<BkMdataRecord, kBkRecordSize>(stored, DecodeBkRecord, EncodeBkRecord);
  });
}

}  // namespace mivra

// The update status byte of the rollback database: 1 while an update is under way (the need
// check then calls for a rollback), 2 once it is done.
#ifndef MIVRA_UPDATE_ROLLBACKDB_MARK_UPDATE_STATUS_H_
#define MIVRA_UPDATE_ROLLBACKDB_MARK_UPDATE_STATUS_H_

#include <cstdint>

#include "update/store/mdata_object.h"

namespace mivra {

enum class MarkStatusResult {
  kMarked,
  kOpenFailed,     // rbmdata.dat could not be opened, created or validated
  kStateIoFailed,  // the state block could not be read or written whole
};

// Stores `status` in the state block of the database open in `object`; the rest of the block is
// kept. The block lies outside the CRC, so nothing else changes.
bool StoreUpdateStatus(const MdataObject& object, uint8_t status);

// Opens the database (creating it when missing), stores `status` and closes it again.
MarkStatusResult MarkUpdateStatus(uint8_t status);

}  // namespace mivra

#endif  // MIVRA_UPDATE_ROLLBACKDB_MARK_UPDATE_STATUS_H_

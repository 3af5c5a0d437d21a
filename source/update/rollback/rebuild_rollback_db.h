// After a rollback the database no longer describes the installed files; it is started afresh
// with exactly the files put back.
#ifndef MIVRA_UPDATE_ROLLBACK_REBUILD_ROLLBACK_DB_H_
#define MIVRA_UPDATE_ROLLBACK_REBUILD_ROLLBACK_DB_H_

#include <cstdint>

#include "update/rollback/rollback_context.h"

namespace mivra {

// Deletes rbmdata.dat, registers every restored file of the context's list in a new one (with
// the file's current time and the size and digest of its backup record), and stores the rollback
// counter `previousRollbackCount` + 1 with update status 0. False when the list is empty, the old
// database cannot be deleted, the new one cannot be created, or a registration fails.
bool RebuildRollbackDB(const RollbackContext& context, uint32_t previousRollbackCount);

}  // namespace mivra

#endif  // MIVRA_UPDATE_ROLLBACK_REBUILD_ROLLBACK_DB_H_

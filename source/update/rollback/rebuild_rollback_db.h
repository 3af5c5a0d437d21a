// After a rollback the database no longer describes the installed files; it is started afresh
// with exactly the files put back.
#ifndef MIVRA_UPDATE_ROLLBACK_REBUILD_ROLLBACK_DB_H_
#define MIVRA_UPDATE_ROLLBACK_REBUILD_ROLLBACK_DB_H_

#include <cstdint>

#include "update/rollback/rollback_context.h"
#include "update/store/mdata_object.h"

namespace mivra {

// Replaces the content of rbmdata.dat, open in `database`, in one change, by a database that
// registers every restored file of the context's list (with the file's current time and the size
// and digest of its backup record) and holds the rollback counter `previousRollbackCount` + 1 with
// update status 0. False, with the old database as it was, when the list is empty, a record cannot
// be built or the database cannot be written.
bool RebuildRollbackDB(MdataObject& database, const RollbackContext& context, uint32_t previousRollbackCount);

}  // namespace mivra

#endif  // MIVRA_UPDATE_ROLLBACK_REBUILD_ROLLBACK_DB_H_

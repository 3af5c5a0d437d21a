#include "update/rollback/rebuild_rollback_db.h"

#include "update/frame/feature_switch.h"
#include "update/frame/platform_calls.h"
#include "update/rollbackdb/delete_rollback_db.h"
#include "update/rollbackdb/rbmdata_store.h"
#include "update/rollbackdb/update_rollback_db.h"

namespace mivra {

bool RebuildRollbackDB(const RollbackContext& context, uint32_t previousRollbackCount) {
  if (context.empty()) return false;
  // The restore may have put back a section.ini that switches the library off: then the old
  // database stays, as any call of the library would leave it.
  if (IsFeatureOff()) return false;
  const RbDeleteResult deleted = DeleteRollbackDB();
  // A database still in use is only scheduled for deletion: the rebuild then reopens that same,
  // still valid file and registers the restored files beside its old records.
  if (deleted != RbDeleteResult::kDeleted && deleted != RbDeleteResult::kDeleteAtRestart) return false;

  MdataObject database;
  if (!OpenRbMdata(database)) return false;
  // Every destination is the install directory and a plain name, so the test whether a file lies
  // there is left out; the digest is the record's, which the restored file was proven to have.
  for (const RestoreEntry* entry = context.head; entry; entry = entry->next) {
    if (RegisterRbFile(database, entry->destinationPath, entry->fileSize, entry->expectedDigest) !=
        RbUpdateResult::kWritten) {
      return false;
    }
  }
  RbMdataState state = {};
  if (ReadRbState(database, &state)) {
    state.rollbackCount = previousRollbackCount + 1;
    WriteRbState(database, state);
  }
  Platform().commit(database.fd.get());
  return true;
}

}  // namespace mivra

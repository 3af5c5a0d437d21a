#include "update/rollbackdb/delete_rollback_db.h"

#include "update/frame/backup_folder.h"
#include "update/frame/bounded_string.h"
#include "update/frame/deferred_delete.h"
#include "update/rollbackdb/rbmdata_store.h"

namespace mivra {

RBDeleteResult DeleteRollbackDB() {
  wchar_t folder[kPathCapacity] = {};
  if (!GetBackupFolder(folder, BKF_BASE, true)) return RBDeleteResult::kNoBaseFolder;
  wchar_t path[kPathCapacity] = {};
  if (!JoinPath(path, folder, kRBMdataFileName)) return RBDeleteResult::kPathTooLong;
  switch (DeleteFileIfPresent(path)) {
    case DeleteOutcome::kDeleted: return RBDeleteResult::kDeleted;
    case DeleteOutcome::kScheduled: return RBDeleteResult::kDeleteAtRestart;
    case DeleteOutcome::kAbsent: return RBDeleteResult::kMissing;
    case DeleteOutcome::kFailed: break;
  }
  return RBDeleteResult::kNotDeleted;
}

}  // namespace mivra

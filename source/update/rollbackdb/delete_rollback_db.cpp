#include "update/rollbackdb/delete_rollback_db.h"

#include "update/frame/backup_folder.h"
#include "update/frame/bounded_string.h"
#include "update/frame/deferred_delete.h"
#include "update/rollbackdb/rbmdata_store.h"

namespace mivra {

RbDeleteResult DeleteRollbackDB() {
  wchar_t folder[kPathCapacity] = {};
  if (!GetBackupFolder(folder, BKF_BASE, true)) return RbDeleteResult::kNoBaseFolder;
  wchar_t path[kPathCapacity] = {};
  if (!JoinPath(path, folder, kRbMdataFileName)) return RbDeleteResult::kPathTooLong;
  switch (DeleteFileIfPresent(path)) {
    case DeleteOutcome::kDeleted: return RbDeleteResult::kDeleted;
    case DeleteOutcome::kScheduled: return RbDeleteResult::kDeleteAtRestart;
    case DeleteOutcome::kAbsent: return RbDeleteResult::kMissing;
    case DeleteOutcome::kFailed: break;
  }
  return RbDeleteResult::kNotDeleted;
}

}  // namespace mivra

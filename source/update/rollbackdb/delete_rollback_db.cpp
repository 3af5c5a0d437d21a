#include "update/rollbackdb/delete_rollback_db.h"

#include "update/frame/backup_folder.h"
#include "update/frame/bounded_string.h"
#include "update/frame/deferred_delete.h"
#include "update/frame/platform_calls.h"
#include "update/rollbackdb/rbmdata_store.h"

namespace mivra {

RbDeleteResult DeleteRollbackDB() {
  wchar_t folder[kPathCapacity] = {};
  if (!GetBackupFolder(folder, BKF_BASE, true)) return RbDeleteResult::kNoBaseFolder;
  wchar_t path[kPathCapacity] = {};
  if (!JoinPath(path, folder, kRbMdataFileName)) return RbDeleteResult::kPathTooLong;
  if (Platform().waccess(path, 0) != 0) return RbDeleteResult::kMissing;
  return DeleteFileNowOrAtRestart(path) ? RbDeleteResult::kDeleted : RbDeleteResult::kDeleteAtRestart;
}

}  // namespace mivra

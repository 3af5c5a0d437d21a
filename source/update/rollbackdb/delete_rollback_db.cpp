#include "update/rollbackdb/delete_rollback_db.h"

#include "update/frame/backup_folder.h"
#include "update/frame/bounded_string.h"
#include "update/frame/deferred_delete.h"
#include "update/frame/file_trust.h"
#include "update/rollbackdb/rbmdata_store.h"
#include "update/store/metadata_journal.h"

namespace mivra {

RBDeleteResult DeleteRollbackDB() {
  wchar_t folder[kPathCapacity] = {};
  if (!GetBackupFolder(folder, BKF_BASE, true)) return RBDeleteResult::kNoBaseFolder;
  wchar_t path[kPathCapacity] = {};
  wchar_t journal[kPathCapacity] = {};
  if (!JoinPath(path, folder, kRBMdataFileName) || !JournalPathFor(path, journal)) return RBDeleteResult::kPathTooLong;
  const DeleteOutcome database = DeleteFileIfPresent(path);
  // The journal the database keeps goes with it; one that is a link or another user's is not the
  // library's to delete.
  if (database != DeleteOutcome::kFailed && JudgeLibraryFile(journal) == FileTrust::kTrusted) {
    DeleteFileIfPresent(journal);
  }
  switch (database) {
    case DeleteOutcome::kDeleted: return RBDeleteResult::kDeleted;
    case DeleteOutcome::kScheduled: return RBDeleteResult::kDeleteAtRestart;
    case DeleteOutcome::kAbsent: return RBDeleteResult::kMissing;
    case DeleteOutcome::kFailed: break;
  }
  return RBDeleteResult::kNotDeleted;
}

}  // namespace mivra

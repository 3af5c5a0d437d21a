#include "update/backup/delete_backup.h"

#include "update/backup/commit_journal.h"
#include "update/frame/backup_folder.h"
#include "update/frame/bounded_string.h"

namespace mivra {

DeleteBackupResult DeleteCommittedBackup() {
  // Finished first, so that no old backup a cut-off commit moved aside comes back afterwards.
  RecoverInterruptedCommit(true);
  wchar_t folder[kPathCapacity] = {};
  // Resolved with creation, as every other operation on "bkup" resolves it.
  if (!GetBackupFolder(folder, BKF_BKUP, true)) return DeleteBackupResult::kBackupFolder;
  DeleteFolderTree(folder);
  return DeleteBackupResult::kAttempted;
}

}  // namespace mivra

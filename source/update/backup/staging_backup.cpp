#include "update/backup/staging_backup.h"

#include "update/backup/bkmdata_store.h"
#include "update/backup/commit_journal.h"
#include "update/frame/backup_folder.h"
#include "update/frame/bounded_string.h"

namespace mivra {

StagingResult StartStagingBackup(MdataObject& object) {
  // A commit cut off before its staged backup was in place is finished before that folder goes.
  RecoverInterruptedCommit(true);
  wchar_t folder[kPathCapacity] = {};
  if (!GetBackupFolder(folder, BKF_TMPBKUP, false)) return StagingResult::kBackupFolder;
  if (!DeleteFolderTree(folder)) return StagingResult::kDeleteFailed;
  // Creates the folder anew, with the access rights of a new folder, and a 93-byte file in it.
  if (!OpenBkMdata(object, BKF_TMPBKUP)) return StagingResult::kMetadataOpen;
  return StagingResult::kStarted;
}

}  // namespace mivra

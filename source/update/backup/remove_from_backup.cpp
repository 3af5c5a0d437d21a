#include "update/backup/remove_from_backup.h"

#include "update/backup/bkmdata_store.h"
#include "update/backup/commit_journal.h"
#include "update/backup/shared_copy.h"
#include "update/frame/backup_folder.h"
#include "update/frame/bounded_string.h"
#include "update/frame/deferred_delete.h"
#include "update/frame/file_name.h"
#include "update/frame/platform_calls.h"

namespace mivra {

RemoveResult RemoveFromCommittedBackup(const wchar_t* name) {
  if (!name) return RemoveResult::kNotInBackup;
  RecoverInterruptedCommit(true);
  wchar_t folder[kPathCapacity] = {};
  if (!GetBackupFolder(folder, BKF_BKUP, true)) return RemoveResult::kBackupFolder;
  MdataObject object;
  if (!OpenBkMdata(object, BKF_BKUP)) return RemoveResult::kMetadataOpen;

  // Only a damaged file can record a name that is no plain file name, and deleting its copy
  // would reach out of the backup folder.
  if (!IsPlainFileName(name)) return RemoveResult::kNotInBackup;
  uint32_t index = 0;
  switch (LookUpBkRecord(object, name, &index)) {
    case NameLookup::kFound: break;
    case NameLookup::kNotFound: return RemoveResult::kNotInBackup;
    case NameLookup::kUnavailable: return RemoveResult::kRecordRead;
  }

  BkMdataRecord record = {};
  if (!ReadBkRecord(object, index, &record)) return RemoveResult::kRecordRead;
  // Another spelling of the same file may still be recorded: its copy is this one.
  const CopyUse use = CopyUsedByOtherRecord(object, folder, index, name);
  if (use == CopyUse::kUnknown) return RemoveResult::kRecordRead;
  record.flags |= BKREC_REMOVED;
  if (!OverwriteBkRecord(object, index, record)) return RemoveResult::kRecordWrite;

  wchar_t copyPath[kPathCapacity] = {};
  if (!JoinPath(copyPath, folder, name)) return RemoveResult::kPathTooLong;
  if (use == CopyUse::kUsed) return RemoveResult::kRemoved;
  // An absent file has no copy, and a second removal finds it gone: neither is an error. A copy
  // that can be neither deleted nor scheduled for deletion is.
  return DeleteFileIfPresent(copyPath) == DeleteOutcome::kFailed ? RemoveResult::kCopyDelete
                                                                  : RemoveResult::kRemoved;
}

}  // namespace mivra

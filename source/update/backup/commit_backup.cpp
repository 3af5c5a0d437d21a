#include "update/backup/commit_backup.h"

#include <windows.h>

#include "update/frame/backup_folder.h"
#include "update/frame/bounded_string.h"
#include "update/frame/platform_calls.h"

namespace mivra {

CommitResult CommitStagingBackup() {
  wchar_t base[kPathCapacity] = {};
  if (!GetBackupFolder(base, BKF_BASE, true)) return CommitResult::kBackupFolder;

  wchar_t retired[kPathCapacity] = {};
  if (!JoinPath(retired, base, L"delbkup")) return CommitResult::kPathTooLong;
  // A leftover of a commit that could not finish deleting the old backup.
  if (!DeleteFolderTree(retired)) return CommitResult::kDeleteFailed;

  wchar_t committed[kPathCapacity] = {};
  if (!JoinPath(committed, base, L"bkup")) return CommitResult::kPathTooLong;
  // Not found means there is no committed backup yet.
  if (!Platform().MoveFileW(committed, retired) && Platform().GetLastError() != ERROR_FILE_NOT_FOUND) {
    return CommitResult::kRenameFailed;
  }

  wchar_t staging[kPathCapacity] = {};
  if (!JoinPath(staging, base, L"tmpbkup")) return CommitResult::kPathTooLong;
  if (!Platform().MoveFileW(staging, committed)) {
    Platform().MoveFileW(retired, committed);
    return CommitResult::kRenameFailed;
  }

  // The new backup is in place; a failure here leaves only "delbkup" for the next commit.
  if (!DeleteFolderTree(retired)) return CommitResult::kDeleteFailed;
  return CommitResult::kCommitted;
}

}  // namespace mivra

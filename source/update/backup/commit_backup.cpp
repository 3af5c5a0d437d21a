#include "update/backup/commit_backup.h"

#include <windows.h>

#include "update/backup/commit_journal.h"
#include "update/frame/backup_folder.h"
#include "update/frame/bounded_string.h"
#include "update/frame/platform_calls.h"
#include "update/frame/reparse_point.h"
#include "update/frame/trace_log.h"

namespace mivra {

CommitResult CommitStagingBackup() {
  wchar_t base[kPathCapacity] = {};
  if (!GetBackupFolder(base, BKF_BASE, true)) return CommitResult::kBackupFolder;
  BackupFolders folders;
  if (!ComposeBackupFolders(base, &folders)) return CommitResult::kPathTooLong;
  // An old backup that a commit cut off had moved aside, with nothing staged to replace it, goes
  // back first; a staged backup beside it is put in place by the steps below.
  RecoverInterruptedCommit(false);

  // A link in place of either folder would be renamed instead of the folder, or the folder it
  // points to would be moved: nothing is renamed then.
  if (!IsNotLink(folders.committed) || !IsNotLink(folders.staging)) return CommitResult::kRenameFailed;
  // A leftover of a commit that could not finish deleting the old backup.
  if (!DeleteFolderTree(folders.retired)) return CommitResult::kDeleteFailed;

  // From the first move to the last, the journal tells a later call how to finish or undo this
  // commit should the process end halfway.
  CommitJournal journal;
  if (!journal.Open(folders.journal)) return CommitResult::kRenameFailed;
  if (!journal.Write(CommitPhase::kSwapping, true)) {
    // Nothing moved yet: the journal says nothing and goes.
    journal.Finish();
    return CommitResult::kRenameFailed;
  }
  // Not found means there is no committed backup yet.
  const bool retiredOld = Platform().MoveFileW(folders.committed, folders.retired);
  const DWORD retireError = Platform().GetLastError();
  TraceStep("rename").Path("from", folders.committed).Path("to", folders.retired).Win32(retiredOld, "absent");
  if (!retiredOld && retireError != ERROR_FILE_NOT_FOUND) {
    journal.Finish();
    return CommitResult::kRenameFailed;
  }
  const bool placedNew = Platform().MoveFileW(folders.staging, folders.committed);
  TraceStep("rename").Path("from", folders.staging).Path("to", folders.committed).Win32(placedNew);
  if (!placedNew) {
    // Flushed before the rename it announces: a phase lost to a power cut would read as swapping.
    journal.Write(CommitPhase::kRestoring, true);
    const bool restored = Platform().MoveFileW(folders.retired, folders.committed);
    TraceStep("rename").Path("from", folders.retired).Path("to", folders.committed).Win32(restored);
    // Without an old backup there was nothing to put back.
    if (restored || !retiredOld) journal.Finish();
    return CommitResult::kRenameFailed;
  }

  // The new backup is in place; a failure here leaves only "delbkup" for the next commit. The
  // phase is on disk before the deletion starts, so that a later call never moves a half-deleted
  // old backup back into place.
  journal.Write(CommitPhase::kRetiring, true);
  if (!DeleteFolderTree(folders.retired)) return CommitResult::kDeleteFailed;
  journal.Finish();
  return CommitResult::kCommitted;
}

}  // namespace mivra

// Committing: the staging backup "tmpbkup" becomes the committed backup "bkup". The old backup
// waits as "delbkup" until the new one is in place.
#ifndef MIVRA_UPDATE_BACKUP_COMMIT_BACKUP_H_
#define MIVRA_UPDATE_BACKUP_COMMIT_BACKUP_H_

namespace mivra {

enum class CommitResult {
  kCommitted,
  kBackupFolder,  // the base folder path cannot be resolved
  kPathTooLong,   // a folder path does not fit
  kDeleteFailed,  // "delbkup" cannot be deleted, before the moves or after them
  kRenameFailed,  // "bkup" or "tmpbkup" cannot be moved; the old backup is back in place
};

// The staging folder must not be held open: its metadata object is released before the commit.
CommitResult CommitStagingBackup();

}  // namespace mivra

#endif  // MIVRA_UPDATE_BACKUP_COMMIT_BACKUP_H_

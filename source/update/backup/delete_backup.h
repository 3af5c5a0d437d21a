// Deleting the committed backup "bkup" with everything in it.
#ifndef MIVRA_UPDATE_BACKUP_DELETE_BACKUP_H_
#define MIVRA_UPDATE_BACKUP_DELETE_BACKUP_H_

namespace mivra {

enum class DeleteBackupResult {
  kAttempted,     // the deletion was tried; whether it went through is not reported
  kBackupFolder,  // the "bkup" path cannot be resolved
};

DeleteBackupResult DeleteCommittedBackup();

}  // namespace mivra

#endif  // MIVRA_UPDATE_BACKUP_DELETE_BACKUP_H_

// Taking one file out of the committed backup: its record is marked removed in place and its
// backup copy deleted, or scheduled for deletion at restart when it is in use. A copy that another
// live record shares (the same file under another spelling of its name) stays.
#ifndef MIVRA_UPDATE_BACKUP_REMOVE_FROM_BACKUP_H_
#define MIVRA_UPDATE_BACKUP_REMOVE_FROM_BACKUP_H_

namespace mivra {

enum class RemoveResult {
  kRemoved,
  kBackupFolder,  // the "bkup" path cannot be resolved
  kMetadataOpen,  // its bkmdata.dat cannot be opened, created or validated
  kNotInBackup,   // no record carries the name (exact, case-sensitive)
  kRecordRead,    // the recorded names or the record cannot be read
  kRecordWrite,   // the marked record cannot be written back
  kPathTooLong,   // the backup copy path does not fit; the record stays marked
  kCopyDelete,    // the copy can be neither deleted nor scheduled for deletion; the record stays marked
};

// `name` is a file name as recorded, without any folder.
RemoveResult RemoveFromCommittedBackup(const wchar_t* name);

}  // namespace mivra

#endif  // MIVRA_UPDATE_BACKUP_REMOVE_FROM_BACKUP_H_

// Adding one file of the install directory to a backup: its verified copy in the backup folder
// and its record in bkmdata.dat, or a record that it does not exist yet.
#ifndef MIVRA_UPDATE_BACKUP_ADD_TO_BACKUP_H_
#define MIVRA_UPDATE_BACKUP_ADD_TO_BACKUP_H_

#include "update/store/mdata_object.h"

namespace mivra {

enum class AddResult {
  kAdded,
  kNotInInstallDir,   // the file exists but not directly in the install directory
  kNoMemory,          // the private metadata object cannot be allocated
  kMetadataOpen,      // bkmdata.dat of the committed backup cannot be opened or validated
  kBadPath,           // no file name after the last backslash, or not a plain file name
  kBackupFolder,      // the backup folder path cannot be resolved
  kPathTooLong,       // the backup copy path does not fit
  kAlreadyRecorded,   // the name is recorded already, or the recorded names cannot be read
  kCopyFailed,        // copying or verifying the copy failed
  kFileAttributes,    // size and last-write time of the file cannot be read
  kNameTooLong,       // the name does not fit the record
  kRecordWrite,       // the metadata file has no open file, or the record cannot be written
  kWrongObject,       // the caller's object is not a backup object: nothing is copied or written
};

// Backs up the file at `path`. With `object` (a staging backup object), into "tmpbkup" and the
// file the object holds open, which stays open whatever happens; an object of the other kind is
// refused before anything is touched. Without one, into "bkup" through
// a private object that is closed, and flushed if written, before the call returns.
AddResult AddFileToBackup(MdataObject* object, const wchar_t* path);

}  // namespace mivra

#endif  // MIVRA_UPDATE_BACKUP_ADD_TO_BACKUP_H_

// Starting a staging backup: whatever an earlier, uncommitted update left in "tmpbkup" is
// discarded and the folder starts afresh with an empty bkmdata.dat.
#ifndef MIVRA_UPDATE_BACKUP_STAGING_BACKUP_H_
#define MIVRA_UPDATE_BACKUP_STAGING_BACKUP_H_

#include "update/store/mdata_object.h"

namespace mivra {

enum class StagingResult {
  kStarted,
  kBackupFolder,  // the "tmpbkup" path cannot be resolved
  kDeleteFailed,  // the leftover staging folder cannot be deleted
  kMetadataOpen,  // the new bkmdata.dat cannot be created
};

// Opens the new staging metadata file into `object`.
StagingResult StartStagingBackup(MdataObject& object);

}  // namespace mivra

#endif  // MIVRA_UPDATE_BACKUP_STAGING_BACKUP_H_

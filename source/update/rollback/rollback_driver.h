// MivraRollback's two modes, on an open rollback database: the query tells whether a rollback is
// needed and whether a committed backup can serve it; the perform mode restores the backup.
#ifndef MIVRA_UPDATE_ROLLBACK_ROLLBACK_DRIVER_H_
#define MIVRA_UPDATE_ROLLBACK_ROLLBACK_DRIVER_H_

#include <cstdint>

struct MdataObject;

namespace mivra {

inline constexpr uint32_t kRollbackLimit = 15;

enum class QueryOutcome {
  kCheckFailed,        // the need check could not be completed
  kNotNeeded,
  kNeeded,             // needed, and the committed backup holds records
  kNeededNoBackup,     // needed, but there is no committed backup with records
  kBackupFolderUnknown,
  kBackupUnreadable,   // the committed bkmdata.dat cannot be opened or fails validation
};

QueryOutcome QueryRollback(MdataObject& database, uint32_t flags, uint8_t* outFlag);

enum class PerformOutcome {
  kRestored,
  kBackupDamaged,      // a copy is missing or changed, or the backup was marked damaged
  kBackupUncheckable,  // verification could not be carried out
  kStatusUnreadable,   // the database's state block cannot be read
  kLimitReached,       // kRollbackLimit rollbacks since the database was started
  kStagingFailed,
  kNothingToRestore,
  kPlacingFailed,
  kRebuildFailed,
};

// Closes `database` before the rebuild replaces its file; the caller frees the object. After a
// restore, `notifyService` tells whether the service is to be told (NotifyServiceOfRollback),
// which the caller does once it holds nothing that the service might wait for.
PerformOutcome PerformRollback(MdataObject& database, bool* notifyService);

}  // namespace mivra

#endif  // MIVRA_UPDATE_ROLLBACK_ROLLBACK_DRIVER_H_

// Ending the rollback database: its records, update status and rollback counter go with it.
#ifndef MIVRA_UPDATE_ROLLBACKDB_DELETE_ROLLBACK_DB_H_
#define MIVRA_UPDATE_ROLLBACKDB_DELETE_ROLLBACK_DB_H_

namespace mivra {

enum class RBDeleteResult {
  kDeleted,
  kDeleteAtRestart,  // in use: scheduled for deletion at the next restart
  kNoBaseFolder,     // the base folder cannot be resolved
  kPathTooLong,      // the database path does not fit
  kMissing,          // there is no database to delete
  kNotDeleted,       // it can be neither deleted nor scheduled for deletion
};

// Deletes rbmdata.dat from the base folder (created when missing), or schedules it for deletion
// at restart when it cannot go now. A failed existence test does not stop the deletion.
RBDeleteResult DeleteRollbackDB();

}  // namespace mivra

#endif  // MIVRA_UPDATE_ROLLBACKDB_DELETE_ROLLBACK_DB_H_

#include <memory>

#include "mivra.h"
#include "update/exports/export_frame.h"
#include "update/frame/trace_log.h"
#include "update/rollback/rollback_driver.h"
#include "update/rollback/service_notify.h"
#include "update/rollbackdb/create_rb_object.h"
#include "update/store/mdata_object.h"

using mivra::EnterCall;
using mivra::Fail;
using mivra::Finish;

namespace {

// Each result type meets its codes in one switch.

bool Finish(mivra::QueryOutcome outcome, uint32_t* errorCode) {
  using mivra::QueryOutcome;
  switch (outcome) {
    case QueryOutcome::kNotNeeded: return true;
    case QueryOutcome::kNeeded: return true;
    case QueryOutcome::kNeededNoBackup:
      // The one code written with a true result: needed, but nothing to roll back from.
      mivra::WriteCode(errorCode, MIVRA_E_NO_BACKUP);
      return true;
    case QueryOutcome::kBackupFolderUnknown: return Fail(errorCode, MIVRA_E_BACKUP_FOLDER);
    case QueryOutcome::kBackupUnreadable: return Fail(errorCode, MIVRA_E_BKMDATA_OPEN);
    // The need check could not be completed: no code.
    case QueryOutcome::kCheckFailed: return false;
  }
  return false;
}

bool Finish(mivra::PerformOutcome outcome, uint32_t* errorCode) {
  using mivra::PerformOutcome;
  switch (outcome) {
    case PerformOutcome::kRestored: return true;
    case PerformOutcome::kBackupDamaged: return Fail(errorCode, MIVRA_E_BACKUP_DAMAGED);
    case PerformOutcome::kBackupUncheckable: return Fail(errorCode, MIVRA_E_BACKUP_CHECK);
    case PerformOutcome::kStatusUnreadable: return Fail(errorCode, MIVRA_E_RB_STATUS_READ);
    case PerformOutcome::kLimitReached: return Fail(errorCode, MIVRA_E_ROLLBACK_LIMIT);
    case PerformOutcome::kStagingFailed: return Fail(errorCode, MIVRA_E_RESTORE_PREPARE);
    case PerformOutcome::kNothingToRestore: return Fail(errorCode, MIVRA_E_RESTORE_APPLY);
    case PerformOutcome::kPlacingFailed: return Fail(errorCode, MIVRA_E_RESTORE_APPLY);
    case PerformOutcome::kRebuildFailed: return Fail(errorCode, MIVRA_E_RB_REBUILD);
  }
  return Fail(errorCode, MIVRA_E_RB_REBUILD);
}


bool Rollback(uint32_t flags, uint8_t* outFlag, uint32_t* errorCode) try {
  if (!errorCode) return false;
  mivra::ProductLock lock;
  if (!EnterCall(errorCode, lock, mivra::kDatabaseBusyCode, MIVRA_E_RBMDATA_OPEN)) return false;

  const bool perform = (flags & MIVRA_ROLLBACK_PERFORM) != 0;
  // The query only reads the database: a caller that may not write it is answered all the same.
  std::unique_ptr<MdataObject> database;
  const mivra::MetadataAccess access =
      perform ? mivra::MetadataAccess::kReadWrite : mivra::MetadataAccess::kReadOnlyWhenDenied;
  const mivra::RBObjectResult opened = mivra::CreateRBObject(&database, access);
  if (!perform && outFlag && opened == mivra::RBObjectResult::kAbsent) {
    // No database, and this caller may not start the empty one: nothing is registered and no
    // update is under way, which is what the empty database would say.
    *outFlag = 0;
    return true;
  }
  if (!Finish(opened, errorCode)) return false;
  if (!perform) {
    // The query has nowhere to answer: refused like the other queries that cannot be completed.
    if (!outFlag) return false;
    return Finish(mivra::QueryRollback(*database, flags, outFlag), errorCode);
  }

  bool notifyService = false;
  if (!Finish(mivra::PerformRollback(*database, &notifyService), errorCode)) return false;
  // The service may call the library, or wait on a process that does, before it answers: the
  // handshake must not wait while this call keeps everyone else out.
  database.reset();
  lock.Release();
  if (notifyService) mivra::NotifyServiceOfRollback();
  return true;
} catch (...) {
  return false;
}

}  // namespace

extern "C" bool MivraRollback(uint32_t flags, uint8_t* outFlag, uint32_t* errorCode) {
  mivra::ExportTrace call("MivraRollback");
  call.Arguments().Hex("flags", flags).IfNull("out", outFlag).IfNull("error", errorCode);
  const bool answered = Rollback(flags, outFlag, errorCode);
  mivra::TraceEvent returned = call.Returned(answered);
  if (answered && (flags & MIVRA_ROLLBACK_PERFORM) == 0) returned.Number("needed", *outFlag);
  return answered;
}

#include <memory>

#include "mivra.h"
#include "update/store/mdata_object.h"
#include "update/exports/export_frame.h"
#include "update/frame/trace_log.h"
#include "update/rollback/rollback_driver.h"
#include "update/rollback/service_notify.h"
#include "update/rollbackdb/create_rb_object.h"

using mivra::EnterCall;
using mivra::Fail;

namespace {

bool Answer(mivra::QueryOutcome outcome, uint32_t* errorCode) {
  using mivra::QueryOutcome;
  switch (outcome) {
    case QueryOutcome::kNotNeeded:
    case QueryOutcome::kNeeded: return true;
    case QueryOutcome::kNeededNoBackup:
      // The one code written with a true result: needed, but nothing to roll back from.
      mivra::WriteCode(errorCode, MIVRA_E_NO_BACKUP);
      return true;
    case QueryOutcome::kBackupFolderUnknown: return Fail(errorCode, MIVRA_E_BACKUP_FOLDER);
    case QueryOutcome::kBackupUnreadable: return Fail(errorCode, MIVRA_E_BKMDATA_OPEN);
    case QueryOutcome::kCheckFailed: break;
  }
  return false;
}

uint32_t ToErrorCode(mivra::PerformOutcome outcome) {
  using mivra::PerformOutcome;
  switch (outcome) {
    case PerformOutcome::kBackupDamaged: return MIVRA_E_BACKUP_DAMAGED;
    case PerformOutcome::kBackupUncheckable: return MIVRA_E_BACKUP_CHECK;
    case PerformOutcome::kStatusUnreadable: return MIVRA_E_RB_STATUS_READ;
    case PerformOutcome::kLimitReached: return MIVRA_E_ROLLBACK_LIMIT;
    case PerformOutcome::kStagingFailed: return MIVRA_E_RESTORE_PREPARE;
    case PerformOutcome::kNothingToRestore:
    case PerformOutcome::kPlacingFailed: return MIVRA_E_RESTORE_APPLY;
    case PerformOutcome::kRestored:
    case PerformOutcome::kRebuildFailed: break;
  }
  return MIVRA_E_RB_REBUILD;
}

bool Rollback(uint32_t flags, uint8_t* outFlag, uint32_t* errorCode) try {
  if (!errorCode) return false;
  mivra::ProductLock lock;
  if (!EnterCall(errorCode, lock, mivra::kDatabaseBusyCode)) return false;

  std::unique_ptr<MdataObject> database;
  switch (mivra::CreateRBObject(&database)) {
    case mivra::RBObjectResult::kOpened: break;
    case mivra::RBObjectResult::kNoMemory: return false;
    case mivra::RBObjectResult::kOpenFailed: return Fail(errorCode, MIVRA_E_RBMDATA_OPEN);
  }
  const bool perform = (flags & MIVRA_ROLLBACK_PERFORM) != 0;
  if (!perform) {
    // The query has nowhere to answer: refused like the other queries that cannot be completed.
    if (!outFlag) return false;
    return Answer(mivra::QueryRollback(*database, flags, outFlag), errorCode);
  }

  bool notifyService = false;
  const mivra::PerformOutcome outcome = mivra::PerformRollback(*database, &notifyService);
  if (outcome != mivra::PerformOutcome::kRestored) return Fail(errorCode, ToErrorCode(outcome));
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

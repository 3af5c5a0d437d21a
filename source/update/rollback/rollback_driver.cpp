#include "update/rollback/rollback_driver.h"

#include "update/backup/bkmdata_store.h"
#include "update/backup/commit_journal.h"
#include "update/frame/backup_folder.h"
#include "update/frame/file_info.h"
#include "update/frame/trace_log.h"
#include "update/rollback/place_restored.h"
#include "update/rollback/rebuild_rollback_db.h"
#include "update/rollback/rollback_need_check.h"
#include "update/rollback/stage_restore.h"
#include "update/rollback/temp_sweep.h"
#include "update/rollback/verify_backup.h"
#include "update/rollbackdb/rbmdata_store.h"

namespace mivra {

QueryOutcome QueryRollback(MdataObject& database, uint32_t flags, uint8_t* outFlag) {
  if (!outFlag) return QueryOutcome::kCheckFailed;
  const bool checked = CheckRollbackNeeded(&database, flags, outFlag);
  if (*outFlag == 0) return checked ? QueryOutcome::kNotNeeded : QueryOutcome::kCheckFailed;

  // A commit cut off between its folder moves leaves no "bkup" although a backup is there.
  RecoverInterruptedCommit(true);

  wchar_t folder[kPathCapacity] = {};
  if (!GetBackupFolder(folder, BKF_BKUP, false)) return QueryOutcome::kBackupFolderUnknown;
  switch (ProbePath(folder)) {
    case PathState::kPresent: break;
    case PathState::kAbsent: return QueryOutcome::kNeededNoBackup;
    case PathState::kUnknown: return QueryOutcome::kBackupFolderUnknown;
  }
  MdataObject backup;
  if (!OpenBkMdata(backup, BKF_BKUP)) return QueryOutcome::kBackupUnreadable;
  if (!backup.fd.valid() || CountBkRecords(backup) == 0) return QueryOutcome::kNeededNoBackup;
  return QueryOutcome::kNeeded;
}

PerformOutcome PerformRollback(MdataObject& database, bool* notifyService) {
  if (notifyService) *notifyService = false;
  RecoverInterruptedCommit(true);
  uint8_t intact = 1;
  if (!VerifyBackupCopies(&intact)) return PerformOutcome::kBackupUncheckable;
  if (!intact) return PerformOutcome::kBackupDamaged;

  uint8_t interrupted = 0;
  if (CheckRollbackNeeded(&database, kCheckInterruptedUpdate, &interrupted) && interrupted) SweepTempFiles();

  RBMdataState state = {};
  if (!database.fd.valid() || !ReadRBState(database, &state)) return PerformOutcome::kStatusUnreadable;
  TraceStep("rollback-count").Number("count", state.rollbackCount).Number("limit", kRollbackLimit).Outcome(
      state.rollbackCount >= kRollbackLimit ? "limit-reached" : "ok");
  if (state.rollbackCount >= kRollbackLimit) return PerformOutcome::kLimitReached;

  RollbackContext context;
  if (!StageRestoreFiles(context)) {
    DeleteStagedFiles(context);
    return PerformOutcome::kStagingFailed;
  }
  if (context.entries.empty()) {
    TraceStep("restore").Failed("nothing to restore");
    return PerformOutcome::kNothingToRestore;
  }
  // Files already placed stay placed when another fails: nothing is undone.
  const bool placed = PlaceRestoredFiles(context);
  DeleteStagedFiles(context);
  if (!placed) return PerformOutcome::kPlacingFailed;

  if (!RebuildRollbackDB(database, context, state.rollbackCount)) return PerformOutcome::kRebuildFailed;
  if (notifyService) *notifyService = context.notifyService;
  return PerformOutcome::kRestored;
}

}  // namespace mivra

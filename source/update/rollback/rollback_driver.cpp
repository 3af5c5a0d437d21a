#include "update/rollback/rollback_driver.h"

#include <string>
#include <vector>

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
  // The question only reads: a caller that may not write gets its answer all the same.
  MdataObject backup;
  if (!OpenBkMdata(backup, BKF_BKUP, MetadataAccess::kReadOnlyWhenDenied)) return QueryOutcome::kBackupUnreadable;
  if (!backup.fd.valid() || CountBkRecords(backup) == 0) return QueryOutcome::kNeededNoBackup;
  return QueryOutcome::kNeeded;
}

namespace {

// A rollback refused before anything is staged is refused as it always was: the backup is proved
// first, and its damage or an undone proof is what the caller hears before the refusal.
PerformOutcome RefuseAfterVerifying(PerformOutcome refusal, bool interrupted) {
  uint8_t intact = 1;
  if (!VerifyBackupCopies(&intact)) return PerformOutcome::kBackupUncheckable;
  if (!intact) return PerformOutcome::kBackupDamaged;
  if (interrupted) SweepTempFiles();
  return refusal;
}

}  // namespace

PerformOutcome PerformRollback(MdataObject& database, bool* notifyService) {
  if (notifyService) *notifyService = false;
  RecoverInterruptedCommit(true);
  uint8_t interrupted = 0;
  const bool sweep = CheckRollbackNeeded(&database, kCheckInterruptedUpdate, &interrupted) && interrupted;

  RBMdataState state = {};
  if (!database.fd.valid() || !ReadRBState(database, &state)) {
    return RefuseAfterVerifying(PerformOutcome::kStatusUnreadable, sweep);
  }
  TraceStep("rollback-count").Number("count", state.rollbackCount).Number("limit", kRollbackLimit).Outcome(
      state.rollbackCount >= kRollbackLimit ? "limit-reached" : "ok");
  if (state.rollbackCount >= kRollbackLimit) return RefuseAfterVerifying(PerformOutcome::kLimitReached, sweep);

  // Each copy is proved by staging it: its staged copy, read back, has the record's digest. Nothing
  // in the install directory is deleted or replaced before every copy is proved.
  RollbackContext context;
  std::vector<std::wstring> addedFiles;
  switch (StageVerifiedRestore(context, &addedFiles)) {
    case StagedRestore::kStaged: break;
    case StagedRestore::kDamaged:
      DeleteStagedFiles(context);
      return PerformOutcome::kBackupDamaged;
    case StagedRestore::kUncheckable:
      DeleteStagedFiles(context);
      return PerformOutcome::kBackupUncheckable;
    case StagedRestore::kFailed: {
      DeleteStagedFiles(context);
      // The copies past the one that failed are proved as well, so that a damaged backup is told
      // as such; a sound one has what the records walked so far added deleted, as a staging in
      // record order leaves it.
      const PerformOutcome refusal = RefuseAfterVerifying(PerformOutcome::kStagingFailed, sweep);
      if (refusal == PerformOutcome::kStagingFailed) DeleteAddedFiles(addedFiles);
      return refusal;
    }
  }
  if (sweep) SweepTempFiles(&context);
  DeleteAddedFiles(addedFiles);
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

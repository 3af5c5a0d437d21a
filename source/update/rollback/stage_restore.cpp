#include "update/rollback/stage_restore.h"

#include <cstring>
#include <cwchar>

#include "update/backup/bkmdata_store.h"
#include "update/backup/copy_verified.h"
#include "update/frame/backup_folder.h"
#include "update/frame/deferred_delete.h"
#include "update/frame/install_dir.h"
#include "update/frame/platform_calls.h"
#include "update/frame/trace_log.h"
#include "update/rollback/restore_plan.h"
#include "update/rollback/temp_names.h"
#include "update/rollback/verify_backup.h"

namespace mivra {
namespace {

// Staged copies kept open until they are renamed into place through their own handles; past this
// many, a staged copy is closed and placed by name. Bounds what a rollback of a very large backup
// holds open at once.
constexpr size_t kMaxKeptStagedHandles = 4096;

StagedRestore AsStaged(CopyCheck check) {
  return check == CopyCheck::kDamaged ? StagedRestore::kDamaged : StagedRestore::kUncheckable;
}

// One copy staged into a fresh temporary file of the install directory, through the handle that
// takes its name, and proved there against its record.
StagedRestore StageCopy(RollbackContext& context, const wchar_t* installDir, const wchar_t* folder,
                        const PlannedFile& file, const wchar_t* destination, IssuedTempNumbers* issued) {
  wchar_t source[kPathCapacity];
  if (!JoinPath(source, folder, file.name)) return StagedRestore::kUncheckable;
  // Judged just before it is copied out: a link is damage, and so is another user's file, judged
  // through the handle its bytes are read from. A missing one fails its copy, and its digest then
  // tells.
  const CopyCheck entry = JudgeBackupCopyEntry(source);
  if (entry != CopyCheck::kIntact) return AsStaged(entry);
  if (_wcsicmp(file.name.c_str(), kServiceWatchedFile) == 0) context.notifyService = true;

  wchar_t temp[kPathCapacity];
  // The file that holds the name is the one the copy goes into, through the handle that made it.
  ScopedHandle created;
  if (!MakeUniqueTempName(installDir, temp, issued, &created)) return StagedRestore::kFailed;
  try {
    context.entries.emplace_back();
  } catch (...) {
    // The name holds an empty file of its own; without an entry nothing else would delete it.
    created.reset();
    Platform().DeleteFileW(temp);
    return StagedRestore::kFailed;
  }
  RestoreEntry& restore = context.entries.back();
  if (!BoundedCopy(restore.destinationPath, destination) || !BoundedCopy(restore.tempPath, temp)) {
    return StagedRestore::kFailed;
  }
  restore.fileSize = file.fileSize;
  std::memcpy(restore.expectedDigest, file.digest, sizeof(restore.expectedDigest));
  CopyCheck owner = CopyCheck::kIntact;
  const SourceCheck ownedByTheLibrary = [&owner, &source](HANDLE opened) {
    owner = JudgeOpenedBackupCopy(opened, source);
    return owner == CopyCheck::kIntact;
  };
  if (CopyFileVerified(source, temp, file.digest, nullptr, &created, &ownedByTheLibrary)) {
    if (context.entries.size() <= kMaxKeptStagedHandles) restore.staged = std::move(created);
    return StagedRestore::kStaged;
  }
  if (owner != CopyCheck::kIntact) return AsStaged(owner);
  // Digested on its own: a missing or changed copy is the backup's damage, one that cannot be
  // read leaves the proof undone, and one that matches its record was sound, so the staging failed.
  const CopyCheck copy = CheckCopyDigest(source, file.digest);
  return copy == CopyCheck::kIntact ? StagedRestore::kFailed : AsStaged(copy);
}

}  // namespace

StagedRestore StageVerifiedRestore(RollbackContext& context, std::vector<std::wstring>* addedFiles) {
  if (!addedFiles) return StagedRestore::kUncheckable;
  addedFiles->clear();
  wchar_t installDir[kPathCapacity] = {};
  if (!GetInstallDir(installDir)) return StagedRestore::kFailed;
  wchar_t folder[kPathCapacity] = {};
  MdataObject backup;
  if (const CopyCheck opened = OpenBackupToProve(folder, backup); opened != CopyCheck::kIntact) {
    return AsStaged(opened);
  }
  std::vector<PlannedFile> plan;
  if (!PlanRestore(backup, &plan)) return StagedRestore::kUncheckable;

  // Every name staged so far is taken by its staged file: no need to ask about it again.
  IssuedTempNumbers issued;
  for (const PlannedFile& file : plan) {
    // The folders may have been open to others, so a record is untrusted input: a name that could
    // reach outside the install directory (even one only to be deleted) makes the whole backup
    // unusable.
    StagedRestore staged = StagedRestore::kDamaged;
    wchar_t destination[kPathCapacity];
    if (file.action == RestoreAction::kRefuse) {
      TraceStep("verify").Path("name", file.name.c_str()).Failed("not a plain file name");
    } else if (!BoundedConcat(destination, {installDir, file.name})) {
      staged = StagedRestore::kFailed;
    } else if (file.action == RestoreAction::kDelete) {
      addedFiles->emplace_back(destination);
      staged = StagedRestore::kStaged;
    } else {
      staged = StageCopy(context, installDir, folder, file, destination, &issued);
    }
    if (staged == StagedRestore::kStaged) continue;
    if (staged == StagedRestore::kDamaged) ReportDamaged(backup);
    return staged;
  }
  return StagedRestore::kStaged;
}

void DeleteAddedFiles(const std::vector<std::wstring>& addedFiles) {
  for (const std::wstring& path : addedFiles) {
    TraceStep("added-by-update").Path("path", path.c_str()).Outcome("delete");
    DeleteFileIfPresent(path.c_str());
  }
}

}  // namespace mivra

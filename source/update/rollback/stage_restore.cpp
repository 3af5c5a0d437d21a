#include "update/rollback/stage_restore.h"

#include <cstring>
#include <cwchar>

#include "update/backup/bkmdata_store.h"
#include "update/backup/copy_verified.h"
#include "update/digest/file_digest.h"
#include "update/frame/backup_folder.h"
#include "update/frame/deferred_delete.h"
#include "update/frame/file_info.h"
#include "update/frame/file_trust.h"
#include "update/frame/install_dir.h"
#include "update/frame/platform_calls.h"
#include "update/frame/trace_log.h"
#include "update/rollback/restore_plan.h"
#include "update/rollback/temp_names.h"

namespace mivra {
namespace {

constexpr size_t kDigestSize = 16;

// A copy that did not stage as its record says, digested on its own: a missing or changed copy
// is the backup's damage, one that cannot be read leaves the proof undone, and one that matches
// its record was sound, so the staging itself failed.
StagedRestore JudgeUnstagedCopy(const wchar_t* copy, const uint8_t* recorded) {
  uint8_t digest[kDigestSize];
  if (!GetFileDigest(copy, digest)) {
    // Only a missing copy is damage: one held by another process or unreadable for now is not.
    if (ProbePath(copy) == PathState::kAbsent) {
      TraceStep("verify").Path("path", copy).Bytes("recorded", recorded, kDigestSize).Failed("missing");
      return StagedRestore::kDamaged;
    }
    TraceStep("verify").Path("path", copy).Failed("unreadable");
    return StagedRestore::kUncheckable;
  }
  if (std::memcmp(digest, recorded, kDigestSize) != 0) {
    TraceStep("verify").Path("path", copy).Bytes("recorded", recorded, kDigestSize).Failed("different");
    return StagedRestore::kDamaged;
  }
  return StagedRestore::kFailed;
}

// One copy staged into a fresh temporary file of the install directory, through the handle that
// takes its name, and proved there against its record.
StagedRestore StageCopy(RollbackContext& context, const wchar_t* installDir, const wchar_t* folder,
                        const PlannedFile& file, const wchar_t* destination, IssuedTempNumbers* issued) {
  wchar_t source[kPathCapacity];
  if (!JoinPath(source, folder, file.name)) return StagedRestore::kUncheckable;
  // A copy that is a link, or that another user put there, is not the one the library made,
  // whatever its digest: restored, it would install that user's file.
  switch (JudgeLibraryFile(source)) {
    case FileTrust::kTrusted: break;
    case FileTrust::kAbsent:
      TraceStep("verify").Path("path", source).Bytes("recorded", file.digest, kDigestSize).Failed("missing");
      return StagedRestore::kDamaged;
    case FileTrust::kLink:
    case FileTrust::kForeign:
      TraceStep("verify").Path("path", source).Failed("not the library's copy");
      return StagedRestore::kDamaged;
    case FileTrust::kUnknown:
      TraceStep("verify").Path("path", source).Failed("unreadable");
      return StagedRestore::kUncheckable;
  }
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
  RestoreEntry& entry = context.entries.back();
  if (!BoundedCopy(entry.destinationPath, destination) || !BoundedCopy(entry.tempPath, temp)) {
    return StagedRestore::kFailed;
  }
  entry.fileSize = file.fileSize;
  std::memcpy(entry.expectedDigest, file.digest, sizeof(entry.expectedDigest));
  if (CopyFileVerified(source, temp, file.digest, nullptr, &created)) return StagedRestore::kStaged;
  return JudgeUnstagedCopy(source, file.digest);
}

}  // namespace

StagedRestore StageVerifiedRestore(RollbackContext& context, std::vector<std::wstring>* addedFiles) {
  if (!addedFiles) return StagedRestore::kUncheckable;
  addedFiles->clear();
  wchar_t installDir[kPathCapacity] = {};
  if (!GetInstallDir(installDir)) return StagedRestore::kFailed;
  wchar_t folder[kPathCapacity] = {};
  if (!GetBackupFolder(folder, BKF_BKUP, true)) return StagedRestore::kUncheckable;
  MdataObject backup;
  switch (OpenBkMdataFile(backup, BKF_BKUP)) {
    case MetadataOpen::kOpened: break;
    case MetadataOpen::kUntrusted:
      // Records that are a link or another user's file, or a journal that is, are no backup of the
      // library's; the damaged mark is not written into a file that is not the library's.
      TraceStep("verify-backup").Failed("metadata not the library's");
      return StagedRestore::kDamaged;
    case MetadataOpen::kFailed:
    case MetadataOpen::kAbsent: return StagedRestore::kUncheckable;
  }
  BkMdataState state = {};
  if (ReadBkState(backup, &state) && (state.stateFlags & BKSTATE_DAMAGED)) {
    TraceStep("verify-backup").Failed("marked damaged before");
    return StagedRestore::kDamaged;
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
    if (staged == StagedRestore::kDamaged) {
      MarkBackupDamaged(backup);
      TraceStep("mark-damaged").Outcome("ok");
    }
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

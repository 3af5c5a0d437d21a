#include "update/rollback/stage_restore.h"

#include <cstring>
#include <cwchar>
#include <vector>

#include "update/backup/bkmdata_store.h"
#include "update/backup/copy_verified.h"
#include "update/frame/backup_folder.h"
#include "update/frame/deferred_delete.h"
#include "update/frame/file_trust.h"
#include "update/frame/install_dir.h"
#include "update/frame/platform_calls.h"
#include "update/frame/trace_log.h"
#include "update/rollback/restore_plan.h"
#include "update/rollback/temp_names.h"

namespace mivra {

bool StageRestoreFiles(RollbackContext& context) {
  wchar_t installDir[kPathCapacity] = {};
  if (!GetInstallDir(installDir)) return false;
  wchar_t folder[kPathCapacity] = {};
  MdataObject backup;
  if (!GetBackupFolder(folder, BKF_BKUP, true) || !OpenBkMdata(backup, BKF_BKUP)) return false;
  std::vector<PlannedFile> plan;
  if (!PlanRestore(backup, &plan)) return false;

  // Every name staged so far is taken by its staged file: no need to ask about it again.
  IssuedTempNumbers issued;
  for (const PlannedFile& file : plan) {
    // Verification refuses such names first; staging never acts on one either way.
    if (file.action == RestoreAction::kRefuse) {
      TraceStep("stage").Path("name", file.name.c_str()).Failed("not a plain file name");
      return false;
    }
    wchar_t destination[kPathCapacity];
    if (!BoundedConcat(destination, {installDir, file.name})) return false;
    if (file.action == RestoreAction::kDelete) {
      TraceStep("added-by-update").Path("path", destination).Outcome("delete");
      DeleteFileIfPresent(destination);
      continue;
    }
    if (_wcsicmp(file.name.c_str(), kServiceWatchedFile) == 0) context.notifyService = true;

    wchar_t source[kPathCapacity];
    wchar_t temp[kPathCapacity];
    // The file that holds the name is the one the copy goes into, through the handle that made it.
    ScopedHandle created;
    if (!JoinPath(source, folder, file.name) || !MakeUniqueTempName(installDir, temp, &issued, &created)) return false;
    try {
      context.entries.emplace_back();
    } catch (...) {
      // The name holds an empty file of its own; without an entry nothing else would delete it.
      created.reset();
      Platform().DeleteFileW(temp);
      return false;
    }
    RestoreEntry& entry = context.entries.back();
    if (!BoundedCopy(entry.destinationPath, destination) || !BoundedCopy(entry.tempPath, temp)) return false;
    entry.fileSize = file.fileSize;
    std::memcpy(entry.expectedDigest, file.digest, sizeof(entry.expectedDigest));
    // Verification judged every copy; one that became a link or another user's since is not
    // copied out into the install directory.
    if (JudgeLibraryFile(source) != FileTrust::kTrusted) {
      TraceStep("stage").Path("path", source).Failed("not the library's copy");
      return false;
    }
    if (!CopyFileVerified(source, temp, file.digest, nullptr, &created)) return false;
  }
  return true;
}

}  // namespace mivra

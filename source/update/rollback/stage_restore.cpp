#include "update/rollback/stage_restore.h"

#include <cstring>
#include <cwchar>

#include "update/backup/bkmdata_store.h"
#include "update/backup/copy_verified.h"
#include "update/store/metadata_store.h"
#include "update/frame/backup_folder.h"
#include "update/frame/deferred_delete.h"
#include "update/frame/file_name.h"
#include "update/frame/file_info.h"
#include "update/frame/install_dir.h"
#include "update/frame/platform_calls.h"
#include "update/rollback/temp_names.h"
#include "update/frame/trace_log.h"

namespace mivra {

bool StageRestoreFiles(RollbackContext& context) {
  wchar_t installDir[kPathCapacity] = {};
  if (!GetInstallDir(installDir)) return false;
  wchar_t folder[kPathCapacity] = {};
  MdataObject backup;
  if (!GetBackupFolder(folder, BKF_BKUP, true) || !OpenBkMdata(backup, BKF_BKUP)) return false;

  const uint32_t count = CountBkRecords(backup);
  // Every name staged so far is taken by its staged file: no need to ask about it again.
  IssuedTempNumbers issued;
  for (uint32_t index = 0; index < count; ++index) {
    BkMdataRecord record;
    if (!ReadBkRecord(backup, index, &record)) return false;
    if (record.flags & BKREC_REMOVED) continue;
    const std::wstring name = RecordFieldName(record.fileName);
    // Verification refuses such names first; staging never acts on one either way.
    if (!IsPlainFileName(name)) {
      TraceStep("stage").Path("name", name.c_str()).Failed("not a plain file name");
      return false;
    }

    wchar_t destination[kPathCapacity];
    if (!BoundedConcat(destination, {installDir, name})) return false;
    if (record.flags & BKREC_ABSENT) {
      // The update added this file: the rollback takes it away.
      TraceStep("added-by-update").Path("path", destination).Outcome("delete");
      DeleteFileIfPresent(destination);
      continue;
    }
    if (_wcsicmp(name.c_str(), kServiceWatchedFile) == 0) context.notifyService = 1;

    wchar_t source[kPathCapacity];
    wchar_t temp[kPathCapacity];
    if (!JoinPath(source, folder, name) || !MakeUniqueTempName(installDir, temp, &issued)) return false;
    RestoreEntry* entry = AppendRestoreEntry(&context.head, &context.tail);
    if (!entry) {
      // The name holds an empty file of its own; without an entry nothing else would delete it.
      Platform().DeleteFileW(temp);
      return false;
    }
    if (!BoundedCopy(entry->destinationPath, destination) || !BoundedCopy(entry->tempPath, temp)) return false;
    entry->fileSize = record.fileSizeLow;
    std::memcpy(entry->expectedDigest, record.digest, sizeof(entry->expectedDigest));
    if (!CopyFileVerified(source, temp, record.digest)) return false;
  }
  return true;
}

}  // namespace mivra

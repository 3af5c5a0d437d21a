#include "update/rollback/verify_backup.h"

#include <cstring>

#include "update/backup/bkmdata_store.h"
#include "update/store/metadata_store.h"
#include "update/digest/file_digest.h"
#include "update/frame/backup_folder.h"
#include "update/frame/file_info.h"
#include "update/frame/file_name.h"
#include "update/frame/trace_log.h"

namespace mivra {
namespace {

bool ReportDamaged(const MdataObject& backup, uint8_t* intact) {
  MarkBackupDamaged(backup);
  TraceStep("mark-damaged").Outcome("ok");
  *intact = 0;
  return true;
}

}  // namespace

bool VerifyBackupCopies(uint8_t* intact) {
  if (!intact) return false;
  *intact = 1;
  wchar_t folder[kPathCapacity] = {};
  if (!GetBackupFolder(folder, BKF_BKUP, true)) return false;
  MdataObject backup;
  if (!OpenBkMdata(backup, BKF_BKUP)) return false;

  BkMdataState state = {};
  if (ReadBkState(backup, &state) && (state.stateFlags & BKSTATE_DAMAGED)) {
    TraceStep("verify-backup").Failed("marked damaged before");
    *intact = 0;
    return true;
  }
  const uint32_t count = CountBkRecords(backup);
  for (uint32_t index = 0; index < count; ++index) {
    BkMdataRecord record;
    if (!ReadBkRecord(backup, index, &record)) return false;
    if (record.flags & BKREC_REMOVED) continue;
    // The folders are open to everyone, so a record is untrusted input: a name that could reach
    // outside the install directory (even one only to be deleted) makes the whole backup unusable
    // before any installed file is touched.
    const std::wstring name = RecordFieldName(record.fileName);
    if (!IsPlainFileName(name)) {
      TraceStep("verify").Path("name", name.c_str()).Failed("not a plain file name");
      return ReportDamaged(backup, intact);
    }
    if (record.flags & BKREC_ABSENT) continue;
    wchar_t copy[kPathCapacity];
    if (!JoinPath(copy, folder, name)) return false;
    uint8_t digest[16];
    if (!GetFileDigest(copy, digest)) {
      // Only a missing copy is damage. One that is there but cannot be read now (held by another
      // process, access denied, an I/O error) leaves the check undone, and the backup usable.
      if (ProbePath(copy) == PathState::kAbsent) {
        TraceStep("verify").Path("path", copy).Bytes("recorded", record.digest, 16).Failed("missing");
        return ReportDamaged(backup, intact);
      }
      TraceStep("verify").Path("path", copy).Failed("unreadable");
      return false;
    }
    if (std::memcmp(digest, record.digest, sizeof(digest)) != 0) {
      TraceStep("verify").Path("path", copy).Bytes("recorded", record.digest, 16).Failed("different");
      return ReportDamaged(backup, intact);
    }
  }
  return true;
}

}  // namespace mivra

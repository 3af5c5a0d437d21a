#include "update/rollback/verify_backup.h"

#include <cstring>

#include "update/backup/bkmdata_store.h"
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

enum class CopyCheck { kIntact, kDamaged, kUncheckable };

// One live record's copy against its digest.
CopyCheck CheckCopy(const wchar_t* folder, const BkMdataRecord& record) {
  // The folders are open to everyone, so a record is untrusted input: a name that could reach
  // outside the install directory (even one only to be deleted) makes the whole backup unusable
  // before any installed file is touched.
  const std::wstring name = RecordFieldName(record.fileName);
  if (!IsPlainFileName(name)) {
    TraceStep("verify").Path("name", name.c_str()).Failed("not a plain file name");
    return CopyCheck::kDamaged;
  }
  if (record.flags & BKREC_ABSENT) return CopyCheck::kIntact;
  wchar_t copy[kPathCapacity];
  if (!JoinPath(copy, folder, name)) return CopyCheck::kUncheckable;
  uint8_t digest[16];
  if (!GetFileDigest(copy, digest)) {
    // Only a missing copy is damage. One that is there but cannot be read now (held by another
    // process, access denied, an I/O error) leaves the check undone, and the backup usable.
    if (ProbePath(copy) == PathState::kAbsent) {
      TraceStep("verify").Path("path", copy).Bytes("recorded", record.digest, 16).Failed("missing");
      return CopyCheck::kDamaged;
    }
    TraceStep("verify").Path("path", copy).Failed("unreadable");
    return CopyCheck::kUncheckable;
  }
  if (std::memcmp(digest, record.digest, sizeof(digest)) != 0) {
    TraceStep("verify").Path("path", copy).Bytes("recorded", record.digest, 16).Failed("different");
    return CopyCheck::kDamaged;
  }
  return CopyCheck::kIntact;
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
  CopyCheck found = CopyCheck::kIntact;
  const RecordWalk walk = ForEachLiveBkRecord(backup, [&folder, &found](uint32_t, const BkMdataRecord& record) {
    found = CheckCopy(folder, record);
    return found == CopyCheck::kIntact;
  });
  if (walk != RecordWalk::kWalked) return false;
  switch (found) {
    case CopyCheck::kIntact: return true;
    case CopyCheck::kDamaged: return ReportDamaged(backup, intact);
    case CopyCheck::kUncheckable: return false;
  }
  return false;
}

}  // namespace mivra

#include "update/rollback/verify_backup.h"

#include <cstring>

#include "update/backup/bkmdata_store.h"
#include "update/digest/file_digest.h"
#include "update/frame/backup_folder.h"
#include "update/frame/file_info.h"
#include "update/frame/file_name.h"
#include "update/frame/file_trust.h"
#include "update/frame/trace_log.h"

namespace mivra {

namespace {

// A copy not to be used as it is, traced: a link or another user's file is damage, one that cannot
// be told is no verdict.
CopyCheck Refused(const wchar_t* copy, CopyCheck verdict) {
  TraceStep("verify").Path("path", copy).Failed(verdict == CopyCheck::kDamaged ? "not the library's copy"
                                                                                : "unreadable");
  return verdict;
}

// A copy's verdict from what its entry, or its entry and owner, were judged to be. A copy that is a
// link, or that another user put there, is not the one the library made, whatever its digest:
// restored, it would install that user's file.
CopyCheck AsCopyCheck(const wchar_t* copy, FileTrust trust) {
  switch (trust) {
    case FileTrust::kTrusted:
    case FileTrust::kAbsent: return CopyCheck::kIntact;
    case FileTrust::kLink:
    case FileTrust::kForeign: return Refused(copy, CopyCheck::kDamaged);
    case FileTrust::kUnknown: break;
  }
  return Refused(copy, CopyCheck::kUncheckable);
}

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
  const CopyCheck judged = JudgeBackupCopy(copy);
  return judged == CopyCheck::kIntact ? CheckCopyDigest(copy, record.digest) : judged;
}

}  // namespace

CopyCheck JudgeBackupCopy(const wchar_t* copy) { return AsCopyCheck(copy, JudgeLibraryFile(copy)); }

CopyCheck JudgeBackupCopyEntry(const wchar_t* copy) { return AsCopyCheck(copy, JudgeLibraryEntry(copy)); }

CopyCheck JudgeOpenedBackupCopy(HANDLE opened, const wchar_t* copy) {
  return AsCopyCheck(copy, JudgeOpenedLibraryFile(opened, copy));
}

CopyCheck CheckCopyDigest(const wchar_t* copy, const uint8_t* recorded) {
  uint8_t digest[16];
  if (!GetFileDigest(copy, digest)) {
    // Only a missing copy is damage. One that is there but cannot be read now (held by another
    // process, access denied, an I/O error) leaves the check undone, and the backup usable.
    if (ProbePath(copy) == PathState::kAbsent) {
      TraceStep("verify").Path("path", copy).Bytes("recorded", recorded, 16).Failed("missing");
      return CopyCheck::kDamaged;
    }
    return Refused(copy, CopyCheck::kUncheckable);
  }
  if (std::memcmp(digest, recorded, sizeof(digest)) != 0) {
    TraceStep("verify").Path("path", copy).Bytes("recorded", recorded, 16).Failed("different");
    return CopyCheck::kDamaged;
  }
  return CopyCheck::kIntact;
}

CopyCheck OpenBackupToProve(wchar_t (&folder)[kPathCapacity], MdataObject& backup) {
  if (!GetBackupFolder(folder, BKF_BKUP, true)) return CopyCheck::kUncheckable;
  switch (OpenBkMdataFile(backup, BKF_BKUP)) {
    case MetadataOpen::kOpened: break;
    case MetadataOpen::kUntrusted:
      // Records that are a link or another user's file, or a journal that is, are no backup of the
      // library's. The damaged mark is not written into a file that is not the library's: every
      // verification finds it so again.
      TraceStep("verify-backup").Failed("metadata not the library's");
      return CopyCheck::kDamaged;
    case MetadataOpen::kFailed:
    case MetadataOpen::kAbsent: return CopyCheck::kUncheckable;
  }
  BkMdataState state = {};
  if (ReadBkState(backup, &state) && (state.stateFlags & BKSTATE_DAMAGED)) {
    TraceStep("verify-backup").Failed("marked damaged before");
    return CopyCheck::kDamaged;
  }
  return CopyCheck::kIntact;
}

void ReportDamaged(const MdataObject& backup) {
  MarkBackupDamaged(backup);
  TraceStep("mark-damaged").Outcome("ok");
}

bool VerifyBackupCopies(uint8_t* intact) {
  if (!intact) return false;
  *intact = 1;
  wchar_t folder[kPathCapacity] = {};
  MdataObject backup;
  switch (OpenBackupToProve(folder, backup)) {
    case CopyCheck::kIntact: break;
    case CopyCheck::kDamaged: *intact = 0; return true;
    case CopyCheck::kUncheckable: return false;
  }
  CopyCheck found = CopyCheck::kIntact;
  const RecordWalk walk = ForEachLiveBkRecord(backup, [&folder, &found](uint32_t, const BkMdataRecord& record) {
    found = CheckCopy(folder, record);
    return found == CopyCheck::kIntact;
  });
  if (walk != RecordWalk::kWalked) return false;
  switch (found) {
    case CopyCheck::kIntact: return true;
    case CopyCheck::kDamaged:
      ReportDamaged(backup);
      *intact = 0;
      return true;
    case CopyCheck::kUncheckable: return false;
  }
  return false;
}

}  // namespace mivra

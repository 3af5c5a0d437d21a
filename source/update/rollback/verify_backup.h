// Proving the copies of the committed backup against their records: all of them at once (for a
// rollback refused before staging, or whose staging failed), or one as a rollback stages it.
#ifndef MIVRA_UPDATE_ROLLBACK_VERIFY_BACKUP_H_
#define MIVRA_UPDATE_ROLLBACK_VERIFY_BACKUP_H_

#include <windows.h>

#include <cstdint>

#include "update/frame/bounded_string.h"
#include "update/store/mdata_object.h"

namespace mivra {

// Checks every backup copy of the committed backup against the digest of its record. False when
// the check could not be carried out (folder, metadata file, a record, a path, or a copy that is
// there but cannot be read now, or whose owner cannot be read); true otherwise, with `intact` 0
// when a copy is missing or changed, or is a link or another user's file, when a record names no
// plain file of the install directory, when the metadata file or its journal is a link or another
// user's, or when the backup was marked damaged before. A damaged backup is marked so in its
// metadata file, and every later check stops there; a metadata file that is not the library's is
// not written.
bool VerifyBackupCopies(uint8_t* intact);

enum class CopyCheck { kIntact, kDamaged, kUncheckable };

// Opens the committed backup's metadata into `backup` and its folder into `folder`, for proving
// its copies: kIntact when opened, kDamaged when the file is not the library's or the backup was
// marked damaged before (nothing is marked then), kUncheckable when it cannot be opened.
CopyCheck OpenBackupToProve(wchar_t (&folder)[kPathCapacity], MdataObject& backup);

// Marks the backup damaged in its metadata file.
void ReportDamaged(const MdataObject& backup);

// The copy at `copy` judged as the library's own (kIntact, also when it is missing: its digest
// tells that), a link or another user's file (kDamaged), or not to be told (kUncheckable).
CopyCheck JudgeBackupCopy(const wchar_t* copy);

// The same in two halves, for a copy about to be read: its entry (a link is kDamaged) before it is
// opened, then its owner through the handle it is read from, so that the file judged is the file
// read, with no open of its name for the judgement alone.
CopyCheck JudgeBackupCopyEntry(const wchar_t* copy);
CopyCheck JudgeOpenedBackupCopy(HANDLE opened, const wchar_t* copy);

// The copy's digest against `recorded` (16 bytes): kDamaged when it is missing or differs,
// kUncheckable when it is there but cannot be read now.
CopyCheck CheckCopyDigest(const wchar_t* copy, const uint8_t* recorded);

}  // namespace mivra

#endif  // MIVRA_UPDATE_ROLLBACK_VERIFY_BACKUP_H_

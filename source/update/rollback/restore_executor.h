// The file work of a rollback: prove the committed backup, stage every backed-up file next to its
// destination, then put the staged files in place.
#ifndef MIVRA_UPDATE_ROLLBACK_RESTORE_EXECUTOR_H_
#define MIVRA_UPDATE_ROLLBACK_RESTORE_EXECUTOR_H_

#include "update/rollback/rollback_context.h"

namespace mivra {

// The one file whose restoration the product's service must hear of.
inline constexpr wchar_t kServiceWatchedFile[] = L"VENTRAEX.EXT";

// Checks every backup copy of the committed backup against the digest of its record. False when
// the check could not be carried out (folder, metadata file, a record, a path, or a copy that is
// there but cannot be read now); true otherwise, with `intact` 0 when a copy is missing or changed, or when a record names no plain file of the
// install directory, or when the backup was marked damaged before. A damaged backup is marked so
// in its metadata file, and every later check stops there.
bool VerifyBackupCopies(uint8_t* intact);

// Deletes the files the update added and copies every other backed-up file to a fresh temporary
// file in the install directory, one restore entry each, in record order. Stops at the first
// failure; the entries made so far stay in the list so that their temporary files can be deleted.
bool StageRestoreFiles(RollbackContext& context);

// Moves every staged file over its destination, waiting for and moving aside destinations in use
// and falling back to a verified overwriting copy. Every entry is tried; false when at least one
// could not be placed.
bool PlaceRestoredFiles(RollbackContext& context);

// Deletes the temporary files of the restore list that still exist (those placed by copying, or
// never placed), at restart when they cannot go now.
void DeleteStagedFiles(const RollbackContext& context);

}  // namespace mivra

#endif  // MIVRA_UPDATE_ROLLBACK_RESTORE_EXECUTOR_H_

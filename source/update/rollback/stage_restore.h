// The first steps of a rollback: every backup copy proved and copied next to its destination, in
// one pass over each copy.
#ifndef MIVRA_UPDATE_ROLLBACK_STAGE_RESTORE_H_
#define MIVRA_UPDATE_ROLLBACK_STAGE_RESTORE_H_

#include <string>
#include <vector>

#include "update/rollback/rollback_context.h"

namespace mivra {

// The one file whose restoration the product's service must hear of.
inline constexpr wchar_t kServiceWatchedFile[] = L"VENTRAEX.EXT";

enum class StagedRestore {
  kStaged,       // every copy proved and staged
  kDamaged,      // as VerifyBackupCopies finds a damaged backup (and marked so, where it marks)
  kUncheckable,  // as VerifyBackupCopies fails: the proof could not be carried out
  kFailed,       // a copy that proved sound could not be staged
};

// Verifies and stages the committed backup in record order, as VerifyBackupCopies and then the
// staging would, reading each copy once: its staged copy, read back, must have the digest of the
// record, and only when it has not is the copy itself digested, to tell damage from a failed
// staging. It deletes nothing in the install directory: the files the update added, as the records
// walked before it stopped name them, go to `addedFiles` in record order, for the caller to delete
// once the whole backup is proved (DeleteAddedFiles). Staged copies stay in the context's entries
// whatever the outcome, for the caller to delete when it does not place them.
StagedRestore StageVerifiedRestore(RollbackContext& context, std::vector<std::wstring>* addedFiles);

// Deletes the files that the update added (present or not).
void DeleteAddedFiles(const std::vector<std::wstring>& addedFiles);

}  // namespace mivra

#endif  // MIVRA_UPDATE_ROLLBACK_STAGE_RESTORE_H_

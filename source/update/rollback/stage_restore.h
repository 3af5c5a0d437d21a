// The second step of a rollback: every backed-up file copied next to its destination.
#ifndef MIVRA_UPDATE_ROLLBACK_STAGE_RESTORE_H_
#define MIVRA_UPDATE_ROLLBACK_STAGE_RESTORE_H_

#include "update/rollback/rollback_context.h"

namespace mivra {

// The one file whose restoration the product's service must hear of.
inline constexpr wchar_t kServiceWatchedFile[] = L"VENTRAEX.EXT";

// Deletes the files the update added and copies every other backed-up file to a fresh temporary
// file in the install directory, one restore entry each, in record order. Stops at the first
// failure; the entries made so far stay in the list so that their temporary files can be deleted.
bool StageRestoreFiles(RollbackContext& context);

}  // namespace mivra

#endif  // MIVRA_UPDATE_ROLLBACK_STAGE_RESTORE_H_

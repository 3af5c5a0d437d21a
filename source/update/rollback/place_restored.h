// The last step of a rollback: the staged files put in place, and what is left of them cleared.
#ifndef MIVRA_UPDATE_ROLLBACK_PLACE_RESTORED_H_
#define MIVRA_UPDATE_ROLLBACK_PLACE_RESTORED_H_

#include "update/rollback/rollback_context.h"

namespace mivra {

// Moves every staged file over its destination, waiting for and moving aside destinations in use
// and falling back to a verified overwriting copy. Every entry is tried; false when at least one
// could not be placed.
bool PlaceRestoredFiles(RollbackContext& context);

// Closes the staged copies still open and deletes the temporary files of the restore list that
// still exist (those placed by copying, or never placed), at restart when they cannot go now.
void DeleteStagedFiles(RollbackContext& context);

}  // namespace mivra

#endif  // MIVRA_UPDATE_ROLLBACK_PLACE_RESTORED_H_

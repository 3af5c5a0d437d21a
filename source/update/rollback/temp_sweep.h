// Clearing temporary files that an interrupted rollback or update left in the install directory.
#ifndef MIVRA_UPDATE_ROLLBACK_TEMP_SWEEP_H_
#define MIVRA_UPDATE_ROLLBACK_TEMP_SWEEP_H_

#include "update/rollback/rollback_context.h"

namespace mivra {

// Deletes every "kvupd*.tmp" file directly in the install directory, at restart when it cannot go
// now, except the staged copies of `staged` when given (this rollback's own). False when the
// directory or the search could not be had, or a path did not fit.
bool SweepTempFiles(const RollbackContext* staged = nullptr);

}  // namespace mivra

#endif  // MIVRA_UPDATE_ROLLBACK_TEMP_SWEEP_H_

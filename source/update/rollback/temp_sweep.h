// Clearing temporary files that an interrupted rollback or update left in the install directory.
#ifndef MIVRA_UPDATE_ROLLBACK_TEMP_SWEEP_H_
#define MIVRA_UPDATE_ROLLBACK_TEMP_SWEEP_H_

namespace mivra {

// Deletes every "kvupd*.tmp" file directly in the install directory, at restart when it cannot go
// now. False when the directory or the search could not be had, or a path did not fit.
bool SweepTempFiles();

}  // namespace mivra

#endif  // MIVRA_UPDATE_ROLLBACK_TEMP_SWEEP_H_

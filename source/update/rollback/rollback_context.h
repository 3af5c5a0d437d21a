// The state of one rollback: the files to put back, in the order of the backup's records, and
// whether the product's service is to be told.
#ifndef MIVRA_UPDATE_ROLLBACK_ROLLBACK_CONTEXT_H_
#define MIVRA_UPDATE_ROLLBACK_ROLLBACK_CONTEXT_H_

#include <cstdint>
#include <vector>

#include "update/frame/bounded_string.h"
#include "update/frame/scoped_handles.h"

namespace mivra {

// One file to put back.
struct RestoreEntry {
  wchar_t tempPath[kPathCapacity] = {};         // the staged copy in the install directory
  wchar_t destinationPath[kPathCapacity] = {};  // the install directory and the record's name
  uint8_t expectedDigest[16] = {};              // the record's digest
  uint32_t fileSize = 0;                        // the record's size, for the rebuilt database
  bool tempMoved = false;                       // the staged copy was moved into place: its name is free
  // The staged copy's own handle, kept open from its creation until it is placed, when the rename
  // goes through it: no open of its name again. Empty when it was not kept; it is then placed by name.
  ScopedHandle staged;
};

struct RollbackContext {
  bool notifyService = false;  // set when "VENTRAEX.EXT" is among the files to put back
  std::vector<RestoreEntry> entries;
};

}  // namespace mivra

#endif  // MIVRA_UPDATE_ROLLBACK_ROLLBACK_CONTEXT_H_

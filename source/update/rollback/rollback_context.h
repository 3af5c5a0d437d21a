// The state of one rollback: the files to put back, in the order of the backup's records, and
// whether the product's service is to be told.
#ifndef MIVRA_UPDATE_ROLLBACK_ROLLBACK_CONTEXT_H_
#define MIVRA_UPDATE_ROLLBACK_ROLLBACK_CONTEXT_H_

#include <cstdint>

#include "update/frame/bounded_string.h"

namespace mivra {

// One file to put back. Allocated zero-filled by AppendRestoreEntry.
struct RestoreEntry {
  wchar_t tempPath[kPathCapacity];         // the staged copy in the install directory
  wchar_t destinationPath[kPathCapacity];  // the install directory and the record's name
  uint8_t expectedDigest[16];              // the record's digest
  uint32_t fileSize;                       // the record's size, for the rebuilt database
  bool tempMoved;                          // the staged copy was moved into place: its name is free
  RestoreEntry* next;
};

// Owns its restore list: every entry is released when the context goes, on every path out of
// the rollback.
struct RollbackContext {
  RollbackContext() = default;
  ~RollbackContext() { FreeRestoreList(); }
  RollbackContext(const RollbackContext&) = delete;
  RollbackContext& operator=(const RollbackContext&) = delete;

  void FreeRestoreList();
  bool empty() const { return head == nullptr; }

  uint8_t notifyService = 0;  // set when "VENTRAEX.EXT" is among the files to put back
  RestoreEntry* head = nullptr;
  RestoreEntry* tail = nullptr;
};

// Appends a zero-filled entry at the tail of the list given by the addresses of its head and
// tail. Null when either address is null or memory runs short.
RestoreEntry* AppendRestoreEntry(RestoreEntry** head, RestoreEntry** tail);

}  // namespace mivra

#endif  // MIVRA_UPDATE_ROLLBACK_ROLLBACK_CONTEXT_H_

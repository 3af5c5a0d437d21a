#include "update/rollback/rollback_context.h"

#include <cstdlib>

namespace mivra {

void RollbackContext::FreeRestoreList() {
  while (head) {
    RestoreEntry* next = head->next;
    std::free(head);
    head = next;
  }
  tail = nullptr;
}

RestoreEntry* AppendRestoreEntry(RestoreEntry** head, RestoreEntry** tail) {
  if (!head || !tail) return nullptr;
  auto* entry = static_cast<RestoreEntry*>(std::calloc(1, sizeof(RestoreEntry)));
  if (!entry) return nullptr;
  if (!*head) {
    *head = entry;
  } else {
    (*tail)->next = entry;
  }
  *tail = entry;
  return entry;
}

}  // namespace mivra

// The chain of update configuration records: one node per distinct component identifier, in file
// order. The list owns its nodes, so a chain handed to a caller is released by scope alone.
#ifndef MIVRA_UPDATE_MANIFEST_CONFIG_LINK_LIST_H_
#define MIVRA_UPDATE_MANIFEST_CONFIG_LINK_LIST_H_

#include <cstddef>
#include <cstdint>

namespace mivra {

inline constexpr size_t kUpdateConfigRecordSize = 540;
inline constexpr size_t kUpdateConfigRecordIdOffset = 0;
inline constexpr size_t kUpdateConfigEnabledOffset = 4;

// Returned through Insert's existing-index out when the record was added (or could not be).
inline constexpr uint32_t kNoExistingRecord = 0xFFFFFFFFu;

struct UpdateConfigNode {
  uint8_t record[kUpdateConfigRecordSize];  // decoded
  uint32_t recordIndex;                     // zero-based position of the record in the file
  UpdateConfigNode* next;

  uint32_t RecordId() const;
  // Exactly 1 means the component's list file is read; anything else skips it.
  uint32_t Enabled() const;
};

class cLinkList {
 public:
  cLinkList() = default;
  ~cLinkList() { Clear(); }
  cLinkList(cLinkList&& other) noexcept;
  cLinkList& operator=(cLinkList&& other) noexcept;
  cLinkList(const cLinkList&) = delete;
  cLinkList& operator=(const cLinkList&) = delete;

  // Appends a copy of `node` (its next is ignored) unless a node with the same record id is
  // already held; then `existingIndex` receives that node's recordIndex and nothing is added.
  // Otherwise `existingIndex` is kNoExistingRecord. 1 on success; 0 for a null argument or a
  // failed allocation.
  int Insert(const UpdateConfigNode* node, uint32_t* existingIndex);

  // Releases every node.
  void Clear();

  uint32_t count() const { return count_; }
  const UpdateConfigNode* head() const { return head_; }

 private:
  uint32_t count_ = 0;
  UpdateConfigNode* head_ = nullptr;
  UpdateConfigNode* tail_ = nullptr;
};

}  // namespace mivra

#endif  // MIVRA_UPDATE_MANIFEST_CONFIG_LINK_LIST_H_

#include "update/manifest/config_link_list.h"

#include <cstring>
#include <new>
#include <utility>

#include "update/frame/byte_codec.h"

namespace mivra {

uint32_t UpdateConfigNode::RecordId() const { return ReadLe32(record + kUpdateConfigRecordIdOffset); }

uint32_t UpdateConfigNode::Enabled() const { return ReadLe32(record + kUpdateConfigEnabledOffset); }

cLinkList::cLinkList(cLinkList&& other) noexcept
    : count_(std::exchange(other.count_, 0)),
      head_(std::exchange(other.head_, nullptr)),
      tail_(std::exchange(other.tail_, nullptr)) {}

cLinkList& cLinkList::operator=(cLinkList&& other) noexcept {
  if (this != &other) {
    Clear();
    count_ = std::exchange(other.count_, 0);
    head_ = std::exchange(other.head_, nullptr);
    tail_ = std::exchange(other.tail_, nullptr);
  }
  return *this;
}

int cLinkList::Insert(const UpdateConfigNode* node, uint32_t* existingIndex) {
  if (!node || !existingIndex) return 0;
  const uint32_t id = node->RecordId();
  for (const UpdateConfigNode* held = head_; held; held = held->next) {
    if (held->RecordId() == id) {
      *existingIndex = held->recordIndex;
      return 1;
    }
  }
  *existingIndex = kNoExistingRecord;
  UpdateConfigNode* added = new (std::nothrow) UpdateConfigNode();
  if (!added) return 0;
  std::memcpy(added->record, node->record, sizeof(added->record));
  added->recordIndex = node->recordIndex;
  added->next = nullptr;
  if (tail_) {
    tail_->next = added;
  } else {
    head_ = added;
  }
  tail_ = added;
  ++count_;
  return 1;
}

void cLinkList::Clear() {
  // Iteratively, so that a long chain cannot exhaust the stack.
  while (head_) delete std::exchange(head_, head_->next);
  tail_ = nullptr;
  count_ = 0;
}

}  // namespace mivra

// The bytes of a component list file (<id>_compns.lst): an 80-byte plain header ("INXF", two
// version bytes, the company string, a byte-sum checksum of the body, the entry count) and a body
// whose bytes are stored rotated left by 3 bits, holding entries of 40 fixed bytes and a name.
#ifndef MIVRA_UPDATE_MANIFEST_COMPONENT_LIST_PARSER_H_
#define MIVRA_UPDATE_MANIFEST_COMPONENT_LIST_PARSER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

namespace mivra {

inline constexpr size_t kComponentListHeaderSize = 80;
inline constexpr size_t kComponentEntryFixedSize = 40;
inline constexpr size_t kComponentNameFieldSize = 260;  // 259 characters and the NUL
inline constexpr size_t kComponentSlotSize = kComponentEntryFixedSize + kComponentNameFieldSize;

inline constexpr size_t kComponentIncludedOffset = 0;
inline constexpr size_t kComponentNameLengthOffset = 28;

// The decoded entries of one list, one 300-byte slot each: the entry's fixed part as decoded,
// then its name, NUL-terminated, the rest of the slot zero. Owns the slot array.
class ComponentEntries {
 public:
  ComponentEntries() = default;
  ComponentEntries(std::unique_ptr<uint8_t[]> slots, uint32_t count)
      : slots_(std::move(slots)), count_(count) {}

  uint32_t count() const { return count_; }
  // Null when the list has no entries.
  const uint8_t* slots() const { return slots_.get(); }
  const uint8_t* slot(uint32_t i) const { return slots_.get() + size_t{i} * kComponentSlotSize; }
  // Non-zero: the entry's name is collected.
  uint32_t Included(uint32_t i) const;
  const char* Name(uint32_t i) const;

 private:
  std::unique_ptr<uint8_t[]> slots_;
  uint32_t count_ = 0;
};

// Validates and decodes a whole list file held in memory. False, leaving `entries` as it was,
// when the file is too short, its header or checksum is wrong, an entry runs past the end, or a
// name is not NUL-terminated within its length or is longer than 259 characters.
bool ParseComponentList(const uint8_t* data, size_t size, ComponentEntries* entries);

}  // namespace mivra

#endif  // MIVRA_UPDATE_MANIFEST_COMPONENT_LIST_PARSER_H_

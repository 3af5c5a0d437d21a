#include "update/manifest/component_list_parser.h"

#include <cstring>
#include <new>

namespace mivra {
namespace {

constexpr uint8_t kMagic[4] = {'I', 'N', 'X', 'F'};
constexpr size_t kVersionOffset = 4;
constexpr size_t kCompanyOffset = 6;
constexpr char kCompany[] = "Kestrivane Technologies (P) Ltd.";
constexpr size_t kCompanySize = sizeof(kCompany) - 1;
static_assert(kCompanySize == 32);
constexpr size_t kChecksumOffset = 56;
constexpr size_t kEntryCountOffset = 76;

// The shortest entry that can be valid: the fixed part and a name of only its NUL.
constexpr size_t kMinEntrySize = kComponentEntryFixedSize + 1;

uint32_t ReadLe32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

uint8_t Decode(uint8_t stored) { return static_cast<uint8_t>((stored >> 3) | (stored << 5)); }

bool HeaderValid(const uint8_t* data) {
  return std::memcmp(data, kMagic, sizeof(kMagic)) == 0 && data[kVersionOffset] == 1 &&
         data[kVersionOffset + 1] == 1 && std::memcmp(data + kCompanyOffset, kCompany, kCompanySize) == 0;
}

uint32_t BodySum(const uint8_t* data, size_t size) {
  uint32_t sum = 0;
  for (size_t i = kComponentListHeaderSize; i < size; ++i) sum += data[i];
  return sum;
}

// Decodes the entry at `p` into `slot`; the next entry's offset goes to `next`. Every bound is
// checked as a remaining length, so no sum can overflow.
bool DecodeEntry(const uint8_t* data, size_t size, size_t p, uint8_t* slot, size_t* next) {
  if (size - p < kComponentEntryFixedSize) return false;
  for (size_t k = 0; k < kComponentEntryFixedSize; ++k) slot[k] = Decode(data[p + k]);
  const uint32_t nameLength = ReadLe32(slot + kComponentNameLengthOffset);
  const size_t nameStart = p + kComponentEntryFixedSize;
  if (size - nameStart < nameLength) return false;
  // The name must end within its own field and fit the slot; a longer one is not cut, the list
  // is refused.
  const size_t scan = nameLength < kComponentNameFieldSize ? nameLength : kComponentNameFieldSize;
  uint8_t* name = slot + kComponentEntryFixedSize;
  for (size_t k = 0; k < scan; ++k) {
    const uint8_t c = Decode(data[nameStart + k]);
    if (c == 0) {
      *next = nameStart + nameLength;
      return true;
    }
    name[k] = c;
  }
  return false;
}

}  // namespace

uint32_t ComponentEntries::Included(uint32_t i) const { return ReadLe32(slot(i) + kComponentIncludedOffset); }

const char* ComponentEntries::Name(uint32_t i) const {
  return reinterpret_cast<const char*>(slot(i) + kComponentEntryFixedSize);
}

bool ParseComponentList(const uint8_t* data, size_t size, ComponentEntries* entries) {
  if (!data || !entries || size < kComponentListHeaderSize) return false;
  if (!HeaderValid(data)) return false;
  if (BodySum(data, size) != ReadLe32(data + kChecksumOffset)) return false;
  const uint32_t count = ReadLe32(data + kEntryCountOffset);
  if (count == 0) {
    *entries = ComponentEntries();
    return true;
  }
  // A count the body cannot hold would fail at its first missing entry; refusing it here keeps a
  // forged count from sizing a huge slot array.
  if (count > (size - kComponentListHeaderSize) / kMinEntrySize) return false;
  std::unique_ptr<uint8_t[]> slots(new (std::nothrow) uint8_t[size_t{count} * kComponentSlotSize]());
  if (!slots) return false;
  size_t p = kComponentListHeaderSize;
  for (uint32_t i = 0; i < count; ++i) {
    if (!DecodeEntry(data, size, p, slots.get() + size_t{i} * kComponentSlotSize, &p)) return false;
  }
  *entries = ComponentEntries(std::move(slots), count);
  return true;
}

}  // namespace mivra

#include "update/manifest/component_list_parser.h"

#include <cstring>
#include <new>
#include <utility>

#include "update/frame/byte_codec.h"

namespace mivra {
namespace {

constexpr size_t kVersionOffset = 4;
constexpr size_t kCompanyOffset = 6;
constexpr char kCompany[] = "Kestrivane Technologies (P) Ltd.";
constexpr size_t kCompanySize = sizeof(kCompany) - 1;
static_assert(kCompanySize == 32);
constexpr size_t kChecksumOffset = 56;
constexpr size_t kEntryCountOffset = 76;

// The shortest entry that can be valid: the fixed part and a name of only its NUL.
constexpr size_t kMinEntrySize = kComponentEntryFixedSize + 1;

uint8_t Decode(uint8_t stored) { return static_cast<uint8_t>((stored >> 3) | (stored << 5)); }

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

ComponentListCheck ExamineComponentList(const uint8_t* data, size_t size, ComponentEntries* entries) {
  ComponentListCheck check;
  if (!data || size < kComponentListHeaderSize) return check;
  check.headerComplete = true;
  check.magicMatches = std::memcmp(data, kComponentListMagic, sizeof(kComponentListMagic)) == 0;
  check.version[0] = data[kVersionOffset];
  check.version[1] = data[kVersionOffset + 1];
  check.versionMatches = check.version[0] == 1 && check.version[1] == 1;
  check.companyMatches = std::memcmp(data + kCompanyOffset, kCompany, kCompanySize) == 0;
  check.storedChecksum = ReadLe32(data + kChecksumOffset);
  check.computedChecksum = BodySum(data, size);
  check.entryCount = ReadLe32(data + kEntryCountOffset);
  check.endOfEntries = kComponentListHeaderSize;

  // A count the body cannot hold fails at its first missing entry; bounding the slots by what the
  // body can hold keeps a forged count from sizing a huge array.
  const size_t room = (size - kComponentListHeaderSize) / kMinEntrySize;
  const uint32_t slotsWanted = check.entryCount < room ? check.entryCount : static_cast<uint32_t>(room);
  std::unique_ptr<uint8_t[]> slots;
  if (slotsWanted > 0) {
    slots.reset(new (std::nothrow) uint8_t[size_t{slotsWanted} * kComponentSlotSize]());
    if (!slots) {
      check.allocationFailed = true;
      return check;
    }
  }
  size_t p = kComponentListHeaderSize;
  uint32_t decoded = 0;
  while (decoded < slotsWanted && DecodeEntry(data, size, p, slots.get() + size_t{decoded} * kComponentSlotSize, &p)) {
    ++decoded;
  }
  check.entriesDecoded = decoded;
  check.endOfEntries = p;
  if (entries) *entries = decoded > 0 ? ComponentEntries(std::move(slots), decoded) : ComponentEntries();
  return check;
}

bool ParseComponentList(const uint8_t* data, size_t size, ComponentEntries* entries) {
  if (!entries) return false;
  ComponentEntries decoded;
  if (!ExamineComponentList(data, size, &decoded).valid()) return false;
  *entries = std::move(decoded);
  return true;
}

}  // namespace mivra

// The rollback journal of a metadata file, as bytes: what a change is about to overwrite (the old
// length of the file and the old bytes of a few ranges), guarded by its own CRC-32 so that a journal
// cut off while it was being written is told from a complete one. Byte-level code only.
//
//   0  8  magic "KVJRNL01"
//   8  4  CRC-32 of every byte from offset 12 to the end of the journal
//  12  4  length of the journal in bytes
//  16  8  old length of the file; all bits set when the file did not exist
//  24  4  number of saved ranges
//  28  .. per range: offset (8), length (4), the old bytes
#ifndef MIVRA_UPDATE_STORE_JOURNAL_FORMAT_H_
#define MIVRA_UPDATE_STORE_JOURNAL_FORMAT_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mivra {

inline constexpr size_t kJournalMagicSize = 8;
inline constexpr uint64_t kJournalFileAbsent = UINT64_MAX;

struct SavedBytes {
  uint64_t offset = 0;
  std::vector<uint8_t> bytes;
};

struct JournalImage {
  // What putting the journal back sets the file's length to; kJournalFileAbsent deletes the file.
  uint64_t oldLength = 0;
  std::vector<SavedBytes> ranges;
};

std::vector<uint8_t> EncodeJournal(const JournalImage& image);

// False for anything but a complete journal: too short, another magic, a length past the bytes at
// hand, a CRC mismatch or ranges that do not add up. Bytes after the stated length are ignored.
bool DecodeJournal(const uint8_t* bytes, size_t length, JournalImage* image);

}  // namespace mivra

#endif  // MIVRA_UPDATE_STORE_JOURNAL_FORMAT_H_

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
#include <string>
#include <string_view>
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

// The journal beside the file at `path`: its extension replaced by ".jnl" ("bkmdata.jnl" beside
// "bkmdata.dat"), or ".jnl" added to a name without one. '\\' and '/' both end a folder.
std::wstring JournalPathOf(std::wstring_view path);

// A file that a journal is put back into, one step at a time.
class JournalTarget {
 public:
  virtual ~JournalTarget() = default;
  // The change created the file: it goes.
  virtual bool RemoveFile() = 0;
  virtual bool Write(uint64_t offset, const uint8_t* bytes, size_t length) = 0;
  virtual bool SetLength(uint64_t length) = 0;
};

// Puts `image` back into `target`, as every recovery of a journal does: a file the change created
// is removed; otherwise every saved range is written back at its offset, in order, and the length
// is set to the old one. False at the first step that fails.
bool PutJournalBack(const JournalImage& image, JournalTarget& target);

enum class JournalEffect {
  kRestored,  // `bytes` hold the file as it was before the change
  kRemoved,   // the change created the file: putting it back removes it, and `bytes` are emptied
  kFailed,    // a step cannot be taken (the file would grow past 2 GiB): `bytes` are as far as it got
};

// The same on a file's bytes in memory: what the next open of the file will find once it has
// put the journal back.
JournalEffect ApplyJournalToBytes(const JournalImage& image, std::vector<uint8_t>* bytes);

}  // namespace mivra

#endif  // MIVRA_UPDATE_STORE_JOURNAL_FORMAT_H_

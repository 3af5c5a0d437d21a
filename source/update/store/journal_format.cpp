#include "update/store/journal_format.h"

#include <cstdint>
#include <cstring>

#include "update/digest/crc32.h"
#include "update/frame/byte_codec.h"

namespace mivra {
namespace {

constexpr char kJournalMagic[kJournalMagicSize + 1] = "KVJRNL01";
constexpr size_t kCrcOffset = 8;
constexpr size_t kLengthOffset = 12;
constexpr size_t kOldLengthOffset = 16;
constexpr size_t kRangeCountOffset = 24;
constexpr size_t kFixedSize = 28;
constexpr size_t kRangeHeaderSize = 12;

}  // namespace

std::vector<uint8_t> EncodeJournal(const JournalImage& image) {
  size_t size = kFixedSize;
  for (const SavedBytes& range : image.ranges) size += kRangeHeaderSize + range.bytes.size();
  std::vector<uint8_t> bytes(size);
  std::memcpy(bytes.data(), kJournalMagic, kJournalMagicSize);
  WriteLe32(bytes.data() + kLengthOffset, static_cast<uint32_t>(size));
  WriteLe64(bytes.data() + kOldLengthOffset, image.oldLength);
  WriteLe32(bytes.data() + kRangeCountOffset, static_cast<uint32_t>(image.ranges.size()));
  uint8_t* p = bytes.data() + kFixedSize;
  for (const SavedBytes& range : image.ranges) {
    WriteLe64(p, range.offset);
    WriteLe32(p + 8, static_cast<uint32_t>(range.bytes.size()));
    if (!range.bytes.empty()) std::memcpy(p + kRangeHeaderSize, range.bytes.data(), range.bytes.size());
    p += kRangeHeaderSize + range.bytes.size();
  }
  WriteLe32(bytes.data() + kCrcOffset, Crc32(bytes.data() + kLengthOffset, size - kLengthOffset));
  return bytes;
}

bool DecodeJournal(const uint8_t* bytes, size_t length, JournalImage* image) {
  if (!bytes || !image || length < kFixedSize) return false;
  if (std::memcmp(bytes, kJournalMagic, kJournalMagicSize) != 0) return false;
  const size_t size = ReadLe32(bytes + kLengthOffset);
  if (size < kFixedSize || size > length) return false;
  if (Crc32(bytes + kLengthOffset, size - kLengthOffset) != ReadLe32(bytes + kCrcOffset)) return false;

  JournalImage decoded;
  decoded.oldLength = ReadLe64(bytes + kOldLengthOffset);
  const uint32_t count = ReadLe32(bytes + kRangeCountOffset);
  size_t at = kFixedSize;
  for (uint32_t i = 0; i < count; ++i) {
    if (size - at < kRangeHeaderSize) return false;
    SavedBytes range;
    range.offset = ReadLe64(bytes + at);
    const size_t rangeLength = ReadLe32(bytes + at + 8);
    at += kRangeHeaderSize;
    if (size - at < rangeLength) return false;
    range.bytes.assign(bytes + at, bytes + at + rangeLength);
    at += rangeLength;
    decoded.ranges.push_back(std::move(range));
  }
  if (at != size) return false;
  *image = std::move(decoded);
  return true;
}

std::wstring JournalPathOf(std::wstring_view path) {
  const size_t folderEnd = path.find_last_of(L"\\/");
  const size_t dot = path.find_last_of(L'.');
  const bool hasExtension = dot != std::wstring_view::npos && (folderEnd == std::wstring_view::npos || dot > folderEnd);
  std::wstring journal(hasExtension ? path.substr(0, dot) : path);
  journal += L".jnl";
  return journal;
}

bool PutJournalBack(const JournalImage& image, JournalTarget& target) {
  if (image.oldLength == kJournalFileAbsent) return target.RemoveFile();
  for (const SavedBytes& range : image.ranges) {
    if (!target.Write(range.offset, range.bytes.data(), range.bytes.size())) return false;
  }
  return target.SetLength(image.oldLength);
}

namespace {

// No metadata file the store accepts reaches 2 GiB; a journal that would make one larger is not
// put back in memory.
constexpr uint64_t kLargestBytes = INT32_MAX;

// A file's bytes in memory, grown with zeros where a write or a length reaches past them, as a
// file is.
class BytesTarget : public JournalTarget {
 public:
  explicit BytesTarget(std::vector<uint8_t>* bytes) : bytes_(bytes) {}
  bool RemoveFile() override {
    bytes_->clear();
    removed_ = true;
    return true;
  }
  bool Write(uint64_t offset, const uint8_t* bytes, size_t length) override {
    if (offset > kLargestBytes || length > kLargestBytes - offset) return false;
    const size_t end = static_cast<size_t>(offset + length);
    if (bytes_->size() < end) bytes_->resize(end, 0);
    if (length > 0) std::memcpy(bytes_->data() + offset, bytes, length);
    return true;
  }
  bool SetLength(uint64_t length) override {
    if (length > kLargestBytes) return false;
    bytes_->resize(static_cast<size_t>(length), 0);
    return true;
  }
  bool removed() const { return removed_; }

 private:
  std::vector<uint8_t>* bytes_;
  bool removed_ = false;
};

}  // namespace

JournalEffect ApplyJournalToBytes(const JournalImage& image, std::vector<uint8_t>* bytes) {
  BytesTarget target(bytes);
  if (!PutJournalBack(image, target)) return JournalEffect::kFailed;
  return target.removed() ? JournalEffect::kRemoved : JournalEffect::kRestored;
}

}  // namespace mivra

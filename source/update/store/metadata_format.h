// The shape both metadata files share (bkmdata.dat and rbmdata.dat): a plain header with magic,
// version, company text and the CRC-32 of the record area; a plain state block outside the CRC;
// fixed-size records stored scrambled. The two files differ only in the sizes and magic below.
// Byte-level code only: no platform calls.
#ifndef MIVRA_UPDATE_STORE_METADATA_FORMAT_H_
#define MIVRA_UPDATE_STORE_METADATA_FORMAT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "update/frame/byte_codec.h"
#include "update/frame/system_time.h"

namespace mivra {

// Which file a metadata object holds, and so which codec may read and write it. An object that is
// not open has none.
enum class MdataKind { kNone, kBackup, kRollback };

struct MetadataFormat {
  MdataKind kind;          // bound to the object that opens a file of this format
  const char* magic;       // six ASCII bytes, no terminator in the file
  size_t headerSize;       // the state block follows the header directly
  size_t stateSize;
  size_t recordSize;
  size_t recordNameOffset; // where the 260-character name lies inside a plain record

  size_t stateOffset() const { return headerSize; }
  size_t recordAreaOffset() const { return headerSize + stateSize; }
  uint64_t recordOffset(uint32_t index) const { return recordAreaOffset() + uint64_t{recordSize} * index; }
};

inline constexpr size_t kMagicSize = 6;
inline constexpr size_t kVersionOffset = 6;
inline constexpr size_t kCompanyOffset = 8;
inline constexpr size_t kCompanySize = 53;
inline constexpr size_t kHeaderCrcOffset = 61;
inline constexpr uint8_t kMetadataVersion = 1;
inline constexpr char kMetadataCompany[] = "Kestrivane Technologies Pvt. Ltd.";

// Both state blocks begin with the record count.
inline constexpr size_t kStateRecordCountOffset = 0;

// Names are 260 UTF-16 code units, NUL included.
inline constexpr size_t kRecordNameChars = 260;
inline constexpr size_t kRecordNameBytes = kRecordNameChars * 2;

// Every record byte is stored as (plain - 15) XOR 7 and read back as (stored XOR 7) + 15.
inline constexpr uint8_t ScrambleByte(uint8_t plain) { return static_cast<uint8_t>((plain - 15) ^ 7); }
inline constexpr uint8_t UnscrambleByte(uint8_t stored) { return static_cast<uint8_t>((stored ^ 7) + 15); }
void ScrambleBytes(uint8_t* bytes, size_t length);
void UnscrambleBytes(uint8_t* bytes, size_t length);

SystemTime16 ReadSystemTime(const uint8_t* p);
void WriteSystemTime(uint8_t* p, const SystemTime16& time);

// The name a record's 260-unit name field holds, up to its NUL, and the same as a wide string.
inline std::u16string RecordName(const char16_t* field) { return Utf16FieldName(field, kRecordNameChars); }
inline std::wstring RecordFieldName(const char16_t* field) {
  const std::u16string name = RecordName(field);
  return std::wstring(name.begin(), name.end());
}

// The records a record area of `areaLength` bytes holds: its whole records only. The CRC guards the
// area, the record count beside it in the state block is not guarded, so every reader takes the
// records from the length, and a part of a record at the end is no record.
inline uint64_t WholeRecords(const MetadataFormat& format, uint64_t areaLength) {
  return areaLength / format.recordSize;
}

// The name in one stored (scrambled) record.
std::wstring DecodeStoredRecordName(const MetadataFormat& format, const uint8_t* stored);

// The names of a file's records in record order, a name's position being its record's index. They
// lie back to back in one buffer: every name of a file is loaded at each open, and an allocation
// (and a release) of its own for each cost more than reading it.
class RecordNames {
 public:
  size_t size() const { return ends_.size(); }
  bool empty() const { return ends_.empty(); }
  std::wstring_view operator[](size_t index) const {
    const size_t begin = index == 0 ? 0 : ends_[index - 1];
    return std::wstring_view(units_).substr(begin, ends_[index] - begin);
  }
  void clear() {
    units_.clear();
    ends_.clear();
  }
  void Reserve(size_t names) { ends_.reserve(names); }
  // Each change either takes effect whole or, when memory runs out, throws and leaves the list as
  // it was.
  void Append(std::wstring_view name);
  // The name in one stored (scrambled) record, as DecodeStoredRecordName reads it.
  void AppendStored(const MetadataFormat& format, const uint8_t* stored);
  // Replaces the name at `index`; nothing when there is none.
  void Replace(size_t index, std::wstring_view name);
  std::vector<std::wstring> ToVector() const;

 private:
  // So that the end pushed after a name has been added cannot fail.
  void MakeRoomForOne();

  std::wstring units_;
  std::vector<size_t> ends_;  // where each name ends in units_
};

// The names of the whole records of a stored record area, in record order.
RecordNames DecodeRecordNames(const MetadataFormat& format, const uint8_t* area, size_t length);

// The header of a new file: magic, version 1, the company text, CRC 0, everything else 0.
std::vector<uint8_t> BuildNewHeader(const MetadataFormat& format);

// What the bytes of a whole metadata file show, for the stores' validation and for inspection.
struct MetadataVerdict {
  bool headerComplete = false;  // the whole header and state block are there
  bool magicMatches = false;
  bool crcMatches = false;      // stored CRC equals the CRC of the stored record area
  uint32_t storedCrc = 0;
  uint32_t computedCrc = 0;
  uint32_t recordCount = 0;     // from the state block
  uint64_t recordsInFile = 0;   // whole records the file length holds
  bool lengthExact = false;     // the record area is a whole number of records
  // The CRC does not match, but the file holds more than the records the count names, and the CRC
  // is theirs: an append that never reached its commit point (CountedAreaLength).
  bool unfinishedAppend = false;
  bool valid() const { return headerComplete && magicMatches && crcMatches; }
};
MetadataVerdict ExamineMetadataFile(const MetadataFormat& format, const uint8_t* bytes, size_t length);

// An append writes its record past the end and flushes it, then writes the CRC and the count, which
// lie together in the file's first sector, and flushes that: the commit point. Until that sector
// lands, the header still describes the records before the new one. True when a record area of
// `areaLength` bytes holds more than the `recordCount` records the count names, with `*counted`
// their length: if the stored CRC is theirs, the rest is an append that never reached its commit
// point, and the file is cut back to them.
bool CountedAreaLength(const MetadataFormat& format, uint32_t recordCount, uint64_t areaLength, uint64_t* counted);

// The record count the state block in `front` (a file's bytes up to its record area) holds.
inline uint32_t StoredRecordCount(const MetadataFormat& format, const uint8_t* front) {
  return ReadLe32(front + format.stateOffset() + kStateRecordCountOffset);
}

// Where a metadata file's first sector ends: what a disk writes whole or not at all.
inline constexpr size_t kSectorSize = 512;

}  // namespace mivra

#endif  // MIVRA_UPDATE_STORE_METADATA_FORMAT_H_

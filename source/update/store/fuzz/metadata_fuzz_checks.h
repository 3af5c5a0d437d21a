// What the metadata fuzz targets check of one input, for bkmdata.dat and rbmdata.dat alike: the
// promises the shared record store makes of a whole file. Byte-level code only.
#ifndef MIVRA_UPDATE_STORE_FUZZ_METADATA_FUZZ_CHECKS_H_
#define MIVRA_UPDATE_STORE_FUZZ_METADATA_FUZZ_CHECKS_H_

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "update/digest/crc32.h"
#include "update/frame/file_name.h"
#include "update/store/metadata_format.h"

namespace mivra {

inline void Require(bool condition) {
  if (!condition) std::abort();
}

// Validates one whole file of `format`, loads its names and decodes every record; a broken promise
// aborts. `nameOf(stored)` decodes one stored record with the file's own codec and gives its name.
// True when the file is valid.
template <typename NameOf>
bool FuzzMetadata(const MetadataFormat& format, const uint8_t* data, size_t size, NameOf nameOf) {
  const MetadataVerdict verdict = ExamineMetadataFile(format, data, size);
  const size_t areaOffset = format.recordAreaOffset();
  Require(verdict.headerComplete == (size >= areaOffset));
  if (!verdict.headerComplete) {
    Require(!verdict.valid() && verdict.recordsInFile == 0);
    return false;
  }
  const size_t area = size - areaOffset;
  // One reading of the records for every reader: the whole records, whatever the count says.
  Require(verdict.recordsInFile == area / format.recordSize);
  Require(verdict.lengthExact == (area % format.recordSize == 0));
  Require(verdict.computedCrc == Crc32(data + areaOffset, area));
  // An append cut off before its commit point is told by the CRC of the counted records alone; the
  // file cut back to them is whole again.
  if (verdict.unfinishedAppend) {
    const uint64_t counted = uint64_t{verdict.recordCount} * format.recordSize;
    Require(!verdict.crcMatches && counted < area);
    Require(Crc32(data + areaOffset, static_cast<size_t>(counted)) == verdict.storedCrc);
    Require(ExamineMetadataFile(format, data, areaOffset + static_cast<size_t>(counted)).valid());
  }
  if (!verdict.valid()) return false;

  const RecordNames names = DecodeRecordNames(format, data + areaOffset, area);
  Require(names.size() == verdict.recordsInFile);
  for (size_t i = 0; i < names.size(); ++i) {
    const std::wstring decoded = nameOf(data + format.recordOffset(static_cast<uint32_t>(i)));
    // The name list and the record decoder agree, and no name is read past its field: one that
    // fills the field (no NUL, which the library never writes) is read whole and no further.
    Require(decoded == names[i]);
    Require(names[i].size() <= kRecordNameChars);
    Require(names[i].find(L'\0') == std::wstring::npos);
    // A plain name can be joined to a folder: it names no other folder, stream or device.
    if (IsPlainFileName(names[i])) {
      Require(!names[i].empty() && names[i].find_first_of(L"\\/:*?<>|\"") == std::wstring::npos);
      Require(names[i].back() != L'.' && names[i].back() != L' ');
    }
  }
  return true;
}

// The name of one stored record as the file's codec reads it, once the codec has proved that
// decoding loses nothing: the record encodes back to the bytes it came from.
template <typename Record, size_t kRecordSize, typename Decode, typename Encode>
std::wstring RoundTripName(const uint8_t* stored, Decode decode, Encode encode) {
  Record record;
  decode(stored, &record);
  uint8_t again[kRecordSize];
  encode(record, again);
  for (size_t i = 0; i < kRecordSize; ++i) Require(again[i] == stored[i]);
  return RecordFieldName(record.fileName);
}

}  // namespace mivra

#endif  // MIVRA_UPDATE_STORE_FUZZ_METADATA_FUZZ_CHECKS_H_

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
  if (!verdict.valid()) return false;

  const std::vector<std::wstring> names = DecodeRecordNames(format, data + areaOffset, area);
  Require(names.size() == verdict.recordsInFile);
  for (size_t i = 0; i < names.size(); ++i) {
    const std::wstring decoded = nameOf(data + format.recordOffset(static_cast<uint32_t>(i)));
    // The name list and the record decoder agree, and no name fills its field without its NUL.
    Require(decoded == names[i]);
    Require(names[i].size() < kRecordNameChars);
    Require(names[i].find(L'\0') == std::wstring::npos);
    // A plain name can be joined to a folder: it names no other folder, stream or device.
    if (IsPlainFileName(names[i])) {
      Require(!names[i].empty() && names[i].find_first_of(L"\\/:*?<>|\"") == std::wstring::npos);
      Require(names[i].back() != L'.' && names[i].back() != L' ');
    }
  }
  return true;
}

}  // namespace mivra

#endif  // MIVRA_UPDATE_STORE_FUZZ_METADATA_FUZZ_CHECKS_H_

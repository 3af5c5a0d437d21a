#include "update/rollbackdb/fuzz/metadata_fuzz_entries.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "update/backup/bk_record_layout.h"
#include "update/store/metadata_format.h"
#include "update/digest/crc32.h"
#include "update/frame/file_name.h"
#include "update/rollbackdb/rb_record_layout.h"

namespace mivra {
namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

// The promises both files share; `nameOf(stored, &name)` decodes one stored record and gives its
// name as the record decoder reads it.
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

}  // namespace

bool FuzzBkMdata(const uint8_t* data, size_t size) {
  return FuzzMetadata(kBkMdataFormat, data, size, [](const uint8_t* stored) {
    BkMdataRecord record;
    DecodeBkRecord(stored, &record);
    uint8_t again[kBkRecordSize];
    EncodeBkRecord(record, again);
    // Decoding loses nothing: the record encodes back to the bytes it came from.
    for (size_t i = 0; i < kBkRecordSize; ++i) Require(again[i] == stored[i]);
    return RecordFieldName(record.fileName);
  });
}

bool FuzzRBMdata(const uint8_t* data, size_t size) {
  return FuzzMetadata(kRBMdataFormat, data, size, [](const uint8_t* stored) {
    RBMdataRecord record;
    DecodeRBRecord(stored, &record);
    uint8_t again[kRBRecordSize];
    EncodeRBRecord(record, again);
    for (size_t i = 0; i < kRBRecordSize; ++i) Require(again[i] == stored[i]);
    return RecordFieldName(record.fileName);
  });
}

}  // namespace mivra

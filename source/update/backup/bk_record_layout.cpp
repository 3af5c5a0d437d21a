#include "update/backup/bk_record_layout.h"

#include <cstring>

namespace mivra {

void EncodeBkRecord(const BkMdataRecord& record, uint8_t* stored) {
  std::memset(stored, 0, kBkRecordSize);
  WriteLe32(stored + kBkRecordSizeOffset, record.fileSizeLow);
  WriteLe32(stored + kBkRecordFlagsOffset, record.flags);
  WriteSystemTime(stored + kBkRecordTimeOffset, record.lastWriteTime);
  WriteUtf16Units(stored + kBkRecordNameOffset, record.fileName, kRecordNameChars);
  std::memcpy(stored + kBkRecordDigestOffset, record.digest, sizeof(record.digest));
  ScrambleBytes(stored, kBkRecordSize);
}

void DecodeBkRecord(const uint8_t* stored, BkMdataRecord* record) {
  uint8_t plain[kBkRecordSize];
  std::memcpy(plain, stored, kBkRecordSize);
  UnscrambleBytes(plain, kBkRecordSize);
  record->fileSizeLow = ReadLe32(plain + kBkRecordSizeOffset);
  record->flags = ReadLe32(plain + kBkRecordFlagsOffset);
  record->lastWriteTime = ReadSystemTime(plain + kBkRecordTimeOffset);
  ReadUtf16Units(plain + kBkRecordNameOffset, record->fileName, kRecordNameChars);
  std::memcpy(record->digest, plain + kBkRecordDigestOffset, sizeof(record->digest));
}

void EncodeBkState(const BkMdataState& state, uint8_t* bytes) {
  std::memset(bytes, 0, kBkStateSize);
  WriteLe32(bytes + kStateRecordCountOffset, state.recordCount);
  WriteSystemTime(bytes + kBkStateCreatedOffset, state.createdUtc);
  WriteLe32(bytes + kBkStateFlagsOffset, state.stateFlags);
  WriteLe32(bytes + kBkStateFlagsOffset + 4, state.reserved);
}

BkMdataState DecodeBkState(const uint8_t* bytes) {
  return {ReadLe32(bytes + kStateRecordCountOffset), ReadSystemTime(bytes + kBkStateCreatedOffset),
          ReadLe32(bytes + kBkStateFlagsOffset), ReadLe32(bytes + kBkStateFlagsOffset + 4)};
}

}  // namespace mivra

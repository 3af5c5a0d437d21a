#include "update/rollbackdb/rb_record_layout.h"

#include <cstring>

namespace mivra {

void EncodeRbRecord(const RbMdataRecord& record, uint8_t* stored) {
  std::memset(stored, 0, kRbRecordSize);
  WriteLe32(stored + kRbRecordSizeOffset, record.fileSizeLow);
  WriteSystemTime(stored + kRbRecordTimeOffset, record.lastWriteTime);
  WriteUtf16Units(stored + kRbRecordNameOffset, record.fileName, kRecordNameChars);
  std::memcpy(stored + kRbRecordDigestOffset, record.digest, sizeof(record.digest));
  ScrambleBytes(stored, kRbRecordSize);
}

void DecodeRbRecord(const uint8_t* stored, RbMdataRecord* record) {
  uint8_t plain[kRbRecordSize];
  std::memcpy(plain, stored, kRbRecordSize);
  UnscrambleBytes(plain, kRbRecordSize);
  record->fileSizeLow = ReadLe32(plain + kRbRecordSizeOffset);
  record->lastWriteTime = ReadSystemTime(plain + kRbRecordTimeOffset);
  ReadUtf16Units(plain + kRbRecordNameOffset, record->fileName, kRecordNameChars);
  std::memcpy(record->digest, plain + kRbRecordDigestOffset, sizeof(record->digest));
}

void EncodeRbState(const RbMdataState& state, uint8_t* bytes) {
  std::memset(bytes, 0, kRbStateSize);
  WriteLe32(bytes + kStateRecordCountOffset, state.recordCount);
  bytes[kRbStateUpdateStatusOffset] = state.updateStatus;
  WriteLe32(bytes + kRbStateRollbackCountOffset, state.rollbackCount);
  std::memcpy(bytes + kRbStateRollbackCountOffset + 4, state.reserved, sizeof(state.reserved));
}

RbMdataState DecodeRbState(const uint8_t* bytes) {
  RbMdataState state{};
  state.recordCount = ReadLe32(bytes + kStateRecordCountOffset);
  state.updateStatus = bytes[kRbStateUpdateStatusOffset];
  state.rollbackCount = ReadLe32(bytes + kRbStateRollbackCountOffset);
  std::memcpy(state.reserved, bytes + kRbStateRollbackCountOffset + 4, sizeof(state.reserved));
  return state;
}

}  // namespace mivra

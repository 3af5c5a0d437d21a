#include "update/rollbackdb/rb_record_layout.h"

#include <cstring>

namespace mivra {

void EncodeRBRecord(const RBMdataRecord& record, uint8_t* stored) {
  std::memset(stored, 0, kRBRecordSize);
  WriteLe32(stored + kRBRecordSizeOffset, record.fileSizeLow);
  WriteSystemTime(stored + kRBRecordTimeOffset, record.lastWriteTime);
  WriteUtf16Units(stored + kRBRecordNameOffset, record.fileName, kRecordNameChars);
  std::memcpy(stored + kRBRecordDigestOffset, record.digest, sizeof(record.digest));
  ScrambleBytes(stored, kRBRecordSize);
}

void DecodeRBRecord(const uint8_t* stored, RBMdataRecord* record) {
  uint8_t plain[kRBRecordSize];
  std::memcpy(plain, stored, kRBRecordSize);
  UnscrambleBytes(plain, kRBRecordSize);
  record->fileSizeLow = ReadLe32(plain + kRBRecordSizeOffset);
  record->lastWriteTime = ReadSystemTime(plain + kRBRecordTimeOffset);
  ReadUtf16Units(plain + kRBRecordNameOffset, record->fileName, kRecordNameChars);
  std::memcpy(record->digest, plain + kRBRecordDigestOffset, sizeof(record->digest));
}

void EncodeRBState(const RBMdataState& state, uint8_t* bytes) {
  std::memset(bytes, 0, kRBStateSize);
  WriteLe32(bytes + kStateRecordCountOffset, state.recordCount);
  bytes[kRBStateUpdateStatusOffset] = state.updateStatus;
  WriteLe32(bytes + kRBStateRollbackCountOffset, state.rollbackCount);
  std::memcpy(bytes + kRBStateRollbackCountOffset + 4, state.reserved, sizeof(state.reserved));
}

RBMdataState DecodeRBState(const uint8_t* bytes) {
  RBMdataState state{};
  state.recordCount = ReadLe32(bytes + kStateRecordCountOffset);
  state.updateStatus = bytes[kRBStateUpdateStatusOffset];
  state.rollbackCount = ReadLe32(bytes + kRBStateRollbackCountOffset);
  std::memcpy(state.reserved, bytes + kRBStateRollbackCountOffset + 4, sizeof(state.reserved));
  return state;
}

}  // namespace mivra

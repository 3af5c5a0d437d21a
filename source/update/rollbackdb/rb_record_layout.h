// rbmdata.dat: 69-byte header, 17-byte state block, then one 556-byte scrambled record per
// registered file. Byte-level code only.
#ifndef MIVRA_UPDATE_ROLLBACKDB_RB_RECORD_LAYOUT_H_
#define MIVRA_UPDATE_ROLLBACKDB_RB_RECORD_LAYOUT_H_

#include <cstddef>
#include <cstdint>

#include "update/backup/metadata_format.h"
#include "update/frame/system_time.h"

namespace mivra {

inline constexpr size_t kRbHeaderSize = 69;
inline constexpr size_t kRbStateSize = 17;
inline constexpr size_t kRbRecordSize = 556;
inline constexpr size_t kRbRecordAreaOffset = kRbHeaderSize + kRbStateSize;  // 86

// Offsets inside a plain record.
inline constexpr size_t kRbRecordSizeOffset = 0;
inline constexpr size_t kRbRecordTimeOffset = 4;
inline constexpr size_t kRbRecordNameOffset = 20;
inline constexpr size_t kRbRecordDigestOffset = 540;

// Offsets inside the state block; the counter is unaligned.
inline constexpr size_t kRbStateUpdateStatusOffset = 4;
inline constexpr size_t kRbStateRollbackCountOffset = 5;

inline constexpr MetadataFormat kRbMdataFormat{"KVRBUP", kRbHeaderSize, kRbStateSize, kRbRecordSize,
                                               kRbRecordNameOffset};

inline constexpr uint32_t RBREC_APPEND = kAppendRecordIndex;

struct RbMdataRecord {
  uint32_t fileSizeLow;
  SystemTime16 lastWriteTime;
  char16_t fileName[kRecordNameChars];
  uint8_t digest[16];
};

struct RbMdataState {
  uint32_t recordCount;
  uint8_t updateStatus;
  uint32_t rollbackCount;
  uint8_t reserved[8];
};

void EncodeRbRecord(const RbMdataRecord& record, uint8_t* stored);
void DecodeRbRecord(const uint8_t* stored, RbMdataRecord* record);

void EncodeRbState(const RbMdataState& state, uint8_t* bytes);
RbMdataState DecodeRbState(const uint8_t* bytes);

}  // namespace mivra

#endif  // MIVRA_UPDATE_ROLLBACKDB_RB_RECORD_LAYOUT_H_

// rbmdata.dat: 69-byte header, 17-byte state block, then one 556-byte scrambled record per
// registered file. Byte-level code only.
#ifndef MIVRA_UPDATE_ROLLBACKDB_RB_RECORD_LAYOUT_H_
#define MIVRA_UPDATE_ROLLBACKDB_RB_RECORD_LAYOUT_H_

#include <cstddef>
#include <cstdint>

#include "update/frame/system_time.h"
#include "update/store/metadata_format.h"

namespace mivra {

inline constexpr size_t kRBHeaderSize = 69;
inline constexpr size_t kRBStateSize = 17;
inline constexpr size_t kRBRecordSize = 556;
inline constexpr size_t kRBRecordAreaOffset = kRBHeaderSize + kRBStateSize;  // 86

// Offsets inside a plain record.
inline constexpr size_t kRBRecordSizeOffset = 0;
inline constexpr size_t kRBRecordTimeOffset = 4;
inline constexpr size_t kRBRecordNameOffset = 20;
inline constexpr size_t kRBRecordDigestOffset = 540;

// Offsets inside the state block; the counter is unaligned.
inline constexpr size_t kRBStateUpdateStatusOffset = 4;
inline constexpr size_t kRBStateRollbackCountOffset = 5;

inline constexpr MetadataFormat kRBMdataFormat{MdataKind::kRollback, "KVRBUP",      kRBHeaderSize,
                                               kRBStateSize,         kRBRecordSize, kRBRecordNameOffset};
// An append commits by writing the CRC and the count together, in one sector.
static_assert(kRBRecordAreaOffset <= kSectorSize);

// The record index that asks WriteRBRecord to append rather than overwrite.
inline constexpr uint32_t RBREC_APPEND = 3000;

struct RBMdataRecord {
  uint32_t fileSizeLow;
  SystemTime16 lastWriteTime;
  char16_t fileName[kRecordNameChars];
  uint8_t digest[16];
};

struct RBMdataState {
  uint32_t recordCount;
  uint8_t updateStatus;
  uint32_t rollbackCount;
  uint8_t reserved[8];
};

void EncodeRBRecord(const RBMdataRecord& record, uint8_t* stored);
void DecodeRBRecord(const uint8_t* stored, RBMdataRecord* record);

void EncodeRBState(const RBMdataState& state, uint8_t* bytes);
RBMdataState DecodeRBState(const uint8_t* bytes);

}  // namespace mivra

#endif  // MIVRA_UPDATE_ROLLBACKDB_RB_RECORD_LAYOUT_H_

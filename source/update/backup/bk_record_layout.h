// bkmdata.dat: 65-byte header, 28-byte state block, then one 560-byte scrambled record per
// backed-up file. Byte-level code only.
#ifndef MIVRA_UPDATE_BACKUP_BK_RECORD_LAYOUT_H_
#define MIVRA_UPDATE_BACKUP_BK_RECORD_LAYOUT_H_

#include <cstddef>
#include <cstdint>

#include "update/frame/system_time.h"
#include "update/store/metadata_format.h"

namespace mivra {

inline constexpr size_t kBkHeaderSize = 65;
inline constexpr size_t kBkStateSize = 28;
inline constexpr size_t kBkRecordSize = 560;
inline constexpr size_t kBkRecordAreaOffset = kBkHeaderSize + kBkStateSize;  // 93

// Offsets inside a plain record.
inline constexpr size_t kBkRecordSizeOffset = 0;
inline constexpr size_t kBkRecordFlagsOffset = 4;
inline constexpr size_t kBkRecordTimeOffset = 8;
inline constexpr size_t kBkRecordNameOffset = 24;
inline constexpr size_t kBkRecordDigestOffset = 544;

// Offsets inside the state block.
inline constexpr size_t kBkStateCreatedOffset = 4;
inline constexpr size_t kBkStateFlagsOffset = 20;

inline constexpr MetadataFormat kBkMdataFormat{MdataKind::kBackup, "KVBKUP",      kBkHeaderSize,
                                               kBkStateSize,       kBkRecordSize, kBkRecordNameOffset};
// An append commits by writing the CRC and the count together, in one sector.
static_assert(kBkRecordAreaOffset <= kSectorSize);

inline constexpr uint32_t BKREC_REMOVED = 1;  // taken out of the backup, copy deleted
inline constexpr uint32_t BKREC_ABSENT = 2;   // did not exist at backup time: a rollback deletes it
// The record index that asks WriteBkRecord to append rather than overwrite.
inline constexpr uint32_t BKREC_APPEND = 3000;
inline constexpr uint32_t BKSTATE_DAMAGED = 1;  // verification found a copy missing or changed

struct BkMdataRecord {
  uint32_t fileSizeLow;
  uint32_t flags;
  SystemTime16 lastWriteTime;
  char16_t fileName[kRecordNameChars];
  uint8_t digest[16];
};

struct BkMdataState {
  uint32_t recordCount;
  SystemTime16 createdUtc;
  uint32_t stateFlags;
  uint32_t reserved;
};

// Plain record to its 560 stored (scrambled) bytes, and back.
void EncodeBkRecord(const BkMdataRecord& record, uint8_t* stored);
void DecodeBkRecord(const uint8_t* stored, BkMdataRecord* record);

void EncodeBkState(const BkMdataState& state, uint8_t* bytes);
BkMdataState DecodeBkState(const uint8_t* bytes);

}  // namespace mivra

#endif  // MIVRA_UPDATE_BACKUP_BK_RECORD_LAYOUT_H_

// The typed codec of bkmdata.dat, the metadata file of one backup folder ("bkup" or "tmpbkup"),
// over the shared record store. Every function takes a backup object (one that OpenBkMdata
// opened) and refuses any other without touching a file.
#ifndef MIVRA_UPDATE_BACKUP_BKMDATA_STORE_H_
#define MIVRA_UPDATE_BACKUP_BKMDATA_STORE_H_

#include <cstdint>
#include <functional>
#include <string_view>

#include "update/backup/bk_record_layout.h"
#include "update/store/mdata_object.h"
#include "update/store/metadata_store.h"

namespace mivra {

inline constexpr wchar_t kBkMdataFileName[] = L"bkmdata.dat";

// Opens, creates or validates bkmdata.dat in the folder of `kind` (BKF_BKUP or BKF_TMPBKUP),
// creating the folder when missing, and makes `object` a backup object. A file that proves invalid
// is deleted and the open fails; one that is a link or another user's, or whose journal is, is
// left as it is and not opened (kUntrusted). `access` as for OpenMetadata.
MetadataOpen OpenBkMdataFile(MdataObject& object, uint32_t kind,
                             MetadataAccess access = MetadataAccess::kReadWrite);

// The same; true when opened.
bool OpenBkMdata(MdataObject& object, uint32_t kind, MetadataAccess access = MetadataAccess::kReadWrite);

// The same in `folder`, a backup folder that GetBackupFolder has just given (and created): for a
// caller that needs the folder itself too, so that it is resolved and judged once.
MetadataOpen OpenBkMdataIn(MdataObject& object, const wchar_t* folder,
                           MetadataAccess access = MetadataAccess::kReadWrite);

// True when `object` is open on a bkmdata.dat.
inline bool IsBackupObject(const MdataObject& object) { return object.kind() == MdataKind::kBackup; }

// Record `index`, unscrambled; false when the file does not hold it.
bool ReadBkRecord(const MdataObject& object, uint32_t index, BkMdataRecord* record);

// Appends `record`. A name the file already holds (exact, case-sensitive), or one whose presence
// cannot be told, is refused and nothing changes.
bool AppendBkRecord(MdataObject& object, const BkMdataRecord& record);

// Replaces record `index`, which the file holds, in place.
bool OverwriteBkRecord(MdataObject& object, uint32_t index, const BkMdataRecord& record);

// The record writer: index BKREC_APPEND appends `record` (AppendBkRecord), any other index
// overwrites that record (OverwriteBkRecord).
bool WriteBkRecord(MdataObject& object, const BkMdataRecord& record, uint32_t index);

// Exact, case-sensitive lookup of a record name; the index of the first match.
bool FindBkRecord(MdataObject& object, std::wstring_view name, uint32_t* index);
// The same lookup, telling a name that is not recorded from names that cannot be read.
NameLookup LookUpBkRecord(MdataObject& object, std::wstring_view name, uint32_t* index);
bool LoadBkNameList(MdataObject& object);

enum class RecordWalk {
  kWalked,      // every record was offered, or the visitor stopped the walk
  kUnreadable,  // a record (or the names) could not be read: the walk stopped there
};

// Offers every live record (one not marked removed; records recorded absent are live) to
// `visit(index, record)` in record order, until `visit` returns false. With `wanted`, only the
// records whose name it accepts are read, the names coming from the object's name list (loaded
// first when it does not count the file's records).
RecordWalk ForEachLiveBkRecord(MdataObject& object,
                               const std::function<bool(uint32_t index, const BkMdataRecord& record)>& visit,
                               const std::function<bool(std::wstring_view name)>& wanted = nullptr);

bool ReadBkState(const MdataObject& object, BkMdataState* state);

// Sets BKSTATE_DAMAGED in the state block, which lies outside the CRC. Best effort.
void MarkBackupDamaged(const MdataObject& object);

// Records the file length holds; 0 without an open backup object.
uint32_t CountBkRecords(const MdataObject& object);

}  // namespace mivra

#endif  // MIVRA_UPDATE_BACKUP_BKMDATA_STORE_H_

// The store of bkmdata.dat, the metadata file of one backup folder ("bkup" or "tmpbkup").
#ifndef MIVRA_UPDATE_BACKUP_BKMDATA_STORE_H_
#define MIVRA_UPDATE_BACKUP_BKMDATA_STORE_H_

#include <cstdint>
#include <string_view>

#include "update/backup/bk_record_layout.h"
#include "update/store/mdata_object.h"
#include "update/store/metadata_store.h"

namespace mivra {

inline constexpr wchar_t kBkMdataFileName[] = L"bkmdata.dat";

// Opens, creates or validates bkmdata.dat in the folder of `kind` (BKF_BKUP or BKF_TMPBKUP),
// creating the folder when missing. A file that proves invalid is deleted and the open fails.
bool OpenBkMdata(MdataObject& object, uint32_t kind);

// Record `index`, unscrambled; false when the file does not hold it.
bool ReadBkRecord(const MdataObject& object, uint32_t index, BkMdataRecord* record);

// Writes `record` at `index`, or appends it for BKREC_APPEND. An append of a name the file already
// holds (exact, case-sensitive) fails and changes nothing.
bool WriteBkRecord(MdataObject& object, const BkMdataRecord& record, uint32_t index);

// Exact, case-sensitive lookup of a record name; the index of the first match.
bool FindBkRecord(MdataObject& object, std::wstring_view name, uint32_t* index);
// The same lookup, telling a name that is not recorded from names that cannot be read.
NameLookup LookUpBkRecord(MdataObject& object, std::wstring_view name, uint32_t* index);
bool LoadBkNameList(MdataObject& object);

bool ReadBkState(const MdataObject& object, BkMdataState* state);

// Sets BKSTATE_DAMAGED in the state block, which lies outside the CRC. Best effort.
void MarkBackupDamaged(const MdataObject& object);

// Records the file length holds; 0 without an open file.
uint32_t CountBkRecords(const MdataObject& object);

}  // namespace mivra

#endif  // MIVRA_UPDATE_BACKUP_BKMDATA_STORE_H_

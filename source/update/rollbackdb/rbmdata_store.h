// The typed codec of rbmdata.dat, the rollback database in the library's base folder, over the
// shared record store. Every function takes a rollback object (one that OpenRBMdata opened) and
// refuses any other without touching a file.
#ifndef MIVRA_UPDATE_ROLLBACKDB_RBMDATA_STORE_H_
#define MIVRA_UPDATE_ROLLBACKDB_RBMDATA_STORE_H_

#include <cstdint>
#include <string_view>
#include <vector>

#include "update/rollbackdb/rb_record_layout.h"
#include "update/store/mdata_object.h"
#include "update/store/metadata_store.h"

namespace mivra {

inline constexpr wchar_t kRBMdataFileName[] = L"rbmdata.dat";

// Opens, creates or validates rbmdata.dat, creating the base folder when missing, and makes
// `object` a rollback object. A file that proves invalid is deleted and the open fails, so the
// next open starts an empty database.
bool OpenRBMdata(MdataObject& object);

// True when `object` is open on an rbmdata.dat.
inline bool IsRollbackObject(const MdataObject& object) { return object.kind() == MdataKind::kRollback; }

bool ReadRBRecord(const MdataObject& object, uint32_t index, RBMdataRecord* record);

// Appends `record`; callers look the name up first.
bool AppendRBRecord(MdataObject& object, const RBMdataRecord& record);

// Replaces record `index`, which the file holds, in place.
bool OverwriteRBRecord(MdataObject& object, uint32_t index, const RBMdataRecord& record);

// The record writer: index RBREC_APPEND appends `record`, any other index overwrites that record.
bool WriteRBRecord(MdataObject& object, const RBMdataRecord& record, uint32_t index);

bool FindRBRecord(MdataObject& object, std::wstring_view name, uint32_t* index);
// The same lookup, telling a name that is not registered from names that cannot be read.
NameLookup LookUpRBRecord(MdataObject& object, std::wstring_view name, uint32_t* index);
bool LoadRBNameList(MdataObject& object);

bool ReadRBState(const MdataObject& object, RBMdataState* state);
bool WriteRBState(const MdataObject& object, const RBMdataState& state);

// Replaces the whole database, open in `object`, by `content` in one change.
bool ReplaceRBMdata(MdataObject& object, const std::vector<uint8_t>& content);

// Records the file length holds; 0 without an open rollback object.
uint32_t CountRBRecords(const MdataObject& object);

}  // namespace mivra

#endif  // MIVRA_UPDATE_ROLLBACKDB_RBMDATA_STORE_H_

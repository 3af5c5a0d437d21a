// The store of rbmdata.dat, the rollback database in the library's base folder.
#ifndef MIVRA_UPDATE_ROLLBACKDB_RBMDATA_STORE_H_
#define MIVRA_UPDATE_ROLLBACKDB_RBMDATA_STORE_H_

#include <cstdint>
#include <string_view>

#include "update/backup/mdata_object.h"
#include "update/rollbackdb/rb_record_layout.h"

namespace mivra {

inline constexpr wchar_t kRbMdataFileName[] = L"rbmdata.dat";

// Opens, creates or validates rbmdata.dat, creating the base folder when missing. A file that
// proves invalid is deleted and the open fails, so the next open starts an empty database.
bool OpenRbMdata(MdataObject& object);

bool ReadRbRecord(const MdataObject& object, uint32_t index, RbMdataRecord* record);

// Writes `record` at `index`, or appends it for RBREC_APPEND. Callers look the name up first.
bool WriteRbRecord(MdataObject& object, const RbMdataRecord& record, uint32_t index);

bool FindRbRecord(MdataObject& object, std::wstring_view name, uint32_t* index);
bool LoadRbNameList(MdataObject& object);

bool ReadRbState(const MdataObject& object, RbMdataState* state);
bool WriteRbState(const MdataObject& object, const RbMdataState& state);

// Records the file length holds; 0 without an open file.
uint32_t CountRbRecords(const MdataObject& object);

}  // namespace mivra

#endif  // MIVRA_UPDATE_ROLLBACKDB_RBMDATA_STORE_H_

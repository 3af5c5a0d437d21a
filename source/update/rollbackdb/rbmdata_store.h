// The store of rbmdata.dat, the rollback database in the library's base folder.
#ifndef MIVRA_UPDATE_ROLLBACKDB_RBMDATA_STORE_H_
#define MIVRA_UPDATE_ROLLBACKDB_RBMDATA_STORE_H_

#include <cstdint>
#include <string_view>

#include "update/store/mdata_object.h"
#include "update/rollbackdb/rb_record_layout.h"

namespace mivra {

inline constexpr wchar_t kRBMdataFileName[] = L"rbmdata.dat";

// Opens, creates or validates rbmdata.dat, creating the base folder when missing. A file that
// proves invalid is deleted and the open fails, so the next open starts an empty database.
bool OpenRBMdata(MdataObject& object);

bool ReadRBRecord(const MdataObject& object, uint32_t index, RBMdataRecord* record);

// Writes `record` at `index`, or appends it for RBREC_APPEND. Callers look the name up first.
bool WriteRBRecord(MdataObject& object, const RBMdataRecord& record, uint32_t index);

bool FindRBRecord(MdataObject& object, std::wstring_view name, uint32_t* index);
bool LoadRBNameList(MdataObject& object);

bool ReadRBState(const MdataObject& object, RBMdataState* state);
bool WriteRBState(const MdataObject& object, const RBMdataState& state);

// Records the file length holds; 0 without an open file.
uint32_t CountRBRecords(const MdataObject& object);

}  // namespace mivra

#endif  // MIVRA_UPDATE_ROLLBACKDB_RBMDATA_STORE_H_

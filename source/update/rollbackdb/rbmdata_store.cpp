#include "update/rollbackdb/rbmdata_store.h"

#include "update/backup/metadata_store.h"
#include "update/frame/backup_folder.h"
#include "update/frame/bounded_string.h"
#include "update/frame/trace_log.h"

namespace mivra {

bool OpenRbMdata(MdataObject& object) {
  object.fd.reset();
  wchar_t folder[kPathCapacity] = {};
  wchar_t path[kPathCapacity] = {};
  if (!GetBackupFolder(folder, BKF_BASE, true) || !JoinPath(path, folder, kRbMdataFileName)) return false;
  const uint8_t emptyState[kRbStateSize] = {};
  return OpenMetadataFile(object, kRbMdataFormat, path, emptyState);
}

bool ReadRbRecord(const MdataObject& object, uint32_t index, RbMdataRecord* record) {
  if (!record) return false;
  uint8_t stored[kRbRecordSize];
  if (!ReadStoredRecord(object, kRbMdataFormat, index, stored)) return false;
  DecodeRbRecord(stored, record);
  return true;
}

bool WriteRbRecord(MdataObject& object, const RbMdataRecord& record, uint32_t index) {
  uint8_t stored[kRbRecordSize];
  EncodeRbRecord(record, stored);
  const std::wstring name = RecordFieldName(record.fileName);
  const bool written = WriteStoredRecord(object, kRbMdataFormat, stored, index, name);
  TraceStep("write-record").Text("file", "rbmdata.dat").Path("name", name.c_str()).Number("index", index).Crt(written);
  return written;
}

bool FindRbRecord(MdataObject& object, std::wstring_view name, uint32_t* index) {
  return FindMetadataName(object, kRbMdataFormat, name, index) == NameLookup::kFound;
}

bool LoadRbNameList(MdataObject& object) { return LoadMetadataNames(object, kRbMdataFormat); }

bool ReadRbState(const MdataObject& object, RbMdataState* state) {
  uint8_t bytes[kRbStateSize];
  if (!state || !ReadStateBlock(object, kRbMdataFormat, bytes)) return false;
  *state = DecodeRbState(bytes);
  return true;
}

bool WriteRbState(const MdataObject& object, const RbMdataState& state) {
  uint8_t bytes[kRbStateSize];
  EncodeRbState(state, bytes);
  const bool written = WriteStateBlock(object, kRbMdataFormat, bytes);
  TraceStep("write-state").Text("file", "rbmdata.dat").Number("status", state.updateStatus).Number(
      "rollbacks", state.rollbackCount).Crt(written);
  return written;
}

uint32_t CountRbRecords(const MdataObject& object) { return CountRecordsFromLength(object, kRbMdataFormat); }

}  // namespace mivra

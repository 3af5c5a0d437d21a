#include "update/rollbackdb/rbmdata_store.h"

#include "update/store/metadata_store.h"
#include "update/frame/backup_folder.h"
#include "update/frame/bounded_string.h"
#include "update/frame/trace_log.h"

namespace mivra {

bool OpenRBMdata(MdataObject& object) {
  object.fd.reset();
  wchar_t folder[kPathCapacity] = {};
  wchar_t path[kPathCapacity] = {};
  if (!GetBackupFolder(folder, BKF_BASE, true) || !JoinPath(path, folder, kRBMdataFileName)) return false;
  const uint8_t emptyState[kRBStateSize] = {};
  return OpenMetadataFile(object, kRBMdataFormat, path, emptyState);
}

bool ReadRBRecord(const MdataObject& object, uint32_t index, RBMdataRecord* record) {
  if (!record) return false;
  uint8_t stored[kRBRecordSize];
  if (!ReadStoredRecord(object, kRBMdataFormat, index, stored)) return false;
  DecodeRBRecord(stored, record);
  return true;
}

bool WriteRBRecord(MdataObject& object, const RBMdataRecord& record, uint32_t index) {
  uint8_t stored[kRBRecordSize];
  EncodeRBRecord(record, stored);
  const std::wstring name = RecordFieldName(record.fileName);
  const bool written = WriteStoredRecord(object, kRBMdataFormat, stored, index, name);
  TraceStep("write-record").Text("file", "rbmdata.dat").Path("name", name.c_str()).Number("index", index).Crt(written);
  return written;
}

bool FindRBRecord(MdataObject& object, std::wstring_view name, uint32_t* index) {
  return FindMetadataName(object, kRBMdataFormat, name, index) == NameLookup::kFound;
}

bool LoadRBNameList(MdataObject& object) { return LoadMetadataNames(object, kRBMdataFormat); }

bool ReadRBState(const MdataObject& object, RBMdataState* state) {
  uint8_t bytes[kRBStateSize];
  if (!state || !ReadStateBlock(object, kRBMdataFormat, bytes)) return false;
  *state = DecodeRBState(bytes);
  return true;
}

bool WriteRBState(const MdataObject& object, const RBMdataState& state) {
  uint8_t bytes[kRBStateSize];
  EncodeRBState(state, bytes);
  const bool written = WriteStateBlock(object, kRBMdataFormat, bytes);
  TraceStep("write-state").Text("file", "rbmdata.dat").Number("status", state.updateStatus).Number(
      "rollbacks", state.rollbackCount).Crt(written);
  return written;
}

uint32_t CountRBRecords(const MdataObject& object) { return CountRecordsFromLength(object, kRBMdataFormat); }

}  // namespace mivra

#include "update/rollbackdb/rbmdata_store.h"

#include <string>

#include "update/frame/backup_folder.h"
#include "update/frame/bounded_string.h"
#include "update/frame/trace_log.h"

namespace mivra {
namespace {

// The record's index; an append that failed took none.
void TraceWrite(const std::wstring& name, const uint32_t* index, bool written) {
  TraceEvent step = TraceStep("write-record");
  step.Text("file", "rbmdata.dat").Path("name", name.c_str());
  if (index) step.Number("index", *index);
  step.Crt(written);
}

}  // namespace

bool OpenRBMdata(MdataObject& object) {
  object.Close();
  wchar_t folder[kPathCapacity] = {};
  wchar_t path[kPathCapacity] = {};
  if (!GetBackupFolder(folder, BKF_BASE, true) || !JoinPath(path, folder, kRBMdataFileName)) return false;
  const uint8_t emptyState[kRBStateSize] = {};
  return OpenMetadataFile(object, kRBMdataFormat, path, emptyState);
}

bool ReadRBRecord(const MdataObject& object, uint32_t index, RBMdataRecord* record) {
  if (!record || !IsRollbackObject(object)) return false;
  uint8_t stored[kRBRecordSize];
  if (!ReadStoredRecord(object, index, stored)) return false;
  DecodeRBRecord(stored, record);
  return true;
}

bool AppendRBRecord(MdataObject& object, const RBMdataRecord& record) {
  if (!IsRollbackObject(object)) return false;
  uint8_t stored[kRBRecordSize];
  EncodeRBRecord(record, stored);
  const std::wstring name = RecordFieldName(record.fileName);
  uint32_t index = 0;
  const bool written = AppendStoredRecord(object, stored, name, &index);
  TraceWrite(name, written ? &index : nullptr, written);
  return written;
}

bool OverwriteRBRecord(MdataObject& object, uint32_t index, const RBMdataRecord& record) {
  if (!IsRollbackObject(object)) return false;
  uint8_t stored[kRBRecordSize];
  EncodeRBRecord(record, stored);
  const bool written = OverwriteStoredRecord(object, index, stored);
  TraceWrite(RecordFieldName(record.fileName), &index, written);
  return written;
}

bool WriteRBRecord(MdataObject& object, const RBMdataRecord& record, uint32_t index) {
  return index == RBREC_APPEND ? AppendRBRecord(object, record) : OverwriteRBRecord(object, index, record);
}

bool FindRBRecord(MdataObject& object, std::wstring_view name, uint32_t* index) {
  return LookUpRBRecord(object, name, index) == NameLookup::kFound;
}

NameLookup LookUpRBRecord(MdataObject& object, std::wstring_view name, uint32_t* index) {
  if (!IsRollbackObject(object)) return NameLookup::kUnavailable;
  return FindMetadataName(object, name, index);
}

bool LoadRBNameList(MdataObject& object) { return IsRollbackObject(object) && LoadMetadataNames(object); }

bool ReadRBState(const MdataObject& object, RBMdataState* state) {
  uint8_t bytes[kRBStateSize];
  if (!state || !IsRollbackObject(object) || !ReadStateBlock(object, bytes)) return false;
  *state = DecodeRBState(bytes);
  return true;
}

bool WriteRBState(const MdataObject& object, const RBMdataState& state) {
  if (!IsRollbackObject(object)) return false;
  uint8_t bytes[kRBStateSize];
  EncodeRBState(state, bytes);
  const bool written = WriteStateBlock(object, bytes);
  TraceStep("write-state").Text("file", "rbmdata.dat").Number("status", state.updateStatus).Number(
      "rollbacks", state.rollbackCount).Crt(written);
  return written;
}

bool ReplaceRBMdata(MdataObject& object, const std::vector<uint8_t>& content) {
  return IsRollbackObject(object) && ReplaceMetadataContent(object, content);
}

uint32_t CountRBRecords(const MdataObject& object) {
  return IsRollbackObject(object) ? CountRecordsFromLength(object) : 0;
}

}  // namespace mivra

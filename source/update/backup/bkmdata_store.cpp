#include "update/backup/bkmdata_store.h"

#include <windows.h>

#include <string>

#include "update/frame/backup_folder.h"
#include "update/frame/bounded_string.h"
#include "update/frame/trace_log.h"

namespace mivra {
namespace {

// The record's index; an append that failed took none.
void TraceWrite(const std::wstring& name, const uint32_t* index, bool written) {
  TraceEvent step = TraceStep("write-record");
  step.Text("file", "bkmdata.dat").Path("name", name.c_str());
  if (index) step.Number("index", *index);
  step.Crt(written);
}

}  // namespace

MetadataOpen OpenBkMdataFile(MdataObject& object, uint32_t kind, MetadataAccess access) {
  object.Close();
  if (kind != BKF_BKUP && kind != BKF_TMPBKUP) return MetadataOpen::kFailed;
  wchar_t folder[kPathCapacity] = {};
  if (!GetBackupFolder(folder, kind, true)) return MetadataOpen::kFailed;
  const MetadataOpen opened = OpenBkMdataIn(object, folder, access);
  // GetBackupFolder closed the folder and its base as it gave them.
  if (opened == MetadataOpen::kOpened) object.closedFolderKind = kind;
  return opened;
}

MetadataOpen OpenBkMdataIn(MdataObject& object, const wchar_t* folder, MetadataAccess access) {
  object.Close();
  wchar_t path[kPathCapacity] = {};
  if (!folder || !JoinPath(path, folder, kBkMdataFileName)) return MetadataOpen::kFailed;

  SYSTEMTIME now = {};
  ::GetSystemTime(&now);
  BkMdataState state = {};
  state.createdUtc = {now.wYear, now.wMonth, now.wDayOfWeek, now.wDay,
                      now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
  uint8_t stateBytes[kBkStateSize];
  EncodeBkState(state, stateBytes);
  return OpenMetadata(object, kBkMdataFormat, path, stateBytes, access);
}

bool OpenBkMdata(MdataObject& object, uint32_t kind, MetadataAccess access) {
  return OpenBkMdataFile(object, kind, access) == MetadataOpen::kOpened;
}

bool ReadBkRecord(const MdataObject& object, uint32_t index, BkMdataRecord* record) {
  if (!record || !IsBackupObject(object)) return false;
  uint8_t stored[kBkRecordSize];
  if (!ReadStoredRecord(object, index, stored)) return false;
  DecodeBkRecord(stored, record);
  return true;
}

bool AppendBkRecord(MdataObject& object, const BkMdataRecord& record) {
  if (!IsBackupObject(object)) return false;
  const std::wstring name = RecordFieldName(record.fileName);
  // A name whose records cannot be listed is refused too: appending blind could record it twice.
  uint32_t existing = 0;
  if (FindMetadataName(object, name, &existing) != NameLookup::kNotFound) {
    TraceStep("write-record").Text("file", "bkmdata.dat").Path("name", name.c_str()).Failed("already recorded");
    return false;
  }
  uint8_t stored[kBkRecordSize];
  EncodeBkRecord(record, stored);
  uint32_t index = 0;
  const bool written = AppendStoredRecord(object, stored, name, &index);
  TraceWrite(name, written ? &index : nullptr, written);
  return written;
}

bool OverwriteBkRecord(MdataObject& object, uint32_t index, const BkMdataRecord& record) {
  if (!IsBackupObject(object)) return false;
  uint8_t stored[kBkRecordSize];
  EncodeBkRecord(record, stored);
  const bool written = OverwriteStoredRecord(object, index, stored);
  TraceWrite(RecordFieldName(record.fileName), &index, written);
  return written;
}

bool WriteBkRecord(MdataObject& object, const BkMdataRecord& record, uint32_t index) {
  return index == BKREC_APPEND ? AppendBkRecord(object, record) : OverwriteBkRecord(object, index, record);
}

bool FindBkRecord(MdataObject& object, std::wstring_view name, uint32_t* index) {
  return LookUpBkRecord(object, name, index) == NameLookup::kFound;
}

NameLookup LookUpBkRecord(MdataObject& object, std::wstring_view name, uint32_t* index) {
  if (!IsBackupObject(object)) return NameLookup::kUnavailable;
  return FindMetadataName(object, name, index);
}

bool LoadBkNameList(MdataObject& object) { return IsBackupObject(object) && LoadMetadataNames(object); }

RecordWalk ForEachLiveBkRecord(MdataObject& object,
                               const std::function<bool(uint32_t index, const BkMdataRecord& record)>& visit,
                               const std::function<bool(std::wstring_view name)>& wanted) {
  if (!IsBackupObject(object)) return RecordWalk::kUnreadable;
  const uint32_t count = CountBkRecords(object);
  if (wanted && object.names.size() != count && !LoadMetadataNames(object)) return RecordWalk::kUnreadable;
  for (uint32_t index = 0; index < count; ++index) {
    if (wanted && (index >= object.names.size() || !wanted(object.names[index]))) continue;
    BkMdataRecord record;
    if (!ReadBkRecord(object, index, &record)) return RecordWalk::kUnreadable;
    if (record.flags & BKREC_REMOVED) continue;
    if (!visit(index, record)) break;
  }
  return RecordWalk::kWalked;
}

bool ReadBkState(const MdataObject& object, BkMdataState* state) {
  uint8_t bytes[kBkStateSize];
  if (!state || !IsBackupObject(object) || !ReadStateBlock(object, bytes)) return false;
  *state = DecodeBkState(bytes);
  return true;
}

void MarkBackupDamaged(const MdataObject& object) {
  uint8_t bytes[kBkStateSize];
  if (!IsBackupObject(object) || !ReadStateBlock(object, bytes)) return;
  BkMdataState state = DecodeBkState(bytes);
  state.stateFlags |= BKSTATE_DAMAGED;
  EncodeBkState(state, bytes);
  WriteStateBlock(object, bytes);
}

uint32_t CountBkRecords(const MdataObject& object) {
  return IsBackupObject(object) ? CountRecordsFromLength(object) : 0;
}

}  // namespace mivra

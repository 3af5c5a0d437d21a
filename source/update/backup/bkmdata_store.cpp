#include "update/backup/bkmdata_store.h"

#include <windows.h>

#include "update/store/metadata_store.h"
#include "update/frame/backup_folder.h"
#include "update/frame/bounded_string.h"
#include "update/frame/trace_log.h"

namespace mivra {

bool OpenBkMdata(MdataObject& object, uint32_t kind) {
  object.fd.reset();
  if (kind != BKF_BKUP && kind != BKF_TMPBKUP) return false;
  wchar_t folder[kPathCapacity] = {};
  wchar_t path[kPathCapacity] = {};
  if (!GetBackupFolder(folder, kind, true) || !JoinPath(path, folder, kBkMdataFileName)) return false;

  SYSTEMTIME now = {};
  ::GetSystemTime(&now);
  BkMdataState state = {};
  state.createdUtc = {now.wYear, now.wMonth, now.wDayOfWeek, now.wDay,
                      now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
  uint8_t stateBytes[kBkStateSize];
  EncodeBkState(state, stateBytes);
  return OpenMetadataFile(object, kBkMdataFormat, path, stateBytes);
}

bool ReadBkRecord(const MdataObject& object, uint32_t index, BkMdataRecord* record) {
  if (!record) return false;
  uint8_t stored[kBkRecordSize];
  if (!ReadStoredRecord(object, kBkMdataFormat, index, stored)) return false;
  DecodeBkRecord(stored, record);
  return true;
}

bool WriteBkRecord(MdataObject& object, const BkMdataRecord& record, uint32_t index) {
  const std::wstring name = RecordFieldName(record.fileName);
  if (index == BKREC_APPEND) {
    // A name whose records cannot be listed is refused too: appending blind could record it twice.
    uint32_t existing = 0;
    if (FindMetadataName(object, kBkMdataFormat, name, &existing) != NameLookup::kNotFound) {
      TraceStep("write-record").Text("file", "bkmdata.dat").Path("name", name.c_str()).Failed("already recorded");
      return false;
    }
  }
  uint8_t stored[kBkRecordSize];
  EncodeBkRecord(record, stored);
  const bool written = WriteStoredRecord(object, kBkMdataFormat, stored, index, name);
  TraceStep("write-record").Text("file", "bkmdata.dat").Path("name", name.c_str()).Number("index", index).Crt(written);
  return written;
}

bool FindBkRecord(MdataObject& object, std::wstring_view name, uint32_t* index) {
  return LookUpBkRecord(object, name, index) == NameLookup::kFound;
}

NameLookup LookUpBkRecord(MdataObject& object, std::wstring_view name, uint32_t* index) {
  return FindMetadataName(object, kBkMdataFormat, name, index);
}

bool LoadBkNameList(MdataObject& object) { return LoadMetadataNames(object, kBkMdataFormat); }

bool ReadBkState(const MdataObject& object, BkMdataState* state) {
  uint8_t bytes[kBkStateSize];
  if (!state || !ReadStateBlock(object, kBkMdataFormat, bytes)) return false;
  *state = DecodeBkState(bytes);
  return true;
}

void MarkBackupDamaged(const MdataObject& object) {
  uint8_t bytes[kBkStateSize];
  if (!ReadStateBlock(object, kBkMdataFormat, bytes)) return;
  BkMdataState state = DecodeBkState(bytes);
  state.stateFlags |= BKSTATE_DAMAGED;
  EncodeBkState(state, bytes);
  WriteStateBlock(object, kBkMdataFormat, bytes);
}

uint32_t CountBkRecords(const MdataObject& object) { return CountRecordsFromLength(object, kBkMdataFormat); }

}  // namespace mivra

#include "update/rollbackdb/update_rollback_db.h"

#include <cstring>
#include <memory>
#include <string_view>

#include "update/frame/file_info.h"
#include "update/frame/file_name.h"
#include "update/frame/install_dir.h"
#include "update/rollbackdb/create_rb_object.h"
#include "update/rollbackdb/rbmdata_store.h"
#include "update/store/metadata_store.h"

namespace mivra {

RBUpdateResult BuildRBRecord(const wchar_t* path, uint32_t fileSizeLow, const uint8_t* digest, RBMdataRecord* record) {
  if (!path || !digest || !record) return RBUpdateResult::kBadPath;
  // The name is joined to the install directory later, by the need check and the rebuild, so
  // anything that could name another folder, a drive or a stream is refused here.
  std::wstring_view name;
  if (!TakeFileName(path, &name) || !IsPlainFileName(name)) return RBUpdateResult::kBadPath;

  *record = RBMdataRecord{};
  record->fileSizeLow = fileSizeLow;
  uint32_t sizeOnDisk = 0;
  if (!ReadFileSizeAndTime(path, &sizeOnDisk, &record->lastWriteTime)) return RBUpdateResult::kNoAttributes;
  std::memcpy(record->digest, digest, sizeof(record->digest));
  if (!SetRecordFieldName(record->fileName, name)) return RBUpdateResult::kNameTooLong;
  return RBUpdateResult::kWritten;
}

RBUpdateResult RegisterRBFile(MdataObject& object, const wchar_t* path, uint32_t fileSizeLow, const uint8_t* digest) {
  RBMdataRecord record{};
  const RBUpdateResult built = BuildRBRecord(path, fileSizeLow, digest, &record);
  if (built != RBUpdateResult::kWritten) return built;

  // A name whose records cannot be listed is refused: appended blind, it could be registered
  // twice, and the older record would go on hiding the newer.
  uint32_t index = 0;
  bool written = false;
  switch (LookUpRBRecord(object, RecordFieldName(record.fileName), &index)) {
    case NameLookup::kFound: written = OverwriteRBRecord(object, index, record); break;
    case NameLookup::kNotFound: written = AppendRBRecord(object, record); break;
    case NameLookup::kUnavailable: break;
  }
  return written ? RBUpdateResult::kWritten : RBUpdateResult::kWriteFailed;
}

RBUpdateResult UpdateRollbackDB(MdataObject* object, const wchar_t* path, uint32_t fileSizeLow,
                                const uint8_t* digest) {
  // A caller's object of the other kind would take rollback records into a backup's file.
  if (object && !IsRollbackObject(*object)) return RBUpdateResult::kWrongObject;
  // A file that cannot be judged (missing, or no install directory) goes on to registration,
  // which then fails on its attributes.
  bool outside = false;
  if (IsOutsideInstallDir(path, &outside) && outside) return RBUpdateResult::kOutsideInstallDir;
  if (object) return RegisterRBFile(*object, path, fileSizeLow, digest);

  std::unique_ptr<MdataObject> temporary;
  switch (CreateRBObject(&temporary)) {
    case RBObjectResult::kOpened:
      break;
    case RBObjectResult::kNoMemory:
      return RBUpdateResult::kNoMemory;
    case RBObjectResult::kOpenFailed:
      return RBUpdateResult::kOpenFailed;
  }
  return RegisterRBFile(*temporary, path, fileSizeLow, digest);
}

}  // namespace mivra

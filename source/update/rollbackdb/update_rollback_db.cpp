#include "update/rollbackdb/update_rollback_db.h"

#include <cstring>
#include <memory>
#include <string_view>

#include "update/backup/metadata_store.h"
#include "update/frame/file_info.h"
#include "update/frame/file_name.h"
#include "update/frame/install_dir.h"
#include "update/rollbackdb/create_rb_object.h"
#include "update/rollbackdb/rbmdata_store.h"

namespace mivra {

RbUpdateResult BuildRbRecord(const wchar_t* path, uint32_t fileSizeLow, const uint8_t* digest, RbMdataRecord* record) {
  if (!path || !digest || !record) return RbUpdateResult::kBadPath;
  // The name is joined to the install directory later, by the need check and the rebuild, so
  // anything that could name another folder, a drive or a stream is refused here.
  std::wstring_view name;
  if (!TakeFileName(path, &name) || !IsPlainFileName(name)) return RbUpdateResult::kBadPath;

  *record = RbMdataRecord{};
  record->fileSizeLow = fileSizeLow;
  uint32_t sizeOnDisk = 0;
  if (!ReadFileSizeAndTime(path, &sizeOnDisk, &record->lastWriteTime)) return RbUpdateResult::kNoAttributes;
  std::memcpy(record->digest, digest, sizeof(record->digest));
  if (!SetRecordFieldName(record->fileName, name)) return RbUpdateResult::kNameTooLong;
  return RbUpdateResult::kWritten;
}

RbUpdateResult RegisterRbFile(MdataObject& object, const wchar_t* path, uint32_t fileSizeLow, const uint8_t* digest) {
  RbMdataRecord record{};
  const RbUpdateResult built = BuildRbRecord(path, fileSizeLow, digest, &record);
  if (built != RbUpdateResult::kWritten) return built;

  // A name whose records cannot be listed is refused: appended blind, it could be registered
  // twice, and the older record would go on hiding the newer.
  uint32_t index = RBREC_APPEND;
  switch (FindMetadataName(object, kRbMdataFormat, RecordFieldName(record.fileName), &index)) {
    case NameLookup::kFound: break;
    case NameLookup::kNotFound: index = RBREC_APPEND; break;
    case NameLookup::kUnavailable: return RbUpdateResult::kWriteFailed;
  }
  if (!object.fd.valid() || !WriteRbRecord(object, record, index)) return RbUpdateResult::kWriteFailed;
  return RbUpdateResult::kWritten;
}

RbUpdateResult UpdateRollbackDB(MdataObject* object, const wchar_t* path, uint32_t fileSizeLow,
                                const uint8_t* digest) {
  // A file that cannot be judged (missing, or no install directory) goes on to registration,
  // which then fails on its attributes.
  bool outside = false;
  if (IsOutsideInstallDir(path, &outside) && outside) return RbUpdateResult::kOutsideInstallDir;
  if (object) return RegisterRbFile(*object, path, fileSizeLow, digest);

  std::unique_ptr<MdataObject> temporary;
  switch (CreateRbObject(&temporary)) {
    case RbObjectResult::kOpened:
      break;
    case RbObjectResult::kNoMemory:
      return RbUpdateResult::kNoMemory;
    case RbObjectResult::kOpenFailed:
      return RbUpdateResult::kOpenFailed;
  }
  return RegisterRbFile(*temporary, path, fileSizeLow, digest);
}

}  // namespace mivra

#include <cstdlib>
#include <memory>

#include "mivra.h"
#include "update/backup/add_to_backup.h"
#include "update/backup/backup_file_list.h"
#include "update/backup/commit_backup.h"
#include "update/backup/delete_backup.h"
#include "update/store/mdata_object.h"
#include "update/backup/remove_from_backup.h"
#include "update/backup/staging_backup.h"
#include "update/exports/export_frame.h"
#include "update/frame/trace_log.h"

using mivra::ExportTrace;
using mivra::EnterCall;
using mivra::Fail;

namespace {

uint32_t ToErrorCode(mivra::AddResult result) {
  using mivra::AddResult;
  switch (result) {
    case AddResult::kNotInInstallDir: return MIVRA_E_NOT_IN_INSTALL_DIR;
    case AddResult::kNoMemory: return MIVRA_E_NO_MEMORY;
    case AddResult::kMetadataOpen: return MIVRA_E_BKMDATA_OPEN;
    case AddResult::kBadPath: return MIVRA_E_BAD_PATH;
    case AddResult::kBackupFolder: return MIVRA_E_BACKUP_FOLDER;
    case AddResult::kPathTooLong: return MIVRA_E_PATH_TOO_LONG;
    case AddResult::kCopyFailed: return MIVRA_E_FILE_COPY;
    case AddResult::kFileAttributes: return MIVRA_E_FILE_ATTRIBUTES;
    case AddResult::kNameTooLong: return MIVRA_E_NAME_TOO_LONG;
    case AddResult::kAdded:
    case AddResult::kAlreadyRecorded:
    case AddResult::kRecordWrite: break;
  }
  return MIVRA_E_RECORD_WRITE;
}

uint32_t ToErrorCode(mivra::CommitResult result) {
  using mivra::CommitResult;
  switch (result) {
    case CommitResult::kBackupFolder: return MIVRA_E_BACKUP_FOLDER;
    case CommitResult::kPathTooLong: return MIVRA_E_PATH_TOO_LONG;
    case CommitResult::kDeleteFailed: return MIVRA_E_FOLDER_DELETE;
    case CommitResult::kCommitted:
    case CommitResult::kRenameFailed: break;
  }
  return MIVRA_E_FOLDER_RENAME;
}

uint32_t ToErrorCode(mivra::RemoveResult result) {
  using mivra::RemoveResult;
  switch (result) {
    case RemoveResult::kBackupFolder: return MIVRA_E_BACKUP_FOLDER;
    case RemoveResult::kMetadataOpen: return MIVRA_E_BKMDATA_OPEN;
    case RemoveResult::kRecordRead: return MIVRA_E_RECORD_READ;
    case RemoveResult::kRecordWrite: return MIVRA_E_RECORD_WRITE;
    case RemoveResult::kPathTooLong: return MIVRA_E_PATH_TOO_LONG;
    case RemoveResult::kCopyDelete: return MIVRA_E_FOLDER_DELETE;
    case RemoveResult::kRemoved:
    case RemoveResult::kNotInBackup: break;
  }
  return MIVRA_E_NOT_IN_BACKUP;
}

uint32_t ToErrorCode(mivra::StagingResult result) {
  using mivra::StagingResult;
  switch (result) {
    case StagingResult::kBackupFolder: return MIVRA_E_BACKUP_FOLDER;
    case StagingResult::kDeleteFailed: return MIVRA_E_FOLDER_DELETE;
    case StagingResult::kStarted:
    case StagingResult::kMetadataOpen: break;
  }
  return MIVRA_E_BKMDATA_OPEN;
}

uint32_t ToErrorCode(mivra::ListResult result) {
  using mivra::ListResult;
  switch (result) {
    case ListResult::kBackupFolder: return MIVRA_E_BACKUP_FOLDER;
    case ListResult::kMetadataOpen: return MIVRA_E_BKMDATA_OPEN;
    case ListResult::kRecordRead: return MIVRA_E_RECORD_READ;
    case ListResult::kListed:
    case ListResult::kNoMemory:
    case ListResult::kNoBackup: break;
  }
  return MIVRA_E_NO_BACKUP;
}

bool AddToBackup(MdataObject* object, const wchar_t* filePath, uint32_t* errorCode) try {
  if (!filePath || !errorCode) return false;
  mivra::ProductLock lock;
  // An object proves that its creation passed the switch.
  if (!EnterCall(errorCode, lock, mivra::kBackupBusyCode, !object)) return false;
  const mivra::AddResult result = mivra::AddFileToBackup(object, filePath);
  if (result != mivra::AddResult::kAdded) return Fail(errorCode, ToErrorCode(result));
  return true;
} catch (...) {
  return false;
}

bool RemoveFromBackup(const wchar_t* fileName, uint32_t* errorCode) try {
  if (!fileName || !errorCode) return false;
  mivra::ProductLock lock;
  if (!EnterCall(errorCode, lock, mivra::kBackupBusyCode)) return false;
  const mivra::RemoveResult result = mivra::RemoveFromCommittedBackup(fileName);
  if (result != mivra::RemoveResult::kRemoved) return Fail(errorCode, ToErrorCode(result));
  return true;
} catch (...) {
  return false;
}

void DeleteBackup(uint32_t* errorCode) try {
  if (!errorCode) return;
  mivra::ProductLock lock;
  if (!EnterCall(errorCode, lock, mivra::kBackupBusyCode)) return;
  if (mivra::DeleteCommittedBackup() == mivra::DeleteBackupResult::kBackupFolder) {
    Fail(errorCode, MIVRA_E_BACKUP_FOLDER);
  }
} catch (...) {
}

bool CommitBackup(uint32_t* errorCode) try {
  if (!errorCode) return false;
  mivra::ProductLock lock;
  if (!EnterCall(errorCode, lock, mivra::kBackupBusyCode)) return false;
  const mivra::CommitResult result = mivra::CommitStagingBackup();
  if (result != mivra::CommitResult::kCommitted) return Fail(errorCode, ToErrorCode(result));
  return true;
} catch (...) {
  return false;
}

MdataObject* CreateBkMdataObject(uint32_t* errorCode) try {
  if (!errorCode) return nullptr;
  mivra::ProductLock lock;
  if (!EnterCall(errorCode, lock, mivra::kBackupBusyCode)) return nullptr;
  std::unique_ptr<MdataObject> object = mivra::NewMdataObject();
  if (!object) return nullptr;
  const mivra::StagingResult result = mivra::StartStagingBackup(*object);
  if (result != mivra::StagingResult::kStarted) {
    Fail(errorCode, ToErrorCode(result));
    return nullptr;
  }
  return object.release();
} catch (...) {
  return nullptr;
}

// No product lock: closing only flushes what the object's own calls wrote, changing no byte.
void DeleteMdataObject(MdataObject* object) {
  if (!object) return;
  object->Close();
  delete object;
}

bool GetBkMdataFileList(wchar_t** list, uint32_t* count, uint32_t* errorCode) try {
  if (!list) return false;
  *list = nullptr;
  // Required by the interface, yet never written through when missing.
  if (!count || !errorCode) return false;
  *count = 0;
  mivra::ProductLock lock;
  // Listing reads what exists whatever the switch says.
  if (!EnterCall(errorCode, lock, mivra::kBackupBusyCode, false)) return false;
  const mivra::ListResult result = mivra::ListCommittedBackup(list, count);
  if (result == mivra::ListResult::kNoMemory) return false;
  if (result != mivra::ListResult::kListed) return Fail(errorCode, ToErrorCode(result));
  return true;
} catch (...) {
  return false;
}

}  // namespace

// Each export traces its call around the body above.

extern "C" bool MivraAddToBackup(MdataObject* object, const wchar_t* filePath, uint32_t* errorCode) {
  ExportTrace call("MivraAddToBackup");
  call.Arguments().Pointer("object", object).Path("path", filePath).IfNull("error", errorCode);
  return call.Returns(AddToBackup(object, filePath, errorCode));
}

extern "C" bool MivraRemoveFromBackup(const wchar_t* fileName, uint32_t* errorCode) {
  ExportTrace call("MivraRemoveFromBackup");
  call.Arguments().Path("name", fileName).IfNull("error", errorCode);
  return call.Returns(RemoveFromBackup(fileName, errorCode));
}

extern "C" void MivraDeleteBackup(uint32_t* errorCode) {
  ExportTrace call("MivraDeleteBackup");
  call.Arguments().IfNull("error", errorCode);
  DeleteBackup(errorCode);
  call.Returned();
}

extern "C" bool MivraCommitBackup(uint32_t* errorCode) {
  ExportTrace call("MivraCommitBackup");
  call.Arguments().IfNull("error", errorCode);
  return call.Returns(CommitBackup(errorCode));
}

extern "C" MdataObject* MivraCreateBkMdataObject(uint32_t* errorCode) {
  ExportTrace call("MivraCreateBkMdataObject");
  call.Arguments().IfNull("error", errorCode);
  return call.Returns(CreateBkMdataObject(errorCode));
}

// Also exported as MivraDeleteRBMdataObject: one function releases objects of either kind.
extern "C" void MivraDeleteBkMdataObject(MdataObject* object) {
  ExportTrace call("MivraDeleteBkMdataObject");
  call.Arguments().Pointer("object", object);
  DeleteMdataObject(object);
  call.Returned();
}

extern "C" bool MivraGetBkMdataFileList(wchar_t** list, uint32_t* count, uint32_t* errorCode) {
  ExportTrace call("MivraGetBkMdataFileList");
  call.Arguments().IfNull("list", list).IfNull("count", count).IfNull("error", errorCode);
  const bool listed = GetBkMdataFileList(list, count, errorCode);
  mivra::TraceEvent returned = call.Returned(listed);
  if (listed) returned.Number("count", *count);
  return listed;
}

extern "C" void MivraFreeBkMdataFileList(void* list) {
  ExportTrace call("MivraFreeBkMdataFileList");
  call.Arguments().Pointer("list", list);
  std::free(list);
  call.Returned();
}

#include <cstdlib>
#include <memory>

#include "mivra.h"
#include "update/backup/add_to_backup.h"
#include "update/backup/backup_file_list.h"
#include "update/backup/commit_backup.h"
#include "update/backup/delete_backup.h"
#include "update/backup/remove_from_backup.h"
#include "update/backup/staging_backup.h"
#include "update/exports/export_frame.h"
#include "update/frame/trace_log.h"
#include "update/store/mdata_object.h"

using mivra::ExportTrace;
using mivra::EnterCall;
using mivra::Fail;

namespace {

// Each result type meets its codes in one switch: success returns true, every failure writes its
// one code (or, where the interface says so, none) and returns false.

bool Finish(mivra::AddResult result, uint32_t* errorCode) {
  using mivra::AddResult;
  switch (result) {
    case AddResult::kAdded: return true;
    case AddResult::kNotInInstallDir: return Fail(errorCode, MIVRA_E_NOT_IN_INSTALL_DIR);
    case AddResult::kNoMemory: return Fail(errorCode, MIVRA_E_NO_MEMORY);
    case AddResult::kMetadataOpen: return Fail(errorCode, MIVRA_E_BKMDATA_OPEN);
    case AddResult::kBadPath: return Fail(errorCode, MIVRA_E_BAD_PATH);
    case AddResult::kBackupFolder: return Fail(errorCode, MIVRA_E_BACKUP_FOLDER);
    case AddResult::kPathTooLong: return Fail(errorCode, MIVRA_E_PATH_TOO_LONG);
    case AddResult::kAlreadyRecorded: return Fail(errorCode, MIVRA_E_RECORD_WRITE);
    case AddResult::kCopyFailed: return Fail(errorCode, MIVRA_E_FILE_COPY);
    case AddResult::kFileAttributes: return Fail(errorCode, MIVRA_E_FILE_ATTRIBUTES);
    case AddResult::kNameTooLong: return Fail(errorCode, MIVRA_E_NAME_TOO_LONG);
    case AddResult::kRecordWrite: return Fail(errorCode, MIVRA_E_RECORD_WRITE);
    case AddResult::kWrongObject: return Fail(errorCode, MIVRA_E_RECORD_WRITE);
  }
  return Fail(errorCode, MIVRA_E_RECORD_WRITE);
}

bool Finish(mivra::CommitResult result, uint32_t* errorCode) {
  using mivra::CommitResult;
  switch (result) {
    case CommitResult::kCommitted: return true;
    case CommitResult::kBackupFolder: return Fail(errorCode, MIVRA_E_BACKUP_FOLDER);
    case CommitResult::kPathTooLong: return Fail(errorCode, MIVRA_E_PATH_TOO_LONG);
    case CommitResult::kDeleteFailed: return Fail(errorCode, MIVRA_E_FOLDER_DELETE);
    case CommitResult::kRenameFailed: return Fail(errorCode, MIVRA_E_FOLDER_RENAME);
  }
  return Fail(errorCode, MIVRA_E_FOLDER_RENAME);
}

bool Finish(mivra::RemoveResult result, uint32_t* errorCode) {
  using mivra::RemoveResult;
  switch (result) {
    case RemoveResult::kRemoved: return true;
    case RemoveResult::kBackupFolder: return Fail(errorCode, MIVRA_E_BACKUP_FOLDER);
    case RemoveResult::kMetadataOpen: return Fail(errorCode, MIVRA_E_BKMDATA_OPEN);
    case RemoveResult::kNotInBackup: return Fail(errorCode, MIVRA_E_NOT_IN_BACKUP);
    case RemoveResult::kRecordRead: return Fail(errorCode, MIVRA_E_RECORD_READ);
    case RemoveResult::kRecordWrite: return Fail(errorCode, MIVRA_E_RECORD_WRITE);
    case RemoveResult::kPathTooLong: return Fail(errorCode, MIVRA_E_PATH_TOO_LONG);
    // Callers may rely on this code; its meaning names the backup copy as well as the folders.
    case RemoveResult::kCopyDelete: return Fail(errorCode, MIVRA_E_FOLDER_DELETE);
  }
  return Fail(errorCode, MIVRA_E_RECORD_WRITE);
}

bool Finish(mivra::StagingResult result, uint32_t* errorCode) {
  using mivra::StagingResult;
  switch (result) {
    case StagingResult::kStarted: return true;
    case StagingResult::kBackupFolder: return Fail(errorCode, MIVRA_E_BACKUP_FOLDER);
    case StagingResult::kDeleteFailed: return Fail(errorCode, MIVRA_E_FOLDER_DELETE);
    case StagingResult::kMetadataOpen: return Fail(errorCode, MIVRA_E_BKMDATA_OPEN);
  }
  return Fail(errorCode, MIVRA_E_BKMDATA_OPEN);
}

bool Finish(mivra::ListResult result, uint32_t* errorCode) {
  using mivra::ListResult;
  switch (result) {
    case ListResult::kListed: return true;
    case ListResult::kBackupFolder: return Fail(errorCode, MIVRA_E_BACKUP_FOLDER);
    case ListResult::kNoBackup: return Fail(errorCode, MIVRA_E_NO_BACKUP);
    case ListResult::kMetadataOpen: return Fail(errorCode, MIVRA_E_BKMDATA_OPEN);
    // The list block itself could not be allocated: no code.
    case ListResult::kNoMemory: return false;
    case ListResult::kRecordRead: return Fail(errorCode, MIVRA_E_RECORD_READ);
  }
  return Fail(errorCode, MIVRA_E_RECORD_READ);
}

bool AddToBackup(MdataObject* object, const wchar_t* filePath, uint32_t* errorCode) try {
  if (!filePath || !errorCode) return false;
  mivra::ProductLock lock;
  // An object proves that its creation passed the switch.
  if (!EnterCall(errorCode, lock, mivra::kBackupBusyCode, object ? MIVRA_E_BACKUP_FOLDER : MIVRA_E_BKMDATA_OPEN,
                 !object)) {
    return false;
  }
  return Finish(mivra::AddFileToBackup(object, filePath), errorCode);
} catch (...) {
  return false;
}

bool RemoveFromBackup(const wchar_t* fileName, uint32_t* errorCode) try {
  if (!fileName || !errorCode) return false;
  mivra::ProductLock lock;
  if (!EnterCall(errorCode, lock, mivra::kBackupBusyCode, MIVRA_E_BACKUP_FOLDER)) return false;
  return Finish(mivra::RemoveFromCommittedBackup(fileName), errorCode);
} catch (...) {
  return false;
}

void DeleteBackup(uint32_t* errorCode) try {
  if (!errorCode) return;
  mivra::ProductLock lock;
  if (!EnterCall(errorCode, lock, mivra::kBackupBusyCode, MIVRA_E_BACKUP_FOLDER)) return;
  switch (mivra::DeleteCommittedBackup()) {
    // Whether the deletion went through is not reported: the export has no result.
    case mivra::DeleteBackupResult::kAttempted: return;
    case mivra::DeleteBackupResult::kBackupFolder: Fail(errorCode, MIVRA_E_BACKUP_FOLDER); return;
  }
} catch (...) {
}

bool CommitBackup(uint32_t* errorCode) try {
  if (!errorCode) return false;
  mivra::ProductLock lock;
  if (!EnterCall(errorCode, lock, mivra::kBackupBusyCode, MIVRA_E_BACKUP_FOLDER)) return false;
  return Finish(mivra::CommitStagingBackup(), errorCode);
} catch (...) {
  return false;
}

MdataObject* CreateBkMdataObject(uint32_t* errorCode) try {
  if (!errorCode) return nullptr;
  mivra::ProductLock lock;
  if (!EnterCall(errorCode, lock, mivra::kBackupBusyCode, MIVRA_E_BACKUP_FOLDER)) return nullptr;
  std::unique_ptr<MdataObject> object = mivra::NewMdataObject();
  if (!object) return nullptr;
  if (!Finish(mivra::StartStagingBackup(*object), errorCode)) return nullptr;
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
  if (!EnterCall(errorCode, lock, mivra::kBackupBusyCode, MIVRA_E_BACKUP_FOLDER, false)) return false;
  return Finish(mivra::ListCommittedBackup(list, count), errorCode);
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

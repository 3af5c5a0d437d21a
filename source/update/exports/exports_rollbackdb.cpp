#include <memory>

#include "mivra.h"
#include "update/store/mdata_object.h"
#include "update/exports/export_frame.h"
#include "update/frame/trace_log.h"
#include "update/rollbackdb/create_rb_object.h"
#include "update/rollbackdb/delete_rollback_db.h"
#include "update/rollbackdb/mark_update_status.h"
#include "update/rollbackdb/update_rollback_db.h"

using mivra::ExportTrace;
using mivra::EnterCall;
using mivra::Fail;

namespace {

uint32_t ToErrorCode(mivra::RBUpdateResult result) {
  using mivra::RBUpdateResult;
  switch (result) {
    case RBUpdateResult::kOutsideInstallDir: return MIVRA_E_NOT_IN_INSTALL_DIR;
    case RBUpdateResult::kNoMemory: return MIVRA_E_NO_MEMORY;
    case RBUpdateResult::kOpenFailed: return MIVRA_E_RBMDATA_OPEN;
    case RBUpdateResult::kBadPath: return MIVRA_E_BAD_PATH;
    case RBUpdateResult::kNoAttributes: return MIVRA_E_RB_FILE_ATTRIBUTES;
    case RBUpdateResult::kNameTooLong: return MIVRA_E_RB_NAME_TOO_LONG;
    case RBUpdateResult::kWritten:
    case RBUpdateResult::kWriteFailed: break;
  }
  return MIVRA_E_RB_RECORD_WRITE;
}

bool MarkStatus(uint8_t status, uint32_t* errorCode) try {
  if (status != 1 && status != 2) return false;
  if (!errorCode) return false;
  mivra::ProductLock lock;
  if (!EnterCall(errorCode, lock, mivra::kDatabaseBusyCode)) return false;
  switch (mivra::MarkUpdateStatus(status)) {
    case mivra::MarkStatusResult::kMarked: return true;
    case mivra::MarkStatusResult::kOpenFailed: return Fail(errorCode, MIVRA_E_RBMDATA_OPEN);
    case mivra::MarkStatusResult::kStateIoFailed: break;
  }
  return false;
} catch (...) {
  return false;
}

MdataObject* CreateRBMdataObject(uint32_t* errorCode) try {
  if (!errorCode) return nullptr;
  mivra::ProductLock lock;
  if (!EnterCall(errorCode, lock, mivra::kDatabaseBusyCode)) return nullptr;
  std::unique_ptr<MdataObject> object;
  const mivra::RBObjectResult result = mivra::CreateRBObject(&object);
  if (result == mivra::RBObjectResult::kOpenFailed) Fail(errorCode, MIVRA_E_RBMDATA_OPEN);
  return object.release();
} catch (...) {
  return nullptr;
}

bool UpdateRollBackDB(MdataObject* object, const wchar_t* filePath, uint32_t fileSize, const uint8_t* digest,
                      uint32_t* errorCode) try {
  if (!filePath || !digest || !errorCode) return false;
  mivra::ProductLock lock;
  if (!EnterCall(errorCode, lock, mivra::kDatabaseBusyCode, !object)) return false;
  const mivra::RBUpdateResult result = mivra::UpdateRollbackDB(object, filePath, fileSize, digest);
  if (result != mivra::RBUpdateResult::kWritten) return Fail(errorCode, ToErrorCode(result));
  return true;
} catch (...) {
  return false;
}

bool DeleteRollBackDB(uint32_t* errorCode) try {
  if (!errorCode) return false;
  mivra::ProductLock lock;
  if (!EnterCall(errorCode, lock, mivra::kDatabaseBusyCode)) return false;
  switch (mivra::DeleteRollbackDB()) {
    case mivra::RBDeleteResult::kDeleted:
    case mivra::RBDeleteResult::kDeleteAtRestart: return true;
    case mivra::RBDeleteResult::kNoBaseFolder: return Fail(errorCode, MIVRA_E_BACKUP_FOLDER);
    case mivra::RBDeleteResult::kPathTooLong: return Fail(errorCode, MIVRA_E_PATH_TOO_LONG);
    case mivra::RBDeleteResult::kNotDeleted: return Fail(errorCode, MIVRA_E_RB_RESET);
    case mivra::RBDeleteResult::kMissing: break;
  }
  return false;
} catch (...) {
  return false;
}

}  // namespace

// Each export traces its call around the body above.

extern "C" bool MivraMarkUpdateStatus(uint8_t status, uint32_t* errorCode) {
  ExportTrace call("MivraMarkUpdateStatus");
  call.Arguments().Number("status", status).IfNull("error", errorCode);
  return call.Returns(MarkStatus(status, errorCode));
}

extern "C" MdataObject* MivraCreateRBMdataObject(uint32_t* errorCode) {
  ExportTrace call("MivraCreateRBMdataObject");
  call.Arguments().IfNull("error", errorCode);
  return call.Returns(CreateRBMdataObject(errorCode));
}

extern "C" bool MivraUpdateRollBackDB(MdataObject* object, const wchar_t* filePath, uint32_t fileSize,
                                      const uint8_t* digest, uint32_t* errorCode) {
  ExportTrace call("MivraUpdateRollBackDB");
  call.Arguments()
      .Pointer("object", object)
      .Path("path", filePath)
      .Number("size", fileSize)
      .Bytes("digest", digest, 16)
      .IfNull("error", errorCode);
  return call.Returns(UpdateRollBackDB(object, filePath, fileSize, digest, errorCode));
}

extern "C" bool MivraDeleteRollBackDB(uint32_t* errorCode) {
  ExportTrace call("MivraDeleteRollBackDB");
  call.Arguments().IfNull("error", errorCode);
  return call.Returns(DeleteRollBackDB(errorCode));
}
